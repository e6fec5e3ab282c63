#pragma once

#include <string_view>

namespace voskary {

// The version comparison behind upgrade decisions: dot-separated whole numbers compared
// position by position, a missing position counting as 0. A piece that is not a whole number
// ("beta", "3-rc1") counts as 0 as a whole; there is no pre-release ordering.
struct Semver {
  // -1 when `a` is lower than `b`, 0 when they are equal, 1 when `a` is higher.
  static int compare(std::string_view a, std::string_view b);
};

}  // namespace voskary
