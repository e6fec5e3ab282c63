#pragma once

#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "Platform/Forms/FormHost.h"
#include "Platform/Forms/FormLayout.h"

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
  QWidget* rootWidget() const { return root_; }
  const forms::FormLayoutResult& layout() const { return layout_; }
  // Widgets created since the renderer started (a reconcile that keeps them adds none).
  int widgetsCreated() const { return created_; }
  const std::shared_ptr<forms::FormHost>& host() const { return host_; }

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
  void placeNativeView(const forms::Node& node, const Rect& frame);

  // Weak: the window may go before the form does.
  std::weak_ptr<Window> window_;
  std::shared_ptr<forms::FormHost> host_;
  QPointer<QWidget> native_;
  QPointer<QWidget> root_;
  QObject* resizeWatcher_ = nullptr;
  // What the widgets point into, until the next update.
  std::shared_ptr<const forms::Node> tree_;
  forms::FormLayoutResult layout_;
  std::map<std::string, QtFormNodeWidget*, std::less<>> widgets_;
  int created_ = 0;
};

}  // namespace platform::linuxbackend
