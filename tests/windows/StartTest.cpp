// The program's start sequence: the wizard's creation handler and the
// background window's one-shot start timer.
#include <windows.h>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "setup/BackgroundWindow.h"
#include "wizard/WizardDialog.h"

namespace qv::test {
namespace {

class StartSequence : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    PrepareSuitableMachine();
    frmBackground = nullptr;
    frmDialog = nullptr;
    TfrmDialog::EarlierInstallation = &earlier;
  }
  void TearDown() override {
    TfrmDialog::EarlierInstallation = nullptr;
    ShellTest::TearDown();
    frmBackground = nullptr;
    frmDialog = nullptr;
  }
  TfrmDialog* CreateWizard() {
    app->InstantiateForm(frmDialog);
    return frmDialog;
  }
  TEarlierInstallation earlier;
};

TEST_F(StartSequence, WithoutEarlierInstallationTheDestinationKeepsItsDefault) {
  TfrmDialog* wizard = CreateWizard();
  EXPECT_EQ(wizard->editDir->Text(), "C:\\Program Files\\QuolvexAntivirus");
  EXPECT_TRUE(wizard->editDir->Enabled());
  EXPECT_TRUE(wizard->btnBrowse->Enabled());
  for (bool flag : wizard->Engine().StepFlags)
    EXPECT_FALSE(flag);
}

TEST_F(StartSequence, EarlierInstallationPinsTheDestinationToItsDirectory) {
  earlier.PreviousInstall = true;
  earlier.ServiceProgramPath = "C:\\Apps\\QV\\qvdaemon.exe";
  TfrmDialog* wizard = CreateWizard();
  EXPECT_EQ(wizard->editDir->Text(), "C:\\Apps\\QV");
  EXPECT_FALSE(wizard->editDir->Enabled());
  EXPECT_FALSE(wizard->btnBrowse->Enabled());
  EXPECT_FALSE(::IsWindowEnabled(wizard->editDir->Handle()));
}

TEST_F(StartSequence, EarlierInstallationWithoutPathEmptiesAndPinsTheDestination) {
  earlier.PreviousInstall = true;
  TfrmDialog* wizard = CreateWizard();
  EXPECT_EQ(wizard->editDir->Text(), "");
  EXPECT_FALSE(wizard->editDir->Enabled());
  EXPECT_FALSE(wizard->btnBrowse->Enabled());
}

TEST_F(StartSequence, DriveRootImagePathKeepsTheRootBackslash) {
  earlier.PreviousInstall = true;
  earlier.ServiceProgramPath = "C:\\qvdaemon.exe";
  EXPECT_EQ(CreateWizard()->editDir->Text(), "C:\\");
}

TEST_F(StartSequence, BackgroundIsMainMaximizedAndStartsTheTimer) {
  app->InstantiateForm(frmBackground);
  EXPECT_EQ(app->MainWindow(), frmBackground);
  EXPECT_EQ(frmBackground->WindowState(), TWindowState::wsMaximized);
  EXPECT_EQ(frmBackground->tStart->Interval(), 300u);
  EXPECT_TRUE(frmBackground->tStart->Running());
  EXPECT_FALSE(frmBackground->PreviousInstall);
}

TEST_F(StartSequence, TimerShowsTheWizardModallyOnceAndStops) {
  app->InstantiateForm(frmBackground);
  CreateWizard();
  bool wizardVisible = false;
  bool backgroundEnabled = true;
  int runs = 0;
  frmDialog->OnShow = [&](TObject*) { ++runs; };
  After(700, [&] {
    wizardVisible = ::IsWindowVisible(frmDialog->Handle()) != FALSE;
    backgroundEnabled = ::IsWindowEnabled(frmBackground->Handle()) != FALSE;
    After(400, [&] { app->RequestTermination(); });
  });
  app->RunLoop();
  EXPECT_TRUE(wizardVisible);
  EXPECT_FALSE(backgroundEnabled);
  EXPECT_EQ(runs, 1);
  EXPECT_FALSE(frmBackground->tStart->Running());
  EXPECT_TRUE(::IsZoomed(frmBackground->Handle()));
}

TEST_F(StartSequence, WizardIsCentredWithItsClientSize) {
  CreateWizard();
  frmDialog->Show();
  RECT client{};
  ::GetClientRect(frmDialog->Handle(), &client);
  EXPECT_EQ(client.right, 447);
  EXPECT_EQ(client.bottom, 357);
  RECT window{};
  ::GetWindowRect(frmDialog->Handle(), &window);
  EXPECT_EQ(window.left, (::GetSystemMetrics(SM_CXSCREEN) - (window.right - window.left)) / 2);
  const LONG_PTR style = ::GetWindowLongPtrA(frmDialog->Handle(), GWL_STYLE);
  EXPECT_NE(style & WS_SYSMENU, 0);
  EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
}

TEST_F(StartSequence, ExitAnsweredNoKeepsTheWizardAndYesEndsTheRun) {
  CreateWizard();
  int questions = 0;
  auto answer = [&](const char* button) {
    HWND question = FindTopWindow("TMessageForm", "Information");
    ASSERT_NE(question, nullptr);
    ++questions;
    ::PostMessageA(FindChild(question, "Button", button), BM_CLICK, 0, 0);
  };
  Post([&] { ::PostMessageA(frmDialog->btnExit->Handle(), BM_CLICK, 0, 0); });
  After(300, [&] { answer("&No"); });
  After(700, [&] {
    EXPECT_TRUE(frmDialog->InModalRun());
    EXPECT_EQ(frmDialog->btnExit->Tag(), 0);
    ::PostMessageA(frmDialog->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
  });
  After(1000, [&] { answer("&Yes"); });
  EXPECT_EQ(frmDialog->RunModal(), resCancel);
  EXPECT_EQ(questions, 2);
  app->PumpMessages();
  EXPECT_TRUE(app->QuitReceived());
}

}  // namespace
}  // namespace qv::test
