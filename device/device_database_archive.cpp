// Reading the database archive: the file from the program folder, opened in memory with
// minizip's unzip interface.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

#include <minizip/unzip.h>

#include "device/device_database.h"

namespace kit::device {

namespace {
// minizip reads through these callbacks from a byte buffer instead of a file.
struct memory_stream {
  const std::string* bytes;
  ZPOS64_T pos;
};

voidpf ZCALLBACK mem_open(voidpf opaque, const void*, int) { return opaque; }

uLong ZCALLBACK mem_read(voidpf, voidpf stream, void* buf, uLong size) {
  auto* s = static_cast<memory_stream*>(stream);
  ZPOS64_T left = s->pos < s->bytes->size() ? s->bytes->size() - s->pos : 0;
  uLong n = static_cast<uLong>(std::min<ZPOS64_T>(left, size));
  if (n) std::memcpy(buf, s->bytes->data() + s->pos, n);
  s->pos += n;
  return n;
}

uLong ZCALLBACK mem_write(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK mem_tell(voidpf, voidpf stream) { return static_cast<memory_stream*>(stream)->pos; }

long ZCALLBACK mem_seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* s = static_cast<memory_stream*>(stream);
  ZPOS64_T base = 0;
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET: base = 0; break;
    case ZLIB_FILEFUNC_SEEK_CUR: base = s->pos; break;
    case ZLIB_FILEFUNC_SEEK_END: base = s->bytes->size(); break;
    default: return -1;
  }
  if (base + offset > s->bytes->size()) return -1;
  s->pos = base + offset;
  return 0;
}

int ZCALLBACK mem_close(voidpf, voidpf) { return 0; }
int ZCALLBACK mem_error(voidpf, voidpf) { return 0; }

constexpr int kCaseInsensitive = 2;

// The most the database entry may inflate to; the real one is a few hundred KiB. An entry
// that would grow beyond it (a damaged or hostile archive) is refused.
constexpr uint64_t kMaxEntryBytes = uint64_t(64) << 20;
} // namespace

std::string CDeviceDatabase::ArchivePath(const std::string& program_dir) { return program_dir + "adb_help.rsrc/MYCURSOR/101"; }

bool CDeviceDatabase::LoadFile(const std::string& archive_path) {
  vendors_.clear();
  models_.clear();
  std::ifstream in(archive_path, std::ios::binary);
  if (!in) return false;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return LoadArchive(bytes);
}

bool CDeviceDatabase::LoadArchive(const std::string& archive_bytes) {
  vendors_.clear();
  models_.clear();
  if (archive_bytes.empty()) return false;
  memory_stream stream{&archive_bytes, 0};
  zlib_filefunc64_def funcs{};
  funcs.zopen64_file = mem_open;
  funcs.zread_file = mem_read;
  funcs.zwrite_file = mem_write;
  funcs.ztell64_file = mem_tell;
  funcs.zseek64_file = mem_seek;
  funcs.zclose_file = mem_close;
  funcs.zerror_file = mem_error;
  funcs.opaque = &stream;
  unzFile zip = unzOpen2_64("memory", &funcs);
  if (!zip) return false;

  std::string xml;
  bool ok = true;
  if (unzLocateFile(zip, "my.dt", kCaseInsensitive) == UNZ_OK) {
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK &&
        info.uncompressed_size <= kMaxEntryBytes && unzOpenCurrentFile(zip) == UNZ_OK) {
      // The size comes from the archive: read in blocks rather than trust it for one buffer,
      // and stop at the cap whatever it says.
      char block[16384];
      int n;
      while ((n = unzReadCurrentFile(zip, block, sizeof block)) > 0) {
        if (xml.size() + static_cast<size_t>(n) > kMaxEntryBytes) {
          n = -1;
          break;
        }
        xml.append(block, static_cast<size_t>(n));
      }
      if (n < 0) ok = false;  // a damaged entry, or one too large
      unzCloseCurrentFile(zip);
    } else {
      ok = false;
    }
  }
  unzClose(zip);
  if (!ok) return false;
  return LoadDocument(xml);
}

} // namespace kit::device
