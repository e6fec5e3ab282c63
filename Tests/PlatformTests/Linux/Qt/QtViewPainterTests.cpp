#include "Platform/Linux/Qt/QtViewPainter.h"

#include <QImage>
#include <QPainter>
#include <string>
#include <vector>

#include "Platform/Desktop/Image.h"
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

}  // namespace
}  // namespace platform::testing
