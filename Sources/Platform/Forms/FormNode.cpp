#include "Platform/Forms/FormNode.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "Platform/Desktop/View.h"
#include "Platform/Forms/FormMetrics.h"

namespace platform::forms {

void CanvasPath::addArc(Point center, double radius, double startDegrees, double endDegrees) {
  auto at = [&](double radians) {
    return Point{center.x + radius * std::cos(radians), center.y + radius * std::sin(radians)};
  };
  double start = startDegrees * std::numbers::pi / 180;
  double end = endDegrees * std::numbers::pi / 180;
  moveTo(at(start));
  // A cubic per quarter circle at most keeps the error far below a pixel.
  int pieces =
      std::max(1, static_cast<int>(std::ceil(std::abs(end - start) / (std::numbers::pi / 2))));
  double step = (end - start) / pieces;
  double k = 4.0 / 3.0 * std::tan(step / 4) * radius;
  for (int i = 0; i < pieces; ++i) {
    double a = start + step * i, b = a + step;
    Point p0 = at(a), p1 = at(b);
    Point c1{p0.x - k * std::sin(a), p0.y + k * std::cos(a)};
    Point c2{p1.x + k * std::sin(b), p1.y - k * std::cos(b)};
    curveTo(p1, c1, c2);
  }
}

void CanvasPath::addEllipse(Rect rect) {
  double rx = rect.width() / 2, ry = rect.height() / 2;
  double cx = rect.x() + rx, cy = rect.y() + ry;
  constexpr double k = 0.5522847498;
  moveTo({cx + rx, cy});
  curveTo({cx, cy + ry}, {cx + rx, cy + k * ry}, {cx + k * rx, cy + ry});
  curveTo({cx - rx, cy}, {cx - k * rx, cy + ry}, {cx - rx, cy + k * ry});
  curveTo({cx, cy - ry}, {cx - rx, cy - k * ry}, {cx - k * rx, cy - ry});
  curveTo({cx + rx, cy}, {cx + k * rx, cy - ry}, {cx + rx, cy - k * ry});
  close();
}

std::vector<TextRun> parseInlineLinks(std::string_view text) {
  std::vector<TextRun> runs;
  std::string plain;
  auto flush = [&] {
    if (!plain.empty()) runs.push_back({std::move(plain), std::nullopt});
    plain.clear();
  };
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '[') {
      std::size_t close = text.find(']', i + 1);
      std::size_t open = text.find('[', i + 1);
      if (close != std::string_view::npos && (open == std::string_view::npos || open > close) &&
          close + 1 < text.size() && text[close + 1] == '(') {
        std::size_t end = text.find(')', close + 2);
        std::string_view label = text.substr(i + 1, close - i - 1);
        std::string_view address = end == std::string_view::npos
                                       ? std::string_view{}
                                       : text.substr(close + 2, end - close - 2);
        auto url = address.empty() || address.find_first_of(" \t\n") != std::string_view::npos
                       ? std::nullopt
                       : URL::parse(address);
        bool allowed =
            url && url->scheme() &&
            (*url->scheme() == "https" || *url->scheme() == "http" || *url->scheme() == "mailto") &&
            (*url->scheme() == "mailto" || url->host());
        if (allowed && !label.empty()) {
          flush();
          runs.push_back({std::string(label), *url});
          i = end + 1;
          continue;
        }
      }
    }
    plain.push_back(text[i]);
    ++i;
  }
  flush();
  return runs;
}

const Node* Presentation::defaultButton() const {
  for (const auto& b : buttons) {
    if (b.keyboardShortcut() == KeyboardShortcut::defaultAction) return &b;
  }
  for (const auto& b : buttons) {
    if (b.role() == ButtonRole::none && b.keyboardShortcut() != KeyboardShortcut::cancelAction)
      return &b;
  }
  return nullptr;
}

const Node* Presentation::cancelButton() const {
  for (const auto& b : buttons) {
    if (b.role() == ButtonRole::cancel || b.keyboardShortcut() == KeyboardShortcut::cancelAction)
      return &b;
  }
  return nullptr;
}

