#include "ui/MessageDialogLayout.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace qv {

namespace {
constexpr std::array<DialogButtonInfo, kDialogButtonCount> kButtons{{
    {"Yes", "&Yes", 6},
    {"No", "&No", 7},
    {"OK", "OK", 1},
    {"Cancel", "Cancel", 2},
    {"Abort", "&Abort", 3},
    {"Retry", "&Retry", 4},
    {"Ignore", "&Ignore", 5},
    {"All", "&All", 8},
    {"NoToAll", "N&o to All", 9},
    {"YesToAll", "Yes to &All", 10},
    {"Help", "&Help", 0},
}};

bool Has(TDialogButtons buttons, TDialogButton button) {
  return (buttons & ButtonBit(button)) != 0;
}
}  // namespace

const DialogButtonInfo& ButtonInfo(TDialogButton button) {
  return kButtons.at(static_cast<size_t>(button));
}

const char* KindCaption(TDialogKind kind) {
  switch (kind) {
    case TDialogKind::dkWarning:
      return "Warning";
    case TDialogKind::dkError:
      return "Error";
    case TDialogKind::dkInformation:
      return "Information";
    case TDialogKind::dkConfirmation:
      return "Confirm";
    case TDialogKind::dkCustom:
      break;
  }
  return "";
}

int DefaultButtonOf(TDialogButtons buttons) {
  if (Has(buttons, dbOK))
    return dbOK;
  if (Has(buttons, dbYes))
    return dbYes;
  return Has(buttons, dbRetry) ? dbRetry : -1;
}

int CancelButtonOf(TDialogButtons buttons) {
  if (Has(buttons, dbCancel))
    return dbCancel;
  if (Has(buttons, dbNo))
    return dbNo;
  return Has(buttons, dbOK) ? dbOK : -1;
}

int MulDivRound(int n, int unit, int d) {
  if (d == 0)
    return -1;
  const long long product = static_cast<long long>(n) * unit;
  long long quotient = product / d;
  const long long remainder = product % d;
  if (2 * std::llabs(remainder) >= std::llabs(static_cast<long long>(d))) {
    quotient += ((product < 0) != (d < 0)) ? -1 : 1;
  }
  return static_cast<int>(quotient);
}

DialogMetrics ComputeDialogMetrics(int baseX, int baseY) {
  return DialogMetrics{
      MulDivRound(8, baseX, 4),  MulDivRound(8, baseY, 8),  MulDivRound(10, baseX, 4),
      MulDivRound(10, baseY, 8), MulDivRound(50, baseX, 4), MulDivRound(14, baseY, 8),
      MulDivRound(4, baseX, 4),
  };
}

MessageDialogLayout LayoutMessageDialog(const MessageDialogLayoutInput& in) {
  const DialogMetrics m = ComputeDialogMetrics(in.baseX, in.baseY);
  const int buttonWidth = std::max(m.buttonWidth, in.widestCaption);

  int iconTextWidth = in.textWidth;
  int iconTextHeight = in.textHeight;
  if (in.hasIcon) {
    iconTextWidth = in.textWidth + 32 + m.horzSpacing;
    if (in.textHeight < 32)
      iconTextHeight = 32;
  }
  const int groupWidth = in.buttonCount > 0
                             ? in.buttonCount * buttonWidth + (in.buttonCount - 1) * m.buttonSpacing
                             : 0;

  MessageDialogLayout out;
  out.clientWidth = std::max(iconTextWidth, groupWidth) + 2 * m.horzMargin;
  out.clientHeight = iconTextHeight + m.buttonHeight + m.vertSpacing + 2 * m.vertMargin;
  out.icon = {m.horzMargin, m.vertMargin, 32, 32};

  int textLeft = iconTextWidth - in.textWidth + m.horzMargin;
  if (in.rightToLeft)
    textLeft = out.clientWidth - textLeft - in.textWidth;
  out.message = {textLeft, m.vertMargin, in.textWidth, in.textHeight};

  int x = (out.clientWidth - groupWidth) / 2;
  const int top = iconTextHeight + m.vertMargin + m.vertSpacing;
  for (int i = 0; i < in.buttonCount; ++i) {
    out.buttons.push_back({x, top, buttonWidth, m.buttonHeight});
    x += buttonWidth + m.buttonSpacing;
  }
  return out;
}

std::string MessageDialogCopyText(const std::string& caption, const std::string& message,
                                  const std::vector<std::string>& buttonCaptions) {
  const std::string divider = std::string(27, '-') + "\r\n";
  std::string buttons;
  for (const std::string& c : buttonCaptions)
    buttons += StripAmpersands(c) + "   ";
  return divider + caption + "\r\n" + divider + message + "\r\n" + divider + buttons + "\r\n" +
         divider;
}

}  // namespace qv
