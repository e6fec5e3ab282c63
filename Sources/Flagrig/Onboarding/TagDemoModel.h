#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include "Flagrig/Shell/AppScreens.h"

namespace flagrig {

using TagDemoStage = TagDemoScreen::Stage;

// The stage the tag demo shows. Observers hear every change, and only a change: setting the
// stage it already holds notifies nobody. Main thread only.
class TagDemoModel {
 public:
  using ObserverId = std::uint64_t;

  TagDemoStage stage() const { return stage_; }
  void setStage(TagDemoStage stage);

  ObserverId observe(std::function<void(TagDemoStage)> observer);
  void removeObserver(ObserverId id);
  std::size_t observerCount() const { return observers_.size(); }

 private:
  TagDemoStage stage_ = TagDemoStage::intro;
  ObserverId nextId_ = 1;
  std::map<ObserverId, std::function<void(TagDemoStage)>> observers_;
};

}  // namespace flagrig
