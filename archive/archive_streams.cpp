#include "archive/archive_streams.h"

#include <cstdint>

namespace kit::archive {

std::atomic<bool>& extractions_cancelled() {
  static std::atomic<bool> cancelled{false};
  return cancelled;
}

namespace {
abi::HRes errno_result() {
  return static_cast<abi::HRes>(0x88000000u | static_cast<uint32_t>(platform::last_system_error() & 0xFFFF));
}

// SET, CUR or END from base positions; fails before 0.
abi::HRes seek_to(int64_t offset, uint32_t origin, uint64_t current, uint64_t end, uint64_t& result) {
  uint64_t base = 0;
  switch (origin) {
  case 0: base = 0; break;
  case 1: base = current; break;
  case 2: base = end; break;
  default: return abi::kSeekError;
  }
  if (offset < 0 && static_cast<uint64_t>(-(offset + 1)) + 1 > base) return abi::kSeekError;
  if (offset > 0 && base > static_cast<uint64_t>(INT64_MAX) - static_cast<uint64_t>(offset)) return abi::kSeekError;
  result = offset < 0 ? base - (static_cast<uint64_t>(-(offset + 1)) + 1) : base + static_cast<uint64_t>(offset);
  return abi::kOk;
}
} // namespace

std::string archive_extension(const std::string& path) {
  auto slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  auto dot = name.find_last_of('.');
  return dot == std::string::npos ? std::string("7z") : name.substr(dot + 1);
}

ZipFileInStream* ZipFileInStream::Open(const std::string& path) {
  platform::file f;
  if (!f.open(path, platform::open_read | platform::open_non_blocking)) return nullptr;
  // Only a regular file: a FIFO or a device would block or never end.
  auto info = f.info();
  if (!info || info->kind != platform::file_kind::regular) return nullptr;
  return new ZipFileInStream(std::move(f), path, info->size);
}

ZipFileInStream::ZipFileInStream(platform::file f, std::string path, uint64_t size)
    : file_(std::move(f)), path_(std::move(path)), extension_(archive_extension(path_)), size_(size) {}

ZipFileInStream::~ZipFileInStream() = default;

uint32_t ZipFileInStream::Release() noexcept {
  uint32_t left = --refs_;
  if (left == 0) delete this;
  return left;
}

abi::HRes ZipFileInStream::QueryInterface(const abi::Guid& iid, void** out) noexcept {
  if (!out) return abi::kInvalidArg;
  *out = nullptr;
  if (iid == abi::IID_IUnknown || iid == abi::IID_ISequentialInStream || iid == abi::IID_IInStream) {
    *out = static_cast<abi::IInStream*>(this);
  } else if (iid == abi::IID_IStreamGetSize) {
    *out = static_cast<abi::IStreamGetSize*>(this);
  } else {
    return abi::kNoInterface;
  }
  AddRef();
  return abi::kOk;
}

abi::HRes ZipFileInStream::Read(void* data, uint32_t size, uint32_t* processed) noexcept {
  if (processed) *processed = 0;
  if (size == 0) return abi::kOk;
  std::lock_guard<std::mutex> lock(m_);
  int64_t n = file_.read_at(data, size, position_);
  if (n < 0) return errno_result();
  position_ += static_cast<uint64_t>(n);
  if (processed) *processed = static_cast<uint32_t>(n);
  return abi::kOk;
}

abi::HRes ZipFileInStream::Seek(int64_t offset, uint32_t origin, uint64_t* position) noexcept {
  std::lock_guard<std::mutex> lock(m_);
  uint64_t to = 0;
  abi::HRes r = seek_to(offset, origin, position_, size_, to);
  if (abi::failed(r)) return r;
  position_ = to;
  if (position) *position = to;
  return abi::kOk;
}

abi::HRes ZipFileInStream::GetSize(uint64_t* size) noexcept {
  if (!size) return abi::kInvalidArg;
  *size = size_;
  return abi::kOk;
}

ZipFileOutStream::~ZipFileOutStream() = default;

uint32_t ZipFileOutStream::Release() noexcept {
  uint32_t left = --refs_;
  if (left == 0) delete this;
  return left;
}

abi::HRes ZipFileOutStream::QueryInterface(const abi::Guid& iid, void** out) noexcept {
  if (!out) return abi::kInvalidArg;
  *out = nullptr;
  if (!(iid == abi::IID_IUnknown || iid == abi::IID_ISequentialOutStream || iid == abi::IID_IOutStream)) {
    return abi::kNoInterface;
  }
  *out = static_cast<abi::IOutStream*>(this);
  AddRef();
  return abi::kOk;
}

abi::HRes ZipFileOutStream::Write(const void* data, uint32_t size, uint32_t* processed) noexcept {
  if (processed) *processed = 0;
  if (extractions_cancelled().load()) return abi::kAbort;
  if (budget_) {
    uint64_t left = budget_->load();
    do {
      if (size > left) return abi::kFail;
    } while (!budget_->compare_exchange_weak(left, left - size));
  }
  if (!file_.write_all(data, size)) return errno_result();
  if (processed) *processed = size;
  return abi::kOk;
}

abi::HRes ZipFileOutStream::Seek(int64_t offset, uint32_t origin, uint64_t* position) noexcept {
  auto current = file_.position();
  auto info = file_.info();
  if (!current || !info) return errno_result();
  uint64_t to = 0;
  abi::HRes r = seek_to(offset, origin, *current, info->size, to);
  if (abi::failed(r)) return r;
  if (!file_.seek(to)) return errno_result();
  if (position) *position = to;
  return abi::kOk;
}

abi::HRes ZipFileOutStream::SetSize(uint64_t size) noexcept {
  if (size > static_cast<uint64_t>(INT64_MAX) || !file_.truncate(size)) return errno_result();
  return abi::kOk;
}

} // namespace kit::archive
