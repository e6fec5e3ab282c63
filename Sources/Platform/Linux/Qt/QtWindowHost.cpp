#include "Platform/Linux/Qt/QtWindowHost.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <cmath>
#include <optional>

#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/ColorPanel.h"
#include "Platform/Desktop/Event.h"
#include "Platform/Desktop/Panel.h"
#include "Platform/Desktop/TextField.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Linux/Qt/QtDesktop.h"
#include "Platform/Linux/Qt/QtViewPainter.h"
#include "Platform/Sim/SimKeyboardLayout.h"

namespace platform::linuxbackend {

namespace {

Qt::WindowFlags flagsFor(const Window& window) {
  std::uint64_t style = window.styleMask();
  if (!(style & StyleMask::titled)) {
    // Placed and stacked by us, never decorated or moved by the window manager.
    return Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint |
           Qt::NoDropShadowWindowHint;
  }
  Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (style & StyleMask::closable) flags |= Qt::WindowCloseButtonHint;
  if (style & StyleMask::miniaturizable) flags |= Qt::WindowMinimizeButtonHint;
  if (style & StyleMask::resizable) flags |= Qt::WindowMaximizeButtonHint;
  return flags;
}

std::uint64_t modifierFlags(Qt::KeyboardModifiers modifiers) {
  std::uint64_t flags = 0;
  if (modifiers & Qt::ShiftModifier) flags |= ModifierFlag::shift;
  if (modifiers & Qt::ControlModifier) flags |= ModifierFlag::control;
  if (modifiers & Qt::AltModifier) flags |= ModifierFlag::option;
  if (modifiers & Qt::MetaModifier) flags |= ModifierFlag::command;
  if (modifiers & Qt::KeypadModifier) flags |= ModifierFlag::numericPad;
  return flags;
}

// The platform's virtual key code and characters for a Qt key.
std::pair<std::uint16_t, std::string> keyFor(const QKeyEvent& event) {
  switch (event.key()) {
    case Qt::Key_Return:
      return {KeyCode::returnKey, "\r"};
    case Qt::Key_Enter:
      return {KeyCode::keypadEnter, "\x03"};
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return {KeyCode::tab, "\t"};
    case Qt::Key_Backspace:
      return {KeyCode::deleteKey, "\x7f"};
    case Qt::Key_Escape:
      return {KeyCode::escape, "\x1b"};
    case Qt::Key_Delete:
      return {117, "\xef\x9c\xa8"};
    case Qt::Key_Left:
      return {123, "\xef\x9c\x82"};
    case Qt::Key_Right:
      return {124, "\xef\x9c\x83"};
    case Qt::Key_Down:
      return {125, "\xef\x9c\x81"};
    case Qt::Key_Up:
      return {126, "\xef\x9c\x80"};
    default:
      break;
  }
  QByteArray utf8 = event.text().toUtf8();
  std::string text(utf8.constData(), static_cast<std::size_t>(utf8.size()));
  // The key itself, as the US layout would name it; typed text may be any character.
  char base = 0;
  if (event.key() >= Qt::Key_Space && event.key() <= Qt::Key_AsciiTilde)
    base = static_cast<char>(QChar(event.key()).toLower().toLatin1());
  auto stroke = base ? sim::SimKeyboardLayout::keyStrokeFor(base) : std::nullopt;
  return {stroke ? stroke->keyCode : sim::SimKeyboardLayout::unmappedKeyCode, text};
}

// The colour panel's wheel: hue around, saturation outwards, full brightness; above the
// accessory view, in widget coordinates.
std::optional<QRectF> wheelRect(Window* window, double height) {
  auto* panel = dynamic_cast<ColorPanel*>(window);
  if (!panel) return std::nullopt;
  double width = panel->contentRect().width();
  double bottom = panel->accessoryView() ? panel->accessoryView()->frame().maxY() : 0;
  double side = std::min(width - 24, height - bottom - 24);
  if (side < 40) return std::nullopt;
  return QRectF((width - side) / 2, 12, side, side);
}

// A key that only changes the modifiers: the platform reports it as flags changed, never as a
// key press (a recorder waiting for a combination must not take the control key alone).
bool isModifierKey(const QKeyEvent& event) {
  switch (event.key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
      return true;
    default:
      return false;
  }
}

TextField* editingField(Window* window) {
  if (!window) return nullptr;
  auto* field = dynamic_cast<TextField*>(window->firstResponder().get());
  return field && field->isEditing() ? field : nullptr;
}

}  // namespace

QtWindowHost::QtWindowHost(QtDesktop& desktop, Window& window)
    : QWidget(nullptr, flagsFor(window)),
      desktop_(desktop),
      window_(&window),
      bypass_(!(window.styleMask() & StyleMask::titled)) {
  setAttribute(Qt::WA_InputMethodEnabled);
  setAttribute(Qt::WA_OpaquePaintEvent, window.isOpaque());
  setAttribute(Qt::WA_QuitOnClose, false);
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  if (!window.title().empty()) setWindowTitle(QString::fromStdString(window.title()));
  syncLook();
  syncGeometry();
  // The window number is the X window id: create the native window now.
  winId();
}

QtWindowHost::~QtWindowHost() = default;

bool QtWindowHost::syncGeometry() {
  if (!window_) return false;
  Rect root = desktop_.toRoot(window_->contentRect());
  QRect wanted(static_cast<int>(std::lround(root.x())), static_cast<int>(std::lround(root.y())),
               std::max(1, static_cast<int>(std::lround(root.width()))),
               std::max(1, static_cast<int>(std::lround(root.height()))));
  if (geometry() == wanted) return false;
  applying_ = true;
  syncSizeLimits(wanted.size());
  setGeometry(wanted);
  applying_ = false;
  return true;
}

void QtWindowHost::syncSizeLimits() {
  if (!window_) return;
  applying_ = true;
  syncSizeLimits(size());
  applying_ = false;
}

void QtWindowHost::syncSizeLimits(QSize current) {
  std::uint64_t style = window_->styleMask();
  if (!(style & StyleMask::titled)) return;
  // A window that cannot be resized has one size: the window manager then offers neither
  // resizing nor maximising.
  if (!(style & StyleMask::resizable)) {
    setFixedSize(current);
    return;
  }
  // The program may place the window smaller than its minimum; the user may not make it so.
  Size least = window_->contentMinSize();
  QSize minimum(std::min(current.width(), static_cast<int>(std::lround(least.width))),
                std::min(current.height(), static_cast<int>(std::lround(least.height))));
  if (minimumSize() != minimum) setMinimumSize(minimum.expandedTo(QSize(0, 0)));
}

void QtWindowHost::syncLook() {
  if (!window_) return;
  bool seeThrough = !window_->isOpaque() && window_->backgroundColor().alphaComponent() < 1;
  setAttribute(Qt::WA_OpaquePaintEvent, !seeThrough);
  if (desktop_.hasCompositor()) {
    setAttribute(Qt::WA_TranslucentBackground, seeThrough);
    clearMask();
  } else if (seeThrough && window_->backgroundColor().alphaComponent() == 0) {
    // Without a compositor a clear background draws black: cut the window to its content's
    // rounded shape instead.
    const auto& content = window_->contentView();
    const Layer* layer = content ? content->layer() : nullptr;
    if (layer && layer->cornerRadius() > 0) {
      QPainterPath path;
      QRectF r(0, 0, window_->contentRect().width(), window_->contentRect().height());
      double radius = std::min({layer->cornerRadius(), r.width() / 2, r.height() / 2});
      path.addRoundedRect(r, radius, radius);
      QRegion shape(path.toFillPolygon().toPolygon());
      // Each new shape is a request to the X server: only when it changed.
      if (shape != mask()) setMask(shape);
    } else if (!mask().isEmpty()) {
      clearMask();
    }
  }
  QString title = QString::fromStdString(window_->title());
  if (windowTitle() != title) setWindowTitle(title);
  update();
}

void QtWindowHost::captureBackdrop() {
  backdrop_ = QImage();
  if (!window_ || desktop_.hasCompositor()) return;
  double alpha = window_->backgroundColor().alphaComponent();
  if (window_->isOpaque() || alpha <= 0 || alpha >= 1) return;
  QScreen* screen = QGuiApplication::screenAt(geometry().center());
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect g = geometry();
  QRect s = screen->geometry();
  backdrop_ = screen->grabWindow(0, g.x() - s.x(), g.y() - s.y(), g.width(), g.height()).toImage();
}

void QtWindowHost::setWantsKeyboardGrab(bool wants) {
  wantsGrab_ = wants;
  if (!wants && grabbed_) {
    releaseKeyboard();
    grabbed_ = false;
  }
  if (wants && !grabbed_ && isVisible()) update();
}

void QtWindowHost::paintEvent(QPaintEvent*) {
  if (!window_) return;
  // Painting means the window is viewable: the moment a grab can succeed.
  if (wantsGrab_ && !grabbed_) {
    grabKeyboard();
    grabbed_ = true;
  }
  QPainter painter(this);
  bool blend = !backdrop_.isNull();
  if (blend) painter.drawImage(QPointF(0, 0), backdrop_);
  bool caret = window_->isKeyWindow();
  auto selected = selectedAll_.lock();
  if (selected && !selected->isEditing()) selectedAll_.reset();
  paintWindow(painter, *window_, QSizeF(width(), height()), caret, blend,
              selected && selected->isEditing() ? selected.get() : nullptr);
  if (auto wheel = wheelRect(window_, height())) {
    painter.setRenderHint(QPainter::Antialiasing);
    QConicalGradient hues(wheel->center(), 0);
    for (int i = 0; i <= 6; ++i) hues.setColorAt(i / 6.0, QColor::fromHsvF(i / 6.0f, 1, 1));
    painter.setPen(Qt::NoPen);
    painter.setBrush(hues);
    painter.drawEllipse(*wheel);
    QRadialGradient white(wheel->center(), wheel->width() / 2);
    white.setColorAt(0, Qt::white);
    white.setColorAt(1, QColor(255, 255, 255, 0));
    painter.setBrush(white);
    painter.drawEllipse(*wheel);
    // Where the current colour sits on the wheel.
    QColor current = toQColor(static_cast<ColorPanel*>(window_)->color());
    float h = 0, sat = 0, v = 0;
    current.getHsvF(&h, &sat, &v);
    double angle = (h < 0 ? 0 : h) * 2 * M_PI;
    QPointF at =
        wheel->center() + QPointF(std::cos(angle), -std::sin(angle)) * sat * wheel->width() / 2;
    painter.setBrush(current);
    painter.setPen(QPen(Qt::black, 1.5));
    painter.drawEllipse(at, 5, 5);
  }
}

bool QtWindowHost::pickFromWheel(QPointF point) {
  auto wheel = wheelRect(window_, height());
  if (!wheel) return false;
  QPointF d = point - wheel->center();
  double radius = wheel->width() / 2;
  double distance = std::hypot(d.x(), d.y());
  if (distance > radius + 2) return false;
  double hue = std::atan2(-d.y(), d.x()) / (2 * M_PI);
  if (hue < 0) hue += 1;
  QColor picked = QColor::fromHsvF(static_cast<float>(hue),
                                   static_cast<float>(std::min(1.0, distance / radius)), 1);
  auto* panel = static_cast<ColorPanel*>(window_);
  auto keep = panel->weak_from_this().lock();
  panel->setColor(Color::sRGB(picked.redF(), picked.greenF(), picked.blueF(), 1));
  update();
  return true;
}

void QtWindowHost::sendMouse(QMouseEvent* event, Press press, int clicks) {
  if (!window_ || window_->ignoresMouseEvents()) return;
  bool right = event->button() == Qt::RightButton;
  if (event->button() != Qt::LeftButton && !right) return;
  EventType type = press == Press::down
                       ? (right ? EventType::rightMouseDown : EventType::leftMouseDown)
                       : (right ? EventType::rightMouseUp : EventType::leftMouseUp);
  QPointF p = event->position();
  Point local{p.x(), height() - p.y()};
  Event e = Event::mouse(type, local, window_->windowNumber(), clicks);
  e.modifierFlags = modifierFlags(event->modifiers());
  desktop_.application().sendEvent(e);
  update();
}

void QtWindowHost::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && pickFromWheel(event->position())) {
    pickingColor_ = true;
    return;
  }
  sendMouse(event, Press::down, 1);
}
void QtWindowHost::mouseReleaseEvent(QMouseEvent* event) {
  if (pickingColor_) {
    pickingColor_ = false;
    return;
  }
  sendMouse(event, Press::up, 1);
}
void QtWindowHost::mouseDoubleClickEvent(QMouseEvent* event) {
  sendMouse(event, Press::down, 2);
}

