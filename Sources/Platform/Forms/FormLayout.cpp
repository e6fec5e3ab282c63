#include "Platform/Forms/FormLayout.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "Platform/Desktop/View.h"
#include "Platform/Forms/FormMetrics.h"

namespace platform::forms {

namespace {

using M = FormMetrics;
constexpr double kDefaultStackSpacing = M::stackSpacing;
constexpr double kSectionInset = M::sectionInset;

bool isSpacer(const Node& n) {
  return n.kind() == NodeKind::spacer;
}

double spacingOf(const Node& n) {
  if (n.spacing()) return *n.spacing();
  if (n.kind() == NodeKind::form) return M::formSectionSpacing;
  if (n.kind() == NodeKind::section) return M::sectionRowSpacing;
  return kDefaultStackSpacing;
}

Font fontOf(const Node& n) {
  return n.font().value_or(FormLayout::defaultFont());
}

bool isVertical(const Node& n) {
  return n.kind() == NodeKind::vstack || n.kind() == NodeKind::form ||
         n.kind() == NodeKind::section;
}

// A button's look adds room around its label.
EdgeInsets chromeOf(const Node& n) {
  if (n.kind() == NodeKind::form) return EdgeInsets::all(M::formInset);
  if (n.kind() != NodeKind::button) return {};
  switch (n.buttonStyle()) {
    case ButtonStyle::plain:
    case ButtonStyle::link:
      return {};
    default:
      if (n.controlSize() == ControlSize::large) {
        return {M::largeButtonChromeVertical, M::largeButtonChromeHorizontal,
                M::largeButtonChromeVertical, M::largeButtonChromeHorizontal};
      }
      return {M::buttonChromeVertical, M::buttonChromeHorizontal, M::buttonChromeVertical,
              M::buttonChromeHorizontal};
  }
}

std::optional<double> minus(std::optional<double> v, double d) {
  if (!v) return v;
  return std::max(0.0, *v - d);
}

Size textSize(const Node& n, Proposal p) {
  Font font = fontOf(n);
  double ideal = font.widthOf(n.text());
  if (!p.width || ideal <= *p.width) return {std::ceil(ideal), font.lineHeight()};
  if (n.lineLimit() == 1) return {*p.width, font.lineHeight()};
  auto lines = FormLayout::wrap(n.text(), font, *p.width);
  double widest = 0;
  for (const auto& line : lines) widest = std::max(widest, font.widthOf(line));
  std::size_t count = lines.size();
  if (n.lineLimit()) count = std::min<std::size_t>(count, *n.lineLimit());
  return {std::min(*p.width, std::ceil(widest)), font.lineHeight() * static_cast<double>(count)};
}

// What a labelled row leaves its content at the trailing edge: the width after its label and
// the gap (a long value is cut or wrapped there, never drawn over the label).
std::optional<double> roomBesideLabel(const Node& n, std::optional<double> width) {
  if (!width) return width;
  return std::max(0.0, *width - std::ceil(fontOf(n).widthOf(n.text())) - M::labelGap);
}

// The ideal size of the node's own content, before its padding and frame.
Size contentSize(const Node& n, Proposal p);

// Sizes of a stack's children along its axis: non-spacers first, then the spacers share what
// is left of the proposal, each between its minimum and maximum.
struct StackSizes {
  std::vector<Size> sizes;
  Size total;
};

StackSizes stackSizes(const Node& n, Proposal p) {
  bool vertical = isVertical(n);
  const auto& children = n.children();
  StackSizes out;
  out.sizes.resize(children.size());
  double spacing = spacingOf(n);
  double used = children.empty() ? 0 : spacing * static_cast<double>(children.size() - 1);
  double cross = 0;
  // A row offered a width measures each child once at its ideal. When they do not fit, it
  // shares its width out as the platform does: the least flexible child (a word, a mark) first,
  // each offered an even share of what is left, so that a wrapping text gives way rather than
  // pushing a trailing one out.
  std::vector<std::optional<Size>> measured(children.size());
  if (!vertical && p.width) {
    double room = used;
    for (std::size_t i = 0; i < children.size(); ++i) {
      if (isSpacer(children[i])) {
        room += children[i].minLength();
        continue;
      }
      measured[i] = FormLayout::sizeThatFits(children[i], {std::nullopt, p.height});
      room += measured[i]->width;
    }
    if (room > *p.width + 1e-9) {
      std::vector<std::pair<double, std::size_t>> order;
      double left = *p.width - used;
      for (std::size_t i = 0; i < children.size(); ++i) {
        if (isSpacer(children[i])) {
          left -= children[i].minLength();
          continue;
        }
        double least = FormLayout::sizeThatFits(children[i], {0.0, p.height}).width;
        order.emplace_back(measured[i]->width - least, i);
      }
      std::stable_sort(order.begin(), order.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
      for (std::size_t k = 0; k < order.size(); ++k) {
        std::size_t i = order[k].second;
        double share = std::max(0.0, left) / static_cast<double>(order.size() - k);
        if (measured[i]->width > share)
          measured[i] = FormLayout::sizeThatFits(children[i], {share, p.height});
        left -= measured[i]->width;
      }
    }
  }
  // Along the axis the children take their ideal; across it they are offered the stack's.
  std::size_t flexibleCount = 0;
  for (std::size_t i = 0; i < children.size(); ++i) {
    const Node& child = children[i];
    if (isSpacer(child)) {
      ++flexibleCount;
      used += child.minLength();
      out.sizes[i] = vertical ? Size{0, child.minLength()} : Size{child.minLength(), 0};
      continue;
    }
    Proposal offer = vertical ? Proposal{p.width, std::nullopt} : Proposal{std::nullopt, p.height};
    const auto* insets =
        n.kind() == NodeKind::section && child.rowInsets() ? &*child.rowInsets() : nullptr;
    if (insets && offer.width) {
      offer.width =
          std::max(0.0, *offer.width + 2 * kSectionInset - insets->leading - insets->trailing);
    }
    Size s = measured[i] ? *measured[i] : FormLayout::sizeThatFits(child, offer);
    if (insets) s.height += insets->top + insets->bottom;
    out.sizes[i] = s;
    used += vertical ? s.height : s.width;
    // A row with its own insets is measured against the group's edges, not the inset's.
    double across = vertical ? s.width : s.height;
    if (insets)
      across = std::max(0.0, across + insets->leading + insets->trailing - 2 * kSectionInset);
    cross = std::max(cross, across);
  }
  std::optional<double> axisProposal = vertical ? p.height : p.width;
  if (axisProposal && flexibleCount > 0 && *axisProposal > used) {
    double extra = *axisProposal - used;
    // Hand out the extra evenly, again and again, as spacers reach their maximum.
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < children.size(); ++i) {
      if (isSpacer(children[i])) open.push_back(i);
    }
    while (extra > 1e-9 && !open.empty()) {
      double share = extra / static_cast<double>(open.size());
      std::vector<std::size_t> still;
      for (auto i : open) {
        double& length = vertical ? out.sizes[i].height : out.sizes[i].width;
        double room = children[i].maxLength() - length;
        double give = std::min(share, room);
        length += give;
        extra -= give;
        used += give;
        if (room - give > 1e-9) still.push_back(i);
      }
      if (still.size() == open.size() && share <= 1e-9) break;
      open = std::move(still);
    }
  }
  if (!vertical) {
    // Spacers in a row stretch across the row's height.
    for (std::size_t i = 0; i < children.size(); ++i) {
      if (isSpacer(children[i])) out.sizes[i].height = cross;
    }
  }
  out.total = vertical ? Size{cross, used} : Size{used, cross};
  return out;
}

Size contentSize(const Node& n, Proposal p) {
  switch (n.kind()) {
    case NodeKind::form:
    case NodeKind::section:
    case NodeKind::vstack:
    case NodeKind::hstack: {
      if (n.kind() == NodeKind::section) p.width = minus(p.width, 2 * kSectionInset);
      Size s = stackSizes(n, p).total;
      if (n.kind() == NodeKind::section) {
        // Header above, footer below, rows in an inset group.
        Font caption = FormLayout::defaultFont();
        s.height += (n.text().empty() ? 0 : caption.lineHeight() + M::sectionCaptionGap) +
                    2 * kSectionInset +
                    (n.footer() ? caption.lineHeight() + M::sectionCaptionGap : 0);
        s.width += 2 * kSectionInset;
      }
      return s;
    }
    case NodeKind::button: {
      Size label{};
      double spacing = n.spacing().value_or(kDefaultStackSpacing);
      bool first = true;
      for (const auto& child : n.children()) {
        Size c = FormLayout::sizeThatFits(child, p);
        label.width += c.width + (first ? 0 : spacing);
        label.height = std::max(label.height, c.height);
        first = false;
      }
      return label;
    }
    case NodeKind::zstack: {
      Size s{};
      for (const auto& child : n.children()) {
        Size c = FormLayout::sizeThatFits(child, p);
        s.width = std::max(s.width, c.width);
        s.height = std::max(s.height, c.height);
      }
      return s;
    }
    case NodeKind::scroll: {
      Size content = n.children().empty() ? Size{}
                                          : FormLayout::sizeThatFits(
                                                n.children()[0], {p.width, std::nullopt, p.height});
      return {p.width.value_or(content.width), p.height.value_or(content.height)};
    }
    case NodeKind::spacer:
      return {n.minLength(), n.minLength()};
    case NodeKind::text:
    case NodeKind::link:
      return textSize(n, p);
    case NodeKind::symbol: {
      double side = fontOf(n).lineHeight();
      return {side, side};
    }
    case NodeKind::image:
      return {n.frame().width.value_or(0), n.frame().height.value_or(0)};
    case NodeKind::toggle: {
      Size label = textSize(n, {minus(p.width, M::switchWidth + M::labelGap), p.height});
      return {p.width.value_or(label.width + M::labelGap + M::switchWidth),
              std::max(label.height, M::switchHeight)};
    }
    case NodeKind::picker:
    case NodeKind::labeledContent: {
      Size label = textSize(n, p);
      Size content{};
      if (!n.children().empty())
        content = FormLayout::sizeThatFits(n.children()[0], {roomBesideLabel(n, p.width)});
      if (n.kind() == NodeKind::picker) {
        for (const auto& [tag, title] : n.options()) {
          content.width = std::max(content.width, fontOf(n).widthOf(title) + M::pickerChrome);
        }
        content.height = std::max(content.height, fontOf(n).lineHeight() + M::pickerExtraHeight);
      }
      return {p.width.value_or(label.width + M::labelGap + content.width),
              std::max(label.height, content.height)};
    }
    case NodeKind::progress:
      if (!n.progressValue()) {
        double side = FormLayout::spinnerSide(n.controlSize());
        return {side, side};
      }
      return {p.width.value_or(M::progressBarIdealWidth), M::progressBarHeight};
    case NodeKind::divider:
      return {p.width.value_or(0), M::dividerThickness};
    case NodeKind::shape:
    case NodeKind::canvas:
      return {p.width.value_or(M::shapeIdeal), p.height.value_or(M::shapeIdeal)};
    case NodeKind::nativeView: {
      // The hosted view says how tall it is; it spans the width it is offered.
      Size own = n.nativeView() ? n.nativeView()->frame().size : Size{};
      return {p.width.value_or(own.width), std::max(0.0, own.height)};
    }
  }
  return {};
}

}  // namespace

Font FormLayout::defaultFont() {
  return Font::systemFont(13);
}

double FormLayout::spinnerSide(ControlSize size) {
  return size == ControlSize::small ? M::spinnerSmall : M::spinnerRegular;
}

double FormLayout::sectionHeaderHeight(const Node& section) {
  return section.text().empty() ? 0 : defaultFont().lineHeight() + M::sectionCaptionGap;
}

double FormLayout::sectionFooterHeight(const Node& section) {
  return section.footer() ? defaultFont().lineHeight() + M::sectionCaptionGap : 0;
}

std::vector<std::string> FormLayout::wrap(std::string_view text, const Font& font, double width) {
  std::vector<std::string> lines;
  std::string line;
  std::size_t i = 0;
  while (i <= text.size()) {
    std::size_t end = text.find_first_of(" \n", i);
    if (end == std::string_view::npos) end = text.size();
    std::string word(text.substr(i, end - i));
    std::string candidate = line.empty() ? word : line + " " + word;
    if (!line.empty() && font.widthOf(candidate) > width) {
      lines.push_back(line);
      line = word;
    } else {
      line = candidate;
    }
    if (end < text.size() && text[end] == '\n') {
      lines.push_back(line);
      line.clear();
    }
    i = end + 1;
  }
  if (!line.empty() || lines.empty()) lines.push_back(line);
  return lines;
}

Size FormLayout::sizeThatFits(const Node& n, Proposal p) {
  const Frame& f = n.frame();
  // The frame decides what the padded content is offered.
  Proposal offer = p;
  if (f.width)
    offer.width = f.width;
  else if (offer.width)
    offer.width = std::clamp(*offer.width, f.minWidth.value_or(0), f.maxWidth.value_or(infinity));
  if (f.height)
    offer.height = f.height;
  else if (offer.height)
    offer.height =
        std::clamp(*offer.height, f.minHeight.value_or(0), f.maxHeight.value_or(infinity));

  EdgeInsets pad = n.padding();
  EdgeInsets chrome = chromeOf(n);
  double padX = pad.leading + pad.trailing + chrome.leading + chrome.trailing;
  double padY = pad.top + pad.bottom + chrome.top + chrome.bottom;
  Size inner = contentSize(n, {minus(offer.width, padX), minus(offer.height, padY)});
  Size s{inner.width + padX, inner.height + padY};

  auto resolve = [](double content, std::optional<double> fixed, std::optional<double> min,
                    std::optional<double> max, std::optional<double> proposed) {
    if (fixed) return *fixed;
    double v = content;
    if (max && std::isinf(*max) && proposed)
      v = std::max(v, *proposed);
    else if (max)
      v = std::min(v, *max);
    if (min) v = std::max(v, *min);
    if (max && !std::isinf(*max)) v = std::min(v, *max);
    return v;
  };
  std::optional<double> minHeight = f.minHeight;
  if (f.minHeightFillsViewport && p.viewportHeight) {
    minHeight = std::max(minHeight.value_or(0), *p.viewportHeight);
  }
  s.width = resolve(s.width, f.width, f.minWidth, f.maxWidth, p.width);
  s.height = resolve(s.height, f.height, minHeight, f.maxHeight, p.height);
  return s;
}

void FormLayout::place(const Node& n, Rect rect, FormLayoutResult& out) {
  out.frames.insert_or_assign(n.identity(), rect);
  for (const auto& background : n.backgrounds()) place(background, rect, out);
  for (const auto& overlay : n.overlays()) place(overlay, rect, out);

  // The content's box: inside padding and chrome, at its own size within the frame.
  EdgeInsets pad = n.padding();
  EdgeInsets chrome = chromeOf(n);
  Rect box(
      rect.x() + pad.leading + chrome.leading, rect.y() + pad.top + chrome.top,
      std::max(0.0, rect.width() - pad.leading - pad.trailing - chrome.leading - chrome.trailing),
      std::max(0.0, rect.height() - pad.top - pad.bottom - chrome.top - chrome.bottom));
  const auto& children = n.children();
  if (children.empty()) return;

  auto alignX = [](HorizontalAlignment a, const Rect& in, double width) {
    switch (a) {
      case HorizontalAlignment::leading:
        return in.x();
      case HorizontalAlignment::trailing:
        return in.maxX() - width;
      case HorizontalAlignment::center:
        break;
    }
    return in.x() + (in.width() - width) / 2;
  };
  auto alignY = [](VerticalAlignment a, const Rect& in, double height) {
    switch (a) {
      case VerticalAlignment::top:
        return in.y();
      case VerticalAlignment::bottom:
        return in.maxY() - height;
      case VerticalAlignment::center:
        break;
    }
    return in.y() + (in.height() - height) / 2;
  };

  switch (n.kind()) {
    case NodeKind::form:
    case NodeKind::section:
    case NodeKind::vstack:
    case NodeKind::hstack: {
      Rect inner = box;
      if (n.kind() == NodeKind::section) {
        double header = sectionHeaderHeight(n);
        inner =
            Rect(box.x() + kSectionInset, box.y() + header + kSectionInset,
                 std::max(0.0, box.width() - 2 * kSectionInset),
                 std::max(0.0, box.height() - header - 2 * kSectionInset - sectionFooterHeight(n)));
      }
      bool vertical = isVertical(n);
      auto sizes = stackSizes(n, {inner.width(), inner.height()});
      // The content is no larger than the stack; a frame around it centres it (or aligns it).
      double along = vertical ? inner.y() + std::max(0.0, (inner.height() - sizes.total.height) / 2)
                              : inner.x() + std::max(0.0, (inner.width() - sizes.total.width) / 2);
      double spacing = spacingOf(n);
      for (std::size_t i = 0; i < children.size(); ++i) {
        Size s = sizes.sizes[i];
        Rect child;
        const auto& insets = children[i].rowInsets();
        if (vertical && n.kind() == NodeKind::section && insets) {
          // The row's own edges replace the section's inset.
          Rect row(box.x() + insets->leading, along + insets->top,
                   std::max(0.0, box.width() - insets->leading - insets->trailing),
                   std::max(0.0, s.height - insets->top - insets->bottom));
          double width = std::min(s.width, row.width());
          child = Rect(alignX(n.horizontalAlignment(), row, width), row.y(), width, row.height());
          along += s.height + spacing;
        } else if (vertical) {
          // A grouped form's sections all span its width, whatever their rows need.
          bool spans = isSpacer(children[i]) ||
                       (n.kind() == NodeKind::form && children[i].kind() == NodeKind::section);
          double width = spans ? inner.width() : std::min(s.width, inner.width());
          child = Rect(alignX(n.horizontalAlignment(), inner, width), along, width, s.height);
          along += s.height + spacing;
        } else {
          double height = std::min(s.height, inner.height());
          child = Rect(along, alignY(n.verticalAlignment(), inner, height), s.width, height);
          along += s.width + spacing;
        }
        place(children[i], child, out);
      }
      return;
    }
    case NodeKind::button: {
      double spacing = n.spacing().value_or(kDefaultStackSpacing);
      std::vector<Size> sizes;
      double width = 0;
      for (const auto& child : children) {
        sizes.push_back(sizeThatFits(child, {box.width(), box.height()}));
        width += sizes.back().width;
      }
      width += spacing * static_cast<double>(children.size() - 1);
      double x = box.x() + (box.width() - width) / 2;
      for (std::size_t i = 0; i < children.size(); ++i) {
        place(children[i],
              Rect(x, box.y() + (box.height() - sizes[i].height) / 2, sizes[i].width,
                   sizes[i].height),
              out);
        x += sizes[i].width + spacing;
      }
      return;
    }
    case NodeKind::scroll: {
      Size content = sizeThatFits(children[0], {box.width(), std::nullopt, box.height()});
      content.height = std::max(content.height, 0.0);
      out.scrollContentSizes.insert_or_assign(n.identity(), content);
      place(children[0], Rect(box.x(), box.y(), box.width(), content.height), out);
      return;
    }
    default: {
      // Single-child containers: the child at its size, aligned in the box.
      for (const auto& child : children) {
        double room =
            n.kind() == NodeKind::labeledContent ? *roomBesideLabel(n, box.width()) : box.width();
        Size s = sizeThatFits(child, {room, box.height()});
        s.width = std::min(s.width, room);
        s.height = std::min(s.height, box.height());
        double x = n.kind() == NodeKind::labeledContent
                       ? box.maxX() - s.width
                       : alignX(n.horizontalAlignment(), box, s.width);
        place(child, Rect(x, alignY(n.verticalAlignment(), box, s.height), s.width, s.height), out);
      }
      return;
    }
  }
}

FormLayoutResult FormLayout::layout(const Node& root, Size available) {
  FormLayoutResult out;
  Size size = sizeThatFits(root, {available.width, available.height});
  out.size = size;
  place(root, Rect(0, 0, size.width, size.height), out);
  return out;
}

}  // namespace platform::forms
