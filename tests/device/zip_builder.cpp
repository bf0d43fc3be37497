#include "zip_builder.h"

#include <minizip/zip.h>

#include "device/device_database.h"
#include "support/temp_dir.h"

namespace devicetest {

std::string make_zip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries) {
  testsupport::write_file(path, "");
  zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
  if (!zip) return {};
  for (const auto& [name, content] : entries) {
    zip_fileinfo info{};
    zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, Z_DEFAULT_COMPRESSION);
    zipWriteInFileInZip(zip, content.data(), static_cast<unsigned>(content.size()));
    zipCloseFileInZip(zip);
  }
  zipClose(zip, nullptr);
  return testsupport::read_file(path);
}

void install_database(const std::string& program_dir, const std::string& xml) {
  std::string archive = kit::device::CDeviceDatabase::ArchivePath(program_dir);
  testsupport::make_dirs(archive.substr(0, archive.find_last_of('/')));
  make_zip(archive, {{"my.dt", xml}});
}

} // namespace devicetest
