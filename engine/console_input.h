// Standard input for the scripts: ReadConsole(fn) starts a reader thread on its first call.
#pragma once

namespace kit::engine {

// Ends the reader thread (lines not yet handed to the UI thread are dropped), so that
// nothing reads standard input or posts to the UI loop once the host shuts down. A later
// ReadConsole starts a new reader.
void stop_console_input();

// For a question read from standard input by the UI thread: stops the reader (keeping its
// function) so that the two never wait for the same line; true when one was running.
// resume_console_input starts it again.
bool pause_console_input();
void resume_console_input();

} // namespace kit::engine
