#include "Flagrig/Onboarding/LoginFirstFlowModel.h"

#include <vector>

namespace flagrig {

void LoginFirstFlowModel::setStep(LoginFirstStep step) {
  if (step == step_) return;
  step_ = step;
  notify(Field::step);
}

void LoginFirstFlowModel::setWorking(bool working) {
  if (working == isWorking_) return;
  isWorking_ = working;
  notify(Field::isWorking);
}

void LoginFirstFlowModel::setErrorMessage(std::optional<std::string> message) {
  if (message == errorMessage_) return;
  errorMessage_ = std::move(message);
  notify(Field::errorMessage);
}

std::unique_ptr<LoginFirstFlowModel::Observation> LoginFirstFlowModel::observe(Observer observer) {
  const std::uint64_t id = nextObserver_++;
  observers_->emplace(id, std::make_shared<Observer>(std::move(observer)));
  std::weak_ptr<Observers> weak = observers_;
  return std::make_unique<Observation>([weak, id] {
    if (auto observers = weak.lock()) observers->erase(id);
  });
}

void LoginFirstFlowModel::notify(Field field) {
  // A copy: an observer may end its own observation, or another one, while being told.
  std::vector<std::pair<std::uint64_t, std::shared_ptr<Observer>>> current(observers_->begin(),
                                                                           observers_->end());
  for (const auto& [id, observer] : current) {
    if (observers_->contains(id)) (*observer)(field);
  }
}

}  // namespace flagrig
