#pragma once

#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "Platform/Forms/FormHost.h"
#include "Platform/Forms/FormLayout.h"

#include <optional>

class QScrollArea;

namespace platform {
class Window;
}

namespace platform::linuxbackend {

class QtFormNodeWidget;

// Draws a form host's tree in one of our windows on the Qt desktop: one widget per node,
// placed where the form layout puts it (the same solver the headless tests check), painted
// with QPainter in the tree's colours, scheme and accent. After every render of the host the
// widgets are reconciled by node identity: a node that stays keeps its widget (a changed text
// only repaints it), a new one gets a widget, a gone one loses it. Clicks on buttons, links,
// toggles and pickers go back to the node's action through the host, which keeps disabled
// nodes inert. The widgets live on the window's native widget and go with it.
//
// The keyboard works the form through the host (Tab and Shift-Tab move a visible focus ring,
// Space and Return work the focused control, Return and Esc reach the window's shortcut
// buttons); the pointer's hover reaches nodes' hover handlers; a shown alert or confirmation
// dialog becomes a dialog window over this one, run as a nested modal session of the
// application and closed when its condition turns false. A form taller than the window
// scrolls. Elements reach Qt's accessibility interface as the host reads them.
class QtFormRenderer final {
 public:
  // The platform's disabled look: a disabled control fades to this opacity.
  static constexpr double disabledOpacity = 0.45;

  QtFormRenderer(Window& window, std::shared_ptr<forms::FormHost> host);
  ~QtFormRenderer();
  QtFormRenderer(const QtFormRenderer&) = delete;
  QtFormRenderer& operator=(const QtFormRenderer&) = delete;

  // Reconciles the widgets with the host's current tree at the window's current size.
  void update();

  // For tests and diagnostics.
  QWidget* widgetFor(std::string_view identity) const;
  // The widget a reader finds for an accessibility element: the node's, or the one standing
  // for a section's footer.
  QWidget* accessibleWidgetFor(std::string_view identity) const;
  QWidget* rootWidget() const { return root_; }
  // The focus ring while it shows, over the focused control.
  QWidget* focusRing() const { return ring_ && ring_->isVisible() ? ring_.data() : nullptr; }
  const forms::FormLayoutResult& layout() const { return layout_; }
  // Widgets created since the renderer started (a reconcile that keeps them adds none).
  int widgetsCreated() const { return created_; }
  const std::shared_ptr<forms::FormHost>& host() const { return host_; }
  // The dialog window of the presentation on screen, if any.
  std::shared_ptr<Window> dialogWindow() const;
  // The renderer of that dialog.
  QtFormRenderer* dialogRenderer() const;
  // Spinners animating now (each holds a timer only while it is on screen).
  int animatingSpinners() const;
  // Runs a key as the keyboard would; true when the form used it.
  bool handleKey(int key, Qt::KeyboardModifiers modifiers);
  // The pointer moved to a point of the root widget (or left it, when absent).
  void pointerMoved(std::optional<QPoint> globalPosition);
  // A click, drag or release on the form's widgets over a hosted view goes to the view (through
  // the native window). True when it went there.
  bool routeToHostedView(QObject* target, QEvent* event);

 private:
  friend class QtFormNodeWidget;
  // Where a node goes: its parent node, the widget that holds it, that widget's origin in the
  // layout, the opacity so far, and the span (in layout x) a wider text may spread over.
  struct Placement {
    const forms::Node* parent = nullptr;
    QWidget* container = nullptr;
    QPointF origin;
    double opacity = 1;
    double spanLeft = 0, spanRight = 0;
  };
  void reconcile(const forms::Node& node, Placement at,
                 std::map<std::string, QtFormNodeWidget*>& keep);
  void restack(const forms::Node& node);
  // Puts every hosted view where its widget is on screen now (after a layout or a scroll).
  void placeNativeViews();
  // Puts the focus ring over the focused control, above everything drawn there.
  void placeFocusRing();
  static void scrollIntoView(QWidget* widget);
  bool overHostedView(QPoint inNative) const;
  // Opens or closes the dialog of the host's shown presentation.
  void syncPresentation();
  void openDialog(const forms::Presentation& presentation, const forms::Node& owner);
  void endDialog(long code);
  // The window's first responder is one of its own views (a field being edited).
  bool viewHasKeyboard() const;
  bool nativeHeightsChanged() const;
  struct Dialog;

  // Weak: the window may go before the form does.
  std::weak_ptr<Window> window_;
  std::shared_ptr<forms::FormHost> host_;
  QPointer<QWidget> native_;
  QPointer<QWidget> root_;
  QObject* watcher_ = nullptr;
  // What the widgets point into, until the next update.
  std::shared_ptr<const forms::Node> tree_;
  forms::FormLayoutResult layout_;
  std::map<std::string, QtFormNodeWidget*, std::less<>> widgets_;
  int created_ = 0;
  QPointer<QScrollArea> scroller_;
  QPointer<QWidget> ring_;
  std::shared_ptr<Dialog> dialog_;
  std::string hovered_;
  // Guards work posted for later (a dialog's session) against a renderer gone meanwhile.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  bool updating_ = false;
  // A press went to a hosted view: its drag and release follow it there.
  bool pressInHostedView_ = false;
  // The window kept its default fill: the form paints it in its scheme's colour.
  bool ownsBackground_ = false;
};

}  // namespace platform::linuxbackend
