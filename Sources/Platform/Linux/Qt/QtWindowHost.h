#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <memory>

namespace platform {
class TextField;
class Window;
struct Event;
}  // namespace platform

namespace platform::linuxbackend {

class QtDesktop;

// The native window of one `Window`: a top-level widget that paints the window's view tree and
// turns Qt's input into the desktop layer's events. Titled windows are managed by the window
// manager; borderless ones are override-redirect, placed and stacked by us.
class QtWindowHost final : public QWidget {
 public:
  QtWindowHost(QtDesktop& desktop, Window& window);
  ~QtWindowHost() override;

  Window* model() const { return window_; }
  // The window is going away: forget it.
  void detach() { window_ = nullptr; }
  std::uint32_t xid() const { return static_cast<std::uint32_t>(winId()); }
  bool bypassesWindowManager() const { return bypass_; }

  // Moves and sizes the native window to the model's content rectangle; false when it was there.
  bool syncGeometry();
  // The window manager's limits for a user's resize: one size, or at least the minimum.
  void syncSizeLimits();
  // Look: translucency, the shape of a see-through window without a compositor, the title.
  void syncLook();
  // A see-through window without a compositor shows what was under it, dimmed: take it now.
  void captureBackdrop();
  bool isApplyingModel() const { return applying_; }
  // Grabs the keyboard once the window is on screen (a grab of an unmapped window fails), or
  // releases it.
  void setWantsKeyboardGrab(bool wants);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool focusNextPrevChild(bool) override { return false; }

 private:
  void syncSizeLimits(QSize current);
  // Which half of a key stroke or button click an event is.
  enum class Press { down, up };
  void sendMouse(QMouseEvent* event, Press press, int clicks);
  void sendKey(QKeyEvent* event, Press press);
  bool handleEditingShortcut(QKeyEvent* event);
  // The colour panel's wheel took a press (or drag) at this point.
  bool pickFromWheel(QPointF point);

  QtDesktop& desktop_;
  Window* window_;
  bool bypass_;
  bool applying_ = false;
  bool pickingColor_ = false;
  bool wantsGrab_ = false;
  // The field whose whole text the user selected (select all), while it is being edited.
  std::weak_ptr<TextField> selectedAll_;
  bool grabbed_ = false;
  QImage backdrop_;
};

}  // namespace platform::linuxbackend
