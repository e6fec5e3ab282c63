#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Desktop/Color.h"
#include "Platform/Desktop/Font.h"
#include "Platform/Desktop/Geometry.h"
#include "Platform/Forms/Binding.h"
#include "Platform/Foundation/URL.h"

namespace platform {
class Image;
class View;
}  // namespace platform

namespace platform::forms {

// What a node of a form is. The kinds are the whole vocabulary of the product's forms: a new
// screen combines them and never needs a new mechanism.
enum class NodeKind {
  form,     // a grouped form: its children are sections
  section,  // header text, rows, optional footer text
  vstack,
  hstack,
  zstack,  // children drawn on top of each other, the first at the back
  scroll,  // vertical scroll view around one child
  spacer,  // flexible space along the enclosing stack's axis
  text,
  image,           // a bitmap or drawn image
  symbol,          // a named system symbol, sized by its font
  button,          // label children, an action, a role and a style
  toggle,          // a labelled switch bound to a value
  picker,          // a labelled choice among options
  link,            // a text that opens a URL through the workspace
  labeledContent,  // a label with content at the trailing edge
  progress,        // a spinner, or a bar with a value
  shape,           // a filled and/or stroked rectangle, rounded rectangle, capsule or circle
  canvas,          // immediate-mode drawing (vector marks)
  nativeView,      // a view of the desktop layer, hosted in the form
  divider,
};

enum class HorizontalAlignment { leading, center, trailing };
enum class VerticalAlignment { top, center, bottom };
enum class TextAlignment { leading, center, trailing };
enum class Truncation { head, middle, tail };
enum class ButtonRole { none, cancel, destructive };
enum class ButtonStyle { automatic, plain, bordered, borderedProminent, link };
enum class ShapeKind { rectangle, roundedRectangle, capsule, circle };
enum class ColorScheme { light, dark };
// Return answers a `defaultAction` button, Esc a `cancelAction` one, from anywhere in the window.
enum class KeyboardShortcut { none, defaultAction, cancelAction };
// `large` is the taller button of a window's main action.
enum class ControlSize { regular, small, large };
// What assistive technology announces a node as; `automatic` follows its kind.
enum class AccessibilityRole {
  automatic,
  button,
  link,
  toggle,
  picker,
  staticText,
  image,
  header,
  group,
  progress,
};

inline constexpr double infinity = std::numeric_limits<double>::infinity();

struct EdgeInsets {
  double top = 0, leading = 0, bottom = 0, trailing = 0;
  static EdgeInsets all(double v) { return {v, v, v, v}; }
  bool operator==(const EdgeInsets&) const = default;
};

// Size constraints of a frame; `infinity` as a maximum takes all that is offered.
struct Frame {
  std::optional<double> width, height;
  std::optional<double> minWidth, maxWidth, minHeight, maxHeight;
  HorizontalAlignment alignment = HorizontalAlignment::center;
  // At least as high as the scroll view around it shows (a page that fills its window and
  // scrolls once it is taller).
  bool minHeightFillsViewport = false;
  bool operator==(const Frame&) const = default;
};

struct ShapeStyle {
  ShapeKind kind = ShapeKind::rectangle;
  double cornerRadius = 0;
  std::optional<Color> fill;
  std::optional<Color> stroke;
  double lineWidth = 1;
  // The stroke lies inside the edge (inset by half the line width) rather than centred on it.
  bool strokeInside = true;
};

// A path of an immediate-mode canvas, in the canvas's own coordinates (y grows downwards).
struct PathElement {
  enum class Kind { move, line, curve, close };
  Kind kind;
  Point point;
  Point control1, control2;
  bool operator==(const PathElement&) const = default;
};

class CanvasPath {
 public:
  void moveTo(Point p) { elements_.push_back({PathElement::Kind::move, p, {}, {}}); }
  void lineTo(Point p) { elements_.push_back({PathElement::Kind::line, p, {}, {}}); }
  void curveTo(Point p, Point control1, Point control2) {
    elements_.push_back({PathElement::Kind::curve, p, control1, control2});
  }
  void close() { elements_.push_back({PathElement::Kind::close, {}, {}, {}}); }
  // An arc of the circle around `center`, clockwise on screen from `startDegrees` to
  // `endDegrees` (0 points right, 90 down), as cubic curves; it starts with a move.
  void addArc(Point center, double radius, double startDegrees, double endDegrees);
  // A whole ellipse inside `rect`, as a closed subpath.
  void addEllipse(Rect rect);
  const std::vector<PathElement>& elements() const { return elements_; }
  bool operator==(const CanvasPath&) const = default;

