#pragma once

#include <memory>

#include "Platform/Desktop/Color.h"
#include "Platform/Desktop/Font.h"
#include "Platform/Desktop/Image.h"
#include "Platform/Desktop/ImageView.h"
#include "Platform/Forms/FormNode.h"

namespace flagrig {

// The app's logo: the artwork for the status item and the sign-in screen, and a ready-made
// square view of it for the tag demo and the consent view.
struct BrandMark {
  BrandMark() = delete;

  // The resource names tried in order, each a PNG in "BrandAssets" or at the top of the
  // resources.
  static constexpr std::string_view resourceNames[] = {"FlagrigLogo@2x", "FlagrigLogo@3x",
                                                       "FlagrigLogo"};
  // The symbol drawn when the artwork is missing.
  static constexpr std::string_view fallbackSymbol = "tag.fill";

  // The artwork, loaded on first use; null when no resource gives an image (not retried).
  static std::shared_ptr<platform::Image> nsImage();
  // The logo in a square of `side` points, centred and keeping its aspect ratio; without the
  // artwork, the bold "tag.fill" symbol at 0.47 × `side` in `accent`.
  static std::shared_ptr<platform::ImageView> view(double side, platform::Color accent);
  // The same as a form node: the artwork, or the symbol, in a square of `side` points.
  static platform::forms::Node node(double side, platform::Color accent);
  // The fallback symbol's font in a view of `side` points: bold system, 0.47 × `side`.
  static platform::Font symbolFont(double side);
};

}  // namespace flagrig
