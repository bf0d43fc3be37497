// Splitting a command line by the Windows rules (the same on every platform).
#include "platform/process.h"

namespace kit::platform {

namespace {
bool is_blank(char c) { return c == ' ' || c == '\t'; }
} // namespace

std::string quote_command_argument(const std::string& value) {
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : value) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled and one more escapes the quote; elsewhere they
    // stay as they are.
    out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(2 * backslashes, '\\');  // before the closing quote
  out += '"';
  return out;
}

std::vector<std::string> split_command_line(const std::string& line) {
  std::vector<std::string> args;
  size_t i = 0;
  const size_t n = line.size();
  while (i < n && is_blank(line[i])) ++i;
  if (i == n) return args;

  // The program name: quotes group, backslashes are plain characters.
  std::string program;
  bool quoted = false;
  for (; i < n; ++i) {
    char c = line[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (is_blank(c) && !quoted) {
      break;
    } else {
      program += c;
    }
  }
  args.push_back(std::move(program));

  for (;;) {
    while (i < n && is_blank(line[i])) ++i;
    if (i == n) break;
    std::string arg;
    quoted = false;
    while (i < n) {
      char c = line[i];
      if (is_blank(c) && !quoted) break;
      if (c == '\\') {
        size_t count = 0;
        while (i < n && line[i] == '\\') {
          ++count;
          ++i;
        }
        if (i < n && line[i] == '"') {
          arg.append(count / 2, '\\');
          if (count % 2 == 1) {
            arg += '"';
            ++i;
          }
          // An even count leaves the quote to open or close a quoted part.
        } else {
          arg.append(count, '\\');
        }
        continue;
      }
      if (c == '"') {
        if (quoted && i + 1 < n && line[i + 1] == '"') {
          arg += '"';
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      arg += c;
      ++i;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

} // namespace kit::platform