Node Node::alert(Binding<bool> isPresented, std::string title, std::optional<std::string> message,
                 std::vector<Node> buttons) && {
  if (buttons.empty()) buttons.push_back(defaultAction("OK"));
  Presentation p;
  p.kind = Presentation::Kind::alert;
  p.title = std::move(title);
  p.message = std::move(message);
  p.buttons = std::move(buttons);
  p.isPresented = isPresented.get();
  p.setPresented = [isPresented](bool shown) { isPresented.set(shown); };
  presentations_.push_back(std::move(p));
  return std::move(*this);
}

Node Node::confirmationDialog(Binding<bool> isPresented, std::string title,
                              std::optional<std::string> message, std::vector<Node> buttons) && {
  Presentation p;
  p.kind = Presentation::Kind::confirmationDialog;
  p.title = std::move(title);
  p.message = std::move(message);
  p.buttons = std::move(buttons);
  if (!p.cancelButton()) p.buttons.push_back(cancel());
  p.isPresented = isPresented.get();
  p.setPresented = [isPresented](bool shown) { isPresented.set(shown); };
  presentations_.push_back(std::move(p));
  return std::move(*this);
}

std::string Node::title() const {
  if (kind_ == NodeKind::symbol) return {};  // a symbol's text is its name, not a title
  // A section's title is its header, never one of its rows'.
  if (!text_.empty() || kind_ == NodeKind::text || kind_ == NodeKind::section) return text_;
  for (const auto& child : children_) {
    std::string t = child.title();
    if (!t.empty()) return t;
  }
  return {};
}

Node Form(std::vector<Node> sections) {
  return Node(NodeKind::form, std::move(sections));
}

Node Section(std::string header, std::vector<Node> rows) {
  Node n(NodeKind::section, std::move(rows));
  // A grouped form's rows start at the leading edge, as its header does.
  n.horizontal_ = HorizontalAlignment::leading;
  n.text_ = std::move(header);
  return n;
}

Node VStack(std::vector<Node> children) {
  return Node(NodeKind::vstack, std::move(children));
}

Node HStack(std::vector<Node> children) {
  return Node(NodeKind::hstack, std::move(children));
}

Node ZStack(std::vector<Node> children) {
  return Node(NodeKind::zstack, std::move(children));
}

Node ScrollView(Node content) {
  Node n(NodeKind::scroll);
  n.children_.push_back(std::move(content));
  return n;
}

Node Spacer(double minLength, double maxLength) {
  Node n(NodeKind::spacer);
  n.minLength_ = minLength;
  n.maxLength_ = maxLength;
  return n;
}

Node Text(std::string text) {
  Node n(NodeKind::text);
  n.text_ = std::move(text);
  return n;
}

Node ImageNode(std::shared_ptr<Image> image, Size size) {
  Node n(NodeKind::image);
  n.image_ = std::move(image);
  n.frame_.width = size.width;
  n.frame_.height = size.height;
  return n;
}

Node Symbol(std::string name) {
  Node n(NodeKind::symbol);
  n.text_ = std::move(name);
  return n;
}

Node Button(std::string title, std::function<void()> action) {
  Node n(NodeKind::button);
  n.children_.push_back(Text(std::move(title)));
  n.action_ = std::move(action);
  return n;
}

Node Button(std::vector<Node> label, std::function<void()> action) {
  Node n(NodeKind::button, std::move(label));
  n.action_ = std::move(action);
  return n;
}

Node Toggle(std::string title, bool isOn, std::function<void(bool)> onToggle) {
  Node n(NodeKind::toggle);
  n.text_ = std::move(title);
  n.isOn_ = isOn;
  n.onToggle_ = std::move(onToggle);
  return n;
}

Node Toggle(std::string title, Binding<bool> value) {
  return Toggle(std::move(title), value.get(), [value](bool on) { value.set(on); });
}

Node Picker(std::string title, std::vector<std::pair<std::string, std::string>> options,
            Binding<std::string> selection) {
  return Picker(std::move(title), std::move(options), selection.get(),
                [selection](const std::string& tag) { selection.set(tag); });
}

