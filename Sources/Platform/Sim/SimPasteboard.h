#pragma once

#include <map>
#include <string>

#include "Platform/Desktop/Pasteboard.h"

namespace platform::sim {

// The simulated general pasteboard, in memory.
class SimPasteboard final : public Pasteboard {
 public:
  long changeCount() const override { return changeCount_; }
  long clearContents() override {
    contents_.clear();
    return ++changeCount_;
  }
  bool setString(std::string text, std::string_view type = plainTextType) override {
    contents_[std::string(type)] = std::move(text);
    return true;
  }
  std::optional<std::string> string(std::string_view type = plainTextType) const override {
    auto it = contents_.find(std::string(type));
    if (it == contents_.end()) return std::nullopt;
    return it->second;
  }

 private:
  std::map<std::string, std::string> contents_;
  long changeCount_ = 0;
};

}  // namespace platform::sim
