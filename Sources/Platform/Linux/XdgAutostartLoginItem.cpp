#include "Platform/Linux/XdgAutostartLoginItem.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace platform::linuxbackend {

namespace {

std::filesystem::path defaultConfigFolder() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') return xdg;
  if (const char* home = std::getenv("HOME"); home && home[0] == '/')
    return std::filesystem::path(home) / ".config";
  if (const passwd* entry = ::getpwuid(::getuid());
      entry && entry->pw_dir && entry->pw_dir[0] == '/')
    return std::filesystem::path(entry->pw_dir) / ".config";
  return {};
}

// Exec= takes its arguments quoted: double quotes around, with ", `, $ and \ escaped, and % doubled
// so that no field code is read into the path. The value is itself a string, whose own escapes
// (\\ for a backslash, \t for a tab) are undone before the quoting is: so every backslash goes
// out doubled.
std::string quotedExec(const std::string& path) {
  std::string quoted;
  for (char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted.push_back('\\');
    if (c == '%') quoted.push_back('%');
    quoted.push_back(c);
  }
  std::string out = "\"";
  for (char c : quoted) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
  return out;
}

}  // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(std::filesystem::path configFolder,
                                             std::filesystem::path executable) {
  if (configFolder.empty()) configFolder = defaultConfigFolder();
  if (!configFolder.empty()) entry_ = configFolder / "autostart" / "flagrig.desktop";
  if (executable.empty()) {
    std::error_code error;
    executable = std::filesystem::read_symlink("/proc/self/exe", error);
  }
  executable_ = std::move(executable);
}

XdgAutostartLoginItem::Status XdgAutostartLoginItem::status() const {
  if (entry_.empty()) return Status::notRegistered;
  std::ifstream in(entry_);
  if (!in) return Status::notRegistered;
  std::string line;
  bool inEntry = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == '[') inEntry = line == "[Desktop Entry]";
    if (inEntry && (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false"))
      return Status::notRegistered;
  }
  return Status::enabled;
}

void XdgAutostartLoginItem::registerItem() {
  if (entry_.empty()) throw LoginItemError("no configuration folder");
  if (executable_.empty()) throw LoginItemError("the program's path is unknown");
  if (executable_.native().find_first_of("\n\r") != std::string::npos)
    throw LoginItemError("the program's path cannot be written into an entry");
  std::error_code error;
  std::filesystem::create_directories(entry_.parent_path(), error);
  if (error) throw LoginItemError(error.message());

  std::string text =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=Flagrig\n"
      "Comment=Coloured tags on your windows\n"
      "Exec=" +
      quotedExec(executable_.string()) +
      "\n"
      "Terminal=false\n"
      "X-GNOME-Autostart-enabled=true\n";
  auto temporary = entry_;
  temporary += ".tmp-" + std::to_string(::getpid());
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) throw LoginItemError(std::strerror(errno));
  bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (!ok || std::rename(temporary.c_str(), entry_.c_str()) != 0) {
    int saved = errno;
    ::unlink(temporary.c_str());
    throw LoginItemError(std::strerror(saved));
  }
}

void XdgAutostartLoginItem::unregisterItem() {
  if (entry_.empty()) return;
  if (::unlink(entry_.c_str()) != 0 && errno != ENOENT) throw LoginItemError(std::strerror(errno));
}

}  // namespace platform::linuxbackend
