// The driver installer's command lines, unpack folders and task table, in-process.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "device/driver_manager.h"
#include "support/process_gone.h"
#include "support/temp_dir.h"

namespace {
const std::string kFolder = "/tmp/Mobrevist/driverDir/drv/";
}

TEST(DriverManager, CommandLinesOfTheThreeModes) {
  EXPECT_EQ(CDriverManager::CommandLine(1, "/app/dpinst64.exe", kFolder, "setup.exe", "x"),
            "\"/tmp/Mobrevist/driverDir/drv/setup.exe\"");
  // Two spaces between the information file and the extra parameter.
  EXPECT_EQ(CDriverManager::CommandLine(2, "/app/dpinst64.exe", kFolder, "a.inf", "/q /se"),
            "\"/app/dpinst64.exe\" \"/tmp/Mobrevist/driverDir/drv/a.inf\"  \"/q /se\"");
  EXPECT_EQ(CDriverManager::CommandLine(3, "/app/dpinst64.exe", kFolder, "p.msi", ""),
            "msiexec /i \"/tmp/Mobrevist/driverDir/drv/p.msi\"");
  for (int32_t mode : {0, 4, -1}) EXPECT_EQ(CDriverManager::CommandLine(mode, "i", kFolder, "f", ""), "") << mode;
}

TEST(DriverManager, BitnessInstallerAndUnpackFolder) {
  testsupport::temp_dir t;
  CDriverManager m;
  m.SetFolders(t.path() + "/app/", t.path() + "/tmp/");
  EXPECT_EQ(m.Bitness(), 0);
  EXPECT_TRUE(m.Init());
  EXPECT_TRUE(m.Init());
  EXPECT_EQ(m.Bitness(), 2);
  EXPECT_EQ(m.InstallerPath(), t.path() + "/app/dpinst64.exe");
  // The archive's name without its last extension, whatever the separator.
  EXPECT_EQ(m.UnpackFolder("/d/driver_002.zip"), t.path() + "/tmp/driverDir/driver_002/");
  EXPECT_EQ(m.UnpackFolder("C:\\d\\pkg.tar.gz"), t.path() + "/tmp/driverDir/pkg.tar/");
  EXPECT_EQ(m.UnpackFolder("plain"), t.path() + "/tmp/driverDir/plain/");
  m.UnInit();
}

// An archive that does not unpack starts nothing; UnInit drops the tasks and returns.
TEST(DriverManager, UnInitDropsTasksAndStopsTheWorker) {
  testsupport::temp_dir t;
  CDriverManager m;
  m.SetFolders(t.path() + "/app/", t.path() + "/tmp/");
  m.Init();
  int32_t first = m.AddTask(t.path() + "/missing.zip", "x", 2, "", nullptr);
  int32_t second = m.AddTask(t.path() + "/missing.zip", "x", 2, "", nullptr);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 2);
  m.UnInit();
  EXPECT_EQ(m.TaskCount(), 0u);
  EXPECT_FALSE(m.running());
  // The started flag stays: Init does not bring the worker back.
  m.Init();
  m.AddTask(t.path() + "/missing.zip", "x", 2, "", nullptr);
  EXPECT_FALSE(m.running());
  EXPECT_EQ(m.TaskCount(), 1u);
}
