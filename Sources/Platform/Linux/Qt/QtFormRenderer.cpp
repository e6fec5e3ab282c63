#include "Platform/Linux/Qt/QtFormRenderer.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <vector>

#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Control.h"
#include "Platform/Desktop/Desktop.h"
#include "Platform/Desktop/Image.h"
#include "Platform/Desktop/Panel.h"
#include "Platform/Desktop/View.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Desktop/Workspace.h"
#include "Platform/Forms/FormMetrics.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Linux/Qt/QtViewAccessible.h"
#include "Platform/Linux/Qt/QtViewPainter.h"
#include "Platform/Linux/Qt/QtWindowHost.h"

namespace platform::linuxbackend {

using forms::Node;
using forms::NodeKind;

namespace {

QString qs(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Marks the widget that stands for a section's footer, with the footer's identity.
constexpr const char* kFooterProperty = "flagrigFormFooter";

bool isDark(const Node& node) {
  return node.colorScheme().value_or(forms::ColorScheme::dark) == forms::ColorScheme::dark;
}

QColor textColour(const Node& node) {
  if (node.foreground()) return toQColor(*node.foreground());
  return isDark(node) ? QColor::fromRgbF(1, 1, 1, 0.88f) : QColor::fromRgbF(0, 0, 0, 0.85f);
}

QColor secondaryColour(const Node& node) {
  return isDark(node) ? QColor(255, 255, 255, 140) : QColor(0, 0, 0, 130);
}

QColor accentColour(const Node& node) {
  return toQColor(node.accentColor().value_or(Color::systemBlue()));
}

// The platform's overlay-like scroller: a thin handle over the form's own backdrop, light on a
// dark scheme and dark on a light one (the toolkit's default bar is light whatever the form).
void styleScrollBar(QScrollBar* bar, bool dark) {
  QString sheet =
      QStringLiteral(
          "QScrollBar:vertical{background:transparent;width:10px;margin:0;border:none}"
          "QScrollBar::handle:vertical{background:%1;border-radius:3px;min-height:24px;"
          "margin:2px}"
          "QScrollBar::add-line:vertical,QScrollBar::sub-line:vertical{height:0;border:none;"
          "background:none}"
          "QScrollBar::add-page:vertical,QScrollBar::sub-page:vertical{background:none}")
          .arg(dark ? QStringLiteral("rgba(255,255,255,90)") : QStringLiteral("rgba(0,0,0,80)"));
  if (bar->styleSheet() != sheet) bar->setStyleSheet(sheet);
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
      // The form's keyboard belongs to the form, not to the scroll area.
      scroll_->setFocusPolicy(Qt::NoFocus);
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
  const Node* node() const { return node_; }
  bool isSpinning() const { return spinTimer_ != nullptr; }

  void bind(const Node& node, double opacity, bool disabled, bool oneLine) {
    node_ = &node;
    oneLine_ = oneLine;
    opacity_ = opacity;
    disabled_ = disabled;
    if (isControl(kind_)) {
      setCursor(disabled ? Qt::ArrowCursor : Qt::PointingHandCursor);
      setMouseTracking(true);
    }
    std::string name = node.accessibilityLabel().value_or(node.title());
    if (accessibleName() != qs(name)) setAccessibleName(qs(name));
    QString hint = qs(node.accessibilityHint().value_or(""));
    if (accessibleDescription() != hint) setAccessibleDescription(hint);
    bindLinks(node);
    bindFooter(node);
    syncSpinner();
    if (scroll_) {
      scroll_->setGeometry(rect());
      scroll_->setVerticalScrollBarPolicy(node.showsScrollIndicators() ? Qt::ScrollBarAsNeeded
                                                                       : Qt::ScrollBarAlwaysOff);
      scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      styleScrollBar(scroll_->verticalScrollBar(), isDark(node));
    }
    QWidget::update();
  }

 protected:
  void resizeEvent(QResizeEvent*) override {
    if (scroll_) scroll_->setGeometry(rect());
    if (links_) links_->setGeometry(rect());
    placeFooter();
  }
  void showEvent(QShowEvent*) override { syncSpinner(); }
  void hideEvent(QHideEvent*) override { syncSpinner(); }

  void paintEvent(QPaintEvent*) override {
    if (!node_ || renderer_.host()->isEffectivelyHidden(*node_)) return;
    QPainter p(this);
    p.setOpacity(opacity_);
    p.setRenderHint(QPainter::Antialiasing);
    const Node& n = *node_;
    QRectF r = QRectF(rect());
    switch (n.kind()) {
      case NodeKind::text:
        if (!links_) paintText(p, n, r);
        break;
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

 public:
  // Opens a picker's menu under it (a click, or Space and Return on the focused picker).
  void openMenu() {
    if (!node_ || node_->kind() != NodeKind::picker) return;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    auto onSelect = node_->onSelect();
    for (const auto& [tag, title] : node_->options()) {
      QAction* action = menu->addAction(qs(title));
      action->setCheckable(true);
      action->setChecked(tag == node_->selection());
      std::string chosen = tag;
      QObject::connect(action, &QAction::triggered, [onSelect, chosen] {
        if (onSelect) onSelect(chosen);
      });
    }
    // Never exec(): our loop keeps running while the menu is open.
    menu->popup(mapToGlobal(QPoint(0, height())));
  }

 private:
  // A text with inline links is drawn by a rich-text label, whose links open through the
  // workspace (never by Qt's own URL handling).
  void bindLinks(const Node& node) {
    if (node.kind() != NodeKind::text || node.runs().empty()) {
      delete links_;
      links_ = nullptr;
      return;
    }
    if (!links_) {
      links_ = new QLabel(this);
      links_->setTextFormat(Qt::RichText);
      links_->setWordWrap(true);
      links_->setOpenExternalLinks(false);
      links_->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
      links_->setGeometry(rect());
      setAttribute(Qt::WA_TransparentForMouseEvents, false);
      QObject::connect(links_, &QLabel::linkActivated, [](const QString& address) {
        auto url = URL::parse(address.toStdString());
        if (url && hasEnvironment() && env().desktop) env().desktop->workspace().openURL(*url);
      });
      links_->show();
    }
    QColor text = textColour(node);
    QColor link = node.tint() ? toQColor(*node.tint()) : accentColour(node);
    QString html;
    for (const auto& run : node.runs()) {
      QString piece = qs(run.text).toHtmlEscaped();
      if (run.url) {
        html += QStringLiteral("<a href=\"%1\" style=\"color:%2; text-decoration:none\">%3</a>")
                    .arg(qs(run.url->absoluteString()).toHtmlEscaped(), link.name(QColor::HexArgb),
                         piece);
      } else {
        html += piece;
      }
    }
    Qt::Alignment align =
        node.multilineTextAlignment() == forms::TextAlignment::center     ? Qt::AlignHCenter
        : node.multilineTextAlignment() == forms::TextAlignment::trailing ? Qt::AlignRight
                                                                          : Qt::AlignLeft;
    links_->setAlignment(align | Qt::AlignVCenter);
    links_->setFont(toQFont(node.font().value_or(forms::FormLayout::defaultFont())));
    QPalette palette = links_->palette();
    palette.setColor(QPalette::WindowText, text);
    links_->setPalette(palette);
    if (links_->text() != html) links_->setText(html);
  }

  // A section's footer is drawn with the section, but a reader needs an element where it
  // stands: an empty widget over it that carries its words.
  void bindFooter(const Node& node) {
    bool wanted = node.kind() == NodeKind::section && node.footer() && !node.footer()->empty();
    if (!wanted) {
      delete footer_;
      footer_ = nullptr;
      return;
    }
    if (!footer_) {
      footer_ = new QWidget(this);
      footer_->setAttribute(Qt::WA_TransparentForMouseEvents);
      footer_->show();
    }
    footer_->setProperty(kFooterProperty, qs(node.identity() + "/footer"));
    placeFooter();
  }
  void placeFooter() {
    if (!footer_ || !node_) return;
    int height = static_cast<int>(std::ceil(forms::FormLayout::sectionFooterHeight(*node_)));
    footer_->setGeometry(4, std::max(0, this->height() - height), std::max(0, width() - 4), height);
  }

 public:
  QWidget* footerWidget() const { return footer_; }

 private:
  // An indeterminate spinner turns only while it is on screen: no timer otherwise.
  void syncSpinner() {
    bool wanted = node_ && node_->kind() == NodeKind::progress && !node_->progressValue() &&
                  isVisible() && !renderer_.host()->isEffectivelyHidden(*node_);
    if (wanted && !spinTimer_) {
      spinTimer_ = new QTimer(this);
      spinTimer_->setInterval(50);
      QObject::connect(spinTimer_, &QTimer::timeout, this, [this] { QWidget::update(); });
      spinTimer_->start();
      spinClock_.start();
    } else if (!wanted && spinTimer_) {
      delete spinTimer_;
      spinTimer_ = nullptr;
    }
  }

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
        host->activate(identity);
        break;
      case NodeKind::picker:
        openMenu();
        break;
      default:
        break;
    }
  }

  void paintText(QPainter& p, const Node& n, const QRectF& r) {
    QFont font = toQFont(n.font().value_or(forms::FormLayout::defaultFont()));
    p.setFont(font);
    QColor colour = textColour(n);
    if (n.isSecondary() && !n.foreground()) colour = secondaryColour(n);
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
    // A wrapped text without a frame of its own is as wide as the layout measured it; Qt's
    // lines may come out a little narrower, and then they keep to the text's own edge rather
    // than drift towards the middle of it.
    const auto& f = n.frame();
    if (!f.width && !f.minWidth && !f.maxWidth) block = lines;
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
            : n.tint()                                 ? toQColor(*n.tint())
                                                       : accentColour(n));
        break;
      default:
        p.fillPath(shapePath(forms::ShapeKind::roundedRectangle, r.adjusted(0.5, 0.5, -0.5, -0.5),
                             forms::FormMetrics::buttonCornerRadius),
                   isDark(n) ? QColor(255, 255, 255, 46) : QColor(0, 0, 0, 20));
        break;
    }
    // The plain pressed look: the label darkens while the pointer holds it.
    if (pressed_)
      p.fillPath(shapePath(forms::ShapeKind::roundedRectangle, r, 8), QColor(0, 0, 0, 50));
  }

