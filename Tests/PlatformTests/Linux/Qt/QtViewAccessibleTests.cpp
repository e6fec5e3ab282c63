// A view of the desktop layer hosted in a form, read by assistive technology: its controls are
// the children of the form's element, named, framed where they lie on screen, and current after
// the view rebuilds them.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QWidget>
#include <QWindow>
#include <string>
#include <vector>

#include "Platform/Desktop/Button.h"
#include "Platform/Desktop/ColorWell.h"
#include "Platform/Desktop/Image.h"
#include "Platform/Desktop/PopUpButton.h"
#include "Platform/Desktop/SegmentedControl.h"
#include "Platform/Desktop/TextField.h"
#include "Platform/Desktop/View.h"
#include "Platform/Desktop/Window.h"
#include "Platform/Forms/FormHost.h"
#include "Platform/Linux/Qt/QtFormRenderer.h"
#include "QtFormWindowTest.h"

namespace platform::forms {
namespace {

using linuxbackend::QtFormRenderer;
using platform::testing::QtDesktopTest;

class QtViewAccessibleTest : public platform::testing::QtFormWindowTest {
 protected:
  void SetUp() override {
    QtDesktopTest::SetUp();
    editor = std::make_shared<View>(Rect(0, 0, 300, 160));
    editor->setFlipped(true);
    add = platform::Button::withTitle("Add");
    add->setFrame(Rect(10, 8, 60, 20));
    editor->addSubview(add);
    remove = platform::Button::withImage(Image::systemSymbol("minus.circle.fill", "Remove"));
    remove->setFrame(Rect(80, 8, 16, 16));
    remove->setBordered(false);
    editor->addSubview(remove);
    well = std::make_shared<platform::ColorWell>(Rect(110, 4, 28, 28));
    well->setColor(Color::sRGB(224 / 255.0, 48 / 255.0, 30 / 255.0));
    well->setAccessibilityLabel("Background color 1");
    editor->addSubview(well);
    // A caption beside the pop-up that carries the same name.
    auto caption = platform::TextField::labelWithString("Font");
    caption->setFrame(Rect(10, 44, 40, 14));
    editor->addSubview(caption);
    auto fonts = std::make_shared<platform::PopUpButton>(Rect(60, 40, 120, 24));
    fonts->addItems({"System", "Rounded"});
    fonts->selectItem(1);
    fonts->setAccessibilityLabel("Font");
    editor->addSubview(fonts);
    shapes = platform::SegmentedControl::withLabels({"Pill", "Rounded", "Square"},
                                                    SegmentTracking::selectOne);
    shapes->setSelectedSegment(0);
    shapes->sizeToFit();
    shapes->setFrameOrigin({60, 72});
    shapes->setAccessibilityLabel("Shape");
    editor->addSubview(shapes);
    big = platform::Button::checkbox("Big tags");
    big->setState(ControlState::on);
    big->sizeToFit();
    big->setFrameOrigin({10, 104});
    editor->addSubview(big);
    auto hidden = platform::Button::withTitle("Hidden");
    hidden->setFrame(Rect(200, 104, 60, 20));
    hidden->setHidden(true);
    editor->addSubview(hidden);
    // A plain view only groups: its label is read, the view itself is not.
    auto preview = std::make_shared<View>(Rect(150, 130, 140, 24));
    auto sample = platform::TextField::labelWithString("Sample Label");
    sample->setFrame(Rect(12, 4, 100, 16));
    preview->addSubview(sample);
    editor->addSubview(preview);

    host = FormHost::make([this](FormHost&) {
      return Form({Section("Tags", {NativeView(editor)
                                        .key("editor")
                                        .accessibilityLabel("Tag appearance")
                                        .frame({.height = 160, .maxWidth = infinity})})});
    });
    auto screen = desktop().screens().front()->frame();
    window = std::make_shared<Window>(Rect(100, screen.height() - 460, 380, 400),
                                      StyleMask::titled | StyleMask::closable);
    window->setTitle("Editor");
    presentAndWait();
    runFor(0.2);
    auto hosted = host->findAll(NodeKind::nativeView);
    ASSERT_EQ(hosted.size(), 1u);
    anchor = renderer->widgetFor(hosted.front()->identity());
    ASSERT_TRUE(anchor);
    element = QAccessible::queryAccessibleInterface(anchor);
    ASSERT_TRUE(element);
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (int i = 0; i < element->childCount(); ++i)
      out.push_back(element->child(i)->text(QAccessible::Name).toStdString());
    return out;
  }
  QAccessibleInterface* named(const std::string& name) const {
    for (int i = 0; i < element->childCount(); ++i) {
      if (element->child(i)->text(QAccessible::Name).toStdString() == name)
        return element->child(i);
    }
    return nullptr;
  }
  // Where a rectangle of the flipped editor lies on screen.
  QRect onScreen(Rect r) const {
    return QRect(anchor->mapToGlobal(QPoint(static_cast<int>(r.x()), static_cast<int>(r.y()))),
                 QSize(static_cast<int>(r.width()), static_cast<int>(r.height())));
  }

