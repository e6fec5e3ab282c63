#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "Platform/Linux/XdgAutostartLoginItem.h"
#include "Support/TemporaryDirectory.h"

namespace platform::testing {
namespace {

using linuxbackend::LoginItemError;
using linuxbackend::XdgAutostartLoginItem;

std::string contents(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(XdgAutostartLoginItemTest, RegistersAnAutostartEntryAndRemovesIt) {
  TemporaryDirectory directory;
  XdgAutostartLoginItem item(directory.path(), "/opt/my \"apps\"/flagrig");
  EXPECT_EQ(item.status(), XdgAutostartLoginItem::Status::notRegistered);
  item.registerItem();
  EXPECT_EQ(item.status(), XdgAutostartLoginItem::Status::enabled);
  EXPECT_EQ(item.entryPath(), directory.path() / "autostart" / "flagrig.desktop");
  auto text = contents(item.entryPath());
  EXPECT_NE(text.find("Exec=\"/opt/my \\\"apps\\\"/flagrig\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Type=Application\n"), std::string::npos);
  // Registering again replaces the entry; unregistering twice is fine.
  item.registerItem();
  item.unregisterItem();
  item.unregisterItem();
  EXPECT_EQ(item.status(), XdgAutostartLoginItem::Status::notRegistered);
}

TEST(XdgAutostartLoginItemTest, AnEntryTheUserDisabledIsNotRegistered) {
  TemporaryDirectory directory;
  XdgAutostartLoginItem item(directory.path(), "/usr/bin/flagrig");
  item.registerItem();
  std::ofstream(item.entryPath(), std::ios::app) << "Hidden=true\n";
  EXPECT_EQ(item.status(), XdgAutostartLoginItem::Status::notRegistered);
}

TEST(XdgAutostartLoginItemTest, FailuresThrow) {
  TemporaryDirectory directory;
  // The autostart folder cannot be made: a file stands in its way.
  std::ofstream(directory.path() / "autostart") << "x";
  XdgAutostartLoginItem blocked(directory.path(), "/usr/bin/flagrig");
  EXPECT_THROW(blocked.registerItem(), LoginItemError);
  XdgAutostartLoginItem newline(directory.path() / "b", "/usr/bin/flag\nrig");
  EXPECT_THROW(newline.registerItem(), LoginItemError);
  EXPECT_EQ(newline.status(), XdgAutostartLoginItem::Status::notRegistered);
}

}  // namespace
}  // namespace platform::testing