  void paintToggle(QPainter& p, const Node& n, const QRectF& r) {
    using M = forms::FormMetrics;
    QRectF knobTrack(r.right() - M::switchWidth, r.center().y() - M::switchHeight / 2,
                     M::switchWidth, M::switchHeight);
    QRectF label(r.left(), r.top(), std::max(0.0, r.width() - M::switchWidth - M::labelGap),
                 r.height());
    p.setFont(toQFont(n.font().value_or(forms::FormLayout::defaultFont())));
    p.setPen(textColour(n));
    p.drawText(label, static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter) | Qt::TextWordWrap,
               qs(n.text()));
    p.setPen(Qt::NoPen);
    p.setBrush(n.isOn() ? accentColour(n)
                        : (isDark(n) ? QColor(255, 255, 255, 60) : QColor(0, 0, 0, 40)));
    p.drawRoundedRect(knobTrack, M::switchHeight / 2, M::switchHeight / 2);
    p.setBrush(Qt::white);
    double gap = (M::switchHeight - M::switchKnob) / 2;
    double x = n.isOn() ? knobTrack.right() - gap - M::switchKnob : knobTrack.left() + gap;
    p.drawEllipse(QRectF(x, knobTrack.top() + gap, M::switchKnob, M::switchKnob));
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
    double width = metrics.horizontalAdvance(qs(current)) + forms::FormMetrics::pickerChrome;
    double height = metrics.height() + forms::FormMetrics::pickerExtraHeight;
    QRectF box(r.right() - width, r.center().y() - height / 2, width, height);
    p.setPen(Qt::NoPen);
    p.setBrush(isDark(n) ? QColor(255, 255, 255, 40) : QColor(0, 0, 0, 18));
    p.drawRoundedRect(box, forms::FormMetrics::pickerCornerRadius,
                      forms::FormMetrics::pickerCornerRadius);
    p.setPen(textColour(n));
    p.drawText(box.adjusted(forms::FormMetrics::pickerTextInset, 0,
                            -forms::FormMetrics::pickerArrowWidth, 0),
               static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter), qs(current));
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
    double side =
        std::min({r.width(), r.height(), forms::FormLayout::spinnerSide(n.controlSize())}) - 2;
    QRectF ring(r.center().x() - side / 2, r.center().y() - side / 2, side, side);
    QPen pen(colour, n.controlSize() == forms::ControlSize::small ? 1.5 : 2);
    pen.setCapStyle(Qt::RoundCap);
    p.setPen(pen);
    // A turn a second, from the clock rather than a frame count, so no frame is stale.
    int start = spinTimer_ ? static_cast<int>(-(spinClock_.elapsed() % 1000) * 360 / 1000) : 0;
    p.drawArc(ring, (90 + start) * 16, 270 * 16);
  }

  void paintSection(QPainter& p, const Node& n, const QRectF& r) {
    double header = forms::FormLayout::sectionHeaderHeight(n);
    double footer = forms::FormLayout::sectionFooterHeight(n);
    QColor caption = secondaryColour(n);
    p.setFont(toQFont(forms::FormLayout::defaultFont()));
    p.setPen(caption);
    if (header > 0) p.drawText(QRectF(r.left() + 4, r.top(), r.width(), header), qs(n.text()));
    QRectF group(r.left(), r.top() + header, r.width(), r.height() - header - footer);
    p.fillPath(shapePath(forms::ShapeKind::roundedRectangle, group,
                         forms::FormMetrics::sectionCornerRadius),
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
  QLabel* links_ = nullptr;
  QWidget* footer_ = nullptr;
  QTimer* spinTimer_ = nullptr;
  QElapsedTimer spinClock_;
};

// The focus ring, in the focused control's accent colour, just outside its edge. A widget of its
// own above every other: a control's background and label are drawn above the control's own
// widget and would hide a ring it painted itself.
class QtFocusRing final : public QWidget {
 public:
  explicit QtFocusRing(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
  }
  void setColour(const QColor& colour) {
    if (colour_ == colour) return;
    colour_ = colour;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    double w = forms::FormMetrics::focusRingWidth;
    p.setPen(QPen(colour_, w));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shapePath(forms::ShapeKind::roundedRectangle,
                         QRectF(rect()).adjusted(w / 2, w / 2, -w / 2, -w / 2), 9));
  }

 private:
  QColor colour_;
};

