#include "VoskaryAccount/SignIn/VoskarySignInScreen.h"

#include <optional>

#include "Platform/Foundation/Environment.h"
#include "Platform/Sim/SimDesktop.h"
#include "SignInFormFixture.h"

namespace voskary::testing {
namespace {

using platform::Color;
using platform::Rect;
using platform::URL;
using Hint = OAuthDriver::ProviderHint;
using Phase = VoskarySignInScreen::Phase;
namespace forms = platform::forms;

const Color accent = Color::sRGB(0.9, 0.4, 0.1);
const URL privacy("https://voskary.example/privacy");
const URL terms("https://voskary.example/terms");

class SignInScreenTest : public SignInFormFixture {
 protected:
  struct Options {
    Phase phase = Phase::ready();
    std::optional<std::string> email;
    bool withCancel = true;
    bool withRetry = true;
    bool withUseDifferent = true;
    bool withIcon = false;
    VoskaryProviderButtonStyle style = VoskaryProviderButtonStyle::dark(accent);
    std::string valueProp = "Tag your windows.";
  };

  VoskarySignInScreen screen(const Options& o) {
    auto count = [this](bool given, std::string name) -> std::function<void()> {
      if (!given) return nullptr;
      return [this, name] { fired.push_back(name); };
    };
    return VoskarySignInScreen(
        o.withIcon ? platform::Image::systemSymbol("app.icon") : nullptr, "Flagrig", o.valueProp,
        o.style, o.phase, privacy, terms, o.email,
        [this](Hint h) {
          fired.push_back(std::string("tap:") + std::string(OAuthDriver::rawValue(h)));
        },
        count(o.withCancel, "cancel"), count(o.withRetry, "retry"),
        count(o.withUseDifferent, "useDifferent"));
  }
  void showScreen(const Options& o) {
    auto value = screen(o);
    show([value] { return value.body(); });
  }
  std::vector<std::string> openedURLs() {
    std::vector<std::string> out;
    auto& desktop = static_cast<platform::sim::SimDesktop&>(*platform::env().desktop);
    for (const auto& url : desktop.workspace().openedURLs()) out.push_back(url.absoluteString());
    return out;
  }
  Rect frameOf(const forms::FormLayoutResult& layout, std::string_view key) {
    const Node* node = keyed(key);
    EXPECT_TRUE(node) << key;
    return node ? *layout.frameOf(node->identity()) : Rect();
  }

