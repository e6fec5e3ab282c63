#pragma once

#include <optional>
#include <string>

#include "Platform/Desktop/LoginItem.h"
#include "Platform/Foundation/Error.h"

namespace platform::sim {

// Why the simulated login item refused a change.
class SimLoginItemError : public Error {
 public:
  explicit SimLoginItemError(std::string reason) : reason_(std::move(reason)) {}
  std::string description() const override { return reason_; }
  bool operator==(const SimLoginItemError&) const = default;

 private:
  std::string reason_;
};

// The login item of the simulated machine: a flag, with refusals a test can inject.
class SimLoginItem final : public LoginItem {
 public:
  Status status() const override { return status_; }
  void registerItem() override {
    ++registerCalls;
    if (refusal) throw SimLoginItemError(*refusal);
    status_ = Status::enabled;
  }
  void unregisterItem() override {
    ++unregisterCalls;
    if (refusal) throw SimLoginItemError(*refusal);
    status_ = Status::notRegistered;
  }

  void setStatus(Status status) { status_ = status; }
  // While set, every change throws with this reason and the status stays.
  std::optional<std::string> refusal;
  int registerCalls = 0;
  int unregisterCalls = 0;

 private:
  Status status_ = Status::notRegistered;
};

}  // namespace platform::sim