namespace {

// Relays the native window's input and changes to the renderer: resizes, keys, the pointer's
// moves, and repaints (after which a hosted view may have changed its height).
class WindowWatcher final : public QObject {
 public:
  WindowWatcher(QObject* parent, QtFormRenderer& renderer, std::function<void()> onResize,
                std::function<void()> onPaint, std::function<bool()> blocked)
      : QObject(parent),
        renderer_(renderer),
        onResize_(std::move(onResize)),
        onPaint_(std::move(onPaint)),
        blocked_(std::move(blocked)) {}
  bool eventFilter(QObject* target, QEvent* event) override {
    switch (event->type()) {
      case QEvent::Resize:
        onResize_();
        return false;
      case QEvent::Paint:
        onPaint_();
        return false;
      case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        return renderer_.handleKey(key->key(), key->modifiers());
      }
      case QEvent::MouseMove:
        if (renderer_.routeToHostedView(target, event)) return true;
        renderer_.pointerMoved(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
        return false;
      case QEvent::Leave:
        renderer_.pointerMoved(std::nullopt);
        return false;
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
        // While its dialog is up the form takes no clicks.
        if (blocked_()) return true;
        return renderer_.routeToHostedView(target, event);
      default:
        return false;
    }
  }

 private:
  QtFormRenderer& renderer_;
  std::function<void()> onResize_;
  std::function<void()> onPaint_;
  std::function<bool()> blocked_;
};

QtWindowHost* nativeHostOf(const Window& window) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* host = dynamic_cast<QtWindowHost*>(widget);
    if (host && host->model() == &window) return host;
  }
  return nullptr;
}

QAccessible::Role qtRole(forms::AccessibilityRole role) {
  using R = forms::AccessibilityRole;
  switch (role) {
    case R::button:
      return QAccessible::Button;
    case R::link:
      return QAccessible::Link;
    case R::toggle:
      return QAccessible::CheckBox;
    case R::picker:
      return QAccessible::ComboBox;
    case R::image:
      return QAccessible::Graphic;
    case R::header:
      return QAccessible::Heading;
    case R::group:
      return QAccessible::Grouping;
    case R::progress:
      return QAccessible::ProgressBar;
    case R::staticText:
    case R::automatic:
      break;
  }
  return QAccessible::StaticText;
}

constexpr const char* kRendererProperty = "flagrigFormRenderer";

}  // namespace

