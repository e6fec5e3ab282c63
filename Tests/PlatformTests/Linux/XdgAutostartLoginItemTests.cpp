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
  EXPECT_NE(text.find("Exec=\"/opt/my \\\\\"apps\\\\\"/flagrig\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Type=Application\n"), std::string::npos);
  // Registering again replaces the entry; unregistering twice is fine.
  item.registerItem();
  item.unregisterItem();
  item.unregisterItem();
  EXPECT_EQ(item.status(), XdgAutostartLoginItem::Status::notRegistered);
}

// Exec= is a string value (its backslashes escaped once more) holding a quoted argument, and a
// bare % starts a field code, so "%u" in a folder name would run the wrong program.
TEST(XdgAutostartLoginItemTest, ExecQuotesEveryPathAsTheDesktopEntryFormatSays) {
  struct Case {
    const char* path;
    const char* exec;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"/usr/bin/flagrig", R"(Exec="/usr/bin/flagrig")"},
           {"/home/u/%u/flagrig", R"(Exec="/home/u/%%u/flagrig")"},
           {"/opt/100%/%%f", R"(Exec="/opt/100%%/%%%%f")"},
           {"/opt/my \"apps\"/flagrig", R"(Exec="/opt/my \\"apps\\"/flagrig")"},
           {"/opt/a\\b/flagrig", R"(Exec="/opt/a\\\\b/flagrig")"},
           {"/opt/$HOME/flagrig", R"(Exec="/opt/\\$HOME/flagrig")"},
           {"/opt/`id`/flagrig", R"(Exec="/opt/\\`id\\`/flagrig")"},
           {"/opt/tab\there/flagrig", R"(Exec="/opt/tab\there/flagrig")"},
           {"/opt/it's; rm -rf ~/flagrig", R"(Exec="/opt/it's; rm -rf ~/flagrig")"},
       }) {
    TemporaryDirectory directory;
    XdgAutostartLoginItem item(directory.path(), c.path);
    item.registerItem();
    auto text = contents(item.entryPath());
    EXPECT_NE(text.find(std::string(c.exec) + "\n"), std::string::npos) << c.path << "\n" << text;
  }
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
