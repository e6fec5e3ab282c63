#pragma once

#include <QAccessibleInterface>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

namespace platform {
class View;
}

namespace platform::linuxbackend {

class QtViewElement;

// The controls of a desktop-layer view that a form hosts, as assistive technology reads them:
// every visible button, checkbox, colour well, pop-up, segmented control (with a child per
// segment) and label below the view, in tree order, named by the view's accessibility label or
// by what it shows, framed where it is on screen. The view paints itself where `anchor` (the
// form's widget of the node) lies, so positions are taken from there. The list is read afresh
// on every query: a view that rebuilds its controls shows the new ones at once.
class QtViewAccessibleChildren final {
 public:
  QtViewAccessibleChildren(QAccessibleInterface* parent, QWidget* anchor, std::weak_ptr<View> root);
  ~QtViewAccessibleChildren();
  QtViewAccessibleChildren(const QtViewAccessibleChildren&) = delete;
  QtViewAccessibleChildren& operator=(const QtViewAccessibleChildren&) = delete;

  int count();
  QAccessibleInterface* child(int index);
  int indexOf(const QAccessibleInterface* child);
  QAccessibleInterface* childAt(int x, int y);

 private:
  void refresh();

  QAccessibleInterface* parent_;
  QPointer<QWidget> anchor_;
  std::weak_ptr<View> root_;
  std::vector<QtViewElement*> elements_;
};

}  // namespace platform::linuxbackend
