#include "Platform/Linux/Qt/QtFormRenderer.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QFontMetricsF>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QScrollArea>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <vector>

#include "Platform/Desktop/Image.h"
#include "Platform/Desktop/View.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Linux/Qt/QtViewPainter.h"
#include "Platform/Linux/Qt/QtWindowHost.h"

namespace platform::linuxbackend {

using forms::Node;
using forms::NodeKind;

namespace {

QString qs(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool isDark(const Node& node) {
  return node.colorScheme().value_or(forms::ColorScheme::dark) == forms::ColorScheme::dark;
}

QColor textColour(const Node& node) {
  if (node.foreground()) return toQColor(*node.foreground());
  return isDark(node) ? QColor::fromRgbF(1, 1, 1, 0.88f) : QColor::fromRgbF(0, 0, 0, 0.85f);
}

QColor accentColour(const Node& node) {
  return toQColor(node.accentColor().value_or(Color::systemBlue()));
}

bool isControl(NodeKind kind) {
  return kind == NodeKind::button || kind == NodeKind::link || kind == NodeKind::toggle ||
         kind == NodeKind::picker;
}

QPainterPath shapePath(forms::ShapeKind kind, QRectF r, double cornerRadius) {
  QPainterPath path;
  switch (kind) {
    case forms::ShapeKind::rectangle:
      path.addRect(r);
      break;
    case forms::ShapeKind::roundedRectangle: {
      double radius = std::min({cornerRadius, r.width() / 2, r.height() / 2});
      path.addRoundedRect(r, radius, radius);
      break;
    }
    case forms::ShapeKind::capsule: {
      double radius = std::min(r.width(), r.height()) / 2;
      path.addRoundedRect(r, radius, radius);
      break;
    }
    case forms::ShapeKind::circle: {
      double side = std::min(r.width(), r.height());
      path.addEllipse(QRectF(r.center().x() - side / 2, r.center().y() - side / 2, side, side));
      break;
    }
  }
  return path;
}

// A named symbol of the desktop layer, centred in its square.
void paintSymbol(QPainter& p, const std::string& name, QRectF r, const QColor& colour) {
  p.setRenderHint(QPainter::Antialiasing);
  double side = std::min(r.width(), r.height());
  QRectF box(r.center().x() - side / 2, r.center().y() - side / 2, side, side);
  box.adjust(side * 0.08, side * 0.08, -side * 0.08, -side * 0.08);
  if (auto image = Image::systemSymbol(name)) paintImage(p, *image, box, colour);
}

}  // namespace

// One node on screen. Widgets are flat siblings in their container (the root, or a scroll
// view's content), back to front in the tree's order, so a control's label and background
// are drawn above the control's own widget and let the clicks through to it.
class QtFormNodeWidget final : public QWidget {
 public:
  QtFormNodeWidget(QtFormRenderer& renderer, QWidget* parent, NodeKind kind)
      : QWidget(parent), renderer_(renderer), kind_(kind) {
    setAttribute(Qt::WA_TransparentForMouseEvents, !isControl(kind));
    if (kind == NodeKind::scroll) {
      scroll_ = new QScrollArea(this);
      scroll_->setFrameShape(QFrame::NoFrame);
      scroll_->setWidgetResizable(false);
      content_ = new QWidget();
      scroll_->setWidget(content_);
      // The form draws no backdrop of its own: the window's shows through.
      for (QWidget* layer : {static_cast<QWidget*>(scroll_), scroll_->viewport(), content_}) {
        layer->setAutoFillBackground(false);
        QPalette palette = layer->palette();
        palette.setColor(QPalette::Window, Qt::transparent);
        palette.setColor(QPalette::Base, Qt::transparent);
        layer->setPalette(palette);
      }
      setAttribute(Qt::WA_TransparentForMouseEvents, false);
    }
  }

  NodeKind kind() const { return kind_; }
  QWidget* content() const { return content_; }
  QScrollArea* scrollArea() const { return scroll_; }

