#include "Platform/Linux/Qt/QtViewPainter.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <algorithm>
#include <string>
#include <vector>

#include "Platform/Desktop/Button.h"
#include "Platform/Desktop/Image.h"
#include "Platform/Desktop/Layer.h"
#include "Platform/Desktop/View.h"
#include "Platform/Desktop/Window.h"
#include "PlatformTests/Linux/Qt/QtDesktopTest.h"
#include "Support/TemporaryDirectory.h"

namespace platform::testing {
namespace {

using QtViewPainterTests = QtDesktopTest;

// A picture drawn into a frame of another shape (the sign-in screen's square icon frame) keeps
// its aspect: fitted and centred, with the rest of the frame left as it was.
TEST_F(QtViewPainterTests, ABitmapIsFittedIntoItsFrameKeepingItsAspect) {
  TemporaryDirectory directory;
  struct Case {
    int width, height;
    QPoint inside, outside;
  };
  for (const Case& c : {Case{40, 20, {20, 20}, {20, 4}}, Case{10, 40, {20, 20}, {4, 20}}}) {
    QImage source(c.width, c.height, QImage::Format_ARGB32);
    source.fill(QColor(255, 0, 0));
    auto path = (directory.path() / "picture.png").string();
    ASSERT_TRUE(source.save(QString::fromStdString(path)));
    auto image = Image::fromPNGFile(path);
    ASSERT_TRUE(image);

    QImage canvas(40, 40, QImage::Format_ARGB32);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    linuxbackend::paintImage(painter, *image, QRectF(0, 0, 40, 40), std::nullopt);
    painter.end();
    EXPECT_TRUE(near(canvas.pixelColor(c.inside), QColor(255, 0, 0))) << c.width << "x" << c.height;
    EXPECT_EQ(canvas.pixelColor(c.outside).alpha(), 0) << c.width << "x" << c.height;
  }
}

// Symbols the screens name, each drawn on a grey ground at 64 points. A filled enclosure has its
// glyph cut out (the ground shows through the check of "checkmark.circle.fill", not a filled
// wedge), and every name has a drawing of its own rather than the fallback circle.
TEST_F(QtViewPainterTests, SymbolsDrawTheirGlyphsAndCutThemOutOfFilledEnclosures) {
  const QColor ground(40, 40, 40), ink(52, 199, 89);
  auto draw = [&](const std::string& name) {
    QImage canvas(64, 64, QImage::Format_ARGB32);
    canvas.fill(ground);
    QPainter painter(&canvas);
    linuxbackend::paintImage(painter, *Image::systemSymbol(name), QRectF(0, 0, 64, 64), ink);
    painter.end();
    return canvas;
  };
  struct Case {
    const char* name;
    std::vector<QPoint> ink, ground;
  };
  const std::vector<Case> cases = {
      // The check's stroke runs through (26, 34) and (32, 39): ground; the circle around it: ink.
      {"checkmark.circle.fill", {{32, 12}, {14, 32}, {50, 44}}, {{32, 39}, {2, 2}}},
      // The minus across the middle is cut out; above and below it, the disc.
      {"minus.circle.fill", {{32, 14}, {32, 50}}, {{32, 32}, {22, 32}, {2, 2}}},
      {"checkmark.square.fill", {{12, 12}, {50, 50}}, {{32, 39}}},
      // Outlined: the ring is ink, the middle (off the glyph) ground.
      {"circle.dashed", {}, {{32, 32}, {20, 20}}},
      {"square", {}, {{32, 32}}},
  };
  for (const auto& c : cases) {
    QImage image = draw(c.name);
    for (QPoint p : c.ink)
      EXPECT_TRUE(near(image.pixelColor(p), ink, 40)) << c.name << " at " << p.x() << "," << p.y();
    for (QPoint p : c.ground)
      EXPECT_TRUE(near(image.pixelColor(p), ground, 40))
          << c.name << " at " << p.x() << "," << p.y();
  }
  QImage fallback = draw("no.such.symbol");
  for (const char* name :
       {"checkmark.circle.fill", "checkmark.square.fill", "circle.dashed", "square",
        "arrow.up.right.square", "minus.circle.fill", "tag.fill", "checkmark", "xmark"}) {
    EXPECT_NE(draw(name), fallback) << name << " draws the fallback circle";
  }
}

// Controls hosted in a dark window (the tag editor in the settings) are drawn for it: a push
// button's face is dark and a checkbox's title light, never black words on the dark ground;
// a light window keeps the light controls.
TEST_F(QtViewPainterTests, ControlsTakeTheirWindowsAppearance) {
  for (Appearance appearance : {Appearance::aqua, Appearance::darkAqua}) {
    bool dark = appearance == Appearance::darkAqua;
    Window window(Rect(0, 0, 240, 80), StyleMask::titled);
    window.setAppearance(appearance);
    window.setBackgroundColor(dark ? Color::sRGB(0.11, 0.11, 0.12) : Color::gray(0.93));
    auto button = std::make_shared<Button>(Rect(10, 44, 160, 24));
    button->setTitle("Reset");
    button->setBordered(true);
    auto box = Button::checkbox("Big tags");
    box->setFrame(Rect(10, 8, 160, 20));
    window.contentView()->addSubview(button);
    window.contentView()->addSubview(box);
    QImage canvas(240, 80, QImage::Format_ARGB32);
    QPainter painter(&canvas);
    linuxbackend::paintWindow(painter, window, QSizeF(240, 80), false);
    painter.end();
    // The face, right of the centred title (y down: the button spans 12..36).
    QColor face = canvas.pixelColor(160, 24);
    EXPECT_EQ(face.lightnessF() < 0.5, dark) << face.name().toStdString();
    // The checkbox's words, right of its box (y 52..72): the most contrasting pixel.
    double extreme = dark ? 0 : 1;
    for (int x = 34; x < 100; ++x) {
      for (int y = 54; y < 70; ++y) {
        double l = canvas.pixelColor(x, y).lightnessF();
        extreme = dark ? std::max(extreme, l) : std::min(extreme, l);
      }
    }
    if (dark) {
      EXPECT_GT(extreme, 0.7) << "the checkbox's title is not light on the dark window";
    } else {
      EXPECT_LT(extreme, 0.3) << "the checkbox's title is not dark on the light window";
    }
  }
}

// A repaint of part of a window (an expose, a scrolled form) draws what lies in that part, also
// a view that reaches in from a view outside it, and leaves the rest as it was.
TEST_F(QtViewPainterTests, APartialPaintDrawsWhatReachesIntoThatPart) {
  Window window(Rect(0, 0, 200, 200), StyleMask::titled);
  window.setBackgroundColor(Color::sRGB(0, 0, 0));
  auto filled = [](Rect frame, Color colour) {
    auto view = std::make_shared<View>(frame);
    view->setWantsLayer(true);
    view->layer()->setBackgroundColor(colour);
    return view;
  };
  // y upwards: the top half of the window, the bottom half, and a child of the top one that
  // hangs below its parent into the bottom half.
  auto top = filled(Rect(0, 100, 200, 100), Color::sRGB(1, 0, 0));
  auto bottom = filled(Rect(100, 0, 100, 100), Color::sRGB(0, 1, 0));
  top->addSubview(filled(Rect(0, -50, 50, 50), Color::sRGB(0, 0, 1)));
  window.contentView()->addSubview(top);
  window.contentView()->addSubview(bottom);
  QImage canvas(200, 200, QImage::Format_ARGB32);
  canvas.fill(QColor(255, 255, 255));
  // The bottom half only, as a paint event of that region sets it.
  canvas.paintEngine()->setSystemClip(QRegion(0, 100, 200, 100));
  QPainter painter(&canvas);
  linuxbackend::paintWindow(painter, window, QSizeF(200, 200), false);
  painter.end();
  EXPECT_EQ(canvas.pixelColor(100, 50), QColor(255, 255, 255)) << "outside the part";
  EXPECT_EQ(canvas.pixelColor(150, 150), QColor(0, 255, 0));
  EXPECT_EQ(canvas.pixelColor(25, 125), QColor(0, 0, 255)) << "the child that reaches in";
  EXPECT_EQ(canvas.pixelColor(75, 175), QColor(0, 0, 0)) << "the window's background";
}

}  // namespace
}  // namespace platform::testing
