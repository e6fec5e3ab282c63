#include "Platform/Linux/Qt/QtViewAccessible.h"

#include <QCoreApplication>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <string>

#include "Platform/Desktop/Button.h"
#include "Platform/Desktop/ColorWell.h"
#include "Platform/Desktop/Image.h"
#include "Platform/Desktop/PopUpButton.h"
#include "Platform/Desktop/SegmentedControl.h"
#include "Platform/Desktop/TextField.h"
#include "Platform/Desktop/View.h"
#include "Platform/Linux/Qt/QtText.h"

namespace platform::linuxbackend {

namespace {

// The view's rectangle in the root's coordinates, y down from the root's top left; nothing
// when the view is no longer below the root.
std::optional<QRectF> rectInRoot(const View& view, const View& root) {
  QRectF rect(0, 0, view.frame().width(), view.frame().height());
  const View* at = &view;
  while (at != &root) {
    const View* up = at->superview();
    if (!up) return std::nullopt;
    Rect f = at->frame();
    rect.translate(f.x(), up->isFlipped() ? f.y() : up->frame().height() - f.maxY());
    at = up;
  }
  return rect;
}

QString hex(const Color& color) {
  auto byte = [](double c) { return static_cast<int>(std::lround(std::clamp(c, 0.0, 1.0) * 255)); };
  auto srgb = color.toSRGB().value_or(color);
  return QStringLiteral("#%1%2%3")
      .arg(byte(srgb.redComponent()), 2, 16, QLatin1Char('0'))
      .arg(byte(srgb.greenComponent()), 2, 16, QLatin1Char('0'))
      .arg(byte(srgb.blueComponent()), 2, 16, QLatin1Char('0'))
      .toUpper();
}

// What a view shows that names it.
QString shownName(const View& view) {
  if (auto* button = dynamic_cast<const Button*>(&view)) {
    if (!button->title().empty()) return qs(button->title());
    if (button->image()) return qs(button->image()->accessibilityDescription());
    return {};
  }
  if (auto* popUp = dynamic_cast<const PopUpButton*>(&view))
    return qs(popUp->titleOfSelectedItem());
  if (auto* field = dynamic_cast<const TextField*>(&view)) return qs(field->stringValue());
  return {};
}

void release(QAccessibleInterface* element) {
  // After the application the cache that owns it is gone, and took it along.
  if (QCoreApplication::instance())
    QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(element));
}

}  // namespace

// One control of the hosted view, or one segment of a segmented control.
class QtViewElement final : public QAccessibleInterface {
 public:
  QtViewElement(QAccessibleInterface* parent, QWidget* anchor, std::weak_ptr<View> root,
                std::weak_ptr<View> view, int segment = -1)
      : parent_(parent),
        anchor_(anchor),
        root_(std::move(root)),
        view_(std::move(view)),
        segment_(segment) {}
  ~QtViewElement() override {
    for (auto* s : segments_) release(s);
  }

  View* view() const { return view_.lock().get(); }

