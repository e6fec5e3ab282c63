#include "Platform/Sim/SimDesktop.h"

namespace platform::sim {

SimDesktop::SimDesktop() {
  setScreens({Rect(0, 0, 1440, 900)});
  for (const auto& face : {
           FontFace{"Menlo-Regular", true, FontWeight::regular},
           FontFace{"Menlo-Bold", true, FontWeight::bold},
           FontFace{"Monaco", true, FontWeight::regular},
           FontFace{"Courier", true, FontWeight::regular},
           FontFace{"Helvetica", false, FontWeight::regular},
           FontFace{"Helvetica-Bold", false, FontWeight::bold},
           FontFace{"HelveticaNeue", false, FontWeight::regular},
           FontFace{"HelveticaNeue-Bold", false, FontWeight::bold},
       }) {
    installFont(face);
  }
}

SimDesktop::~SimDesktop() = default;

std::vector<std::shared_ptr<Screen>> SimDesktop::screens() const {
  return screens_;
}

void SimDesktop::setScreens(const std::vector<Rect>& frames) {
  std::vector<std::shared_ptr<Screen>> screens;
  int index = 1;
  for (const Rect& frame : frames) {
    Rect visible(frame.x(), frame.y(), frame.width(), frame.height() - menuBarHeight);
    screens.push_back(
        std::make_shared<Screen>(frame, visible, "Display " + std::to_string(index++)));
  }
  setScreens(std::move(screens));
}

void SimDesktop::setScreens(std::vector<std::shared_ptr<Screen>> screens) {
  screens_ = std::move(screens);
}

std::optional<FontFace> SimDesktop::fontFace(std::string_view name) const {
  auto it = fonts_.find(name);
  if (it == fonts_.end()) return std::nullopt;
  return it->second;
}

void SimDesktop::installFont(FontFace face) {
  auto name = face.name;
  fonts_[name] = std::move(face);
}

void SimDesktop::removeFont(std::string_view name) {
  auto it = fonts_.find(name);
  if (it != fonts_.end()) fonts_.erase(it);
}

}  // namespace platform::sim
