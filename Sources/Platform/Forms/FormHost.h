#pragma once

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Forms/FormNode.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/UserDefaults.h"

namespace platform::forms {

// Hosts one form in one window: keeps the form's view state, renders the form's tree on the
// main loop when something it depends on changed, and lets tests (and the renderer) read the
// tree and act on it as a user would.
//
// A render happens at most once per main-loop turn, after `invalidate` or one of the named
// triggers (a notification, a defaults key, a state change); nothing else redraws the form,
// so "this does not redraw" can be tested by counting renders. The host, and with it the view
// state, lives as long as its owner (a window controller), across redraws and window closes.
class FormHost : public std::enable_shared_from_this<FormHost> {
 public:
  using Body = std::function<Node(FormHost&)>;

  // Renders the form once at once.
  static std::shared_ptr<FormHost> make(Body body);
  ~FormHost();
  FormHost(const FormHost&) = delete;
  FormHost& operator=(const FormHost&) = delete;

  // View state --------------------------------------------------------------------------------
  // The cell named `name`, created with `initial` on first use.
  template <class T>
  const T& state(const std::string& name, T initial) {
    auto [it, inserted] = state_.try_emplace(name, std::move(initial));
    return *std::any_cast<T>(&it->second);
  }
  // Stores a new value and schedules a render when it differs.
  template <class T>
  void setState(const std::string& name, T value) {
    auto it = state_.find(name);
    if (it != state_.end()) {
      if (auto* old = std::any_cast<T>(&it->second); old && *old == value) return;
    }
    state_.insert_or_assign(name, std::move(value));
    invalidate();
  }

  // Triggers ----------------------------------------------------------------------------------
  // Schedules one render on the next turn of the main loop, however often it is called.
  void invalidate();
  void renderNow();
  // Redraws whenever a notification of that name is posted (any sender).
  void redrawOnNotification(std::string name);
  // Redraws whenever the stored preference changes.
  void redrawOnDefaultsKey(std::string key);

  // The tree ----------------------------------------------------------------------------------
  const Node& tree() const { return tree_; }
  int renderCount() const { return renders_; }
  // Told after every render, with the new tree (the renderer reconciles its widgets with it).
  void setOnRender(std::function<void(const Node&)> onRender) { onRender_ = std::move(onRender); }

  // Acting as a user --------------------------------------------------------------------------
  // The first node of that kind whose title is `title` (front to back, depth first).
  const Node* find(NodeKind kind, std::string_view title) const;
  std::vector<const Node*> findAll(NodeKind kind) const;
  const Node* findByIdentity(std::string_view identity) const;
  // Whether the node, or one of its ancestors, is disabled.
  bool isEffectivelyDisabled(const Node& node) const;
  // Presses a button or follows a link (through the workspace); false when there is none or
  // it is disabled.
  bool tap(std::string_view title);
  bool tapIdentity(std::string_view identity);
  bool setToggle(std::string_view title, bool on);
  bool select(std::string_view pickerTitle, const std::string& tag);
  bool hover(std::string_view identity, bool inside);
  // The alert or dialog on screen, if any.
  const Presentation* presented() const;
  // Presses one of its buttons (which dismisses it); false when nothing is presented or it
  // has no such button.
  bool answer(std::string_view buttonTitle);

 private:
  explicit FormHost(Body body);
  static void inherit(Node& node);
  void assignIdentities(Node& node, const std::string& parent, std::size_t index, bool disabled);
  bool activate(const Node& node);

  Body body_;
  Node tree_;
  int renders_ = 0;
  bool renderPending_ = false;
  std::map<std::string, std::any, std::less<>> state_;
  std::map<std::string, bool, std::less<>> disabled_;
  std::function<void(const Node&)> onRender_;
  std::vector<NotificationCenter::Token> notificationTokens_;
  std::vector<UserDefaults::ObserverId> defaultsObservers_;
};

}  // namespace platform::forms
