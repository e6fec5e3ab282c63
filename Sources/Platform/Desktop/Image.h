#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Platform/Desktop/Color.h"
#include "Platform/Desktop/Geometry.h"
#include "Platform/Desktop/GraphicsContext.h"
#include "Platform/Foundation/Value.h"

namespace platform {

// An image: a named system symbol, a small image drawn in code, or a bitmap loaded from a PNG
// file. Shared by reference (buttons, menu items and status items hold it); `copy` makes an
// independent one, for example to give it another size.
class Image {
 public:
  enum class Kind { symbol, drawn, bitmap };
  static constexpr Size defaultSymbolSize{16, 16};

  // Null for an empty name.
  static std::shared_ptr<Image> systemSymbol(std::string name,
                                             std::string accessibilityDescription = {});
  // Runs `draw` once with the image's bounds, whose origin is at `origin` (a top-left origin
  // makes a flipped image).
  enum class Origin { bottomLeft, topLeft };
  static std::shared_ptr<Image> drawn(Size size, Origin origin,
                                      const std::function<void(GraphicsContext&, Rect)>& draw);
  // Null when the file is missing or does not hold a PNG image. The size in points is the
  // pixel size.
  static std::shared_ptr<Image> fromPNGFile(const std::string& path);
  static std::shared_ptr<Image> fromPNGData(const Bytes& data, std::string origin = {});

  Kind kind() const { return kind_; }
  // The symbol name, or the file the bitmap came from.
  const std::string& name() const { return name_; }
  const std::vector<DrawingOperation>& operations() const { return operations_; }
  bool isFlipped() const { return flipped_; }
  Size pixelSize() const { return pixelSize_; }

  Size size() const { return size_; }
  void setSize(Size size) { size_ = size; }
  bool isTemplate() const { return template_; }
  void setTemplate(bool isTemplate) { template_ = isTemplate; }
  const std::string& accessibilityDescription() const { return accessibilityDescription_; }
  void setAccessibilityDescription(std::string description) {
    accessibilityDescription_ = std::move(description);
  }

  std::shared_ptr<Image> copy() const { return std::make_shared<Image>(*this); }

  Image(Kind kind, std::string name, Size size)
      : kind_(kind), name_(std::move(name)), size_(size) {}

 private:
  Kind kind_;
  std::string name_;
  Size size_;
  Size pixelSize_;
  bool flipped_ = false;
  bool template_ = false;
  std::string accessibilityDescription_;
  std::vector<DrawingOperation> operations_;
};

}  // namespace platform
