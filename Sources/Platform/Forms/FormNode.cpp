#include "Platform/Forms/FormNode.h"

#include <utility>

namespace platform::forms {

std::string Node::title() const {
  if (kind_ == NodeKind::symbol) return {};  // a symbol's text is its name, not a title
  if (!text_.empty() || kind_ == NodeKind::text) return text_;
  for (const auto& child : children_) {
    std::string t = child.title();
    if (!t.empty()) return t;
  }
  return {};
}

Node Form(std::vector<Node> sections) {
  Node n(NodeKind::form);
  n.children_ = std::move(sections);
  return n;
}

Node Section(std::string header, std::vector<Node> rows) {
  Node n(NodeKind::section);
  n.text_ = std::move(header);
  n.children_ = std::move(rows);
  return n;
}

Node VStack(std::vector<Node> children) {
  Node n(NodeKind::vstack);
  n.children_ = std::move(children);
  return n;
}

Node HStack(std::vector<Node> children) {
  Node n(NodeKind::hstack);
  n.children_ = std::move(children);
  return n;
}

Node ZStack(std::vector<Node> children) {
  Node n(NodeKind::zstack);
  n.children_ = std::move(children);
  return n;
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
  Node n(NodeKind::button);
  n.children_ = std::move(label);
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

Node NativeView(std::shared_ptr<View> view, std::function<void(double)> onHeight) {
  Node n(NodeKind::nativeView);
  n.nativeView_ = std::move(view);
  n.onNativeHeight_ = std::move(onHeight);
  return n;
}

Node Divider() {
  return Node(NodeKind::divider);
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

}  // namespace platform::forms
