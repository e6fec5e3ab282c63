// Forms drawn by the Qt renderer on a private X desktop: every node kind in both schemes,
// dialogs, the keyboard, hover, toggles, the spinner and a hosted view. Screenshots go to
// $FLAGRIG_SCREENSHOT_DIR.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QAccessible>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Platform/Desktop/Application.h"
#include "Platform/Desktop/Button.h"
#include "Platform/Desktop/Image.h"
#include "Platform/Desktop/Layer.h"
#include "Platform/Desktop/View.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Forms/FormHost.h"
#include "Platform/Forms/FormLayout.h"
#include "Platform/Forms/FormMetrics.h"
#include "Platform/Linux/Qt/QtFormRenderer.h"
#include "Platform/Linux/Qt/QtViewPainter.h"
#include "QtFormWindowTest.h"

namespace platform::forms {
namespace {

using linuxbackend::QtFormRenderer;
using platform::testing::near;
using platform::testing::QtDesktopTest;

const Color kAccent = Color::sRGB(0.95, 0.45, 0.15);

class QtFormRendererTest : public platform::testing::QtFormWindowTest {
 protected:
  void show(FormHost::Body body, Size size = {420, 560}, bool dark = true) {
    host = FormHost::make(std::move(body));
    auto screen = desktop().screens().front()->frame();
    window = std::make_shared<Window>(
        Rect(100, screen.height() - 60 - size.height, size.width, size.height),
        StyleMask::titled | StyleMask::closable);
    window->setTitle("Form");
    window->setBackgroundColor(dark ? Color::sRGB(0.11, 0.11, 0.12)
                                    : Color::sRGB(0.96, 0.96, 0.96));
    presentAndWait();
    runFor(0.2);
  }
  QWidget* widget(NodeKind kind, std::string_view title) {
    const Node* node = host->find(kind, title);
    return node ? renderer->widgetFor(node->identity()) : nullptr;
  }
  QPoint centreOf(QWidget* w) {
    EXPECT_TRUE(w);
    return w ? w->mapToGlobal(w->rect().center()) : QPoint();
  }
  bool moveTo(QPoint p) {
    return xdotool({"mousemove", std::to_string(p.x()), std::to_string(p.y())});
  }
  bool click(QWidget* w) {
    QPoint p = centreOf(w);
    return moveTo(p) && xdotool({"click", "1"});
  }
  // A picture of one top-level window's own content, kept with the screenshots (the whole
  // screen shows a second window of ours black under Xvfb without a compositor, though the
  // window holds its content).
  bool windowShot(QWidget* top, const std::string& name) {
    const char* dir = std::getenv("FLAGRIG_SCREENSHOT_DIR");
    std::filesystem::path folder =
        dir && *dir ? std::filesystem::path(dir)
                    : std::filesystem::temp_directory_path() / "flagrig-qt-tests";
    std::filesystem::create_directories(folder);
    std::string path = (folder / (name + ".png")).string();
    return xdesktop().run({"sh", "-c",
                           "xwd -silent -id " + std::to_string(top->winId()) +
                               " | /usr/bin/convert xwd:- png:'" + path + "'"}) == 0;
  }
  // Keys go to the window that has the keyboard (the form's, or its dialog's).
  bool key(const std::string& name) { return xdotool({"key", name}); }
  std::string focusedTitle() {
    const Node* n = host->findByIdentity(host->focused());
    return n ? n->title() : std::string();
  }
};

// Every node kind once.
Node gallery(FormHost& h, ColorScheme scheme, std::shared_ptr<View> view) {
  return ScrollView(
             Form({Section("Controls",
                           {Toggle("Show tags", h.cell("show", true)),
                            Toggle("Sounds", h.cell("sounds", false))
                                .accessibilityHint("Plays a sound when a tag moves"),
                            Picker("Shape", {{"pill", "Pill"}, {"round", "Rounded"}},
                                   h.cell("shape", "pill")),
                            Link("Help", URL("https://example.test/help")),
                            LabeledContent("Version", Text("1.4.2")),
                            HStack({Button("Cancel", [] {}).buttonStyle(ButtonStyle::bordered),
                                    Button("Reset…", [] {})
                                        .role(ButtonRole::destructive)
                                        .buttonStyle(ButtonStyle::borderedProminent)})
                                .spacing(8),
                            Caption("Tags follow their windows.")})
                       .footer("Changes apply at once."),
                   Section("Content",
                           {Text("A sentence of plain text that wraps onto a second line here."),
                            LinkedText("I agree to the [Privacy Policy](https://example.test/p)."),
                            HStack({Symbol("star").accessibilityLabel("Favourite"),
                                    ImageNode(Image::systemSymbol("tag.fill", "Flagrig"), {16, 16}),
                                    Shape({.kind = ShapeKind::roundedRectangle,
                                           .cornerRadius = 4,
                                           .fill = kAccent})
                                        .frame({.width = 40, .height = 16}),
                                    CanvasNode([](Canvas& c) {
                                      CanvasPath path;
                                      path.addEllipse(Rect(0, 0, c.size().width, c.size().height));
                                      c.fill(path, c.foreground());
                                    }).frame({.width = 16, .height = 16}),
                                    ProgressView(), ProgressView().controlSize(ControlSize::small),
                                    ProgressView(0.6).frame({.width = 80})})
                                .spacing(12)
                                .accessibilityCombined()
                                .accessibilityLabel("Samples"),
                            Divider(), NativeView(std::move(view)).key("native"),
                            ZStack({Shape({.kind = ShapeKind::capsule, .fill = kAccent}),
                                    Text("Badge").foreground(Color::white())})
                                .frame({.width = 80, .height = 22})})}))
      .colorScheme(scheme)
      .accentColor(kAccent);
}

TEST_F(QtFormRendererTest, TheGalleryDrawsEveryNodeKindInBothSchemes) {
  for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
    SCOPED_TRACE(scheme == ColorScheme::dark ? "dark" : "light");
    auto view = std::make_shared<View>(Rect(0, 0, 100, 30));
    view->setWantsLayer(true);
    view->layer()->setBackgroundColor(Color::sRGB(0.2, 0.6, 0.3));
    show([scheme, view](FormHost& h) { return gallery(h, scheme, view); }, {420, 560},
         scheme == ColorScheme::dark);
    for (NodeKind kind :
         {NodeKind::form, NodeKind::section, NodeKind::toggle, NodeKind::picker, NodeKind::link,
          NodeKind::labeledContent, NodeKind::button, NodeKind::text, NodeKind::symbol,
          NodeKind::shape, NodeKind::canvas, NodeKind::progress, NodeKind::divider,
          NodeKind::nativeView, NodeKind::zstack, NodeKind::scroll}) {
      auto nodes = host->findAll(kind);
      ASSERT_FALSE(nodes.empty()) << nameOf(kind);
      EXPECT_TRUE(renderer->widgetFor(nodes.front()->identity())) << nameOf(kind);
    }
    // The "on" switch is drawn in the accent colour.
    QWidget* on = widget(NodeKind::toggle, "Show tags");
    ASSERT_TRUE(on);
    QImage image = on->grab().toImage();
    QPoint track(image.width() - static_cast<int>(FormMetrics::switchWidth) + 5,
                 image.height() / 2);
    EXPECT_TRUE(near(image.pixelColor(track), QColor(242, 115, 38), 24))
        << image.pixelColor(track).name().toStdString();
    EXPECT_FALSE(
        screenshot(scheme == ColorScheme::dark ? "forms-gallery-dark" : "forms-gallery-light")
            .isNull());
    presentation.reset();
    renderer.reset();
    window->close();
  }
}

// Opens a presentation by its cell, then acts once its dialog has the keyboard; true when
// `done` holds afterwards.
#define ANSWER_DIALOG(cell, act, done)                                                    \
  do {                                                                                    \
    (cell).set(true);                                                                     \
    bool acted = false;                                                                   \
    int settled = 0;                                                                      \
    EXPECT_TRUE(runUntil([&] {                                                            \
      QtFormRenderer* d = renderer->dialogRenderer();                                     \
      bool ready = d && d->rootWidget() && d->rootWidget()->window()->isActiveWindow() && \
                   d->rootWidget()->window()->windowHandle()->isExposed();                \
      /* A few checks in a row, so that the dialog has been painted. */                   \
      settled = ready ? settled + 1 : 0;                                                  \
      if (!acted && settled > 10) {                                                       \
        act;                                                                              \
        acted = true;                                                                     \
      }                                                                                   \
      return acted && (done);                                                             \
    }));                                                                                  \
  } while (false)

TEST_F(QtFormRendererTest, DialogsAnswerByReturnEscAndAClickOnceAndGoWhenWithdrawn) {
  int oks = 0, cancels = 0, resets = 0;
  show([&](FormHost& h) {
    auto failed = h.cell<bool>("failed");
    auto confirm = h.cell<bool>("confirm");
    return VStack({Text("Body").alert(
                       failed, "Upload failed", "Try again later.",
                       {defaultAction("OK", [&] { ++oks; }), cancel("Cancel", [&] { ++cancels; })}),
                   Button("Reset…", [confirm] { confirm.set(true); })
                       .confirmationDialog(confirm, "Reset all settings?", "This cannot be undone.",
                                           {destructive("Reset", [&] { ++resets; }),
                                            cancel("Cancel", [&] { ++cancels; })})})
        .padding(20)
        .colorScheme(ColorScheme::dark)
        .accentColor(kAccent);
  });
  auto failed = host->cell<bool>("failed");
  auto confirm = host->cell<bool>("confirm");

  ANSWER_DIALOG(
      failed,
      (screenshot("forms-alert"),
       windowShot(renderer->dialogRenderer()->rootWidget()->window(), "forms-alert-dialog"),
       key("Return")),
      oks == 1 && !renderer->dialogWindow());
  EXPECT_FALSE(*failed);
  ANSWER_DIALOG(
      confirm,
      (windowShot(renderer->dialogRenderer()->rootWidget()->window(), "forms-confirmation-dialog"),
       key("Escape")),
      cancels == 1 && !renderer->dialogWindow());
  auto dialogButton = [&](std::string_view title) -> QWidget* {
    QtFormRenderer* d = renderer->dialogRenderer();
    const Node* n = d ? d->host()->find(NodeKind::button, title) : nullptr;
    return n ? d->widgetFor(n->identity()) : nullptr;
  };
  ANSWER_DIALOG(confirm, click(dialogButton("Reset")), resets == 1 && !renderer->dialogWindow());
  // Withdrawn by the screen while shown: gone without an answer.
  ANSWER_DIALOG(failed, failed.set(false), !renderer->dialogWindow());
  runFor(0.2);
  EXPECT_EQ(oks, 1);
  EXPECT_EQ(cancels, 1);
  EXPECT_EQ(resets, 1);
  EXPECT_FALSE(host->presented());
}

TEST_F(QtFormRendererTest, AWindowClosedUnderItsDialogEndsTheSessionWithoutAnAnswer) {
  int answers = 0;
  show([&](FormHost& h) {
    return Text("Body").alert(h.cell<bool>("shown"), "Still there?", std::nullopt,
                              {defaultAction("OK", [&] { ++answers; }), cancel()});
  });
  host->cell<bool>("shown").set(true);
  std::weak_ptr<Window> dialog;
  bool closed = false;
  EXPECT_TRUE(runUntil([&] {
    if (!closed && renderer->dialogWindow() && renderer->dialogWindow()->isVisible()) {
      dialog = renderer->dialogWindow();
      // The window's controller goes while the dialog's session runs.
      presentation.reset();
      renderer.reset();
      window->close();
      closed = true;
    }
    return closed && desktop().application().modalWindow() == nullptr;
  }));
  runFor(0.2);
  EXPECT_EQ(answers, 0);
  auto gone = dialog.lock();
  EXPECT_TRUE(!gone || !gone->isVisible());
}

// The window manager draws a close button on a dialog too. It answers as Cancel where there is
// one, once; on an alert without one it does nothing, and the dialog still waits for its answer
// (closing the window alone left the session running with no window to end it, and every
// other window of ours refusing its input). The form's own window does not close under it.
TEST_F(QtFormRendererTest, ADialogsCloseButtonAnswersCancelOrNothing) {
  int cancels = 0, oks = 0;
  show([&](FormHost& h) {
    return VStack({Text("Body")
                       .confirmationDialog(
                           h.cell<bool>("ask"), "Reset?", std::nullopt,
                           {destructive("Reset", [] {}), cancel("Cancel", [&] { ++cancels; })})
                       .alert(h.cell<bool>("tell"), "Done", std::nullopt,
                              {defaultAction("OK", [&] { ++oks; })})});
  });
  auto& app = desktop().application();
  // A session left running under a closed dialog would hold the test for ever: end it, and fail.
  bool stuck = false;
  auto ask = host->cell<bool>("ask");
  auto tell = host->cell<bool>("tell");
  auto unstick = [&] {
    auto modal = app.modalWindow();
    if (modal && !modal->isVisible()) {
      stuck = true;
      ask.set(false);
      tell.set(false);
      app.abortModal();
    }
    return !stuck;
  };
  ANSWER_DIALOG(ask, renderer->dialogWindow()->performClose(),
                !unstick() || (cancels == 1 && !renderer->dialogWindow() && !app.modalWindow()));
  EXPECT_FALSE(stuck) << "the dialog closed and left its session running";
  EXPECT_FALSE(*ask) << "answered, so it does not come back";

  // The session runs inside the wait, so every step is taken from there.
  if (stuck) return;
  tell.set(true);
  int settled = 0, after = 0;
  bool closed = false, stillWaiting = false, answered = false, ownStays = false;
  EXPECT_TRUE(runUntil([&] {
    auto alert = renderer->dialogWindow();
    QtFormRenderer* d = renderer->dialogRenderer();
    bool ready = d && d->rootWidget() && d->rootWidget()->window()->isActiveWindow();
    settled = ready ? settled + 1 : 0;
    if (!closed && settled > 10) {
      // The window manager's close for the form's own window, under its alert: refused.
      QCloseEvent request;
      QCoreApplication::sendEvent(renderer->rootWidget()->window(), &request);
      alert->performClose();
      closed = true;
    } else if (closed && !answered && unstick() && ++after > 20) {
      stillWaiting = alert && alert->isVisible() && app.modalWindow() == alert;
      ownStays = window->isVisible();
      key("Return");
      answered = true;
    }
    return answered && oks == 1 && !renderer->dialogWindow();
  }));
  EXPECT_TRUE(stillWaiting) << "the alert without a cancel button stays and waits for its answer";
  EXPECT_TRUE(ownStays) << "the form's window closed from under its alert";
  EXPECT_EQ(cancels, 1);
}

TEST_F(QtFormRendererTest, TheKeyboardWalksTheControlsAndWorksThem) {
  int flips = 0, saves = 0;
  show(
      [&](FormHost& h) {
        auto on = h.cell<bool>("on");
        Binding<bool> counted([on] { return *on; },
                              [on, &flips](const bool& v) {
                                ++flips;
                                on.set(v);
                              });
        return Form({Section(
                        "Keys",
                        {Toggle("Share", counted),
                         Picker("Shape", {{"a", "Pill"}, {"b", "Rounded"}}, h.cell("shape", "a")),
                         Button("Off", [] {}).disabled(true), Button("Gone", [] {}).hidden(),
                         Link("Help", URL("https://example.test/help")),
                         Button("Save", [&] { ++saves; })
                             .buttonStyle(ButtonStyle::borderedProminent)
                             .keyboardShortcut(KeyboardShortcut::defaultAction)})})
            .colorScheme(ColorScheme::light)
            .accentColor(kAccent);
      },
      {420, 320}, false);
  std::vector<std::string> visited;
  for (int i = 0; i < 4; ++i) {
    std::string before = host->focused();
    ASSERT_TRUE(key("Tab"));
    ASSERT_TRUE(runUntil([&] { return host->focused() != before; }));
    visited.push_back(focusedTitle());
    if (i == 0) screenshot("forms-focus-ring");
  }
  EXPECT_EQ(visited, (std::vector<std::string>{"Share", "Shape", "Help", "Save"}));
  ASSERT_TRUE(key("Tab"));
  ASSERT_TRUE(runUntil([&] { return focusedTitle() == "Share"; })) << "it wraps";

  ASSERT_TRUE(key("space"));
  ASSERT_TRUE(runUntil([&] { return *host->cell<bool>("on"); }));
  runFor(0.2);
  EXPECT_EQ(flips, 1);
  ASSERT_TRUE(click(widget(NodeKind::toggle, "Share")));
  ASSERT_TRUE(runUntil([&] { return !*host->cell<bool>("on"); }));
  runFor(0.2);
  EXPECT_EQ(flips, 2);

  ASSERT_TRUE(key("shift+Tab"));
  ASSERT_TRUE(runUntil([&] { return focusedTitle() == "Save"; }));
  ASSERT_TRUE(key("Return"));
  ASSERT_TRUE(runUntil([&] { return saves == 1; }));
}

TEST_F(QtFormRendererTest, HoverReachesTheHandlerAndLinksShowAPointingHand) {
  std::vector<bool> heard;
  show([&](FormHost&) {
    return VStack({Text("Hover me").padding(12).onHover([&](bool in) { heard.push_back(in); }),
                   Spacer(60, 60), Link("Docs", URL("https://example.test/docs"))})
        .padding(30);
  });
  QWidget* target = widget(NodeKind::text, "Hover me");
  ASSERT_TRUE(target);
  ASSERT_TRUE(moveTo(centreOf(target)));
  ASSERT_TRUE(runUntil([&] { return heard == std::vector<bool>{true}; }));
  QWidget* root = renderer->rootWidget();
  ASSERT_TRUE(moveTo(root->mapToGlobal(QPoint(root->width() - 10, root->height() - 10))));
  ASSERT_TRUE(runUntil([&] { return heard == std::vector<bool>{true, false}; }));
  EXPECT_EQ(widget(NodeKind::link, "Docs")->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(QtFormRendererTest, TheSpinnerTurnsOnlyWhileItIsOnScreen) {
  show([](FormHost& h) {
    return VStack({ProgressView().key("spin").hidden(!*h.cell("busy", true)),
                   ProgressView()
                       .key("small")
                       .controlSize(ControlSize::small)
                       .hidden(!*h.cell("busy", true))})
        .padding(20);
  });
  ASSERT_TRUE(runUntil([&] { return renderer->animatingSpinners() == 2; }));
  QWidget* spin = renderer->widgetFor(host->findAll(NodeKind::progress)[0]->identity());
  ASSERT_TRUE(spin);
  QImage first = spin->grab().toImage();
  EXPECT_TRUE(runUntil([&] { return spin->grab().toImage() != first; }, 5)) << "it turns";

  host->cell<bool>("busy").set(false);
  ASSERT_TRUE(runUntil([&] { return renderer->animatingSpinners() == 0; }));
  EXPECT_TRUE(renderer->rootWidget()->findChildren<QTimer*>().isEmpty());
  host->cell<bool>("busy").set(true);
  ASSERT_TRUE(runUntil([&] { return renderer->animatingSpinners() == 2; }));
  window->close();
  EXPECT_TRUE(runUntil([&] { return renderer->animatingSpinners() == 0; }));
}

// The scroll bar stands on the form's backdrop in the form's scheme (never the toolkit's light
// bar on a dark form).
TEST_F(QtFormRendererTest, AFormTallerThanItsWindowScrolls) {
  for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
    bool dark = scheme == ColorScheme::dark;
    show(
        [scheme](FormHost&) {
          std::vector<Node> sections;
          for (int i = 0; i < 7; ++i) {
            sections.push_back(Section("Section " + std::to_string(i),
                                       {Toggle("Row " + std::to_string(i), false, nullptr),
                                        Caption("A caption under the row.")}));
          }
          return Form(std::move(sections)).colorScheme(scheme).accentColor(kAccent);
        },
        {360, 300}, dark);
    QWidget* root = renderer->rootWidget();
    EXPECT_GT(root->height(), 300) << "the whole form, inside a scroll area";
    QWidget* last = widget(NodeKind::toggle, "Row 6");
    ASSERT_TRUE(last);
    // Tab to the last row: the view scrolls it into sight.
    for (int i = 0; i < 7; ++i) ASSERT_TRUE(renderer->handleKey(Qt::Key_Tab, Qt::NoModifier));
    EXPECT_EQ(focusedTitle(), "Row 6");
    runFor(0.1);
    QPoint inWindow = last->mapTo(root->window(), QPoint(0, 0));
    EXPECT_GE(inWindow.y(), 0);
    EXPECT_LE(inWindow.y() + last->height(), 300);
    QImage picture = root->window()->grab().toImage();
    // The bar's track, below its handle (scrolled to the end, the handle is at the bottom: the
    // top of the track is free).
    QColor track = picture.pixelColor(picture.width() - 2, 6);
    EXPECT_EQ(track.lightnessF() < 0.5, dark) << track.name().toStdString();
    EXPECT_FALSE(screenshot(dark ? "forms-scrolled-dark" : "forms-scrolled").isNull());
    presentation.reset();
    renderer.reset();
    window->close();
  }
}

// Tab into a hosted view puts the ring around the focused control of that view, scrolled into
// sight; a hosted view that takes the keys (a recorder) gets Tab for itself.
TEST_F(QtFormRendererTest, TheRingGoesAroundAHostedViewsFocusedControl) {
  class KeyTaker final : public View {
   public:
    using View::View;
    bool acceptsFirstResponder() const override { return true; }
  };
  auto view = std::make_shared<KeyTaker>(Rect(0, 0, 300, 80));
  auto button = platform::Button::withTitle("Add", nullptr);
  button->setFrame(Rect(30, 20, 90, 24));  // y upwards: 36 below the view's top
  view->addSubview(button);
  show(
      [view](FormHost&) {
        std::vector<Node> rows;
        for (int i = 0; i < 6; ++i)
          rows.push_back(Toggle("Row " + std::to_string(i), false, nullptr));
        rows.push_back(NativeView(view).key("editor"));
        return Form({Section("Rows", std::move(rows))}).accentColor(kAccent);
      },
      {360, 240});
  for (int i = 0; i < 7; ++i) ASSERT_TRUE(renderer->handleKey(Qt::Key_Tab, Qt::NoModifier));
  ASSERT_EQ(host->focusedHostedControl(), button.get());
  QWidget* hosted = widget(NodeKind::nativeView, "");
  ASSERT_TRUE(hosted);
  QWidget* ring = nullptr;
  ASSERT_TRUE(runUntil([&] { return (ring = renderer->focusRing()) != nullptr; }));
  QRect around(ring->mapToGlobal(QPoint(0, 0)), ring->size());
  QRect control(hosted->mapToGlobal(QPoint(30, 36)), QSize(90, 24));
  EXPECT_TRUE(around.contains(control))
      << around.x() << "," << around.y() << " " << control.x() << "," << control.y();
  EXPECT_LE(around.width(), control.width() + 8);
  QWidget* top = renderer->rootWidget()->window();
  QPoint inWindow = top->mapFromGlobal(around.topLeft());
  EXPECT_GE(inWindow.y(), 0);
  EXPECT_LE(inWindow.y() + around.height(), top->height()) << "scrolled into sight";

  ASSERT_TRUE(window->makeFirstResponder(view));
  EXPECT_FALSE(renderer->handleKey(Qt::Key_Tab, Qt::NoModifier)) << "the view's own key";
  EXPECT_EQ(host->focusedHostedControl(), button.get());
  window->makeFirstResponder(nullptr);
}

// A labelled row's long value is cut beside its label on screen too, never spread over it.
TEST_F(QtFormRendererTest, ALongLabelledValueIsCutBesideItsLabel) {
  const std::string email = "someone.with.a.really.long.address.for.testing@subdomain.example.test";
  show(
      [email](FormHost&) {
        return Form({Section("Account",
                             {LabeledContent("Account", Text(email).lineLimit(1).truncation(
                                                            Truncation::middle))})})
            .accentColor(kAccent);
      },
      {360, 300});
  QWidget* row = widget(NodeKind::labeledContent, "Account");
  QWidget* value = widget(NodeKind::text, email);
  ASSERT_TRUE(row && value);
  QFontMetricsF metrics(row->font());
  // Widgets are siblings: compared on the screen.
  QRect inRow(value->mapToGlobal(QPoint(0, 0)) - row->mapToGlobal(QPoint(0, 0)), value->size());
  EXPECT_GE(inRow.left(), metrics.horizontalAdvance("Account")) << "clear of the label";
  EXPECT_LE(inRow.right(), row->width());
  EXPECT_FALSE(screenshot("forms-long-labelled-value").isNull());
}

// Tab scrolls the focused row into sight, whether the window's scroller or the form's own
// scroll view holds it; Shift-Tab back to the first row scrolls back up.
TEST_F(QtFormRendererTest, TabScrollsTheFocusedRowIntoView) {
  for (bool ownScrollView : {false, true}) {
    SCOPED_TRACE(ownScrollView ? "in its own scroll view" : "in the window's scroller");
    show(
        [ownScrollView](FormHost&) {
          std::vector<Node> sections;
          for (int i = 0; i < 7; ++i) {
            sections.push_back(Section("Section " + std::to_string(i),
                                       {Toggle("Row " + std::to_string(i), false, nullptr),
                                        Caption("A caption under the row.")}));
          }
          Node form = Form(std::move(sections)).accentColor(kAccent);
          return ownScrollView ? ScrollView(std::move(form)) : std::move(form);
        },
        {360, 300});
    QWidget* top = renderer->rootWidget()->window();
    auto inSight = [&](std::string_view title) {
      QWidget* row = widget(NodeKind::toggle, title);
      if (!row) return false;
      QPoint at = row->mapTo(top, QPoint(0, 0));
      return at.y() >= 0 && at.y() + row->height() <= top->height();
    };
    ASSERT_TRUE(inSight("Row 0"));
    ASSERT_FALSE(inSight("Row 6"));
    for (int i = 0; i < 7; ++i) ASSERT_TRUE(renderer->handleKey(Qt::Key_Tab, Qt::NoModifier));
    EXPECT_EQ(focusedTitle(), "Row 6");
    EXPECT_TRUE(runUntil([&] { return inSight("Row 6"); }));
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(renderer->handleKey(Qt::Key_Backtab, Qt::NoModifier));
    EXPECT_EQ(focusedTitle(), "Row 0");
    EXPECT_TRUE(runUntil([&] { return inSight("Row 0"); }));
    presentation.reset();
    renderer.reset();
    window->close();
  }
}

TEST_F(QtFormRendererTest, AHostedViewThatGrowsMovesTheRowsBelowIt) {
  auto view = std::make_shared<View>(Rect(0, 0, 100, 40));
  view->setWantsLayer(true);
  view->layer()->setBackgroundColor(Color::sRGB(0.2, 0.6, 0.3));
  show([view](FormHost&) {
    return VStack({Text("above"), NativeView(view).key("editor"), Text("below")})
        .spacing(8)
        .padding(20)
        .frame({.maxWidth = infinity});
  });
  QWidget* below = widget(NodeKind::text, "below");
  ASSERT_TRUE(below);
  int y = below->y();
  view->setFrameSize({100, 100});
  ASSERT_TRUE(runUntil([&] {
    QWidget* now = widget(NodeKind::text, "below");
    return now && now->y() == y + 60;
  }));
  EXPECT_FALSE(screenshot("forms-native-view-grown").isNull());
}

// The layout gives a text the width Qt draws it in, so that no line is cut short.
TEST_F(QtFormRendererTest, TextIsLaidOutAsWideAsQtDrawsIt) {
  const std::vector<std::string> texts = {"Screen Recording: Granted", "WWWW MMMM", "iiii llll",
                                          "Größe, Ærø, 東京"};
  show([&texts](FormHost&) {
    std::vector<Node> rows;
    for (const auto& text : texts) rows.push_back(Text(text).lineLimit(1));
    return VStack(std::move(rows)).padding(20).frame({.maxWidth = infinity});
  });
  Font font = FormLayout::defaultFont();
  for (const auto& text : texts) {
    const Node* node = host->find(NodeKind::text, text);
    ASSERT_TRUE(node) << text;
    const Rect* frame = renderer->layout().frameOf(node->identity());
    ASSERT_TRUE(frame) << text;
    double drawn = QFontMetricsF(linuxbackend::toQFont(font))
                       .horizontalAdvance(QString::fromUtf8(text.data(), qsizetype(text.size())));
    EXPECT_GE(frame->width() + 0.5, drawn) << text;
    EXPECT_LE(frame->width(), drawn + 2) << text;
  }
}

// A wrapped caption starts at its row's leading edge: its lines, which Qt may wrap a little
// narrower than the layout measured them, do not drift towards the middle of its frame.
TEST_F(QtFormRendererTest, AWrappedCaptionKeepsToItsLeadingEdge) {
  const std::vector<std::string> captions = {
      "Enable when asked by support to capture more detail. Automatically turns off after 24 "
      "hours.",
      "A report includes the version and the system, plus recent logs when available. It never "
      "includes the contents of other windows."};
  show(
      [&captions](FormHost&) {
        std::vector<Node> rows{Toggle("Verbose", false, [](bool) {})};
        for (const auto& text : captions) rows.push_back(Text(text).font(Font::systemFont(10)));
        return ScrollView(Form({Section("Help", std::move(rows))}));
      },
      {460, 640});
  for (const auto& text : captions) {
    QWidget* caption = widget(NodeKind::text, text);
    ASSERT_TRUE(caption) << text;
    QImage picture = caption->grab().toImage();
    QColor ground = picture.pixelColor(picture.width() - 1, 0);
    int leftmost = picture.width();
    for (int x = 0; x < picture.width() && leftmost == picture.width(); ++x) {
      for (int y = 0; y < picture.height(); ++y) {
        if (!near(picture.pixelColor(x, y), ground, 40)) {
          leftmost = x;
          break;
        }
      }
    }
    EXPECT_LE(leftmost, 2) << text;
  }
}

// A window left with its default fill takes the form's scheme; one given a colour keeps it.
TEST_F(QtFormRendererTest, TheWindowsFillFollowsTheFormsSchemeUnlessItHasItsOwn) {
  struct Case {
    ColorScheme scheme;
    std::optional<Color> own;
    bool darkFill;
  };
  for (const Case& c :
       {Case{ColorScheme::dark, std::nullopt, true}, Case{ColorScheme::light, std::nullopt, false},
        Case{ColorScheme::dark, Color::sRGB(0.96, 0.96, 0.96), false}}) {
    auto form = FormHost::make([&c](FormHost&) {
      return Form({Section("Section", {Toggle("Row", false, nullptr)})}).colorScheme(c.scheme);
    });
    auto own = std::make_shared<Window>(Rect(120, 120, 320, 200), StyleMask::titled);
    if (c.own) own->setBackgroundColor(*c.own);
    auto shown = desktop().presentForm(*own, form);
    own->makeKeyAndOrderFront();
    auto* r = static_cast<QtFormRenderer*>(shown.get());
    ASSERT_TRUE(r && r->rootWidget());
    QWidget* top = r->rootWidget()->window();
    ASSERT_TRUE(runUntil([&] { return top->windowHandle() && top->windowHandle()->isExposed(); }));
    runFor(0.2);
    QImage picture = top->grab().toImage();
    QColor corner = picture.pixelColor(picture.width() - 4, picture.height() - 4);
    EXPECT_EQ(corner.lightnessF() < 0.5, c.darkFill) << corner.name().toStdString();
    if (c.own) {
      EXPECT_EQ(own->backgroundColor(), *c.own);
    }
    shown.reset();
    own->close();
  }
}

// A hosted view that keeps what reaches it.
class RecordingView final : public View {
 public:
  using View::View;
  void mouseDown(const Event& event) override {
    downs.push_back(convertFromWindow(event.locationInWindow));
  }
  void keyDown(const Event& event) override { keys.push_back(event.modifierFlags); }
  bool acceptsFirstResponder() const override { return true; }
  std::vector<Point> downs;
  std::vector<std::uint64_t> keys;
};

TEST_F(QtFormRendererTest, AHostedViewInAScrolledFormMovesWithItAndTakesItsOwnInput) {
  auto view = std::make_shared<RecordingView>(Rect(0, 0, 200, 160));
  view->setWantsLayer(true);
  view->layer()->setBackgroundColor(Color::sRGB(0.2, 0.6, 0.3));
  show(
      [view](FormHost&) {
        std::vector<Node> sections;
        for (int i = 0; i < 3; ++i) {
          sections.push_back(Section("Section " + std::to_string(i),
                                     {Toggle("Row " + std::to_string(i), false, nullptr)}));
        }
        sections.push_back(Section("Editor", {NativeView(view).key("editor").frame(
                                                 {.height = 160, .maxWidth = infinity})}));
        sections.push_back(Section("After", {Toggle("Last", false, nullptr)}));
        return Form(std::move(sections)).colorScheme(ColorScheme::light).accentColor(kAccent);
      },
      {360, 300}, false);
  auto hosted = host->findAll(NodeKind::nativeView);
  ASSERT_EQ(hosted.size(), 1u);
  QWidget* editor = renderer->widgetFor(hosted.front()->identity());
  ASSERT_TRUE(editor);
  QWidget* top = renderer->rootWidget()->window();
  auto placedAtItsWidget = [&] {
    QPoint at = editor->mapTo(top, QPoint(0, 0));
    double height = window->contentView()->frame().height();
    return std::abs(view->frame().x() - at.x()) <= 1.0 &&
           std::abs(view->frame().y() - (height - at.y() - view->frame().height())) <= 1.0;
  };
  EXPECT_TRUE(placedAtItsWidget());
  // Scroll to the bottom: the view moves up with its row.
  QScrollArea* area = nullptr;
  for (QWidget* w = renderer->rootWidget(); w && !area; w = w->parentWidget())
    area = qobject_cast<QScrollArea*>(w);
  ASSERT_TRUE(area);
  double before = view->frame().y();
  area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
  ASSERT_TRUE(runUntil([&] { return view->frame().y() > before + 20; }));
  EXPECT_TRUE(placedAtItsWidget());
  // A click near the view's bottom, where the form's widgets lie over it, reaches the view.
  QPoint bottom = editor->mapToGlobal(QPoint(100, 150));
  ASSERT_TRUE(moveTo(bottom) && xdotool({"click", "1"}));
  ASSERT_TRUE(runUntil([&] { return !view->downs.empty(); }));
  EXPECT_EQ(view->downs.size(), 1u);
  EXPECT_NEAR(view->downs.front().x, 100, 2.0);
  // And its keys, modifiers and all.
  window->makeFirstResponder(view);
  ASSERT_TRUE(key("ctrl+alt+k"));
  ASSERT_TRUE(runUntil([&] { return !view->keys.empty(); }));
  using namespace ModifierFlag;
  EXPECT_EQ(view->keys.front() & (control | option), control | option);
  EXPECT_FALSE(screenshot("forms-native-view-scrolled").isNull());
}

// A control drawn by a background of its own (the white "Sign in with Apple" button) still
// shows its focus ring: the ring lies around it and above the background, not under it.
TEST_F(QtFormRendererTest, TheFocusRingShowsAboveAButtonsOwnBackground) {
  show([](FormHost&) {
    return VStack({Button({Text("Sign in").foreground(Color::black())}, [] {})
                       .buttonStyle(ButtonStyle::plain)
                       .frame({.width = 200, .height = 44})
                       .background(Shape({.kind = ShapeKind::roundedRectangle,
                                          .cornerRadius = 8,
                                          .fill = Color::white()})),
                   Button("Other", [] {})})
        .spacing(12)
        .padding(20)
        .accentColor(kAccent);
  });
  QWidget* button = widget(NodeKind::button, "Sign in");
  ASSERT_TRUE(button);
  auto edge = [&] {
    QImage picture = renderer->rootWidget()->grab().toImage();
    // Just above the button: the ring lies around it.
    QPoint top = button->mapTo(renderer->rootWidget(), QPoint(button->width() / 2, -2));
    return picture.pixelColor(top);
  };
  EXPECT_FALSE(near(edge(), linuxbackend::toQColor(kAccent), 40)) << "no ring before a key";
  ASSERT_TRUE(renderer->handleKey(Qt::Key_Tab, Qt::NoModifier));
  runFor(0.1);
  ASSERT_EQ(focusedTitle(), "Sign in");
  EXPECT_TRUE(near(edge(), linuxbackend::toQColor(kAccent), 40)) << edge().name().toStdString();
  ASSERT_TRUE(renderer->handleKey(Qt::Key_Tab, Qt::NoModifier));
  runFor(0.1);
  EXPECT_FALSE(near(edge(), linuxbackend::toQColor(kAccent), 40)) << "the ring moved on";
}

// A prominent button takes its own tint over the form's accent (the permissions step's
// footer button is tinted, its form is not).
TEST_F(QtFormRendererTest, AProminentButtonIsFilledWithItsTint) {
  const Color green = Color::sRGB(0.1, 0.7, 0.2);
  show([green](FormHost&) {
    return VStack({Button("Tinted", [] {})
                       .buttonStyle(ButtonStyle::borderedProminent)
                       .tint(green)
                       .frame({.width = 160, .height = 30}),
                   Button("Accent", [] {})
                       .buttonStyle(ButtonStyle::borderedProminent)
                       .frame({.width = 160, .height = 30})})
        .spacing(10)
        .padding(20)
        .accentColor(kAccent);
  });
  for (auto [title, colour] : {std::pair{"Tinted", green}, std::pair{"Accent", kAccent}}) {
    QWidget* button = widget(NodeKind::button, title);
    ASSERT_TRUE(button) << title;
    QColor face = button->grab().toImage().pixelColor(8, button->height() / 2);
    EXPECT_TRUE(near(face, linuxbackend::toQColor(colour), 12))
        << title << ": " << face.name().toStdString();
  }
}

// A widget kept across renders keeps its accessible interface (Qt caches one per widget): what
// a reader finds is the text shown now, not the text the interface was made with (a status
// line that turned into an error was read as the old status).
TEST_F(QtFormRendererTest, AReaderFindsTheWordsAKeptWidgetShowsNow) {
  show([](FormHost& h) {
    auto status = h.cell("status", "Opening your browser…");
    return VStack({Text(status.get()).key("status"), Toggle("Sounds", h.cell("sounds", false))})
        .padding(20)
        .frame({.maxWidth = infinity});
  });
  const Node* node = host->find(NodeKind::text, "Opening your browser…");
  ASSERT_TRUE(node);
  // The node belongs to this render's tree; the identity outlives it.
  const auto identity = node->identity();
  QWidget* shown = renderer->widgetFor(identity);
  QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(shown);
  ASSERT_TRUE(reader && reader->textInterface());
  EXPECT_EQ(reader->text(QAccessible::Name).toStdString(), "Opening your browser…");
  QWidget* toggle = widget(NodeKind::toggle, "Sounds");
  QAccessibleInterface* toggleReader = QAccessible::queryAccessibleInterface(toggle);
  ASSERT_TRUE(toggleReader);
  EXPECT_FALSE(toggleReader->state().checked);

  host->cell<std::string>("status").set("Sign-in failed. Try again.");
  ASSERT_TRUE(host->setToggle("Sounds", true));
  ASSERT_TRUE(runUntil([&] { return host->find(NodeKind::text, "Sign-in failed. Try again."); }));
  runFor(0.1);
  ASSERT_EQ(renderer->widgetFor(identity), shown) << "the widget is kept";
  ASSERT_EQ(QAccessible::queryAccessibleInterface(shown), reader) << "and so is its interface";
  EXPECT_EQ(reader->text(QAccessible::Name).toStdString(), "Sign-in failed. Try again.");
  EXPECT_EQ(reader->textInterface()->text(0, -1).toStdString(), "Sign-in failed. Try again.");
  EXPECT_TRUE(toggleReader->state().checked);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Assistive technology reads the gallery through AT-SPI. Qt's bridge needs an accessibility bus
// at start-up, so the test runs itself again in a D-Bus session of its own with that bus.
TEST_F(QtFormRendererTest, AssistiveTechnologyReadsTheGallerysLabelsHintsAndRoles) {
  const char* child = std::getenv("FLAGRIG_ACCESSIBILITY_RESULT");
  if (!child) {
    auto folder =
        std::filesystem::temp_directory_path() / ("flagrig-a11y-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::string result = (folder / "result").string(), log = (folder / "log").string();
    std::string inner =
        "/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 & "
        "FLAGRIG_ACCESSIBILITY_RESULT='" +
        result +
        "' QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "
        "exec '" +
        std::filesystem::read_symlink("/proc/self/exe").string() +
        "' --gtest_filter='*AssistiveTechnologyReads*'";
    std::string command =
        "command -v dbus-run-session >/dev/null && test -x "
        "/usr/libexec/at-spi-bus-launcher || exit 77; dbus-run-session -- sh -c \"" +
        inner + "\" >'" + log + "' 2>&1";
    int status = std::system(command.c_str());
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::string outcome = readFile(result);
    std::filesystem::remove_all(folder);
    if (code == 77 || outcome.rfind("skip:", 0) == 0) {
      GTEST_SKIP() << "the AT-SPI bus cannot start here ("
                   << (code == 77 ? "dbus-run-session or at-spi2-core missing" : outcome) << ")";
    }
    EXPECT_EQ(code, 0) << readFile(log);
    EXPECT_EQ(outcome, "ok");
    return;
  }

  auto view = std::make_shared<View>(Rect(0, 0, 100, 30));
  show([view](FormHost& h) { return gallery(h, ColorScheme::dark, view); });
  std::string out = std::string(child) + ".tree";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const char* argv[] = {"/usr/bin/python3", FLAGRIG_ACCESSIBILITY_READER, "Plays a sound", nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, "/usr/bin/python3", &actions, nullptr, const_cast<char* const*>(argv),
                        environ),
            0);
  posix_spawn_file_actions_destroy(&actions);
  // Our loop answers the reader's questions while it walks the tree.
  int status = 0;
  ASSERT_TRUE(runUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 60));
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::string tree = readFile(out);
  if (code == 3) {
    std::ofstream(child) << "skip: the reader could not reach the AT-SPI bus";
    GTEST_SKIP() << "the AT-SPI bus cannot be reached";
  }
  EXPECT_EQ(code, 0) << tree;
  for (const char* expected :
       {"check box\tShow tags\t\t", "check box\tSounds\tPlays a sound when a tag moves\t",
        "combo box\tShape\t", "link\tHelp\t", "push button\tReset…\t", "heading\tControls\t",
        "label\tTags follow their windows.\t", "\tSamples\t",
        // A section's footer is drawn with the section, and read where it stands.
        "label\tChanges apply at once.\t\tenabled\tChanges apply at once."}) {
    EXPECT_NE(tree.find(expected), std::string::npos) << expected << "\n" << tree;
  }
  EXPECT_NE(tree.find("check box\tShow tags\t\tchecked"), std::string::npos) << tree;
  // A labelled value is read with its label, and a text's words through the text interface.
  EXPECT_NE(tree.find("label\tVersion\t\tenabled\t1.4.2"), std::string::npos) << tree;
  EXPECT_NE(tree.find("label\tTags follow their windows.\t\tenabled\tTags follow their windows."),
            std::string::npos)
      << tree;
  // The combined row is one element: its spinners are not read on their own.
  EXPECT_EQ(tree.find("progress bar"), std::string::npos) << tree;
  std::ofstream(child) << (HasFailure() ? "failed" : "ok");
}

}  // namespace
}  // namespace platform::forms
