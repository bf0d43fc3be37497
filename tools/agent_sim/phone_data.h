// The fake phone: its messages, contacts, media, apps and files, loaded from the data set
// file (phone_data.txt, format described at its top). Connections run on their own threads,
// so every access goes through the lock.
#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace agent_sim {

struct sms {
  uint32_t id, thread;
  std::string number, date;
  uint16_t type, read;
  std::string content;
};
struct contact {
  std::string id, name, number;
};
struct music {
  uint32_t id;
  std::string album, singer, path;
  uint32_t seconds;
  uint64_t size;
  uint16_t is_ring;
};
struct picture {
  uint32_t id;
  std::string path;
  uint32_t taken;
  uint64_t size;
};
struct video {
  uint32_t id;
  std::string path;
  uint64_t size;
};
struct app {
  uint32_t size;
  uint16_t location;
  std::string name, package, version, version_code;
  uint64_t installed;
};
struct file_entry {
  std::string list;  // which listing it belongs to (document, ringtone, recording, ...)
  std::string path;
  uint16_t type;
  uint64_t size;
  uint16_t location;
};

class phone_data {
public:
  // Reads the data set; false (with a message on stderr) when the file cannot be read.
  bool load(const std::string& path);

  std::mutex lock;
  std::vector<sms> messages;
  std::vector<contact> contacts;
  std::vector<music> songs;
  std::vector<picture> pictures;
  std::vector<video> videos;
  std::vector<app> apps;
  std::vector<file_entry> files;
  std::map<std::string, std::string> device;  // "device" lines: key -> value

  std::string device_value(const std::string& key, const std::string& fallback = "") const;
};

} // namespace agent_sim