void QtWindowHost::mouseMoveEvent(QMouseEvent* event) {
  if (!window_) return;
  if (pickingColor_) {
    pickFromWheel(event->position());
    return;
  }
  QPointF p = event->position();
  Qt::CursorShape shape = Qt::ArrowCursor;
  switch (window_->cursorAt({p.x(), height() - p.y()})) {
    case Cursor::arrow:
      shape = Qt::ArrowCursor;
      break;
    case Cursor::crosshair:
      shape = Qt::CrossCursor;
      break;
    case Cursor::pointingHand:
      shape = Qt::PointingHandCursor;
      break;
    case Cursor::iBeam:
      shape = Qt::IBeamCursor;
      break;
  }
  if (cursor().shape() != shape) setCursor(shape);
}

namespace {

// Empties a field the way the user would, so that its delegate hears of every change.
void clearField(TextField& field) {
  while (!field.stringValue().empty()) {
    std::size_t before = field.stringValue().size();
    field.doCommand(TextCommand::deleteBackward);
    if (field.stringValue().size() == before) break;
  }
}

}  // namespace

bool QtWindowHost::handleEditingShortcut(QKeyEvent* event) {
  TextField* field = editingField(window_);
  if (!field) {
    selectedAll_.reset();
    return false;
  }
  // A modifier pressed on its own (the shift of "#") neither types nor ends a selection.
  if (isModifierKey(*event)) return false;
  auto keep = field->shared_from_this();
  if (event->matches(QKeySequence::SelectAll)) {
    selectedAll_ = std::static_pointer_cast<TextField>(keep);
    return true;
  }
  bool allSelected = selectedAll_.lock().get() == field;
  selectedAll_.reset();
  if (allSelected) {
    // Typing, deleting, cutting or pasting over the selection replaces all of it.
    bool typing = !event->text().isEmpty() && event->text()[0].isPrint() &&
                  !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier));
    bool deleting = event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete;
    if (event->matches(QKeySequence::Cut))
      QGuiApplication::clipboard()->setText(QString::fromStdString(field->stringValue()));
    if (typing || deleting || event->matches(QKeySequence::Cut) ||
        event->matches(QKeySequence::Paste))
      clearField(*field);
    if (deleting || event->matches(QKeySequence::Cut)) return true;
  }
  if (event->matches(QKeySequence::Paste)) {
    QString text = QGuiApplication::clipboard()->text();
    // One line: line breaks of pasted text become spaces.
    text.replace(QLatin1Char('\n'), QLatin1Char(' ')).remove(QLatin1Char('\r'));
    QByteArray utf8 = text.toUtf8();
    field->insertText(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    return true;
  }
  if (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::Cut)) {
    // The field has no partial selection: copy and cut take the whole text.
    QGuiApplication::clipboard()->setText(QString::fromStdString(field->stringValue()));
    if (event->matches(QKeySequence::Cut)) clearField(*field);
    return true;
  }
  return false;
}

