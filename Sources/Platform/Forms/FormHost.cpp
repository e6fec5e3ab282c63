#include "Platform/Forms/FormHost.h"

#include <cmath>
#include <limits>
#include <utility>

#include "Platform/Desktop/Button.h"
#include "Platform/Desktop/Control.h"
#include "Platform/Desktop/Desktop.h"
#include "Platform/Desktop/Image.h"
#include "Platform/Desktop/View.h"
#include "Platform/Desktop/Workspace.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/MainThread.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/Value.h"

namespace platform::forms {

namespace {

template <class Visit>
const Node* search(const Node& node, const Visit& visit,
                   const std::set<std::string, std::less<>>& answered) {
  if (visit(node)) return &node;
  for (const auto* group : {&node.backgrounds(), &node.children(), &node.overlays()}) {
    for (const auto& child : *group) {
      if (auto found = search(child, visit, answered)) return found;
    }
  }
  for (const auto& presentation : node.presentations()) {
    if (!presentation.isPresented || answered.contains(presentation.identity)) continue;
    for (const auto& button : presentation.buttons) {
      if (auto found = search(button, visit, answered)) return found;
    }
  }
  return nullptr;
}

// Identities are paths joined by "/", so a title may not bring one in.
std::string escaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '%')
      out += "%25";
    else if (c == '/')
      out += "%2F";
    else
      out += c;
  }
  return out;
}

std::string_view nameOf(ButtonRole role) {
  switch (role) {
    case ButtonRole::cancel:
      return "cancel";
    case ButtonRole::destructive:
      return "destructive";
    case ButtonRole::none:
      break;
  }
  return {};
}

// A node's name among its siblings, from what a person sees of it, so that inserting a row
// does not rename its neighbours. Empty for a node with nothing to go by.
std::string derivedName(const Node& n) {
  if (n.key()) return *n.key();
  std::string label;
  switch (n.kind()) {
    case NodeKind::text:
    case NodeKind::link:
    case NodeKind::button:
    case NodeKind::toggle:
    case NodeKind::picker:
    case NodeKind::labeledContent:
    case NodeKind::section:
      label = n.title();
      break;
    case NodeKind::symbol:
      label = n.text();
      break;
    default:
      break;
  }
  if (label.empty() && n.accessibilityLabel()) label = *n.accessibilityLabel();
  if (label.empty() && n.kind() == NodeKind::button) label = nameOf(n.role());
  if (label.empty()) return {};
  return std::string(nameOf(n.kind())) + ":" + escaped(label);
}

// Names a hosted view's control in the focus order, after its view's node.
constexpr std::string_view hostedControlInfix = "/control:";

// What a person knows a hosted control by: its label, else its title, else its image's
// description; empty for a control with none of them.
std::string_view controlLabel(const Control& control) {
  if (!control.accessibilityLabel().empty()) return control.accessibilityLabel();
  if (const auto* button = dynamic_cast<const platform::Button*>(&control)) {
    if (!button->title().empty()) return button->title();
    if (button->image()) return button->image()->accessibilityDescription();
  }
  return {};
}

// Each control's name in its view, from what a person knows it by (twins numbered in order):
// a view that lays itself out afresh with controls added or gone elsewhere renames none of the
// others, so the focus stays on the control it was on.
std::vector<std::string> hostedControlNames(const std::vector<Control*>& controls) {
  std::map<std::string, int, std::less<>> seen;
  std::vector<std::string> names;
  names.reserve(controls.size());
  for (const Control* control : controls) {
    std::string name = escaped(controlLabel(*control));
    if (int count = ++seen[name]; count > 1) name += "#" + std::to_string(count);
    names.push_back(std::move(name));
  }
  return names;
}

bool isControl(NodeKind kind) {
  return kind == NodeKind::button || kind == NodeKind::toggle || kind == NodeKind::picker ||
         kind == NodeKind::link;
}

}  // namespace

std::shared_ptr<FormHost> FormHost::make(Body body) {
  platform::assertMainThread("FormHost::make");
  std::shared_ptr<FormHost> host(new FormHost(std::move(body)));
  host->renderNow();
  return host;
}

FormHost::FormHost(Body body) : body_(std::move(body)) {}

FormHost::~FormHost() {
  if (!hasEnvironment()) return;
  for (auto token : notificationTokens_) env().notificationCenter->removeObserver(token);
  for (auto id : defaultsObservers_) env().defaults->removeObserver(id);
}