// A node as assistive technology reads it: the host's element for its identity, read again
// after every render (Qt keeps one interface per widget, and a kept widget may show new words:
// a status line that turns into an error).
// A static text also offers its words through the text interface: AT-SPI readers take a label's
// content from there, and a labelled value (an account's e-mail beside "Account") has no other
// way out, as AT-SPI has no value for a label.
class QtFormNodeAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  QtFormNodeAccessible(QWidget* widget, const forms::AccessibilityElement& element, int renderCount)
      : QAccessibleWidget(widget, qtRole(element.role)),
        element_(element),
        words_(wordsOf(element)),
        renderCount_(renderCount) {}
  QAccessible::Role role() const override { return qtRole(element().role); }
  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::TextInterface && role() == QAccessible::StaticText)
      return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }
  // Read-only text: no selection, no cursor.
  void selection(int, int* start, int* end) const override { *start = *end = 0; }
  int selectionCount() const override { return 0; }
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  int cursorPosition() const override { return 0; }
  void setCursorPosition(int) override {}
  QString text(int start, int end) const override {
    element();
    start = std::clamp(start, 0, static_cast<int>(words_.size()));
    end = end < 0 ? static_cast<int>(words_.size())
                  : std::clamp(end, start, static_cast<int>(words_.size()));
    return words_.mid(start, end - start);
  }
  int characterCount() const override {
    element();
    return static_cast<int>(words_.size());
  }
  QRect characterRect(int) const override { return {}; }
  int offsetAtPoint(const QPoint&) const override { return -1; }
  void scrollToSubstring(int, int) override {}
  QString attributes(int offset, int* start, int* end) const override {
    *start = *end = offset;
    return {};
  }
  QString text(QAccessible::Text t) const override {
    switch (t) {
      case QAccessible::Name:
        return qs(element().label);
      case QAccessible::Description:
        return qs(element().hint);
      case QAccessible::Value:
        return qs(element().value);
      default:
        return QAccessibleWidget::text(t);
    }
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    const auto& e = element();
    s.disabled = !e.enabled;
    if (e.role == forms::AccessibilityRole::toggle) {
      s.checkable = true;
      s.checked = e.value == "1";
    }
    return s;
  }
  // A hosted view's controls are its children.
  void hostView(std::weak_ptr<View> view) {
    hosted_ = std::make_unique<QtViewAccessibleChildren>(this, widget(), std::move(view));
  }
  int childCount() const override { return hosted_ ? hosted_->count() : 0; }
  QAccessibleInterface* child(int index) const override {
    return hosted_ ? hosted_->child(index) : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return hosted_ ? hosted_->indexOf(child) : -1;
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    return hosted_ ? hosted_->childAt(x, y) : nullptr;
  }
  QAccessibleInterface* parent() const override {
    QWidget* root = rootOf(widget());
    return root ? QAccessible::queryAccessibleInterface(root) : QAccessibleWidget::parent();
  }

 private:
  static QString wordsOf(const forms::AccessibilityElement& e) {
    return qs(e.value.empty() ? e.label : e.value);
  }
  static QWidget* rootOf(QWidget* widget) {
    QWidget* w = widget ? widget->parentWidget() : nullptr;
    while (w && !w->property(kRendererProperty).isValid()) w = w->parentWidget();
    return w;
  }
  // The element as the host reads it now; the one last read while the form is gone.
  const forms::AccessibilityElement& element() const {
    QWidget* root = rootOf(widget());
    if (!root) return element_;
    auto* renderer = static_cast<QtFormRenderer*>(root->property(kRendererProperty).value<void*>());
    if (!renderer || !renderer->host()) return element_;
    int count = renderer->host()->renderCount();
    if (count == renderCount_) return element_;
    renderCount_ = count;
    for (const auto& e : renderer->host()->accessibilityElements()) {
      if (e.identity == element_.identity) {
        element_ = e;
        words_ = wordsOf(e);
        break;
      }
    }
    return element_;
  }

  mutable forms::AccessibilityElement element_;
  mutable QString words_;
  mutable int renderCount_;
  std::unique_ptr<QtViewAccessibleChildren> hosted_;
};

// The form's root: its children are the host's elements in reading order, whatever widgets
// draw them (a combined row is one element; decorations are none).
class QtFormRootAccessible final : public QAccessibleWidget {
 public:
  QtFormRootAccessible(QWidget* root, QtFormRenderer& renderer)
      : QAccessibleWidget(root, QAccessible::Pane), renderer_(renderer) {}
  int childCount() const override { return static_cast<int>(widgets().size()); }
  QAccessibleInterface* child(int index) const override {
    auto list = widgets();
    if (index < 0 || index >= static_cast<int>(list.size())) return nullptr;
    return QAccessible::queryAccessibleInterface(list[static_cast<std::size_t>(index)]);
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    auto list = widgets();
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (child && child->object() == list[i]) return static_cast<int>(i);
    }
    return -1;
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    for (QWidget* w : widgets()) {
      if (w->isVisible() && QRect(w->mapToGlobal(QPoint(0, 0)), w->size()).contains(x, y))
        return QAccessible::queryAccessibleInterface(w);
    }
    return nullptr;
  }

 private:
  std::vector<QWidget*> widgets() const {
    std::vector<QWidget*> out;
    std::string last;
    for (const auto& e : renderer_.host()->accessibilityElements()) {
      if (e.identity == last) continue;
      last = e.identity;
      if (auto* w = renderer_.accessibleWidgetFor(e.identity); w && w->isVisible())
        out.push_back(w);
    }
    return out;
  }
  QtFormRenderer& renderer_;
};

namespace {

QtFormRenderer* rendererOf(QObject* object) {
  auto value = object->property(kRendererProperty);
  return value.isValid() ? static_cast<QtFormRenderer*>(value.value<void*>()) : nullptr;
}

QAccessibleInterface* formAccessibleFactory(const QString&, QObject* object) {
  if (auto* node = dynamic_cast<QtFormNodeWidget*>(object)) {
    QObject* up = node->parent();
    while (up && !rendererOf(up)) up = up->parent();
    QtFormRenderer* renderer = up ? rendererOf(up) : nullptr;
    if (!renderer || !node->node()) return nullptr;
    for (const auto& e : renderer->host()->accessibilityElements()) {
      if (e.identity != node->node()->identity()) continue;
      auto* accessible = new QtFormNodeAccessible(node, e, renderer->host()->renderCount());
      if (node->node()->kind() == forms::NodeKind::nativeView && node->node()->nativeView())
        accessible->hostView(node->node()->nativeView());
      return accessible;
    }
    return nullptr;
  }
  if (auto footer = object->property(kFooterProperty); footer.isValid()) {
    QObject* up = object->parent();
    while (up && !rendererOf(up)) up = up->parent();
    QtFormRenderer* renderer = up ? rendererOf(up) : nullptr;
    if (!renderer) return nullptr;
    std::string identity = footer.toString().toStdString();
    for (const auto& e : renderer->host()->accessibilityElements()) {
      if (e.identity == identity)
        return new QtFormNodeAccessible(static_cast<QWidget*>(object), e,
                                        renderer->host()->renderCount());
    }
    return nullptr;
  }
  if (auto* renderer = rendererOf(object)) {
    return new QtFormRootAccessible(static_cast<QWidget*>(object), *renderer);
  }
  return nullptr;
}

}  // namespace

