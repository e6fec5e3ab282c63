// The sign-in screen drawn by the Qt form renderer on a private X desktop.
#include <QApplication>
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include "Platform/Desktop/Window.h"
#include "Platform/Linux/Qt/QtFormRenderer.h"
#include "PlatformTests/Linux/Qt/QtFormWindowTest.h"
#include "Support/Qt/WindowScreenshot.h"
#include "VoskaryAccount/SignIn/VoskarySignInScreen.h"

namespace voskary::testing {
namespace {

using platform::Color;
using platform::Rect;
using platform::Window;
using platform::linuxbackend::QtFormRenderer;
using Hint = OAuthDriver::ProviderHint;
using Phase = VoskarySignInScreen::Phase;
namespace forms = platform::forms;

const Color accent = Color::sRGB(0.95, 0.45, 0.15);
const Color backdrop = Color::sRGB(0.08, 0.08, 0.10);

class SignInScreenQtTest : public platform::testing::QtFormWindowTest {
 protected:
  void SetUp() override {
    platform::testing::QtDesktopTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    host = forms::FormHost::make([this](forms::FormHost& h) {
      int phase = h.cell("phase", 0).get();
      std::string name = h.cell("appName", "Flagrig").get();
      std::optional<std::string> email;
      if (phase == 4) email = "ann@example.com";
      const Phase phases[] = {Phase::ready(), Phase::busy(),
                              Phase::error("The browser sign-in was refused. Try again."),
                              Phase::offline(), Phase::ready()};
      return VoskarySignInScreen(
                 nullptr, name, "Pin small coloured tags to your windows.",
                 VoskaryProviderButtonStyle::dark(accent), phases[phase],
                 platform::URL("https://voskary.example/privacy"),
                 platform::URL("https://voskary.example/terms"), email,
                 [this](Hint hint) { taps.push_back(hint); }, [this] { ++cancels; }, nullptr,
                 nullptr)
          .body()
          .colorScheme(forms::ColorScheme::dark)
          .accentColor(accent);
    });
    auto screen = desktop().screens().front()->frame();
    window = std::make_shared<Window>(Rect(120, screen.height() - 80 - 640, 440, 640),
                                      platform::StyleMask::titled | platform::StyleMask::closable);
    window->setTitle("Sign in");
    window->setBackgroundColor(backdrop);
    presentAndWait(440);
  }

  // The node with that key in the host's tree.
  const forms::Node* keyed(std::string_view key, const forms::Node* from = nullptr) const {
    return forms::findKeyed(from ? *from : host->tree(), key);
  }
  QWidget* widgetOf(std::string_view key) {
    const forms::Node* node = keyed(key);
    return node ? renderer->widgetFor(node->identity()) : nullptr;
  }
  void setPhase(int phase) {
    if (host->cell("phase", 0).get() == phase) return;
    int before = host->renderCount();
    host->cell("phase", 0).set(phase);
    ASSERT_TRUE(runUntil([&] { return host->renderCount() > before; }));
    runFor(0.15);
  }
  // The window's pixels as Qt draws them, kept as a file.
  QImage shoot(const std::string& name) {
    return platform::testing::keepScreenshot(*renderer->rootWidget(), name);
  }
  QColor colourAt(const QImage& image, QWidget* widget, QPoint offset) {
    QPoint p = widget->mapTo(widget->window(), offset);
    return image.pixelColor(p);
  }

