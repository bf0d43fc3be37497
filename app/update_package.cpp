#include "app/update_package.h"

#include <cerrno>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <vector>

#include "common/text_convert.h"
#include "common/xml_document.h"
#include "archive/extract_archive.h"
#include "common/ini_file.h"
#include "host/pending_moves.h"
#include "platform/file.h"
#include "platform/file_tree.h"
#include "platform/signature.h"

namespace kit::app {

namespace {

std::string slashed(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

// Makes every missing folder of the path's parent chain.
void make_parents(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) platform::make_directories(path.substr(0, slash));
}

// Copies source to a new file at destination with the given permission bits and flushes
// it to the disk.
bool copy_file(const std::string& source, const std::string& destination, uint32_t permissions) {
  platform::file in;
  if (!in.open(source, platform::open_read)) return false;
  // Always a new file: whatever stood at the destination (a link above all) is not written
  // through.
  platform::remove_file(destination);
  platform::file out;
  if (!out.open(destination,
                platform::open_write | platform::open_create | platform::open_exclusive | platform::open_no_follow, 0600)) {
    return false;
  }
  bool ok = true;
  char buffer[65536];
  for (;;) {
    int64_t n = in.read(buffer, sizeof buffer);
    if (n < 0) ok = false;
    if (n <= 0) break;
    if (!out.write_all(buffer, static_cast<size_t>(n))) {
      ok = false;
      break;
    }
  }
  ok = ok && out.set_permissions(permissions) && out.sync();
  return out.close() && ok;
}

// The maker's public key (Ed25519, raw), for packages from the built-in update server.
constexpr unsigned char kBuiltInPublicKey[] = {
    0xe6, 0x03, 0x1d, 0x4c, 0x7c, 0x00, 0x8d, 0x4a, 0x89, 0x86, 0x95, 0x2b, 0x51, 0xb3, 0x5d, 0xe1,
    0xc8, 0x48, 0x76, 0xa9, 0x7d, 0x43, 0x81, 0xac, 0x41, 0x13, 0xda, 0x05, 0xba, 0x93, 0xc4, 0x51,
};

// The largest package that is read for its check.
constexpr size_t kMaxPackageSize = size_t(1) << 30;

struct staged_file {
  std::string temporary;
  std::string target;
};

// The public key updates are checked with: "[Update] pubkey" of config.ini names a PEM
// file (absolute, or relative to the program folder); else the built-in one.
std::optional<std::string> public_key(const std::string& exe_dir, std::string& reason) {
  std::optional<std::string> file = ini::read_value(exe_dir + "config.ini", "Update", "pubkey");
  if (!file || file->empty()) return std::string(reinterpret_cast<const char*>(kBuiltInPublicKey), sizeof kBuiltInPublicKey);
  std::string path = platform::is_absolute_path(*file) ? *file : exe_dir + *file;
  std::optional<std::string> pem = platform::read_whole_file(path, 64 * 1024);
  std::optional<std::string> key = pem ? platform::ed25519_public_key_from_pem(*pem) : std::nullopt;
  if (!key) reason = "the public key file " + path + " (config.ini [Update] pubkey) cannot be read as an Ed25519 public key";
  return key;
}

// Writes the package's file beside its target as "<target>.tmp", with the permission bits of
// the target (of what a link there points at), else of the package's file. False when it
// cannot be written.
bool stage_file(const std::string& source, const std::string& target, staged_file& staged) {
  auto src_info = platform::path_info(source);
  if (!src_info || src_info->kind != platform::file_kind::regular) return false;
  auto target_info = platform::path_info(target);
  uint32_t permissions = target_info && target_info->kind == platform::file_kind::regular ? target_info->permissions
                                                                                        : src_info->permissions;
  make_parents(target);
  staged = {target + ".tmp", target};
  if (copy_file(source, staged.temporary, permissions)) return true;
  platform::remove_file(staged.temporary);
  return false;
}

std::string attribute_utf8(const xml::xml_element& element, std::u16string_view name, bool& present) {
  const std::u16string* value = element.attribute(name);
  present = value != nullptr;
  return value ? slashed(text::utf16_to_utf8(*value)) : std::string();
}
} // namespace

bool is_contained_path(const std::string& path) {
  std::string p = slashed(path);
  if (p.empty() || p[0] == '/') return false;
  if (p.size() >= 2 && p[1] == ':') return false;  // a drive letter
  std::istringstream parts(p);
  for (std::string part; std::getline(parts, part, '/');) {
    if (part == "..") return false;
  }
  return true;
}


update_result apply_update_package(const std::string& package, const update_folders& folders) {
  update_result result;
  auto refuse = [&](std::string reason) {
    result.reason = std::move(reason);
    return result;
  };
  // Without the host's private temporary folder there is nowhere safe to unpack: never a
  // folder relative to wherever the program was started.
  if (!platform::is_absolute_path(folders.temp_dir)) return refuse("there is no private temporary folder to unpack the update in");

  std::optional<std::string> signature = platform::read_whole_file(package + ".sig", 1024);
  if (!signature) return refuse("the package has no signature file (" + package + ".sig); nothing was changed");
  if (signature->size() != platform::kEd25519SignatureSize) return refuse("the package's signature file is damaged; nothing was changed");
  std::string reason;
  std::optional<std::string> key = public_key(folders.exe_dir, reason);
  if (!key) return refuse(reason);
  std::optional<std::string> bytes = platform::read_whole_file(package, kMaxPackageSize);
  if (!bytes) return refuse("the package " + package + " cannot be read");
  if (!platform::ed25519_verify(*key, *bytes, *signature)) {
    return refuse("the package's signature does not match: it was not signed by the update's maker, or it changed after the download; nothing was changed");
  }

  // The bytes that were checked are what is unpacked: a private copy, so the package cannot
  // change between the check and the unpacking.
  const std::string work_dir = folders.temp_dir + "Update/";
  const std::string checked = folders.temp_dir + "update-checked.pkg";
  // A list left by an earlier package must never be applied again.
  platform::remove_tree(work_dir);
  if (!platform::make_directories(work_dir)) return refuse("the working folder " + work_dir + " cannot be made");
  bool unpacked = platform::replace_file(checked, *bytes, 0600) && kit::archive::extract_archive(checked, work_dir);
  platform::remove_file(checked);
  if (!unpacked) return refuse("the package cannot be unpacked; nothing was changed");
  xml::xml_dom_parser parser;
  if (!parser.parse_file(work_dir + "updatelist.xml") || !parser.root()) {
    return refuse("the package holds no readable updatelist.xml; nothing was changed");
  }
  auto root = parser.root();

  std::vector<std::string> deletions;
  if (auto list = root->first_child_named(u"DeleteFileList")) {
    for (size_t i = 0; i < list->child_count(); ++i) {
      bool present = false;
      std::string dest = attribute_utf8(*list->child_at(i), u"dest", present);
      if (present && is_contained_path(dest)) deletions.push_back(folders.exe_dir + dest);
    }
  }
  std::map<std::string, std::string> files;  // src -> dest, the later dest wins
  if (auto list = root->first_child_named(u"FileList")) {
    for (size_t i = 0; i < list->child_count(); ++i) {
      bool has_src = false, has_dest = false;
      auto entry = list->child_at(i);
      std::string src = attribute_utf8(*entry, u"src", has_src);
      std::string dest = attribute_utf8(*entry, u"dest", has_dest);
      if (has_src && has_dest) files[src] = dest;
    }
  }

  // Every file is written beside its target before anything is replaced or deleted.
  std::vector<staged_file> staged;
  auto unstage = [&] {
    for (const staged_file& f : staged) platform::remove_file(f.temporary);
  };
  for (const auto& [src, dest] : files) {
    if (!is_contained_path(src) || !is_contained_path(dest)) continue;  // would leave its folder
    staged_file f;
    if (!platform::is_regular_file(work_dir + src)) {
      unstage();
      return refuse("the package lacks " + src + ", which its list names; nothing was changed");
    }
    if (!stage_file(work_dir + src, folders.exe_dir + dest, f)) {
      unstage();
      return refuse("cannot write " + folders.exe_dir + dest + ".tmp; nothing was changed");
    }
    staged.push_back(f);
  }
  for (const std::string& path : deletions) platform::remove_file(path);
  for (const staged_file& f : staged) {
    if (!platform::rename_path(f.temporary, f.target)) host::record_pending_move(folders.profile_dir, f.temporary, f.target);
  }
  result.applied = true;
  return result;
}

} // namespace kit::app
