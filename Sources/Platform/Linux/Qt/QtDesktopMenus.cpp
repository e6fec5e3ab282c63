// QtDesktop: our menus as Qt pop-up menus, built from their model each time they open.
#include <QAction>
#include <QCursor>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <cstdint>

#include "Platform/Desktop/Menu.h"
#include "Platform/Desktop/StatusBar.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Linux/Qt/QtDesktop.h"
#include "Platform/Linux/Qt/QtText.h"
#include "Platform/Linux/Qt/QtViewPainter.h"

namespace platform::linuxbackend {

namespace {

// A title as a menu shows it literally: "&" would mark a mnemonic and a tab would start the
// shortcut column (a tag's label is whatever the user typed).
QString menuText(const std::string& title) {
  QString text = qs(title);
  text.replace(QLatin1Char('&'), QLatin1String("&&"));
  text.replace(QLatin1Char('\t'), QLatin1Char(' '));
  return text;
}

// What a menu item's key equivalent looks like on this desktop ("Ctrl+Q").
QString shortcutText(const MenuItem& item) {
  if (item.keyEquivalent().empty()) return {};
  QString key = qs(item.keyEquivalent());
  if (key == "\r")
    key = "Return";
  else if (key == "\x1b")
    key = "Esc";
  else if (key == "\t")
    key = "Tab";
  else if (key.size() == 1 && key[0].isUpper())
    key = "Shift+" + key;
  else
    key = key.toUpper();
  QString text;
  std::uint64_t mask = item.keyEquivalentModifierMask();
  if (mask & (ModifierFlag::command | ModifierFlag::control)) text += "Ctrl+";
  if (mask & ModifierFlag::option) text += "Alt+";
  if (mask & ModifierFlag::shift) text += "Shift+";
  return text + key;
}

// The key equivalents shown beside the items work while the menu is open: Qt's shortcuts do
// not reach a menu that has no window behind it, so the open menu's key presses are matched
// against its model here. Ctrl stands for command, as the shown hints say.
class KeyEquivalents final : public QObject {
 public:
  static constexpr const char* name = "flagrigKeyEquivalents";

  static void attach(QMenu& qmenu, Menu& menu) {
    auto* existing = qmenu.findChild<QObject*>(name, Qt::FindDirectChildrenOnly);
    auto* filter = existing ? static_cast<KeyEquivalents*>(existing) : new KeyEquivalents(qmenu);
    filter->model_ = menu.weak_from_this();
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress || watched != parent()) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    auto model = model_.lock();
    if (!model) return false;
    std::string character = keyCharacter(*key);
    if (character.empty()) return false;
    Qt::KeyboardModifiers mods = key->modifiers();
    std::uint64_t flags = 0;
    if (mods & Qt::AltModifier) flags |= ModifierFlag::option;
    if (mods & Qt::ShiftModifier) flags |= ModifierFlag::shift;
    auto item = model->itemForKeyEquivalent(
        character, flags | (mods & Qt::ControlModifier ? ModifierFlag::command : 0));
    if (!item && (mods & Qt::ControlModifier))
      item = model->itemForKeyEquivalent(character, flags | ModifierFlag::control);
    if (!item || item->submenu()) return false;
    // Closed first, then performed, as choosing the item does.
    static_cast<QMenu*>(parent())->close();
    std::weak_ptr<MenuItem> weakItem = item;
    env().mainLoop->post([weakItem] {
      if (auto i = weakItem.lock()) i->perform();
    });
    return true;
  }

 private:
  explicit KeyEquivalents(QMenu& qmenu) : QObject(&qmenu) {
    setObjectName(name);
    qmenu.installEventFilter(this);
  }

  // The key's character without modifiers, as key equivalents are written.
  static std::string keyCharacter(const QKeyEvent& event) {
    int k = event.key();
    if (k == Qt::Key_Return || k == Qt::Key_Enter) return "\r";
    if (k == Qt::Key_Tab) return "\t";
    if (k >= Qt::Key_A && k <= Qt::Key_Z)
      return std::string(1, static_cast<char>('a' + k - Qt::Key_A));
    if (k > 0x20 && k < 0x7f) return std::string(1, static_cast<char>(k));
    return {};
  }

