// The answers of port 12300: one request in, the reply frames of its type out, read from a
// phone_source. Frames go to `send` as soon as each is complete (a list of 40 records,
// a status, a value); when `send` returns false the host has gone and answering stops.
#pragma once
#include "agent/phone_source.h"
#include "agent/wire.h"

namespace kit::agent {

void answer(const request& req, phone_source& source, const each_fn<frame>& send);

// The listing behind a file-list request type ("document", "ringtone", ...); empty for
// other types.
const char* listing_of(uint16_t type);

} // namespace kit::agent