void QtWindowHost::sendKey(QKeyEvent* event, Press press) {
  const bool down = press == Press::down;
  if (!window_) return;
  if (down && handleEditingShortcut(event)) {
    update();
    return;
  }
  auto [code, text] = keyFor(*event);
  EventType type = isModifierKey(*event) ? EventType::flagsChanged
                   : down                ? EventType::keyDown
                                         : EventType::keyUp;
  Event e = Event::key(type, code, modifierFlags(event->modifiers()), text);
  e.windowNumber = window_->windowNumber();
  QByteArray plain = QKeySequence(event->key()).toString().toLower().toUtf8();
  e.charactersIgnoringModifiers =
      text.size() == 1 && static_cast<unsigned char>(text[0]) < 0x20
          ? text
          : (plain.size() == 1 ? std::string(plain.constData(), 1) : text);
  desktop_.application().sendEvent(e);
  update();
}

void QtWindowHost::keyPressEvent(QKeyEvent* event) {
  sendKey(event, Press::down);
}
void QtWindowHost::keyReleaseEvent(QKeyEvent* event) {
  if (!event->isAutoRepeat()) sendKey(event, Press::up);
}

void QtWindowHost::inputMethodEvent(QInputMethodEvent* event) {
  // Text composed by an input method arrives here rather than as keys.
  TextField* field = editingField(window_);
  if (field && !event->commitString().isEmpty()) {
    auto keep = field->shared_from_this();
    QByteArray utf8 = event->commitString().toUtf8();
    field->insertText(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    update();
  }
  event->accept();
}

QVariant QtWindowHost::inputMethodQuery(Qt::InputMethodQuery query) const {
  if (query == Qt::ImEnabled) return editingField(window_) != nullptr;
  if (query == Qt::ImSurroundingText) {
    if (TextField* field = editingField(window_))
      return QString::fromStdString(field->stringValue());
  }
  return QWidget::inputMethodQuery(query);
}

void QtWindowHost::moveEvent(QMoveEvent*) {
  if (!applying_ && window_) desktop_.hostMoved(*this);
}

void QtWindowHost::resizeEvent(QResizeEvent*) {
  if (!applying_ && window_) desktop_.hostMoved(*this);
}

void QtWindowHost::closeEvent(QCloseEvent* event) {
  // The window manager's close button asks the window; the model orders it out if it closes.
  event->ignore();
  if (!window_) return;
  // While a modal session runs (an alert or a form's dialog), the other windows take no input,
  // their close buttons included: the window manager still offers them, so refuse here rather
  // than close a window from under its dialog.
  auto modal = desktop_.application().modalWindow();
  if (modal && modal.get() != window_) return;
  auto keep = window_->weak_from_this().lock();
  if (keep) keep->performClose();
}

}  // namespace platform::linuxbackend
