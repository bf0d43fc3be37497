// The phone's data as the protocol carries it. Units are the protocol's: SMS dates are
// milliseconds since 1970 as decimal text, music lengths seconds, picture times and app
// install times seconds since 1970, sizes bytes.
#pragma once
#include <cstdint>
#include <string>

namespace kit::agent {

struct sms {
  uint32_t id = 0, thread = 0;
  std::string number, date;
  uint16_t type = 1, read = 0;  // type 1 received, 2 sent
  std::string content;
};
struct contact {
  std::string id, name, number;
};
struct music {
  uint32_t id = 0;
  std::string album, singer, path;
  uint32_t seconds = 0;
  uint64_t size = 0;
  uint16_t is_ring = 0;
};
struct picture {
  uint32_t id = 0;
  std::string path;
  uint32_t taken = 0;
  uint64_t size = 0;
};
struct video {
  uint32_t id = 0;
  std::string path;
  uint64_t size = 0;
};
struct app {
  uint32_t size = 0;
  uint16_t location = 0;  // 0 phone, 1 memory card
  std::string name, package, version, version_code;
  uint64_t installed = 0;
};
// One entry of the file listings: document, ringtone, recording, download, screenshot,
// cache, backup or folder.
struct file_entry {
  std::string list;
  std::string path;
  uint16_t type = 0;
  uint64_t size = 0;
  uint16_t location = 0;
};
struct device_summary {
  uint32_t battery = 0, signal = 0, sdk = 0;
  uint64_t storage_total = 0, storage_free = 0, card_total = 0, card_free = 0;
  std::string model, android;
  uint32_t sms = 0, contacts = 0, apps = 0, card_present = 0;
};

} // namespace kit::agent
