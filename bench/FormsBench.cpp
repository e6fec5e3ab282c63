// Rendering the sign-in screen: its form tree built (and laid out) from scratch, a redraw
// after one state change, and the Qt renderer bringing its widgets up to date (when an X
// display is at hand).
#include <benchmark/benchmark.h>

#include <QWidget>
#include <memory>

#include "Platform/Desktop/Window.h"
#include "Platform/Forms/FormHost.h"
#include "Platform/Forms/FormLayout.h"
#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Foundation/SharedInstance.h"
#include "Platform/Linux/LinuxEnvironment.h"
#include "Platform/Linux/Qt/QtDesktopSetup.h"
#include "Platform/Linux/Qt/QtFormRenderer.h"
#include "Platform/Sim/SimEnvironment.h"
#include "VoskaryAccount/SignIn/VoskarySignInScreen.h"

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

struct SimScope {
  SimScope() : sim(platform::sim::makeSimEnvironment()) {
    platform::installEnvironment(sim->environment);
  }
  ~SimScope() {
    platform::resetSharedInstances();
    sim->mainLoop->discardPendingWork();
    platform::installEnvironment(nullptr);
  }
  std::shared_ptr<platform::sim::SimEnvironment> sim;
};

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

// The same state change drawn by the Qt renderer: the redraw, the widgets reconciled with it
// and, with `paint`, the window painted.
void BM_SignInQtUpdate(benchmark::State& state) {
  bool paint = state.range(0) != 0;
  if (!platform::linuxbackend::x11DisplayAvailable()) {
    state.SkipWithError("no X display: run under Xvfb (xvfb-run -a)");
    return;
  }
  platform::resetSharedInstances();
  auto sim = platform::sim::makeSimEnvironment();
  platform::Environment& e = *sim->environment;
  e.clock = std::make_shared<platform::SystemClock>();
  e.mainLoop = std::make_shared<platform::RunLoop>(e.clock);
  e.backgroundPool = e.mainLoop;
  platform::installEnvironment(sim->environment);
  e.desktop = platform::linuxbackend::makeX11Desktop(e.mainLoop);
  if (!e.desktop) {
    platform::installEnvironment(nullptr);
    state.SkipWithError("the X display did not open");
    return;
  }
  auto runFor = [&](double seconds) {
    e.mainLoop->postAfter(seconds, [&] { e.mainLoop->stop(); });
    e.mainLoop->run();
  };
  {
    auto host = forms::FormHost::make(signInScreen);
    auto window = std::make_shared<platform::Window>(platform::Rect(100, 100, 440, 640),
                                                     platform::StyleMask::titled);
    auto presentation = e.desktop->presentForm(*window, host);
    auto renderer = std::static_pointer_cast<platform::linuxbackend::QtFormRenderer>(presentation);
    window->makeKeyAndOrderFront();
    runFor(0.3);
    bool busy = false;
    for (auto _ : state) {
      busy = !busy;
      host->cell<bool>("busy").set(busy);
      host->renderNow();
      if (paint) renderer->rootWidget()->window()->repaint();
      benchmark::DoNotOptimize(renderer->widgetsCreated());
    }
    presentation.reset();
    window->close();
    runFor(0.05);
  }
  platform::resetSharedInstances();
  e.mainLoop->discardPendingWork();
  e.desktop.reset();
  platform::installEnvironment(nullptr);
}
BENCHMARK(BM_SignInQtUpdate)->ArgName("paint")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