  std::shared_ptr<View> editor;
  std::shared_ptr<platform::Button> add, remove, big;
  std::shared_ptr<platform::ColorWell> well;
  std::shared_ptr<platform::SegmentedControl> shapes;
  QWidget* anchor = nullptr;
  QAccessibleInterface* element = nullptr;
};

TEST_F(QtViewAccessibleTest, TheHostedControlsAreNamedRoledAndFramedWhereTheyAre) {
  EXPECT_EQ(element->text(QAccessible::Name).toStdString(), "Tag appearance");
  // Tree order; the caption that repeats the pop-up's label and the hidden button are not read.
  EXPECT_EQ(names(), (std::vector<std::string>{"Add", "Remove", "Background color 1", "Font",
                                               "Shape", "Big tags", "Sample Label"}));
  EXPECT_EQ(named("Add")->role(), QAccessible::Button);
  EXPECT_EQ(named("Add")->rect(), onScreen(add->frame()));
  EXPECT_EQ(named("Remove")->rect(), onScreen(remove->frame()));
  // A label inside a plain, unflipped view: y counted from that view's top.
  EXPECT_EQ(named("Sample Label")->rect(), onScreen(Rect(150 + 12, 130 + 24 - 4 - 16, 100, 16)));
  EXPECT_EQ(named("Background color 1")->text(QAccessible::Value).toStdString(), "#E0301E");
  EXPECT_EQ(named("Font")->role(), QAccessible::ComboBox);
  EXPECT_EQ(named("Font")->text(QAccessible::Value).toStdString(), "Rounded");
  auto* box = named("Big tags");
  EXPECT_EQ(box->role(), QAccessible::CheckBox);
  EXPECT_TRUE(box->state().checked);
  big->setState(ControlState::off);
  EXPECT_FALSE(box->state().checked);
  remove->setEnabled(false);
  EXPECT_TRUE(named("Remove")->state().disabled);
}

TEST_F(QtViewAccessibleTest, ASegmentsFrameIsWhereAClickSelectsIt) {
  auto* shape = named("Shape");
  ASSERT_TRUE(shape);
  ASSERT_EQ(shape->childCount(), 3);
  EXPECT_EQ(shape->child(2)->text(QAccessible::Name).toStdString(), "Square");
  EXPECT_TRUE(shape->child(0)->state().checked);
  EXPECT_EQ(shape->indexOfChild(shape->child(1)), 1);
  QRect square = shape->child(2)->rect();
  EXPECT_TRUE(shape->rect().contains(square));
  EXPECT_EQ(square.right(), shape->rect().right());
  QPoint centre = square.center();
  ASSERT_TRUE(xdotool({"mousemove", std::to_string(centre.x()), std::to_string(centre.y())}));
  ASSERT_TRUE(xdotool({"click", "1"}));
  ASSERT_TRUE(runUntil([&] { return shapes->selectedSegment() == 2; }));
  EXPECT_TRUE(shape->child(2)->state().checked);
}

TEST_F(QtViewAccessibleTest, AViewThatRebuildsItsControlsIsReadAfresh) {
  ASSERT_TRUE(named("Add"));
  editor->removeAllSubviews();
  add.reset();
  remove.reset();
  big.reset();
  well.reset();
  shapes.reset();
  auto fresh = platform::Button::withTitle("+ Add Color");
  fresh->setFrame(Rect(20, 30, 90, 20));
  editor->addSubview(fresh);
  EXPECT_EQ(names(), std::vector<std::string>{"+ Add Color"});
  EXPECT_EQ(named("+ Add Color")->rect(), onScreen(fresh->frame()));
  EXPECT_EQ(element->indexOfChild(named("+ Add Color")), 0);
  EXPECT_EQ(element->childAt(onScreen(fresh->frame()).center().x(),
                             onScreen(fresh->frame()).center().y()),
            named("+ Add Color"));
  // The form's element goes with its window, and its children with it.
  window->close();
  runFor(0.1);
}

}  // namespace
}  // namespace platform::forms
