// The main window's desktop commands as a user meets them: files sent by other runs, Page Setup,
// Print Folder Listing and Print Image previews, the help commands, "Associate" in the
// preferences, the wallpaper commands, and the icons of the tool bar.
#include "browser/display.h"
#include "browser/mainwindow.h"
#include "browser/prefs.h"
#include "platform/help.h"
#include "platform/printing.h"
#include "platform/singleinstance.h"
#include "tests/browser/browsertest.h"
#include "tests/common/widgetfind.h"
#include "view/filelist.h"

#include <QCheckBox>
#include <QFileSystemModel>
#include <QLabel>
#include <QPageSetupDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>

using namespace orbisk;

namespace {

// Saves a picture of a window under $ORBISK_SCREENSHOT_DIR when it is set (runs under Xvfb).
void Screenshot(QWidget* W, const QString& Name) {
  const QString Dir = qEnvironmentVariable("ORBISK_SCREENSHOT_DIR");
  if (Dir.isEmpty()) return;
  if (!QTest::qWaitForWindowExposed(W)) return;
  W->grab().save(Dir + "/" + Name + ".png");
}

QString PdfText(const QString& Pdf) {
  QProcess P;
  P.start("pdftotext", {"-layout", Pdf, "-"});
  P.waitForFinished(30000);
  return QString::fromUtf8(P.readAllStandardOutput());
}

class ShellCommands : public ::testing::Test {
protected:
  void SetUp() override {
    test::ResetUserFiles();
    Dir = test::MakeFolder("shell");
    test::WritePicture(Dir + "/alpha.png", 40, 30);
    test::WritePicture(Dir + "/beta.png", 20, 10);
    test::WriteBytes(Dir + "/gamma.jpg", 3000);
  }
  void TearDown() override { SetPrintDialogRunner(nullptr); }

  std::unique_ptr<TForm1> Open() {
    auto F = std::make_unique<TForm1>();
    F->resize(760, 480);
    F->show();
    QApplication::processEvents();
    F->SetSelectedFolder(Dir);
    QApplication::processEvents();
    return F;
  }
  static void Settle(TForm1& F) {
    test::WaitFor([&] { return F.PictureDisplay().PendingCount() == 0; });
    QApplication::processEvents();
  }

  QString Dir;
};

} // namespace

TEST_F(ShellCommands, FilesSentByOtherRunsAreShownAndMissingOnesReportedQuietly) {
  test::TPromptScope Prompt;
  // A request that came before the window waits for it.
  OpenRequests().Execute(OpenCommand(QFile::encodeName(Dir + "/beta.png")));
  auto F = Open();
  Settle(*F);
  EXPECT_EQ(F->ShownFile(), Dir + "/beta.png");

  QList<QByteArray> Traced;
  QObject::connect(F.get(), &TForm1::OpenRequest, [&](const QByteArray& T) { Traced << T; });
  OpenRequests().Execute(OpenCommand(QFile::encodeName(Dir + "/beta.png")) +
                         OpenCommand(QFile::encodeName(Dir + "/alpha.png")));
  Settle(*F);
  EXPECT_EQ(F->ShownFile(), Dir + "/alpha.png");
  EXPECT_EQ(Traced, QList<QByteArray>{QFile::encodeName(Dir + "/alpha.png")});

  // Many requests for files that are gone: the status bar says why, no message box at all.
  for (int I = 0; I < 5; ++I)
    OpenRequests().Execute(OpenCommand(QFile::encodeName(Dir + "/gone.png")));
  Settle(*F);
  EXPECT_TRUE(Prompt->Messages.isEmpty()) << Prompt->Messages.join(" / ").toStdString();
  EXPECT_TRUE(F->PanelText(3).contains(Dir + "/gone.png")) << F->PanelText(3).toStdString();
  EXPECT_EQ(F->ShownFile(), Dir + "/alpha.png");

  // After the window is gone requests wait for the next one.
  F.reset();
  OpenRequests().Execute(OpenCommand("/x.png"));
  EXPECT_EQ(OpenRequests().Pending().size(), 1);
  OpenRequests().InstallHandler([](const QStringList&) {});
  OpenRequests().InstallHandler({});
}

