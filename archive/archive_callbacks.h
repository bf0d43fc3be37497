// The callbacks the codec library calls while it opens an archive and extracts its items.
// Both answer a password request with the empty password and remember that it came.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "archive/archive_streams.h"
#include "archive/codec_abi.h"
#include "archive/item_target.h"

namespace kit::archive {

class C7ZipDllHandler;

class ArchiveOpenCallback final : public abi::IArchiveOpenCallback,
                                  public abi::IArchiveOpenVolumeCallback,
                                  public abi::IArchiveOpenSetSubArchiveName,
                                  public abi::ICryptoGetTextPassword {
public:
  ArchiveOpenCallback(const C7ZipDllHandler& library, std::string file_name)
      : library_(library), file_name_(std::move(file_name)) {}

  abi::HRes QueryInterface(const abi::Guid& iid, void** out) noexcept override;
  uint32_t AddRef() noexcept override { return ++refs_; }
  uint32_t Release() noexcept override;
  abi::HRes SetTotal(const uint64_t*, const uint64_t*) noexcept override { return abi::kOk; }
  abi::HRes SetCompleted(const uint64_t*, const uint64_t*) noexcept override { return abi::kOk; }
  abi::HRes GetProperty(uint32_t prop, abi::PropVariant* value) noexcept override;
  // Other volumes are not offered: each archive is one file.
  abi::HRes GetStream(const wchar_t*, abi::IInStream** stream) noexcept override;
  abi::HRes SetSubArchiveName(const wchar_t*) noexcept override { return abi::kOk; }
  abi::HRes CryptoGetTextPassword(abi::Bstr* password) noexcept override;

  bool password_asked() const { return password_asked_; }
  void forget_password_request() { password_asked_ = false; }

private:
  ~ArchiveOpenCallback() = default;
  std::atomic<uint32_t> refs_{1};
  const C7ZipDllHandler& library_;
  std::string file_name_;
  std::atomic<bool> password_asked_{false};
};

// What to do with one item, decided before extraction.
struct item_plan {
  bool write = false;              // a regular file inside the destination
  std::vector<std::string> parts;  // its path components
  int mode = -1;                   // permission bits, -1 for the default
};

// Writes the planned items. A file whose data did not come out whole (a CRC error, a
// truncated archive, an error that ended the extraction) is removed again, so only items
// the library confirmed are left.
class ArchiveExtractCallback final : public abi::IArchiveExtractCallback, public abi::ICryptoGetTextPassword {
public:
  ArchiveExtractCallback(const C7ZipDllHandler& library, const platform::folder& destination,
                         std::vector<item_plan> plan, std::shared_ptr<std::atomic<uint64_t>> budget)
      : library_(library), destination_(destination), plan_(std::move(plan)), budget_(std::move(budget)) {}

  abi::HRes QueryInterface(const abi::Guid& iid, void** out) noexcept override;
  uint32_t AddRef() noexcept override { return ++refs_; }
  uint32_t Release() noexcept override;
  abi::HRes SetTotal(uint64_t) noexcept override { return abi::kOk; }
  // A cancelled extraction stops here too, between the writes.
  abi::HRes SetCompleted(const uint64_t*) noexcept override {
    return extractions_cancelled().load() ? abi::kAbort : abi::kOk;
  }
  abi::HRes GetStream(uint32_t index, abi::ISequentialOutStream** out, int32_t ask_mode) noexcept override;
  abi::HRes PrepareOperation(int32_t) noexcept override { return abi::kOk; }
  abi::HRes SetOperationResult(int32_t result) noexcept override;
  abi::HRes CryptoGetTextPassword(abi::Bstr* password) noexcept override;

  // Removes the file of an item whose result never came (after Extract returned).
  void Finish();
  bool password_asked() const { return password_asked_; }

private:
  ~ArchiveExtractCallback();
  void Discard();  // removes the current file
  void Forget();   // keeps the current file
  std::atomic<uint32_t> refs_{1};
  const C7ZipDllHandler& library_;
  const platform::folder& destination_;
  std::vector<item_plan> plan_;
  std::shared_ptr<std::atomic<uint64_t>> budget_;
  std::mutex m_;
  platform::folder current_folder_;  // the folder of the file being written
  std::string current_name_;
  std::atomic<bool> password_asked_{false};
};

} // namespace kit::archive
