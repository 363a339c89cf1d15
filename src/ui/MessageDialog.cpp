#include "ui/MessageDialog.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "shell/Application.h"

namespace qv {

namespace {
std::array<int, kDialogButtonCount> buttonWidths{};

LPCSTR KindIcon(TDialogKind kind) {
  switch (kind) {
    case TDialogKind::dkWarning:
      return reinterpret_cast<LPCSTR>(IDI_EXCLAMATION);
    case TDialogKind::dkError:
      return reinterpret_cast<LPCSTR>(IDI_HAND);
    case TDialogKind::dkInformation:
      return reinterpret_cast<LPCSTR>(IDI_ASTERISK);
    case TDialogKind::dkConfirmation:
      return reinterpret_cast<LPCSTR>(IDI_QUESTION);
    case TDialogKind::dkCustom:
      break;
  }
  return nullptr;
}

// The font of the system's message boxes, else the default window font.
void AssignMessageFont(TFont& font) {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  if (::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    font.AssignLogFont(metrics.lfMessageFont);
    return;
  }
  LOGFONTA fallback{};
  if (::GetObjectA(::GetStockObject(DEFAULT_GUI_FONT), sizeof fallback, &fallback) != 0) {
    font.AssignLogFont(fallback);
  }
}

// Measures texts in the dialog's font on a screen-compatible memory DC.
class TextMeasure {
 public:
  explicit TextMeasure(HFONT font) : dc_(::CreateCompatibleDC(nullptr)), select_(dc_.get(), font) {}
  SIZE Line(const std::string& text) const {
    SIZE size{};
    ::GetTextExtentPoint32A(dc_.get(), text.c_str(), static_cast<int>(text.size()), &size);
    return size;
  }
  RECT Calc(const std::string& text, int width, UINT flags) const {
    RECT r{0, 0, width, 0};
    ::DrawTextA(dc_.get(), text.c_str(), static_cast<int>(text.size()), &r, flags | DT_CALCRECT);
    return r;
  }

 private:
  UniqueMemoryDc dc_;
  SelectGuard select_;
};

class ClipboardOpen {
 public:
  explicit ClipboardOpen(HWND owner) : open_(::OpenClipboard(owner) != FALSE) {}
  ClipboardOpen(const ClipboardOpen&) = delete;
  ClipboardOpen& operator=(const ClipboardOpen&) = delete;
  ~ClipboardOpen() {
    if (open_)
      ::CloseClipboard();
  }
  bool IsOpen() const noexcept { return open_; }

