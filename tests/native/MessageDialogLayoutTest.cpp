#include "ui/MessageDialogLayout.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(DialogMetrics, BaseUnitsSixByThirteen) {
  const DialogMetrics m = ComputeDialogMetrics(6, 13);
  EXPECT_EQ(m.horzMargin, 12);
  EXPECT_EQ(m.vertMargin, 13);
  EXPECT_EQ(m.horzSpacing, 15);
  EXPECT_EQ(m.vertSpacing, 16);
  EXPECT_EQ(m.buttonWidth, 75);
  EXPECT_EQ(m.buttonHeight, 23);
  EXPECT_EQ(m.buttonSpacing, 6);
}

TEST(DialogMetrics, MulDivRoundsHalvesAwayFromZero) {
  EXPECT_EQ(MulDivRound(10, 13, 8), 16);  // 16.25
  EXPECT_EQ(MulDivRound(14, 13, 8), 23);  // 22.75
  EXPECT_EQ(MulDivRound(10, 5, 4), 13);   // 12.5
  EXPECT_EQ(MulDivRound(-10, 5, 4), -13);
  EXPECT_EQ(MulDivRound(1, 1, 0), -1);
}

TEST(DialogButtons, DefaultAndCancelChoices) {
  const TDialogButtons yesNo = ButtonBit(dbYes) | ButtonBit(dbNo);
  EXPECT_EQ(yesNo, 3);
  EXPECT_EQ(ButtonBit(dbOK), 4);
  EXPECT_EQ(DefaultButtonOf(yesNo), dbYes);
  EXPECT_EQ(CancelButtonOf(yesNo), dbNo);
  EXPECT_EQ(DefaultButtonOf(ButtonBit(dbOK)), dbOK);
  EXPECT_EQ(CancelButtonOf(ButtonBit(dbOK)), dbOK);
  const TDialogButtons abortIgnore = ButtonBit(dbAbort) | ButtonBit(dbIgnore);
  EXPECT_EQ(DefaultButtonOf(abortIgnore), -1);
  EXPECT_EQ(CancelButtonOf(abortIgnore), -1);
  EXPECT_EQ(DefaultButtonOf(ButtonBit(dbRetry) | ButtonBit(dbCancel)), dbRetry);
  EXPECT_EQ(CancelButtonOf(ButtonBit(dbRetry) | ButtonBit(dbCancel)), dbCancel);
  EXPECT_EQ(DefaultButtonOf(ButtonBit(dbOK) | ButtonBit(dbYes)), dbOK);
}

TEST(DialogButtons, TableOrderCaptionsAndResults) {
  EXPECT_STREQ(ButtonInfo(dbYes).caption, "&Yes");
  EXPECT_EQ(ButtonInfo(dbYes).modalResult, 6);
  EXPECT_EQ(ButtonInfo(dbNo).modalResult, 7);
  EXPECT_STREQ(ButtonInfo(dbNoToAll).caption, "N&o to All");
  EXPECT_EQ(ButtonInfo(dbYesToAll).modalResult, 10);
  EXPECT_EQ(ButtonInfo(dbHelp).modalResult, 0);
  EXPECT_STREQ(ButtonInfo(dbNoToAll).name, "NoToAll");
  EXPECT_STREQ(KindCaption(TDialogKind::dkInformation), "Information");
  EXPECT_STREQ(KindCaption(TDialogKind::dkConfirmation), "Confirm");
}

MessageDialogLayoutInput Input(int w, int h, bool icon, int buttons, int widest = 0) {
  MessageDialogLayoutInput in;
  in.baseX = 6;
  in.baseY = 13;
  in.textWidth = w;
  in.textHeight = h;
  in.hasIcon = icon;
  in.buttonCount = buttons;
  in.widestCaption = widest;
  return in;
}

TEST(DialogLayout, IconDialogWithShortTextAndTwoButtons) {
  const MessageDialogLayout l = LayoutMessageDialog(Input(200, 13, true, 2));
  // IW = 200 + 32 + 15 = 247, IH = 32; group = 2*75 + 6 = 156.
  EXPECT_EQ(l.clientWidth, 247 + 24);
  EXPECT_EQ(l.clientHeight, 32 + 23 + 16 + 26);
  EXPECT_EQ(l.icon, (LayoutRect{12, 13, 32, 32}));
  EXPECT_EQ(l.message, (LayoutRect{12 + 32 + 15, 13, 200, 13}));
  ASSERT_EQ(l.buttons.size(), 2u);
  EXPECT_EQ(l.buttons[0], (LayoutRect{(271 - 156) / 2, 32 + 13 + 16, 75, 23}));
  EXPECT_EQ(l.buttons[1].left, l.buttons[0].left + 75 + 6);
}

TEST(DialogLayout, NeverNarrowerThanTheButtonRow) {
  const MessageDialogLayout l = LayoutMessageDialog(Input(10, 13, false, 3));
  const int group = 3 * 75 + 2 * 6;
  EXPECT_EQ(l.clientWidth, group + 24);
  EXPECT_EQ(l.buttons[0].left, 12);
  EXPECT_EQ(l.buttons[2].left + 75, l.clientWidth - 12);
}

TEST(DialogLayout, NoIconStartsTextAtTheMargin) {
  const MessageDialogLayout l = LayoutMessageDialog(Input(300, 20, false, 1));
  EXPECT_EQ(l.message.left, 12);
  // Without an icon the text block keeps its own height, even below 32.
  EXPECT_EQ(l.clientHeight, 20 + 23 + 16 + 26);
}

TEST(DialogLayout, TallTextKeepsItsHeightBesideTheIcon) {
  const MessageDialogLayout l = LayoutMessageDialog(Input(300, 52, true, 1));
  EXPECT_EQ(l.buttons[0].top, 52 + 13 + 16);
}

TEST(DialogLayout, WideCaptionsWidenEveryButton) {
  const MessageDialogLayout l = LayoutMessageDialog(Input(100, 13, true, 2, 90));
  EXPECT_EQ(l.buttons[0].width, 90);
  EXPECT_EQ(l.buttons[1].width, 90);
  EXPECT_EQ(l.buttons[1].left - l.buttons[0].left, 96);
}

TEST(DialogLayout, RightToLeftMirrorsTheText) {
  MessageDialogLayoutInput in = Input(200, 13, true, 1);
  in.rightToLeft = true;
  const MessageDialogLayout l = LayoutMessageDialog(in);
  EXPECT_EQ(l.message.left, l.clientWidth - (12 + 32 + 15) - 200);
}

TEST(DialogLayout, NoButtons) {
  const MessageDialogLayout l = LayoutMessageDialog(Input(100, 13, false, 0));
  EXPECT_TRUE(l.buttons.empty());
  EXPECT_EQ(l.clientWidth, 124);
}

TEST(DialogCopyText, FramedLinesWithButtonCaptionsStripped) {
  const std::string divider(27, '-');
  const std::string expected = divider + "\r\n" + "Information\r\n" + divider + "\r\n" +
                               "Are you sure you want to abort the installation?\r\n" + divider +
                               "\r\n" + "Yes   No   \r\n" + divider + "\r\n";
  EXPECT_EQ(MessageDialogCopyText("Information", "Are you sure you want to abort the installation?",
                                  {"&Yes", "&No"}),
            expected);
}

}  // namespace
}  // namespace qv
