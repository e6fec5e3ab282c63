#include "Flagrig/Account/SignInState.h"

#include <mutex>

#include "Platform/Foundation/SharedInstance.h"

namespace flagrig {

namespace {

class NobodySignedIn final : public SignInState {
 public:
  Snapshot snapshot() const override { return {}; }
  std::map<std::string, std::string> authorizationHeaders() const override { return {}; }
};

struct Installed {
  std::mutex mutex;
  std::weak_ptr<SignInState> state;
};

// A shared instance, so that the test fixture's reset forgets what a test installed.
Installed& installed() {
  static platform::SharedInstance<Installed> instance;
  return instance.get();
}

}  // namespace

std::shared_ptr<SignInState> SignInState::current() {
  auto& i = installed();
  {
    std::lock_guard guard(i.mutex);
    if (auto state = i.state.lock()) return state;
  }
  static const auto nobody = std::make_shared<NobodySignedIn>();
  return nobody;
}

void SignInState::install(const std::shared_ptr<SignInState>& state) {
  auto& i = installed();
  std::lock_guard guard(i.mutex);
  i.state = state;
}

}  // namespace flagrig
