#include "Platform/Linux/LinuxProcessInfo.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

namespace platform::linuxbackend {

namespace {

std::string prettyNameFromOSRelease() {
  for (const char* file : {"/etc/os-release", "/usr/lib/os-release"}) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
      std::string value = line.substr(12);
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
          value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
      return value;
    }
  }
  return {};
}

}  // namespace

std::vector<std::string> commandLine() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> arguments;
  std::size_t start = 0;
  while (start < all.size()) {
    auto end = all.find('\0', start);
    if (end == std::string::npos) end = all.size();
    arguments.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return arguments;
}

std::string operatingSystemVersionString(std::string_view kernelRelease,
                                         std::string_view prettyName) {
  auto version = OperatingSystemVersion::parse(kernelRelease);
  std::string text = "Version " + version.text() + " (";
  if (!prettyName.empty()) text.append(prettyName).append(", ");
  text.append("kernel ").append(kernelRelease).append(")");
  return text;
}

std::optional<std::string> localeRegion(std::string_view name) {
  auto underscore = name.find('_');
  if (underscore == std::string_view::npos) return std::nullopt;
  auto region = name.substr(underscore + 1);
  region = region.substr(0, region.find_first_of(".@"));
  auto all = [&](bool (*accepts)(char)) {
    for (char c : region)
      if (!accepts(c)) return false;
    return true;
  };
  if (region.size() == 2 && all([](char c) { return c >= 'A' && c <= 'Z'; }))
    return std::string(region);
  if (region.size() == 3 && all([](char c) { return c >= '0' && c <= '9'; }))
    return std::string(region);
  return std::nullopt;
}

std::shared_ptr<ProcessInfo> currentProcessInfo() {
  ProcessInfo::Fields fields;
  utsname names{};
  std::string release = uname(&names) == 0 ? names.release : "";
  fields.operatingSystemVersion = OperatingSystemVersion::parse(release);
  fields.operatingSystemVersionString =
      operatingSystemVersionString(release, prettyNameFromOSRelease());
  fields.processIdentifier = static_cast<int>(getpid());
  std::error_code error;
  fields.executablePath = std::filesystem::read_symlink("/proc/self/exe", error).string();
  fields.arguments = commandLine();
  // The locale the user's messages are in, by POSIX precedence.
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (!value || !*value) continue;
    fields.localeRegion = localeRegion(value);
    break;
  }
  return std::make_shared<ProcessInfo>(std::move(fields));
}

std::shared_ptr<Bundle> mainBundle(const ProcessInfo& process) {
  std::filesystem::path executable = process.executablePath();
  auto directory = executable.parent_path();
  auto resources = directory / "Resources";
  std::error_code error;
  if (!std::filesystem::is_directory(resources, error)) {
    auto installed = directory.parent_path() / "share" / "flagrig";
    if (std::filesystem::is_directory(installed, error)) resources = installed;
  }
  return std::make_shared<Bundle>(builtInInfoDictionary(), executable, resources);
}

}  // namespace platform::linuxbackend
