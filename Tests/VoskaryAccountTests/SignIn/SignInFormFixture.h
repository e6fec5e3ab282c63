#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Forms/FormHost.h"
#include "Platform/Forms/FormLayout.h"
#include "Support/SimTest.h"

namespace voskary::testing {

// Renders a view value headless through a form host and reads its tree by node keys.
class SignInFormFixture : public platform::testing::SimTest {
 protected:
  using Node = platform::forms::Node;
  using NodeKind = platform::forms::NodeKind;

  void show(std::function<Node()> body) {
    host = platform::forms::FormHost::make(
        [body = std::move(body)](platform::forms::FormHost&) { return body(); });
  }
  void TearDown() override {
    host.reset();
    platform::testing::SimTest::TearDown();
  }

  // The first node with that key (depth first, backgrounds and overlays included).
  const Node* keyed(std::string_view key) const { return keyed(host->tree(), key); }
  static const Node* keyed(const Node& node, std::string_view key) {
    return platform::forms::findKeyed(node, key);
  }
  // Titles of the buttons of the tree, in order.
  std::vector<std::string> buttonTitles() const {
    std::vector<std::string> out;
    for (const Node* n : host->findAll(NodeKind::button)) out.push_back(n->title());
    return out;
  }
  bool enabled(std::string_view title) const {
    const Node* n = host->find(NodeKind::button, title);
    return n && !host->isEffectivelyDisabled(*n);
  }
  const Node* child(const Node& n, NodeKind kind) const {
    const Node* found = nullptr;
    for (const auto& c : n.children()) {
      if (!found && c.kind() == kind) found = &c;
    }
    return found;
  }

  std::shared_ptr<platform::forms::FormHost> host;
};

}  // namespace voskary::testing
