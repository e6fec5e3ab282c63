#include "Flagrig/Shell/BrandMark.h"

#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/SharedInstance.h"

namespace flagrig {

namespace {

struct LoadedLogo {
  std::shared_ptr<platform::Image> image;

  LoadedLogo() {
    const auto& bundle = *platform::env().bundle;
    for (auto name : BrandMark::resourceNames) {
      for (std::string_view folder : {std::string_view("BrandAssets"), std::string_view()}) {
        auto path = bundle.pathForResource(name, "png", folder);
        if (!path) continue;
        if (auto loaded = platform::Image::fromPNGFile(path->string())) {
          image = std::move(loaded);
          return;
        }
      }
    }
  }
};

}  // namespace

std::shared_ptr<platform::Image> BrandMark::nsImage() {
  static platform::SharedInstance<LoadedLogo> logo;
  return logo.get().image;
}

platform::forms::Node BrandMark::node(double side, platform::Color accent) {
  namespace forms = platform::forms;
  forms::Frame square{.width = side, .height = side};
  if (auto logo = nsImage()) return forms::ImageNode(logo, {side, side}).frame(square);
  return forms::Symbol(std::string(fallbackSymbol))
      .font(symbolFont(side))
      .foreground(accent)
      .frame(square);
}

std::shared_ptr<platform::ImageView> BrandMark::view(double side, platform::Color accent) {
  auto view = std::make_shared<platform::ImageView>(platform::Rect({0, 0}, {side, side}));
  if (auto logo = nsImage()) {
    view->setImage(logo);
    view->setImageScaling(platform::ImageScaling::proportionallyUpOrDown);
    return view;
  }
  auto symbol = platform::Image::systemSymbol(std::string(fallbackSymbol));
  auto pointSize = symbolFont(side).pointSize();
  symbol->setSize({pointSize, pointSize});
  view->setImage(symbol);
  view->setImageScaling(platform::ImageScaling::none);
  view->setContentTintColor(accent);
  return view;
}

platform::Font BrandMark::symbolFont(double side) {
  return platform::Font::boldSystemFont(0.47 * side);
}

}  // namespace flagrig
