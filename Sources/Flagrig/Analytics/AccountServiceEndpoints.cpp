#include "Flagrig/Analytics/AccountServiceEndpoints.h"

#include "Flagrig/Shell/ServiceAddresses.h"

namespace flagrig {

platform::URL AccountServiceEndpoints::baseURL() {
  return ServiceAddresses::active().accountService;
}

platform::URL AccountServiceEndpoints::diagnosticsURL() {
  return ServiceAddresses::join(baseURL(), diagnosticsPath);
}

platform::URL AccountServiceEndpoints::appEventsURL() {
  return ServiceAddresses::join(baseURL(), appEventsPath);
}

platform::URL AccountServiceEndpoints::errorEventsURL() {
  return baseURL().appendingPathComponent(errorEventsComponent);
}

platform::URL AccountServiceEndpoints::geoURL() {
  return baseURL().appendingPathComponent(geoComponent);
}

}  // namespace flagrig
