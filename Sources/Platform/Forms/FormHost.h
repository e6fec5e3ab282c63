#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "Platform/Forms/Binding.h"
#include "Platform/Forms/Cell.h"
#include "Platform/Forms/FormNode.h"
#include "Platform/Foundation/Error.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/UserDefaults.h"

namespace platform {
class Control;
class View;
}  // namespace platform

namespace platform::forms {

// The keys a form reacts to; the renderer maps the real keyboard onto them.
enum class Key { tab, backtab, space, returnKey, escape };

// What assistive technology reads of one element of a form.
struct AccessibilityElement {
  std::string identity;
  AccessibilityRole role = AccessibilityRole::staticText;
  std::string label;
  std::string hint;
  // A toggle's "1" or "0", a picker's selected title, a labelled row's content.
  std::string value;
  bool enabled = true;
  bool operator==(const AccessibilityElement&) const = default;
};

// Hosts one form in one window: keeps the form's view state, renders the form's tree on the
// main loop when something it depends on changed, and lets tests (and the renderer) read the
// tree and act on it as a user would: click, type Tab, Space, Return and Esc, hover, answer
// alerts.
//
// A render happens at most once per main-loop turn, after `invalidate` or one of the named
// triggers (a cell written, a bound preference or watched notification changed); nothing else
// redraws the form, so "this does not redraw" can be tested by counting renders. The host, and
// with it the view state, lives as long as its owner (a window controller), across redraws
// and window closes.
class FormHost : public std::enable_shared_from_this<FormHost> {
 public:
  using Body = std::function<Node(FormHost&)>;

  // Renders the form once at once.
  static std::shared_ptr<FormHost> make(Body body);
  ~FormHost();
  FormHost(const FormHost&) = delete;
  FormHost& operator=(const FormHost&) = delete;

  // View state --------------------------------------------------------------------------------
  // The cell named `name`, created with `initial` on first use (later `initial`s are ignored).
  // Asking for a name with another type than it was created with is a programming error.
  template <class T>
  Cell<T> cell(const std::string& name, T initial = T{}) {
    auto found = cells_.find(name);
    if (found == cells_.end()) {
      auto slot = std::make_shared<detail::CellSlot<T>>(std::move(initial));
      std::weak_ptr<FormHost> weak = weak_from_this();
      slot->changed = [weak] {
        if (auto self = weak.lock()) self->invalidate();
      };
      found = cells_.emplace(name, std::move(slot)).first;
    } else if (found->second->type != typeid(T)) {
      throw ProgrammingError("The form's view state \"" + name + "\" holds a " +
                             found->second->typeName + ", not a " + typeid(T).name());
    }
    return Cell<T>(std::static_pointer_cast<detail::CellSlot<T>>(found->second), name);
  }
  // A string literal makes a string cell.
  Cell<std::string> cell(const std::string& name, const char* initial) {
    return cell<std::string>(name, std::string(initial));
  }

  // Stored preferences -------------------------------------------------------------------------
  // Bindings that read the preference on every render, write it, and redraw the form when it
  // changes (from here or anywhere else). A stored value of another type reads as the default.
  // Observed once per key however often the body asks.
  Binding<bool> defaultsBool(const std::string& key, bool defaultValue = false);
  Binding<std::int64_t> defaultsInt(const std::string& key, std::int64_t defaultValue = 0);
  Binding<double> defaultsDouble(const std::string& key, double defaultValue = 0);
  Binding<std::string> defaultsString(const std::string& key, std::string defaultValue = {});

  // Triggers ----------------------------------------------------------------------------------
  // Schedules one render on the next turn of the main loop, however often it is called.
  void invalidate();
  void renderNow();
  // Redraws whenever a notification of that name is posted (any sender). Once per name.
  void redrawOnNotification(std::string name);
  // Redraws whenever the stored preference changes. Once per key.
  void redrawOnDefaultsKey(std::string key);

  // The tree ----------------------------------------------------------------------------------
  const Node& tree() const { return tree_; }
  int renderCount() const { return renders_; }
  // Told after every render, with the new tree (the renderer reconciles its widgets with it).
  void setOnRender(std::function<void(const Node&)> onRender) { onRender_ = std::move(onRender); }

  // Finding nodes -----------------------------------------------------------------------------
  // The first node of that kind whose title is `title` (front to back, depth first).
  const Node* find(NodeKind kind, std::string_view title) const;
  std::vector<const Node*> findAll(NodeKind kind) const;
  const Node* findByIdentity(std::string_view identity) const;
  // Whether the node, or one of its ancestors, is disabled (or hidden).
  bool isEffectivelyDisabled(const Node& node) const;
  bool isEffectivelyHidden(const Node& node) const;

