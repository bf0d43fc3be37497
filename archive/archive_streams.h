// The streams the codec library reads an archive from and writes items into, over plain
// file descriptors. Reference counted the library's way: created with one reference, the
// last Release deletes the object (and closes the descriptor).
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "archive/codec_abi.h"
#include "platform/file.h"

namespace kit::archive {

// Holds one reference to a library-style object.
template <class T>
class com_ptr {
public:
  com_ptr() = default;
  explicit com_ptr(T* adopted) : p_(adopted) {}
  ~com_ptr() { reset(); }
  com_ptr(const com_ptr&) = delete;
  com_ptr& operator=(const com_ptr&) = delete;
  void reset(T* adopted = nullptr) {
    if (p_) p_->Release();
    p_ = adopted;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out-parameters: releases what is held and returns the slot.
  T** out() {
    reset();
    return &p_;
  }

private:
  T* p_ = nullptr;
};

// The archive file: read handle, full path, size, and the extension the format is
// chosen by (after the last "." of the name; "7z" when the name has none).
class ZipFileInStream final : public abi::IInStream, public abi::IStreamGetSize {
public:
  // Opens a regular file for reading; null when that fails.
  static ZipFileInStream* Open(const std::string& path);

  abi::HRes QueryInterface(const abi::Guid& iid, void** out) noexcept override;
  uint32_t AddRef() noexcept override { return ++refs_; }
  uint32_t Release() noexcept override;
  abi::HRes Read(void* data, uint32_t size, uint32_t* processed) noexcept override;
  abi::HRes Seek(int64_t offset, uint32_t origin, uint64_t* position) noexcept override;
  abi::HRes GetSize(uint64_t* size) noexcept override;

  const std::string& path() const { return path_; }
  const std::string& extension() const { return extension_; }
  uint64_t size() const { return size_; }

private:
  ZipFileInStream(platform::file f, std::string path, uint64_t size);
  ~ZipFileInStream();
  std::atomic<uint32_t> refs_{1};
  platform::file file_;
  std::string path_;
  std::string extension_;
  uint64_t size_;
  std::mutex m_;  // the library may read from its own threads
  uint64_t position_ = 0;
};

// Set once the program is ending: every extraction stops at its next write.
std::atomic<bool>& extractions_cancelled();

// One item's target file, adopted open for writing. Its bytes are taken from a budget the
// whole extraction shares; a write beyond it, or after the extractions were cancelled,
// fails and breaks the extraction off.
class ZipFileOutStream final : public abi::IOutStream {
public:
  ZipFileOutStream(platform::file f, std::shared_ptr<std::atomic<uint64_t>> budget)
      : file_(std::move(f)), budget_(std::move(budget)) {}

  abi::HRes QueryInterface(const abi::Guid& iid, void** out) noexcept override;
  uint32_t AddRef() noexcept override { return ++refs_; }
  uint32_t Release() noexcept override;
  abi::HRes Write(const void* data, uint32_t size, uint32_t* processed) noexcept override;
  abi::HRes Seek(int64_t offset, uint32_t origin, uint64_t* position) noexcept override;
  abi::HRes SetSize(uint64_t size) noexcept override;

private:
  ~ZipFileOutStream();
  std::atomic<uint32_t> refs_{1};
  platform::file file_;
  std::shared_ptr<std::atomic<uint64_t>> budget_;
};

// The text after the last "." of a path's file name, or "7z" when the name has no dot.
std::string archive_extension(const std::string& path);

} // namespace kit::archive