namespace {

// A dialog's close button (the window manager offers one) answers as its cancel button does,
// and does nothing on a dialog without one: the session's end closes the window, never the
// window manager alone, which would leave the session running with nothing to answer it.
class DialogCloseButton final : public WindowDelegate {
 public:
  explicit DialogCloseButton(std::function<void()> pressed) : pressed_(std::move(pressed)) {}
  bool windowShouldClose(Window&) override {
    if (pressed_) pressed_();
    return false;
  }

 private:
  std::function<void()> pressed_;
};

}  // namespace

// A presentation on screen: its window, the form that draws it, and its modal session.
struct QtFormRenderer::Dialog {
  std::string identity;
  std::vector<std::string> titles;
  std::shared_ptr<Window> window;
  std::shared_ptr<forms::FormHost> host;
  std::shared_ptr<void> presentation;
  // Held here: a window holds its delegate weakly.
  std::shared_ptr<WindowDelegate> closeButton;
  bool running = false;
  bool ended = false;
};

QtFormRenderer::QtFormRenderer(Window& window, std::shared_ptr<forms::FormHost> host)
    : window_(window.weak_from_this()), host_(std::move(host)) {
  static bool factoryInstalled = false;
  if (!factoryInstalled) {
    QAccessible::installFactory(formAccessibleFactory);
    factoryInstalled = true;
  }
  native_ = nativeHostOf(window);
  if (!native_) return;
  ownsBackground_ = window.backgroundColor() == Window::defaultBackgroundColor();
  // A form taller than its window scrolls.
  scroller_ = new QScrollArea(native_);
  scroller_->setFrameShape(QFrame::NoFrame);
  scroller_->setWidgetResizable(false);
  scroller_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroller_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  scroller_->setFocusPolicy(Qt::NoFocus);
  root_ = new QWidget();
  root_->setProperty(kRendererProperty, QVariant::fromValue<void*>(this));
  root_->setAttribute(Qt::WA_TransparentForMouseEvents, false);
  root_->setMouseTracking(true);
  scroller_->setWidget(root_);
  for (QWidget* layer : {static_cast<QWidget*>(scroller_), scroller_->viewport(), root_.data()}) {
    layer->setAutoFillBackground(false);
    QPalette palette = layer->palette();
    palette.setColor(QPalette::Window, Qt::transparent);
    palette.setColor(QPalette::Base, Qt::transparent);
    layer->setPalette(palette);
  }
  scroller_->viewport()->setMouseTracking(true);
  scroller_->setGeometry(native_->rect());
  root_->resize(native_->size());
  scroller_->show();
  native_->setMouseTracking(true);
  QObject::connect(scroller_->verticalScrollBar(), &QScrollBar::valueChanged, root_,
                   [this] { placeNativeViews(); });
  std::weak_ptr<int> alive = alive_;
  watcher_ = new WindowWatcher(
      root_, *this,
      [this] {
        if (root_ && native_ && scroller_->size() != native_->size()) update();
      },
      [this, alive] {
        if (updating_ || !nativeHeightsChanged()) return;
        env().mainLoop->post([this, alive] {
          if (alive.lock()) update();
        });
      },
      [this] { return dialog_ != nullptr; });
  native_->installEventFilter(watcher_);
  root_->installEventFilter(watcher_);
  scroller_->viewport()->installEventFilter(watcher_);
  host_->setOnRender([this](const Node&) { update(); });
  update();
}

QtFormRenderer::~QtFormRenderer() {
  if (host_) host_->setOnRender(nullptr);
  if (dialog_) endDialog(ModalResponse::abort);
  if (native_ && watcher_) native_->removeEventFilter(watcher_);
  delete scroller_.data();
}

QWidget* QtFormRenderer::widgetFor(std::string_view identity) const {
  if (!root_) return nullptr;
  auto found = widgets_.find(identity);
  return found == widgets_.end() ? nullptr : found->second;
}

QWidget* QtFormRenderer::accessibleWidgetFor(std::string_view identity) const {
  if (auto* widget = widgetFor(identity)) return widget;
  constexpr std::string_view suffix = "/footer";
  if (identity.size() <= suffix.size() || !identity.ends_with(suffix)) return nullptr;
  auto found = widgets_.find(identity.substr(0, identity.size() - suffix.size()));
  return found == widgets_.end() ? nullptr : found->second->footerWidget();
}

std::shared_ptr<Window> QtFormRenderer::dialogWindow() const {
  return dialog_ ? dialog_->window : nullptr;
}

QtFormRenderer* QtFormRenderer::dialogRenderer() const {
  return dialog_ ? static_cast<QtFormRenderer*>(dialog_->presentation.get()) : nullptr;
}

int QtFormRenderer::animatingSpinners() const {
  if (!root_) return 0;
  int count = 0;
  for (const auto& [identity, widget] : widgets_) count += widget->isSpinning() ? 1 : 0;
  return count;
}