TEST_F(ShellCommands, AFileSentByAnotherRunIsListedAndSelected) {
  test::TPromptScope Prompt;
  const QString Other = test::MakeFolder("shell-other");
  test::WritePicture(Other + "/one.png", 12, 8);
  test::WritePicture(Other + "/two.png", 8, 12);
  auto F = Open();
  F->SelectFileByName("alpha.png");
  Settle(*F);
  ASSERT_EQ(F->SelectedFile(), Dir + "/alpha.png");
  // A second "orbisk FILE": the file's folder is listed and the file selected, so the commands
  // that work on the selection take it.
  OpenRequests().Execute(OpenCommand(QFile::encodeName(Other + "/one.png")));
  Settle(*F);
  EXPECT_EQ(F->ShownFile(), Other + "/one.png");
  EXPECT_EQ(F->SelectedFolder(), Other);
  EXPECT_EQ(F->SelectedFile(), Other + "/one.png");
  test::Action(*F, "NextImageButton").trigger();
  Settle(*F);
  EXPECT_EQ(F->ShownFile(), Other + "/two.png");
  // A file the list does not show (its type is off) is shown with nothing selected.
  test::WriteBytes(Other + "/three.txt", 10);
  OpenRequests().Execute(OpenCommand(QFile::encodeName(Other + "/three.txt")));
  Settle(*F);
  EXPECT_EQ(F->ShownFile(), Other + "/three.txt");
  EXPECT_EQ(F->SelectedCount(), 0);
}

TEST_F(ShellCommands, PageSetupAndPrintPreviewsUseTheSharedPrinter) {
  test::TPromptScope Prompt;
  auto F = Open();
  QStringList Dialogs;
  QString Pdf = test::TestHome() + "/shell-listing.pdf";
  QFile::remove(Pdf);
  int Pages = 0;
  SetPrintDialogRunner([&](QDialog& D) {
    Dialogs << D.metaObject()->className();
    if (auto* Setup = qobject_cast<QPageSetupDialog*>(&D)) {
      EXPECT_EQ(Setup->printer(), &SharedPrinter());
    }
    if (auto* Preview = qobject_cast<QPrintPreviewDialog*>(&D)) {
      Dialogs << Preview->windowTitle();
      Preview->resize(900, 700);
      Preview->show();
      Screenshot(Preview, "print-preview-" + Preview->windowTitle().replace(' ', '-').toLower());
      Preview->hide();
      QPrinter Printer(QPrinter::HighResolution);
      Printer.setOutputFormat(QPrinter::PdfFormat);
      Printer.setOutputFileName(Pdf);
      emit Preview->paintRequested(&Printer);
      ++Pages;
    }
    return int(QDialog::Rejected);
  });
  ASSERT_TRUE(test::Action(*F, "PageSetup1").isEnabled());
  test::Action(*F, "PageSetup1").trigger();
  EXPECT_EQ(Dialogs, QStringList{"QPageSetupDialog"});

  ASSERT_TRUE(test::Action(*F, "PrintFolderListing1").isEnabled());
  test::Action(*F, "PrintFolderListing1").trigger();
  EXPECT_EQ(Dialogs.mid(1), QStringList({"QPrintPreviewDialog", "Print Folder Listing"}));
  const QString Text = PdfText(Pdf);
  for (const char* Expected : {"alpha.png", "beta.png", "gamma.jpg", "Name (Images)", "Size (KB)",
                               "Orbisk Directory Report", "Page 1"})
    EXPECT_TRUE(Text.contains(Expected)) << Expected << "\n" << Text.toStdString();
  EXPECT_TRUE(Text.contains(Dir));

  // "Print Image" previews the selected pictures, one page each.
  Dialogs.clear();
  QFile::remove(Pdf);
  test::Child<QTreeView>(*F, "ListView1").selectAll();
  QApplication::processEvents();
  test::Action(*F, "PrintImage1").trigger();
  EXPECT_EQ(Dialogs, QStringList({"QPrintPreviewDialog", "Print Image"}));
  QFile Out(Pdf);
  ASSERT_TRUE(Out.open(QIODevice::ReadOnly));
  // gamma.jpg is no picture: two pages, and a message about it.
  EXPECT_EQ(QString::fromLatin1(Out.readAll()).count(QRegularExpression("/Type\\s*/Page[^s]")), 2);
}