 private:
  std::vector<PathElement> elements_;
};

enum class FillRule { nonZero, evenOdd };

struct CanvasFill {
  CanvasPath path;
  Color color;
  FillRule rule = FillRule::nonZero;
  bool antialiased = true;
  // Above zero the path is stroked with round caps and joins at that width instead of filled.
  double lineWidth = 0;
};

// What a canvas node's drawing code paints into: it records the fills, so that the renderer
// can replay them and tests can read them.
class Canvas {
 public:
  explicit Canvas(Size size, Color foreground = Color::sRGB(0, 0, 0))
      : size_(size), foreground_(foreground) {}
  Size size() const { return size_; }
  // The node's foreground colour, its own or inherited: a mark drawn "in the text's colour".
  Color foreground() const { return foreground_; }
  void fill(CanvasPath path, Color color, FillRule rule = FillRule::nonZero) {
    fills_.push_back({.path = std::move(path), .color = color, .rule = rule});
  }
  void stroke(CanvasPath path, Color color, double lineWidth) {
    fills_.push_back({.path = std::move(path), .color = color, .lineWidth = lineWidth});
  }
  // Fills and strokes in the order they were made.
  const std::vector<CanvasFill>& fills() const { return fills_; }

 private:
  Size size_;
  Color foreground_;
  std::vector<CanvasFill> fills_;
};

// A stretch of a text: plain, or a link that opens `url` through the workspace.
struct TextRun {
  std::string text;
  std::optional<URL> url;
  bool operator==(const TextRun&) const = default;
};

// Splits "[label](address)" links out of `text`. Only absolute http, https and mailto
// addresses make links; anything else stays literal text, brackets and all.
std::vector<TextRun> parseInlineLinks(std::string_view text);

class Node;

// An alert or a confirmation dialog attached to a node (with `.alert` or `.confirmationDialog`),
// shown while its binding holds. Its buttons are button nodes with roles; any of them
// dismisses it, then runs its action, once per showing.
struct Presentation {
  enum class Kind { alert, confirmationDialog };
  Kind kind = Kind::alert;
  std::string title;
  std::optional<std::string> message;
  std::vector<Node> buttons;
  // Read from the binding when the tree was built.
  bool isPresented = false;
  std::function<void(bool)> setPresented;
  // Given by the host: the node's identity and the presentation's kind and title.
  std::string identity;

  // The button Return answers: the one with the default-action shortcut, else the first one
  // with no role (a destructive button is never the default). Null when there is none.
  const Node* defaultButton() const;
  // The button Esc answers: the one with the cancel role or shortcut. Null when there is none.
  const Node* cancelButton() const;
};

// One node of a form's tree: its kind, content, look, constraints and actions. Forms build
// trees of nodes afresh on every render with the builders below; the host gives each node a
// stable identity (its path of keys), so a renderer can reconcile one render with the next.
// Font, foreground colour, colour scheme and accent colour are inherited: after a render each
// node holds what applies to it, its own or its nearest ancestor's.
class Node {
 public:
  Node() = default;
  explicit Node(NodeKind kind) : kind_(kind) {}
  // A container (form, section, stack, button label) holding `children`.
  Node(NodeKind kind, std::vector<Node> children) : kind_(kind), children_(std::move(children)) {}

  NodeKind kind() const { return kind_; }
  // The identity the host gave the node: its parent's, a "/", and its key (or position).
  const std::string& identity() const { return identity_; }
  const std::optional<std::string>& key() const { return key_; }

