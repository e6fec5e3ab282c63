#include "Platform/Desktop/Workspace.h"

#include <gtest/gtest.h>

#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Pasteboard.h"
#include "Support/SimTest.h"

namespace platform {
namespace {

class WorkspaceTest : public testing::SimTest {
 protected:
  sim::SimWorkspace& recorder() { return sim().desktop->workspace(); }
  Workspace& workspace() { return Workspace::shared(); }
  static URL url(std::string_view text) { return *URL::parse(text); }
};

TEST_F(WorkspaceTest, OpensAddressesThatHaveAHandlerAndRecordsEverything) {
  EXPECT_TRUE(workspace().openURL(url("https://example.com/flagrig")));
  recorder().setURLHandler(
      [](const URL& u) { return u.absoluteString().find("PrivacySecurity") == std::string::npos; });
  EXPECT_FALSE(
      workspace().openURL(url("x-apple.systempreferences:com.apple.settings.PrivacySecurity."
                              "extension?Privacy_Accessibility")));
  EXPECT_TRUE(workspace().openURL(
      url("x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility")));
  ASSERT_EQ(recorder().openedURLs().size(), 2u);
  EXPECT_EQ(recorder().openedURLs()[1].scheme(), "x-apple.systempreferences");
  EXPECT_EQ(recorder().refusedURLs().size(), 1u);

  workspace().activateFileViewerSelecting({"/Applications/Flagrig.app"});
  EXPECT_EQ(recorder().revealedFiles(),
            (std::vector<std::vector<std::string>>{{"/Applications/Flagrig.app"}}));
}

TEST_F(WorkspaceTest, LaunchesReportBackLaterOnTheMainLoop) {
  std::vector<std::string> outcomes;
  auto record = [&](std::shared_ptr<RunningApplication> app, std::optional<std::string> error) {
    outcomes.push_back(app ? "launched " + app->localizedName() : "failed: " + *error);
  };
  WorkspaceOpenConfiguration newInstance{true, true};
  workspace().openApplication("/Applications/Flagrig.app", newInstance, record);
  EXPECT_TRUE(outcomes.empty());
  runUntilIdle();
  recorder().setLaunchFailure("The application could not be found.");
  workspace().openApplication("/Applications/Flagrig.app", newInstance, record);
  runUntilIdle();
  EXPECT_EQ(outcomes, (std::vector<std::string>{"launched Flagrig.app",
                                                "failed: The application could not be found."}));
  ASSERT_EQ(recorder().launches().size(), 2u);
  EXPECT_EQ(recorder().launches()[0].configuration, newInstance);
}

TEST_F(WorkspaceTest, RunningApplicationsActivateUntilTheyQuit) {
  auto& server = sim().desktop->windowServer();
  auto pid = server.launchApplication("Safari");
  auto safari = workspace().runningApplication(pid);
  ASSERT_TRUE(safari);
  EXPECT_TRUE(safari->activate());
  EXPECT_EQ(sim().desktop->frontmostPID(), pid);

  auto self = workspace().runningApplication(server.ownPID());
  ASSERT_TRUE(self);
  EXPECT_TRUE(self->activate());
  EXPECT_TRUE(Application::shared().isActive());

  server.quitApplication(pid);
  EXPECT_TRUE(safari->isTerminated());
  EXPECT_FALSE(safari->activate());
  EXPECT_EQ(workspace().runningApplication(pid), nullptr);
  EXPECT_EQ(workspace().runningApplication(31337), nullptr);
}

TEST_F(WorkspaceTest, ThePasteboardHoldsWhatWasLastWritten) {
  auto& board = Pasteboard::general();
  EXPECT_FALSE(board.string());
  long count = board.clearContents();
  EXPECT_TRUE(board.setString("K7Q2"));
  EXPECT_EQ(board.string(), "K7Q2");
  EXPECT_GT(board.clearContents(), count);
  EXPECT_FALSE(board.string());
}

}  // namespace
}  // namespace platform
