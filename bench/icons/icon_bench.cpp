// bench_icons: IconManager.Manager's cost per request in the machine's own icon theme:
// the first request of 40 extensions (type guess, theme look-up, decode), then a million
// requests of keys already cached. Prints both against their targets.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/ui_engine.h"
#include "utilities/icon_manager_object.h"

namespace {

constexpr double kFirstTargetMs = 20.0;   // a list of new types still draws at once
constexpr double kCachedTargetUs = 2.0;   // a long list of known types costs nothing

double ms_since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

} // namespace

int main() {
  const std::vector<std::string> exts = {"txt", "mp3", "png", "jpg", "pdf", "zip", "apk", "mp4", "avi", "doc",
                                         "xls", "ppt", "html", "css", "js", "c", "cpp", "h", "py", "sh",
                                         "deb", "iso", "gif", "svg", "ogg", "flac", "wav", "mkv", "webm", "json",
                                         "xml", "csv", "tar", "gz", "xz", "7z", "rar", "ttf", "odt", "ods"};
  CLuaIconManager manager;
  int found = 0;
  auto start = std::chrono::steady_clock::now();
  for (const std::string& e : exts) {
    if (UIG_Bitmap* b = manager.GetIconByPath("/x/file." + e, true)) {
      ++found;
      UIG_ReleaseBitmap(b);
    }
  }
  double first = ms_since(start) / exts.size();
  const int kCached = 1000000;
  start = std::chrono::steady_clock::now();
  for (int i = 0; i < kCached; ++i) {
    if (UIG_Bitmap* b = manager.GetIconByPath("/music/Song.MP3", true)) UIG_ReleaseBitmap(b);
  }
  double cached_us = ms_since(start) * 1000.0 / kCached;
  std::printf("first request: %.2f ms per type (%d of %zu found), target %.0f ms\n", first, found, exts.size(),
              kFirstTargetMs);
  std::printf("cached request: %.3f us, target %.1f us\n", cached_us, kCachedTargetUs);
  return first <= kFirstTargetMs && cached_us <= kCachedTargetUs ? 0 : 1;
}
