// The argument policy every script object follows: a method of each object called with a
// required argument missing either raises the runtime's argument error, or gives the
// result its description names for a bad argument; in neither case is any work queued.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/script_harness.h"

namespace {

struct policy_case {
  const char* object;
  const char* call;      // the method call, on the object `o`
  const char* expected;  // "raises", or the printed results
};

TEST(ArgumentPolicy, AMissingRequiredArgumentRaisesOrGivesTheDocumentedResult) {
  const std::vector<policy_case> cases = {
      {"SendFile.Manager", "o:SendCommonFile(nil, nil, function() end)", "raises"},
      {"GetFile.Manager", "o:GetFileTask(nil, nil, function() end)", "raises"},
      {"DownloadManger.Manager", "o:DownLoadFile(nil, nil, 1, 'n', '', function() end)", "raises"},
      {"AndroidCon.Manager", "o:InstallAPK('SERIAL', nil, function() end)", "raises"},
      {"Driver.Manager", "o:AddInstallDriver(nil, nil, 1)", "raises"},
      {"Socket.Manager", "o:SendSocketMessage()", "raises"},
      {"Device.Manager", "o:WriteLuaLog()", "raises"},
      {"Tray.Manager", "o:ModifyTrayTips()", "raises"},
      {"ClipBoardData.Manager", "o:SetTxtData()", "raises"},
      {"IconManager.Manager", "o:GetIconByPath()", "raises"},
      {"Win32Shell.Object", "o:ShellOpen()", "raises"},
      {"DataReport.Manager", "o:Report()", "nothing"},
      {"HttpRequest.Manager", "o:HttpRequest(1, nil)", "id"},
      {"AppHelp.Object", "o:URLDecode()", "''"},
  };
  testsupport::script_install app;
  std::string lua = "local results = {}\n";
  for (const auto& c : cases) {
    lua += std::string("do local o = GetObject('") + c.object + "')\n" +
           "  local ok, a = pcall(function() return " + c.call + " end)\n" +
           "  local r = not ok and (string.find(tostring(a), 'bad argument', 1, true) and 'raises' or 'error: ' .. tostring(a))\n" +
           "    or (a == nil and 'nothing' or type(a) == 'number' and 'id' or \"'\" .. tostring(a) .. \"'\")\n" +
           "  print('" + c.object + "', r) end\n";
  }
  lua += "GetObject('Win32Shell.Object'):PostQuitMessage()\n";
  app.package(lua);
  auto r = app.run({}, "", 20000);
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  for (const auto& c : cases) {
    std::string line = std::string(c.object) + "\t" + c.expected + "\n";
    EXPECT_NE(r.out.find(line), std::string::npos) << c.call << "\n" << r.out << r.err;
  }
}

} // namespace
