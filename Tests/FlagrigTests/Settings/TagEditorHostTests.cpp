#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "../Tagging/TaggingTest.h"
#include "Flagrig/Settings/TagEditorHost.h"
#include "Flagrig/Tagging/TagEditorView.h"
#include "Flagrig/Tagging/TagManager.h"
#include "Platform/Desktop/Button.h"
#include "Platform/Forms/FormHost.h"

namespace flagrig {
namespace {

using namespace platform;
using namespace platform::forms;

class TagEditorHostTest : public testing::TaggingTest {
 protected:
  // A form whose only row is the editor, as the Tags section places it.
  std::shared_ptr<FormHost> makeForm() {
    return FormHost::make([this](FormHost& host) {
      return Form({Section("Tags", {shown ? TagEditorHost::row(host) : Text("hidden")})});
    });
  }
  static const Node& editorNode(const FormHost& form) {
    return *form.findAll(NodeKind::nativeView).at(0);
  }
  static double rowHeight(const FormHost& form) { return *editorNode(form).frame().height; }
  bool shown = true;
};

TEST_F(TagEditorHostTest, TheRowStartsAt280AndTakesTheReportedHeight) {
  auto form = makeForm();
  EXPECT_EQ(rowHeight(*form), 280);
  EXPECT_EQ(editorNode(*form).frame().maxWidth, infinity);
  auto* view = editorNode(*form).nativeView().get();
  auto* editor = dynamic_cast<TagEditorView*>(view);
  ASSERT_TRUE(editor);
  runUntilIdle();
  EXPECT_EQ(rowHeight(*form), editor->contentHeight());
  EXPECT_GT(editor->contentHeight(), 280);
  EXPECT_EQ(editorNode(*form).nativeView().get(), view) << "redraws keep the same editor";

  // The row follows the editor's changes on the next turn.
  int renders = form->renderCount();
  for (auto& v : editor->subviews()) {
    auto* b = dynamic_cast<platform::Button*>(v.get());
    if (b && b->title() == "+ Add Color") {
      b->performClick();
      break;
    }
  }
  runUntilIdle();
  EXPECT_EQ(rowHeight(*form), editor->contentHeight());
  EXPECT_EQ(form->renderCount(), renders + 1);
  // A report of the same height redraws nothing.
  editor->publishContentHeight();
  runUntilIdle();
  EXPECT_EQ(form->renderCount(), renders + 1);
}

TEST_F(TagEditorHostTest, FollowIgnoresRoundingAndBrokenHeights) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double reported, expected;
  };
  const Case cases[] = {{300.5, 300}, {299.5, 300}, {300.6, 300.6}, {299.4, 299.4}, {281, 281},
                        {nan, 300},   {inf, 300},   {-inf, 300},    {0, 300},       {-40, 300}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reported);
    double bound = 300;
    int writes = 0;
    TagEditorHost::HeightBinding binding([&] { return bound; },
                                         [&](const double& h) {
                                           bound = h;
                                           ++writes;
                                         });
    TagEditorHost::follow(binding, c.reported);
    EXPECT_EQ(bound, c.expected);
    EXPECT_EQ(writes, c.expected == 300 ? 0 : 1);
  }
}

TEST_F(TagEditorHostTest, ASectionThatComesBackBuildsAFreshEditorThatReportsAgain) {
  auto form = makeForm();
  runUntilIdle();
  auto first = editorNode(*form).nativeView();
  shown = false;
  TagEditorHost::forget(*form);
  form->cell<double>(std::string(TagEditorHost::heightCell)).set(280);
  runUntilIdle();
  EXPECT_TRUE(form->findAll(NodeKind::nativeView).empty());
  shown = true;
  form->invalidate();
  runUntilIdle();
  auto second = editorNode(*form).nativeView();
  EXPECT_NE(second, first);
  EXPECT_EQ(rowHeight(*form), dynamic_cast<TagEditorView&>(*second).contentHeight());
}

TEST_F(TagEditorHostTest, AHostGoneBeforeTheReportIsHarmless) {
  std::weak_ptr<TagEditorView> editor;
  {
    auto form = makeForm();
    editor = std::dynamic_pointer_cast<TagEditorView>(editorNode(*form).nativeView());
  }
  runUntilIdle();
  EXPECT_TRUE(editor.expired()) << "the form's cell owned the editor";
}

}  // namespace
}  // namespace flagrig
