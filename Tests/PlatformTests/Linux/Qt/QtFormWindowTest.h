#pragma once

#include <QWidget>
#include <QWindow>
#include <memory>

#include "Platform/Desktop/Window.h"
#include "Platform/Forms/FormHost.h"
#include "Platform/Linux/Qt/QtFormRenderer.h"
#include "QtDesktopTest.h"

namespace platform::testing {

// A form presented in a window of the Qt desktop. The window closes and the form goes before
// the desktop does.
class QtFormWindowTest : public QtDesktopTest {
 protected:
  // Presents `host` in `window` and waits until it is on screen (and, given a width, laid out
  // at it).
  void presentAndWait(int width = 0) {
    presentation = desktop().presentForm(*window, host);
    renderer = std::static_pointer_cast<linuxbackend::QtFormRenderer>(presentation);
    window->makeKeyAndOrderFront();
    ASSERT_TRUE(renderer && renderer->rootWidget());
    ASSERT_TRUE(runUntil([&] {
      QWidget* root = renderer->rootWidget();
      return root && root->isVisible() && root->window()->windowHandle() &&
             root->window()->windowHandle()->isExposed() && (width == 0 || root->width() == width);
    }));
  }
  void TearDown() override {
    presentation.reset();
    renderer.reset();
    if (window) window->close();
    window.reset();
    host.reset();
    QtDesktopTest::TearDown();
  }

  std::shared_ptr<forms::FormHost> host;
  std::shared_ptr<Window> window;
  std::shared_ptr<void> presentation;
  std::shared_ptr<linuxbackend::QtFormRenderer> renderer;
};

}  // namespace platform::testing
