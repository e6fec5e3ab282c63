#include "VoskaryAccount/SignIn/VoskaryProviderButtons.h"

#include <optional>

#include "SignInFormFixture.h"
#include "VoskaryAccount/SignIn/GoogleGGlyph.h"

namespace voskary::testing {
namespace {

using platform::Color;
using platform::Point;
using platform::Size;
using Hint = OAuthDriver::ProviderHint;
namespace forms = platform::forms;

const Color accent = Color::sRGB(0.9, 0.4, 0.1);

class ProviderButtonsTest : public SignInFormFixture {
 protected:
  void showButtons(VoskaryProviderButtonStyle style, bool busy, bool withCancel) {
    show([=, this] {
      return VoskaryProviderButtons(style, busy,
                                    withCancel ? [this] { ++cancels; } : std::function<void()>(),
                                    [this](Hint h) { taps.push_back(h); })
          .body();
    });
  }
  // The colour the button's shape at `layer` (0 fill, 1 border of the Google button) is
  // painted with.
  const forms::ShapeStyle& shapeOf(std::string_view key, std::size_t layer = 0) {
    const Node* button = keyed(key);
    const Node& background = button->backgrounds().at(0);
    return background.kind() == NodeKind::zstack ? background.children().at(layer).shape()
                                                 : background.shape();
  }
  Color titleColour(std::string_view title) {
    return *host->find(NodeKind::text, title)->foreground();
  }

