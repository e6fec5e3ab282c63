#include "Platform/Desktop/Image.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace platform {
namespace {

Bytes pngHeader(std::uint32_t width, std::uint32_t height) {
  Bytes data = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  for (std::uint32_t v : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8)
      data.push_back(static_cast<std::uint8_t>(v >> shift));
  }
  for (int i = 0; i < 9; ++i) data.push_back(0);  // depth, colour type, ..., CRC
  return data;
}

TEST(ImageTests, LoadsPNGFilesAndRejectsEverythingElse) {
  auto dir = std::filesystem::temp_directory_path() / ("image-tests-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto write = [&](const char* name, const Bytes& data) {
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), data.size());
    return (dir / name).string();
  };
  auto logo = Image::fromPNGFile(write("logo.png", pngHeader(64, 32)));
  ASSERT_TRUE(logo);
  EXPECT_EQ(logo->kind(), Image::Kind::bitmap);
  EXPECT_EQ(logo->size(), (Size{64, 32}));

  Bytes notPNG = pngHeader(64, 32);
  notPNG[1] = 'J';
  EXPECT_FALSE(Image::fromPNGFile(write("fake.png", notPNG)));
  EXPECT_FALSE(Image::fromPNGFile(write("empty.png", pngHeader(0, 32))));
  Bytes truncated = pngHeader(1, 1);
  truncated.resize(20);
  EXPECT_FALSE(Image::fromPNGFile(write("short.png", truncated)));
  EXPECT_FALSE(Image::fromPNGFile((dir / "missing.png").string()));
  std::filesystem::remove_all(dir);
}

TEST(ImageTests, CopiesAreIndependentAndDrawnImagesRecordTheirSteps) {
  auto symbol = Image::systemSymbol("tag.fill", "Flagrig");
  ASSERT_TRUE(symbol);
  EXPECT_TRUE(symbol->isTemplate());
  EXPECT_EQ(symbol->accessibilityDescription(), "Flagrig");
  auto copy = symbol->copy();
  copy->setSize({18, 18});
  EXPECT_EQ(symbol->size(), Image::defaultSymbolSize);
  EXPECT_FALSE(Image::systemSymbol(""));

  auto dot = Image::drawn({10, 10}, Image::Origin::bottomLeft, [](GraphicsContext& g, Rect bounds) {
    g.fillOval(bounds, Color::systemRed());
  });
  EXPECT_EQ(dot->operations(),
            (std::vector<DrawingOperation>{
                {DrawingOperation::Kind::fillOval, Rect(0, 0, 10, 10), Color::systemRed()}}));
}

}  // namespace
}  // namespace platform
