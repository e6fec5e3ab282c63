#include "Platform/Forms/FormHost.h"

#include <utility>

#include "Platform/Desktop/Desktop.h"
#include "Platform/Desktop/Workspace.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"

namespace platform::forms {

namespace {

template <class Visit>
const Node* search(const Node& node, const Visit& visit) {
  if (visit(node)) return &node;
  for (const auto* group : {&node.backgrounds(), &node.children(), &node.overlays()}) {
    for (const auto& child : *group) {
      if (auto found = search(child, visit)) return found;
    }
  }
  for (const auto& presentation : node.presentations()) {
    if (!presentation.isPresented) continue;
    for (const auto& button : presentation.buttons) {
      if (auto found = search(button, visit)) return found;
    }
  }
  return nullptr;
}

}  // namespace

std::shared_ptr<FormHost> FormHost::make(Body body) {
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
  if (renderPending_) return;
  renderPending_ = true;
  std::weak_ptr<FormHost> weak = weak_from_this();
  env().mainLoop->post([weak] {
    if (auto self = weak.lock(); self && self->renderPending_) self->renderNow();
  });
}

void FormHost::renderNow() {
  renderPending_ = false;
  Node tree = body_(*this);
  disabled_.clear();
  inherit(tree);
  assignIdentities(tree, "", 0, false);
  tree_ = std::move(tree);
  ++renders_;
  if (onRender_) onRender_(tree_);
}

void FormHost::assignIdentities(Node& node, const std::string& parent, std::size_t index,
                                bool disabled) {
  std::string own =
      node.key_ ? *node.key_ : std::string(nameOf(node.kind_)) + std::to_string(index);
  node.identity_ = parent.empty() ? own : parent + "/" + own;
  bool effective = disabled || node.disabled_;
  disabled_.insert_or_assign(node.identity_, effective);
  std::size_t i = 0;
  for (auto& child : node.backgrounds_)
    assignIdentities(child, node.identity_ + "/bg", i++, effective);
  i = 0;
  for (auto& child : node.children_) assignIdentities(child, node.identity_, i++, effective);
  i = 0;
  for (auto& child : node.overlays_)
    assignIdentities(child, node.identity_ + "/fg", i++, effective);
  i = 0;
  for (auto& presentation : node.presentations_) {
    std::size_t b = 0;
    for (auto& button : presentation.buttons) {
      assignIdentities(button, node.identity_ + "/present" + std::to_string(i), b++, false);
    }
    ++i;
  }
}

void FormHost::inherit(Node& node) {
  auto pass = [&node](Node& child) {
    if (!child.font_) child.font_ = node.font_;
    if (!child.foreground_) child.foreground_ = node.foreground_;
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
  std::weak_ptr<FormHost> weak = weak_from_this();
  notificationTokens_.push_back(env().notificationCenter->addObserver(
      std::move(name), nullptr, nullptr, [weak](const Notification&) {
        if (auto self = weak.lock()) self->invalidate();
      }));
}

void FormHost::redrawOnDefaultsKey(std::string key) {
  std::weak_ptr<FormHost> weak = weak_from_this();
  defaultsObservers_.push_back(env().defaults->observe(std::move(key), [weak](std::string_view) {
    if (auto self = weak.lock()) self->invalidate();
  }));
}

const Node* FormHost::find(NodeKind kind, std::string_view title) const {
  return search(tree_, [&](const Node& n) { return n.kind() == kind && n.title() == title; });
}

std::vector<const Node*> FormHost::findAll(NodeKind kind) const {
  std::vector<const Node*> out;
  search(tree_, [&](const Node& n) {
    if (n.kind() == kind) out.push_back(&n);
    return false;
  });
  return out;
}

const Node* FormHost::findByIdentity(std::string_view identity) const {
  return search(tree_, [&](const Node& n) { return n.identity() == identity; });
}

bool FormHost::isEffectivelyDisabled(const Node& node) const {
  auto found = disabled_.find(node.identity());
  return found != disabled_.end() && found->second;
}

bool FormHost::activate(const Node& node) {
  if (isEffectivelyDisabled(node)) return false;
  if (node.kind() == NodeKind::link) {
    if (!node.url() || !hasEnvironment() || !env().desktop) return false;
    return env().desktop->workspace().openURL(*node.url());
  }
  if (node.kind() != NodeKind::button) return false;
  // The action may render again and replace the tree the node lives in.
  auto action = node.action();
  if (action) action();
  return true;
}

bool FormHost::tap(std::string_view title) {
  const Node* node = search(tree_, [&](const Node& n) {
    return (n.kind() == NodeKind::button || n.kind() == NodeKind::link) && n.title() == title;
  });
  return node && activate(*node);
}

bool FormHost::tapIdentity(std::string_view identity) {
  const Node* node = findByIdentity(identity);
  return node && activate(*node);
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
  auto onSelect = node->onSelect();
  onSelect(tag);
  return true;
}

bool FormHost::hover(std::string_view identity, bool inside) {
  const Node* node = findByIdentity(identity);
  if (!node || !node->onHover()) return false;
  auto onHover = node->onHover();
  onHover(inside);
  return true;
}

const Presentation* FormHost::presented() const {
  const Presentation* found = nullptr;
  search(tree_, [&](const Node& n) {
    for (const auto& presentation : n.presentations()) {
      if (presentation.isPresented) found = &presentation;
    }
    return found != nullptr;
  });
  return found;
}

bool FormHost::answer(std::string_view buttonTitle) {
  const Presentation* presentation = presented();
  if (!presentation) return false;
  for (const auto& button : presentation->buttons) {
    if (button.title() != buttonTitle) continue;
    auto dismiss = presentation->setPresented;
    auto action = button.action();
    if (dismiss) dismiss(false);
    if (action) action();
    return true;
  }
  return false;
}

}  // namespace platform::forms
