// The codec library's plug-in interface as this host binds it on x86-64, "interface type"
// 0 (the base interface has no virtual destructor, so derived methods start at slot 3).
// Types are sized the way the library sees them: 32-bit results and property ids, and the
// system's own wide characters and property values: 4-byte wchar_t (UTF-32) and 16-byte
// values on Linux, 2-byte wchar_t (UTF-16) and 24-byte values on Windows, where the
// library's strings come from the system's string allocator. Every method is called as
// nothrow.
#pragma once
#include <cstddef>
#include <cstdint>

namespace kit::archive::abi {

using HRes = int32_t;
constexpr HRes kOk = 0;
constexpr HRes kFalse = 1;
constexpr HRes kNotImpl = static_cast<HRes>(0x80004001u);
constexpr HRes kNoInterface = static_cast<HRes>(0x80004002u);
constexpr HRes kAbort = static_cast<HRes>(0x80004004u);
constexpr HRes kFail = static_cast<HRes>(0x80004005u);
constexpr HRes kOutOfMemory = static_cast<HRes>(0x8007000Eu);
constexpr HRes kInvalidArg = static_cast<HRes>(0x80070057u);
constexpr HRes kSeekError = static_cast<HRes>(0x80030001u);
inline bool failed(HRes r) { return r < 0; }

// The only interface type this host is compiled for.
constexpr uint32_t kInterfaceType = 0;

struct Guid {
  uint32_t d1;
  uint16_t d2;
  uint16_t d3;
  uint8_t d4[8];
};
bool operator==(const Guid& a, const Guid& b);

using Bstr = wchar_t*;

struct FileTime {
  uint32_t low;
  uint32_t high;
};

enum : uint16_t { VT_EMPTY = 0, VT_BSTR = 8, VT_BOOL = 11, VT_I4 = 3, VT_UI1 = 17, VT_UI2 = 18, VT_UI4 = 19, VT_I8 = 20,
                  VT_UI8 = 21 };

struct PropVariant {
  uint16_t vt = VT_EMPTY;
  uint16_t reserved1 = 0;
  uint16_t reserved2 = 0;
  uint16_t reserved3 = 0;
  union {
    uint8_t bVal;
    uint16_t uiVal;
    int16_t boolVal;
    int32_t lVal;
    uint32_t ulVal;
    int64_t hVal;
    uint64_t uhVal;
    FileTime filetime;
    Bstr bstrVal;
#ifdef _WIN32
    struct {
      uint32_t count;
      void* items;
    } blob;  // the widest member of the system's value: sets its size
#endif
  };
  PropVariant() : uhVal(0) {}
};
#ifdef _WIN32
static_assert(sizeof(PropVariant) == 24, "the system's property value is 24 bytes");
static_assert(sizeof(wchar_t) == 2, "the system's characters are UTF-16");
// Without the type report a library on Windows has the system's object layout, type 0.
constexpr bool kMissingTypeReportIsType0 = true;
// The library's strings and values are freed by the system's allocator, not its own.
constexpr const char* kSystemStringLibrary = "oleaut32.dll";
#else
static_assert(sizeof(PropVariant) == 16, "the library's property value is 16 bytes");
static_assert(sizeof(wchar_t) == 4, "the library's characters are 32-bit");
// A library without the type report has the old layout (virtual destructor in the base
// interface): every method slot would be off.
constexpr bool kMissingTypeReportIsType0 = false;
constexpr const char* kSystemStringLibrary = nullptr;
#endif

// Item and handler property ids used here.
enum : uint32_t { kpidPath = 3, kpidIsDir = 6, kpidSize = 7, kpidAttrib = 9, kpidEncrypted = 15, kpidPosixAttrib = 53,
                  kpidSymLink = 54, kpidHardLink = 90, kpidName = 4 };
enum : uint32_t { kHandlerName = 0, kHandlerClassId = 1, kHandlerExtension = 2, kHandlerSignature = 6,
                  kHandlerMultiSignature = 7, kHandlerFlags = 11 };
// Handler flag: the format is tried only for files whose extension names it.
constexpr uint32_t kFlagByExtensionOnly = 1u << 12;
enum : uint32_t { kMethodName = 1 };
enum : int32_t { kAskExtract = 0 };
enum : int32_t { kResultOk = 0 };

class IUnknown {
public:
  virtual HRes QueryInterface(const Guid& iid, void** out) noexcept = 0;
  virtual uint32_t AddRef() noexcept = 0;
  virtual uint32_t Release() noexcept = 0;

protected:
  ~IUnknown() = default;  // not virtual: it would shift every slot
};

class ISequentialInStream : public IUnknown {
public:
  virtual HRes Read(void* data, uint32_t size, uint32_t* processed) noexcept = 0;

protected:
  ~ISequentialInStream() = default;
};

class IInStream : public ISequentialInStream {
public:
  virtual HRes Seek(int64_t offset, uint32_t origin, uint64_t* position) noexcept = 0;

protected:
  ~IInStream() = default;
};

class ISequentialOutStream : public IUnknown {
public:
  virtual HRes Write(const void* data, uint32_t size, uint32_t* processed) noexcept = 0;

protected:
  ~ISequentialOutStream() = default;
};

class IOutStream : public ISequentialOutStream {
public:
  virtual HRes Seek(int64_t offset, uint32_t origin, uint64_t* position) noexcept = 0;
  virtual HRes SetSize(uint64_t size) noexcept = 0;

protected:
  ~IOutStream() = default;
};

class IStreamGetSize : public IUnknown {
public:
  virtual HRes GetSize(uint64_t* size) noexcept = 0;

protected:
  ~IStreamGetSize() = default;
};

class IProgress : public IUnknown {
public:
  virtual HRes SetTotal(uint64_t total) noexcept = 0;
  virtual HRes SetCompleted(const uint64_t* done) noexcept = 0;

protected:
  ~IProgress() = default;
};

class IArchiveOpenCallback : public IUnknown {
public:
  virtual HRes SetTotal(const uint64_t* files, const uint64_t* bytes) noexcept = 0;
  virtual HRes SetCompleted(const uint64_t* files, const uint64_t* bytes) noexcept = 0;

protected:
  ~IArchiveOpenCallback() = default;
};

class IArchiveExtractCallback : public IProgress {
public:
  virtual HRes GetStream(uint32_t index, ISequentialOutStream** out, int32_t ask_mode) noexcept = 0;
  virtual HRes PrepareOperation(int32_t ask_mode) noexcept = 0;
  virtual HRes SetOperationResult(int32_t result) noexcept = 0;

protected:
  ~IArchiveExtractCallback() = default;
};

class ICryptoGetTextPassword : public IUnknown {
public:
  virtual HRes CryptoGetTextPassword(Bstr* password) noexcept = 0;

protected:
  ~ICryptoGetTextPassword() = default;
};

class IArchiveOpenVolumeCallback : public IUnknown {
public:
  virtual HRes GetProperty(uint32_t prop, PropVariant* value) noexcept = 0;
  virtual HRes GetStream(const wchar_t* name, IInStream** stream) noexcept = 0;

protected:
  ~IArchiveOpenVolumeCallback() = default;
};

class IArchiveOpenSetSubArchiveName : public IUnknown {
public:
  virtual HRes SetSubArchiveName(const wchar_t* name) noexcept = 0;

protected:
  ~IArchiveOpenSetSubArchiveName() = default;
};

class IInArchive : public IUnknown {
public:
  virtual HRes Open(IInStream* stream, const uint64_t* max_check_start, IArchiveOpenCallback* callback) noexcept = 0;
  virtual HRes Close() noexcept = 0;
  virtual HRes GetNumberOfItems(uint32_t* count) noexcept = 0;
  virtual HRes GetProperty(uint32_t index, uint32_t prop, PropVariant* value) noexcept = 0;
  virtual HRes Extract(const uint32_t* indices, uint32_t count, int32_t test_mode,
                       IArchiveExtractCallback* callback) noexcept = 0;
  virtual HRes GetArchiveProperty(uint32_t prop, PropVariant* value) noexcept = 0;
  virtual HRes GetNumberOfProperties(uint32_t* count) noexcept = 0;
  virtual HRes GetPropertyInfo(uint32_t index, Bstr* name, uint32_t* prop, uint16_t* type) noexcept = 0;
  virtual HRes GetNumberOfArchiveProperties(uint32_t* count) noexcept = 0;
  virtual HRes GetArchivePropertyInfo(uint32_t index, Bstr* name, uint32_t* prop, uint16_t* type) noexcept = 0;

protected:
  ~IInArchive() = default;
};

// Interface ids: {23170F69-40C1-278A-0000-00GG00SS0000}.
constexpr Guid interface_id(uint8_t group, uint8_t sub) {
  return Guid{0x23170F69, 0x40C1, 0x278A, {0, 0, 0, group, 0, sub, 0, 0}};
}
constexpr Guid IID_IUnknown{0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr Guid IID_IProgress = interface_id(0x00, 0x05);
constexpr Guid IID_ISequentialInStream = interface_id(0x03, 0x01);
constexpr Guid IID_ISequentialOutStream = interface_id(0x03, 0x02);
constexpr Guid IID_IInStream = interface_id(0x03, 0x03);
constexpr Guid IID_IOutStream = interface_id(0x03, 0x04);
constexpr Guid IID_IStreamGetSize = interface_id(0x03, 0x06);
constexpr Guid IID_ICryptoGetTextPassword = interface_id(0x05, 0x10);
constexpr Guid IID_IArchiveOpenCallback = interface_id(0x06, 0x10);
constexpr Guid IID_IArchiveExtractCallback = interface_id(0x06, 0x20);
constexpr Guid IID_IArchiveOpenVolumeCallback = interface_id(0x06, 0x30);
constexpr Guid IID_IArchiveOpenSetSubArchiveName = interface_id(0x06, 0x50);
constexpr Guid IID_IInArchive = interface_id(0x06, 0x60);

// Exported entry points.
using GetModulePropFn = HRes (*)(uint32_t prop, PropVariant* value);
using GetNumberOfFormatsFn = HRes (*)(uint32_t* count);
using GetHandlerProperty2Fn = HRes (*)(uint32_t format, uint32_t prop, PropVariant* value);
using GetHandlerPropertyFn = HRes (*)(uint32_t prop, PropVariant* value);
using CreateObjectFn = HRes (*)(const Guid* class_id, const Guid* iid, void** out);
using GetNumberOfMethodsFn = HRes (*)(uint32_t* count);
using GetMethodPropertyFn = HRes (*)(uint32_t index, uint32_t prop, PropVariant* value);
using SetLargePageModeFn = HRes (*)();
using SysAllocStringFn = Bstr (*)(const wchar_t* text);
using SysFreeStringFn = void (*)(Bstr text);
using SysStringByteLenFn = uint32_t (*)(Bstr text);
using VariantClearFn = HRes (*)(PropVariant* value);

} // namespace kit::archive::abi
