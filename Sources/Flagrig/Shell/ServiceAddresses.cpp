#include "Flagrig/Shell/ServiceAddresses.h"

#include <mutex>
#include <optional>

#include "Platform/Foundation/SharedInstance.h"

namespace flagrig {

namespace {

struct Replacement {
  std::mutex mutex;
  std::optional<ServiceAddresses> addresses;
};

// A shared instance, so that the test fixture's reset drops a replacement with the rest.
Replacement& replacement() {
  static platform::SharedInstance<Replacement> instance;
  return instance.get();
}

}  // namespace

ServiceAddresses ServiceAddresses::active() {
  auto& r = replacement();
  std::lock_guard guard(r.mutex);
  return r.addresses ? *r.addresses : compiledIn();
}

void ServiceAddresses::setActiveForTesting(ServiceAddresses addresses) {
  auto& r = replacement();
  std::lock_guard guard(r.mutex);
  r.addresses = std::move(addresses);
}

platform::URL ServiceAddresses::join(const platform::URL& base, std::string_view path) {
  std::string text = base.withPercentEncodedQuery(std::nullopt)
                         .withPercentEncodedFragment(std::nullopt)
                         .absoluteString();
  while (!text.empty() && text.back() == '/') text.pop_back();
  if (path.empty() || path.front() != '/') text += '/';
  text += path;
  return platform::URL(text);
}

}  // namespace flagrig