TEST_F(ShellCommands, HelpOpensTheManualAtItsTopic) {
  test::TPromptScope Prompt;
  QList<QUrl> Opened;
  const THelpOpener Old = SetHelpOpener([&](const QUrl& U) {
    Opened << U;
    return true;
  });
  auto F = Open();
  test::Key(&test::Child<QTreeView>(*F, "ListView1"), Qt::Key_F1);
  test::Action(*F, "FeatureOverview1").trigger();
  ASSERT_TRUE(test::Action(*F, "HowToUseHelp1").isEnabled());
  test::Action(*F, "HowToUseHelp1").trigger();
  ASSERT_EQ(Opened.size(), 3) << Prompt->Messages.join('\n').toStdString();
  // The manual of the build tree, found the way the installed program finds its own.
  EXPECT_EQ(Opened[0], QUrl::fromLocalFile(HelpFile()));
  EXPECT_EQ(Opened[1], Opened[0]);
  EXPECT_EQ(Opened[2].fragment(), "topic-10");
  EXPECT_TRUE(HelpFile().endsWith("/share/orbisk/help/orbisk.html"));
  QFile Manual(HelpFile());
  ASSERT_TRUE(Manual.open(QIODevice::ReadOnly));
  const QByteArray Html = Manual.readAll();
  // Every topic a window can ask for has its section.
  for (int Topic :
       {HelpTopic::UsingHelp, HelpTopic::MainWindow, HelpTopic::FileManager, HelpTopic::Viewing,
        HelpTopic::SlideShow, HelpTopic::Preferences, HelpTopic::Acquire, HelpTopic::Editor,
        HelpTopic::LensCorrection, HelpTopic::IncrementalRename, HelpTopic::Printing,
        HelpTopic::ShellIntegration, HelpTopic::Keyboard})
    EXPECT_TRUE(Html.contains("id=\"topic-" + QByteArray::number(Topic) + "\"")) << Topic;
  EXPECT_TRUE(Prompt->Messages.isEmpty());
  SetHelpOpener(Old);
}

TEST_F(ShellCommands, AssociateRegistersTheCheckedTypesAfterAsking) {
  test::TPromptScope Prompt;
  TfPrefs Prefs;
  Prefs.show();
  test::Child<QTabWidget>(Prefs, "PageControl1").setCurrentIndex(1);
  EXPECT_FALSE(test::Child<QPushButton>(Prefs, "AssociateButton").isVisible());
  test::Child<QTabWidget>(Prefs, "PageControl1").setCurrentIndex(0);
  ASSERT_TRUE(test::Child<QPushButton>(Prefs, "AssociateButton").isVisible());
  for (int I = 0; I < FileTypeCount; ++I)
    test::Child<QCheckBox>(Prefs, QStringLiteral("TypeCheck%1").arg(I + 1))
        .setChecked(I == 0 || I == 7); // JPG and PNG
  const QString List = test::TestHome() + "/config/mimeapps.list";
  QFile::remove(List);

  test::Child<QPushButton>(Prefs, "AssociateButton").click(); // No
  EXPECT_EQ(Prompt->Messages,
            QStringList{"Would you like to associate the selected file types with Orbisk?"});
  EXPECT_FALSE(QFile::exists(List));

  Prompt->Answers = {true};
  test::Child<QPushButton>(Prefs, "AssociateButton").click();
  QFile F(List);
  ASSERT_TRUE(F.open(QIODevice::ReadOnly));
  const QByteArray Text = F.readAll();
  EXPECT_TRUE(Text.contains("image/jpeg=orbisk.desktop;"));
  EXPECT_TRUE(Text.contains("image/png=orbisk.desktop;"));
  EXPECT_FALSE(Text.contains("image/gif"));
  EXPECT_TRUE(QFile::exists(test::TestHome() + "/data/applications/orbisk.desktop"));
  EXPECT_EQ(Prompt->Messages.size(), 2); // the two questions, no error
}

TEST_F(ShellCommands, WallpaperCommandsAndToolBarIcons) {
  test::TPromptScope Prompt;
  qputenv("XDG_CURRENT_DESKTOP", "LXQt");
  auto F = Open();
  for (QAction* A :
       {&test::Action(*F, "WallpaperCentered1"), &test::Action(*F, "WallpaperTiled1"),
        &test::Action(*F, "WallpaperStretched1"), &test::Action(*F, "RemoveWallpaper1")})
    EXPECT_TRUE(A->isEnabled()) << A->text().toStdString();
  test::Action(*F, "RemoveWallpaper1").trigger();
  EXPECT_EQ(Prompt->Messages,
            QStringList{"Setting the wallpaper is not supported on this desktop (LXQt)."});
  qunsetenv("XDG_CURRENT_DESKTOP");

  // Icon buttons with their hints; no abbreviated captions.
  for (QToolBar* T :
       {&test::Child<QToolBar>(*F, "ToolBar1"), &test::Child<QToolBar>(*F, "ToolBar2")})
    for (QAction* A : T->actions()) {
      auto* B = qobject_cast<QToolButton*>(T->widgetForAction(A));
      if (!B || A->isSeparator()) continue;
      EXPECT_FALSE(A->icon().isNull()) << A->text().toStdString();
      EXPECT_EQ(B->toolButtonStyle(), Qt::ToolButtonIconOnly);
      EXPECT_EQ(A->toolTip(), A->text());
      EXPECT_FALSE(A->icon().pixmap(16, 16).isNull());
    }
  EXPECT_FALSE(QApplication::windowIcon().isNull());
  Screenshot(F.get(), "main-window");
}
