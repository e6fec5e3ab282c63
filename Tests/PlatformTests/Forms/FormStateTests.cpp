#include <gtest/gtest.h>

#include <limits>

#include "Platform/Forms/FormHost.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Platform/Foundation/Value.h"
#include "Support/SimTest.h"

namespace platform::forms {
namespace {

class FormStateTest : public testing::SimTest {};

TEST_F(FormStateTest, CellsAreTypedKeepTheirValueAndRedrawOnlyOnChange) {
  auto host = FormHost::make([](FormHost& h) {
    auto name = h.cell("name", "Ann");  // a literal makes a string cell
    static_assert(std::is_same_v<decltype(name), Cell<std::string>>);
    auto count = h.cell("count", 0);
    return VStack({Text(*name + " " + std::to_string(*count))});
  });
  EXPECT_TRUE(host->find(NodeKind::text, "Ann 0"));
  auto count = host->cell<int>("count");
  count.set(2);
  count.set(3);
  runUntilIdle();
  EXPECT_EQ(host->renderCount(), 2) << "two writes in one turn, one render";
  EXPECT_TRUE(host->find(NodeKind::text, "Ann 3"));
  EXPECT_EQ(host->cell("count", 99).get(), 3) << "a later initial value is ignored";
  count.set(3);
  runUntilIdle();
  EXPECT_EQ(host->renderCount(), 2) << "an equal value does not redraw";

  // Reading a cell with another type is a bug reported by name, never a null read.
  try {
    (void)host->cell<bool>("count");
    FAIL() << "no error";
  } catch (const ProgrammingError& error) {
    EXPECT_NE(std::string(error.what()).find("\"count\""), std::string::npos) << error.what();
  }
  EXPECT_THROW((void)host->cell<const char*>("name", "x"), ProgrammingError);

  // A handle that outlives its host writes harmlessly.
  host.reset();
  count.set(4);
  runUntilIdle();
  EXPECT_EQ(*count, 4);
}

TEST_F(FormStateTest, DefaultsBindingsReadWriteAndRedraw) {
  auto host = FormHost::make([](FormHost& h) {
    return Form({Section(
        "General", {Toggle("Show tags", h.defaultsBool("hideTags").inverted()),
                    Toggle("Sounds", h.defaultsBool("sounds", true)),
                    Picker("Size", {{1, "Small"}, {2, "Large"}}, h.defaultsInt("size", 2))})});
  });
  EXPECT_TRUE(host->find(NodeKind::toggle, "Show tags")->isOn()) << "absent reads as false";
  EXPECT_TRUE(host->find(NodeKind::toggle, "Sounds")->isOn()) << "absent reads as the default";
  EXPECT_EQ(host->find(NodeKind::picker, "Size")->selection(), "2");

  EXPECT_TRUE(host->setToggle("Show tags", false));
  EXPECT_EQ(env().defaults->object("hideTags"), Value(true)) << "inverted: off stores true";
  EXPECT_TRUE(host->select("Size", "1"));
  EXPECT_EQ(env().defaults->object("size"), Value(std::int64_t{1}));
  EXPECT_FALSE(host->select("Size", "7")) << "not one of the options";
  runUntilIdle();
  EXPECT_FALSE(host->find(NodeKind::toggle, "Show tags")->isOn());
  EXPECT_EQ(host->find(NodeKind::picker, "Size")->selection(), "1");

  // A change made elsewhere redraws too.
  int before = host->renderCount();
  env().defaults->set("sounds", Value(false));
  runUntilIdle();
  EXPECT_EQ(host->renderCount(), before + 1);
  EXPECT_FALSE(host->find(NodeKind::toggle, "Sounds")->isOn());
}

TEST_F(FormStateTest, WrongTypedStoredValuesReadAsTheDefault) {
  auto host = FormHost::make([](FormHost&) { return VStack({}); });
  struct Case {
    const char* name;
    Value stored;
    bool asBool;
    std::int64_t asInt;
    double asDouble;
    std::string asString;
  };
  const Case cases[] = {
      {"string", Value(std::string("yes")), true, 7, 0.5, "yes"},
      {"bool", Value(false), false, 7, 0.5, "dflt"},
      {"whole double", Value(2.0), true, 2, 2.0, "dflt"},
      {"fractional double", Value(2.5), true, 7, 2.5, "dflt"},
      {"integer", Value(std::int64_t{3}), true, 3, 3.0, "dflt"},
      {"array", Value(Value::Array{Value(true)}), true, 7, 0.5, "dflt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    env().defaults->set("k", c.stored);
    EXPECT_EQ(host->defaultsBool("k", true).get(), c.asBool);
    EXPECT_EQ(host->defaultsInt("k", 7).get(), c.asInt);
    EXPECT_EQ(host->defaultsDouble("k", 0.5).get(), c.asDouble);
    EXPECT_EQ(host->defaultsString("k", "dflt").get(), c.asString);
  }
  // A slider dragged to a broken value stores nothing rather than failing.
  env().defaults->set("scale", Value(1.5));
  host->defaultsDouble("scale").set(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(env().defaults->object("scale"), Value(1.5));
}

TEST_F(FormStateTest, PresentationsAreAnsweredOnceAndGoWhenTheirCellTurnsFalse) {
  int resets = 0, cancels = 0, oks = 0;
  auto host = FormHost::make([&](FormHost& h) {
    auto confirm = h.cell<bool>("confirmReset");
    auto failed = h.cell<bool>("failed");
    return VStack({Button("Reset…", [confirm] { confirm.set(true); })
                       .confirmationDialog(confirm, "Reset everything?", std::nullopt,
                                           {destructive("Reset", [&] { ++resets; }),
                                            cancel("Cancel", [&] { ++cancels; })}),
                   Text("status").alert(failed, "It failed", "Try again later.",
                                        {defaultAction("OK", [&] { ++oks; })})});
  });
  auto confirm = host->cell<bool>("confirmReset");
  confirm.set(true);
  runUntilIdle();
  ASSERT_TRUE(host->presented());
  EXPECT_EQ(host->presented()->title, "Reset everything?");
  EXPECT_FALSE(host->pressKey(Key::returnKey)) << "Return never answers a destructive button";
  EXPECT_TRUE(host->answer("Reset"));
  EXPECT_FALSE(host->answer("Reset")) << "a second click before the redraw";
  EXPECT_FALSE(host->pressKey(Key::escape));
  runUntilIdle();
  EXPECT_EQ(resets, 1);
  EXPECT_EQ(cancels, 0);
  EXPECT_FALSE(*confirm);

  confirm.set(true);
  runUntilIdle();
  EXPECT_TRUE(host->pressKey(Key::escape));
  runUntilIdle();
  EXPECT_EQ(cancels, 1);

  auto failed = host->cell<bool>("failed");
  failed.set(true);
  runUntilIdle();
  EXPECT_TRUE(host->pressKey(Key::returnKey));
  runUntilIdle();
  EXPECT_EQ(oks, 1);

  // Shown, then withdrawn by the screen: gone, nothing answered.
  failed.set(true);
  runUntilIdle();
  ASSERT_TRUE(host->presented());
  failed.set(false);
  runUntilIdle();
  EXPECT_FALSE(host->presented());
  EXPECT_EQ(oks, 1);
}

TEST_F(FormStateTest, PresentationsGetThePlatformsMissingButtons) {
  auto host = FormHost::make([](FormHost& h) {
    return VStack({Text("a").alert(h.cell("alert", true), "Saved", std::nullopt),
                   Text("b").confirmationDialog(h.cell("dialog", false), "Quit?", std::nullopt,
                                                {destructive("Quit", nullptr)})});
  });
  const Node* alert = host->findByIdentity("vstack0/text:a");
  ASSERT_TRUE(alert);
  ASSERT_EQ(alert->presentations()[0].buttons.size(), 1u);
  EXPECT_EQ(alert->presentations()[0].defaultButton()->title(), "OK");
  const auto& dialog = host->findByIdentity("vstack0/text:b")->presentations()[0];
  ASSERT_TRUE(dialog.cancelButton());
  EXPECT_EQ(dialog.cancelButton()->title(), "Cancel");
}

}  // namespace
}  // namespace platform::forms
