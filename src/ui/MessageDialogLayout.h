#pragma once
// The message dialog's arithmetic: base units, sizes, default and cancel
// buttons, positions, and the Ctrl+C text. Windows-free, so the native tests
// check every figure; MessageDialog.cpp only measures and applies.
#include <cstdint>
#include <string>
#include <vector>

#include "core/ShellText.h"

namespace qv {

enum class TDialogKind : uint8_t { dkWarning, dkError, dkInformation, dkConfirmation, dkCustom };

enum TDialogButton : int {
  dbYes,
  dbNo,
  dbOK,
  dbCancel,
  dbAbort,
  dbRetry,
  dbIgnore,
  dbAll,
  dbNoToAll,
  dbYesToAll,
  dbHelp,
};
constexpr int kDialogButtonCount = 11;

// A set of buttons as a 16-bit mask: bit n stands for the button numbered n.
using TDialogButtons = uint16_t;
constexpr TDialogButtons ButtonBit(TDialogButton button) {
  return static_cast<TDialogButtons>(1u << button);
}

struct DialogButtonInfo {
  const char* name;
  const char* caption;
  int modalResult;
};
// Name, caption and modal result of each button, in table order.
const DialogButtonInfo& ButtonInfo(TDialogButton button);
// The caption of a dialog kind; empty for dkCustom (the caller uses AppTitle).
const char* KindCaption(TDialogKind kind);

// Default and cancel button of a set; -1 when the choice is not in the set.
int DefaultButtonOf(TDialogButtons buttons);
int CancelButtonOf(TDialogButtons buttons);

// n * unit / d rounded to the nearest integer, halves away from zero, as
// MulDiv rounds.
int MulDivRound(int n, int unit, int d);

struct DialogMetrics {
  int horzMargin;
  int vertMargin;
  int horzSpacing;
  int vertSpacing;
  int buttonWidth;  // before widening for the captions
  int buttonHeight;
  int buttonSpacing;
};
// X: width of "A".."Za".."z" / 52 (integer division); Y: its height.
DialogMetrics ComputeDialogMetrics(int baseX, int baseY);

struct LayoutRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const LayoutRect&) const = default;
};

struct MessageDialogLayoutInput {
  int baseX = 0;
  int baseY = 0;
  int textWidth = 0;   // W: widest wrapped line
  int textHeight = 0;  // H
  bool hasIcon = false;
  int buttonCount = 0;
  int widestCaption = 0;  // largest cached width (caption + 8) among the set
  bool rightToLeft = false;
};

struct MessageDialogLayout {
  int clientWidth = 0;
  int clientHeight = 0;
  LayoutRect icon;  // meaningful only with an icon
  LayoutRect message;
  std::vector<LayoutRect> buttons;  // creation (table) order
};
MessageDialogLayout LayoutMessageDialog(const MessageDialogLayoutInput& input);

// The text Ctrl+C copies: dividers of 27 '-', caption, message, then the
// button captions each followed by three spaces with every '&' removed; every
// line ended by CR LF.
std::string MessageDialogCopyText(const std::string& caption, const std::string& message,
                                  const std::vector<std::string>& buttonCaptions);

}  // namespace qv
