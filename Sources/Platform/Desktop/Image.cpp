#include "Platform/Desktop/Image.h"

#include <fstream>
#include <iterator>

namespace platform {

std::shared_ptr<Image> Image::systemSymbol(std::string name, std::string accessibilityDescription) {
  if (name.empty()) return nullptr;
  auto image = std::make_shared<Image>(Kind::symbol, std::move(name), defaultSymbolSize);
  image->template_ = true;
  image->accessibilityDescription_ = std::move(accessibilityDescription);
  return image;
}

std::shared_ptr<Image> Image::drawn(Size size, Origin origin,
                                    const std::function<void(GraphicsContext&, Rect)>& draw) {
  auto image = std::make_shared<Image>(Kind::drawn, std::string(), size);
  image->flipped_ = origin == Origin::topLeft;
  GraphicsContext context;
  if (draw) draw(context, Rect({0, 0}, size));
  image->operations_ = context.operations();
  return image;
}

std::shared_ptr<Image> Image::fromPNGFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return fromPNGData(data, path);
}

std::shared_ptr<Image> Image::fromPNGData(const Bytes& data, std::string origin) {
  // The signature, then the header chunk (length 13, "IHDR", width and height big-endian).
  static const std::uint8_t signature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (data.size() < 33) return nullptr;
  for (std::size_t i = 0; i < sizeof signature; ++i) {
    if (data[i] != signature[i]) return nullptr;
  }
  auto be32 = [&](std::size_t at) {
    return (std::uint32_t{data[at]} << 24) | (std::uint32_t{data[at + 1]} << 16) |
           (std::uint32_t{data[at + 2]} << 8) | std::uint32_t{data[at + 3]};
  };
  if (be32(8) != 13 || data[12] != 'I' || data[13] != 'H' || data[14] != 'D' || data[15] != 'R')
    return nullptr;
  std::uint32_t width = be32(16), height = be32(20);
  if (width == 0 || height == 0) return nullptr;
  Size size{static_cast<double>(width), static_cast<double>(height)};
  auto image = std::make_shared<Image>(Kind::bitmap, std::move(origin), size);
  image->pixelSize_ = size;
  return image;
}

}  // namespace platform
