// The real windows, read from the same form resources Setup.exe carries.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "core/Stream.h"
#include "setup/BackgroundWindow.h"
#include "ui/ProgressForm.h"
#include "wizard/WizardDialog.h"

namespace qv::test {
namespace {

std::vector<uint8_t> PayloadFile(const std::string& name) {
  const char* dir = std::getenv("QV_PAYLOAD_DIR");
  if (dir == nullptr)
    return {};
  std::string path = dir;
  // A Unix path from the build: Wine sees the root as drive Z.
  if (!path.empty() && path[0] == '/')
    path = "Z:" + path;
  std::ifstream in(std::filesystem::path(path) / name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> Contents(TStream& stream) {
  std::vector<uint8_t> bytes(static_cast<size_t>(stream.Size()));
  stream.SetPosition(0);
  stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  return bytes;
}

class WindowResources : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    PrepareSuitableMachine();
    frmDialog = nullptr;
    frmBackground = nullptr;
    TfrmDialog::EarlierInstallation = nullptr;
  }
  void TearDown() override {
    ShellTest::TearDown();
    frmDialog = nullptr;
    frmBackground = nullptr;
  }
};

TEST_F(WindowResources, WizardHasItsSixPagesInStoredOrder) {
  app->InstantiateForm(frmDialog);
  ASSERT_NE(frmDialog->Notebook, nullptr);
  TNotebook& notebook = *frmDialog->Notebook;
  ASSERT_EQ(notebook.PageCount(), 6);
  const char* captions[] = {"Welcome", "License", "Installing", "Destination", "Readme", "Success"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(notebook.Pages(i)->Caption(), captions[i]) << i;
    EXPECT_EQ(notebook.Pages(i)->Owner(), &notebook) << "pages are owned by the notebook";
    EXPECT_EQ(notebook.Pages(i)->Name(), "") << i;
  }
  EXPECT_EQ(notebook.PageIndex(), 0);
  EXPECT_TRUE(notebook.Pages(0)->Visible());
  EXPECT_FALSE(notebook.Pages(1)->Visible());
}

TEST_F(WindowResources, WizardControlsCarryTheirStoredProperties) {
  app->InstantiateForm(frmDialog);
  TfrmDialog& w = *frmDialog;
  EXPECT_EQ(w.Name(), "frmDialog");
  EXPECT_EQ(w.Caption(), "Installing Quolvex Antivirus 5.0");
  EXPECT_EQ(w.ClientWidth(), 447);
  EXPECT_EQ(w.ClientHeight(), 357);
  EXPECT_EQ(w.BorderStyle(), TFormBorderStyle::bsSingle);
  EXPECT_EQ(w.BorderIcons(), biSystemMenu);
  EXPECT_EQ(w.Position(), TPosition::poScreenCenter);
  EXPECT_NE(w.Icon().Handle(), nullptr);
  ASSERT_NE(w.btnBack, nullptr);
  EXPECT_FALSE(w.btnBack->Visible());
  EXPECT_EQ(w.btnBack->Caption(), "< Back");
  EXPECT_EQ(w.btnNext->Left(), 275);
  EXPECT_EQ(w.btnExit->Caption(), "Exit");
  EXPECT_EQ(w.editDir->Text(), "C:\\Program Files\\QuolvexAntivirus");
  EXPECT_EQ(w.btnBrowse->Caption(), "Browse...");
  EXPECT_EQ(w.pbar->Min(), 0);
  EXPECT_EQ(w.pbar->Max(), 12);
  EXPECT_EQ(w.Notebook->Font().Name(), "Tahoma");
  EXPECT_EQ(w.Notebook->Font().Charset(), 204);
  EXPECT_EQ(w.cbAgree->Font().Name(), "Tahoma") << "page controls take the notebook's font";
  EXPECT_EQ(w.btnNext->Font().Name(), "MS Sans Serif");
  EXPECT_EQ(w.Memo1->ScrollBars(), TScrollStyle::ssVertical);
  auto* heading = dynamic_cast<TLabel*>(w.FindComponent("Label1"));
  ASSERT_NE(heading, nullptr);
  EXPECT_EQ(heading->Font().Style(), fsBold);
  EXPECT_EQ(heading->Font().Height(), -19);
  LOGFONTA applied{};
  ::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(heading->Handle(), WM_GETFONT, 0, 0)),
               sizeof applied, &applied);
  EXPECT_EQ(applied.lfWeight, FW_BOLD) << "the heading's window has its bold font";
  EXPECT_EQ(w.Memo1->Color(), clBtnFace);
}

