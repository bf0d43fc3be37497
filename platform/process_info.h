// Facts about the running process: its program file, its command line, the temp folder.
#pragma once
#include <string>
#include <vector>

namespace kit::platform {

// Real path of the running executable (symbolic links resolved); empty when unknown.
std::string executable_path();

// The arguments main() received, program name first, as UTF-8: on Windows they are read
// again from the process's UTF-16 command line (main()'s own are in the ANSI code page).
std::vector<std::string> utf8_arguments(int argc, char** argv);

// Records the arguments main() received, for full_command_line().
void set_process_arguments(int argc, char** argv);

// The program path followed by the arguments, joined with blanks. An argument holding a
// blank is quoted so that a switch parser reads it back whole: for "-name:value" (or
// "/name:value") only the value is enclosed in double quotes, any other argument whole.
std::string full_command_line();
std::string join_command_line(const std::string& program, const std::vector<std::string>& args);

// $TMPDIR when set, else /tmp; with a trailing "/".
std::string temp_path();

// The operating system's number of this process.
int current_process_id();

// Whether the standard stream (0 input, 1 output, 2 error) is a terminal.
bool is_terminal(int stream);
// Whether standard input brings something to read from another program or a file: a pipe,
// a socket or a non-empty regular file (not a terminal, not /dev/null).
bool standard_input_is_fed();
// The width of the terminal standard output is, in columns; 0 when it is none.
int terminal_columns();

// Milliseconds since an arbitrary fixed point (the system's start), wrapping at 2^32.
unsigned tick_count();

} // namespace kit::platform
