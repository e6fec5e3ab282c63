#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/ProcessInfo.h"

namespace platform::linuxbackend {

// This process and its system, read once: the version from the kernel release, the readable
// text from os-release, the command line from /proc/self/cmdline.
std::shared_ptr<ProcessInfo> currentProcessInfo();

// The readable system text from the kernel release and os-release's PRETTY_NAME (absent when
// empty).
std::string operatingSystemVersionString(std::string_view kernelRelease,
                                         std::string_view prettyName);

// This process's command line from /proc/self/cmdline, the program first.
std::vector<std::string> commandLine();

// The region of a POSIX locale name, "ll_CC[.codeset][@modifier]": "US" of "en_US.UTF-8";
// none for "C", "POSIX", a name without a region or a region that is not two letters or
// three digits.
std::optional<std::string> localeRegion(std::string_view localeName);

// The application's bundle: the information dictionary compiled into this build, the
// executable as the bundle path, and "Resources" beside it (or "../share/flagrig" once
// installed) as the resources.
std::shared_ptr<Bundle> mainBundle(const ProcessInfo& process);

// The information dictionary compiled into this build (generated from the build's settings).
Value builtInInfoDictionary();

}  // namespace platform::linuxbackend
