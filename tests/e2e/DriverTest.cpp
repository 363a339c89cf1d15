// Tests of the end-to-end driver against its stand-in program
// (fixture/FixtureApp.cpp), which reports what it received in its own
// controls. Each test starts its own copy of the program.
#include "Driver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

namespace e2e = qv::e2e;

namespace {

constexpr char kCaption[] = "QV E2E Fixture";
constexpr char kMainClass[] = "QvE2EFixtureWindow";
constexpr char kTwinClass[] = "QvE2EFixtureTwin";
constexpr int kEditId = 201;
constexpr int kLabelId = 301;
constexpr int kKeyLogId = 302;
// Starting a program under Wine takes about a second, more on a loaded machine.
constexpr DWORD kTimeout = 15000;

std::string FixturePath() {
  wchar_t buffer[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  std::wstring path(buffer);
  path.resize(path.find_last_of(L"\\/") + 1);
  return e2e::Narrow(path + L"e2e_fixture.exe");
}

std::string OutputDir() {
  if (const char* dir = std::getenv("QV_E2E_OUT"); dir != nullptr && *dir != '\0') {
    return dir;
  }
  wchar_t buffer[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, buffer);
  return e2e::Narrow(buffer);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  return dir.empty() || dir.back() == '\\' || dir.back() == '/' ? dir + name : dir + "\\" + name;
}

// The message of the DriverError that `action` throws; fails the test when none is thrown.
std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const e2e::DriverError& error) {
    return error.what();
  }
  ADD_FAILURE() << "expected a DriverError";
  return {};
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class FixtureTest : public ::testing::Test {
 protected:
  void Start(const std::string& arguments = {}) {
    process_ = e2e::Launch(FixturePath(), {}, arguments);
    main_ = e2e::WaitWindow(kCaption, kMainClass, kTimeout, &process_);
  }

  HWND Control(int id) const {
    HWND control = ::GetDlgItem(main_, id);
    EXPECT_NE(control, nullptr) << "control id " << id << "\n" << e2e::DumpControls(main_);
    return control;
  }
  HWND Button(const std::string& text) const { return e2e::RequireControl(main_, "Button", text); }
  std::string Label() const { return e2e::ReadText(Control(kLabelId)); }
  std::string KeyLog() const { return e2e::ReadText(Control(kKeyLogId)); }

  e2e::Process process_;
  HWND main_ = nullptr;
};

// --- Launching and waiting -----------------------------------------------------

using Launching = FixtureTest;

TEST_F(Launching, WaitsForTheWindowAndReadsTheExitCode) {
  process_ = e2e::Launch(FixturePath(), {}, "--delay=1000 --exit-code=7");
  EXPECT_EQ(e2e::FindTopWindow(kCaption, kMainClass, &process_), nullptr)
      << "the window is shown only after its delay";

  main_ = e2e::WaitWindow(kCaption, kMainClass, kTimeout, &process_);
  EXPECT_TRUE(::IsWindowVisible(main_));
  EXPECT_EQ(e2e::ClassNameOf(main_), kMainClass);
  EXPECT_EQ(e2e::WaitExit(process_, 100), std::nullopt) << "still running while its window is open";

  e2e::CloseWindow(main_);
  e2e::WaitWindowGone(main_, kTimeout);
  EXPECT_EQ(e2e::WaitExit(process_, kTimeout), std::optional<DWORD>(7));
}

TEST_F(Launching, MissingProgramIsReportedWithItsPath) {
  const std::string message = ErrorOf([] { e2e::Launch("C:\\no\\such\\program.exe"); });
  EXPECT_TRUE(Contains(message, "C:\\no\\such\\program.exe")) << message;
}

TEST_F(Launching, ProcessStillRunningAtTheEndOfItsLifetimeIsEnded) {
  DWORD pid = 0;
  {
    e2e::Process process = e2e::Launch(FixturePath());
    e2e::WaitWindow(kCaption, kMainClass, kTimeout, &process);
    pid = process.Id();
  }
  e2e::UniqueHandle handle(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid));
  if (handle) {  // an id already released means the process is gone, as required
    EXPECT_EQ(::WaitForSingleObject(handle.get(), 0), WAIT_OBJECT_0);
    DWORD code = 0;
    ::GetExitCodeProcess(handle.get(), &code);
    EXPECT_EQ(code, e2e::kTerminatedExitCode);
  }
  EXPECT_TRUE(e2e::TopLevelWindowsOf(pid).empty());
}