  void bind(const Node& node, double opacity, bool disabled, bool oneLine) {
    node_ = &node;
    oneLine_ = oneLine;
    opacity_ = opacity;
    disabled_ = disabled;
    if (isControl(kind_)) setCursor(disabled ? Qt::ArrowCursor : Qt::PointingHandCursor);
    std::string name = node.accessibilityLabel().value_or(node.title());
    if (accessibleName() != qs(name)) setAccessibleName(qs(name));
    if (scroll_) {
      scroll_->setGeometry(rect());
      scroll_->setVerticalScrollBarPolicy(node.showsScrollIndicators() ? Qt::ScrollBarAsNeeded
                                                                       : Qt::ScrollBarAlwaysOff);
      scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    QWidget::update();
  }

 protected:
  void resizeEvent(QResizeEvent*) override {
    if (scroll_) scroll_->setGeometry(rect());
  }

  void paintEvent(QPaintEvent*) override {
    if (!node_ || renderer_.host()->isEffectivelyHidden(*node_)) return;
    QPainter p(this);
    p.setOpacity(opacity_);
    p.setRenderHint(QPainter::Antialiasing);
    const Node& n = *node_;
    QRectF r = QRectF(rect());
    switch (n.kind()) {
      case NodeKind::text:
      case NodeKind::link:
        paintText(p, n, r);
        break;
      case NodeKind::symbol:
        paintSymbol(p, n.text(), r, textColour(n));
        break;
      case NodeKind::image:
        if (n.image()) {
          if (n.clipCornerRadius()) {
            p.setClipPath(shapePath(forms::ShapeKind::roundedRectangle, r, *n.clipCornerRadius()));
          }
          paintImage(p, *n.image(), r, textColour(n));
        }
        break;
      case NodeKind::shape:
        paintShape(p, n, r);
        break;
      case NodeKind::canvas:
        paintCanvas(p, n, r);
        break;
      case NodeKind::button:
        paintButton(p, n, r);
        break;
      case NodeKind::toggle:
        paintToggle(p, n, r);
        break;
      case NodeKind::picker:
      case NodeKind::labeledContent:
        paintLabeled(p, n, r);
        break;
      case NodeKind::progress:
        paintProgress(p, n, r);
        break;
      case NodeKind::divider:
        p.fillRect(QRectF(r.left(), r.center().y(), r.width(), 1),
                   isDark(n) ? QColor(255, 255, 255, 40) : QColor(0, 0, 0, 30));
        break;
      case NodeKind::section:
        paintSection(p, n, r);
        break;
      default:
        break;
    }
  }

  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton || !isControl(kind_))
      return QWidget::mousePressEvent(event);
    pressed_ = true;
    QWidget::update();
  }

  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton || !pressed_) return QWidget::mouseReleaseEvent(event);
    pressed_ = false;
    QWidget::update();
    if (!rect().contains(event->position().toPoint()) || !node_) return;
    activate();
  }

 private:
  void activate() {
    auto host = renderer_.host();
    const Node& n = *node_;
    if (host->isEffectivelyDisabled(n)) return;
    std::string identity = n.identity();
    switch (n.kind()) {
      case NodeKind::button:
      case NodeKind::link:
        host->tapIdentity(identity);
        break;
      case NodeKind::toggle:
        if (auto onToggle = n.onToggle()) onToggle(!n.isOn());
        break;
      case NodeKind::picker: {
        auto* menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        auto onSelect = n.onSelect();
        for (const auto& [tag, title] : n.options()) {
          QAction* action = menu->addAction(qs(title));
          action->setCheckable(true);
          action->setChecked(tag == n.selection());
          std::string chosen = tag;
          QObject::connect(action, &QAction::triggered, [onSelect, chosen] {
            if (onSelect) onSelect(chosen);
          });
        }
        // Never exec(): our loop keeps running while the menu is open.
        menu->popup(mapToGlobal(QPoint(0, height())));
        break;
      }
      default:
        break;
    }
  }

  void paintText(QPainter& p, const Node& n, const QRectF& r) {
    QFont font = toQFont(n.font().value_or(forms::FormLayout::defaultFont()));
    p.setFont(font);
    QColor colour = textColour(n);
    if (n.kind() == NodeKind::link && !n.foreground()) {
      colour = n.tint() ? toQColor(*n.tint()) : accentColour(n);
    }
    p.setPen(colour);
    QString text = qs(n.kind() == NodeKind::link ? n.title() : n.text());
    // Lines align among themselves by the text's alignment; the block sits in its frame by
    // the frame's alignment, centred vertically.
    Qt::Alignment lines = Qt::AlignLeft;
    if (n.multilineTextAlignment() == forms::TextAlignment::center) lines = Qt::AlignHCenter;
    if (n.multilineTextAlignment() == forms::TextAlignment::trailing) lines = Qt::AlignRight;
    Qt::Alignment block = Qt::AlignHCenter;
    if (n.frame().alignment == forms::HorizontalAlignment::leading) block = Qt::AlignLeft;
    if (n.frame().alignment == forms::HorizontalAlignment::trailing) block = Qt::AlignRight;
    if (oneLine_) {
      Qt::TextElideMode mode = n.truncation() == forms::Truncation::middle ? Qt::ElideMiddle
                               : n.truncation() == forms::Truncation::head ? Qt::ElideLeft
                                                                           : Qt::ElideRight;
      text = QFontMetricsF(font).elidedText(text, mode, r.width());
      p.drawText(r, static_cast<int>(block | Qt::AlignVCenter) | Qt::TextSingleLine, text);
      return;
    }
    QRectF needed =
        QFontMetricsF(font).boundingRect(r, static_cast<int>(lines) | Qt::TextWordWrap, text);
    QRectF place(r.left(), r.top() + std::max(0.0, (r.height() - needed.height()) / 2), r.width(),
                 needed.height());
    if (block == Qt::AlignHCenter) {
      place.setLeft(r.left() + (r.width() - needed.width()) / 2);
    } else if (block == Qt::AlignRight) {
      place.setLeft(r.right() - needed.width());
    }
    place.setWidth(needed.width());
    p.drawText(place, static_cast<int>(lines | Qt::AlignTop) | Qt::TextWordWrap, text);
  }

  void paintShape(QPainter& p, const Node& n, const QRectF& r) {
    const auto& s = n.shape();
    if (s.fill) p.fillPath(shapePath(s.kind, r, s.cornerRadius), toQColor(*s.fill));
    if (s.stroke) {
      double inset = s.strokeInside ? s.lineWidth / 2 : 0;
      QRectF edge = r.adjusted(inset, inset, -inset, -inset);
      p.setPen(QPen(toQColor(*s.stroke), s.lineWidth));
      p.setBrush(Qt::NoBrush);
      p.drawPath(shapePath(s.kind, edge, std::max(0.0, s.cornerRadius - inset)));
    }
  }

  void paintCanvas(QPainter& p, const Node& n, const QRectF& r) {
    if (!n.draw()) return;
    forms::Canvas canvas({r.width(), r.height()},
                         n.foreground().value_or(isDark(n) ? Color::sRGB(1, 1, 1, 0.88)
                                                           : Color::sRGB(0, 0, 0, 0.85)));
    n.draw()(canvas);
    for (const auto& fill : canvas.fills()) {
      QPainterPath path;
      path.setFillRule(fill.rule == forms::FillRule::nonZero ? Qt::WindingFill : Qt::OddEvenFill);
      for (const auto& e : fill.path.elements()) {
        switch (e.kind) {
          case forms::PathElement::Kind::move:
            path.moveTo(e.point.x, e.point.y);
            break;
          case forms::PathElement::Kind::line:
            path.lineTo(e.point.x, e.point.y);
            break;
          case forms::PathElement::Kind::curve:
            path.cubicTo(e.control1.x, e.control1.y, e.control2.x, e.control2.y, e.point.x,
                         e.point.y);
            break;
          case forms::PathElement::Kind::close:
            path.closeSubpath();
            break;
        }
      }
      p.setRenderHint(QPainter::Antialiasing, fill.antialiased);
      if (fill.lineWidth > 0) {
        QPen pen(toQColor(fill.color), fill.lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.strokePath(path, pen);
      } else {
        p.fillPath(path, toQColor(fill.color));
      }
    }
  }

  void paintButton(QPainter& p, const Node& n, const QRectF& r) {
    switch (n.buttonStyle()) {
      case forms::ButtonStyle::plain:
      case forms::ButtonStyle::link:
        break;
      case forms::ButtonStyle::borderedProminent:
        p.fillPath(
            shapePath(forms::ShapeKind::roundedRectangle, r.adjusted(0.5, 0.5, -0.5, -0.5), 6),
            n.role() == forms::ButtonRole::destructive ? QColor(0xd9, 0x3f, 0x3a)
                                                       : accentColour(n));
        break;
      default:
        p.fillPath(
            shapePath(forms::ShapeKind::roundedRectangle, r.adjusted(0.5, 0.5, -0.5, -0.5), 6),
            isDark(n) ? QColor(255, 255, 255, 46) : QColor(0, 0, 0, 20));
        break;
    }
    // The plain pressed look: the label darkens while the pointer holds it.
    if (pressed_)
      p.fillPath(shapePath(forms::ShapeKind::roundedRectangle, r, 8), QColor(0, 0, 0, 50));
  }

  void paintToggle(QPainter& p, const Node& n, const QRectF& r) {
    QRectF knobTrack(r.right() - 32, r.center().y() - 9, 32, 18);
    QRectF label(r.left(), r.top(), std::max(0.0, r.width() - 40), r.height());
    p.setFont(toQFont(n.font().value_or(forms::FormLayout::defaultFont())));
    p.setPen(textColour(n));
    p.drawText(label, static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter) | Qt::TextWordWrap,
               qs(n.text()));
    p.setPen(Qt::NoPen);
    p.setBrush(n.isOn() ? accentColour(n)
                        : (isDark(n) ? QColor(255, 255, 255, 60) : QColor(0, 0, 0, 40)));
    p.drawRoundedRect(knobTrack, 9, 9);
    p.setBrush(Qt::white);
    double x = n.isOn() ? knobTrack.right() - 17 : knobTrack.left() + 1;
    p.drawEllipse(QRectF(x, knobTrack.top() + 1, 16, 16));
  }

  void paintLabeled(QPainter& p, const Node& n, const QRectF& r) {
    p.setFont(toQFont(n.font().value_or(forms::FormLayout::defaultFont())));
    p.setPen(textColour(n));
    p.drawText(r, static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter), qs(n.text()));
    if (n.kind() != NodeKind::picker) return;
    std::string current;
    for (const auto& [tag, title] : n.options()) {
      if (tag == n.selection()) current = title;
    }
    QFontMetricsF metrics(p.font());
    double width = metrics.horizontalAdvance(qs(current)) + 28;
    QRectF box(r.right() - width, r.center().y() - 11, width, 22);
    p.setPen(Qt::NoPen);
    p.setBrush(isDark(n) ? QColor(255, 255, 255, 40) : QColor(0, 0, 0, 18));
    p.drawRoundedRect(box, 5, 5);
    p.setPen(textColour(n));
    p.drawText(box.adjusted(8, 0, -20, 0), static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter),
               qs(current));
    p.drawText(box.adjusted(0, 0, -6, 0), static_cast<int>(Qt::AlignRight | Qt::AlignVCenter),
               QStringLiteral("\u2304"));
  }

  void paintProgress(QPainter& p, const Node& n, const QRectF& r) {
    QColor colour = textColour(n);
    if (n.progressValue()) {
      QRectF track(r.left(), r.center().y() - 3, r.width(), 6);
      p.fillPath(shapePath(forms::ShapeKind::capsule, track, 3), QColor(128, 128, 128, 70));
      QRectF done = track;
      done.setWidth(track.width() * std::clamp(*n.progressValue(), 0.0, 1.0));
      p.fillPath(shapePath(forms::ShapeKind::capsule, done, 3), accentColour(n));
      return;
    }
    double side = std::min(r.width(), r.height()) - 2;
    QRectF ring(r.center().x() - side / 2, r.center().y() - side / 2, side, side);
    QPen pen(colour, 2);
    pen.setCapStyle(Qt::RoundCap);
    p.setPen(pen);
    p.drawArc(ring, 90 * 16, 270 * 16);
  }

  void paintSection(QPainter& p, const Node& n, const QRectF& r) {
    double header = forms::FormLayout::sectionHeaderHeight(n);
    double footer = forms::FormLayout::sectionFooterHeight(n);
    QColor caption = isDark(n) ? QColor(255, 255, 255, 140) : QColor(0, 0, 0, 130);
    p.setFont(toQFont(forms::FormLayout::defaultFont()));
    p.setPen(caption);
    if (header > 0) p.drawText(QRectF(r.left() + 4, r.top(), r.width(), header), qs(n.text()));
    QRectF group(r.left(), r.top() + header, r.width(), r.height() - header - footer);
    p.fillPath(shapePath(forms::ShapeKind::roundedRectangle, group, 8),
               isDark(n) ? QColor(255, 255, 255, 14) : QColor(0, 0, 0, 10));
    if (footer > 0) {
      p.setPen(caption);
      p.drawText(QRectF(r.left() + 4, group.bottom() + 4, r.width(), footer), qs(*n.footer()));
    }
  }

  QtFormRenderer& renderer_;
  NodeKind kind_;
  const Node* node_ = nullptr;
  double opacity_ = 1;
  bool disabled_ = false;
  bool pressed_ = false;
  bool oneLine_ = false;
  QScrollArea* scroll_ = nullptr;
  QWidget* content_ = nullptr;
};

