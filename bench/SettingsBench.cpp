// The settings window: opening it from the status menu to its first painted frame (on an X
// display), a redraw after one toggle, and what the open window costs while nothing changes
// (renders and CPU time over a few seconds of the real run loop).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWidget>
#include <QWindow>
#include <ctime>
#include <memory>

#include "Flagrig/Settings/FlagrigSettingsView.h"
#include "Flagrig/Settings/SettingsWindowController.h"
#include "Flagrig/Shell/AppDelegate.h"
#include "Flagrig/Shell/AppScreens.h"
#include "Flagrig/Tagging/TagManager.h"
#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Forms/FormHost.h"
#include "Platform/Forms/FormLayout.h"
#include "Platform/Foundation/SharedInstance.h"
#include "SimBenchScope.h"
#include "X11BenchScope.h"

namespace {

namespace forms = platform::forms;
using flagrig::FlagrigSettingsView;
using flagrig::SettingsWindowController;

using platform::bench::SimScope;
using platform::bench::X11BenchScope;

// One toggle of "Share product analytics": the write, the redraw it schedules and the layout.
void BM_SettingsRedrawAfterToggle(benchmark::State& state) {
  SimScope scope;
  SettingsWindowController::install();
  flagrig::AppScreens::shared().settings->showWindow();
  scope.sim->mainLoop->runUntilIdle();
  auto& host = *SettingsWindowController::shared()->host();
  bool on = true;
  for (auto _ : state) {
    on = !on;
    host.setToggle(FlagrigSettingsView::shareAnalyticsTitle, on);
    scope.sim->mainLoop->runUntilIdle();
    auto layout = forms::FormLayout::layout(host.tree(), {460, 640});
    benchmark::DoNotOptimize(layout.frames.size());
  }
}
BENCHMARK(BM_SettingsRedrawAfterToggle)->Unit(benchmark::kMicrosecond);

QWidget* settingsWidget() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->isVisible() && widget->windowTitle() == SettingsWindowController::title)
      return widget;
  return nullptr;
}

// "Settings…" chosen in the status menu to the window's first frame: the window and its form
// built, shown, exposed by the X server and painted.
void BM_SettingsOpenFromMenuToFirstFrame(benchmark::State& state) {
  X11BenchScope scope(state);
  if (!scope) return;
  for (auto _ : state) {
    state.PauseTiming();
    // A process that has not opened its settings yet.
    platform::resetSharedInstances();
    auto delegate = std::make_shared<flagrig::AppDelegate>();
    platform::Application::shared().setDelegate(delegate);
    SettingsWindowController::install();
    scope.runFor(0.05);
    state.ResumeTiming();

    delegate->openSettings();
    QWidget* widget = nullptr;
    const bool shown = scope.runUntil(
        [&] {
          widget = settingsWidget();
          return widget && widget->windowHandle() && widget->windowHandle()->isExposed();
        },
        5);
    if (!shown) {
      state.SkipWithError("the settings window was never exposed");
      return;
    }
    widget->repaint();

    state.PauseTiming();
    SettingsWindowController::shared()->window()->close();
    scope.runFor(0.05);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_SettingsOpenFromMenuToFirstFrame)->Unit(benchmark::kMillisecond)->Iterations(10);

// The same toggle in the open window drawn by the Qt renderer: the write, the redraw, the
// widgets brought up to date with the new tree and the window painted.
void BM_SettingsQtRedrawAfterToggle(benchmark::State& state) {
  X11BenchScope scope(state);
  if (!scope) return;
  SettingsWindowController::install();
  flagrig::AppScreens::shared().settings->showWindow();
  QWidget* widget = nullptr;
  if (!scope.runUntil([&] { return (widget = settingsWidget()) != nullptr; }, 5)) {
    state.SkipWithError("the settings window did not show");
    return;
  }
  scope.runFor(0.3);
  auto& host = *SettingsWindowController::shared()->host();
  bool on = true;
  for (auto _ : state) {
    on = !on;
    host.setToggle(FlagrigSettingsView::shareAnalyticsTitle, on);
    host.renderNow();
    widget->repaint();
  }
}
BENCHMARK(BM_SettingsQtRedrawAfterToggle)->Unit(benchmark::kMicrosecond);

double processCPUSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The open window while nothing changes: renders of its form and the process's CPU time over
// three seconds of the real loop, as a share of one core, beside the same process before the
// window opened (the loop, the X connection, the tag poll and the benchmark's own threads).
void BM_SettingsIdleWhileOpen(benchmark::State& state) {
  X11BenchScope scope(state);
  if (!scope) return;
  auto cpuOver = [&](double seconds) {
    const double before = processCPUSeconds();
    scope.runFor(seconds);
    return processCPUSeconds() - before;
  };
  SettingsWindowController::install();
  // Running as in the app once its status menu has opened: the tag manager and its position
  // poll exist before the settings do (the editor would otherwise start them).
  flagrig::TagManager::shared();
  scope.runFor(1.0);
  const double baseline = cpuOver(3.0);
  flagrig::AppScreens::shared().settings->showWindow();
  scope.runFor(2.0);
  auto& host = *SettingsWindowController::shared()->host();
  double renders = 0, cpu = 0, seconds = 0;
  for (auto _ : state) {
    const int before = host.renderCount();
    cpu += cpuOver(3.0);
    renders += host.renderCount() - before;
    seconds += 3.0;
  }
  state.counters["renders"] = renders;
  state.counters["core_percent"] = 100 * cpu / seconds;
  state.counters["closed_core_percent"] = 100 * baseline / 3.0;
}
BENCHMARK(BM_SettingsIdleWhileOpen)->Unit(benchmark::kSecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