  // Modifiers ---------------------------------------------------------------------------------
  // Each returns the modified node by value, so `node = std::move(node).modifier(…)` is safe.
  Node key(std::string k) && {
    key_ = std::move(k);
    return std::move(*this);
  }
  Node font(Font f) && {
    font_ = f;
    return std::move(*this);
  }
  Node foreground(Color c) && {
    foreground_ = c;
    return std::move(*this);
  }
  Node tint(Color c) && {
    tint_ = c;
    return std::move(*this);
  }
  Node opacity(double o) && {
    opacity_ = o;
    return std::move(*this);
  }
  Node frame(Frame f) && {
    frame_ = f;
    return std::move(*this);
  }
  Node padding(EdgeInsets p) && {
    padding_ = p;
    return std::move(*this);
  }
  Node padding(double all) && {
    padding_ = EdgeInsets::all(all);
    return std::move(*this);
  }
  Node offset(double x, double y) && {
    offset_ = {x, y};
    return std::move(*this);
  }
  Node spacing(double s) && {
    spacing_ = s;
    return std::move(*this);
  }
  Node alignment(HorizontalAlignment a) && {
    horizontal_ = a;
    return std::move(*this);
  }
  Node alignment(VerticalAlignment a) && {
    vertical_ = a;
    return std::move(*this);
  }
  Node multilineTextAlignment(TextAlignment a) && {
    textAlignment_ = a;
    return std::move(*this);
  }
  Node lineLimit(int lines) && {
    lineLimit_ = lines;
    return std::move(*this);
  }
  Node truncation(Truncation t) && {
    truncation_ = t;
    return std::move(*this);
  }
  Node disabled(bool d) && {
    disabled_ = d;
    return std::move(*this);
  }
  Node accessibilityLabel(std::string s) && {
    accessibilityLabel_ = std::move(s);
    return std::move(*this);
  }
  Node accessibilityHint(std::string s) && {
    accessibilityHint_ = std::move(s);
    return std::move(*this);
  }
  Node accessibilityHidden(bool h = true) && {
    accessibilityHidden_ = h;
    return std::move(*this);
  }
  Node accessibilityCombined(bool c = true) && {
    accessibilityCombined_ = c;
    return std::move(*this);
  }
  Node role(ButtonRole r) && {
    role_ = r;
    return std::move(*this);
  }
  Node buttonStyle(ButtonStyle s) && {
    buttonStyle_ = s;
    return std::move(*this);
  }
  Node keyboardShortcut(KeyboardShortcut k) && {
    shortcut_ = k;
    return std::move(*this);
  }
  Node background(Node n) && {
    backgrounds_.push_back(std::move(n));
    return std::move(*this);
  }
  Node overlay(Node n) && {
    overlays_.push_back(std::move(n));
    return std::move(*this);
  }
  Node colorScheme(ColorScheme s) && {
    colorScheme_ = s;
    return std::move(*this);
  }
  Node accentColor(Color c) && {
    accent_ = c;
    return std::move(*this);
  }
  Node onHover(std::function<void(bool)> f) && {
    onHover_ = std::move(f);
    return std::move(*this);
  }
  // An alert shown while `isPresented` holds; without buttons it has one "OK".
  Node alert(Binding<bool> isPresented, std::string title, std::optional<std::string> message,
             std::vector<Node> buttons = {}) &&;
  // A confirmation dialog shown while `isPresented` holds, e.g. `{destructive("Reset", reset),
  // cancel()}`; one without a cancel button gets a "Cancel".
  Node confirmationDialog(Binding<bool> isPresented, std::string title,
                          std::optional<std::string> message, std::vector<Node> buttons) &&;
  // Not drawn, not focusable, not announced and inert, but it keeps its place in the layout.
  Node hidden(bool h = true) && {
    hidden_ = h;
    return std::move(*this);
  }
  Node accessibilityRole(AccessibilityRole r) && {
    accessibilityRole_ = r;
    return std::move(*this);
  }
  Node controlSize(ControlSize s) && {
    controlSize_ = s;
    return std::move(*this);
  }
  // A section's row: its edges from the group's instead of the section's inset.
  Node rowInsets(EdgeInsets insets) && {
    rowInsets_ = insets;
    return std::move(*this);
  }
  // Drawn in the scheme's secondary text colour unless it sets a foreground of its own.
  Node secondary(bool s = true) && {
    secondary_ = s;
    return std::move(*this);
  }
  Node footer(std::string f) && {
    footer_ = std::move(f);
    return std::move(*this);
  }
  Node scrollIndicators(bool shown) && {
    scrollIndicators_ = shown;
    return std::move(*this);
  }
  // Clips the node's drawing to a rounded rectangle.
  Node clipCornerRadius(double r) && {
    clipCornerRadius_ = r;
    return std::move(*this);
  }

  // Content ----------------------------------------------------------------------------------
  // The text of a text, the title of a button, toggle, picker or link, a section's header, a
  // symbol's name.
  const std::string& text() const { return text_; }
  // A button's or a labelled row's title: its own text, else the text of its label children.
  std::string title() const;
  const std::optional<std::string>& footer() const { return footer_; }
  const std::optional<URL>& url() const { return url_; }
  const std::shared_ptr<Image>& image() const { return image_; }
  const std::vector<Node>& children() const { return children_; }
  std::vector<Node>& children() { return children_; }
  const std::vector<Node>& backgrounds() const { return backgrounds_; }
  const std::vector<Node>& overlays() const { return overlays_; }
  const std::vector<Presentation>& presentations() const { return presentations_; }
  // The runs of a text made by `LinkedText`; empty for a plain one.
  const std::vector<TextRun>& runs() const { return runs_; }
  const ShapeStyle& shape() const { return shape_; }