namespace {

// Relays the native window's resizes to the renderer.
class ResizeWatcher final : public QObject {
 public:
  ResizeWatcher(QObject* parent, std::function<void()> onResize)
      : QObject(parent), onResize_(std::move(onResize)) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Resize) onResize_();
    return false;
  }

 private:
  std::function<void()> onResize_;
};

QtWindowHost* nativeHostOf(const Window& window) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* host = dynamic_cast<QtWindowHost*>(widget);
    if (host && host->model() == &window) return host;
  }
  return nullptr;
}

}  // namespace

QtFormRenderer::QtFormRenderer(Window& window, std::shared_ptr<forms::FormHost> host)
    : window_(window.weak_from_this()), host_(std::move(host)) {
  native_ = nativeHostOf(window);
  if (!native_) return;
  root_ = new QWidget(native_);
  root_->setAttribute(Qt::WA_TransparentForMouseEvents, false);
  root_->setGeometry(native_->rect());
  root_->show();
  resizeWatcher_ = new ResizeWatcher(root_, [this] {
    if (root_ && native_ && root_->size() != native_->size()) {
      root_->setGeometry(native_->rect());
      update();
    }
  });
  native_->installEventFilter(resizeWatcher_);
  host_->setOnRender([this](const Node&) { update(); });
  update();
}

