// "Convert and Resize" driven as a user would: 200 files of mixed formats with broken ones
// given, the settings set, OK clicked, the end awaited; every good file converted (JPEGs that
// only turn kept lossless), every bad one listed, no source changed, a taken name never
// replaced, and the same bytes as `orbisk-cli batch`. Also: the settings remembered, unusable
// settings refused, Esc, and the thumbnail explorer's selection opening the window.
#include "browser/batchwindow.h"
#include "engine/orientation.h"
#include "tests/browser/browsertest.h"
#include "tests/common/orientationfixture.h"
#include "tests/common/testutil.h"
#include "thumbnails/thumbexplorer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeView>

#include <map>

using namespace orbisk;

namespace {

std::string Bytes(const QString& Path) {
  return QFile::encodeName(Path).toStdString();
}

QByteArray Contents(const QString& Path) {
  QFile F(Path);
  if (!F.open(QIODevice::ReadOnly)) return {};
  return F.readAll();
}

QByteArray Hash(const QString& Path) {
  return QCryptographicHash::hash(Contents(Path), QCryptographicHash::Sha256);
}

struct TMixed {
  QStringList Files; // in the order given to the window
  QStringList Bad;
  QStringList Turned; // JPEGs stored turned (camera orientation 6), 48 x 32 stored
};

// N files: PNG, BMP, JPEG, turned JPEG, TIFF, TGA, GIF and PPM pictures, and two kinds of broken
// file (garbage named as a picture, an empty file).
TMixed MakeMixed(const QString& Folder, int N) {
  TMixed M;
  const char* const Kinds[] = {"png", "bmp", "jpg", "jpg", "tif",
                               "tga", "gif", "ppm", "png", "bmp"};
  for (int I = 0; I < N; ++I) {
    const int K = I % 10;
    const QString Path = Folder + QString("/f%1.%2").arg(I, 3, 10, QChar('0')).arg(Kinds[K]);
    if (K == 8) {
      test::WriteData(Path, QByteArray("\x89PNG\r\n\x1a\n broken beyond its signature"));
      M.Bad << Path;
    } else if (K == 9) {
      test::WriteData(Path, {});
      M.Bad << Path;
    } else if (K == 6) {
      test::WriteData(Path, test::TwoFrameGif());
    } else if (K == 3) {
      TPixelGraphic Upright, Stored;
      test::MakeUpright(Upright, 32, 48);
      test::MakeStored(Upright, 6, Stored);
      test::WriteFileBytes(Bytes(Path),
                           test::WithApp1(test::EncodeJPEG(Stored), test::ExifBlock(6)));
      M.Turned << Path;
    } else {
      TPixelGraphic G;
      test::MakeUpright(G, K == 2 ? 48 : 60 + I % 7, K == 2 ? 32 : 40 + I % 5);
      G.SaveToFile(Bytes(Path));
    }
    M.Files << Path;
  }
  return M;
}

QString OutName(const QString& Source) {
  return QFileInfo(Source).completeBaseName() + ".jpg";
}

class BatchWindow : public ::testing::Test {
protected:
  void SetUp() override { test::ResetUserFiles(); }
  test::TPromptScope Prompt;
};

// Runs the window to its end by the OK button.
bool ClickOkAndWait(TfBatch& W) {
  bool Ended = false;
  const auto C = QObject::connect(&W, &TfBatch::batchEnded, &W, [&] { Ended = true; });
  QTest::mouseClick(&test::Child<QPushButton>(W, "OkButton"), Qt::LeftButton);
  const bool Done = test::WaitFor([&] { return Ended; }, 120000);
  QObject::disconnect(C);
  return Done;
}

void Type(QLineEdit& E, const QString& Text) {
  E.selectAll();
  QTest::keyClicks(&E, Text);
}

void Type(QSpinBox& S, int V) {
  S.selectAll();
  QTest::keyClicks(&S, QString::number(V));
}

} // namespace