void QtFormRenderer::update() {
  if (!root_ || window_.expired()) {
    // The native window went, and our widgets with it.
    widgets_.clear();
    return;
  }
  updating_ = true;
  // The widgets point into this copy until the next update. The one before stays alive until
  // the widgets that go have been hidden: hiding one still reads its node.
  auto previous = std::move(tree_);
  tree_ = std::make_shared<const Node>(host_->tree());
  if (ownsBackground_) {
    // The form's scheme decides the window's fill, or its text would stand on the wrong one.
    auto window = window_.lock();
    Color fill = isDark(*tree_) ? Color::sRGB(0.11, 0.11, 0.12) : Color::gray(0.95);
    if (window->backgroundColor() != fill) window->setBackgroundColor(fill);
  }
  if (scroller_->geometry() != native_->rect()) scroller_->setGeometry(native_->rect());
  styleScrollBar(scroller_->verticalScrollBar(), isDark(*tree_));
  double width = native_->width(), height = native_->height();
  layout_ = forms::FormLayout::layout(*tree_, {width, height});
  if (layout_.size.height > height + 0.5) {
    // Room for the scroll bar, then lay out again at the narrower width.
    width -= scroller_->verticalScrollBar()->sizeHint().width();
    layout_ = forms::FormLayout::layout(*tree_, {width, height});
  }
  QSize rootSize(static_cast<int>(width),
                 static_cast<int>(std::ceil(std::max(height, layout_.size.height))));
  if (root_->size() != rootSize) root_->resize(rootSize);
  std::map<std::string, QtFormNodeWidget*> keep;
  int createdBefore = created_;
  reconcile(*tree_, {nullptr, root_, {0, 0}, 1.0, 0, width}, keep);
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
  if (!hovered_.empty() && !widgets_.count(hovered_)) hovered_.clear();
  placeNativeViews();
  placeFocusRing();
  updating_ = false;
  syncPresentation();
}

bool QtFormRenderer::nativeHeightsChanged() const {
  if (!tree_) return false;
  bool changed = false;
  std::function<void(const Node&)> walk = [&](const Node& n) {
    if (changed) return;
    if (n.kind() == NodeKind::nativeView && n.nativeView() && !n.frame().height) {
      const Rect* frame = layout_.frameOf(n.identity());
      if (frame && std::abs(frame->height() - n.nativeView()->frame().height()) > 0.5)
        changed = true;
    }
    for (const auto& c : n.children()) walk(c);
  };
  walk(*tree_);
  return changed;
}

bool QtFormRenderer::viewHasKeyboard() const {
  auto window = window_.lock();
  return window && window->firstResponder() != nullptr;
}

bool QtFormRenderer::handleKey(int key, Qt::KeyboardModifiers modifiers) {
  if (dialog_) return true;  // the dialog's window has the keyboard
  if (!host_) return false;
  modifiers &= ~Qt::KeypadModifier;
  forms::Key pressed;
  if (key == Qt::Key_Backtab || (key == Qt::Key_Tab && modifiers == Qt::ShiftModifier)) {
    pressed = forms::Key::backtab;
  } else if (modifiers != Qt::NoModifier) {
    return false;
  } else if (key == Qt::Key_Tab) {
    pressed = forms::Key::tab;
  } else if (key == Qt::Key_Space) {
    pressed = forms::Key::space;
  } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    pressed = forms::Key::returnKey;
  } else if (key == Qt::Key_Escape) {
    pressed = forms::Key::escape;
  } else {
    return false;
  }
  // A field being edited keeps its keys; Esc still reaches the form.
  if (viewHasKeyboard() && pressed != forms::Key::escape) return false;
  std::string before = host_->focused();
  if ((pressed == forms::Key::space || pressed == forms::Key::returnKey) && !before.empty()) {
    const Node* node = host_->findByIdentity(before);
    if (node && node->kind() == NodeKind::picker) {
      if (auto found = widgets_.find(before); found != widgets_.end()) found->second->openMenu();
      return true;
    }
  }
  bool used = host_->pressKey(pressed);
  placeFocusRing();
  for (const auto& identity : {before, host_->focused()}) {
    if (auto found = widgets_.find(identity); found != widgets_.end()) {
      found->second->update();
      if (identity == host_->focused()) scrollIntoView(found->second);
    }
  }
  // A hosted view's control: the ring stands where it is.
  if (host_->focusedHostedControl() && ring_ && ring_->isVisible()) scrollIntoView(ring_);
  return used;
}

// Every scroll area around the widget, the innermost first: a form inside its own scroll view
// scrolls there, not in the window's.
void QtFormRenderer::scrollIntoView(QWidget* widget) {
  for (QWidget* above = widget->parentWidget(); above; above = above->parentWidget()) {
    if (auto* area = qobject_cast<QScrollArea*>(above); area && area->widget())
      area->ensureWidgetVisible(widget);
  }
}

void QtFormRenderer::pointerMoved(std::optional<QPoint> global) {
  if (!host_) return;
  std::string inside;
  if (global) {
    for (const auto& [identity, widget] : widgets_) {
      const Node* node = widget->node();
      if (!node || !node->onHover() || !widget->isVisible()) continue;
      if (!widget->rect().contains(widget->mapFromGlobal(*global))) continue;
      // The innermost node under the pointer hears it.
      if (identity.size() > inside.size()) inside = identity;
    }
  }
  if (inside == hovered_) return;
  std::string previous = std::exchange(hovered_, inside);
  if (!inside.empty()) {
    host_->hover(inside, forms::FormHost::Hover::enter);
  } else if (!previous.empty()) {
    host_->hover(previous, forms::FormHost::Hover::leave);
  }
}

void QtFormRenderer::syncPresentation() {
  const forms::Presentation* shown = host_->presented();
  if (dialog_ && (!shown || shown->identity != dialog_->identity)) {
    endDialog(ModalResponse::abort);
    shown = host_->presented();
  }
  if (!shown || dialog_) return;
  const Node* owner = nullptr;
  std::function<void(const Node&)> findOwner = [&](const Node& n) {
    if (owner) return;
    for (const auto& p : n.presentations()) {
      if (&p == shown) owner = &n;
    }
    for (const auto* group : {&n.backgrounds(), &n.children(), &n.overlays()}) {
      for (const auto& c : *group) findOwner(c);
    }
  };
  findOwner(host_->tree());
  if (owner) openDialog(*shown, *owner);
}

