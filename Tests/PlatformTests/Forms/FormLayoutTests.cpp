#include <gtest/gtest.h>

#include "Platform/Forms/FormHost.h"
#include "Platform/Forms/FormLayout.h"
#include "Platform/Forms/FormMetrics.h"
#include "Support/SimTest.h"

namespace platform::forms {
namespace {

class FormLayoutTest : public testing::SimTest {
 protected:
  // Lays `node` out in `available`; frames by the text or title of their node.
  FormLayoutResult layOut(Node node, Size available) {
    host = FormHost::make([node = std::move(node)](FormHost&) { return node; });
    return FormLayout::layout(host->tree(), available);
  }
  Rect frameOf(const FormLayoutResult& layout, NodeKind kind, std::string_view title) {
    const Node* node = host->find(kind, title);
    EXPECT_TRUE(node) << title;
    return node ? *layout.frameOf(node->identity()) : Rect();
  }
  std::shared_ptr<FormHost> host;
};

TEST_F(FormLayoutTest, StacksSpaceAndAlignTheirChildren) {
  Font font = Font::systemFont(10);  // 5 points a character, 12 a line
  auto layout = layOut(VStack({Text("abcd").font(font), Text("ab").font(font)})
                           .spacing(6)
                           .alignment(HorizontalAlignment::leading)
                           .padding(EdgeInsets{1, 2, 3, 4}),
                       {300, 300});
  EXPECT_EQ(layout.size, (Size{2 + 20 + 4, 1 + 12 + 6 + 12 + 3}));
  EXPECT_EQ(frameOf(layout, NodeKind::text, "abcd"), Rect(2, 1, 20, 12));
  EXPECT_EQ(frameOf(layout, NodeKind::text, "ab"), Rect(2, 19, 10, 12));

  auto row = layOut(
      HStack({Text("ab").font(font), Spacer(), Text("c").font(font)}).frame({.maxWidth = infinity}),
      {100, 50});
  EXPECT_EQ(frameOf(row, NodeKind::text, "ab").x(), 0);
  EXPECT_EQ(frameOf(row, NodeKind::text, "c").maxX(), 100) << "the spacer pushes it to the end";
}

TEST_F(FormLayoutTest, SpacersStayBetweenTheirLengths) {
  Font font = Font::systemFont(10);
  auto page = [&] {
    return VStack(
               {Spacer(24, 96), Text("middle").font(font), Spacer(24, 96), Text("foot").font(font)})
        .spacing(0);
  };
  // Tall: each spacer stops at 96 and the rest centres the content.
  auto tall = layOut(page().frame({.maxWidth = infinity, .maxHeight = infinity}), {200, 1000});
  Rect middle = frameOf(tall, NodeKind::text, "middle");
  Rect foot = frameOf(tall, NodeKind::text, "foot");
  EXPECT_DOUBLE_EQ(foot.y() - middle.maxY(), 96);
  double content = 96 + 12 + 96 + 12;
  EXPECT_DOUBLE_EQ(middle.y(), (1000 - content) / 2 + 96);
  // Short: the spacers keep their minimum and the stack grows past the offer.
  auto shortLayout = layOut(page(), {200, 10});
  EXPECT_DOUBLE_EQ(frameOf(shortLayout, NodeKind::text, "foot").y() -
                       frameOf(shortLayout, NodeKind::text, "middle").maxY(),
                   24);
}

TEST_F(FormLayoutTest, FramesCapAndStretch) {
  Font font = Font::systemFont(10);
  auto layout = layOut(VStack({Text("x").font(font).frame({.maxWidth = infinity, .minHeight = 48}),
                               VStack({Text("y").font(font)}).frame({.maxWidth = 360}).frame({})})
                           .frame({.maxWidth = infinity}),
                       {1000, 500});
  Rect x = frameOf(layout, NodeKind::text, "x");
  EXPECT_EQ(x.width(), 1000);
  EXPECT_EQ(x.height(), 48);
}

TEST_F(FormLayoutTest, LongTextWrapsAndScrolls) {
  Font font = Font::systemFont(10);
  std::string words = "one two three four five six seven eight nine ten";
  auto layout = layOut(ScrollView(VStack({Text(words).font(font)}).padding(0)), {60, 30});
  Rect text = frameOf(layout, NodeKind::text, words);
  EXPECT_LE(text.width(), 60);
  EXPECT_GT(text.height(), 30) << "it wraps onto more lines than fit";
  EXPECT_EQ(layout.size, (Size{60, 30}));
  ASSERT_EQ(layout.scrollContentSizes.size(), 1u);
  EXPECT_GT(layout.scrollContentSizes.begin()->second.height, 30);

  auto lines = FormLayout::wrap("aaaa bb cc", font, 34);
  EXPECT_EQ(lines, (std::vector<std::string>{"aaaa", "bb cc"}));
  auto single = layOut(Text(words).font(font).lineLimit(1), {60, 30});
  EXPECT_EQ(frameOf(single, NodeKind::text, words).height(), 12);
}

// A bordered button's room around its label grows with its control size; a plain one has none.
TEST_F(FormLayoutTest, ButtonsTakeTheRoomOfTheirStyleAndSize) {
  Font font = Font::systemFont(10);  // a line of 12
  struct Case {
    ButtonStyle style;
    ControlSize size;
    double height;
  };
  for (const Case& c : {Case{ButtonStyle::plain, ControlSize::large, 12},
                        Case{ButtonStyle::borderedProminent, ControlSize::regular,
                             12 + 2 * FormMetrics::buttonChromeVertical},
                        Case{ButtonStyle::borderedProminent, ControlSize::large,
                             12 + 2 * FormMetrics::largeButtonChromeVertical}}) {
    auto layout =
        layOut(Button({Text("Go").font(font)}, [] {}).buttonStyle(c.style).controlSize(c.size),
               {300, 300});
    EXPECT_EQ(frameOf(layout, NodeKind::button, "Go").height(), c.height)
        << static_cast<int>(c.style) << "/" << static_cast<int>(c.size);
  }
}

// A row too narrow for its children's ideal widths: the wrapping text gives way, and the short
// trailing one keeps its width inside the row (it was pushed past the row's end, as a
// permission card's "Granted" was past its border).
TEST_F(FormLayoutTest, ARowTooNarrowWrapsItsTextAndKeepsTheTrailingOneInside) {
  Font font = Font::systemFont(10);  // 5 points a character, 12 a line
  std::string words = "a long explanation of what this row does for you";
  auto layout = layOut(HStack({Text("ok").font(font).frame({.width = 24}), Text(words).font(font),
                               Spacer(), Text("Granted").font(font)})
                           .spacing(12)
                           .frame({.maxWidth = infinity}),
                       {200, 300});
  Rect trailing = frameOf(layout, NodeKind::text, "Granted");
  Rect text = frameOf(layout, NodeKind::text, words);
  EXPECT_EQ(trailing.width(), 35);
  EXPECT_LE(trailing.maxX(), 200);
  EXPECT_LE(text.maxX() + 12, trailing.x()) << "the texts do not overlap";
  EXPECT_GT(text.height(), 12) << "the long text wraps instead";
  // A row that fits keeps its children at their ideal widths.
  auto fits =
      layOut(HStack({Text("ab").font(font), Spacer(), Text("Granted").font(font)}), {200, 300});
  EXPECT_EQ(frameOf(fits, NodeKind::text, "Granted").width(), 35);
  EXPECT_EQ(frameOf(fits, NodeKind::text, "ab").width(), 10);
}

// Every section of a grouped form spans its width, also one whose rows are all narrower than
// the form (a button and a wrapped caption), so that their groups line up.
// A labelled row's value keeps to the room its label leaves: one line is cut there, a wrapped
// value grows the row; neither is drawn over the label.
TEST_F(FormLayoutTest, ALabelledValueKeepsBesideItsLabel) {
  Font font = Font::systemFont(10);  // 5 points a character, 12 a line
  std::string longValue = "abcd";
  for (int i = 0; i < 11; ++i) longValue += " abcd";  // 295 points on one line
  struct Case {
    std::optional<int> lines;
    double height;
  } cases[] = {{1, 12}, {std::nullopt, 24}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines ? "one line" : "wrapped");
    Node value = Text(longValue).font(font);
    if (c.lines) value = std::move(value).lineLimit(*c.lines);
    auto layout =
        layOut(LabeledContent("Account", std::move(value)).font(font).frame({.maxWidth = infinity}),
               {200, 300});
    Rect row = frameOf(layout, NodeKind::labeledContent, "Account");
    Rect shown = frameOf(layout, NodeKind::text, longValue);
    EXPECT_GE(shown.x(), row.x() + 35 + FormMetrics::labelGap) << "clear of the label";
    EXPECT_DOUBLE_EQ(shown.maxX(), row.maxX());
    EXPECT_DOUBLE_EQ(shown.height(), c.height);
    EXPECT_GE(row.height(), c.height);
  }
  // A short value sits at the trailing edge as before.
  auto layout = layOut(
      LabeledContent("Version", Text("1.2").font(font)).font(font).frame({.maxWidth = infinity}),
      {200, 300});
  EXPECT_EQ(frameOf(layout, NodeKind::text, "1.2"), Rect(185, 0, 15, 12));
}

TEST_F(FormLayoutTest, SectionsOfAFormShareItsWidth) {
  std::string caption =
      "Signs you out and clears local data on this machine, then returns to setup. Your "
      "account is not affected.";
  auto layout = layOut(
      Form({Section("Wide", {Toggle("Switch", true, [](bool) {})}),
            Section("Narrow", {Button("Reset", [] {}), Text(caption).font(Font::systemFont(10))}),
            Section("Short", {Text("x")})}),
      {460, 400});
  Rect wide = frameOf(layout, NodeKind::section, "Wide");
  EXPECT_EQ(wide.x(), FormMetrics::formInset);
  EXPECT_EQ(wide.width(), 460 - 2 * FormMetrics::formInset);
  for (std::string_view header : {"Narrow", "Short"}) {
    Rect section = frameOf(layout, NodeKind::section, header);
    EXPECT_EQ(section.x(), wide.x()) << header;
    EXPECT_EQ(section.width(), wide.width()) << header;
  }
  Rect text = frameOf(layout, NodeKind::text, caption);
  EXPECT_EQ(text.x(), wide.x() + FormMetrics::sectionInset) << "rows keep the group's inset";
  EXPECT_GT(text.height(), 12) << "the caption wraps";
}

}  // namespace
}  // namespace platform::forms