  std::vector<std::string> fired;
};

TEST_F(SignInScreenTest, PhaseEmailAndCancelChooseTheBlockItsRowsAndTheirStates) {
  struct Case {
    const char* name;
    Phase phase;
    std::optional<std::string> email;
    bool withCancel;
    const char* block;
    bool error, progress, cancel;
    bool providersEnabled, useDifferentEnabled;
  };
  const std::string mail = "ann@example.com";
  const Case cases[] = {
      {"ready", Phase::ready(), {}, true, "signedOut", false, false, false, true, false},
      {"error", Phase::error("Nope."), {}, true, "signedOut", true, false, false, true, false},
      {"busy", Phase::busy(), {}, true, "signedOut", false, true, true, false, false},
      {"busy without cancel",
       Phase::busy(),
       {},
       false,
       "signedOut",
       false,
       true,
       false,
       false,
       false},
      {"offline", Phase::offline(), {}, true, "offline", false, false, false, false, false},
      {"account ready", Phase::ready(), mail, true, "account", false, false, false, false, true},
      {"account error", Phase::error("Nope."), mail, true, "account", true, false, false, false,
       true},
      {"account busy", Phase::busy(), mail, true, "account", false, true, false, false, false},
      {"account offline", Phase::offline(), mail, true, "offline", false, false, false, false,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    showScreen({.phase = c.phase, .email = c.email, .withCancel = c.withCancel});
    for (const char* block : {"signedOut", "account", "offline"}) {
      EXPECT_EQ(keyed(block) != nullptr, std::string(block) == c.block) << block;
    }
    // Header and footer stay in every case.
    EXPECT_TRUE(host->find(NodeKind::text, "Flagrig"));
    EXPECT_TRUE(host->find(NodeKind::link, "Privacy Policy"));
    EXPECT_TRUE(host->find(NodeKind::link, "Terms of Service"));

    const Node* blockNode = keyed(c.block);
    ASSERT_TRUE(blockNode);
    const Node* error = keyed("error");
    EXPECT_EQ(error != nullptr, c.error);
    if (error) {
      EXPECT_EQ(&blockNode->children().front(), error) << "the error row comes first";
      EXPECT_EQ(error->text(), "Nope.");
      EXPECT_EQ(error->accessibilityLabel(), "Nope.");
    }
    const Node* progress = keyed("progress");
    EXPECT_EQ(progress != nullptr, c.progress);
    if (progress) {
      EXPECT_EQ(&blockNode->children().back(), progress) << "the progress row comes last";
      EXPECT_TRUE(progress->isAccessibilityCombined());
      EXPECT_TRUE(host->find(NodeKind::text, "Signing in to Flagrig\u2026"));
      EXPECT_EQ(progress->padding().top, 2);
    }
    EXPECT_EQ(host->find(NodeKind::button, "Cancel sign-in") != nullptr, c.cancel);
    if (c.cancel) {
      EXPECT_TRUE(enabled("Cancel sign-in"));
      auto titles = buttonTitles();
      auto email = std::find(titles.begin(), titles.end(), "Continue with email");
      ASSERT_NE(email, titles.end());
      EXPECT_EQ(*(email + 1), "Cancel sign-in") << "directly under the e-mail button";
    }
    bool providers = std::string(c.block) == "signedOut";
    for (const char* title : {"Sign in with Apple", "Sign in with Google", "Continue with email"}) {
      EXPECT_EQ(host->find(NodeKind::button, title) != nullptr, providers) << title;
      if (providers) {
        EXPECT_EQ(enabled(title), c.providersEnabled) << title;
      }
    }
    bool account = std::string(c.block) == "account";
    EXPECT_EQ(host->find(NodeKind::button, "Use a different account") != nullptr, account);
    if (account) {
      EXPECT_EQ(enabled("Use a different account"), c.useDifferentEnabled);
      EXPECT_TRUE(host->find(NodeKind::text, "Signed in as"));
      EXPECT_TRUE(host->find(NodeKind::text, "ann@example.com"));
    }
    EXPECT_EQ(host->find(NodeKind::button, "Retry") != nullptr, std::string(c.block) == "offline");
  }
}

TEST_F(SignInScreenTest, EveryControlFiresItsCallbackOrOpensItsURL) {
  showScreen({});
  EXPECT_TRUE(host->tap("Sign in with Apple"));
  EXPECT_TRUE(host->tap("Sign in with Google"));
  EXPECT_TRUE(host->tap("Continue with email"));
  EXPECT_TRUE(host->tap("Privacy Policy"));
  EXPECT_TRUE(host->tap("Terms of Service"));
  EXPECT_EQ(fired, (std::vector<std::string>{"tap:apple", "tap:google", "tap:email"}));
  EXPECT_EQ(openedURLs(),
            (std::vector<std::string>{privacy.absoluteString(), terms.absoluteString()}));

  fired.clear();
  showScreen({.phase = Phase::busy()});
  EXPECT_FALSE(host->tap("Sign in with Google")) << "disabled while busy";
  EXPECT_TRUE(host->tap("Cancel sign-in"));
  EXPECT_TRUE(host->tap("Privacy Policy")) << "the footer stays live";
  EXPECT_EQ(fired, (std::vector<std::string>{"cancel"}));

  fired.clear();
  showScreen({.phase = Phase::offline()});
  EXPECT_TRUE(host->tap("Retry"));
  showScreen({.phase = Phase::offline(), .withRetry = false});
  EXPECT_TRUE(host->find(NodeKind::button, "Retry")) << "shown without a callback";
  EXPECT_TRUE(enabled("Retry"));
  EXPECT_TRUE(host->tap("Retry")) << "and does nothing";
  EXPECT_EQ(fired, (std::vector<std::string>{"retry"}));

  fired.clear();
  showScreen({.email = "ann@example.com"});
  EXPECT_TRUE(host->tap("Use a different account"));
  showScreen({.phase = Phase::busy(), .email = "ann@example.com"});
  EXPECT_FALSE(host->tap("Use a different account"));
  showScreen({.email = "ann@example.com", .withUseDifferent = false});
  EXPECT_TRUE(host->tap("Use a different account")) << "inert without a callback";
  EXPECT_EQ(fired, (std::vector<std::string>{"useDifferent"}));
}

TEST_F(SignInScreenTest, BothPalettes) {
  struct Case {
    VoskaryProviderButtonStyle style;
    Color primary, secondary, error, retryLabel;
  };
  const Case cases[] = {
      {VoskaryProviderButtonStyle::light(accent), Color::sRGB(0.10, 0.10, 0.12),
       Color::sRGB(0.10, 0.10, 0.12, 0.6), Color::sRGB(0.75, 0.18, 0.16),
       Color::sRGB(0.12, 0.10, 0.08)},
      {VoskaryProviderButtonStyle::dark(accent), Color::sRGB(0.96, 0.95, 1.00),
       Color::sRGB(1, 1, 1, 0.6), Color::sRGB(1.00, 0.45, 0.42), Color::sRGB(1, 1, 1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style.isDark() ? "dark" : "light");
    showScreen({.phase = Phase::error("Nope."), .email = "ann@example.com", .style = c.style});
    EXPECT_EQ(keyed("appName")->foreground(), c.primary);
    EXPECT_EQ(keyed("valueProp")->foreground(), c.secondary);
    EXPECT_EQ(keyed("error")->foreground(), c.error);
    EXPECT_EQ(keyed("email")->foreground(), c.primary);
    EXPECT_EQ(host->find(NodeKind::text, "Signed in as")->foreground(), c.secondary);
    EXPECT_EQ(host->find(NodeKind::text, "Use a different account")->foreground(), c.secondary);
    for (const char* link : {"Privacy Policy", "Terms of Service"}) {
      EXPECT_EQ(host->find(NodeKind::link, link)->foreground(), c.secondary) << link;
    }
    EXPECT_EQ(host->find(NodeKind::text, "\u00B7")->foreground(), c.secondary);

    showScreen({.phase = Phase::offline(), .style = c.style});
    const Node* card = keyed("offline");
    ASSERT_EQ(card->overlays().size(), 1u);
    const auto& border = card->overlays()[0].shape();
    ASSERT_TRUE(border.stroke);
    EXPECT_NEAR(border.stroke->alphaComponent(), 0.21, 1e-12);
    EXPECT_EQ(border.stroke->withAlphaComponent(1), c.secondary.withAlphaComponent(1));
    EXPECT_FALSE(border.fill);
    EXPECT_EQ(border.cornerRadius, 16);
    EXPECT_EQ(host->find(NodeKind::text, "Can't reach Voskary")->foreground(), c.primary);
    EXPECT_EQ(host->find(NodeKind::text, "Check your connection and try again.")->foreground(),
              c.secondary);
    EXPECT_EQ(host->find(NodeKind::text, "Retry")->foreground(), c.retryLabel);
    EXPECT_EQ(keyed("retry")->backgrounds().at(0).shape().fill, accent);
  }
}

TEST_F(SignInScreenTest, HeaderShowsTheIconOnlyWhenGiven) {
  showScreen({});
  const Node* header = keyed("header");
  EXPECT_EQ(header->children().front().text(), "Flagrig");
  EXPECT_FALSE(keyed("icon"));
  showScreen({.withIcon = true});
  const Node* icon = keyed("icon");
  ASSERT_TRUE(icon);
  EXPECT_EQ(&keyed("header")->children().front(), icon);
  EXPECT_TRUE(icon->isAccessibilityHidden());
  EXPECT_EQ(icon->clipCornerRadius(), 22);
  auto layout = forms::FormLayout::layout(host->tree(), {600, 800});
  EXPECT_EQ(frameOf(layout, "icon").size, (platform::Size{96, 96}));
}

TEST_F(SignInScreenTest, TallWindowsCentreThePageAndShortOnesScrollIt) {
  showScreen({});
  // Tall: the page fills the window, spacers stop at 96 and the rest centres the content.
  auto tall = forms::FormLayout::layout(host->tree(), {800, 1400});
  Rect page = frameOf(tall, "page");
  EXPECT_EQ(page.height(), 1400);
  Rect top = frameOf(tall, "topSpacer"), bottom = frameOf(tall, "bottomSpacer");
  EXPECT_EQ(top.height(), 96);
  EXPECT_EQ(bottom.height(), 96);
  Rect footer = frameOf(tall, "footer");
  EXPECT_NEAR(top.y() - 32, 1400 - 32 - footer.maxY(), 1) << "equal room above and below";
  EXPECT_EQ(frameOf(tall, "signedOut").width(), 360) << "never wider than 360";
  EXPECT_NEAR(frameOf(tall, "signedOut").midX(), 400, 0.5);

  // Short: the page scrolls and each spacer keeps 24.
  auto shortLayout = forms::FormLayout::layout(host->tree(), {420, 300});
  EXPECT_EQ(shortLayout.size, (platform::Size{420, 300}));
  ASSERT_EQ(shortLayout.scrollContentSizes.size(), 1u);
  EXPECT_GT(shortLayout.scrollContentSizes.begin()->second.height, 300);
  EXPECT_EQ(frameOf(shortLayout, "topSpacer").height(), 24);
  EXPECT_EQ(frameOf(shortLayout, "bottomSpacer").height(), 24);
  EXPECT_EQ(frameOf(shortLayout, "signedOut").width(), 420 - 64);

  // A long value proposition and error wrap and grow the page; a long e-mail stays one line.
  std::string longText(400, 'x');
  for (std::size_t i = 9; i < longText.size(); i += 10) longText[i] = ' ';
  showScreen({.phase = Phase::error(longText), .valueProp = longText});
  auto grown = forms::FormLayout::layout(host->tree(), {420, 300});
  EXPECT_GT(frameOf(grown, "error").height(), 3 * 16);
  EXPECT_GT(frameOf(grown, "valueProp").height(), 3 * 18);
  EXPECT_GT(grown.scrollContentSizes.begin()->second.height,
            shortLayout.scrollContentSizes.begin()->second.height);
  showScreen({.email = std::string(200, 'a') + "@example.com"});
  auto mail = forms::FormLayout::layout(host->tree(), {420, 600});
  EXPECT_EQ(frameOf(mail, "email").height(), platform::Font::systemFont(15).lineHeight());
  EXPECT_LE(frameOf(mail, "email").width(), 356);
  EXPECT_EQ(keyed("email")->truncation(), forms::Truncation::middle);
}

TEST(SignInScreenPhaseTest, EqualityComparesCaseAndMessage) {
  EXPECT_EQ(Phase::error("a"), Phase::error("a"));
  EXPECT_NE(Phase::error("a"), Phase::error("b"));
  EXPECT_NE(Phase::ready(), Phase::busy());
  EXPECT_NE(Phase::error(""), Phase::ready());
}

}  // namespace
}  // namespace voskary::testing
