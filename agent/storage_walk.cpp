#include "agent/storage_walk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <vector>

namespace kit::agent {

namespace {
constexpr int kMaxDepth = 12;
constexpr size_t kMaxEntries = 200000;

std::string lower_extension(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return {};
  std::string ext = name.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return ext;
}

bool one_of(const std::string& ext, std::initializer_list<const char*> list) {
  for (const char* e : list)
    if (ext == e) return true;
  return false;
}

bool is_audio(const std::string& ext) { return one_of(ext, {"mp3", "ogg", "m4a", "wav", "amr", "aac", "flac", "3gpp", "opus"}); }

struct walker {
  size_t visited = 0;
  bool stopped = false;

  // Calls visit(local path, name, stat, depth) for every entry below dir; visit returns
  // false to stop the walk (the host has gone).
  void walk(const std::string& dir, int depth, bool skip_private,
            const std::function<bool(const std::string&, const std::string&, const struct stat&)>& visit) {
    if (stopped || depth > kMaxDepth) return;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
      if (stopped || ++visited > kMaxEntries) {
        stopped = true;
        return;
      }
      std::string path = dir + "/" + name;
      struct stat st {};
      if (::lstat(path.c_str(), &st) != 0) continue;
      if (!visit(path, name, st)) {
        stopped = true;
        return;
      }
      bool private_folder = skip_private && (name == "data" || name == "obb") && dir.size() >= 8 &&
                            dir.compare(dir.size() - 8, 8, "/Android") == 0;
      if (S_ISDIR(st.st_mode) && !private_folder) walk(path, depth + 1, skip_private, visit);
    }
  }
};
} // namespace

bool is_document_name(const std::string& name) {
  return one_of(lower_extension(name), {"txt", "pdf", "doc", "docx", "xls", "xlsx", "ppt", "pptx", "odt", "ods", "odp",
                                        "rtf", "csv", "epub", "md"});
}

void walk_listing(const phone_paths& paths, const std::string& list, const each_fn<file_entry>& each) {
  const std::string storage = paths.local(phone_paths::kStorage);
  walker w;
  auto emit = [&](const std::string& local, uint16_t type, uint64_t size) {
    return each(file_entry{list, paths.phone(local), type, size, 0});
  };
  if (list == "folder") {  // the folders at the top of shared storage
    w.walk(storage, kMaxDepth, false, [&](const std::string& p, const std::string& name, const struct stat& st) {
      return !S_ISDIR(st.st_mode) || name[0] == '.' || emit(p, 0, 0);
    });
    return;
  }
  if (list == "cache") {  // the cache folders of apps in Android/data, where readable
    std::string data = storage + "/Android/data";
    w.walk(data, kMaxDepth - 3, false, [&](const std::string& p, const std::string&, const struct stat& st) {
      return !S_ISREG(st.st_mode) || p.find("/cache/") == std::string::npos ||
             emit(p, 4, static_cast<uint64_t>(st.st_size));
    });
    return;
  }
  // The folder a listing lives in; the whole storage for documents.
  struct place {
    const char* list;
    const char* folder;
  };
  static const place places[] = {{"ringtone", ""},          {"recording", "/Recordings"}, {"download", "/Download"},
                                 {"screenshot", ""},        {"backup", "/backup"},        {"document", ""}};
  const char* folder = nullptr;
  for (const auto& pl : places)
    if (list == pl.list) folder = pl.folder;
  if (!folder) return;
  w.walk(storage + folder, 1, true, [&](const std::string& p, const std::string& name, const struct stat& st) {
    if (!S_ISREG(st.st_mode)) return true;
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    const std::string ext = lower_extension(name);
    const std::string phone = paths.phone(p);
    auto in = [&](const char* part) { return phone.find(part) != std::string::npos; };
    if (list == "document") return !is_document_name(name) || in("/Android/") || emit(p, 0, size);
    if (list == "ringtone") {
      if (!is_audio(ext)) return true;
      // Android's own numbers: 1 ringtone, 2 notification, 4 alarm.
      if (in("/Ringtones/")) return emit(p, 1, size);
      if (in("/Notifications/")) return emit(p, 2, size);
      if (in("/Alarms/")) return emit(p, 4, size);
      return true;
    }
    if (list == "screenshot") return !in("/Screenshots/") || emit(p, 3, size);
    if (list == "recording") return !is_audio(ext) || emit(p, 1, size);
    if (list == "backup") return emit(p, 5, size);
    return emit(p, 2, size);  // download
  });
}

} // namespace kit::agent
