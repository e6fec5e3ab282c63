// Rendering the sign-in screen and a settings-sized grouped form (seven sections, about sixty
// nodes): their trees built (and laid out) from scratch, a redraw after one state change, the
// Qt renderer bringing its widgets up to date and the first show of a window (when an X
// display is at hand).
#include <benchmark/benchmark.h>

#include <QWidget>
#include <QWindow>
#include <functional>
#include <memory>

#include "Platform/Desktop/Desktop.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Forms/FormHost.h"
#include "Platform/Forms/FormLayout.h"
#include "Platform/Linux/Qt/QtFormRenderer.h"
#include "SimBenchScope.h"
#include "VoskaryAccount/SignIn/VoskarySignInScreen.h"
#include "X11BenchScope.h"

namespace {

using voskary::VoskarySignInScreen;
namespace forms = platform::forms;

forms::Node signInScreen(forms::FormHost& host) {
  bool busy = host.cell("busy", false).get();
  return VoskarySignInScreen(
             nullptr, "Flagrig", "Pin small coloured tags to your windows.",
             voskary::VoskaryProviderButtonStyle::dark(platform::Color::sRGB(0.95, 0.45, 0.15)),
             busy ? VoskarySignInScreen::Phase::busy() : VoskarySignInScreen::Phase::ready(),
             platform::URL("https://voskary.example/privacy"),
             platform::URL("https://voskary.example/terms"), std::nullopt,
             [](voskary::OAuthDriver::ProviderHint) {}, [] {}, nullptr, nullptr)
      .body();
}

// Seven sections of toggles, pickers, labelled rows, links and captions, as the settings window.
forms::Node settingsForm(forms::FormHost& host) {
  std::vector<forms::Node> sections;
  for (int s = 0; s < 7; ++s) {
    std::string n = std::to_string(s);
    sections.push_back(
        forms::Section(
            "Section " + n,
            {forms::Toggle("Enable feature " + n, host.cell("on" + n, s % 2 == 0)),
             forms::Toggle("Show details " + n, host.cell("details" + n, false)),
             forms::Picker("Style " + n, {{"a", "Pill"}, {"b", "Rounded"}, {"c", "Square"}},
                           host.cell("style" + n, "a")),
             forms::LabeledContent("Value " + n, forms::Text("42")),
             forms::Link("Learn more " + n, platform::URL("https://example.test/" + n)),
             forms::Caption("A short explanation of section " + n + ".")})
            .footer("Footer " + n));
  }
  return forms::ScrollView(forms::Form(std::move(sections)))
      .colorScheme(forms::ColorScheme::dark)
      .accentColor(platform::Color::sRGB(0.95, 0.45, 0.15));
}

using platform::bench::SimScope;
using platform::bench::X11BenchScope;

void BM_SignInTreeRender(benchmark::State& state) {
  SimScope scope;
  auto host = forms::FormHost::make(signInScreen);
  for (auto _ : state) {
    host->renderNow();
    benchmark::DoNotOptimize(host->tree().children().size());
  }
}
BENCHMARK(BM_SignInTreeRender);

void BM_SignInTreeRenderAndLayout(benchmark::State& state) {
  SimScope scope;
  auto host = forms::FormHost::make(signInScreen);
  for (auto _ : state) {
    host->renderNow();
    auto layout = forms::FormLayout::layout(host->tree(), {440, 640});
    benchmark::DoNotOptimize(layout.frames.size());
  }
}
BENCHMARK(BM_SignInTreeRenderAndLayout);

void BM_SettingsRenderAndLayout(benchmark::State& state) {
  SimScope scope;
  auto host = forms::FormHost::make(settingsForm);
  int nodes = 0;
  std::function<void(const forms::Node&)> count = [&](const forms::Node& n) {
    ++nodes;
    for (const auto& c : n.children()) count(c);
  };
  count(host->tree());
  for (auto _ : state) {
    host->renderNow();
    auto layout = forms::FormLayout::layout(host->tree(), {480, 600});
    benchmark::DoNotOptimize(layout.frames.size());
  }
  state.counters["nodes"] = nodes;
}
BENCHMARK(BM_SettingsRenderAndLayout)->Unit(benchmark::kMicrosecond);

// One state change: the redraw it schedules, on the next turn of the main loop, and the layout.
void BM_SignInRedrawAfterStateChange(benchmark::State& state) {
  SimScope scope;
  auto host = forms::FormHost::make(signInScreen);
  bool busy = false;
  for (auto _ : state) {
    busy = !busy;
    host->cell<bool>("busy").set(busy);
    scope.sim->mainLoop->runUntilIdle();
    auto layout = forms::FormLayout::layout(host->tree(), {440, 640});
    benchmark::DoNotOptimize(layout.frames.size());
  }
}
BENCHMARK(BM_SignInRedrawAfterStateChange);

// A state change drawn by the Qt renderer: the redraw, the widgets reconciled with it and, with
// `paint`, the window painted.
void qtUpdate(benchmark::State& state, forms::FormHost::Body body, platform::Size size,
              const std::string& cell) {
  bool paint = state.range(0) != 0;
  X11BenchScope qt(state);
  if (!qt) return;
  auto host = forms::FormHost::make(std::move(body));
  auto window = std::make_shared<platform::Window>(
      platform::Rect(100, 100, size.width, size.height), platform::StyleMask::titled);
  auto presentation = qt.desktop().presentForm(*window, host);
  auto renderer = std::static_pointer_cast<platform::linuxbackend::QtFormRenderer>(presentation);
  window->makeKeyAndOrderFront();
  qt.runFor(0.3);
  bool on = false;
  for (auto _ : state) {
    on = !on;
    host->cell<bool>(cell).set(on);
    host->renderNow();
    if (paint) renderer->rootWidget()->window()->repaint();
    benchmark::DoNotOptimize(renderer->widgetsCreated());
  }
  presentation.reset();
  window->close();
  qt.runFor(0.05);
}

void BM_SignInQtUpdate(benchmark::State& state) {
  qtUpdate(state, signInScreen, {440, 640}, "busy");
}
BENCHMARK(BM_SignInQtUpdate)->ArgName("paint")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// One toggle of the settings-sized form flipped.
void BM_SettingsQtUpdateAfterToggle(benchmark::State& state) {
  qtUpdate(state, settingsForm, {480, 600}, "details3");
}
BENCHMARK(BM_SettingsQtUpdateAfterToggle)
    ->ArgName("paint")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond);

// A window with the settings-sized form: created, its widgets made, shown and first exposed.
void BM_SettingsFirstShow(benchmark::State& state) {
  X11BenchScope qt(state);
  if (!qt) return;
  auto host = forms::FormHost::make(settingsForm);
  for (auto _ : state) {
    auto window = std::make_shared<platform::Window>(platform::Rect(100, 100, 480, 600),
                                                     platform::StyleMask::titled);
    auto presentation = qt.desktop().presentForm(*window, host);
    auto renderer = std::static_pointer_cast<platform::linuxbackend::QtFormRenderer>(presentation);
    window->makeKeyAndOrderFront();
    qt.runUntil(
        [&] {
          QWidget* top = renderer->rootWidget() ? renderer->rootWidget()->window() : nullptr;
          return top && top->windowHandle() && top->windowHandle()->isExposed();
        },
        10);
    state.PauseTiming();
    presentation.reset();
    window->close();
    qt.runFor(0.05);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_SettingsFirstShow)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