QtFormRenderer::~QtFormRenderer() {
  if (host_) host_->setOnRender(nullptr);
  delete root_.data();
}

QWidget* QtFormRenderer::widgetFor(std::string_view identity) const {
  if (!root_) return nullptr;
  auto found = widgets_.find(identity);
  return found == widgets_.end() ? nullptr : found->second;
}

void QtFormRenderer::update() {
  if (!root_ || window_.expired()) {
    // The native window went, and our widgets with it.
    widgets_.clear();
    return;
  }
  // The widgets point into this copy until the next update.
  tree_ = std::make_shared<const Node>(host_->tree());
  layout_ = forms::FormLayout::layout(
      *tree_, {static_cast<double>(root_->width()), static_cast<double>(root_->height())});
  std::map<std::string, QtFormNodeWidget*> keep;
  int createdBefore = created_;
  reconcile(*tree_, {nullptr, root_, {0, 0}, 1.0, 0, static_cast<double>(root_->width())}, keep);
  // New widgets went on top: put every widget back in the tree's order, back to front.
  if (created_ != createdBefore) restack(*tree_);
  for (auto it = widgets_.begin(); it != widgets_.end();) {
    if (keep.count(it->first)) {
      ++it;
      continue;
    }
    // It may be the widget whose click ran this update.
    it->second->hide();
    it->second->deleteLater();
    it = widgets_.erase(it);
  }
}

