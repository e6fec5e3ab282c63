#include "Platform/Accessibility/Accessibility.h"

#include <gtest/gtest.h>

#include "Support/SimTest.h"

namespace platform {
namespace {

class AccessibilityTest : public testing::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim().desktop->accessibility().setTrusted(true);
    pid = server().launchApplication("Safari", 700);
    back = server().openWindow(pid, Rect(0, 100, 500, 500), "Back");
    front = server().openWindow(pid, Rect(50, 150, 500, 500), "Front");
  }
  sim::SimWindowServer& server() { return sim().desktop->windowServer(); }
  Accessibility& ax() { return Accessibility::shared(); }
  std::vector<std::uint32_t> numbersOf(const AXValue& value) {
    std::vector<std::uint32_t> numbers;
    auto lookup = ax().lookUpWindowNumberFunction();
    for (const auto& element : elementsOf(value)) {
      std::uint32_t n = 0;
      EXPECT_EQ(lookup(element, n), AXError::success);
      numbers.push_back(n);
    }
    return numbers;
  }
  static std::vector<AXElement> elementsOf(const AXValue& value) {
    auto elements = value.asElementArray();
    EXPECT_TRUE(elements);
    return elements.value_or(std::vector<AXElement>{});
  }
  std::uint32_t numberOf(const AXValue& value) {
    return numbersOf(AXValue(AXValue::Array{value}))[0];
  }

  std::int32_t pid = 0;
  std::uint32_t back = 0, front = 0;
};

TEST_F(AccessibilityTest, ReadsAnApplicationsWindowsFrontToBack) {
  auto app = ax().createApplication(pid);
  AXValue windows;
  ASSERT_EQ(ax().copyAttributeValue(app, AXAttribute::windows, windows), AXError::success);
  EXPECT_EQ(numbersOf(windows), (std::vector<std::uint32_t>{front, back}));

  AXValue value;
  ASSERT_EQ(ax().copyAttributeValue(app, AXAttribute::mainWindow, value), AXError::success);
  EXPECT_EQ(numberOf(value), front);
  ASSERT_EQ(ax().copyAttributeValue(elementsOf(windows)[1], AXAttribute::minimized, value),
            AXError::success);
  EXPECT_EQ(value.asBool(), false);
  ASSERT_EQ(ax().copyAttributeValue(elementsOf(windows)[1], AXAttribute::title, value),
            AXError::success);
  EXPECT_EQ(*value.asString(), "Back");
  EXPECT_EQ(ax().copyAttributeValue(app, "AXNoSuchThing", value), AXError::attributeUnsupported);
  EXPECT_EQ(ax().copyAttributeValue(app, AXAttribute::extrasMenuBar, value), AXError::noValue);
}

TEST_F(AccessibilityTest, RestoresFocusesAndRaisesAWindow) {
  server().setMinimized(back, true);
  auto app = ax().createApplication(pid);
  auto element = ax().createApplication(pid);
  AXValue windows;
  ax().copyAttributeValue(app, AXAttribute::windows, windows);
  auto backElement = elementsOf(windows)[1];

  AXValue minimized;
  ax().copyAttributeValue(backElement, AXAttribute::minimized, minimized);
  EXPECT_EQ(minimized.asBool(), true);
  EXPECT_EQ(ax().setAttributeValue(backElement, AXAttribute::minimized, AXValue(false)),
            AXError::success);
  EXPECT_EQ(ax().setAttributeValue(app, AXAttribute::focusedWindow, AXValue(backElement)),
            AXError::success);
  EXPECT_EQ(ax().performAction(backElement, AXAction::raise), AXError::success);

  EXPECT_FALSE(server().foreignWindow(back)->minimized);
  EXPECT_EQ(server().stackingOrder().front(), back);
  AXValue focused;
  ax().copyAttributeValue(app, AXAttribute::focusedWindow, focused);
  EXPECT_EQ(numberOf(focused), back);
  EXPECT_EQ(sim().desktop->accessibility().operations(),
            (std::vector<std::string>{"#" + std::to_string(back) + " AXMinimized=false",
                                      "pid 700 AXFocusedWindow=#" + std::to_string(back),
                                      "#" + std::to_string(back) + " AXRaise"}));
  // Wrong value types and unsupported actions are refused.
  EXPECT_EQ(ax().setAttributeValue(backElement, AXAttribute::minimized, AXValue("no")),
            AXError::illegalArgument);
  EXPECT_EQ(ax().setAttributeValue(app, AXAttribute::focusedWindow, AXValue(element)),
            AXError::illegalArgument);
  EXPECT_EQ(ax().performAction(backElement, AXAction::press), AXError::actionUnsupported);
}

TEST_F(AccessibilityTest, AnswersThePlatformsErrorsForGoneThingsAndWithoutTrust) {
  auto app = ax().createApplication(pid);
  AXValue windows;
  ax().copyAttributeValue(app, AXAttribute::windows, windows);
  auto frontElement = elementsOf(windows)[0];
  AXValue value;

  // Every window minimised: no main window.
  server().setMinimized(front, true);
  server().setMinimized(back, true);
  EXPECT_EQ(ax().copyAttributeValue(app, AXAttribute::mainWindow, value), AXError::noValue);

  server().closeWindow(front);
  EXPECT_EQ(ax().copyAttributeValue(frontElement, AXAttribute::minimized, value),
            AXError::invalidUIElement);
  EXPECT_EQ(ax().performAction(frontElement, AXAction::raise), AXError::invalidUIElement);
  server().quitApplication(pid);
  EXPECT_EQ(ax().copyAttributeValue(app, AXAttribute::windows, value), AXError::cannotComplete);
  EXPECT_EQ(ax().copyAttributeValue(ax().createApplication(12345), AXAttribute::windows, value),
            AXError::cannotComplete);

  auto& sim = this->sim().desktop->accessibility();
  sim.setTrusted(false);
  EXPECT_FALSE(ax().isProcessTrusted());
  EXPECT_EQ(ax().copyAttributeValue(app, AXAttribute::windows, value), AXError::apiDisabled);
  EXPECT_EQ(ax().setAttributeValue(app, AXAttribute::focusedWindow, value), AXError::apiDisabled);
  EXPECT_EQ(ax().performAction(app, AXAction::raise), AXError::apiDisabled);
  EXPECT_FALSE(ax().isProcessTrustedWithOptions(Accessibility::TrustPrompt::silent));
  EXPECT_EQ(sim.promptCount(), 0);
  EXPECT_FALSE(ax().isProcessTrustedWithOptions(Accessibility::TrustPrompt::askUser));
  EXPECT_EQ(sim.promptCount(), 1);
}

TEST_F(AccessibilityTest, TheWindowNumberLookupMayBeUnavailable) {
  EXPECT_TRUE(ax().lookUpWindowNumberFunction());
  std::uint32_t number = 0;
  EXPECT_EQ(ax().lookUpWindowNumberFunction()(ax().createApplication(pid), number),
            AXError::illegalArgument);
  sim().desktop->accessibility().setWindowNumberLookupAvailable(false);
  EXPECT_FALSE(ax().lookUpWindowNumberFunction());
}

}  // namespace
}  // namespace platform