 private:
  bool open_;
};
}  // namespace

int CachedButtonWidth(TDialogButton button) {
  return buttonWidths.at(static_cast<size_t>(button));
}

TMessageForm::TMessageForm(TComponent* owner) : TForm(owner) {
  SetBorderStyle(TFormBorderStyle::bsDialog);
  SetBorderIcons(biSystemMenu);
  SetKeyPreview(true);
  AssignMessageFont(Font());
}

bool TMessageForm::PreviewKeyDown(WORD key, TShiftState shift) {
  if (key == 'C' && shift == ssCtrl) {
    ::MessageBeep(0);
    CopyToClipboard();
    return true;
  }
  return false;
}

std::string TMessageForm::CopyText() const {
  std::vector<std::string> captions;
  for (const TButton* button : buttons_)
    captions.push_back(button->Caption());
  return MessageDialogCopyText(Text(), message_ != nullptr ? message_->Caption() : std::string(),
                               captions);
}

void TMessageForm::CopyToClipboard() const {
  const std::string text = CopyText();
  ClipboardOpen clipboard(handle_);
  if (!clipboard.IsOpen())
    throw Exception("Cannot open clipboard");
  ::EmptyClipboard();
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  if (memory == nullptr)
    throw Exception("Cannot open clipboard");
  if (void* data = ::GlobalLock(memory)) {
    std::memcpy(data, text.c_str(), text.size() + 1);
    ::GlobalUnlock(memory);
  }
  // On success the clipboard owns the memory.
  if (::SetClipboardData(CF_TEXT, memory) == nullptr)
    ::GlobalFree(memory);
}

std::unique_ptr<TMessageForm> BuildMessageDialog(const std::string& text, TDialogKind kind,
                                                 TDialogButtons buttons) {
  auto form = std::make_unique<TMessageForm>(Application);
  TextMeasure measure(form->Font().Handle());

  const SIZE alphabet = measure.Line("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  MessageDialogLayoutInput input;
  input.baseX = alphabet.cx / 52;
  input.baseY = alphabet.cy;

  std::vector<TDialogButton> members;
  for (int b = 0; b < kDialogButtonCount; ++b) {
    const auto button = static_cast<TDialogButton>(b);
    if ((buttons & ButtonBit(button)) == 0)
      continue;
    members.push_back(button);
    int& cached = buttonWidths.at(static_cast<size_t>(b));
    if (cached == 0) {
      const RECT r = measure.Calc(ButtonInfo(button).caption, 0, DT_SINGLELINE | DT_LEFT);
      cached = (r.right - r.left) + 8;
    }
    input.widestCaption = std::max(input.widestCaption, cached);
  }
  input.buttonCount = static_cast<int>(members.size());

  // A path in a message may hold '&': it is text, not an accelerator.
  const RECT textRect = measure.Calc(text, ::GetSystemMetrics(SM_CXSCREEN) / 2,
                                     DT_EXPANDTABS | DT_WORDBREAK | DT_NOPREFIX | DT_LEFT);
  input.textWidth = textRect.right - textRect.left;
  input.textHeight = textRect.bottom - textRect.top;
  input.hasIcon = kind != TDialogKind::dkCustom;
  input.rightToLeft = false;
  const MessageDialogLayout layout = LayoutMessageDialog(input);

  form->SetClientSize(layout.clientWidth, layout.clientHeight);
  form->SetBounds(::GetSystemMetrics(SM_CXSCREEN) / 2 - form->Width() / 2,
                  ::GetSystemMetrics(SM_CYSCREEN) / 2 - form->Height() / 2, form->Width(),
                  form->Height());
  form->SetCaption(kind == TDialogKind::dkCustom ? Application->AppTitle() : KindCaption(kind));

  if (LPCSTR icon = KindIcon(kind)) {
    auto* image = new TImage(form.get());
    image->SetName("Image");
    image->SetParent(form.get());
    image->SetIcon(::LoadIconA(nullptr, icon));
    image->SetBounds(layout.icon.left, layout.icon.top, layout.icon.width, layout.icon.height);
  }

  auto* label = new TLabel(form.get());
  label->SetName("Message");
  label->SetParent(form.get());
  label->SetWordWrap(true);
  label->SetShowAccelChar(false);
  label->SetCaption(text);
  label->SetBounds(layout.message.left, layout.message.top, layout.message.width,
                   layout.message.height);
  form->message_ = label;

  const int defaultButton = DefaultButtonOf(buttons);
  const int cancelButton = CancelButtonOf(buttons);
  for (size_t i = 0; i < members.size(); ++i) {
    const DialogButtonInfo& info = ButtonInfo(members[i]);
    auto* button = new TButton(form.get());
    button->SetName(info.name);
    button->SetParent(form.get());
    button->SetCaption(info.caption);
    button->SetModalResult(info.modalResult);
    button->SetDefault(members[i] == defaultButton);
    button->SetCancel(members[i] == cancelButton);
    const LayoutRect& r = layout.buttons[i];
    button->SetBounds(r.left, r.top, r.width, r.height);
    if (members[i] == TDialogButton::dbHelp) {
      // Help leaves the dialog open: its modal result is 0.
      TMessageForm* dialog = form.get();
      button->OnClick = [dialog](TObject*) {
        Application->ShowHelp(dialog->HelpContext, dialog->HelpFile);
      };
    }
    form->buttons_.push_back(button);
  }
  return form;
}

namespace {
TUnattendedAnswer unattendedAnswer = nullptr;
}  // namespace

void SetUnattendedAnswer(TUnattendedAnswer answer) noexcept {
  unattendedAnswer = answer;
}

TModalResult ShowMessageDialogAt(const std::string& text, TDialogKind kind, TDialogButtons buttons,
                                 int helpContext, int x, int y, const std::string& helpFile) {
  if (unattendedAnswer != nullptr) {
    if (const TModalResult answer = unattendedAnswer(text, kind, buttons); answer != resNone)
      return answer;
  }
  std::unique_ptr<TMessageForm> form = BuildMessageDialog(text, kind, buttons);
  form->HelpContext = helpContext;
  form->HelpFile = helpFile;
  if (x >= 0)
    form->SetLeft(x);
  if (y >= 0)
    form->SetTop(y);
  if (x < 0 && y < 0)
    form->SetPosition(TPosition::poScreenCenter);
  return form->RunModal();
}

TModalResult ShowMessageDialog(const std::string& text, TDialogKind kind, TDialogButtons buttons,
                               int helpContext) {
  return ShowMessageDialogAt(text, kind, buttons, helpContext, -1, -1, std::string());
}

void ShowNotice(const std::string& text) {
  ShowMessageDialogAt(text, TDialogKind::dkCustom, ButtonBit(dbOK), 0, -1, -1, std::string());
}

}  // namespace qv