using Waiting = FixtureTest;

TEST_F(Waiting, TimeOutNamesTheAwaitedWindowAndListsTheOpenOnes) {
  Start();
  const std::string message =
      ErrorOf([] { e2e::WaitWindow("No Such Window", "NoSuchClass", 300); });
  EXPECT_TRUE(Contains(message, "\"No Such Window\"")) << message;
  EXPECT_TRUE(Contains(message, "\"NoSuchClass\"")) << message;
  EXPECT_TRUE(Contains(message, "300 ms")) << message;
  EXPECT_TRUE(Contains(message, std::string("class \"") + kMainClass + "\" caption \"" + kCaption))
      << message;
}

TEST_F(Waiting, ClassTellsApartWindowsWithTheSameCaption) {
  Start("--twin");
  const HWND twin = e2e::WaitWindow(kCaption, kTwinClass, kTimeout, &process_);
  EXPECT_NE(twin, main_);
  EXPECT_EQ(e2e::ClassNameOf(twin), kTwinClass);
  EXPECT_EQ(e2e::WaitWindow(kCaption, kMainClass, kTimeout, &process_), main_);
  EXPECT_EQ(e2e::FindTopWindow(kCaption, "", &process_), twin)
      << "without a class the window highest in the z-order (the later one) wins";
}

TEST_F(Waiting, AnyOfSeveralWindowsEndsTheWait) {
  Start("--twin");
  e2e::WaitWindow(kCaption, kTwinClass, kTimeout, &process_);  // it follows the main window
  const auto [index, window] =
      e2e::WaitAnyWindow({{"No Such Window", ""}, {kCaption, kTwinClass}, {kCaption, kMainClass}},
                         kTimeout, &process_);
  EXPECT_EQ(index, 1u) << "candidates are tried in the order given";
  EXPECT_EQ(e2e::ClassNameOf(window), kTwinClass);

  const std::string message = ErrorOf([&] {
    e2e::WaitAnyWindow({{"First", "A"}, {"Second", ""}}, 200, &process_);
  });
  EXPECT_TRUE(Contains(message, "\"First\" and class \"A\" of process")) << message;
  EXPECT_TRUE(Contains(message, " or visible top-level window with caption \"Second\"")) << message;
}

TEST_F(Waiting, WaitEndsAsSoonAsTheProcessExits) {
  Start();
  e2e::CloseWindow(main_);
  ASSERT_TRUE(e2e::WaitExit(process_, kTimeout).has_value());

  const ULONGLONG started = ::GetTickCount64();
  const std::string message =
      ErrorOf([&] { e2e::WaitWindow(kCaption, kMainClass, 30000, &process_); });
  EXPECT_LT(::GetTickCount64() - started, 5000u) << "the wait ran into its time-out";
  EXPECT_TRUE(Contains(message, "exited with code 0")) << message;
}

TEST_F(Waiting, GoneFailsForAWindowThatStays) {
  Start();
  const std::string message = ErrorOf([&] { e2e::WaitWindowGone(main_, 200); });
  EXPECT_TRUE(Contains(message, kMainClass)) << message;
  EXPECT_TRUE(Contains(message, "still visible")) << message;
}

// --- Controls ----------------------------------------------------------------

using Controls = FixtureTest;

TEST_F(Controls, ListsEveryControlWithItsState) {
  Start();
  const auto controls = e2e::ListControls(main_);
  ASSERT_EQ(controls.size(), 7u) << e2e::DumpControls(main_);
  auto byId = [&](int id) {
    for (const auto& c : controls) {
      if (c.id == id) {
        return c;
      }
    }
    ADD_FAILURE() << "no control with id " << id;
    return e2e::ControlInfo{};
  };
  RECT window{};
  ::GetWindowRect(main_, &window);

  const auto press = byId(101);
  EXPECT_EQ(press.className, "Button");
  EXPECT_EQ(press.text, "&Press");
  EXPECT_TRUE(press.enabled);
  EXPECT_TRUE(press.visible);
  EXPECT_GE(press.rect.left, window.left);
  EXPECT_LE(press.rect.right, window.right);
  EXPECT_EQ(press.rect.right - press.rect.left, 90);
  EXPECT_EQ(press.rect.bottom - press.rect.top, 25);

  EXPECT_FALSE(byId(103).enabled) << "the Disabled button";
  EXPECT_TRUE(byId(103).visible);
  EXPECT_FALSE(byId(104).visible) << "the Hidden button";
  EXPECT_EQ(byId(kEditId).className, "Edit");
  EXPECT_EQ(byId(kLabelId).className, "Static");
  EXPECT_EQ(byId(kLabelId).text, "Ready");
}

