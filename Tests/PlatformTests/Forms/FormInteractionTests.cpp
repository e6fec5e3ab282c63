#include <gtest/gtest.h>

#include "Platform/Desktop/Button.h"
#include "Platform/Desktop/ColorWell.h"
#include "Platform/Desktop/SegmentedControl.h"
#include "Platform/Desktop/TextField.h"
#include "Platform/Desktop/View.h"
#include "Platform/Forms/FormHost.h"
#include "Platform/Forms/FormLayout.h"
#include "Platform/Forms/FormMetrics.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Sim/SimDesktop.h"
#include "Support/SimTest.h"

namespace platform::forms {
namespace {

class FormInteractionTest : public testing::SimTest {
 protected:
  std::vector<std::string> titles(const std::vector<std::string>& identities) {
    std::vector<std::string> out;
    for (const auto& id : identities) out.push_back(host->findByIdentity(id)->title());
    return out;
  }
  std::shared_ptr<FormHost> host;
};

TEST_F(FormInteractionTest, IdentitiesComeFromTitlesSoAnInsertedRowRenamesNoNeighbour) {
  host = FormHost::make([](FormHost& h) {
    std::vector<Node> rows;
    if (*h.cell<bool>("extra")) rows.push_back(Toggle("New", false, nullptr));
    rows.push_back(Toggle("Sounds", false, nullptr));
    rows.push_back(VStack({Text("x")}));
    rows.push_back(Button("Open a/b", [] {}));
    rows.push_back(Button("Same", [] {}));
    rows.push_back(Button("Same", [] {}));
    return Form({Section("General", std::move(rows))});
  });
  auto identities = [&] {
    std::vector<std::string> out;
    for (const char* t : {"Sounds", "Open a/b"}) {
      out.push_back(host->find(NodeKind::toggle, t) ? host->find(NodeKind::toggle, t)->identity()
                                                    : host->find(NodeKind::button, t)->identity());
    }
    out.push_back(host->find(NodeKind::text, "x")->identity());
    return out;
  };
  auto before = identities();
  EXPECT_EQ(before[0], "form0/section:General/toggle:Sounds");
  EXPECT_EQ(before[1], "form0/section:General/button:Open a%2Fb") << "a slash stays one step";
  EXPECT_EQ(before[2], "form0/section:General/vstack0/text:x");
  host->cell<bool>("extra").set(true);
  runUntilIdle();
  EXPECT_EQ(identities(), before);
  auto same = host->findAll(NodeKind::button);
  ASSERT_EQ(same.size(), 3u);
  EXPECT_NE(same[1]->identity(), same[2]->identity()) << "twins stay apart";
}

TEST_F(FormInteractionTest, TabWalksTheControlsInReadingOrderSkippingDisabledAndHidden) {
  int saved = 0, cancelled = 0;
  host = FormHost::make([&](FormHost& h) {
    auto on = h.cell<bool>("on");
    return VStack({Text("Title"), Toggle("Share", on),
                   Picker("Shape", {{"a", "A"}, {"b", "B"}}, h.cell("shape", "a")),
                   Button("Gone", [] {}).hidden(), Button("Off", [] {}).disabled(true),
                   HStack({Link("Help", URL("https://example.test/help")),
                           Button("Cancel", [&] { ++cancelled; })
                               .keyboardShortcut(KeyboardShortcut::cancelAction),
                           Button("Save", [&] {
                             ++saved;
                           }).keyboardShortcut(KeyboardShortcut::defaultAction)})});
  });
  EXPECT_EQ(titles(host->focusOrder()),
            (std::vector<std::string>{"Share", "Shape", "Help", "Cancel", "Save"}));
  EXPECT_FALSE(host->pressKey(Key::space)) << "nothing has focus yet";
  EXPECT_TRUE(host->pressKey(Key::returnKey)) << "the default button, from anywhere";
  EXPECT_TRUE(host->pressKey(Key::escape));
  EXPECT_EQ(saved, 1);
  EXPECT_EQ(cancelled, 1);

  std::vector<std::string> visited;
  for (int i = 0; i < 6; ++i) {
    ASSERT_TRUE(host->pressKey(Key::tab));
    visited.push_back(host->findByIdentity(host->focused())->title());
  }
  EXPECT_EQ(visited,
            (std::vector<std::string>{"Share", "Shape", "Help", "Cancel", "Save", "Share"}));
  host->pressKey(Key::backtab);
  EXPECT_EQ(host->findByIdentity(host->focused())->title(), "Save");

  // Space flips the focused toggle once; focus stays on it across the redraw.
  host->pressKey(Key::tab);
  EXPECT_TRUE(host->pressKey(Key::space));
  runUntilIdle();
  EXPECT_TRUE(*host->cell<bool>("on"));
  EXPECT_EQ(host->findByIdentity(host->focused())->title(), "Share");
  // Return works the focused control rather than the default button.
  EXPECT_TRUE(host->pressKey(Key::returnKey));
  runUntilIdle();
  EXPECT_FALSE(*host->cell<bool>("on"));
  EXPECT_EQ(saved, 1);
  EXPECT_FALSE(host->focus(host->find(NodeKind::button, "Off")->identity()));
}

// A hosted view's controls take their turn in the Tab order where the view stands (enabled,
// shown, a label skipped), and Space or Return works the focused one as a click does.
TEST_F(FormInteractionTest, TabReachesAHostedViewsControlsAndSpaceWorksThem) {
  auto view = std::make_shared<View>(Rect(0, 0, 300, 120));
  int clicks = 0, changes = 0;
  auto add = [&](auto v) {
    view->addSubview(v);
    return v;
  };
  auto button = add(platform::Button::withTitle("Add", [&](Control&) { ++clicks; }));
  auto off = add(platform::Button::withTitle("Off"));
  off->setEnabled(false);
  auto hidden = add(platform::Button::withTitle("Hidden"));
  hidden->setHidden(true);
  add(TextField::labelWithString("Caption"));
  auto box = std::make_shared<View>(Rect(0, 40, 300, 40));
  add(box);
  auto well = std::make_shared<ColorWell>(Rect(0, 0, 28, 28));
  well->setAccessibilityLabel("Background");
  box->addSubview(well);
  auto segments = SegmentedControl::withLabels(
      {"Pill", "Rounded", "Square"}, SegmentTracking::selectOne, [&](Control&) { ++changes; });
  segments->setSelectedSegment(2);
  box->addSubview(segments);
  host = FormHost::make([view](FormHost&) {
    return Form({Section("Tags", {Toggle("Before", false, nullptr), NativeView(view).key("editor"),
                                  Button("After", [] {})})});
  });
  auto order = host->focusOrder();
  ASSERT_EQ(order.size(), 5u);
  const std::string editor = host->findAll(NodeKind::nativeView).at(0)->identity();
  // Named by their label or title; Tab passes a disabled one.
  EXPECT_EQ(order[1], editor + "/control:Add");
  EXPECT_EQ(order[2], editor + "/control:Background");
  EXPECT_EQ(order[3], editor + "/control:");
  EXPECT_EQ(host->findByIdentity(order[4])->title(), "After");

  ASSERT_TRUE(host->pressKey(Key::tab));
  ASSERT_TRUE(host->pressKey(Key::tab));
  EXPECT_EQ(host->focusedHostedControl(), button.get());
  EXPECT_TRUE(host->pressKey(Key::space));
  EXPECT_EQ(clicks, 1);
  ASSERT_TRUE(host->pressKey(Key::tab));
  EXPECT_EQ(host->focusedHostedControl(), well.get());
  EXPECT_TRUE(host->pressKey(Key::returnKey));
  EXPECT_TRUE(well->isActive());
  ASSERT_TRUE(host->pressKey(Key::tab));
  EXPECT_TRUE(host->pressKey(Key::space));
  EXPECT_EQ(segments->selectedSegment(), 0) << "after the last, the first";
  EXPECT_EQ(changes, 1);
  ASSERT_TRUE(host->pressKey(Key::tab));
  EXPECT_EQ(host->focusedHostedControl(), nullptr);
  EXPECT_EQ(host->findByIdentity(host->focused())->title(), "After");
  ASSERT_TRUE(host->pressKey(Key::backtab));
  EXPECT_EQ(host->focusedHostedControl(), segments.get());
  well->deactivate();

  // A control the view adds before the focused one leaves the focus where it is.
  box->addSubview(platform::Button::withTitle("New"), SubviewPosition::below, nullptr);
  ASSERT_TRUE(host->pressKey(Key::backtab));
  EXPECT_EQ(host->focusedHostedControl(), well.get());
}

TEST_F(FormInteractionTest, HoverIsHeardOnceOnEnteringAndOnLeaving) {
  std::vector<std::string> heard;
  host = FormHost::make([&](FormHost&) {
    return VStack({Text("a").onHover([&](bool in) { heard.push_back(in ? "+a" : "-a"); }),
                   Text("b").onHover([&](bool in) { heard.push_back(in ? "+b" : "-b"); }),
                   Text("c").hidden().onHover([&](bool) { heard.push_back("c"); })});
  });
  std::string a = host->find(NodeKind::text, "a")->identity();
  std::string b = host->find(NodeKind::text, "b")->identity();
  EXPECT_TRUE(host->hover(a, FormHost::Hover::enter));
  EXPECT_TRUE(host->hover(a, FormHost::Hover::enter));
  EXPECT_TRUE(host->hover(b, FormHost::Hover::enter));
  EXPECT_FALSE(host->hover(a, FormHost::Hover::leave)) << "not inside it any more";
  EXPECT_TRUE(host->hover(b, FormHost::Hover::leave));
  EXPECT_FALSE(host->hover(host->find(NodeKind::text, "c")->identity(), FormHost::Hover::enter));
  EXPECT_EQ(heard, (std::vector<std::string>{"+a", "-a", "+b", "-b"}));
}

TEST_F(FormInteractionTest, InlineLinksOpenOnlyWebAndMailAddresses) {
  struct Case {
    const char* markup;
    std::vector<TextRun> runs;
  };
  const Case cases[] = {
      {"Read the [terms](https://example.test/terms).",
       {{"Read the ", std::nullopt},
        {"terms", URL("https://example.test/terms")},
        {".", std::nullopt}}},
      {"[mail](mailto:a@example.test)", {{"mail", URL("mailto:a@example.test")}}},
      {"[run](javascript:alert(1))", {{"[run](javascript:alert(1))", std::nullopt}}},
      {"[local](file:///etc/passwd)", {{"[local](file:///etc/passwd)", std::nullopt}}},
      {"[](https://example.test)", {{"[](https://example.test)", std::nullopt}}},
      {"[open](https://example.test", {{"[open](https://example.test", std::nullopt}}},
      {"a [b] (c)", {{"a [b] (c)", std::nullopt}}},
      {"[a [b](https://x.test)", {{"[a ", std::nullopt}, {"b", URL("https://x.test")}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parseInlineLinks(c.markup), c.runs) << c.markup;
  }

  host = FormHost::make([](FormHost&) {
    return VStack({LinkedText("I agree to the [Privacy Policy](https://example.test/privacy).")});
  });
  const Node* text = host->find(NodeKind::text, "I agree to the Privacy Policy.");
  ASSERT_TRUE(text) << "its title reads without the markup";
  EXPECT_TRUE(host->tapLink("Privacy Policy"));
  EXPECT_FALSE(host->tapLink("agree"));
  auto& desktop = static_cast<sim::SimDesktop&>(*env().desktop);
  ASSERT_EQ(desktop.workspace().openedURLs().size(), 1u);
  EXPECT_EQ(desktop.workspace().openedURLs()[0], URL("https://example.test/privacy"));
}

TEST_F(FormInteractionTest, AccessibilityReadsLabelsHintsRolesAndCombinedElements) {
  host = FormHost::make([](FormHost&) {
    return Form(
        {Section("Tags", {Toggle("Show tags", true, nullptr).accessibilityHint("Shows them"),
                          HStack({ProgressView(), Text("Signing in…")}).accessibilityCombined(),
                          Symbol("star").accessibilityLabel("Favourite"),
                          Text("decor").accessibilityHidden(), Text("gone").hidden(),
                          LabeledContent("Version", Text("1.2")),
                          Text("Custom").accessibilityRole(AccessibilityRole::header)})
             .footer("Tags follow their windows.")});
  });
  std::vector<std::tuple<AccessibilityRole, std::string, std::string, std::string>> read;
  for (const auto& e : host->accessibilityElements())
    read.emplace_back(e.role, e.label, e.hint, e.value);
  using R = AccessibilityRole;
  EXPECT_EQ(read, (std::vector<std::tuple<R, std::string, std::string, std::string>>{
                      {R::header, "Tags", "", ""},
                      {R::toggle, "Show tags", "Shows them", "1"},
                      {R::group, "Signing in…", "", ""},
                      {R::image, "Favourite", "", ""},
                      {R::staticText, "Version", "", "1.2"},
                      {R::header, "Custom", "", ""},
                      {R::staticText, "Tags follow their windows.", "", ""},
                  }));
}

TEST_F(FormInteractionTest, LayoutFollowsNativeViewHeightRowInsetsAndSpinnerSize) {
  auto view = std::make_shared<View>(Rect(0, 0, 50, 40));
  host = FormHost::make([view](FormHost&) {
    return Form({Section("", {NativeView(view).key("editor"), Text("below"),
                              Divider().key("rule").rowInsets({0, 0, 0, 0}),
                              ProgressView().controlSize(ControlSize::small).key("spin")})});
  });
  auto layout = [&] { return FormLayout::layout(host->tree(), {300, 800}); };
  auto frame = [&](const FormLayoutResult& l, const Node* n) { return *l.frameOf(n->identity()); };
  auto first = layout();
  const Node* editor = host->findByIdentity("form0/section0/editor");
  ASSERT_TRUE(editor);
  EXPECT_EQ(frame(first, editor).height(), 40);
  using M = FormMetrics;
  EXPECT_EQ(frame(first, editor).width(), 300 - 2 * M::formInset - 2 * M::sectionInset)
      << "it spans the row";
  double below = frame(first, host->find(NodeKind::text, "below")).y();
  view->setFrameSize({50, 100});
  auto second = layout();
  EXPECT_EQ(frame(second, host->find(NodeKind::text, "below")).y(), below + 60);
  Rect rule = frame(second, host->findByIdentity("form0/section0/rule"));
  EXPECT_EQ(rule.x(), M::formInset) << "its own insets, not the section's";
  EXPECT_EQ(rule.width(), 300 - 2 * M::formInset);
  EXPECT_EQ(frame(second, host->findByIdentity("form0/section0/spin")).width(),
            FormMetrics::spinnerSmall);
}

}  // namespace
}  // namespace platform::forms