  // Look and constraints --------------------------------------------------------------------
  const std::optional<Font>& font() const { return font_; }
  const std::optional<Color>& foreground() const { return foreground_; }
  const std::optional<Color>& tint() const { return tint_; }
  double opacity() const { return opacity_; }
  const Frame& frame() const { return frame_; }
  const EdgeInsets& padding() const { return padding_; }
  Point offset() const { return offset_; }
  std::optional<double> spacing() const { return spacing_; }
  HorizontalAlignment horizontalAlignment() const { return horizontal_; }
  VerticalAlignment verticalAlignment() const { return vertical_; }
  TextAlignment multilineTextAlignment() const { return textAlignment_; }
  std::optional<int> lineLimit() const { return lineLimit_; }
  Truncation truncation() const { return truncation_; }
  bool isDisabled() const { return disabled_; }
  const std::optional<std::string>& accessibilityLabel() const { return accessibilityLabel_; }
  const std::optional<std::string>& accessibilityHint() const { return accessibilityHint_; }
  bool isAccessibilityHidden() const { return accessibilityHidden_; }
  bool isAccessibilityCombined() const { return accessibilityCombined_; }
  AccessibilityRole accessibilityRole() const { return accessibilityRole_; }
  bool isHidden() const { return hidden_; }
  ControlSize controlSize() const { return controlSize_; }
  const std::optional<EdgeInsets>& rowInsets() const { return rowInsets_; }
  bool isSecondary() const { return secondary_; }
  ButtonRole role() const { return role_; }
  ButtonStyle buttonStyle() const { return buttonStyle_; }
  KeyboardShortcut keyboardShortcut() const { return shortcut_; }
  const std::optional<ColorScheme>& colorScheme() const { return colorScheme_; }
  const std::optional<Color>& accentColor() const { return accent_; }
  bool showsScrollIndicators() const { return scrollIndicators_; }
  std::optional<double> clipCornerRadius() const { return clipCornerRadius_; }
  double minLength() const { return minLength_; }
  double maxLength() const { return maxLength_; }

  // Values and actions ----------------------------------------------------------------------
  bool isOn() const { return isOn_; }
  const std::optional<double>& progressValue() const { return progressValue_; }
  const std::vector<std::pair<std::string, std::string>>& options() const { return options_; }
  const std::string& selection() const { return selection_; }
  const std::function<void()>& action() const { return action_; }
  const std::function<void(bool)>& onToggle() const { return onToggle_; }
  const std::function<void(const std::string&)>& onSelect() const { return onSelect_; }
  const std::function<void(bool)>& onHover() const { return onHover_; }
  const std::function<void(Canvas&)>& draw() const { return draw_; }
  const std::shared_ptr<View>& nativeView() const { return nativeView_; }

  // Builders fill these; they are not modifiers.
  friend Node Section(std::string, std::vector<Node>);
  friend Node ScrollView(Node);
  friend Node Spacer(double, double);
  friend Node Text(std::string);
  friend Node ImageNode(std::shared_ptr<Image>, Size);
  friend Node Symbol(std::string);
  friend Node Button(std::string, std::function<void()>);
  friend Node Button(std::vector<Node>, std::function<void()>);
  friend Node Toggle(std::string, bool, std::function<void(bool)>);
  friend Node Picker(std::string, std::vector<std::pair<std::string, std::string>>, std::string,
                     std::function<void(const std::string&)>);
  friend Node LinkedText(std::string_view);
  friend Node Caption(std::string);
  friend Node Link(std::string, URL);
  friend Node LabeledContent(std::string, Node);
  friend Node ProgressView(std::optional<double>);
  friend Node Shape(ShapeStyle);
  friend Node CanvasNode(std::function<void(Canvas&)>);
  friend Node NativeView(std::shared_ptr<View>);
  friend Node Divider();
  friend class FormHost;

 private:
  NodeKind kind_ = NodeKind::vstack;
  std::string identity_;
  std::optional<std::string> key_;

  std::string text_;
  std::optional<std::string> footer_;
  std::optional<URL> url_;
  std::shared_ptr<Image> image_;
  std::vector<Node> children_;
  std::vector<Node> backgrounds_;
  std::vector<Node> overlays_;
  std::vector<Presentation> presentations_;
  std::vector<TextRun> runs_;
  ShapeStyle shape_;

