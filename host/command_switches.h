// The switch syntax of the program's command line (and of command lines handed over by a
// later start):
//   - a switch begins at a "-" or "/" that has at least one character after it;
//   - its name runs to the next blank or colon;
//   - "name:value" has a value: a value beginning with a double quote runs to the next
//     double quote (the quotes are not part of it), any other to the next blank; a name
//     followed by a blank, the end, or a colon ending the text has an empty value;
//   - switches with an empty name are ignored; a name seen again keeps its first value.
// The first word of a command line is the program path. Its "/" characters separate
// folders (as "\" does on Windows) and start no switch; a "-" in it does (a folder named
// "my-files" yields the switch "files/...").
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace kit::host {

using switch_map = std::map<std::u16string, std::u16string>;

switch_map parse_switches(std::u16string_view command_line);

// The start type given by a "type" value: the low 8 bits of its leading decimal integer
// (leading blanks and a sign accepted; no digits gives 0).
int32_t start_type_of(std::u16string_view value);

} // namespace kit::host