void FormHost::invalidate() {
  platform::assertMainThread("FormHost::invalidate");
  if (renderPending_) return;
  renderPending_ = true;
  std::weak_ptr<FormHost> weak = weak_from_this();
  env().mainLoop->post([weak] {
    if (auto self = weak.lock(); self && self->renderPending_) self->renderNow();
  });
}

void FormHost::renderNow() {
  platform::assertMainThread("FormHost::renderNow");
  renderPending_ = false;
  Node tree = body_(*this);
  effective_.clear();
  inherit(tree);
  std::string root = derivedName(tree);
  assignIdentities(tree, "", root.empty() ? std::string(nameOf(tree.kind_)) + "0" : root,
                   Effective{});
  tree_ = std::move(tree);
  // An answered presentation stays answered until its binding lets it go.
  for (auto it = answered_.begin(); it != answered_.end();) {
    bool stillShown = false;
    search(tree_,
           [&](const Node& n) {
             for (const auto& p : n.presentations()) {
               if (p.identity == *it && p.isPresented) stillShown = true;
             }
             return stillShown;
           },
           {});
    it = stillShown ? std::next(it) : answered_.erase(it);
  }
  if (!focused_.empty()) {
    auto order = focusOrder();
    // A hosted control disabled for a moment (a recorder waiting for its keys) keeps the focus.
    auto hosted = hostedFocus();
    bool held = hosted.control && !isEffectivelyHidden(*hosted.view) &&
                !isEffectivelyDisabled(*hosted.view);
    if (!held && std::find(order.begin(), order.end(), focused_) == order.end()) focused_.clear();
  }
  if (!hovered_.empty() && !findByIdentity(hovered_)) hovered_.clear();
  ++renders_;
  if (onRender_) onRender_(tree_);
}

void FormHost::assignChildIdentities(std::vector<Node>& nodes, const std::string& prefix,
                                     Effective inherited) {
  std::map<std::string, int, std::less<>> seen;
  std::map<NodeKind, int> positional;
  for (auto& child : nodes) {
    std::string own = derivedName(child);
    if (own.empty()) {
      own = std::string(nameOf(child.kind_)) + std::to_string(positional[child.kind_]++);
    }
    int count = ++seen[own];
    if (count > 1) own += "#" + std::to_string(count);
    assignIdentities(child, prefix, std::move(own), inherited);
  }
}

void FormHost::assignIdentities(Node& node, const std::string& parent, std::string own,
                                Effective inherited) {
  node.identity_ = parent.empty() ? std::move(own) : parent + "/" + own;
  const Effective effective{.disabled = inherited.disabled || node.disabled_,
                            .hidden = inherited.hidden || node.hidden_};
  effective_.insert_or_assign(node.identity_, effective);
  assignChildIdentities(node.backgrounds_, node.identity_ + "/bg", effective);
  assignChildIdentities(node.children_, node.identity_, effective);
  assignChildIdentities(node.overlays_, node.identity_ + "/fg", effective);
  std::map<std::string, int, std::less<>> seen;
  for (auto& presentation : node.presentations_) {
    std::string name =
        std::string(presentation.kind == Presentation::Kind::alert ? "alert:"
                                                                   : "confirmationDialog:") +
        escaped(presentation.title);
    int count = ++seen[name];
    if (count > 1) name += "#" + std::to_string(count);
    presentation.identity = node.identity_ + "/" + name;
    assignChildIdentities(presentation.buttons, presentation.identity, Effective{});
  }
}

void FormHost::inherit(Node& node) {
  // A button's look gives its label a colour unless the button sets one: white on a filled
  // button, red for a destructive one otherwise.
  std::optional<Color> foreground = node.foreground_;
  if (!foreground && node.kind_ == NodeKind::button) {
    if (node.buttonStyle_ == ButtonStyle::borderedProminent)
      foreground = Color::white();
    else if (node.role_ == ButtonRole::destructive)
      foreground = Color::systemRed();
  }
  auto pass = [&node, &foreground](Node& child) {
    if (!child.font_) child.font_ = node.font_;
    if (!child.foreground_) child.foreground_ = foreground;
    if (!child.colorScheme_) child.colorScheme_ = node.colorScheme_;
    if (!child.accent_) child.accent_ = node.accent_;
    inherit(child);
  };
  for (auto& child : node.children_) pass(child);
  for (auto& child : node.backgrounds_) pass(child);
  for (auto& child : node.overlays_) pass(child);
  // Alerts and dialogs are drawn by the system, in its own fonts and colours.
  for (auto& presentation : node.presentations_) {
    for (auto& button : presentation.buttons) {
      if (!button.colorScheme_) button.colorScheme_ = node.colorScheme_;
      if (!button.accent_) button.accent_ = node.accent_;
      inherit(button);
    }
  }
}

