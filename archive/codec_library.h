// The codec library, loaded at run time and kept until the process ends: the main library
// and the plug-ins beside it ("Codecs" and "Formats" folders), with the archive formats and
// codecs they offer.
//
// The main library is the first of: "7z.so" in the program folder, the system's
// /usr/lib/p7zip/7z.so, "7z.so" through the normal library search. Each is loaded with
// RTLD_LOCAL (its many exported names must not capture or be captured by the host's) and
// refused unless it reports the interface type this host is compiled for.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/codec_abi.h"
#include "platform/dynamic_library.h"

namespace kit::archive {

// One loaded library that exposes the plug-in entry points.
class C7ZipDllHandler {
public:
  // Loads path; null when it cannot be loaded, lacks the entry points or reports another
  // interface type (the library is then unloaded again).
  static std::unique_ptr<C7ZipDllHandler> Load(const std::string& path);
  ~C7ZipDllHandler();
  C7ZipDllHandler(const C7ZipDllHandler&) = delete;
  C7ZipDllHandler& operator=(const C7ZipDllHandler&) = delete;

  const std::string& path() const { return path_; }
  // The folder the library was loaded from, with "/".
  std::string folder() const;
  abi::CreateObjectFn create_object = nullptr;
  abi::GetNumberOfFormatsFn number_of_formats = nullptr;
  abi::GetHandlerProperty2Fn handler_property2 = nullptr;
  abi::GetHandlerPropertyFn handler_property = nullptr;
  abi::GetNumberOfMethodsFn number_of_methods = nullptr;
  abi::GetMethodPropertyFn method_property = nullptr;
  abi::SetLargePageModeFn set_large_page_mode = nullptr;
  abi::SysAllocStringFn alloc_string = nullptr;
  abi::SysFreeStringFn free_string = nullptr;
  abi::SysStringByteLenFn string_byte_len = nullptr;
  abi::VariantClearFn variant_clear = nullptr;

  // Empties a value the library filled.
  void clear(abi::PropVariant& value) const;
  // A string value as UTF-8 (empty for other types).
  std::string text(const abi::PropVariant& value) const;

private:
  C7ZipDllHandler(std::unique_ptr<platform::dynamic_library> module, std::string path)
      : module_(std::move(module)), path_(std::move(path)) {}
  std::unique_ptr<platform::dynamic_library> module_;
  std::string path_;
};

struct C7ZipFormatInfo {
  const C7ZipDllHandler* handler = nullptr;
  uint32_t index = 0;
  std::string name;
  abi::Guid class_id{};
  std::vector<std::string> extensions;  // lower case, without dots
  uint32_t flags = 0;
  bool has_signature = false;  // the format names bytes that mark its files
};

struct C7ZipCodecInfo {
  const C7ZipDllHandler* handler = nullptr;
  uint32_t index = 0;
  std::string name;
};

class CodecLibrary {
public:
  // The process's library, loaded on the first call. Concurrent first calls load it once;
  // a failed load is tried again by the next call. Null when no usable library exists.
  static const CodecLibrary* Instance();
  // How many times a load of the main library succeeded in this process (tests).
  static int LoadCount();

  const std::vector<std::unique_ptr<C7ZipDllHandler>>& handlers() const { return handlers_; }
  const std::vector<C7ZipFormatInfo>& formats() const { return formats_; }
  const std::vector<C7ZipCodecInfo>& codecs() const { return codecs_; }
  // The library whose helpers allocate strings handed to it (the main library).
  const C7ZipDllHandler& main() const { return *handlers_.front(); }

  // Loads from the candidates in order; null when none is usable (tests use it directly).
  static std::unique_ptr<CodecLibrary> Load(const std::vector<std::string>& candidates);

private:
  void Add(std::unique_ptr<C7ZipDllHandler> handler);
  void AddPlugins(const std::string& folder, int depth);
  std::vector<std::unique_ptr<C7ZipDllHandler>> handlers_;
  std::vector<C7ZipFormatInfo> formats_;
  std::vector<C7ZipCodecInfo> codecs_;
};

// UTF-32 text from the library as UTF-8 (invalid code points become U+FFFD).
std::string wide_to_utf8(const wchar_t* text);
std::wstring utf8_to_wide(const std::string& text);

} // namespace kit::archive
