#pragma once

#include <string>

#include "Platform/Foundation/URL.h"

namespace flagrig {

// Where the services the app talks to live. Compiled in from the build's cache variables
// (see the README), never read from the environment or a file. Tests point the app at a
// simulated or loopback server with `setActiveForTesting`; the test fixture's reset puts the
// compiled-in values back.
struct ServiceAddresses {
  // The maker's account service; every account-service path is joined to it.
  platform::URL accountService;
  // The product-analytics capture service.
  platform::URL analyticsService;
  // The maker's website (privacy and terms pages).
  platform::URL website;
  // The maker's marketing-contacts service.
  platform::URL marketingService;

  static const ServiceAddresses& compiledIn();
  // The addresses in use: the compiled-in ones unless a test replaced them.
  static ServiceAddresses active();
  static void setActiveForTesting(ServiceAddresses addresses);

  // `base` with `path` ("/capture/", "/api/app-events") after any path the base already has,
  // with exactly one "/" between them.
  static platform::URL join(const platform::URL& base, std::string_view path);
};

}  // namespace flagrig
