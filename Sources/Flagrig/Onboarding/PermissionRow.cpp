#include "Flagrig/Onboarding/PermissionRow.h"

#include "Platform/Forms/FormHost.h"
#include "Platform/Forms/Vocabulary.h"

namespace flagrig {

using namespace platform::forms::vocabulary;

Node PermissionRow::badge() const {
  Color text = required ? accent : white(0.62);
  Color fill = required ? accent.withAlphaComponent(0.16) : white(0.08);
  return forms::Text(required ? requiredBadge : optionalBadge)
      .key("badge")
      .font(Font::systemFont(10, FontWeight::semibold))
      .foreground(text)
      .padding({.top = 2, .leading = 6, .bottom = 2, .trailing = 6})
      .background(forms::Shape({.kind = forms::ShapeKind::capsule, .fill = fill}));
}

Node PermissionRow::rowBody(bool hovering) const {
  bool lit = hovering && !granted;
  Node icon = (granted ? forms::Symbol("checkmark.circle.fill").foreground(Color::systemGreen())
                       : forms::Symbol("circle.dashed").foreground(white(0.4)))
                  .key("status")
                  .font(Font::systemFont(20))
                  .frame({.width = 24});
  Node texts =
      forms::VStack(
          {forms::HStack({forms::Text(title)
                              .key("title")
                              .font(Font::systemFont(14, FontWeight::semibold))
                              .foreground(white(0.92)),
                          badge()})
               .key("heading")
               .spacing(6)
               .alignment(forms::VerticalAlignment::center),
           forms::Text(detail).key("detail").font(Font::systemFont(13)).foreground(white(0.55))})
          .key("texts")
          .spacing(3)
          .alignment(forms::HorizontalAlignment::leading);
  Node trailing = granted ? forms::Text(grantedText)
                                .key("state")
                                .font(Font::systemFont(13))
                                .foreground(Color::systemGreen())
                          : forms::Text(actionTitle)
                                .key("state")
                                .font(Font::systemFont(12, FontWeight::semibold))
                                .foreground(accent);
  Color border =
      granted ? Color::systemGreen().withAlphaComponent(0.35) : white(hovering ? 0.24 : 0.1);
  return forms::HStack(
             {std::move(icon), std::move(texts), forms::Spacer().key("gap"), std::move(trailing)})
      .key("card")
      .spacing(12)
      .alignment(forms::VerticalAlignment::top)
      .padding(12)
      .background(forms::Shape({.kind = forms::ShapeKind::roundedRectangle,
                                .cornerRadius = 10,
                                .fill = white(lit ? 0.12 : 0.06),
                                .stroke = border,
                                .lineWidth = 1,
                                .strokeInside = true})
                      .key("cardShape"));
}

Node PermissionRow::body(forms::FormHost& host) const {
  if (granted) return rowBody().key(title);
  auto hovering = host.cell(hoverCell(), false);
  return forms::Button({rowBody(*hovering)}, onEnable)
      .key(title)
      .buttonStyle(forms::ButtonStyle::plain)
      .onHover([hovering](bool inside) { hovering.set(inside); })
      .accessibilityCombined()
      .accessibilityLabel(title + ", " + (required ? "required" : "optional"))
      .accessibilityHint("Activates " + title +
                         ". Opens System Settings if needed; we detect it automatically.");
}

}  // namespace flagrig
