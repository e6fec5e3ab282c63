// QtDesktop: the status item as a tray icon that follows its model before each wait.
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <algorithm>
#include <cstdint>

#include <xcb/xcb.h>

#include "Platform/Desktop/Image.h"
#include "Platform/Desktop/Menu.h"
#include "Platform/Desktop/StatusBar.h"
#include "Platform/Linux/Qt/QtDesktop.h"
#include "Platform/Linux/Qt/QtText.h"
#include "Platform/Linux/Qt/QtViewPainter.h"

namespace platform::linuxbackend {

void QtDesktop::openStatusMenu() {
  auto items = statusBar().items();
  if (items.empty()) return;
  auto item = items.front();
  if (item->menu()) {
    showMenu(*item->menu());
  } else {
    item->click();
  }
}

std::vector<std::uint32_t> QtDesktop::shownStatusItems() {
  syncStatusItems();
  std::vector<std::uint32_t> shown;
  const auto& items = statusBar().items();
  for (std::size_t i = 0; i < items.size(); ++i) {
    // One tray icon: the first visible item.
    if (items[i]->isVisible() && tray_ && tray_->isVisible()) {
      shown.push_back(static_cast<std::uint32_t>(i));
      break;
    }
  }
  return shown;
}

bool QtDesktop::pressStatusItem(std::uint32_t index) {
  auto shown = shownStatusItems();
  if (std::find(shown.begin(), shown.end(), index) == shown.end()) return false;
  auto item = statusBar().items()[index];
  if (item->menu()) {
    showMenu(*item->menu());
  } else {
    item->click();
  }
  return true;
}

void QtDesktop::prepareForWait() {
  if (services_.beforeWait) services_.beforeWait();
  syncStatusItems();
}

void QtDesktop::showStatusItemsNow() {
  syncStatusItems();
  // The tray icon's window and its dock request leave now; the tray embeds it on its own.
  auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (xcb_connection_t* c = x11 ? x11->connection() : nullptr) xcb_flush(c);
}

void QtDesktop::syncStatusItems() {
  const auto& items = statusBar().items();
  std::shared_ptr<StatusItem> item;
  for (const auto& candidate : items) {
    if (candidate->isVisible()) {
      item = candidate;
      break;
    }
  }
  if (!item) {
    if (tray_ && tray_->isVisible()) tray_->hide();
    return;
  }
  if (!tray_) {
    tray_ = std::make_unique<QSystemTrayIcon>();
    trayMenu_ = std::make_unique<QMenu>();
    // The menu for desktops that open it themselves (StatusNotifier hosts, right clicks).
    QObject::connect(trayMenu_.get(), &QMenu::aboutToShow, trayMenu_.get(), [this] {
      if (auto m = trayModel_.lock()) {
        m->willOpen();
        buildMenu(*trayMenu_, *m);
      }
    });
    QObject::connect(trayMenu_.get(), &QMenu::aboutToHide, trayMenu_.get(), [this] {
      if (auto m = trayModel_.lock()) m->didClose();
    });
    tray_->setContextMenu(trayMenu_.get());
    QObject::connect(
        tray_.get(), &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason reason) {
          if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::MiddleClick)
            openStatusMenu();
        });
  }
  trayModel_ = item->menu();
  const auto& button = item->button();
  const auto& image = button->image();
  const std::string& tip = image && !image->accessibilityDescription().empty()
                               ? image->accessibilityDescription()
                               : button->title();
  if (image.get() != trayImage_ || button->title() != trayTitle_) {
    trayImage_ = image.get();
    trayTitle_ = button->title();
    QPixmap pixmap(22, 22);
    if (image) {
      pixmap = renderImage(*image, QSize(22, 22), QColor(0x20, 0x20, 0x20));
    } else {
      pixmap.fill(Qt::transparent);
      QPainter painter(&pixmap);
      painter.setPen(QColor(0x20, 0x20, 0x20));
      painter.drawText(pixmap.rect(), Qt::AlignCenter, qs(trayTitle_).left(2));
    }
    tray_->setIcon(QIcon(pixmap));
  }
  // Runs before every wait: compared as it was given, not as a QString made for the purpose.
  if (!trayTipSet_ || tip != trayTip_) {
    trayTip_ = tip;
    trayTipSet_ = true;
    tray_->setToolTip(qs(tip));
  }
  if (!tray_->isVisible()) tray_->show();
}

}  // namespace platform::linuxbackend
