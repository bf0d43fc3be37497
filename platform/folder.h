// A folder held open, so that names below it are reached without following a link put in
// their way: what writes into a place an untrusted archive or peer names goes through it.
#pragma once
#include <cstdint>
#include <string>

#include "platform/file.h"

namespace kit::platform {

class folder {
public:
  folder() = default;
  ~folder();
  folder(folder&& other) noexcept;
  folder& operator=(folder&& other) noexcept;
  folder(const folder&) = delete;
  folder& operator=(const folder&) = delete;

  // Creates the folder chain of path where missing and opens it (the chain itself may pass
  // through links: it is the caller's choice). False when that fails.
  bool open_path(const std::string& path);
  bool is_open() const { return handle_ >= 0; }
  // Opens (creating when missing) the folder name inside this one; a link (even to a
  // folder) or anything but a folder is refused.
  folder child(const std::string& name) const;
  // Creates the file name in this folder for writing, replacing a regular file of that
  // name by a new one (a link or a folder of that name is left alone and the call fails).
  // permissions < 0: 0644 less the process's mask. False on failure.
  bool create_file(const std::string& name, int permissions, file& out) const;
  // Removes the file (or link) name from this folder.
  bool remove(const std::string& name) const;
  void close();

private:
  intptr_t handle_ = -1;  // a descriptor, or a Windows handle
};

} // namespace kit::platform