void FormHost::redrawOnNotification(std::string name) {
  if (!observedNotifications_.insert(name).second) return;
  std::weak_ptr<FormHost> weak = weak_from_this();
  notificationTokens_.push_back(env().notificationCenter->addObserver(
      std::move(name), nullptr, nullptr, [weak](const Notification&) {
        if (auto self = weak.lock()) self->invalidate();
      }));
}

void FormHost::redrawOnDefaultsKey(std::string key) {
  observeDefaults(key);
}

void FormHost::observeDefaults(const std::string& key) {
  if (!observedDefaults_.insert(key).second) return;
  std::weak_ptr<FormHost> weak = weak_from_this();
  defaultsObservers_.push_back(env().defaults->observe(key, [weak](std::string_view) {
    if (auto self = weak.lock()) self->invalidate();
  }));
}

Binding<bool> FormHost::defaultsBool(const std::string& key, bool defaultValue) {
  observeDefaults(key);
  return Binding<bool>(
      [key, defaultValue] {
        auto value = env().defaults->object(key);
        auto stored = value ? value->asBool() : std::nullopt;
        return stored.value_or(defaultValue);
      },
      [key](const bool& on) { env().defaults->set(key, Value(on)); });
}

Binding<std::int64_t> FormHost::defaultsInt(const std::string& key, std::int64_t defaultValue) {
  observeDefaults(key);
  return Binding<std::int64_t>(
      [key, defaultValue]() -> std::int64_t {
        auto value = env().defaults->object(key);
        if (!value) return defaultValue;
        if (auto i = value->asInt()) return *i;
        if (auto u = value->asUInt();
            u && *u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
          return static_cast<std::int64_t>(*u);
        // A whole number written as a double (a hand-edited file) still counts.
        if (auto d = value->asDouble();
            d && std::isfinite(*d) && std::trunc(*d) == *d && std::abs(*d) < 9.0e18)
          return static_cast<std::int64_t>(*d);
        return defaultValue;
      },
      [key](const std::int64_t& v) { env().defaults->set(key, Value(v)); });
}

Binding<double> FormHost::defaultsDouble(const std::string& key, double defaultValue) {
  observeDefaults(key);
  return Binding<double>(
      [key, defaultValue]() -> double {
        auto value = env().defaults->object(key);
        if (!value) return defaultValue;
        if (auto d = value->asDouble()) return std::isfinite(*d) ? *d : defaultValue;
        if (auto i = value->asInt()) return static_cast<double>(*i);
        if (auto u = value->asUInt()) return static_cast<double>(*u);
        return defaultValue;
      },
      [key](const double& v) {
        // The store takes no NaN or infinity: such a write changes nothing.
        if (std::isfinite(v)) env().defaults->set(key, Value(v));
      });
}

Binding<std::string> FormHost::defaultsString(const std::string& key, std::string defaultValue) {
  observeDefaults(key);
  return Binding<std::string>(
      [key, defaultValue] {
        auto value = env().defaults->object(key);
        const std::string* stored = value ? value->asString() : nullptr;
        return stored ? *stored : defaultValue;
      },
      [key](const std::string& v) { env().defaults->set(key, Value(v)); });
}

const Node* FormHost::find(NodeKind kind, std::string_view title) const {
  return search(
      tree_, [&](const Node& n) { return n.kind() == kind && n.title() == title; }, answered_);
}

std::vector<const Node*> FormHost::findAll(NodeKind kind) const {
  std::vector<const Node*> out;
  search(
      tree_,
      [&](const Node& n) {
        if (n.kind() == kind) out.push_back(&n);
        return false;
      },
      answered_);
  return out;
}

const Node* FormHost::findByIdentity(std::string_view identity) const {
  return search(
      tree_, [&](const Node& n) { return n.identity() == identity; }, answered_);
}

bool FormHost::isEffectivelyDisabled(const Node& node) const {
  auto found = effective_.find(node.identity());
  return found != effective_.end() && (found->second.disabled || found->second.hidden);
}

bool FormHost::isEffectivelyHidden(const Node& node) const {
  auto found = effective_.find(node.identity());
  return found != effective_.end() && found->second.hidden;
}

bool FormHost::press(const Node& node) {
  platform::assertMainThread("FormHost::press");
  if (isEffectivelyDisabled(node)) return false;
  switch (node.kind()) {
    case NodeKind::link:
      if (!node.url() || !hasEnvironment() || !env().desktop) return false;
      return env().desktop->workspace().openURL(*node.url());
    case NodeKind::button: {
      // The action may render again and replace the tree the node lives in.
      auto action = node.action();
      if (action) action();
      return true;
    }
    case NodeKind::toggle: {
      auto onToggle = node.onToggle();
      if (!onToggle) return false;
      onToggle(!node.isOn());
      return true;
    }
    default:
      return false;
  }
}

bool FormHost::tap(std::string_view title) {
  const Node* node = search(
      tree_,
      [&](const Node& n) {
        return (n.kind() == NodeKind::button || n.kind() == NodeKind::link) && n.title() == title;
      },
      answered_);
  return node && press(*node);
}

bool FormHost::tapIdentity(std::string_view identity) {
  const Node* node = findByIdentity(identity);
  if (!node || (node->kind() != NodeKind::button && node->kind() != NodeKind::link)) return false;
  return press(*node);
}

bool FormHost::activate(std::string_view identity) {
  const Node* node = findByIdentity(identity);
  return node && press(*node);
}

bool FormHost::setToggle(std::string_view title, bool on) {
  const Node* node = find(NodeKind::toggle, title);
  if (!node || isEffectivelyDisabled(*node) || !node->onToggle()) return false;
  auto onToggle = node->onToggle();
  onToggle(on);
  return true;
}

bool FormHost::select(std::string_view pickerTitle, const std::string& tag) {
  const Node* node = find(NodeKind::picker, pickerTitle);
  if (!node || isEffectivelyDisabled(*node) || !node->onSelect()) return false;
  bool known = false;
  for (const auto& option : node->options()) known = known || option.first == tag;
  if (!known) return false;
  auto onSelect = node->onSelect();
  onSelect(tag);
  return true;
}

bool FormHost::tapLink(std::string_view linkText) {
  std::optional<URL> url;
  const Node* node = search(
      tree_,
      [&](const Node& n) {
        for (const auto& run : n.runs()) {
          if (run.url && run.text == linkText) {
            url = run.url;
            return true;
          }
        }
        return false;
      },
      answered_);
  if (!node || isEffectivelyDisabled(*node) || !hasEnvironment() || !env().desktop) return false;
  return env().desktop->workspace().openURL(*url);
}

bool FormHost::hover(std::string_view identity, Hover change) {
  const Node* node = findByIdentity(identity);
  if (!node || !node->onHover() || isEffectivelyHidden(*node)) return false;
  if (change == Hover::enter) {
    if (hovered_ == identity) return true;
    if (!hovered_.empty()) {
      std::string previous = std::exchange(hovered_, {});
      if (const Node* old = findByIdentity(previous); old && old->onHover()) {
        auto leave = old->onHover();
        leave(false);
      }
      // Leaving may have rendered: look the node up again.
      node = findByIdentity(identity);
      if (!node || !node->onHover()) return false;
    }
    hovered_ = std::string(identity);
    auto enter = node->onHover();
    enter(true);
    return true;
  }
  if (hovered_ != identity) return false;
  hovered_.clear();
  auto leave = node->onHover();
  leave(false);
  return true;
}

std::vector<std::string> FormHost::focusOrder() const {
  std::vector<std::string> order;
  // Only the form itself: a presentation's buttons take focus in their own dialog.
  std::function<void(const Node&)> walk = [&](const Node& n) {
    if (isEffectivelyHidden(n)) return;
    if (isControl(n.kind())) {
      if (!isEffectivelyDisabled(n)) order.push_back(n.identity());
      return;
    }
    if (n.kind() == NodeKind::nativeView && n.nativeView() && !isEffectivelyDisabled(n)) {
      auto controls = keyboardControls(*n.nativeView());
      auto names = hostedControlNames(controls);
      for (std::size_t k = 0; k < controls.size(); ++k) {
        if (controls[k]->isEnabled())
          order.push_back(n.identity() + std::string(hostedControlInfix) + names[k]);
      }
      return;
    }
    for (const auto& child : n.children()) walk(child);
    for (const auto& child : n.overlays()) walk(child);
  };
  walk(tree_);
  return order;
}

std::vector<Control*> FormHost::keyboardControls(const View& view) {
  std::vector<Control*> out;
  std::function<void(const View&)> walk = [&](const View& v) {
    for (const auto& sub : v.subviews()) {
      if (sub->isHidden()) continue;
      auto* control = dynamic_cast<Control*>(sub.get());
      if (control && control->acceptsKeyboardFocus()) {
        out.push_back(control);
        continue;
      }
      walk(*sub);
    }
  };
  walk(view);
  return out;
}

FormHost::HostedFocus FormHost::hostedFocus() const {
  auto at = focused_.rfind(hostedControlInfix);
  if (at == std::string::npos) return {};
  const Node* node = findByIdentity(std::string_view(focused_).substr(0, at));
  if (!node || node->kind() != NodeKind::nativeView || !node->nativeView()) return {};
  std::string_view name = std::string_view(focused_).substr(at + hostedControlInfix.size());
  auto controls = keyboardControls(*node->nativeView());
  auto names = hostedControlNames(controls);
  auto found = std::find(names.begin(), names.end(), name);
  if (found == names.end()) return {};
  return {node, controls[static_cast<std::size_t>(found - names.begin())]};
}

Control* FormHost::focusedHostedControl() const {
  return hostedFocus().control;
}

bool FormHost::focus(std::string_view identity) {
  auto order = focusOrder();
  if (std::find(order.begin(), order.end(), identity) == order.end()) return false;
  focused_ = std::string(identity);
  return true;
}

bool FormHost::pressKey(Key key) {
  platform::assertMainThread("FormHost::pressKey");
  if (const Presentation* shown = presented()) {
    const Node* button = key == Key::returnKey ? shown->defaultButton()
                         : key == Key::escape  ? shown->cancelButton()
                                               : nullptr;
    if (button) return answer(*shown, *button);
    if (key == Key::escape) {
      // A dialog without a cancel button still goes on Esc, answering nothing.
      answered_.insert(shown->identity);
      if (auto dismiss = shown->setPresented) dismiss(false);
      return true;
    }
    return false;
  }
  switch (key) {
    case Key::tab:
    case Key::backtab: {
      auto order = focusOrder();
      if (order.empty()) return false;
      auto at = std::find(order.begin(), order.end(), focused_);
      std::size_t index;
      if (at == order.end()) {
        index = key == Key::tab ? 0 : order.size() - 1;
      } else {
        auto i = static_cast<std::size_t>(at - order.begin());
        index = key == Key::tab ? (i + 1) % order.size() : (i + order.size() - 1) % order.size();
      }
      focused_ = order[index];
      return true;
    }
    case Key::space:
    case Key::returnKey:
      if (Control* control = focusedHostedControl()) {
        // The control may rebuild its view (and go): kept alive for its action.
        auto keep = control->shared_from_this();
        control->performKeyboardAction();
        return true;
      }
      if (key == Key::space) return !focused_.empty() && activate(focused_);
      if (!focused_.empty()) return activate(focused_);
      [[fallthrough]];
    case Key::escape: {
      KeyboardShortcut wanted =
          key == Key::escape ? KeyboardShortcut::cancelAction : KeyboardShortcut::defaultAction;
      const Node* button = search(
          tree_,
          [&](const Node& n) {
            return n.kind() == NodeKind::button && n.keyboardShortcut() == wanted &&
                   !isEffectivelyDisabled(n);
          },
          answered_);
      // Not the buttons of a presentation: none is shown here.
      return button && press(*button);
    }
  }
  return false;
}

const Presentation* FormHost::presented() const {
  const Presentation* found = nullptr;
  search(
      tree_,
      [&](const Node& n) {
        for (const auto& presentation : n.presentations()) {
          if (presentation.isPresented && !answered_.contains(presentation.identity))
            found = &presentation;
        }
        return found != nullptr;
      },
      answered_);
  return found;
}

bool FormHost::answer(std::string_view buttonTitle) {
  platform::assertMainThread("FormHost::answer");
  const Presentation* presentation = presented();
  if (!presentation) return false;
  for (const auto& button : presentation->buttons) {
    if (button.title() == buttonTitle) return answer(*presentation, button);
  }
  return false;
}

bool FormHost::answer(const Presentation& presentation, const Node& button) {
  platform::assertMainThread("FormHost::answer");
  // Copies first: dismissing writes the binding, which may render and replace the tree.
  auto dismiss = presentation.setPresented;
  auto action = button.action();
  answered_.insert(presentation.identity);
  if (dismiss) dismiss(false);
  if (action) action();
  return true;
}

std::vector<AccessibilityElement> FormHost::accessibilityElements() const {
  std::vector<AccessibilityElement> out;
  auto roleOf = [](const Node& n, AccessibilityRole automatic) {
    return n.accessibilityRole() == AccessibilityRole::automatic ? automatic
                                                                 : n.accessibilityRole();
  };
  auto element = [&](const Node& n, AccessibilityRole automatic, std::string label,
                     std::string value = {}) {
    AccessibilityElement e;
    e.identity = n.identity();
    e.role = roleOf(n, automatic);
    e.label = n.accessibilityLabel().value_or(std::move(label));
    e.hint = n.accessibilityHint().value_or("");
    e.value = std::move(value);
    e.enabled = !isEffectivelyDisabled(n);
    out.push_back(std::move(e));
  };
  // The texts a combined element reads, in order.
  std::function<void(const Node&, std::string&)> texts = [&](const Node& n, std::string& into) {
    if (n.isHidden() || n.isAccessibilityHidden()) return;
    std::string own;
    if (n.accessibilityLabel())
      own = *n.accessibilityLabel();
    else if (n.kind() == NodeKind::text || n.kind() == NodeKind::link ||
             n.kind() == NodeKind::toggle || n.kind() == NodeKind::picker ||
             n.kind() == NodeKind::labeledContent)
      own = n.title();
    if (!own.empty()) {
      if (!into.empty()) into += ", ";
      into += own;
    }
    if (n.accessibilityLabel() || n.kind() == NodeKind::labeledContent) return;
    for (const auto& child : n.children()) texts(child, into);
  };
  std::function<void(const Node&)> walk = [&](const Node& n) {
    if (n.isHidden() || n.isAccessibilityHidden()) return;
    if (n.isAccessibilityCombined()) {
      std::string label;
      if (!n.accessibilityLabel()) texts(n, label);
      element(n, AccessibilityRole::group, label);
      return;
    }
    switch (n.kind()) {
      case NodeKind::text:
        element(n, AccessibilityRole::staticText, n.text());
        for (const auto& run : n.runs()) {
          if (!run.url) continue;
          AccessibilityElement link;
          link.identity = n.identity();
          link.role = AccessibilityRole::link;
          link.label = run.text;
          link.value = run.url->absoluteString();
          link.enabled = !isEffectivelyDisabled(n);
          out.push_back(std::move(link));
        }
        return;
      case NodeKind::link:
        element(n, AccessibilityRole::link, n.title(), n.url() ? n.url()->absoluteString() : "");
        return;
      case NodeKind::button:
        element(n, AccessibilityRole::button, n.title());
        return;
      case NodeKind::toggle:
        element(n, AccessibilityRole::toggle, n.title(), n.isOn() ? "1" : "0");
        return;
      case NodeKind::picker: {
        std::string current;
        for (const auto& [tag, title] : n.options()) {
          if (tag == n.selection()) current = title;
        }
        element(n, AccessibilityRole::picker, n.title(), current);
        return;
      }
      case NodeKind::labeledContent: {
        std::string content;
        for (const auto& child : n.children()) texts(child, content);
        element(n, AccessibilityRole::staticText, n.text(), content);
        return;
      }
      case NodeKind::progress:
        element(n, AccessibilityRole::progress, "",
                n.progressValue() ? std::to_string(*n.progressValue()) : "");
        return;
      case NodeKind::image:
      case NodeKind::symbol:
      case NodeKind::canvas:
      case NodeKind::shape:
        if (n.accessibilityLabel()) element(n, AccessibilityRole::image, "");
        return;
      case NodeKind::nativeView:
        // A hosted view reads as a group of its own controls, once it is named.
        if (n.accessibilityLabel()) element(n, AccessibilityRole::group, "");
        return;
      case NodeKind::section:
        if (!n.text().empty()) element(n, AccessibilityRole::header, n.text());
        for (const auto& child : n.children()) walk(child);
        if (n.footer()) {
          AccessibilityElement footer;
          footer.identity = n.identity() + "/footer";
          footer.label = *n.footer();
          out.push_back(std::move(footer));
        }
        return;
      default:
        for (const auto& child : n.children()) walk(child);
        for (const auto& child : n.overlays()) walk(child);
        return;
    }
  };
  walk(tree_);
  return out;
}

}  // namespace platform::forms