TEST_F(BatchWindow, TwoHundredMixedFilesConvertAsTheCommandLineDoes) {
  const QString In = test::MakeFolder("batch-in");
  const QString Out = test::MakeFolder("batch-out");
  const QString CliOut = test::MakeFolder("batch-cli");
  const TMixed M = MakeMixed(In, 200);
  ASSERT_EQ(M.Bad.size(), 40);
  std::map<QString, QByteArray> Before;
  for (const QString& F : M.Files)
    Before[F] = Hash(F);
  // A name the run would take exists already in both destinations: it gets "!" in front.
  const QString Taken = OutName(M.Files[0]);
  for (const QString& D : {Out, CliOut})
    test::WriteData(D + "/" + Taken, "not a picture");

  TfBatch W(M.Files);
  W.show();
  EXPECT_EQ(W.windowTitle(), "Convert and Resize");
  EXPECT_EQ(test::Child<QLabel>(W, "FilesLabel").text(), "200 files");
  EXPECT_EQ(test::Child<QLineEdit>(W, "FolderEdit").text(), In) << "the first file's folder";
  EXPECT_FALSE(test::Child<QListWidget>(W, "ErrorList").isVisible());
  auto& Format = test::Child<QComboBox>(W, "FormatCombo");
  Format.setCurrentIndex(Format.findText(ConvertTargetText(ctJPG)));
  EXPECT_TRUE(test::Child<QSpinBox>(W, "QualitySpin").isEnabled());
  Type(test::Child<QSpinBox>(W, "QualitySpin"), 85);
  auto& Resize = test::Child<QComboBox>(W, "ResizeCombo");
  Resize.setCurrentIndex(Resize.findText("Fit in a box"));
  EXPECT_TRUE(test::Child<QSpinBox>(W, "BoxWidthSpin").isVisible());
  EXPECT_FALSE(test::Child<QSpinBox>(W, "LongestSpin").isVisible());
  Type(test::Child<QSpinBox>(W, "BoxWidthSpin"), 48);
  Type(test::Child<QSpinBox>(W, "BoxHeightSpin"), 48);
  auto& Turn = test::Child<QComboBox>(W, "TurnCombo");
  Turn.setCurrentIndex(Turn.findText("By camera orientation"));
  Type(test::Child<QLineEdit>(W, "NamePattern"), "*");
  Type(test::Child<QLineEdit>(W, "FolderEdit"), Out);
  ASSERT_TRUE(ClickOkAndWait(W));

  const TBatchReport& R = W.Report();
  EXPECT_FALSE(R.Cancelled);
  EXPECT_EQ(R.Converted, 160);
  EXPECT_EQ(R.Failed, 40);
  EXPECT_EQ(test::Child<QLabel>(W, "SummaryLabel").text(), "160 converted, 0 skipped, 40 failed");
  EXPECT_EQ(test::Child<QProgressBar>(W, "ProgressBar").value(), 200);
  EXPECT_EQ(test::Child<QPushButton>(W, "CancelButton").text(), "Close");
  // Every broken file listed, by its path, and nothing else.
  auto& Errors = test::Child<QListWidget>(W, "ErrorList");
  EXPECT_TRUE(Errors.isVisible());
  ASSERT_EQ(Errors.count(), 40);
  EXPECT_GE(Errors.height(), 5 * Errors.sizeHintForRow(0)) << "the window grew for the list";
  for (int I = 0; I < Errors.count(); ++I)
    EXPECT_TRUE(Errors.item(I)->text().startsWith(M.Bad[I] + ": "))
        << Errors.item(I)->text().toStdString();
  // No source changed; the taken name kept.
  for (const auto& [Path, H] : Before)
    EXPECT_EQ(Hash(Path), H) << Path.toStdString();
  EXPECT_EQ(Contents(Out + "/" + Taken), "not a picture");
  EXPECT_TRUE(QFile::exists(Out + "/!" + Taken));
  // Every good file converted, in the box, upright; the turned JPEGs without decoding them.
  int Lossless = 0;
  for (const TBatchItem& It : R.Items) {
    const QString Src = QFile::decodeName(It.Source.c_str());
    if (M.Bad.contains(Src)) continue;
    ASSERT_FALSE(It.Destination.empty()) << It.Source << ": " << It.Error;
    TPixelGraphic G;
    G.LoadFromFile(It.Destination);
    EXPECT_LE(std::max(G.Width(), G.Height()), 48) << It.Destination;
    if (M.Turned.contains(Src)) {
      EXPECT_TRUE(It.Lossless) << It.Source;
      EXPECT_EQ(G.Width(), 32);
      EXPECT_EQ(G.Height(), 48);
      ++Lossless;
    }
  }
  EXPECT_EQ(Lossless, M.Turned.size());
  EXPECT_EQ(QDir(Out).entryList(QDir::Files).size(), 161);

  // The command line with the same settings writes the same files, byte for byte.
  std::vector<std::string> Args = {"batch"};
  for (const QString& F : M.Files)
    Args.push_back(Bytes(F));
  Args.push_back("--into");
  Args.push_back(Bytes(CliOut));
  for (const char* A :
       {"--to", "jpg", "--quality", "85", "--box", "48x48", "--turn", "camera", "--name", "*"})
    Args.push_back(A);
  std::string StdOut, StdErr;
  EXPECT_EQ(test::RunCli(Args, &StdOut, &StdErr), 1) << "the broken files fail";
  EXPECT_NE(StdErr.find(Bytes(M.Bad[0]) + ": "), std::string::npos) << StdErr;
  const QStringList Written = QDir(Out).entryList(QDir::Files);
  EXPECT_EQ(QDir(CliOut).entryList(QDir::Files), Written);
  for (const QString& Name : Written)
    EXPECT_EQ(Contents(CliOut + "/" + Name), Contents(Out + "/" + Name)) << Name.toStdString();
}