TEST_F(WindowResources, MemosHoldTheirLines) {
  app->InstantiateForm(frmDialog);
  const auto& licence = frmDialog->Memo1->Lines().Lines();
  ASSERT_EQ(licence.size(), 25u);
  EXPECT_EQ(licence.front(), "No Commercial License Agreement");
  EXPECT_EQ(licence[1].find_first_not_of('*'), std::string::npos) << "a line of asterisks";
  EXPECT_EQ(frmDialog->Memo2->Lines().Count(), 386);
  // Empty lines travel as wide strings, the others as strings.
  EXPECT_EQ(licence[2], "");
}

TEST_F(WindowResources, HandlersAreBoundByName) {
  app->InstantiateForm(frmDialog);
  frmDialog->Show();
  ::SendMessageA(frmDialog->btnNext->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(frmDialog->PageIndex(), 1) << "btnNextClick";
  EXPECT_TRUE(frmDialog->btnBack->Visible()) << "NotebookPageChanged";
  EXPECT_FALSE(frmDialog->btnNext->Enabled());
  ::SendMessageA(frmDialog->cbAgree->Handle(), BM_CLICK, 0, 0);
  EXPECT_TRUE(frmDialog->cbAgree->Checked());
  EXPECT_TRUE(frmDialog->btnNext->Enabled()) << "cbAgreeClick";
  ::SendMessageA(frmDialog->btnBack->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(frmDialog->PageIndex(), 0) << "btnBackClick";
  EXPECT_TRUE(static_cast<bool>(frmDialog->OnClose)) << "FormClose";
}

TEST_F(WindowResources, NinePayloadsInStoredOrderInflateToTheirFiles) {
  if (std::getenv("QV_PAYLOAD_DIR") == nullptr)
    GTEST_SKIP() << "QV_PAYLOAD_DIR is not set";
  app->InstantiateForm(frmDialog);
  const std::vector<std::pair<std::string, std::string>> payloads = {
      {"qvdaemon", "qvdaemon.exe"},   {"qvmanager", "qvmanager.exe"},
      {"qvscanner", "qvscanner.exe"}, {"licence", "licence.txt"},
      {"readme", "readme.txt"},       {"register2", "register.txt"},
      {"uninstall", "uninstall.exe"}, {"qvmonitor", "qvmonitor.exe"},
      {"helpfile", "quolvex.chm"}};
  std::vector<TCompressedBinaryData*> found;
  for (int i = 0; i < frmDialog->ComponentCount(); ++i) {
    if (auto* p = dynamic_cast<TCompressedBinaryData*>(frmDialog->Components(i))) {
      found.push_back(p);
    }
  }
  ASSERT_EQ(found.size(), payloads.size());
  for (size_t i = 0; i < payloads.size(); ++i) {
    TCompressedBinaryData& p = *found[i];
    SCOPED_TRACE(payloads[i].first);
    EXPECT_EQ(p.Name(), payloads[i].first);
    EXPECT_TRUE(p.Compressed());
    EXPECT_EQ(p.CompressionLevel(), clMax);
    const std::vector<uint8_t> source = PayloadFile(payloads[i].second);
    ASSERT_FALSE(source.empty());
    const int32_t compressedSize = p.GetDataSize();
    const std::vector<uint8_t> inflated = Contents(p.GetData());
    EXPECT_EQ(inflated, source);
    EXPECT_EQ(p.CompressionRate(),
              CompressionRateOf(compressedSize, static_cast<int64_t>(source.size())));
    // The stored block is one zlib stream at the maximum level.
    TMemoryStream block;
    p.WriteData(block);
    ASSERT_GT(block.Size(), 6);
    EXPECT_EQ(block.Memory()[4], 0x78);
    EXPECT_EQ(block.Memory()[5], 0xDA);
  }
  EXPECT_EQ(frmDialog->qvdaemon, found[0]);
  EXPECT_EQ(frmDialog->helpfile, found[8]);
}

TEST_F(WindowResources, SecondWindowOfAStoredNameIsNumbered) {
  app->InstantiateForm(frmDialog);
  TfrmDialog* second = nullptr;
  app->InstantiateForm(second);
  TfrmDialog* third = nullptr;
  app->InstantiateForm(third);
  EXPECT_EQ(frmDialog->Name(), "frmDialog");
  EXPECT_EQ(second->Name(), "frmDialog_1");
  EXPECT_EQ(third->Name(), "frmDialog_2");
}

TEST_F(WindowResources, BackgroundHasItsGradientPanelLabelsAndTimer) {
  app->InstantiateForm(frmBackground);
  TfrmBackground& b = *frmBackground;
  EXPECT_EQ(b.WindowState(), TWindowState::wsMaximized);
  EXPECT_EQ(b.Width(), 696);
  EXPECT_EQ(b.Height(), 481);
  ASSERT_NE(b.GPanel1, nullptr);
  EXPECT_EQ(b.GPanel1->Align(), TAlign::alClient);
  EXPECT_EQ(b.GPanel1->Color1(), clBlue);
  EXPECT_EQ(b.GPanel1->Color2(), clBlack);
  EXPECT_FALSE(b.GPanel1->Horizontal());
  EXPECT_EQ(b.GPanel1->Percent(), 100);
  ASSERT_NE(b.RxLabel2, nullptr);
  EXPECT_EQ(b.RxLabel2->Caption(), "  Quolvex Antivirus, version 5.0");
  EXPECT_EQ(b.RxLabel2->Parent(), b.GPanel1);
  EXPECT_EQ(b.RxLabel3->Alignment(), TAlignment::taRightJustify);
  EXPECT_EQ(b.RxLabel3->Caption().substr(b.RxLabel3->Caption().size() - 5), "     ");
  EXPECT_EQ(b.RxLabel1->ShadowSize(), 2);
  EXPECT_EQ(b.RxLabel1->ShadowPos(), TShadowPosition::spRightBottom);
  EXPECT_TRUE(b.RxLabel4->Transparent());
  ASSERT_NE(b.tStart, nullptr);
  EXPECT_EQ(b.tStart->Interval(), 300u) << "set by FormCreate after the stored 0";
  EXPECT_EQ(b.tStart->DesignLeft(), 16);
}

TEST_F(WindowResources, ProgressWindowComesFromItsOwnResource) {
  TFormProgress* progress = nullptr;
  app->InstantiateForm(progress);
  EXPECT_EQ(progress->Caption(), "Progress");
  EXPECT_EQ(progress->ClientWidth(), 346);
  EXPECT_EQ(progress->ClientHeight(), 31);
  EXPECT_EQ(progress->BorderIcons(), 0);
  ASSERT_NE(progress->ProgressBar, nullptr);
  EXPECT_EQ(progress->ProgressBar->Left(), 10);
  EXPECT_EQ(progress->ProgressBar->Width(), 326);
  EXPECT_EQ(progress->ProgressBar->Max(), 100);
}

TEST_F(WindowResources, WindowDesignedAtAnotherResolutionIsRescaled) {
  app->InstantiateForm(frmDialog);
  const int left = frmDialog->btnNext->Left();
  const int width = frmDialog->btnNext->Width();
  // As if the stream had been designed at 72 pixels per inch.
  frmDialog->SetPixelsPerInch(72);
  frmDialog->Loaded();
  EXPECT_EQ(frmDialog->PixelsPerInch(), 96);
  EXPECT_EQ(frmDialog->btnNext->Width(), width * 96 / 72);
  EXPECT_EQ(frmDialog->btnNext->Left(), left * 96 / 72);
  EXPECT_EQ(frmDialog->ClientWidth(), 447 * 96 / 72);
}

// A window class whose resource (in the test program's resources) is damaged.
class TBrokenWindow : public TForm {
  QV_TYPE_INFO
 public:
  using TForm::TForm;
};
const TClassInfo& TBrokenWindow::StaticClassInfo() {
  static const TClassInfo info("TBrokenWindow", &TForm::StaticClassInfo());
  return info;
}

class TMissingWindow : public TForm {
  QV_TYPE_INFO
 public:
  using TForm::TForm;
};
const TClassInfo& TMissingWindow::StaticClassInfo() {
  static const TClassInfo info("TMissingWindow", &TForm::StaticClassInfo());
  return info;
}

TEST_F(WindowResources, DamagedResourceFailsConstruction) {
  TBrokenWindow* broken = nullptr;
  try {
    app->InstantiateForm(broken);
    FAIL() << "a damaged resource was accepted";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Invalid stream format");
  }
  EXPECT_EQ(broken, nullptr);
}

TEST_F(WindowResources, MissingResourceFailsWithTheClassName) {
  TMissingWindow* missing = nullptr;
  try {
    app->InstantiateForm(missing);
    FAIL();
  } catch (const EResNotFound& e) {
    EXPECT_EQ(e.Message(), "Resource TMissingWindow not found");
  }
  EXPECT_EQ(missing, nullptr);
}

}  // namespace
}  // namespace qv::test
