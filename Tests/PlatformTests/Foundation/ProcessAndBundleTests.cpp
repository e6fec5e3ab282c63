#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/OperatingSystemVersion.h"
#include "Platform/Linux/LinuxProcessInfo.h"
#include "Platform/Linux/XDGFileLocations.h"
#include "Platform/Sim/SimFileLocations.h"

namespace platform {
namespace {

TEST(OperatingSystemVersionTests, ReadsTheLeadingNumbersOfAReleaseText) {
  struct Case {
    const char* release;
    OperatingSystemVersion version;
  };
  const Case cases[] = {
      {"6.1.0-18-amd64", {6, 1, 0}},
      {"5.15.153.1-microsoft-standard-WSL2", {5, 15, 153}},
      {"6.8", {6, 8, 0}},
      {"6.8rc1", {6, 8, 0}},
      {"4", {4, 0, 0}},
      {"", {0, 0, 0}},
      {"linux", {0, 0, 0}},
      {"6.-1.2", {6, 0, 0}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(OperatingSystemVersion::parse(c.release), c.version) << c.release;
  EXPECT_EQ(OperatingSystemVersion::parse("6.1.0-18-amd64").text(), "6.1.0");
}

TEST(LinuxProcessInfoTests, DescribesThisProcessAndSystem) {
  auto info = linuxbackend::currentProcessInfo();
  EXPECT_EQ(info->processIdentifier(), getpid());
  EXPECT_EQ(info->executablePath(), std::filesystem::read_symlink("/proc/self/exe").string());
  ASSERT_FALSE(info->arguments().empty());
  EXPECT_GT(info->operatingSystemVersion().majorVersion, 2);
  EXPECT_EQ(info->operatingSystemVersionString().rfind(
                "Version " + info->operatingSystemVersion().text() + " (", 0),
            0u);

  EXPECT_EQ(linuxbackend::operatingSystemVersionString("6.1.0-18-amd64",
                                                       "Debian GNU/Linux 12 (bookworm)"),
            "Version 6.1.0 (Debian GNU/Linux 12 (bookworm), kernel 6.1.0-18-amd64)");
  EXPECT_EQ(linuxbackend::operatingSystemVersionString("6.8", ""), "Version 6.8.0 (kernel 6.8)");
}

TEST(LinuxProcessInfoTests, TheBuiltInInfoDictionaryCarriesTheVersions) {
  auto info = linuxbackend::builtInInfoDictionary();
  for (const char* key :
       {"CFBundleShortVersionString", "CFBundleVersion", "CFBundleIdentifier", "CFBundleName"}) {
    const Value* value = info.find(key);
    ASSERT_TRUE(value && value->asString()) << key;
    EXPECT_FALSE(value->asString()->empty()) << key;
  }
  // The updater's keys are absent, never empty, in a build that does not configure them.
  for (const char* key : {"SUFeedURL", "SUPublicEDKey"}) {
    if (const Value* value = info.find(key)) {
      EXPECT_FALSE(value->asString()->empty()) << key;
    }
  }
}

TEST(BundleTests, FindsResourcesAtTheTopOrInASubfolder) {
  sim::SimFileLocations scratch;
  auto root = *scratch.logsDirectory();
  std::filesystem::create_directories(root / "Brand");
  std::ofstream(root / "Logo.png") << "png";
  std::ofstream(root / "Brand" / "Logo@2x.png") << "png";
  Bundle bundle(Value(Value::Dictionary{{"CFBundleShortVersionString", Value("2.1")}}), "/opt/app",
                root);

  EXPECT_EQ(bundle.pathForResource("Logo", "png"), root / "Logo.png");
  EXPECT_EQ(bundle.pathForResource("Logo@2x", "png", "Brand"), root / "Brand" / "Logo@2x.png");
  EXPECT_FALSE(bundle.pathForResource("Logo@2x", "png"));
  EXPECT_FALSE(bundle.pathForResource("Brand", ""));  // a folder is no resource
  EXPECT_EQ(bundle.objectForInfoDictionaryKey("CFBundleShortVersionString"), Value("2.1"));
  EXPECT_FALSE(bundle.objectForInfoDictionaryKey("SUFeedURL"));
}

TEST(FileLocationsTests, LogsAndPreferencesGoToTheXDGFoldersOfTheUsersHome) {
  using linuxbackend::XDGFileLocations;
  EXPECT_EQ(XDGFileLocations::stateHome("/x/state", "/home/u"), std::filesystem::path("/x/state"));
  EXPECT_EQ(XDGFileLocations::stateHome("relative/state", "/home/u"),
            std::filesystem::path("/home/u/.local/state"));
  EXPECT_EQ(XDGFileLocations::stateHome(nullptr, "/home/u"),
            std::filesystem::path("/home/u/.local/state"));

  // Without a usable HOME the passwd entry's home is taken, never a shared folder such as /tmp.
  passwd* entry = ::getpwuid(::getuid());
  ASSERT_NE(entry, nullptr);
  const std::filesystem::path passwdHome = entry->pw_dir;
  for (const char* home : {static_cast<const char*>(nullptr), "", "relative/home"}) {
    EXPECT_EQ(XDGFileLocations::stateHome("", home), passwdHome / ".local" / "state");
    EXPECT_EQ(XDGFileLocations::configHome("relative", home), passwdHome / ".config");
  }
  EXPECT_EQ(XDGFileLocations::configHome("/x/config", nullptr), std::filesystem::path("/x/config"));
  EXPECT_EQ(XDGFileLocations::configHome(nullptr, "/home/u"), std::filesystem::path("/home/u/.config"));

  std::filesystem::path root;
  {
    sim::SimFileLocations files;
    root = *files.logsDirectory();
    EXPECT_EQ(root.parent_path().parent_path(), std::filesystem::temp_directory_path());
    std::filesystem::create_directories(root);
    files.setLogsDirectory(std::nullopt);
    EXPECT_FALSE(files.logsDirectory());
  }
  EXPECT_FALSE(std::filesystem::exists(root.parent_path()));
}

}  // namespace
}  // namespace platform