TEST_F(Controls, FindsByTextWithOrWithoutTheAcceleratorMarker) {
  Start();
  const HWND press = e2e::FindControl(main_, "Button", "&Press");
  ASSERT_NE(press, nullptr);
  EXPECT_EQ(e2e::FindControl(main_, "Button", "Press"), press);
  EXPECT_EQ(e2e::FindControl(main_, "", "Press"), press);
  EXPECT_EQ(e2e::FindControl(main_, "Static", "Press"), nullptr) << "the class must match";
  EXPECT_EQ(e2e::FindControl(main_, "Button", "Pres"), nullptr) << "the text must match whole";
  EXPECT_NE(e2e::FindControl(main_, "Button", "Hidden"), nullptr) << "hidden controls are found";

  const std::string message = ErrorOf([&] { e2e::RequireControl(main_, "Button", "Nope"); });
  EXPECT_TRUE(Contains(message, "\"Nope\"")) << message;
  EXPECT_TRUE(Contains(message, "\"&Press\"")) << "the error lists the controls: " << message;
}

TEST(AcceleratorMarkers, AreRemovedAsACaptionIsDrawn) {
  EXPECT_EQ(e2e::StripAccelerators("&Yes"), "Yes");
  EXPECT_EQ(e2e::StripAccelerators("N&o to All"), "No to All");
  EXPECT_EQ(e2e::StripAccelerators("Save && Exit"), "Save & Exit");
  EXPECT_EQ(e2e::StripAccelerators("OK"), "OK");
}

// --- Input -------------------------------------------------------------------

using Input = FixtureTest;

TEST_F(Input, ClickReachesTheButtonsHandler) {
  Start();
  e2e::Click(Button("Press"));
  e2e::WaitText(Control(kLabelId), "Pressed 1", kTimeout);
  e2e::Click(Button("Press"));
  e2e::WaitText(Control(kLabelId), "Pressed 2", kTimeout);
}

TEST_F(Input, ClickRefusesWhatAUserCouldNotClick) {
  Start();
  EXPECT_TRUE(Contains(ErrorOf([&] { e2e::Click(Button("Disabled")); }), "disabled"));
  EXPECT_TRUE(Contains(ErrorOf([&] { e2e::Click(Button("Hidden")); }), "hidden"));
  ::Sleep(200);
  EXPECT_EQ(Label(), "Ready") << "no refused click may reach the program";
}

TEST_F(Input, TypedTextArrivesAsKeystrokes) {
  Start();
  const HWND edit = Control(kEditId);
  const e2e::TypingMethod method = e2e::TypeText(edit, "Hello, World 5.0!");
  EXPECT_EQ(method, e2e::TypingMethod::kKeyboard) << "the edit field could not be focused";
  e2e::WaitText(edit, "Hello, World 5.0!", kTimeout);
  if (method == e2e::TypingMethod::kKeyboard) {
    EXPECT_TRUE(Contains(KeyLog(), "+H")) << "a capital letter is typed with Shift: " << KeyLog();
  }

  // With the focus moved away, typing has to bring it back to the field.
  e2e::SendKeys(main_, "+{TAB}");
  ASSERT_TRUE(e2e::WaitUntil([&] { return Contains(KeyLog(), "+{TAB}"); }, kTimeout)) << KeyLog();
  EXPECT_EQ(e2e::TypeText(edit, "C:\\Program Files\\Q"), e2e::TypingMethod::kKeyboard);
  e2e::WaitText(edit, "C:\\Program Files\\Q", kTimeout);  // replaced, not appended

  e2e::SetText(edit, "set directly");
  EXPECT_EQ(e2e::ReadText(edit), "set directly");
}

