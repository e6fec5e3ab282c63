#include "Flagrig/Onboarding/TagDemoView.h"

#include "Flagrig/Shell/BrandMark.h"
#include "Platform/Forms/Vocabulary.h"

namespace flagrig {

using namespace platform::forms::vocabulary;

namespace {

// The platform's title-2 and headline text styles.
Font title2() {
  return Font::systemFont(17, FontWeight::bold);
}
Font headline() {
  return Font::systemFont(13, FontWeight::semibold);
}

Node title(const char* text, const char* key) {
  return forms::Text(text)
      .key(key)
      .font(title2())
      .foreground(Color::white())
      .multilineTextAlignment(forms::TextAlignment::center)
      .frame({.maxWidth = forms::infinity})
      .padding({.top = 18});
}

// A paragraph shown whole, however many lines it wraps to.
Node paragraph(const char* text, const char* key, double size, double opacity, double above) {
  return forms::Text(text)
      .key(key)
      .font(Font::systemFont(size))
      .foreground(white(opacity))
      .multilineTextAlignment(forms::TextAlignment::center)
      .frame({.maxWidth = 360})
      .padding({.top = above});
}

Node wideButton(const char* text, const char* key, std::function<void()> action) {
  return forms::Button({forms::Text(text).font(headline()).frame({.maxWidth = forms::infinity})},
                       std::move(action))
      .key(key)
      .buttonStyle(forms::ButtonStyle::borderedProminent)
      .controlSize(forms::ControlSize::large)
      .tint(TagDemoView::accent())
      .frame({.maxWidth = forms::infinity});
}

}  // namespace

Color TagDemoView::accent() {
  return Color::sRGB(0.851, 0.467, 0.024);
}

Color TagDemoView::coal() {
  return Color::sRGB(0.094, 0.094, 0.106);
}

Node TagDemoView::body() const {
  Node content = model.stage() == TagDemoStage::intro ? intro() : success();
  return forms::VStack({std::move(content)})
      .key("tagDemo")
      .spacing(0)
      .padding({.top = 20, .leading = 32, .bottom = 24, .trailing = 32})
      .frame({.width = width, .height = height})
      .background(forms::Shape({.fill = coal()}).key("coal"))
      .colorScheme(forms::ColorScheme::dark)
      .accentColor(accent());
}

Node TagDemoView::intro() const {
  return forms::VStack({forms::Spacer(12).key("top"),
                        BrandMark::node(64, accent()).key("brand").accessibilityHidden(),
                        title(introTitle, "introTitle"),
                        paragraph(introBody, "introBody", 13, 0.68, 10),
                        forms::Spacer(16).key("middle"),
                        wideButton(tagAWindowTitle, "tagAWindow", onTagAWindow),
                        forms::Button(skipTitle, onSkip)
                            .key("skip")
                            .buttonStyle(forms::ButtonStyle::plain)
                            .font(Font::systemFont(13))
                            .foreground(white(0.55))
                            .padding({.top = 12})})
      .key("intro")
      .spacing(0)
      .frame({.maxWidth = forms::infinity, .maxHeight = forms::infinity});
}

Node TagDemoView::success() const {
  return forms::VStack({forms::Spacer(12).key("top"),
                        forms::Symbol("checkmark.circle.fill")
                            .key("check")
                            .font(Font::systemFont(64))
                            .foreground(Color::systemGreen()),
                        title(successTitle, "successTitle"),
                        paragraph(successBody, "successBody", 13, 0.68, 10),
                        paragraph(menuBarHint, "menuBarHint", 12, 0.55, 8),
                        forms::Spacer(16).key("middle"), wideButton(doneTitle, "done", onDone)})
      .key("success")
      .spacing(0)
      .frame({.maxWidth = forms::infinity, .maxHeight = forms::infinity});
}

}  // namespace flagrig
