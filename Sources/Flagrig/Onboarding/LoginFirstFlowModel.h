#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "Flagrig/Onboarding/LoginFirstStep.h"

namespace flagrig {

// The first-run flow's state, shared by its window controller and its view: the step on screen,
// whether a sign-in is in flight and the sign-in step's error text. Observers hear each field
// that really changed; writing the value a field already holds notifies nobody. Main thread.
class LoginFirstFlowModel {
 public:
  enum class Field { step, isWorking, errorMessage };
  using Observer = std::function<void(Field)>;

  // Removes its observer when released; harmless after the model is gone.
  class Observation {
   public:
    explicit Observation(std::function<void()> remove) : remove_(std::move(remove)) {}
    ~Observation() {
      if (remove_) remove_();
    }
    Observation(const Observation&) = delete;
    Observation& operator=(const Observation&) = delete;

   private:
    std::function<void()> remove_;
  };

  explicit LoginFirstFlowModel(LoginFirstStep initialStep) : step_(initialStep) {}
  LoginFirstFlowModel(const LoginFirstFlowModel&) = delete;
  LoginFirstFlowModel& operator=(const LoginFirstFlowModel&) = delete;

  LoginFirstStep step() const { return step_; }
  bool isWorking() const { return isWorking_; }
  const std::optional<std::string>& errorMessage() const { return errorMessage_; }

  void setStep(LoginFirstStep step);
  void setWorking(bool working);
  void setErrorMessage(std::optional<std::string> message);
  void clearErrorMessage() { setErrorMessage(std::nullopt); }

  [[nodiscard]] std::unique_ptr<Observation> observe(Observer observer);
  std::size_t observerCount() const { return observers_->size(); }

 private:
  using Observers = std::map<std::uint64_t, std::shared_ptr<Observer>>;
  void notify(Field field);

  LoginFirstStep step_;
  bool isWorking_ = false;
  std::optional<std::string> errorMessage_;
  std::shared_ptr<Observers> observers_ = std::make_shared<Observers>();
  std::uint64_t nextObserver_ = 1;
};

}  // namespace flagrig