void QtFormRenderer::openDialog(const forms::Presentation& presentation, const Node& owner) {
  auto window = window_.lock();
  if (!window || !hasEnvironment() || !env().desktop) return;
  auto dialog = std::make_shared<Dialog>();
  dialog->identity = presentation.identity;

  // The platform's order: cancel at the leading end, the default answer at the trailing end.
  struct Answer {
    std::string title;
    forms::ButtonRole role;
    bool isDefault = false;
    bool isCancel = false;
  };
  const Node* defaultButton = presentation.defaultButton();
  const Node* cancelButton = presentation.cancelButton();
  std::vector<Answer> answers;
  if (cancelButton) {
    answers.push_back(
        {.title = cancelButton->title(), .role = cancelButton->role(), .isCancel = true});
  }
  for (const auto& b : presentation.buttons) {
    if (&b == defaultButton || &b == cancelButton) continue;
    answers.push_back({.title = b.title(), .role = b.role()});
  }
  if (defaultButton) {
    answers.push_back(
        {.title = defaultButton->title(), .role = defaultButton->role(), .isDefault = true});
  }
  for (const auto& a : answers) dialog->titles.push_back(a.title);

  bool dark = isDark(owner);
  Color accent = owner.accentColor().value_or(Color::systemBlue());
  std::string title = presentation.title;
  std::optional<std::string> message = presentation.message;
  std::weak_ptr<Dialog> weakDialog = dialog;
  dialog->host = forms::FormHost::make([=](forms::FormHost&) {
    std::vector<Node> buttons{forms::Spacer()};
    for (std::size_t i = 0; i < answers.size(); ++i) {
      const Answer& a = answers[i];
      long code = ModalResponse::firstButton + static_cast<long>(i);
      Node button = forms::Button(a.title,
                                  [weakDialog, code] {
                                    auto d = weakDialog.lock();
                                    if (!d || !d->running) return;
                                    auto& app = env().desktop->application();
                                    if (app.modalWindow() == d->window) app.stopModal(code);
                                  })
                        .role(a.role)
                        .buttonStyle(a.isDefault ? forms::ButtonStyle::borderedProminent
                                                 : forms::ButtonStyle::bordered)
                        .frame({.minWidth = 72, .minHeight = 26});
      if (a.role == forms::ButtonRole::destructive && !a.isDefault)
        button = std::move(button).foreground(Color::systemRed());
      if (a.isDefault)
        button = std::move(button)
                     .foreground(Color::white())
                     .keyboardShortcut(forms::KeyboardShortcut::defaultAction);
      if (a.isCancel)
        button = std::move(button).keyboardShortcut(forms::KeyboardShortcut::cancelAction);
      buttons.push_back(std::move(button));
    }
    std::vector<Node> rows;
    rows.push_back(forms::Text(title)
                       .font(Font::systemFont(13, FontWeight::bold))
                       .multilineTextAlignment(forms::TextAlignment::center));
    if (message) {
      rows.push_back(forms::Text(*message)
                         .font(Font::systemFont(12))
                         .multilineTextAlignment(forms::TextAlignment::center)
                         .secondary());
    }
    rows.push_back(
        forms::HStack(std::move(buttons)).spacing(8).frame({.maxWidth = forms::infinity}));
    return forms::VStack(std::move(rows))
        .key("dialog")
        .spacing(12)
        .padding(20)
        .frame({.maxWidth = forms::infinity, .maxHeight = forms::infinity})
        .colorScheme(dark ? forms::ColorScheme::dark : forms::ColorScheme::light)
        .accentColor(accent);
  });

  constexpr double width = 340;
  double height = std::ceil(
      forms::FormLayout::sizeThatFits(dialog->host->tree(), {width, std::nullopt}).height);
  Rect parent = window->frame();
  Rect frame(std::round(parent.x() + (parent.width() - width) / 2),
             std::round(parent.maxY() - std::min(parent.height(), 120.0) - height), width, height);
  // A modal panel, as an alert's: above its window and every normal one.
  auto panel = std::make_shared<Panel>(frame, StyleMask::titled);
  panel->setLevel(WindowLevel::modalPanel);
  dialog->window = panel;
  dialog->window->setTitle(title);
  dialog->window->setBackgroundColor(dark ? Color::sRGB(0.17, 0.17, 0.18)
                                          : Color::sRGB(0.95, 0.95, 0.95));
  dialog->presentation = env().desktop->presentForm(*dialog->window, dialog->host);
  std::optional<long> cancelCode;
  for (std::size_t i = 0; i < answers.size(); ++i) {
    if (answers[i].isCancel) cancelCode = ModalResponse::firstButton + static_cast<long>(i);
  }
  dialog->closeButton = std::make_shared<DialogCloseButton>([weakDialog, cancelCode] {
    auto d = weakDialog.lock();
    if (!d || !d->running || !cancelCode) return;
    auto& app = env().desktop->application();
    if (app.modalWindow() == d->window) app.stopModal(*cancelCode);
  });
  dialog->window->setDelegate(dialog->closeButton);
  dialog_ = dialog;
  // Lose the hover: the pointer is over the dialog now, as far as the form knows.
  pointerMoved(std::nullopt);

  std::weak_ptr<int> alive = alive_;
  env().mainLoop->post([this, alive, dialog] {
    if (!alive.lock() || dialog->ended) {
      dialog->window->close();
      return;
    }
    dialog->running = true;
    // As for an alert: its look settled before it shows, the application in front so that its
    // keys reach it.
    if (auto* native = nativeHostOf(*dialog->window)) native->syncLook();
    env().desktop->application().activate();
    long code = env().desktop->application().runModal(*dialog->window);
    dialog->running = false;
    dialog->presentation.reset();
    dialog->window->close();
    if (!alive.lock()) return;
    if (dialog_ == dialog) dialog_.reset();
    long index = code - ModalResponse::firstButton;
    if (index >= 0 && index < static_cast<long>(dialog->titles.size())) {
      const forms::Presentation* shown = host_->presented();
      // Answered once: the host forgets a presentation it has seen answered.
      if (shown && shown->identity == dialog->identity)
        host_->answer(dialog->titles[static_cast<std::size_t>(index)]);
    }
    // Another presentation may be waiting.
    syncPresentation();
  });
}