Node Picker(std::string title, std::vector<std::pair<std::int64_t, std::string>> options,
            Binding<std::int64_t> selection) {
  std::vector<std::pair<std::string, std::string>> tagged;
  for (auto& [tag, label] : options) tagged.emplace_back(std::to_string(tag), std::move(label));
  return Picker(std::move(title), std::move(tagged), std::to_string(selection.get()),
                [selection](const std::string& tag) {
                  // Tags come from the options above, so they always parse.
                  selection.set(std::stoll(tag));
                });
}

Node LinkedText(std::string_view markup) {
  Node n(NodeKind::text);
  n.runs_ = parseInlineLinks(markup);
  for (const auto& run : n.runs_) n.text_ += run.text;
  if (std::none_of(n.runs_.begin(), n.runs_.end(), [](const TextRun& r) { return r.url; }))
    n.runs_.clear();
  return n;
}

Node Caption(std::string text) {
  Node n = Text(std::move(text));
  n.font_ = Font::systemFont(FormMetrics::captionFontSize);
  n.secondary_ = true;
  return n;
}

Node Picker(std::string title, std::vector<std::pair<std::string, std::string>> options,
            std::string selection, std::function<void(const std::string&)> onSelect) {
  Node n(NodeKind::picker);
  n.text_ = std::move(title);
  n.options_ = std::move(options);
  n.selection_ = std::move(selection);
  n.onSelect_ = std::move(onSelect);
  return n;
}

Node Link(std::string title, URL url) {
  Node n(NodeKind::link);
  n.text_ = std::move(title);
  n.url_ = std::move(url);
  return n;
}

Node LabeledContent(std::string label, Node content) {
  Node n(NodeKind::labeledContent);
  n.text_ = std::move(label);
  n.children_.push_back(std::move(content));
  return n;
}

Node ProgressView(std::optional<double> value) {
  Node n(NodeKind::progress);
  n.progressValue_ = value;
  return n;
}

Node Shape(ShapeStyle style) {
  Node n(NodeKind::shape);
  n.shape_ = std::move(style);
  return n;
}

Node CanvasNode(std::function<void(Canvas&)> draw) {
  Node n(NodeKind::canvas);
  n.draw_ = std::move(draw);
  return n;
}

Node NativeView(std::shared_ptr<View> view) {
  Node n(NodeKind::nativeView);
  n.nativeView_ = std::move(view);
  return n;
}

Node Divider() {
  return Node(NodeKind::divider);
}

Node destructive(std::string title, std::function<void()> action) {
  return Button(std::move(title), std::move(action)).role(ButtonRole::destructive);
}

Node cancel(std::string title, std::function<void()> action) {
  return Button(std::move(title), std::move(action))
      .role(ButtonRole::cancel)
      .keyboardShortcut(KeyboardShortcut::cancelAction);
}

Node defaultAction(std::string title, std::function<void()> action) {
  return Button(std::move(title), std::move(action))
      .keyboardShortcut(KeyboardShortcut::defaultAction);
}

std::string_view nameOf(NodeKind kind) {
  switch (kind) {
    case NodeKind::form:
      return "form";
    case NodeKind::section:
      return "section";
    case NodeKind::vstack:
      return "vstack";
    case NodeKind::hstack:
      return "hstack";
    case NodeKind::zstack:
      return "zstack";
    case NodeKind::scroll:
      return "scroll";
    case NodeKind::spacer:
      return "spacer";
    case NodeKind::text:
      return "text";
    case NodeKind::image:
      return "image";
    case NodeKind::symbol:
      return "symbol";
    case NodeKind::button:
      return "button";
    case NodeKind::toggle:
      return "toggle";
    case NodeKind::picker:
      return "picker";
    case NodeKind::link:
      return "link";
    case NodeKind::labeledContent:
      return "labeledContent";
    case NodeKind::progress:
      return "progress";
    case NodeKind::shape:
      return "shape";
    case NodeKind::canvas:
      return "canvas";
    case NodeKind::nativeView:
      return "nativeView";
    case NodeKind::divider:
      return "divider";
  }
  return "node";
}

const Node* findKeyed(const Node& root, std::string_view key) {
  if (root.key() && *root.key() == key) return &root;
  for (const auto* group : {&root.backgrounds(), &root.children(), &root.overlays()}) {
    for (const auto& child : *group) {
      if (const Node* found = findKeyed(child, key)) return found;
    }
  }
  return nullptr;
}

}  // namespace platform::forms
