#include "agent/android_text.h"

#include <cstdlib>
#include <sstream>

namespace kit::agent {

namespace {
std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return {};
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
  }
  return out;
}

// Where row `index` starts: "Row: index first=" at the start of the text or of a line,
// searched from `from`.
size_t find_row(const std::string& out, size_t index, const std::string& first, size_t from) {
  std::string marker = "Row: " + std::to_string(index) + " " + first + "=";
  for (size_t at = out.find(marker, from); at != std::string::npos; at = out.find(marker, at + 1))
    if (at == 0 || out[at - 1] == '\n') return at;
  return std::string::npos;
}
} // namespace

uint64_t to_u64(const std::string& text, uint64_t fallback) {
  size_t i = text.find_first_not_of(" \t");
  if (i == std::string::npos || text[i] < '0' || text[i] > '9') return fallback;
  return std::strtoull(text.c_str() + i, nullptr, 10);
}

std::vector<std::vector<std::string>> parse_content_rows(const std::string& out, const std::vector<std::string>& columns) {
  std::vector<std::vector<std::string>> rows;
  if (columns.empty()) return rows;
  size_t start = find_row(out, 0, columns[0], 0);
  for (size_t index = 0; start != std::string::npos; ++index) {
    size_t next = find_row(out, index + 1, columns[0], start + 1);
    size_t end = next == std::string::npos ? out.size() : next;
    std::string row = out.substr(start, end - start);
    if (!row.empty() && row.back() == '\n') row.pop_back();
    if (!row.empty() && row.back() == '\r') row.pop_back();
    // Skip "Row: N " and read the values column by column.
    size_t pos = row.find(' ', 5) + 1 + columns[0].size() + 1;
    std::vector<std::string> values;
    bool whole = true;
    for (size_t c = 0; c < columns.size(); ++c) {
      if (c + 1 == columns.size()) {
        values.push_back(row.substr(pos));
        break;
      }
      std::string separator = ", " + columns[c + 1] + "=";
      size_t at = row.find(separator, pos);
      if (at == std::string::npos) {
        whole = false;
        break;
      }
      values.push_back(row.substr(pos, at - pos));
      pos = at + separator.size();
    }
    if (whole) rows.push_back(std::move(values));
    start = next;
  }
  return rows;
}

bool content_rows_unambiguous(const std::string& out, const std::string& first_column, const std::vector<std::string>& ids) {
  // Every line that starts with "Row: " must be the marker of the next expected row, in
  // order, and there must be one per id: one pass over the output.
  size_t expected = 0;
  for (size_t at = 0; at < out.size();) {
    if (out.compare(at, 5, "Row: ") == 0) {
      if (expected == ids.size()) return false;
      std::string marker = "Row: " + std::to_string(expected) + " " + first_column + "=" + ids[expected] + ", ";
      if (out.compare(at, marker.size(), marker) != 0) return false;
      ++expected;
    }
    size_t newline = out.find('\n', at);
    if (newline == std::string::npos) break;
    at = newline + 1;
  }
  return expected == ids.size();
}

bool content_failed(const std::string& err) {
  return err.find("Error while accessing provider") != std::string::npos || err.find("Exception") != std::string::npos ||
         err.find("[ERROR]") != std::string::npos;
}

std::optional<package_line> parse_package_line(const std::string& raw) {
  std::string line = trim(raw);
  if (line.rfind("package:", 0) != 0) return std::nullopt;
  line = line.substr(8);
  size_t space = line.find(' ');
  std::string head = line.substr(0, space);
  std::string tail = space == std::string::npos ? "" : line.substr(space);
  package_line p;
  // Paths of Android 11 and later hold "==": the package is after the last '='.
  size_t eq = head.rfind('=');
  if (eq == std::string::npos) {
    p.package = head;
  } else {
    p.path = head.substr(0, eq);
    p.package = head.substr(eq + 1);
  }
  if (p.package.empty()) return std::nullopt;
  std::stringstream words(tail);
  std::string word;
  while (words >> word) {
    if (word.rfind("versionCode:", 0) == 0) p.version_code = word.substr(12);
    else if (word.rfind("uid:", 0) == 0) p.uid = static_cast<uint32_t>(to_u64(word.substr(4)));
  }
  return p;
}

uint64_t parse_android_time(const std::string& text) {
  int y, mo, d, h, mi, s;
  char tail;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6) return 0;
  if (y < 1970 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) return 0;
  // Days from the civil date (proleptic Gregorian), without the C library's time zone.
  y -= mo <= 2;
  const int era = y / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * static_cast<unsigned>(mo + (mo > 2 ? -3 : 9)) + 2) / 5 + static_cast<unsigned>(d) - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t days = static_cast<int64_t>(era) * 146097 + static_cast<int64_t>(doe) - 719468;
  return static_cast<uint64_t>(days * 86400 + h * 3600 + mi * 60 + s);
}

package_details parse_dumpsys_package(const std::string& out, const std::string& package) {
  package_details d;
  bool in_packages = false, in_block = false;
  for (const std::string& line : lines_of(out)) {
    if (!in_packages) {
      in_packages = line == "Packages:";
      continue;
    }
    if (!line.empty() && line[0] != ' ') break;  // the next section ("Hidden system packages:", ...)
    std::string t = trim(line);
    if (t.rfind("Package [", 0) == 0) {
      if (in_block) break;  // only the first block counts
      in_block = t.rfind("Package [" + package + "]", 0) == 0;
      continue;
    }
    if (!in_block) continue;
    if (t.rfind("versionName=", 0) == 0 && d.version_name.empty()) d.version_name = t.substr(12);
    if (t.rfind("versionCode=", 0) == 0 && d.version_code.empty()) d.version_code = t.substr(12, t.find(' ') - 12);
    if (t.rfind("firstInstallTime=", 0) == 0 && d.first_install == 0) d.first_install = parse_android_time(t.substr(17));
  }
  return d;
}

std::map<std::string, std::string> parse_colon_lines(const std::string& out) {
  std::map<std::string, std::string> m;
  for (const std::string& line : lines_of(out)) {
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string key = trim(line.substr(0, colon));
    if (!key.empty() && !m.count(key)) m[key] = trim(line.substr(colon + 1));
  }
  return m;
}

std::map<std::string, std::string> parse_getprop(const std::string& out) {
  std::map<std::string, std::string> m;
  for (const std::string& line : lines_of(out)) {
    if (line.size() < 6 || line[0] != '[') continue;
    size_t close = line.find("]: [");
    if (close == std::string::npos || line.back() != ']') continue;
    m[line.substr(1, close - 1)] = line.substr(close + 4, line.size() - close - 5);
  }
  return m;
}

std::optional<std::pair<uint64_t, uint64_t>> parse_stat_fs(const std::string& out) {
  unsigned long long size = 0, blocks = 0, free_blocks = 0;
  if (std::sscanf(out.c_str(), "%llu %llu %llu", &size, &blocks, &free_blocks) != 3) return std::nullopt;
  return std::make_pair(static_cast<uint64_t>(size * blocks), static_cast<uint64_t>(size * free_blocks));
}

} // namespace kit::agent
