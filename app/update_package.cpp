#include "app/update_package.h"

#include <cerrno>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "common/text_convert.h"
#include "common/xml_document.h"
#include "archive/extract_archive.h"
#include "host/pending_moves.h"
#include "platform/file.h"
#include "platform/file_tree.h"

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

// Installs one file. An existing target keeps its permission bits and is replaced by a
// rename, so a reader sees the old file or the whole new one and never a part. A target
// that is a symbolic link becomes a regular file with the permission bits of what the link
// pointed at (a dangling link: those of the package's file).
void install_file(const std::string& source, const std::string& target, const std::string& profile_dir) {
  auto src_info = platform::path_info(source);
  if (!src_info || src_info->kind != platform::file_kind::regular) return;
  if (!platform::path_info(target, false)) {
    make_parents(target);
    copy_file(source, target, src_info->permissions);
    return;
  }
  auto target_info = platform::path_info(target);
  uint32_t permissions = target_info ? target_info->permissions : src_info->permissions;
  std::string temporary = target + ".tmp";
  if (!copy_file(source, temporary, permissions)) {
    platform::remove_file(temporary);
    return;
  }
  if (!platform::rename_path(temporary, target)) host::record_pending_move(profile_dir, temporary, target);
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

void apply_update_package(const std::string& package, const std::string& work_dir, const std::string& exe_dir,
                          const std::string& profile_dir) {
  if (work_dir.empty()) return;
  // A list left by an earlier package must never be applied again.
  platform::remove_tree(work_dir);
  if (!platform::make_directories(work_dir)) return;
  if (!kit::archive::extract_archive(package, work_dir)) return;
  xml::xml_dom_parser parser;
  if (!parser.parse_file(work_dir + "updatelist.xml")) return;
  auto root = parser.root();
  if (!root) return;

  if (auto deletions = root->first_child_named(u"DeleteFileList")) {
    for (size_t i = 0; i < deletions->child_count(); ++i) {
      bool present = false;
      std::string dest = attribute_utf8(*deletions->child_at(i), u"dest", present);
      if (present && is_contained_path(dest)) platform::remove_file(exe_dir + dest);
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
  for (const auto& [src, dest] : files) {
    if (!is_contained_path(src) || !is_contained_path(dest)) continue;
    install_file(work_dir + src, exe_dir + dest, profile_dir);
  }
}


} // namespace kit::app
