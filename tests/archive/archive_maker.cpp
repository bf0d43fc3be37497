#include "archive_maker.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace archivetest {

namespace {
uint32_t crc32(const std::string& data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

void walk(const std::string& root, const std::string& rel, std::vector<std::string>& out) {
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(root + "/" + rel, ec)) {
    std::string path = rel + e.path().filename().string();
    if (e.symlink_status(ec).type() == std::filesystem::file_type::directory) {
      out.push_back(path + "/");
      walk(root, path + "/", out);
    } else {
      out.push_back(path);
    }
  }
}
} // namespace

bool run_in(const std::string& folder, const std::string& command) {
  std::string line = "cd '" + folder + "' && " + command + " >/dev/null 2>&1";
  return std::system(line.c_str()) == 0;
}

void write_stored_zip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries,
                      unsigned mode) {
  std::string body, central;
  uint32_t count = 0;
  for (const auto& [name, content] : entries) {
    uint32_t offset = static_cast<uint32_t>(body.size());
    uint32_t crc = crc32(content);
    // A name beyond ASCII is marked as UTF-8, as archivers do; else readers take the DOS page.
    bool utf8 = std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    uint32_t flags = utf8 ? 0x0800 : 0;
    put32(body, 0x04034b50);
    put16(body, 10);  // version needed
    put16(body, flags);
    put16(body, 0);   // stored
    put32(body, 0);   // time and date
    put32(body, crc);
    put32(body, static_cast<uint32_t>(content.size()));
    put32(body, static_cast<uint32_t>(content.size()));
    put16(body, static_cast<uint32_t>(name.size()));
    put16(body, 0);
    body += name + content;

    put32(central, 0x02014b50);
    put16(central, mode ? (3u << 8) | 20 : 20);  // made by Unix when a mode is recorded
    put16(central, 10);
    put16(central, flags);
    put16(central, 0);
    put32(central, 0);
    put32(central, crc);
    put32(central, static_cast<uint32_t>(content.size()));
    put32(central, static_cast<uint32_t>(content.size()));
    put16(central, static_cast<uint32_t>(name.size()));
    put16(central, 0);
    put16(central, 0);
    put16(central, 0);
    put16(central, 0);
    put32(central, mode << 16);
    put32(central, offset);
    central += name;
    ++count;
  }
  std::string end;
  put32(end, 0x06054b50);
  put16(end, 0);
  put16(end, 0);
  put16(end, count);
  put16(end, count);
  put32(end, static_cast<uint32_t>(central.size()));
  put32(end, static_cast<uint32_t>(body.size()));
  put16(end, 0);
  std::ofstream(path, std::ios::binary) << body << central << end;
}

int mode_of(const std::string& path) {
  std::error_code ec;
  auto st = std::filesystem::symlink_status(path, ec);
  if (ec || st.type() == std::filesystem::file_type::not_found) return -1;
  return static_cast<int>(st.permissions() & std::filesystem::perms::mask);
}

bool exists_no_follow(const std::string& path) {
  std::error_code ec;
  auto st = std::filesystem::symlink_status(path, ec);
  return !ec && st.type() != std::filesystem::file_type::not_found;
}

std::vector<std::string> tree(const std::string& folder) {
  std::vector<std::string> out;
  walk(folder, "", out);
  std::sort(out.begin(), out.end());
  return out;
}

} // namespace archivetest
