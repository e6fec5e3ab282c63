#pragma once

#include <memory>
#include <string>
#include <utility>

#include "Platform/Security/Keychain.h"

namespace platform::testing {

// A keychain that hands every call to another one; a test derives from it and overrides the
// calls it wants to disturb.
class ForwardingKeychain : public Keychain {
 public:
  explicit ForwardingKeychain(std::shared_ptr<Keychain> inner) : inner_(std::move(inner)) {}

  OSStatus add(const GenericPasswordQuery& item, const Bytes& data) override {
    return inner_->add(item, data);
  }
  OSStatus update(const GenericPasswordQuery& query, const Bytes& data) override {
    return inner_->update(query, data);
  }
  KeychainCopyResult copyMatching(const GenericPasswordQuery& query) override {
    return inner_->copyMatching(query);
  }
  OSStatus remove(const GenericPasswordQuery& query) override { return inner_->remove(query); }
  OSStatus addKey(const KeyItem& key) override { return inner_->addKey(key); }
  KeyCopyResult copyKey(const std::string& tag) override { return inner_->copyKey(tag); }
  OSStatus removeKey(const std::string& tag) override { return inner_->removeKey(tag); }

 private:
  std::shared_ptr<Keychain> inner_;
};

}  // namespace platform::testing
