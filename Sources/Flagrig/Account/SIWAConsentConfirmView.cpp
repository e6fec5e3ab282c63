#include "Flagrig/Account/SIWAConsentConfirmView.h"

#include "Flagrig/Account/SignupConsentService.h"
#include "Flagrig/Shell/BrandMark.h"
#include "Flagrig/Shell/Constants.h"
#include "Platform/Forms/FormHost.h"
#include "Platform/Forms/Vocabulary.h"
#include "Platform/Foundation/Task.h"

namespace flagrig {

using namespace platform::forms::vocabulary;

namespace {

// The platform's callout and headline text styles.
Font callout(FontWeight weight = FontWeight::regular) {
  return Font::systemFont(12, weight);
}

}  // namespace

Color SIWAConsentConfirmView::accent() {
  return Color::sRGB(0.851, 0.467, 0.024);
}

Color SIWAConsentConfirmView::coal() {
  return Color::sRGB(0.094, 0.094, 0.106);
}

std::shared_ptr<SIWAConsentConfirmView> SIWAConsentConfirmView::make(
    std::shared_ptr<VoskaryAccountBridge> bridge, std::function<void()> onContinue) {
  return std::make_shared<SIWAConsentConfirmView>(std::move(bridge), std::move(onContinue));
}

SIWAConsentConfirmView::SIWAConsentConfirmView(std::shared_ptr<VoskaryAccountBridge> bridge,
                                               std::function<void()> onContinue)
    : bridge_(std::move(bridge)),
      onContinue_(std::move(onContinue)),
      initiallyChecked_(SignupConsentService::marketingPreChecked()),
      marketingChecked_(initiallyChecked_) {}

void SIWAConsentConfirmView::changed() {
  if (auto host = host_.lock()) host->invalidate();
}

void SIWAConsentConfirmView::toggleMarketing() {
  if (submitting_) return;
  touched_ = true;
  marketingChecked_ = !marketingChecked_;
  changed();
}

void SIWAConsentConfirmView::continueTapped() {
  if (submitting_) return;
  submitting_ = true;
  changed();
  std::weak_ptr<SIWAConsentConfirmView> weak = weak_from_this();
  platform::spawn(
      [](std::weak_ptr<SIWAConsentConfirmView> weakSelf,
         std::shared_ptr<VoskaryAccountBridge> bridge,
         SignupConsentService::MarketingBox marketing) -> platform::Task<void> {
        co_await SignupConsentService::submit(std::move(bridge), marketing);
        auto self = weakSelf.lock();
        if (!self) co_return;  // the step went away meanwhile
        self->submitting_ = false;
        self->changed();
        if (auto next = self->onContinue_) next();
      }(weak, bridge_,
                                                       {.checked = marketingChecked_,
                                                        .touched = touched_,
                                                        .initiallyChecked = initiallyChecked_}));
}

Node SIWAConsentConfirmView::body(forms::FormHost& host) {
  host_ = host.weak_from_this();
  return forms::VStack({BrandMark::node(96, accent()).key("brand").accessibilityHidden(),
                        forms::Text(title)
                            .key("title")
                            .font(Font::systemFont(28, FontWeight::bold))
                            .foreground(Color::white())
                            .multilineTextAlignment(forms::TextAlignment::center),
                        terms(), marketingRow(), continueButton()})
      .key("consent")
      .spacing(18)
      .padding(32)
      .frame({.maxWidth = forms::infinity, .maxHeight = forms::infinity})
      .background(forms::Shape({.fill = coal()}).key("coal"))
      .accentColor(accent());
}

Node SIWAConsentConfirmView::terms() const {
  // The sentence with its two phrases as links, wrapped after its lead.
  auto text = [](const char* words, const char* key) {
    return forms::Text(words).key(key).font(callout()).foreground(white(0.68));
  };
  auto link = [](const char* words, const platform::URL& url, const char* key) {
    return forms::Link(words, url).key(key).font(callout()).foreground(accent());
  };
  return forms::VStack(
             {text(termsLead, "termsLead"),
              forms::HStack({link(termsTitle, Constants::Identity::termsURL(), "termsLink"),
                             text("and", "and"),
                             link(privacyTitle, Constants::Identity::privacyURL(), "privacyLink")})
                  .key("termsLinks")
                  .spacing(5)})
      .key("terms")
      .spacing(2)
      .accessibilityLabel(std::string(SignupConsentService::termsText));
}

Node SIWAConsentConfirmView::marketingRow() {
  std::weak_ptr<SIWAConsentConfirmView> weak = weak_from_this();
  Node box = (marketingChecked_ ? forms::Symbol("checkmark.square.fill").foreground(accent())
                                : forms::Symbol("square").foreground(white(0.55)))
                 .key("box")
                 .font(Font::systemFont(15, FontWeight::semibold));
  return forms::Button(
             {forms::HStack({std::move(box),
                             forms::Text(std::string(SignupConsentService::marketingConsentText))
                                 .key("marketingLabel")
                                 .font(callout())
                                 .foreground(white(0.92)),
                             forms::Spacer().key("gap")})
                  .key("marketingContent")
                  .spacing(10)
                  .padding(12)
                  .background(forms::Shape({.kind = forms::ShapeKind::roundedRectangle,
                                            .cornerRadius = 10,
                                            .fill = coal(),
                                            .stroke = white(0.14)})
                                  .key("marketingShape"))},
             [weak] {
               if (auto self = weak.lock()) self->toggleMarketing();
             })
      .key("marketing")
      .buttonStyle(forms::ButtonStyle::plain)
      .accessibilityLabel(std::string(SignupConsentService::marketingConsentText))
      .frame({.maxWidth = 420});
}

Node SIWAConsentConfirmView::continueButton() {
  std::weak_ptr<SIWAConsentConfirmView> weak = weak_from_this();
  std::vector<Node> label;
  if (submitting_) label.push_back(forms::ProgressView().key("progress"));
  label.push_back(forms::Text(continueTitle)
                      .key("continueLabel")
                      .font(Font::systemFont(13, FontWeight::semibold)));
  return forms::Button({forms::HStack(std::move(label))
                            .key("continueContent")
                            .spacing(8)
                            .frame({.maxWidth = forms::infinity})},
                       [weak] {
                         if (auto self = weak.lock()) self->continueTapped();
                       })
      .key("continue")
      .buttonStyle(forms::ButtonStyle::borderedProminent)
      .keyboardShortcut(forms::KeyboardShortcut::defaultAction)
      .tint(accent())
      .disabled(submitting_)
      .frame({.maxWidth = 420});
}

}  // namespace flagrig
