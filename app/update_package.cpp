#include "app/update_package.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "common/text_convert.h"
#include "common/xml_document.h"
#include "archive/extract_archive.h"
#include "host/pending_moves.h"
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
  for (size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1)) {
    ::mkdir(path.substr(0, pos).c_str(), 0755);
  }
}

bool write_all(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Copies source to a new file at destination with the given permission bits and flushes
// it to the disk.
bool copy_file(const std::string& source, const std::string& destination, mode_t mode) {
  int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  // Always a new file: whatever stood at the destination (a link above all) is not written
  // through.
  ::unlink(destination.c_str());
  int out = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = true;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    if (!write_all(out, buffer, static_cast<size_t>(n))) {
      ok = false;
      break;
    }
  }
  ok = ok && ::fchmod(out, mode) == 0 && ::fsync(out) == 0;
  ::close(in);
  if (::close(out) != 0) ok = false;
  return ok;
}

// Installs one file. An existing target keeps its permission bits and is replaced by a
// rename, so a reader sees the old file or the whole new one and never a part.
void install_file(const std::string& source, const std::string& target, const std::string& profile_dir) {
  struct stat src_info {};
  if (::stat(source.c_str(), &src_info) != 0 || !S_ISREG(src_info.st_mode)) return;
  struct stat target_info {};
  if (::lstat(target.c_str(), &target_info) != 0) {
    make_parents(target);
    copy_file(source, target, src_info.st_mode & 0777);
    return;
  }
  std::string temporary = target + ".tmp";
  if (!copy_file(source, temporary, target_info.st_mode & 0777)) {
    ::unlink(temporary.c_str());
    return;
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) host::record_pending_move(profile_dir, temporary, target);
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
  make_parents(work_dir);
  struct stat info {};
  if (::stat(work_dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return;
  if (!kit::archive::extract_archive(package, work_dir)) return;
  xml::xml_dom_parser parser;
  if (!parser.parse_file(work_dir + "updatelist.xml")) return;
  auto root = parser.root();
  if (!root) return;

  if (auto deletions = root->first_child_named(u"DeleteFileList")) {
    for (size_t i = 0; i < deletions->child_count(); ++i) {
      bool present = false;
      std::string dest = attribute_utf8(*deletions->child_at(i), u"dest", present);
      if (present && is_contained_path(dest)) ::unlink((exe_dir + dest).c_str());
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
