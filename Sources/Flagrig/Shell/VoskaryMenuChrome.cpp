#include "Flagrig/Shell/VoskaryMenuChrome.h"

#include <algorithm>

#include "Platform/Desktop/Application.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Foundation/UserDefaults.h"

namespace flagrig {

using namespace platform;

namespace {

struct State {
  std::vector<std::shared_ptr<MenuSanitizerDelegate>> sanitizers;
  std::optional<NotificationCenter::Token> activationObserver;

  ~State() {
    if (activationObserver && hasEnvironment())
      env().notificationCenter->removeObserver(*activationObserver);
  }
};

State& state() {
  static SharedInstance<State> instance;
  return instance.get();
}

bool isJunk(const MenuItem& item) {
  const std::string& title = item.title();
  return std::any_of(VoskaryMenuChrome::junkPrefixes.begin(), VoskaryMenuChrome::junkPrefixes.end(),
                     [&](std::string_view prefix) { return title.starts_with(prefix); });
}

}  // namespace

void MenuSanitizerDelegate::menuNeedsUpdate(Menu& menu) {
  if (auto previous = previous_.lock()) previous->menuNeedsUpdate(menu);
  VoskaryMenuChrome::stripJunk(menu);
}

void MenuSanitizerDelegate::menuWillOpen(Menu& menu) {
  if (auto previous = previous_.lock()) previous->menuWillOpen(menu);
}

void MenuSanitizerDelegate::menuDidClose(Menu& menu) {
  if (auto previous = previous_.lock()) previous->menuDidClose(menu);
}

const std::vector<std::shared_ptr<MenuSanitizerDelegate>>& VoskaryMenuChrome::sanitizers() {
  return state().sanitizers;
}

void VoskaryMenuChrome::installSanitizer() {
  auto& defaults = *env().defaults;
  defaults.set("NSDisabledDictationMenuItem", Value(true));
  defaults.set("NSDisabledCharacterPaletteMenuItem", Value(true));
  sanitizeNow();
  env().mainLoop->post([] { sanitizeNow(); });
  env().mainLoop->postAfter(lateRerunDelay, [] { sanitizeNow(); });
  auto& s = state();
  if (s.activationObserver) env().notificationCenter->removeObserver(*s.activationObserver);
  s.activationObserver = env().notificationCenter->addObserver(
      std::string(Application::didBecomeActiveNotification), nullptr, env().mainLoop,
      [](const Notification&) { sanitizeNow(); });
}

void VoskaryMenuChrome::sanitizeNow() {
  auto& app = Application::shared();
  app.setServicesMenu(nullptr);
  auto mainMenu = app.mainMenu();
  if (!mainMenu) return;
  auto& wrappers = state().sanitizers;
  std::vector<const MenuSanitizerDelegate*> current;

  auto snapshot = mainMenu->items();
  for (const auto& item : snapshot) {
    const auto& submenu = item->submenu();
    if (!submenu) continue;
    if (item->title() == "Format") {
      mainMenu->removeItem(*item);
      continue;
    }
    auto* wrapper = dynamic_cast<MenuSanitizerDelegate*>(submenu->delegate().get());
    if (!wrapper) {
      auto made = std::make_shared<MenuSanitizerDelegate>(submenu->delegate());
      submenu->setDelegate(made);
      wrappers.push_back(made);
      wrapper = made.get();
    }
    current.push_back(wrapper);
    stripJunk(*submenu);
  }
  // Wrappers of submenus that were replaced or removed serve nobody; without this the list
  // would grow with every replacement.
  std::erase_if(wrappers, [&](const auto& w) {
    return std::find(current.begin(), current.end(), w.get()) == current.end();
  });
}

void VoskaryMenuChrome::stripJunk(Menu& menu) {
  auto snapshot = menu.items();
  for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
    if (isJunk(**it)) menu.removeItem(**it);
  }
  tidySeparators(menu);
}

void VoskaryMenuChrome::tidySeparators(Menu& menu) {
  while (menu.numberOfItems() > 0 && menu.itemAt(0)->isSeparatorItem()) menu.removeItemAt(0);
  while (menu.numberOfItems() > 0 && menu.itemAt(menu.numberOfItems() - 1)->isSeparatorItem())
    menu.removeItemAt(menu.numberOfItems() - 1);
  for (std::size_t i = menu.numberOfItems(); i-- > 1;) {
    if (i < menu.numberOfItems() && menu.itemAt(i)->isSeparatorItem() &&
        menu.itemAt(i - 1)->isSeparatorItem())
      menu.removeItemAt(i);
  }
}

}  // namespace flagrig