  std::optional<Font> font_;
  std::optional<Color> foreground_;
  std::optional<Color> tint_;
  double opacity_ = 1;
  Frame frame_;
  EdgeInsets padding_;
  Point offset_;
  std::optional<double> spacing_;
  HorizontalAlignment horizontal_ = HorizontalAlignment::center;
  VerticalAlignment vertical_ = VerticalAlignment::center;
  TextAlignment textAlignment_ = TextAlignment::leading;
  std::optional<int> lineLimit_;
  Truncation truncation_ = Truncation::tail;
  bool disabled_ = false;
  std::optional<std::string> accessibilityLabel_;
  std::optional<std::string> accessibilityHint_;
  bool accessibilityHidden_ = false;
  bool accessibilityCombined_ = false;
  AccessibilityRole accessibilityRole_ = AccessibilityRole::automatic;
  bool hidden_ = false;
  ControlSize controlSize_ = ControlSize::regular;
  std::optional<EdgeInsets> rowInsets_;
  bool secondary_ = false;
  ButtonRole role_ = ButtonRole::none;
  ButtonStyle buttonStyle_ = ButtonStyle::automatic;
  KeyboardShortcut shortcut_ = KeyboardShortcut::none;
  std::optional<ColorScheme> colorScheme_;
  std::optional<Color> accent_;
  bool scrollIndicators_ = true;
  std::optional<double> clipCornerRadius_;
  double minLength_ = 0;
  double maxLength_ = infinity;

  bool isOn_ = false;
  std::optional<double> progressValue_;
  std::vector<std::pair<std::string, std::string>> options_;
  std::string selection_;
  std::function<void()> action_;
  std::function<void(bool)> onToggle_;
  std::function<void(const std::string&)> onSelect_;
  std::function<void(bool)> onHover_;
  std::function<void(Canvas&)> draw_;
  std::shared_ptr<View> nativeView_;
};

// Builders ------------------------------------------------------------------------------------
Node Form(std::vector<Node> sections);
Node Section(std::string header, std::vector<Node> rows);
Node VStack(std::vector<Node> children);
Node HStack(std::vector<Node> children);
Node ZStack(std::vector<Node> children);
Node ScrollView(Node content);
// At least `minLength` along the stack's axis, growing up to `maxLength`.
Node Spacer(double minLength = 0, double maxLength = infinity);
Node Text(std::string text);
Node ImageNode(std::shared_ptr<Image> image, Size size);
Node Symbol(std::string name);
Node Button(std::string title, std::function<void()> action);
Node Button(std::vector<Node> label, std::function<void()> action);
Node Toggle(std::string title, bool isOn, std::function<void(bool)> onToggle);
// A switch that reads and writes `value` (a cell, a stored preference, `.inverted()`).
Node Toggle(std::string title, Binding<bool> value);
// Options are (tag, title) pairs.
Node Picker(std::string title, std::vector<std::pair<std::string, std::string>> options,
            std::string selection, std::function<void(const std::string&)> onSelect);
Node Picker(std::string title, std::vector<std::pair<std::string, std::string>> options,
            Binding<std::string> selection);
Node Picker(std::string title, std::vector<std::pair<std::int64_t, std::string>> options,
            Binding<std::int64_t> selection);
// A text whose "[label](https://…)" parts are links (see `parseInlineLinks`).
Node LinkedText(std::string_view markup);
// A small text in the secondary colour, under a row or a group.
Node Caption(std::string text);
Node Link(std::string title, URL url);
Node LabeledContent(std::string label, Node content);
// Indeterminate (a spinner) without a value.
Node ProgressView(std::optional<double> value = std::nullopt);
Node Shape(ShapeStyle style);
Node CanvasNode(std::function<void(Canvas&)> draw);
// Hosts a view of the desktop layer across the width it is offered. Its height is its frame's
// height when the node sets one, else the view's own frame height: a view that changes its
// height makes the form lay out again on the next render.
Node NativeView(std::shared_ptr<View> view);
Node Divider();

// Buttons of alerts and dialogs.
Node destructive(std::string title, std::function<void()> action);
Node cancel(std::string title = "Cancel", std::function<void()> action = nullptr);
// The button Return answers.
Node defaultAction(std::string title, std::function<void()> action = nullptr);

std::string_view nameOf(NodeKind kind);

// The first node at or below `root` whose key is `key`, depth first through backgrounds,
// children and overlays: how tests find the parts a screen names.
const Node* findKeyed(const Node& root, std::string_view key);

}  // namespace platform::forms
