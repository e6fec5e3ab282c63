// Opening the first-run flow window on the real X11 desktop (Xvfb with openbox, the Qt
// desktop): from the call that opens it to the first frame painted in it, and what closing it
// leaves behind.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "Flagrig/Onboarding/LoginFirstFlowWindowController.h"
#include "Flagrig/Onboarding/NetworkReachabilityService.h"
#include "Flagrig/Shell/AppDelegate.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Foundation/Clock.h"
#include "Platform/Foundation/Environment.h"
#include "Platform/Foundation/RunLoop.h"
#include "Platform/Linux/LinuxEnvironment.h"
#include "Platform/Sim/SimEnvironment.h"
#include "Support/X11/XvfbDesktop.h"
#include "XvfbBenchDesktop.h"

namespace {

using namespace platform;

// Counts paints of one top-level widget.
class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// Checked every half millisecond, so that the first frame is timed closely.
struct Desktop : bench::XvfbBenchDesktop {
  bool runUntil(const std::function<bool()>& condition, double seconds) {
    return XvfbBenchDesktop::runUntil(condition, seconds, 0.0005);
  }
};

Desktop& desktop() {
  static Desktop instance;
  return instance;
}

QWidget* flowWidget() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->isVisible() && widget->windowTitle() == "Sign in to Flagrig") return widget;
  }
  return nullptr;
}

void BM_FlowWindowFromCallToFirstFrame(benchmark::State& state) {
  auto& d = desktop();
  if (!d.ready()) {
    state.SkipWithError(d.reason.c_str());
    return;
  }
  flagrig::LoginFirstFlowWindowController::install();
  auto delegate = std::make_shared<flagrig::AppDelegate>();
  for (auto _ : state) {
    PaintCounter counter;
    QWidget* shown = nullptr;
    const auto start = std::chrono::steady_clock::now();
    delegate->presentLoginFirstFlow(flagrig::LoginFirstStep::signIn);
    bool painted = d.runUntil(
        [&] {
          if (!shown && (shown = flowWidget())) shown->installEventFilter(&counter);
          return shown && shown->windowHandle() && shown->windowHandle()->isExposed() &&
                 counter.paints > 0;
        },
        10);
    const auto end = std::chrono::steady_clock::now();
    if (!painted) {
      state.SkipWithError("the flow window never painted");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    shown->removeEventFilter(&counter);
    // Closed as the user closes it; everything it held must go.
    delegate->loginFirstWindow()->performClose();
    if (!d.runUntil([&] { return !delegate->loginFirstWindow() && !flowWidget(); }, 10)) {
      state.SkipWithError("the flow window did not go away when closed");
      break;
    }
    if (flagrig::NetworkReachabilityService::shared().observerCount() != 0) {
      state.SkipWithError("a closed flow left a reachability observer");
      break;
    }
  }
}
BENCHMARK(BM_FlowWindowFromCallToFirstFrame)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
