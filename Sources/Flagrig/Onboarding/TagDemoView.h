#pragma once

#include <functional>

#include "Flagrig/Onboarding/TagDemoModel.h"
#include "Platform/Desktop/Color.h"
#include "Platform/Forms/FormNode.h"

namespace flagrig {

// The tag demo's content: the intro that invites a first tag, or the success stage once a
// tag exists, on the dark coal backdrop. It reads the model's stage and keeps nothing.
struct TagDemoView {
  static constexpr double width = 460;
  static constexpr double height = 420;

  static constexpr const char* introTitle = "Tag your first window";
  static constexpr const char* introBody =
      "Click the button below, then click any window. Flagrig pins a colored label to it so you "
      "can spot it at a glance.";
  static constexpr const char* tagAWindowTitle = "Tag a Window";
  static constexpr const char* skipTitle = "Skip for now";
  static constexpr const char* successTitle = "That window is tagged!";
  static constexpr const char* successBody =
      "The label follows the window as it moves. Click a tag anytime to bring its window to the "
      "front.";
  static constexpr const char* menuBarHint =
      "Flagrig lives in your menu bar. Look for the tag icon at the top right.";
  static constexpr const char* doneTitle = "Done";

  static platform::Color accent();
  static platform::Color coal();

  const TagDemoModel& model;
  std::function<void()> onTagAWindow;
  std::function<void()> onSkip;
  std::function<void()> onDone;

  platform::forms::Node body() const;

 private:
  platform::forms::Node intro() const;
  platform::forms::Node success() const;
};

}  // namespace flagrig