TEST_F(BatchWindow, SettingsAreRememberedAndUnusableOnesRefused) {
  const QString In = test::MakeFolder("batch-remember");
  test::WritePicture(In + "/a.png", 30, 20);
  test::WritePicture(In + "/b.png", 20, 30);
  const QString Out = test::MakeFolder("batch-remember-out");
  {
    TfBatch W({In + "/a.png", In + "/b.png"});
    W.show();
    // The quality starts as the program's current JPEG quality.
    EXPECT_EQ(test::Child<QSpinBox>(W, "QualitySpin").value(), 80);
    auto& Format = test::Child<QComboBox>(W, "FormatCombo");
    Format.setCurrentIndex(Format.findText(ConvertTargetText(ctPNG)));
    EXPECT_FALSE(test::Child<QSpinBox>(W, "QualitySpin").isEnabled()) << "PNG has no quality";
    auto& Resize = test::Child<QComboBox>(W, "ResizeCombo");
    Resize.setCurrentIndex(Resize.findText("Percentage"));
    EXPECT_FALSE(test::Child<QCheckBox>(W, "EnlargeCheck").isEnabled());
    Type(test::Child<QSpinBox>(W, "PercentSpin"), 50);
    Type(test::Child<QLineEdit>(W, "NamePattern"), "small-##");
    auto& Existing = test::Child<QComboBox>(W, "ExistingCombo");
    Existing.setCurrentIndex(Existing.findText("Skip the file"));
    // A folder that does not exist: the reason shown, nothing run.
    Type(test::Child<QLineEdit>(W, "FolderEdit"), Out + "/missing");
    QTest::mouseClick(&test::Child<QPushButton>(W, "OkButton"), Qt::LeftButton);
    EXPECT_EQ(Prompt->Messages, QStringList{"The folder \"" + Out + "/missing\" does not exist"});
    EXPECT_FALSE(W.Running());
    // A pattern with a folder in it.
    Prompt->Messages.clear();
    Type(test::Child<QLineEdit>(W, "FolderEdit"), Out);
    Type(test::Child<QLineEdit>(W, "NamePattern"), "../x");
    QTest::mouseClick(&test::Child<QPushButton>(W, "OkButton"), Qt::LeftButton);
    EXPECT_EQ(Prompt->Messages, QStringList{"A name pattern cannot hold \"/\""});
    EXPECT_TRUE(QDir(Out).isEmpty());
    // The folder chosen by the Browse button.
    W.ChooseFolder = [&](QWidget*, const QString& Start) {
      EXPECT_EQ(Start, Out);
      return Out + "/";
    };
    QTest::mouseClick(&test::Child<QPushButton>(W, "BrowseButton"), Qt::LeftButton);
    EXPECT_EQ(test::Child<QLineEdit>(W, "FolderEdit").text(), Out);
    Type(test::Child<QLineEdit>(W, "NamePattern"), "small-##");
    Prompt->Messages.clear();
    ASSERT_TRUE(ClickOkAndWait(W));
    EXPECT_TRUE(Prompt->Messages.isEmpty()) << Prompt->Messages.join("|").toStdString();
    TPixelGraphic G;
    G.LoadFromFile(Bytes(Out + "/small-02.png"));
    EXPECT_EQ(G.Width(), 10);
    EXPECT_EQ(G.Height(), 15);
    // Again: the names are taken now, and the rule says skip.
    ASSERT_TRUE(ClickOkAndWait(W));
    EXPECT_EQ(test::Child<QLabel>(W, "SummaryLabel").text(), "0 converted, 2 skipped, 0 failed");
    EXPECT_FALSE(test::Child<QListWidget>(W, "ErrorList").isVisible());
  }
  // A new window starts with what was used.
  TfBatch W({In + "/a.png"});
  EXPECT_EQ(test::Child<QLabel>(W, "FilesLabel").text(), "1 file");
  EXPECT_EQ(test::Child<QComboBox>(W, "FormatCombo").currentText(), ConvertTargetText(ctPNG));
  EXPECT_EQ(test::Child<QComboBox>(W, "ResizeCombo").currentText(), "Percentage");
  EXPECT_EQ(test::Child<QSpinBox>(W, "PercentSpin").value(), 50);
  EXPECT_EQ(test::Child<QLineEdit>(W, "NamePattern").text(), "small-##");
  EXPECT_EQ(test::Child<QLineEdit>(W, "FolderEdit").text(), Out);
  EXPECT_EQ(test::Child<QComboBox>(W, "ExistingCombo").currentText(), "Skip the file");
  const TBatchSettings S = W.Settings();
  EXPECT_EQ(S.Target, ctPNG);
  EXPECT_EQ(S.Resize, TBatchResize::Percentage);
  EXPECT_EQ(S.Collision, TBatchCollision::Skip);
}

