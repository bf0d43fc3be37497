#include "archive/archive_callbacks.h"


#include "archive/archive_streams.h"
#include "archive/codec_library.h"

namespace kit::archive {

namespace {
abi::HRes empty_password(const C7ZipDllHandler& library, abi::Bstr* password) {
  if (!password) return abi::kInvalidArg;
  // The library frees what it is given: it must come from its own allocator.
  *password = library.alloc_string(L"");
  return *password ? abi::kOk : abi::kOutOfMemory;
}
} // namespace

abi::HRes ArchiveOpenCallback::QueryInterface(const abi::Guid& iid, void** out) noexcept {
  if (!out) return abi::kInvalidArg;
  *out = nullptr;
  if (iid == abi::IID_IUnknown || iid == abi::IID_IArchiveOpenCallback) {
    *out = static_cast<abi::IArchiveOpenCallback*>(this);
  } else if (iid == abi::IID_IArchiveOpenVolumeCallback) {
    *out = static_cast<abi::IArchiveOpenVolumeCallback*>(this);
  } else if (iid == abi::IID_IArchiveOpenSetSubArchiveName) {
    *out = static_cast<abi::IArchiveOpenSetSubArchiveName*>(this);
  } else if (iid == abi::IID_ICryptoGetTextPassword) {
    *out = static_cast<abi::ICryptoGetTextPassword*>(this);
  } else {
    return abi::kNoInterface;
  }
  AddRef();
  return abi::kOk;
}

uint32_t ArchiveOpenCallback::Release() noexcept {
  uint32_t left = --refs_;
  if (left == 0) delete this;
  return left;
}

abi::HRes ArchiveOpenCallback::GetProperty(uint32_t prop, abi::PropVariant* value) noexcept {
  if (!value) return abi::kInvalidArg;
  library_.clear(*value);
  if (prop != abi::kpidName) return abi::kOk;
  try {
    value->bstrVal = library_.alloc_string(utf8_to_wide(file_name_).c_str());
  } catch (...) {
    return abi::kOutOfMemory;
  }
  if (!value->bstrVal) return abi::kOutOfMemory;
  value->vt = abi::VT_BSTR;
  return abi::kOk;
}

abi::HRes ArchiveOpenCallback::GetStream(const wchar_t*, abi::IInStream** stream) noexcept {
  if (stream) *stream = nullptr;
  return abi::kFalse;
}

abi::HRes ArchiveOpenCallback::CryptoGetTextPassword(abi::Bstr* password) noexcept {
  password_asked_ = true;
  return empty_password(library_, password);
}

abi::HRes ArchiveExtractCallback::QueryInterface(const abi::Guid& iid, void** out) noexcept {
  if (!out) return abi::kInvalidArg;
  *out = nullptr;
  if (iid == abi::IID_IUnknown || iid == abi::IID_IProgress || iid == abi::IID_IArchiveExtractCallback) {
    *out = static_cast<abi::IArchiveExtractCallback*>(this);
  } else if (iid == abi::IID_ICryptoGetTextPassword) {
    *out = static_cast<abi::ICryptoGetTextPassword*>(this);
  } else {
    return abi::kNoInterface;
  }
  AddRef();
  return abi::kOk;
}

uint32_t ArchiveExtractCallback::Release() noexcept {
  uint32_t left = --refs_;
  if (left == 0) delete this;
  return left;
}

ArchiveExtractCallback::~ArchiveExtractCallback() { Finish(); }

abi::HRes ArchiveExtractCallback::CryptoGetTextPassword(abi::Bstr* password) noexcept {
  password_asked_ = true;
  return empty_password(library_, password);
}

void ArchiveExtractCallback::Discard() {
  if (!current_folder_.is_open()) return;
  current_folder_.remove(current_name_);
  Forget();
}

void ArchiveExtractCallback::Forget() {
  current_folder_.close();
  current_name_.clear();
}

void ArchiveExtractCallback::Finish() {
  std::lock_guard<std::mutex> lock(m_);
  Discard();
}

abi::HRes ArchiveExtractCallback::GetStream(uint32_t index, abi::ISequentialOutStream** out, int32_t ask_mode) noexcept {
  if (!out) return abi::kInvalidArg;
  *out = nullptr;
  std::lock_guard<std::mutex> lock(m_);
  // A file whose result never came is not trusted.
  Discard();
  if (ask_mode != abi::kAskExtract || index >= plan_.size() || !plan_[index].write) return abi::kOk;
  const item_plan& item = plan_[index];
  try {
    platform::folder folder = open_item_folder(destination_, item.parts, item.parts.size() - 1);
    if (!folder.is_open()) return abi::kOk;  // this item fails; the others go on
    platform::file target;
    if (!folder.create_file(item.parts.back(), item.mode, target)) return abi::kOk;
    current_folder_ = std::move(folder);
    current_name_ = item.parts.back();
    *out = new ZipFileOutStream(std::move(target), budget_);
  } catch (...) {
    Discard();
    return abi::kOutOfMemory;
  }
  return abi::kOk;
}

abi::HRes ArchiveExtractCallback::SetOperationResult(int32_t result) noexcept {
  std::lock_guard<std::mutex> lock(m_);
  if (result == abi::kResultOk) {
    Forget();
  } else {
    Discard();
  }
  return abi::kOk;
}

} // namespace kit::archive
