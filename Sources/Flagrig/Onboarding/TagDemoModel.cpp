#include "Flagrig/Onboarding/TagDemoModel.h"

#include <vector>

namespace flagrig {

void TagDemoModel::setStage(TagDemoStage stage) {
  if (stage == stage_) return;
  stage_ = stage;
  // A copy, so that an observer may remove itself or another one.
  std::vector<std::function<void(TagDemoStage)>> snapshot;
  for (const auto& [id, observer] : observers_) snapshot.push_back(observer);
  for (const auto& observer : snapshot) observer(stage);
}

TagDemoModel::ObserverId TagDemoModel::observe(std::function<void(TagDemoStage)> observer) {
  ObserverId id = nextId_++;
  observers_.emplace(id, std::move(observer));
  return id;
}

void TagDemoModel::removeObserver(ObserverId id) {
  observers_.erase(id);
}

}  // namespace flagrig