void QtFormRenderer::reconcile(const Node& node, Placement at,
                               std::map<std::string, QtFormNodeWidget*>& keep) {
  const Rect* frame = layout_.frameOf(node.identity());
  if (!frame) return;
  const Node* parent = at.parent;
  QWidget* container = at.container;
  QPointF origin = at.origin;
  double opacity = at.opacity;
  if (node.frame().maxWidth || node.frame().width) {
    at.spanLeft = frame->x();
    at.spanRight = frame->maxX();
  }
  bool disabled = host_->isEffectivelyDisabled(node);
  bool parentDisabled = parent && host_->isEffectivelyDisabled(*parent);
  opacity *= std::clamp(node.opacity(), 0.0, 1.0);
  // A disabled subtree fades once, at its top.
  if (disabled && !parentDisabled) opacity *= disabledOpacity;

  QtFormNodeWidget* widget = nullptr;
  if (auto found = widgets_.find(node.identity());
      found != widgets_.end() && found->second->kind() == node.kind()) {
    widget = found->second;
    if (widget->parentWidget() != container) widget->setParent(container);
  } else {
    if (found != widgets_.end()) {
      found->second->hide();
      found->second->deleteLater();
      widgets_.erase(found);
    }
    widget = new QtFormNodeWidget(*this, container, node.kind());
    widgets_.emplace(node.identity(), widget);
    ++created_;
  }
  keep.emplace(node.identity(), widget);

  double x = frame->x() - origin.x() + node.offset().x;
  double y = frame->y() - origin.y() + node.offset().y;
  QRect geometry(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)),
                 static_cast<int>(std::ceil(x + frame->width()) - std::floor(x)),
                 static_cast<int>(std::ceil(y + frame->height()) - std::floor(y)));
  bool oneLine = false;
  if (node.kind() == NodeKind::text || node.kind() == NodeKind::link) {
    // The screen's fonts may run wider than the layout's metrics: a line stays one line and
    // may spread over the width its block offers (siblings do not clip each other); a
    // wrapped text grows downwards.
    Font font = node.font().value_or(forms::FormLayout::defaultFont());
    QFontMetricsF metrics(toQFont(font));
    QString text = qs(node.kind() == NodeKind::link ? node.title() : node.text());
    oneLine = node.lineLimit() == 1 || frame->height() <= font.lineHeight() + 0.5;
    if (oneLine) {
      int real = static_cast<int>(std::ceil(metrics.horizontalAdvance(text))) + 1;
      int span = static_cast<int>(std::floor(at.spanRight - at.spanLeft));
      int wanted = std::min(real, std::max(span, geometry.width()));
      if (wanted > geometry.width()) {
        int grow = wanted - geometry.width();
        int left = node.multilineTextAlignment() == forms::TextAlignment::leading &&
                           node.frame().alignment == forms::HorizontalAlignment::leading
                       ? 0
                       : grow / 2;
        geometry.adjust(-left, 0, grow - left, 0);
        // Kept inside the span.
        int minX = static_cast<int>(std::ceil(at.spanLeft - origin.x()));
        int maxX = static_cast<int>(std::floor(at.spanRight - origin.x()));
        if (geometry.right() + 1 > maxX) geometry.moveRight(maxX - 1);
        if (geometry.left() < minX) geometry.moveLeft(minX);
      }
    } else {
      QRectF needed =
          metrics.boundingRect(QRectF(0, 0, geometry.width(), 1e6), Qt::TextWordWrap, text);
      if (needed.height() > geometry.height()) {
        geometry.setHeight(static_cast<int>(std::ceil(needed.height())));
      }
    }
  }
  if (widget->geometry() != geometry) widget->setGeometry(geometry);
  widget->bind(node, opacity, disabled, oneLine);
  if (node.kind() == NodeKind::nativeView) placeNativeView(node, *frame);
  if (widget->isHidden()) widget->show();

  for (const auto& background : node.backgrounds()) {
    reconcile(background, {&node, container, origin, opacity, at.spanLeft, at.spanRight}, keep);
  }
  if (node.kind() == NodeKind::scroll && widget->content()) {
    // The content scrolls inside the scroll area, with its own origin.
    if (!node.children().empty()) {
      const Node& content = node.children().front();
      auto size = layout_.scrollContentSizes.find(node.identity());
      if (size != layout_.scrollContentSizes.end()) {
        QSize contentSize(static_cast<int>(std::ceil(size->second.width)),
                          static_cast<int>(std::ceil(size->second.height)));
        if (widget->content()->size() != contentSize) widget->content()->resize(contentSize);
      }
      if (const Rect* contentFrame = layout_.frameOf(content.identity())) {
        reconcile(content,
                  {&node, widget->content(), QPointF(contentFrame->x(), contentFrame->y()), opacity,
                   contentFrame->x(), contentFrame->maxX()},
                  keep);
      }
    }
  } else {
    for (const auto& child : node.children()) {
      reconcile(child, {&node, container, origin, opacity, at.spanLeft, at.spanRight}, keep);
    }
  }
  for (const auto& overlay : node.overlays()) {
    reconcile(overlay, {&node, container, origin, opacity, at.spanLeft, at.spanRight}, keep);
  }
}

void QtFormRenderer::restack(const Node& node) {
  if (auto* widget = widgetFor(node.identity())) widget->raise();
  for (const auto& c : node.backgrounds()) restack(c);
  for (const auto& c : node.children()) restack(c);
  for (const auto& c : node.overlays()) restack(c);
}

void QtFormRenderer::placeNativeView(const Node& node, const Rect& frame) {
  const auto& view = node.nativeView();
  auto window = window_.lock();
  if (!view || !window || !window->contentView()) return;
  auto& content = *window->contentView();
  if (view->superview() != &content) content.addSubview(view);
  // The content view's y grows upwards (unless flipped); the form's grows downwards.
  double height = content.frame().height();
  Rect target(frame.x(), content.isFlipped() ? frame.y() : height - frame.y() - frame.height(),
              frame.width(), frame.height());
  if (view->frame() != target) view->setFrame(target);
}

}  // namespace platform::linuxbackend