  std::weak_ptr<Menu> model_;
};

}  // namespace

void QtDesktop::buildMenu(QMenu& qmenu, Menu& menu) {
  KeyEquivalents::attach(qmenu, menu);
  for (QAction* action : qmenu.actions()) {
    if (QMenu* sub = action->menu()) sub->deleteLater();
  }
  qmenu.clear();
  for (const auto& item : menu.items()) {
    if (item->isHidden()) continue;
    if (item->isSeparatorItem()) {
      qmenu.addSeparator();
      continue;
    }
    QString title = menuText(item->title());
    QString shortcut = shortcutText(*item);
    if (!shortcut.isEmpty()) title += '\t' + shortcut;
    QAction* action = nullptr;
    if (const auto& sub = item->submenu()) {
      auto* submenu = new QMenu(menuText(item->title()), &qmenu);
      std::weak_ptr<Menu> weakSub = sub;
      QObject::connect(submenu, &QMenu::aboutToShow, submenu, [this, weakSub, submenu] {
        if (auto m = weakSub.lock()) {
          m->willOpen();
          buildMenu(*submenu, *m);
        }
      });
      QObject::connect(submenu, &QMenu::aboutToHide, submenu, [weakSub] {
        if (auto m = weakSub.lock()) m->didClose();
      });
      action = qmenu.addMenu(submenu);
    } else {
      action = qmenu.addAction(title);
      std::weak_ptr<MenuItem> weakItem = item;
      QObject::connect(action, &QAction::triggered, action, [weakItem] {
        // After the menu has closed, as the platform runs an item's action.
        env().mainLoop->post([weakItem] {
          if (auto i = weakItem.lock()) i->perform();
        });
      });
    }
    action->setEnabled(item->isEnabled());
    if (!item->toolTip().empty()) action->setToolTip(qs(item->toolTip()));
    if (const auto& image = item->image()) {
      action->setIcon(QIcon(renderImage(*image, QSize(16, 16), QColor(Qt::black))));
    }
  }
}

void QtDesktop::popUp(Menu& menu, std::optional<Point> at) {
  if (popup_) popup_->close();
  auto* qmenu = new QMenu();
  qmenu->setAttribute(Qt::WA_DeleteOnClose);
  std::weak_ptr<Menu> weak = menu.shared_from_this();
  QObject::connect(qmenu, &QMenu::aboutToShow, qmenu, [this, weak, qmenu] {
    if (auto m = weak.lock()) {
      // The delegate rebuilds the items first.
      m->willOpen();
      buildMenu(*qmenu, *m);
    }
  });
  QObject::connect(qmenu, &QMenu::aboutToHide, qmenu, [this, weak, qmenu] {
    if (popup_ == qmenu) popup_ = nullptr;
    if (auto m = weak.lock()) m->didClose();
  });
  popup_ = qmenu;
  popupModel_ = weak;
  QPoint pos = QCursor::pos();
  if (at) {
    Rect r = toRoot(Rect(at->x, at->y, 0, 0));
    pos = QPoint(static_cast<int>(r.x()), static_cast<int>(r.y()));
  }
  // popup, never exec: our run loop keeps running while the menu is open.
  qmenu->popup(pos);
}

void QtDesktop::showMenu(Menu& menu) {
  auto items = statusBar().items();
  for (const auto& item : items) {
    if (item->menu().get() == &menu && tray_ && tray_->isVisible()) {
      QRect g = tray_->geometry();
      if (!g.isEmpty()) {
        Rect r = toScreen(Rect(g.x(), g.bottom() + 1, 0, 0));
        popUp(menu, Point{r.x(), r.y()});
        return;
      }
    }
  }
  popUp(menu, std::nullopt);
}

void QtDesktop::showMenu(Menu& menu, Point topLeft) {
  popUp(menu, topLeft);
}

void QtDesktop::menuDidChange(Menu& menu) {
  if (popup_ && popup_->isVisible() && popupModel_.lock().get() == &menu) buildMenu(*popup_, menu);
  if (trayMenu_ && trayMenu_->isVisible() && trayModel_.lock().get() == &menu)
    buildMenu(*trayMenu_, menu);
}

}  // namespace platform::linuxbackend
