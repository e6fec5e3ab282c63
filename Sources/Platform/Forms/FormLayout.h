#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Desktop/Font.h"
#include "Platform/Desktop/Geometry.h"
#include "Platform/Forms/FormNode.h"

namespace platform::forms {

// A size offered to a node; an absent dimension asks for the node's ideal size in it (a scroll
// view offers no height to its content).
struct Proposal {
  std::optional<double> width;
  std::optional<double> height;
  // The height a scroll view shows of its content (only its direct content is told).
  std::optional<double> viewportHeight;
};

// Where every node of a tree lies, by identity, in the tree's coordinates: origin at the top
// left, y growing downwards. Scroll views record their content's full size too.
struct FormLayoutResult {
  std::map<std::string, Rect, std::less<>> frames;
  std::map<std::string, Size, std::less<>> scrollContentSizes;
  Size size;

  const Rect* frameOf(std::string_view identity) const {
    auto found = frames.find(identity);
    return found == frames.end() ? nullptr : &found->second;
  }
};

// Lays a form out the way the renderer draws it: stacks with spacing and alignment, spacers
// with minimum and maximum lengths, padding, fixed, minimum and maximum frames, wrapping text
// and vertical scroll views. Text is measured with the desktop layer's font metrics, which
// are the same on every backend, so a layout tested headless is the layout on screen.
class FormLayout {
 public:
  static FormLayoutResult layout(const Node& root, Size available);

  // The font a node's text uses when it sets none.
  static Font defaultFont();
  // A spinner's side in that size.
  static double spinnerSide(ControlSize size);
  // The room a section's header and footer texts take above and below its group.
  static double sectionHeaderHeight(const Node& section);
  static double sectionFooterHeight(const Node& section);
  // Lines of `text` wrapped at word boundaries to `width` (a word longer than the width gets
  // a line of its own).
  static std::vector<std::string> wrap(std::string_view text, const Font& font, double width);

  static Size sizeThatFits(const Node& node, Proposal proposal);

 private:
  static void place(const Node& node, Rect rect, FormLayoutResult& out);
};

}  // namespace platform::forms