TEST_F(Input, KeysArriveWithTheirModifiersAndNoneStayHeld) {
  Start();
  e2e::SendKeys(main_, "aB{ENTER}{ESC}");
  e2e::WaitText(Control(kKeyLogId), "A +B {ENTER} {ESC}", kTimeout);

  e2e::SendKeys(main_, "^c");
  e2e::WaitText(Control(kKeyLogId), "A +B {ENTER} {ESC} ^C", kTimeout);
  std::string clipboard;
  EXPECT_TRUE(e2e::WaitUntil(
      [&] {
        clipboard = e2e::ReadClipboardText();
        return clipboard == "Fixture clipboard: Ready";
      },
      kTimeout))
      << "clipboard: " << clipboard;

  // Alt with a letter works a button's accelerator, as only a real Alt can.
  e2e::SendKeys(main_, "%p");
  e2e::WaitText(Control(kLabelId), "Pressed 1", kTimeout);

  e2e::SendKeys(main_, "+{TAB}");
  e2e::WaitText(Control(kKeyLogId), "A +B {ENTER} {ESC} ^C %P +{TAB}", kTimeout);
}

TEST_F(Input, KeySyntaxErrorsAreRefusedBeforeAnythingIsSent) {
  Start();
  EXPECT_TRUE(Contains(ErrorOf([&] { e2e::SendKeys(main_, "a{NOPE}"); }), "{NOPE}"));
  EXPECT_TRUE(Contains(ErrorOf([&] { e2e::SendKeys(main_, "a^"); }), "modifier"));
  EXPECT_TRUE(Contains(ErrorOf([&] { e2e::SendKeys(main_, "a{TAB"); }), "unclosed"));
  ::Sleep(200);
  EXPECT_EQ(KeyLog(), "");
}

TEST_F(Input, AltF4ClosesTheWindow) {
  Start("--exit-code=3");
  e2e::SendKeys(main_, "%{F4}");
  e2e::WaitWindowGone(main_, kTimeout);
  EXPECT_EQ(e2e::WaitExit(process_, kTimeout), std::optional<DWORD>(3));
}

TEST_F(Input, CloseBoxClosesTheWindow) {
  Start("--exit-code=4");
  e2e::CloseWindow(main_);
  e2e::WaitWindowGone(main_, kTimeout);
  EXPECT_EQ(e2e::WaitExit(process_, kTimeout), std::optional<DWORD>(4));
}

// --- Dialogs -----------------------------------------------------------------

using Dialogs = FixtureTest;

TEST_F(Dialogs, AnsweredByTheCaptionOfOneOfTheirButtons) {
  Start();
  e2e::Click(Button("Ask"));
  const HWND dialog = e2e::WaitWindow("Fixture Question", "#32770", kTimeout, &process_);
  EXPECT_NE(e2e::FindControl(dialog, "Static", "Do you want to continue?"), nullptr)
      << e2e::DumpControls(dialog);
  EXPECT_TRUE(Contains(ErrorOf([&] { e2e::Click(Button("Press")); }), "disabled"))
      << "the window behind a modal dialog cannot be clicked";

  e2e::AnswerDialog("Fixture Question", "#32770", "No", kTimeout, &process_);
  e2e::WaitText(Control(kLabelId), "Answer: No", kTimeout);

  e2e::Click(Button("Ask"));
  e2e::AnswerDialog("Fixture Question", "#32770", "&Yes", kTimeout, &process_);
  e2e::WaitText(Control(kLabelId), "Answer: Yes", kTimeout);
}

// --- Screen ------------------------------------------------------------------

struct Bitmap {
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  std::vector<unsigned char> bytes;  // the whole file

  COLORREF Pixel(int x, int y) const {
    const size_t stride = (static_cast<size_t>(info.biWidth) * 3 + 3) & ~size_t{3};
    const size_t row = static_cast<size_t>(info.biHeight - 1 - y);  // rows stored bottom-up
    const size_t at = file.bfOffBits + row * stride + static_cast<size_t>(x) * 3;
    return RGB(bytes[at + 2], bytes[at + 1], bytes[at]);
  }
};

Bitmap ReadBitmap(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  Bitmap bitmap;
  bitmap.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (bitmap.bytes.size() >= sizeof bitmap.file + sizeof bitmap.info) {
    std::memcpy(&bitmap.file, bitmap.bytes.data(), sizeof bitmap.file);
    std::memcpy(&bitmap.info, bitmap.bytes.data() + sizeof bitmap.file, sizeof bitmap.info);
  }
  return bitmap;
}

using Screen = FixtureTest;

