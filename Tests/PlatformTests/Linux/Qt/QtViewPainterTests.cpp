#include "Platform/Linux/Qt/QtViewPainter.h"

#include <QImage>
#include <QPainter>

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

}  // namespace
}  // namespace platform::testing
