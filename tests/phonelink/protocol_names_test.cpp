// The UI package's constants (uipkg/luacode/GlobalMacro.lua) against the host's protocol
// header and task statuses: a number changed on one side only is caught here.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "common/agent_protocol.h"
#include "host/task_status.h"
#include "phonelink/decoded_frame.h"

namespace {

namespace agent = kit::agent;

std::map<std::string, long> macros_of_package() {
  std::ifstream in(std::string(MOBREVIST_TESTS_DIR) + "/../uipkg/luacode/GlobalMacro.lua");
  std::stringstream text;
  text << in.rdbuf();
  std::map<std::string, long> out;
  std::regex assignment(R"(^\s*([A-Z_0-9]+)\s*=\s*(\d+)\s*,)");
  std::string line;
  while (std::getline(text, line)) {
    std::smatch m;
    if (std::regex_search(line, m, assignment)) out[m[1]] = std::stol(m[2]);
  }
  return out;
}

TEST(ProtocolNames, ThePackageUsesTheNumbersOfTheProtocolHeader) {
  const std::map<std::string, long> expected = {
      {"PORT_REQUEST", agent::kRequestPort.local},
      {"PORT_PULL", agent::kPullPort.local},
      {"PORT_PUSH", agent::kPushPort.local},
      {"PORT_NOTIFY", agent::kNotifyPort.local},
      {"MSG_MUSIC_LIST", agent::msg::kMusicList},
      {"MSG_PICTURE_LIST", agent::msg::kPictureList},
      {"MSG_VIDEO_LIST", agent::msg::kVideoList},
      {"MSG_DOCUMENT_LIST", agent::msg::kDocumentList},
      {"MSG_APP_LIST", agent::msg::kAppList},
      {"MSG_CONTACT_LIST", agent::msg::kContactList},
      {"MSG_RINGTONE_LIST", agent::msg::kRingtoneList},
      {"MSG_SMS_LIST", agent::msg::kSmsList},
      {"MSG_SEND_SMS", agent::msg::kSendSms},
      {"MSG_RECORDING_LIST", agent::msg::kRecordingList},
      {"MSG_DOWNLOAD_LIST", agent::msg::kDownloadList},
      {"MSG_SCREENSHOT_LIST", agent::msg::kScreenshotList},
      {"MSG_CACHE_FILE_LIST", agent::msg::kCacheFileList},
      {"MSG_FOLDER_LIST", agent::msg::kFolderList},
      {"MSG_BACKUP_FILE_LIST", agent::msg::kBackupFileList},
      {"MSG_SMS_COUNT", agent::msg::kSmsCount},
      {"MSG_DEVICE_SUMMARY", agent::msg::kDeviceSummary},
      {"MSG_DELETE_SMS", agent::msg::kDeleteSms},
      {"MSG_DELETE_CONTACT", agent::msg::kDeleteContact},
      {"MSG_UNINSTALL_APP", agent::msg::kUninstallApp},
      {"MSG_MARK_THREAD_READ", agent::msg::kMarkThreadRead},
      {"MSG_SET_RINGTONE", agent::msg::kSetRingtone},
      {"MSG_DELETE_FILE", agent::msg::kDeleteFile},
      {"MSG_MAKE_FOLDER", agent::msg::kMakeFolder},
      {"MSG_FREE_STORAGE", agent::msg::kFreeStorage},
      {"MSG_ADD_CONTACT", agent::msg::kAddContact},
      {"MSG_MODEL_NAME", agent::msg::kModelName},
      {"MSG_INSTALL_APP", agent::msg::kInstallApp},
      {"NOTIFY_INCOMING_CALL", agent::notify::kIncomingCall},
      {"NOTIFY_BATTERY", agent::notify::kBattery},
      {"NOTIFY_NEW_SMS", agent::notify::kNewSms},
      {"NOTIFY_SMS_SEND_RESULT", agent::notify::kSmsSendResult},
      {"NOTIFY_VIDEO_ADDED", agent::notify::kVideoAdded},
      {"NOTIFY_PHOTO_ADDED", agent::notify::kPhotoAdded},
      {"NOTIFY_MUSIC_ADDED", agent::notify::kMusicAdded},
      {"REPLY", kit::phonelink::kReplyCode},
      {"REQUEST_FAILED", kit::phonelink::kRequestFailedCode},
      {"LIST_END", agent::status::kListEnd},
      {"TASK_WAITING", kit::host::kTaskWaiting},
      {"TASK_RUNNING", kit::host::kTaskRunning},
      {"TASK_STOPPED", kit::host::kTaskStopped},
      {"TASK_FAILED", kit::host::kTaskFailed},
      {"TASK_DONE", kit::host::kTaskDone},
      {"TASK_CONNECTION_FAILED", kit::host::kTaskConnectionFailed},
      {"PUSH_OPEN_FAILED", kit::host::kPushOpenFailed},
      {"PUSH_SOCKET_FAILED", kit::host::kPushSocketFailed},
      {"PUSH_CONNECT_FAILED", kit::host::kPushConnectFailed},
      {"PUSH_SEND_FAILED", kit::host::kPushSendFailed},
      {"PUSH_REFUSED", kit::host::kPushRefused},
      {"PULL_CANNOT_WRITE", kit::host::kPullCannotWrite},
  };
  EXPECT_EQ(macros_of_package(), expected);
}

} // namespace
