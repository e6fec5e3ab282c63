#include "TarnwickCore/OIDClientLog.h"

#include <iostream>

#include "TarnwickCore/OIDProcessSlot.h"

namespace tarnwick {

namespace {

OIDProcessSlot<OIDClientLog::Sink>& slot() {
  static OIDProcessSlot<OIDClientLog::Sink> instance;
  return instance;
}

}  // namespace

void OIDClientLog::warning(std::string_view message) {
  if (auto sink = slot().get()) {
    sink(message);
  } else {
    std::cerr << "[tarnwick] " << message << '\n';
  }
}

void OIDClientLog::setSink(Sink sink) {
  slot().set(std::move(sink));
}

}  // namespace tarnwick