void QtFormRenderer::endDialog(long code) {
  auto dialog = std::exchange(dialog_, nullptr);
  if (!dialog) return;
  dialog->ended = true;
  if (dialog->running && hasEnvironment() && env().desktop) {
    auto& app = env().desktop->application();
    if (app.modalWindow() == dialog->window) app.stopModal(code);
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
    widget->installEventFilter(watcher_);
    if (widget->content()) {
      widget->scrollArea()->viewport()->installEventFilter(watcher_);
      QObject::connect(widget->scrollArea()->verticalScrollBar(), &QScrollBar::valueChanged, widget,
                       [this] { placeNativeViews(); });
    }
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
  if (host_->isEffectivelyHidden(node)) {
    if (!widget->isHidden()) widget->hide();
  } else if (widget->isHidden()) {
    widget->show();
  }

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
  } else if (node.kind() == NodeKind::labeledContent) {
    // The value keeps to the room beside its label: it is cut there, never spread over it.
    for (const auto& child : node.children()) {
      const Rect* room = layout_.frameOf(child.identity());
      if (!room) continue;
      reconcile(child, {&node, container, origin, opacity, room->x(), room->maxX()}, keep);
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

void QtFormRenderer::placeFocusRing() {
  QtFormNodeWidget* focused = nullptr;
  std::optional<QRect> control;
  if (host_ && !host_->focused().empty()) {
    auto found = widgets_.find(host_->focused());
    if (auto hosted = host_->hostedFocus(); hosted.control) {
      // The widget of the view that hosts the control, and where the control is inside it.
      found = widgets_.find(hosted.view->identity());
      if (found != widgets_.end()) {
        const View& view = *hosted.view->nativeView();
        Rect outer = view.convertToWindow(view.bounds());
        Rect inner = hosted.control->convertToWindow(hosted.control->bounds());
        QRect at = found->second->geometry();
        control = QRect(at.x() + static_cast<int>(std::lround(inner.x() - outer.x())),
                        at.y() + static_cast<int>(std::lround(outer.maxY() - inner.maxY())),
                        static_cast<int>(std::lround(inner.width())),
                        static_cast<int>(std::lround(inner.height())));
      }
    }
    if (found != widgets_.end() && found->second->isVisible() && found->second->node())
      focused = found->second;
  }
  if (!focused) {
    if (ring_) ring_->hide();
    return;
  }
  if (!ring_) ring_ = new QtFocusRing(focused->parentWidget());
  auto* ring = static_cast<QtFocusRing*>(ring_.data());
  if (ring->parentWidget() != focused->parentWidget()) ring->setParent(focused->parentWidget());
  ring->setColour(accentColour(*focused->node()));
  // Around the control with a hair of its backdrop between: visible on a control filled with
  // the accent colour too.
  int out = static_cast<int>(std::ceil(forms::FormMetrics::focusRingWidth)) + 1;
  QRect around = control.value_or(focused->geometry()).adjusted(-out, -out, out, out);
  if (ring->geometry() != around) ring->setGeometry(around);
  ring->raise();
  ring->show();
}

void QtFormRenderer::placeNativeViews() {
  auto window = window_.lock();
  if (!window || !window->contentView() || !native_) return;
  auto& content = *window->contentView();
  for (const auto& [identity, widget] : widgets_) {
    const Node* node = widget->node();
    if (!node || node->kind() != NodeKind::nativeView || !node->nativeView()) continue;
    const auto& view = node->nativeView();
    if (view->superview() != &content) content.addSubview(view);
    // Where the widget is in the window now, scrolled or not. The content view's y grows
    // upwards (unless flipped); the widgets' grows downwards.
    QPoint at = widget->mapTo(native_.data(), QPoint(0, 0));
    double width = widget->width(), height = widget->height();
    if (const Rect* frame = layout_.frameOf(identity)) {
      width = frame->width();
      height = frame->height();
    }
    double top = at.y();
    Rect target(at.x(), content.isFlipped() ? top : content.frame().height() - top - height, width,
                height);
    if (view->frame() != target) view->setFrame(target);
  }
}

bool QtFormRenderer::overHostedView(QPoint inNative) const {
  if (!scroller_ || !scroller_->viewport()->geometry().contains(inNative)) return false;
  for (const auto& [identity, widget] : widgets_) {
    const Node* node = widget->node();
    if (!node || node->kind() != NodeKind::nativeView || !node->nativeView()) continue;
    if (!widget->isVisible()) continue;
    QRect area(widget->mapTo(native_.data(), QPoint(0, 0)), widget->size());
    if (area.contains(inNative)) return true;
  }
  return false;
}

bool QtFormRenderer::routeToHostedView(QObject* target, QEvent* event) {
  // The native window handles what reaches it itself.
  if (!native_ || target == native_.data() || dialog_) return false;
  auto* mouse = static_cast<QMouseEvent*>(event);
  auto* widget = qobject_cast<QWidget*>(target);
  if (!widget || !native_->isAncestorOf(widget)) return false;
  // Mapped through the widgets, not the screen: the window manager may have moved the window
  // since Qt last heard where it is.
  QPoint inNative = widget->mapTo(native_.data(), mouse->position().toPoint());
  bool press =
      event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
  if (press) {
    pressInHostedView_ = overHostedView(inNative);
    if (!pressInHostedView_) return false;
  } else if (!pressInHostedView_ &&
             !(event->type() == QEvent::MouseMove && overHostedView(inNative))) {
    return false;
  }
  if (event->type() == QEvent::MouseButtonRelease) pressInHostedView_ = false;
  QMouseEvent copy(event->type(), QPointF(inNative), mouse->globalPosition(), mouse->button(),
                   mouse->buttons(), mouse->modifiers(), mouse->pointingDevice());
  QCoreApplication::sendEvent(native_.data(), &copy);
  return true;
}

}  // namespace platform::linuxbackend