  std::vector<Hint> taps;
  int cancels = 0;
};

TEST_F(SignInScreenQtTest, EachPhaseIsDrawnInAWindow) {
  const char* names[] = {"signin-ready", "signin-busy", "signin-error", "signin-offline",
                         "signin-account"};
  for (int phase = 0; phase < 5; ++phase) {
    SCOPED_TRACE(names[phase]);
    setPhase(phase);
    QImage image = shoot(names[phase]);
    ASSERT_FALSE(image.isNull());
    QColor back = image.pixelColor(5, image.height() - 5);
    EXPECT_TRUE(platform::testing::near(back, QColor(20, 20, 26), 6)) << back.name().toStdString();
    if (phase <= 2) {
      // Dark style: a white Apple button (dimmed while busy), a near-black Google button with its
      // border, the e-mail button in the accent.
      QWidget* apple = widgetOf("apple");
      ASSERT_TRUE(apple);
      QColor appleFill = colourAt(image, apple, QPoint(apple->width() - 6, apple->height() / 2));
      if (phase == 1) {
        // White at 55 %, and faded as a disabled control, over the backdrop.
        double k = 0.55 * QtFormRenderer::disabledOpacity;
        QColor dimmed = QColor::fromRgbF(static_cast<float>(k + (1 - k) * 0.08),
                                         static_cast<float>(k + (1 - k) * 0.08),
                                         static_cast<float>(k + (1 - k) * 0.10));
        EXPECT_TRUE(platform::testing::near(appleFill, dimmed, 10))
            << appleFill.name().toStdString();
      } else {
        EXPECT_TRUE(platform::testing::near(appleFill, Qt::white))
            << appleFill.name().toStdString();
      }
      QWidget* google = widgetOf("google");
      ASSERT_TRUE(google);
      QColor googleFill =
          colourAt(image, google, QPoint(google->width() - 8, google->height() / 2));
      EXPECT_TRUE(platform::testing::near(googleFill, QColor(19, 19, 20), 12))
          << googleFill.name().toStdString();
      QWidget* email = widgetOf("email");
      QColor emailFill = colourAt(image, email, QPoint(email->width() - 6, email->height() / 2));
      if (phase != 1) {
        EXPECT_TRUE(platform::testing::near(emailFill, QColor::fromRgbF(0.95f, 0.45f, 0.15f)))
            << emailFill.name().toStdString();
      }
      EXPECT_EQ(widgetOf("progress") != nullptr, phase == 1);
      EXPECT_EQ(widgetOf("cancel") != nullptr, phase == 1);
      EXPECT_EQ(widgetOf("error") != nullptr, phase == 2);
    } else {
      EXPECT_FALSE(widgetOf("apple")) << "the provider buttons are gone";
      EXPECT_EQ(widgetOf("offline") != nullptr, phase == 3);
      EXPECT_EQ(widgetOf("useDifferentAccount") != nullptr, phase == 4);
    }
  }
  // And once from the X server itself, as a user sees it.
  QImage screen = screenshot("signin-screen");
  EXPECT_FALSE(screen.isNull());
}

TEST_F(SignInScreenQtTest, AClickOnGoogleReachesOnTap) {
  QWidget* google = widgetOf("google");
  ASSERT_TRUE(google);
  QPoint at = google->mapToGlobal(QPoint(google->width() / 2, google->height() / 2));
  ASSERT_TRUE(xdotool({"mousemove", "--sync", std::to_string(at.x()), std::to_string(at.y())}));
  ASSERT_TRUE(xdotool({"click", "1"}));
  EXPECT_TRUE(runUntil([&] { return !taps.empty(); }, 10));
  EXPECT_EQ(taps, std::vector<Hint>{Hint::google});

  // Busy: the same click does nothing; "Cancel sign-in" answers.
  setPhase(1);
  ASSERT_TRUE(xdotool({"click", "1"}));
  runFor(0.3);
  EXPECT_EQ(taps.size(), 1u);
  QWidget* cancel = widgetOf("cancel");
  ASSERT_TRUE(cancel);
  at = cancel->mapToGlobal(QPoint(cancel->width() / 2, cancel->height() / 2));
  ASSERT_TRUE(xdotool({"mousemove", "--sync", std::to_string(at.x()), std::to_string(at.y())}));
  ASSERT_TRUE(xdotool({"click", "1"}));
  EXPECT_TRUE(runUntil([&] { return cancels == 1; }, 10));
}

TEST_F(SignInScreenQtTest, ARedrawKeepsTheWidgetsOfNodesThatStay) {
  QWidget* name = widgetOf("appName");
  QWidget* google = widgetOf("google");
  ASSERT_TRUE(name && google);
  int created = renderer->widgetsCreated();

  int before = host->renderCount();
  host->cell<std::string>("appName").set("Flagrig Beta");
  ASSERT_TRUE(runUntil([&] { return host->renderCount() > before; }));
  EXPECT_EQ(widgetOf("appName"), name) << "a text change does not recreate its widget";
  EXPECT_EQ(widgetOf("google"), google);
  EXPECT_EQ(renderer->widgetsCreated(), created);

  // Busy adds the progress row and the cancel control and keeps the rest.
  setPhase(1);
  EXPECT_EQ(widgetOf("google"), google);
  EXPECT_EQ(widgetOf("appName"), name);
  EXPECT_GT(renderer->widgetsCreated(), created);
  ASSERT_TRUE(widgetOf("progress"));
  // Back to ready: they go again.
  setPhase(0);
  EXPECT_FALSE(widgetOf("progress"));
  EXPECT_EQ(widgetOf("google"), google);
}

TEST_F(SignInScreenQtTest, AFormOutlivingItsWindowRendersOnWithoutWidgets) {
  QPointer<QWidget> google = widgetOf("google");
  ASSERT_TRUE(google);
  window->close();
  window.reset();
  runFor(0.1);
  EXPECT_TRUE(google.isNull()) << "the widgets went with the native window";
  setPhase(1);
  EXPECT_FALSE(renderer->widgetFor(keyed("google")->identity()));
  EXPECT_TRUE(host->find(forms::NodeKind::button, "Cancel sign-in")) << "the form itself goes on";
}

}  // namespace
}  // namespace voskary::testing