  bool isValid() const override { return anchor_ && !view_.expired() && !root_.expired(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override {
    return anchor_ && anchor_->window() ? anchor_->window()->windowHandle() : nullptr;
  }
  QAccessibleInterface* parent() const override { return parent_; }
  int childCount() const override {
    auto* segments = dynamic_cast<const SegmentedControl*>(view());
    return segment_ < 0 && segments ? static_cast<int>(segments->segmentCount()) : 0;
  }
  QAccessibleInterface* child(int index) const override {
    if (index < 0 || index >= childCount()) return nullptr;
    while (static_cast<int>(segments_.size()) <= index) {
      auto* s = new QtViewElement(const_cast<QtViewElement*>(this), anchor_, root_, view_,
                                  static_cast<int>(segments_.size()));
      QAccessible::registerAccessibleInterface(s);
      segments_.push_back(s);
    }
    return segments_[static_cast<std::size_t>(index)];
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    auto found = std::find(segments_.begin(), segments_.end(), child);
    return found == segments_.end() ? -1 : static_cast<int>(found - segments_.begin());
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    for (int i = 0; i < childCount(); ++i) {
      if (child(i)->rect().contains(x, y)) return child(i);
    }
    return nullptr;
  }

  QString text(QAccessible::Text t) const override {
    auto v = view_.lock();
    if (!v) return {};
    auto* segments = dynamic_cast<const SegmentedControl*>(v.get());
    if (segment_ >= 0) {
      if (!segments || segment_ >= static_cast<int>(segments->segmentCount())) return {};
      return t == QAccessible::Name ? qs(segments->label(static_cast<std::size_t>(segment_)))
                                    : QString();
    }
    const QString shown = shownName(*v);
    switch (t) {
      case QAccessible::Name:
        return v->accessibilityLabel().empty() ? shown : qs(v->accessibilityLabel());
      case QAccessible::Description:
        // A labelled control still tells what it shows (a shortcut button its combination).
        return v->accessibilityLabel().empty() ? QString() : shown;
      case QAccessible::Value:
        if (auto* well = dynamic_cast<const ColorWell*>(v.get())) return hex(well->color());
        if (auto* popUp = dynamic_cast<const PopUpButton*>(v.get()))
          return qs(popUp->titleOfSelectedItem());
        return {};
      default:
        return {};
    }
  }
  void setText(QAccessible::Text, const QString&) override {}

  QRect rect() const override {
    auto v = view_.lock();
    auto root = root_.lock();
    if (!v || !root || !anchor_) return {};
    auto inRoot = rectInRoot(*v, *root);
    if (!inRoot) return {};
    QRectF r = *inRoot;
    if (segment_ >= 0) {
      auto* segments = dynamic_cast<const SegmentedControl*>(v.get());
      if (!segments) return {};
      // The natural widths scaled to the frame, as the control hit-tests them.
      double natural = 0, before = 0;
      for (std::size_t i = 0; i < segments->segmentCount(); ++i) {
        double w = segments->widthForSegment(i);
        if (static_cast<int>(i) < segment_) before += w;
        natural += w;
      }
      if (natural <= 0) return {};
      double scale = r.width() / natural;
      r = QRectF(r.x() + before * scale, r.y(),
                 segments->widthForSegment(static_cast<std::size_t>(segment_)) * scale, r.height());
    }
    return r.translated(anchor_->mapToGlobal(QPoint(0, 0))).toAlignedRect();
  }

  QAccessible::Role role() const override {
    View* v = view();
    if (segment_ >= 0) return QAccessible::RadioButton;
    if (auto* button = dynamic_cast<const Button*>(v)) {
      switch (button->buttonType()) {
        case ButtonType::checkbox:
          return QAccessible::CheckBox;
        case ButtonType::radio:
          return QAccessible::RadioButton;
        default:
          return QAccessible::Button;
      }
    }
    if (dynamic_cast<const ColorWell*>(v)) return QAccessible::Button;
    if (dynamic_cast<const PopUpButton*>(v)) return QAccessible::ComboBox;
    if (dynamic_cast<const SegmentedControl*>(v)) return QAccessible::Grouping;
    if (auto* field = dynamic_cast<const TextField*>(v))
      return field->isEditable() ? QAccessible::EditableText : QAccessible::StaticText;
    return QAccessible::Client;
  }

  QAccessible::State state() const override {
    QAccessible::State s;
    auto v = view_.lock();
    if (!v) {
      s.invalid = true;
      return s;
    }
    if (auto* control = dynamic_cast<const Control*>(v.get())) s.disabled = !control->isEnabled();
    if (auto* button = dynamic_cast<const Button*>(v.get());
        button && (button->buttonType() == ButtonType::checkbox ||
                   button->buttonType() == ButtonType::radio)) {
      s.checkable = true;
      s.checked = button->state() == ControlState::on;
    }
    if (auto* segments = dynamic_cast<const SegmentedControl*>(v.get());
        segments && segment_ >= 0) {
      s.checkable = true;
      s.checked = segments->selectedSegment() == segment_;
    }
    s.focusable = !s.disabled && role() != QAccessible::StaticText;
    return s;
  }

 private:
  QAccessibleInterface* parent_;
  QPointer<QWidget> anchor_;
  std::weak_ptr<View> root_;
  std::weak_ptr<View> view_;
  int segment_;
  mutable std::vector<QtViewElement*> segments_;
};

QtViewAccessibleChildren::QtViewAccessibleChildren(QAccessibleInterface* parent, QWidget* anchor,
                                                   std::weak_ptr<View> root)
    : parent_(parent), anchor_(anchor), root_(std::move(root)) {}

QtViewAccessibleChildren::~QtViewAccessibleChildren() {
  for (auto* e : elements_) release(e);
}

void QtViewAccessibleChildren::refresh() {
  std::vector<std::shared_ptr<View>> found;
  auto root = root_.lock();
  // Controls are leaves; plain views only group what they hold.
  std::function<void(const View&)> walk = [&](const View& at) {
    for (const auto& sub : at.subviews()) {
      if (sub->isHidden() || sub->alphaValue() <= 0) continue;
      if (dynamic_cast<const Control*>(sub.get())) {
        if (!sub->accessibilityLabel().empty() || !shownName(*sub).isEmpty() ||
            dynamic_cast<const ColorWell*>(sub.get()) ||
            dynamic_cast<const SegmentedControl*>(sub.get()))
          found.push_back(sub);
        continue;
      }
      walk(*sub);
    }
  };
  if (root) walk(*root);
  // A caption that repeats a control's own label would be read twice ("Font, Font, System").
  std::vector<std::string> labels;
  for (const auto& view : found) {
    if (!view->accessibilityLabel().empty()) labels.push_back(view->accessibilityLabel());
  }
  std::erase_if(found, [&](const std::shared_ptr<View>& view) {
    auto* field = dynamic_cast<const TextField*>(view.get());
    return field && !field->isEditable() && view->accessibilityLabel().empty() &&
           std::find(labels.begin(), labels.end(), field->stringValue()) != labels.end();
  });

  std::vector<QtViewElement*> next;
  next.reserve(found.size());
  for (const auto& view : found) {
    auto same = std::find_if(elements_.begin(), elements_.end(),
                             [&](QtViewElement* e) { return e && e->view() == view.get(); });
    if (same != elements_.end()) {
      next.push_back(*same);
      *same = nullptr;
      continue;
    }
    auto* e = new QtViewElement(parent_, anchor_, root_, view);
    QAccessible::registerAccessibleInterface(e);
    next.push_back(e);
  }
  for (auto* gone : elements_) {
    if (gone) release(gone);
  }
  elements_ = std::move(next);
}

int QtViewAccessibleChildren::count() {
  refresh();
  return static_cast<int>(elements_.size());
}

QAccessibleInterface* QtViewAccessibleChildren::child(int index) {
  refresh();
  if (index < 0 || index >= static_cast<int>(elements_.size())) return nullptr;
  return elements_[static_cast<std::size_t>(index)];
}

int QtViewAccessibleChildren::indexOf(const QAccessibleInterface* child) {
  refresh();
  auto found = std::find(elements_.begin(), elements_.end(), child);
  return found == elements_.end() ? -1 : static_cast<int>(found - elements_.begin());
}

QAccessibleInterface* QtViewAccessibleChildren::childAt(int x, int y) {
  refresh();
  // Topmost first: later subviews lie above earlier ones.
  for (auto it = elements_.rbegin(); it != elements_.rend(); ++it) {
    if ((*it)->rect().contains(x, y)) return *it;
  }
  return nullptr;
}

}  // namespace platform::linuxbackend
