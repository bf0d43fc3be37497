#include "archive/extract_archive.h"

#include "platform/volume_info.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "archive/archive_callbacks.h"
#include "archive/archive_streams.h"
#include "archive/codec_library.h"

namespace kit::archive {

namespace {
std::string forward_slashes(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::string file_name(const std::string& path) {
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Formats whose extension list names ext come first, the others keep their order. A
// format that only trusts the extension, or has no signature to recognise its files by,
// would take almost any bytes (text, or a raw stream header asking for gigabytes): it is
// offered only when the extension names it.
std::vector<const C7ZipFormatInfo*> candidates(const CodecLibrary& library, const std::string& ext) {
  std::string lower_ext = ext;
  for (char& c : lower_ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  std::vector<const C7ZipFormatInfo*> first, rest;
  for (const C7ZipFormatInfo& f : library.formats()) {
    bool named = std::find(f.extensions.begin(), f.extensions.end(), lower_ext) != f.extensions.end();
    if (named) {
      first.push_back(&f);
    } else if (f.has_signature && !(f.flags & abi::kFlagByExtensionOnly)) {
      rest.push_back(&f);
    }
  }
  first.insert(first.end(), rest.begin(), rest.end());
  return first;
}

// Reads properties of one item; nothing when the library reports an error.
struct item_facts {
  std::string path;
  bool is_dir = false;
  uint64_t size = 0;  // as the archive announces it
  std::optional<unsigned> mode;  // st_mode bits when recorded
  bool is_link = false;
};

std::optional<uint64_t> number(const abi::PropVariant& v) {
  switch (v.vt) {
  case abi::VT_UI1: return v.bVal;
  case abi::VT_UI2: return v.uiVal;
  case abi::VT_UI4: return v.ulVal;
  case abi::VT_I4: return static_cast<uint32_t>(v.lVal);
  case abi::VT_UI8: return v.uhVal;
  case abi::VT_I8: return static_cast<uint64_t>(v.hVal);
  default: return std::nullopt;
  }
}

std::optional<item_facts> read_item(const C7ZipDllHandler& lib, abi::IInArchive* archive, uint32_t index) {
  item_facts facts;
  abi::PropVariant v;
  auto get = [&](uint32_t prop) {
    lib.clear(v);
    return !abi::failed(archive->GetProperty(index, prop, &v));
  };
  if (!get(abi::kpidPath)) return std::nullopt;
  facts.path = lib.text(v);
  if (!get(abi::kpidIsDir)) return std::nullopt;
  facts.is_dir = v.vt == abi::VT_BOOL && v.boolVal != 0;
  if (get(abi::kpidSize)) {
    if (v.vt == abi::VT_UI8) facts.size = v.uhVal;
    else if (auto n = number(v)) facts.size = *n;
  }
  if (get(abi::kpidPosixAttrib)) {
    if (auto n = number(v)) facts.mode = static_cast<unsigned>(*n & 0xFFFFu);
  }
  if (!facts.mode && get(abi::kpidAttrib)) {
    // The high half holds the POSIX mode when bit 0x8000 says so.
    if (auto n = number(v); n && (*n & 0x8000u)) facts.mode = static_cast<unsigned>((*n >> 16) & 0xFFFFu);
  }
  if (get(abi::kpidSymLink) && v.vt == abi::VT_BSTR && !lib.text(v).empty()) facts.is_link = true;
  if (get(abi::kpidHardLink) && v.vt == abi::VT_BSTR && !lib.text(v).empty()) facts.is_link = true;
  lib.clear(v);
  if (facts.mode) {
    // The file-type bits of the Unix mode an archive records.
    constexpr unsigned kTypeMask = 0170000, kDirectory = 0040000, kRegular = 0100000;
    unsigned type = *facts.mode & kTypeMask;
    if (type == kDirectory) facts.is_dir = true;
    // Links, devices, pipes and sockets are never created.
    else if (type != 0 && type != kRegular) facts.is_link = true;
  }
  return facts;
}

// The name of a stream item without a path of its own (a compressed single file): the
// archive's name without its last extension.
std::string stream_item_name(const std::string& archive_name) {
  auto dot = archive_name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return archive_name + "~";
  std::string ext = archive_name.substr(dot + 1);
  std::string base = archive_name.substr(0, dot);
  if (ext == "tgz" || ext == "tbz" || ext == "tbz2" || ext == "txz") return base + ".tar";
  return base;
}

// Opens the stream as an archive with the first format that accepts it. Sets locked when a
// format asked for a password while opening (the empty one did not fit).
abi::IInArchive* open_archive(const CodecLibrary& library, ZipFileInStream* stream, bool& locked) {
  locked = false;
  const uint64_t max_start = 0;  // the archive starts at the file's start: no scanning
  for (const C7ZipFormatInfo* f : candidates(library, stream->extension())) {
    if (abi::failed(stream->Seek(0, 0, nullptr))) return nullptr;
    void* object = nullptr;
    if (abi::failed(f->handler->create_object(&f->class_id, &abi::IID_IInArchive, &object)) || !object) continue;
    com_ptr<abi::IInArchive> archive(static_cast<abi::IInArchive*>(object));
    com_ptr<ArchiveOpenCallback> callback(new ArchiveOpenCallback(library.main(), file_name(stream->path())));
    abi::HRes r = archive->Open(stream, &max_start, callback.get());
    if (r == abi::kOk) {
      if (callback->password_asked()) {
        // Opened with the empty password: the items are encrypted all the same.
        archive->Close();
        locked = true;
        return nullptr;
      }
      abi::IInArchive* opened = archive.get();
      opened->AddRef();
      return opened;
    }
    archive->Close();
    if (callback->password_asked()) {
      locked = true;
      return nullptr;
    }
  }
  return nullptr;
}
} // namespace

void cancel_extractions() { extractions_cancelled().store(true); }

bool extract_archive(const std::string& archive_path, const std::string& destination, const std::string& password,
                     const extract_limits& limits) {
  (void)password;  // every caller passes the empty password, the only one tried
  try {
    const CodecLibrary* library = CodecLibrary::Instance();
    if (!library) return false;
    const C7ZipDllHandler& lib = library->main();
    std::string path = forward_slashes(archive_path);
    com_ptr<ZipFileInStream> stream(ZipFileInStream::Open(path));
    if (!stream) return false;
    bool locked = false;
    com_ptr<abi::IInArchive> archive(open_archive(*library, stream.get(), locked));
    if (!archive) return false;
    struct closer {
      abi::IInArchive* a;
      ~closer() { a->Close(); }
    } close_at_end{archive.get()};

    uint32_t count = 0;
    if (abi::failed(archive->GetNumberOfItems(&count)) || count > limits.max_items) return false;
    platform::folder dest;
    dest.open_path(forward_slashes(destination));
    // What the items would take is known before anything is written: more than the limit or
    // than the destination has free is refused whole.
    uint64_t room = limits.max_bytes;
    if (auto volume = platform::volume_of(forward_slashes(destination)); volume && volume->available < room) {
      room = volume->available;
    }
    std::vector<item_facts> items;
    items.reserve(count);
    uint64_t announced = 0;
    for (uint32_t i = 0; i < count; ++i) {
      std::optional<item_facts> facts = read_item(lib, archive.get(), i);
      if (!facts) return false;
      if (!facts->is_dir) announced += std::min<uint64_t>(facts->size, limits.max_bytes + 1);
      if (announced > room) return false;
      items.push_back(std::move(*facts));
    }
    std::vector<item_plan> plan;
    for (uint32_t i = 0; i < count; ++i) {
      std::optional<item_facts> facts = std::move(items[i]);
      plan.emplace_back();
      if (facts->path.empty() && !facts->is_dir) facts->path = stream_item_name(file_name(path));
      std::optional<std::vector<std::string>> parts = item_components(facts->path);
      if (!parts || facts->is_link) continue;  // would land outside the destination, or a link
      if (facts->is_dir) {
        open_item_folder(dest, *parts, parts->size());
        continue;
      }
      // The folder chain is made now, also when the file itself fails later.
      open_item_folder(dest, *parts, parts->size() - 1);
      plan.back().write = true;
      plan.back().parts = std::move(*parts);
      plan.back().mode = item_file_mode(facts->mode);
    }
    // An archive that writes more than it announced is broken off at the room there is.
    auto budget = std::make_shared<std::atomic<uint64_t>>(room);
    com_ptr<ArchiveExtractCallback> callback(new ArchiveExtractCallback(lib, dest, std::move(plan), budget));
    abi::HRes r = archive->Extract(nullptr, 0xFFFFFFFFu, 0, callback.get());
    callback->Finish();
    return !abi::failed(r) && !callback->password_asked();
  } catch (...) {
    return false;
  }
}

} // namespace kit::archive
