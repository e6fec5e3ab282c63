#pragma once

#include <memory>
#include <vector>

#include "Platform/Desktop/StatusItem.h"

namespace platform {

// The system status bar: the items this application put there, in creation order.
class StatusBar {
 public:
  // The installed desktop's status bar.
  static StatusBar& system();

  std::shared_ptr<StatusItem> statusItem(double length);
  void removeStatusItem(const std::shared_ptr<StatusItem>& item);
  const std::vector<std::shared_ptr<StatusItem>>& items() const { return items_; }

 private:
  std::vector<std::shared_ptr<StatusItem>> items_;
};

}  // namespace platform
