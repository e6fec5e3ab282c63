#include <gtest/gtest.h>

#include "Platform/Forms/FormHost.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Platform/Sim/SimDesktop.h"
#include "Support/SimTest.h"

namespace platform::forms {
namespace {

class FormHostTest : public testing::SimTest {};

TEST_F(FormHostTest, RendersOncePerTurnOnItsTriggersOnly) {
  auto host = FormHost::make([](FormHost& h) {
    auto taps = h.cell("taps", 0);
    return VStack(
        {Text("Taps: " + std::to_string(*taps)), Button("Tap", [taps] { taps.set(*taps + 1); })});
  });
  host->redrawOnNotification("example.changed");
  host->redrawOnDefaultsKey("example.key");
  EXPECT_EQ(host->renderCount(), 1);

  host->invalidate();
  host->invalidate();
  runUntilIdle();
  EXPECT_EQ(host->renderCount(), 2) << "two invalidations in one turn render once";

  env().notificationCenter->post("example.unrelated");
  env().defaults->set("example.other", Value(true));
  runUntilIdle();
  EXPECT_EQ(host->renderCount(), 2);

  env().notificationCenter->post("example.changed");
  runUntilIdle();
  EXPECT_EQ(host->renderCount(), 3);
  env().defaults->set("example.key", Value(1));
  runUntilIdle();
  EXPECT_EQ(host->renderCount(), 4);

  // State survives renders; setting an equal value does not redraw.
  EXPECT_TRUE(host->tap("Tap"));
  runUntilIdle();
  EXPECT_EQ(host->renderCount(), 5);
  EXPECT_TRUE(host->find(NodeKind::text, "Taps: 1"));
  host->cell<int>("taps").set(1);
  runUntilIdle();
  EXPECT_EQ(host->renderCount(), 5);
}

TEST_F(FormHostTest, ActsAsAUserWould) {
  bool tapped = false;
  bool inner = false;
  std::optional<bool> toggled;
  std::string picked;
  auto host = FormHost::make([&](FormHost& h) {
    auto confirm = h.cell<bool>("confirm");
    return Form(
        {Section("General", {Toggle("Share", true, [&](bool on) { toggled = on; }),
                             Picker("Shape", {{"0", "Pill"}, {"1", "Rounded"}}, "0",
                                    [&](const std::string& tag) { picked = tag; }),
                             Link("Docs", URL("https://example.test/docs")),
                             Button("Go", [&] { tapped = true; }).disabled(true),
                             VStack({Button("Inner", [&] { inner = true; })}).disabled(true),
                             Button("Reset…", [confirm] { confirm.set(true); })
                                 .confirmationDialog(confirm, "Reset?", "This cannot be undone.",
                                                     {destructive("Reset", [] {}), cancel()})})});
  });
  EXPECT_FALSE(host->tap("Go")) << "disabled";
  EXPECT_FALSE(host->tap("Inner")) << "inside a disabled stack";
  EXPECT_FALSE(tapped || inner);
  EXPECT_FALSE(host->tap("Nothing like it"));

  EXPECT_TRUE(host->setToggle("Share", false));
  EXPECT_EQ(toggled, false);
  EXPECT_TRUE(host->select("Shape", "1"));
  EXPECT_EQ(picked, "1");

  EXPECT_TRUE(host->tap("Docs"));
  auto& desktop = static_cast<sim::SimDesktop&>(*env().desktop);
  ASSERT_EQ(desktop.workspace().openedURLs().size(), 1u);
  EXPECT_EQ(desktop.workspace().openedURLs()[0], URL("https://example.test/docs"));

  EXPECT_FALSE(host->presented());
  EXPECT_TRUE(host->tap("Reset…"));
  runUntilIdle();
  ASSERT_TRUE(host->presented());
  EXPECT_EQ(host->presented()->title, "Reset?");
  EXPECT_TRUE(host->answer("Cancel"));
  runUntilIdle();
  EXPECT_FALSE(host->presented());
  EXPECT_FALSE(host->answer("Cancel"));
}

TEST_F(FormHostTest, IdentitiesAreStableAcrossRenders) {
  auto host = FormHost::make([](FormHost& h) {
    std::string label = h.cell("label", "one").get();
    return VStack({Text(label).key("label"), Text("fixed")});
  });
  std::string identity = host->find(NodeKind::text, "one")->identity();
  host->cell<std::string>("label").set("two");
  runUntilIdle();
  EXPECT_EQ(host->find(NodeKind::text, "two")->identity(), identity);
  EXPECT_EQ(host->find(NodeKind::text, "fixed")->identity(), "vstack0/text:fixed");
}

TEST_F(FormHostTest, FontColourSchemeAndAccentPassDownToNodesThatSetNone) {
  Font small = Font::systemFont(11);
  Color grey = Color::sRGB(0.5, 0.5, 0.5);
  Color red = Color::sRGB(1, 0, 0);
  auto host = FormHost::make([&](FormHost&) {
    return VStack({Text("inherits"), Text("own").foreground(red),
                   Button({Symbol("star"), Text("Star")}, [] {})})
        .font(small)
        .foreground(grey)
        .colorScheme(ColorScheme::dark)
        .accentColor(red);
  });
  const Node* inherits = host->find(NodeKind::text, "inherits");
  EXPECT_EQ(inherits->font(), small);
  EXPECT_EQ(inherits->foreground(), grey);
  EXPECT_EQ(inherits->colorScheme(), ColorScheme::dark);
  EXPECT_EQ(inherits->accentColor(), red);
  EXPECT_EQ(host->find(NodeKind::text, "own")->foreground(), red);
  // A button's title comes from its texts, never from a symbol's name.
  EXPECT_TRUE(host->find(NodeKind::button, "Star"));

  // A button's look colours its label unless the button says otherwise.
  auto buttons = FormHost::make([&](FormHost&) {
    return VStack({Button("Delete", [] {}).role(ButtonRole::destructive),
                   Button("Go", [] {}).buttonStyle(ButtonStyle::borderedProminent),
                   Button("Mine", [] {}).role(ButtonRole::destructive).foreground(grey)});
  });
  EXPECT_EQ(buttons->find(NodeKind::text, "Delete")->foreground(), Color::systemRed());
  EXPECT_EQ(buttons->find(NodeKind::text, "Go")->foreground(), Color::white());
  EXPECT_EQ(buttons->find(NodeKind::text, "Mine")->foreground(), grey);

  // A modifier applied to a node in place keeps its content.
  Node button = Button("Save", [] {});
  button = std::move(button).foreground(red).keyboardShortcut(KeyboardShortcut::defaultAction);
  EXPECT_EQ(button.title(), "Save");
  EXPECT_EQ(button.foreground(), red);
}

}  // namespace
}  // namespace platform::forms