TEST_F(BatchWindow, EscStopsBetweenFilesAndClosesWhenIdle) {
  const QString In = test::MakeFolder("batch-esc");
  const QString Out = test::MakeFolder("batch-esc-out");
  QStringList Files;
  for (int I = 0; I < 60; ++I) {
    TPixelGraphic G;
    test::MakeUpright(G, 400, 300);
    Files << In + QString("/p%1.bmp").arg(I);
    G.SaveToFile(Bytes(Files.back()));
  }
  TfBatch W(Files);
  W.show();
  Type(test::Child<QLineEdit>(W, "FolderEdit"), Out);
  bool Ended = false;
  QObject::connect(&W, &TfBatch::batchEnded, &W, [&] { Ended = true; });
  QTest::mouseClick(&test::Child<QPushButton>(W, "OkButton"), Qt::LeftButton);
  ASSERT_TRUE(W.Running());
  EXPECT_FALSE(test::Child<QPushButton>(W, "OkButton").isEnabled());
  test::Key(&test::Child<QPushButton>(W, "CancelButton"), Qt::Key_Escape);
  ASSERT_TRUE(test::WaitFor([&] { return Ended; }, 120000));
  EXPECT_TRUE(W.isVisible()) << "the report stays on screen";
  // What the report lists is exactly what was written, whether or not the run got to the end.
  const TBatchReport& R = W.Report();
  EXPECT_EQ(R.Cancelled, R.Items.size() < size_t(Files.size()));
  if (R.Cancelled) {
    EXPECT_TRUE(test::Child<QLabel>(W, "SummaryLabel").text().startsWith("Cancelled after "));
  }
  EXPECT_EQ(QDir(Out).entryList(QDir::Files).size(), R.Converted);
  for (const TBatchItem& It : R.Items)
    EXPECT_TRUE(QFile::exists(QFile::decodeName(It.Destination.c_str())));
  // Idle, Esc closes the window.
  test::Key(&test::Child<QPushButton>(W, "CancelButton"), Qt::Key_Escape);
  EXPECT_FALSE(W.isVisible());
}

TEST_F(BatchWindow, TheExplorersSelectionOpensTheWindow) {
  const QString Dir = test::MakeFolder("batch-explorer");
  test::WritePicture(Dir + "/a.png", 30, 20);
  test::WritePicture(Dir + "/b.png", 20, 30);
  TfrmThumbnails E;
  E.OpenOn(Dir);
  ASSERT_TRUE(test::WaitFor([&] { return E.PanelText(1).startsWith("2 files"); }))
      << E.PanelText(1).toStdString();
  EXPECT_FALSE(test::Action(E, "ConvertAndResize1").isEnabled());
  test::Child<QTreeView>(E, "DetailsView").selectAll();
  ASSERT_TRUE(test::Action(E, "ConvertAndResize1").isEnabled());
  test::Action(E, "ConvertAndResize1").trigger();
  TfBatch* W = E.findChild<TfBatch*>();
  ASSERT_NE(W, nullptr);
  EXPECT_TRUE(W->isVisible());
  EXPECT_EQ(W->Files(), (QStringList{Dir + "/a.png", Dir + "/b.png"}));
  // Over the explorer, and no taller than its settings need.
  EXPECT_LE((W->geometry().center() - E.geometry().center()).manhattanLength(), 4);
  EXPECT_LE(W->height(), W->sizeHint().height() + 4);
  W->close();
  EXPECT_TRUE(test::WaitFor([&] { return E.findChild<TfBatch*>() == nullptr; }))
      << "the window goes when closed";
}