  std::vector<Hint> taps;
  int cancels = 0;
};

TEST_F(ProviderButtonsTest, RowsAndTheirStatesFollowBusyAndCancel) {
  struct Case {
    bool busy, withCancel;
    std::vector<std::string> titles;
  };
  const std::vector<std::string> three = {"Sign in with Apple", "Sign in with Google",
                                          "Continue with email"};
  std::vector<std::string> four = three;
  four.push_back("Cancel sign-in");
  const Case cases[] = {
      {false, false, three}, {false, true, three}, {true, false, three}, {true, true, four}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "busy " << c.busy << " cancel " << c.withCancel);
    showButtons(VoskaryProviderButtonStyle::dark(accent), c.busy, c.withCancel);
    EXPECT_EQ(buttonTitles(), c.titles);
    for (const auto& title : three) {
      EXPECT_EQ(enabled(title), !c.busy) << title;
      EXPECT_EQ(host->find(NodeKind::button, title)->accessibilityLabel(), title);
    }
    if (c.titles.size() == 4) {
      EXPECT_TRUE(enabled("Cancel sign-in")) << "cancelling is never disabled";
      const Node* cancel = host->find(NodeKind::button, "Cancel sign-in");
      EXPECT_EQ(cancel->padding().top, 2);
      EXPECT_EQ(cancel->font(), platform::Font::systemFont(13, platform::FontWeight::medium));
    }
    const Node& column = host->tree();
    EXPECT_EQ(column.kind(), NodeKind::vstack);
    EXPECT_EQ(column.spacing(), 10);
  }
}

TEST_F(ProviderButtonsTest, EveryControlFiresItsCallbackAndDisabledOnesAreInert) {
  showButtons(VoskaryProviderButtonStyle::light(accent), false, true);
  EXPECT_TRUE(host->tap("Sign in with Apple"));
  EXPECT_TRUE(host->tap("Sign in with Google"));
  EXPECT_TRUE(host->tap("Continue with email"));
  EXPECT_EQ(taps, (std::vector<Hint>{Hint::apple, Hint::google, Hint::email}));
  EXPECT_FALSE(host->tap("Cancel sign-in")) << "not shown while idle";

  taps.clear();
  showButtons(VoskaryProviderButtonStyle::light(accent), true, true);
  EXPECT_FALSE(host->tap("Sign in with Apple"));
  EXPECT_FALSE(host->tap("Sign in with Google"));
  EXPECT_FALSE(host->tap("Continue with email"));
  EXPECT_TRUE(taps.empty());
  EXPECT_TRUE(host->tap("Cancel sign-in"));
  EXPECT_EQ(cancels, 1);
}

TEST_F(ProviderButtonsTest, BothPalettesAndTheAccent) {
  struct Case {
    VoskaryProviderButtonStyle style;
    Color appleFill, appleText, googleFill, googleBorder, googleText, emailText, cancelText;
  };
  const Case cases[] = {
      {VoskaryProviderButtonStyle::light(accent), Color::sRGB(0, 0, 0), Color::sRGB(1, 1, 1),
       Color::sRGB(1, 1, 1), Color::sRGB(0.86, 0.87, 0.88), Color::sRGB(0.12, 0.12, 0.13),
       Color::sRGB(0.12, 0.10, 0.08), Color::sRGB(0.12, 0.12, 0.13, 0.65)},
      {VoskaryProviderButtonStyle::dark(accent), Color::sRGB(1, 1, 1), Color::sRGB(0, 0, 0),
       Color::sRGB(0.075, 0.075, 0.08), Color::sRGB(0.235, 0.251, 0.263),
       Color::sRGB(0.89, 0.89, 0.89), Color::sRGB(1, 1, 1), Color::sRGB(1, 1, 1, 0.65)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style.isDark() ? "dark" : "light");
    showButtons(c.style, true, true);
    EXPECT_EQ(shapeOf("apple").fill, c.appleFill);
    EXPECT_EQ(shapeOf("apple").cornerRadius, 12);
    EXPECT_EQ(titleColour("Sign in with Apple"), c.appleText);
    const Node* appleMark = keyed(*keyed("apple"), "mark");
    EXPECT_EQ(appleMark->kind(), NodeKind::canvas);
    EXPECT_EQ(appleMark->foreground(), c.appleText) << "the logo takes the title's colour";

    EXPECT_EQ(shapeOf("google", 0).fill, c.googleFill);
    EXPECT_FALSE(shapeOf("google", 0).stroke);
    EXPECT_EQ(shapeOf("google", 1).stroke, c.googleBorder) << "the border lies over the fill";
    EXPECT_FALSE(shapeOf("google", 1).fill);
    EXPECT_EQ(shapeOf("google", 1).lineWidth, 1);
    EXPECT_TRUE(shapeOf("google", 1).strokeInside);
    EXPECT_EQ(titleColour("Sign in with Google"), c.googleText);

    EXPECT_EQ(shapeOf("email").fill, accent);
    EXPECT_EQ(titleColour("Continue with email"), c.emailText);
    EXPECT_EQ(keyed(*keyed("email"), "mark")->kind(), NodeKind::canvas);
    EXPECT_EQ(keyed(*keyed("email"), "mark")->foreground(), c.emailText);
    EXPECT_EQ(titleColour("Cancel sign-in"), c.cancelText);
  }

  // Another accent changes the e-mail fill and nothing else.
  Color other = Color::sRGB(0.1, 0.5, 0.9);
  EXPECT_EQ(VoskaryProviderButtonStyle::dark(other).emailFill(), other);
  auto a = VoskaryProviderButtonStyle::dark(accent), b = VoskaryProviderButtonStyle::dark(other);
  EXPECT_EQ(a.appleFill(), b.appleFill());
  EXPECT_EQ(a.googleFill(), b.googleFill());
  EXPECT_EQ(a.emailForeground(), b.emailForeground());
}

TEST_F(ProviderButtonsTest, OnlyTheAppleButtonDimsWhileBusy) {
  for (bool busy : {false, true}) {
    showButtons(VoskaryProviderButtonStyle::dark(accent), busy, false);
    EXPECT_DOUBLE_EQ(keyed("apple")->opacity(), busy ? 0.55 : 1.0);
    EXPECT_DOUBLE_EQ(keyed("google")->opacity(), 1.0);
    EXPECT_DOUBLE_EQ(keyed("email")->opacity(), 1.0);
  }
}

TEST_F(ProviderButtonsTest, ButtonsFillTheWidthAndKeepTheirHeight) {
  showButtons(VoskaryProviderButtonStyle::dark(accent), true, true);
  for (double width : {360.0, 90.0}) {
    SCOPED_TRACE(width);
    auto layout = forms::FormLayout::layout(host->tree(), {width, 600});
    for (const char* key : {"apple", "google", "email"}) {
      const platform::Rect* frame = layout.frameOf(keyed(key)->identity());
      ASSERT_TRUE(frame);
      EXPECT_DOUBLE_EQ(frame->width(), width) << key;
      EXPECT_GE(frame->height(), 48) << key;
    }
    // The glyph sits in its 18 x 18 frame.
    const Node* glyph = keyed(*keyed("google"), "mark");
    EXPECT_EQ(glyph->kind(), NodeKind::canvas);
    EXPECT_EQ(layout.frameOf(glyph->identity())->size, (Size{18, 18}));
  }
}

TEST(GoogleGGlyphTest, FourPathsInOrderScaledByTheFrameWidth) {
  const Color colours[] = {Color::sRGB(0.26, 0.52, 0.96), Color::sRGB(0.20, 0.66, 0.33),
                           Color::sRGB(0.98, 0.74, 0.02), Color::sRGB(0.92, 0.26, 0.21)};
  const std::size_t steps[] = {8, 7, 8, 7};
  const Point firsts[] = {{22.56, 12.25}, {12.00, 23.00}, {5.84, 14.09}, {12.00, 5.38}};
  struct Frame {
    Size size;
    double scale;
  };
  // The height plays no part: a wide frame draws past its bottom, a tall one leaves room.
  for (Frame frame :
       {Frame{{24, 24}, 1}, Frame{{18, 18}, 0.75}, Frame{{36, 18}, 1.5}, Frame{{18, 36}, 0.75}}) {
    SCOPED_TRACE(::testing::Message() << frame.size.width << "x" << frame.size.height);
    forms::Canvas canvas(frame.size);
    GoogleGGlyph::draw(canvas);
    ASSERT_EQ(canvas.fills().size(), 4u);
    double maxX = 0, maxY = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      const auto& fill = canvas.fills()[i];
      EXPECT_EQ(fill.color, colours[i]);
      EXPECT_EQ(fill.rule, forms::FillRule::nonZero);
      EXPECT_TRUE(fill.antialiased);
      const auto& elements = fill.path.elements();
      ASSERT_EQ(elements.size(), steps[i]);
      EXPECT_EQ(elements[0].kind, forms::PathElement::Kind::move);
      EXPECT_DOUBLE_EQ(elements[0].point.x, firsts[i].x * frame.scale);
      EXPECT_DOUBLE_EQ(elements[0].point.y, firsts[i].y * frame.scale);
      for (const auto& e : elements) {
        EXPECT_NE(e.kind, forms::PathElement::Kind::close) << "filling closes the paths";
        maxX = std::max(maxX, e.point.x);
        maxY = std::max(maxY, e.point.y);
      }
    }
    EXPECT_NEAR(maxX, 22.56 * frame.scale, 1e-9);
    EXPECT_NEAR(maxY, 23.00 * frame.scale, 1e-9);
  }

  // Blue's first curve, with its control points in order.
  forms::Canvas canvas({24, 24});
  GoogleGGlyph::draw(canvas);
  const auto& curve = canvas.fills()[0].path.elements()[1];
  EXPECT_EQ(curve.kind, forms::PathElement::Kind::curve);
  EXPECT_EQ(curve.point, (Point{22.36, 10.00}));
  EXPECT_EQ(curve.control1, (Point{22.56, 11.47}));
  EXPECT_EQ(curve.control2, (Point{22.49, 10.72}));
  // Blue and green meet along one straight edge.
  const auto& blue = canvas.fills()[0].path.elements();
  const auto& green = canvas.fills()[1].path.elements();
  EXPECT_EQ(blue[6].kind, forms::PathElement::Kind::line);
  EXPECT_EQ(blue[5].point, green[2].point);
  EXPECT_EQ(blue[6].point, green[1].point);
}

}  // namespace
}  // namespace voskary::testing