  // Acting as a user --------------------------------------------------------------------------
  // Presses a button or follows a link (through the workspace); false when there is none or
  // it is disabled or hidden.
  bool tap(std::string_view title);
  bool tapIdentity(std::string_view identity);
  bool setToggle(std::string_view title, bool on);
  bool select(std::string_view pickerTitle, const std::string& tag);
  // Follows the inline link with that text in a `LinkedText`.
  bool tapLink(std::string_view linkText);
  // Works the control with that identity as a click would: a button or link is pressed, a
  // toggle flips, a picker is not changed (it opens its menu on screen). False when it is
  // not an enabled, shown control.
  bool activate(std::string_view identity);

  // The pointer enters or leaves a node; the node's hover handler hears it once per change.
  // Entering another node leaves the previous one first. False when the node has no handler.
  enum class Hover { enter, leave };
  bool hover(std::string_view identity, Hover change);
  const std::string& hovered() const { return hovered_; }

  // Keyboard focus ----------------------------------------------------------------------------
  // Buttons, toggles, pickers and links in reading order, without disabled or hidden ones; a
  // hosted view's controls that take the keyboard stand in its place (see `keyboardControls`),
  // as "<view's node>/control:<name>", named by their label, else title, else image's
  // description, twins numbered "#2" on.
  std::vector<std::string> focusOrder() const;
  // The hosted view's control that has the focus; null when the focus is on a node, or on none.
  Control* focusedHostedControl() const;
  // The same with the node of the view that hosts it; both null likewise.
  struct HostedFocus {
    const Node* view = nullptr;
    Control* control = nullptr;
  };
  HostedFocus hostedFocus() const;
  // A hosted view's controls that take the keyboard, shown ones depth first; disabled ones
  // keep their place (so that a twin's number stays while it is disabled for a moment, and a
  // focused one keeps the focus) but Tab passes them.
  static std::vector<Control*> keyboardControls(const View& view);
  // The focused node's identity; empty when nothing has focus.
  const std::string& focused() const { return focused_; }
  bool focus(std::string_view identity);
  // Tab and Shift-Tab move the focus (wrapping); Space works the focused control; Return
  // answers a shown presentation's default button, else works the focused control, else
  // presses the window's default-action button; Esc answers a shown presentation's cancel
  // button, else presses the cancel-action button. False when the key did nothing.
  bool pressKey(Key key);

  // Presentations -----------------------------------------------------------------------------
  // The alert or dialog on screen, if any (an answered one is gone at once).
  const Presentation* presented() const;
  // Presses one of its buttons: dismisses it, then runs the button's action, once per showing;
  // false when nothing is presented or it has no such button.
  bool answer(std::string_view buttonTitle);

  // Accessibility -----------------------------------------------------------------------------
  // The elements a screen reader finds, in reading order: hidden nodes left out, a combined
  // node read as one element whose label joins its texts.
  std::vector<AccessibilityElement> accessibilityElements() const;

 private:
  explicit FormHost(Body body);
  static void inherit(Node& node);
  // Whether a node is disabled or hidden, itself or through an ancestor.
  struct Effective {
    bool disabled = false;
    bool hidden = false;
  };
  void assignIdentities(Node& node, const std::string& parent, std::string own,
                        Effective inherited);
  void assignChildIdentities(std::vector<Node>& nodes, const std::string& prefix,
                             Effective inherited);
  bool press(const Node& node);
  bool answer(const Presentation& presentation, const Node& button);
  void observeDefaults(const std::string& key);

  Body body_;
  Node tree_;
  int renders_ = 0;
  bool renderPending_ = false;
  std::map<std::string, std::shared_ptr<detail::CellSlotBase>, std::less<>> cells_;
  std::map<std::string, Effective, std::less<>> effective_;
  std::string focused_;
  std::string hovered_;
  // Presentations answered while their binding still reads true (until the next render).
  std::set<std::string, std::less<>> answered_;
  std::function<void(const Node&)> onRender_;
  std::set<std::string, std::less<>> observedNotifications_;
  std::set<std::string, std::less<>> observedDefaults_;
  std::vector<NotificationCenter::Token> notificationTokens_;
  std::vector<UserDefaults::ObserverId> defaultsObservers_;
};

}  // namespace platform::forms
