// Libraries loaded while the program runs: the archive codecs, and the system libraries
// only some runs need.
#pragma once
#include <memory>
#include <string>

namespace kit::platform {

class dynamic_library {
public:
  // How long the library's code and data stay: until this object goes, or until the
  // process ends (a system library whose own data lives in its globals, such as the line
  // editor's, so that nothing of it is pulled away during the process's exit).
  enum class lifetime { object, process };
  // Loads a library by path, or by name through the system's search; nothing when it
  // cannot be loaded.
  static std::unique_ptr<dynamic_library> open(const std::string& path, lifetime keep = lifetime::object);
  ~dynamic_library();
  dynamic_library(const dynamic_library&) = delete;
  dynamic_library& operator=(const dynamic_library&) = delete;

  // The address of an exported symbol, or null.
  void* symbol(const char* name) const;
  template <class Fn>
  Fn function(const char* name) const {
    return reinterpret_cast<Fn>(symbol(name));
  }
  // The folder the library was loaded from, with a final "/" (asked of the loader, as a
  // library found through the search has no folder in its name).
  std::string folder() const;

private:
  dynamic_library(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  void* handle_;
  std::string path_;
};

} // namespace kit::platform
