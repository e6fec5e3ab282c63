#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Flagrig/Onboarding/LoginFirstFlowModel.h"

namespace flagrig::testing {
namespace {

using Field = LoginFirstFlowModel::Field;

TEST(LoginFirstFlowModelTest, OnlyRealChangesNotifyAndEachOnce) {
  LoginFirstFlowModel model(LoginFirstStep::signIn);
  std::vector<Field> heard;
  auto observation = model.observe([&](Field f) { heard.push_back(f); });

  struct Case {
    const char* what;
    std::function<void()> write;
    std::vector<Field> expected;
  };
  const std::string text = "Service unavailable.";
  const std::vector<Case> cases = {
      {"same step", [&] { model.setStep(LoginFirstStep::signIn); }, {}},
      {"same working flag", [&] { model.setWorking(false); }, {}},
      {"absent message cleared", [&] { model.clearErrorMessage(); }, {}},
      {"new step", [&] { model.setStep(LoginFirstStep::permissions); }, {Field::step}},
      {"working", [&] { model.setWorking(true); }, {Field::isWorking}},
      {"message", [&] { model.setErrorMessage(text); }, {Field::errorMessage}},
      // Another string with the same content is the same value.
      {"equal message", [&] { model.setErrorMessage(std::string(text.c_str())); }, {}},
      {"other message",
       [&] { model.setErrorMessage("Sign-in failed. Try again."); },
       {Field::errorMessage}},
      {"empty is not absent", [&] { model.setErrorMessage(""); }, {Field::errorMessage}},
      {"cleared", [&] { model.clearErrorMessage(); }, {Field::errorMessage}},
  };
  for (const auto& c : cases) {
    heard.clear();
    c.write();
    EXPECT_EQ(heard, c.expected) << c.what;
  }
}

TEST(LoginFirstFlowModelTest, ARemovedObserverHearsNothingEvenMidNotification) {
  LoginFirstFlowModel model(LoginFirstStep::signIn);
  int first = 0, second = 0;
  std::unique_ptr<LoginFirstFlowModel::Observation> b;
  auto a = model.observe([&](Field) {
    ++first;
    b.reset();  // the first observer ends the second one while the change is being told
  });
  b = model.observe([&](Field) { ++second; });
  model.setWorking(true);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 0);
  a.reset();
  EXPECT_EQ(model.observerCount(), 0u);
  model.setWorking(false);
  EXPECT_EQ(first, 1);
}

TEST(LoginFirstFlowModelTest, AnObservationMayOutliveItsModel) {
  auto model = std::make_unique<LoginFirstFlowModel>(LoginFirstStep::permissions);
  auto observation = model->observe([](Field) {});
  model.reset();
  observation.reset();  // no crash
}

}  // namespace
}  // namespace flagrig::testing