TEST_F(Screen, ScreenshotIsABitmapOfTheWholeScreenShowingTheWindow) {
  Start();
  RECT client{};
  ::GetClientRect(main_, &client);
  POINT inside{client.right - 20, client.bottom - 20};  // below the controls: window background
  ::ClientToScreen(main_, &inside);
  // Painting happens in the program's own time.
  ::Sleep(500);

  const std::string path = JoinPath(OutputDir(), "driver-screenshot.bmp");
  e2e::Screenshot(path);
  const Bitmap bitmap = ReadBitmap(path);
  const SIZE screen = e2e::ScreenSize();

  ASSERT_GE(bitmap.bytes.size(), sizeof bitmap.file + sizeof bitmap.info);
  EXPECT_EQ(bitmap.file.bfType, 0x4D42);
  EXPECT_EQ(bitmap.file.bfSize, bitmap.bytes.size());
  EXPECT_EQ(bitmap.info.biWidth, screen.cx);
  EXPECT_EQ(bitmap.info.biHeight, screen.cy);
  EXPECT_EQ(bitmap.info.biBitCount, 24);
  EXPECT_EQ(bitmap.info.biCompression, static_cast<DWORD>(BI_RGB));
  const size_t stride = (static_cast<size_t>(screen.cx) * 3 + 3) & ~size_t{3};
  ASSERT_EQ(bitmap.bytes.size(), bitmap.file.bfOffBits + stride * static_cast<size_t>(screen.cy));

  EXPECT_EQ(bitmap.Pixel(inside.x, inside.y), RGB(255, 0, 255))
      << "the fixture's magenta background at (" << inside.x << "," << inside.y << ")";
  EXPECT_NE(bitmap.Pixel(screen.cx - 5, screen.cy - 5), RGB(255, 0, 255))
      << "the desktop outside the window";
}

// --- Registry ------------------------------------------------------------------

TEST(Registry, KeysAreCreatedFoundAndDeleted) {
  const std::string key = "Software\\QvE2EDriverTest";
  e2e::DeleteRegistryKey(HKEY_CURRENT_USER, key);
  EXPECT_FALSE(e2e::RegistryKeyExists(HKEY_CURRENT_USER, key));
  e2e::CreateRegistryKey(HKEY_CURRENT_USER, key);
  EXPECT_TRUE(e2e::RegistryKeyExists(HKEY_CURRENT_USER, key));
  e2e::DeleteRegistryKey(HKEY_CURRENT_USER, key);
  EXPECT_FALSE(e2e::RegistryKeyExists(HKEY_CURRENT_USER, key));
  EXPECT_NO_THROW(e2e::DeleteRegistryKey(HKEY_CURRENT_USER, key)) << "a missing key is no error";
}

TEST(Registry, SnapshotHoldsEveryKeyAndValueBelowAndTheTreeIsDeletedWhole) {
  const std::string key = "Software\\QvE2EDriverTree";
  e2e::DeleteRegistryTree(HKEY_CURRENT_USER, key);
  EXPECT_TRUE(e2e::RegistrySnapshot(HKEY_CURRENT_USER, key).empty());
  e2e::WriteRegistryValue(HKEY_CURRENT_USER, key, "", e2e::TextValue("default"));
  e2e::WriteRegistryValue(HKEY_CURRENT_USER, key, "Port", e2e::NumberValue(9999));
  e2e::WriteRegistryValue(HKEY_CURRENT_USER, key + "\\a\\b", "Port", e2e::NumberValue(1));
  e2e::CreateRegistryKey(HKEY_CURRENT_USER, key + "\\empty");
  const e2e::RegistryTree expected = {
      {"[]", {}},
      {"[]@", e2e::TextValue("default")},
      {"[]@Port", e2e::NumberValue(9999)},
      {"[a]", {}},
      {"[a\\b]", {}},
      {"[a\\b]@Port", e2e::NumberValue(1)},
      {"[empty]", {}},
  };
  EXPECT_EQ(e2e::RegistrySnapshot(HKEY_CURRENT_USER, key), expected);

  e2e::DeleteRegistryTree(HKEY_CURRENT_USER, key);
  EXPECT_FALSE(e2e::RegistryKeyExists(HKEY_CURRENT_USER, key));
  EXPECT_NO_THROW(e2e::DeleteRegistryTree(HKEY_CURRENT_USER, key)) << "a missing key is no error";
}

}  // namespace
