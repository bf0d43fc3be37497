// Reading a contacts CSV file off the UI thread: a large export takes seconds to convert,
// so the script can ask for the contacts and get them through its function once read.
#pragma once
#include <string>

#include "engine/function_ref.h"

namespace kit::app {

// Reads path on the pool's worker and calls done(contacts) on the UI thread, or done()
// with nothing when the file cannot be read as contacts. False (and done is dropped) when
// the work cannot be queued.
bool queue_contact_import(const std::string& path, kit::engine::function_ref done);

} // namespace kit::app
