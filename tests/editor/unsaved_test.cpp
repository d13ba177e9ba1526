// Changes the user has not saved, driven as a user meets them: the close box, "Close", F8 on
// another file in the main window, "Open...", a drop, Screen Capture and "Acquire..." ask
// "Save changes to NAME?" before the edited picture goes; Yes saves, No goes on, Cancel keeps
// everything. Also: saving carries the opened file's metadata, the help entries open their
// topics, and the tool bar fits the window at its default size.
#include "browser/mainwindow.h"
#include "engine/formats/jpeg.h"
#include "engine/imagemetadata.h"
#include "engine/orientation.h"
#include "engine/registry.h"
#include "engine/stream.h"
#include "platform/autoorient.h"
#include "platform/codecsettings.h"
#include "platform/dragfiles.h"
#include "platform/help.h"
#include "processing/editor/acquire.h"
#include "processing/editor/barrel.h"
#include "tests/browser/browsertest.h"
#include "tests/common/widgetfind.h"
#include "tests/common/orientationfixture.h"
#include "tests/common/registryhooks.h"
#include "tests/common/testutil.h"
#include "view/pgimage.h"
#include "view/previewdialogs.h"

#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <gtest/gtest.h>
#include <lcms2.h>

#include <cstring>
#include <deque>
#include <memory>

using namespace orbisk;

namespace {

// Records every text and answers the Yes/No/Cancel questions from a queue (Cancel when empty,
// so that a question nobody expected loses nothing).
class TAnsweringPrompt : public TPrompt {
public:
  QStringList Messages, Questions;
  QList<QPair<QString, QString>> Warnings; // title, text
  std::deque<TAnswer> Answers;
  void Message(QWidget*, const QString& Text) override { Messages << Text; }
  bool YesNo(QWidget*, const QString& Text) override {
    Messages << Text;
    return false;
  }
  TAnswer YesNoCancel(QWidget*, const QString& Text) override {
    Questions << Text;
    if (Answers.empty()) return paCancel;
    const TAnswer A = Answers.front();
    Answers.pop_front();
    return A;
  }
  void Warning(QWidget*, const QString& Title, const QString& Text) override {
    Warnings.append({Title, Text});
  }
};

class TAnsweringScope {
public:
  TAnsweringScope() {
    auto P = std::make_unique<TAnsweringPrompt>();
    FPrompt = P.get();
    SetPrompt(std::move(P));
  }
  ~TAnsweringScope() { SetPrompt(nullptr); }
  TAnsweringPrompt* operator->() { return FPrompt; }

private:
  TAnsweringPrompt* FPrompt;
};

std::unique_ptr<TPixelGraphic> Pattern(int W, int H) {
  auto G = std::make_unique<TPixelGraphic>();
  G->SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G->SetPixelColor(X, Y, RGBOf((X * 37) & 255, (Y * 53) & 255, ((X + Y) * 19) & 255));
  return G;
}

std::unique_ptr<TPixelGraphic> LoadPicture(const QString& Path) {
  auto G = std::make_unique<TPixelGraphic>();
  G->LoadFromFile(QFile::encodeName(Path).toStdString());
  return G;
}

bool SamePixels(const TPixelGraphic& A, const TPixelGraphic& B) {
  return A.Width() == B.Width() && A.Height() == B.Height() && A.BitCountNum() == B.BitCountNum() &&
         (A.Empty() || std::memcmp(A.Bits(), B.Bits(), size_t(A.ImageSize())) == 0);
}

class Unsaved : public ::testing::Test {
protected:
  void SetUp() override {
    test::ResetUserFiles();
    Folder = test::MakeFolder("unsaved");
    W = std::make_unique<TfrmAcquire>();
    W->CurrentFolder = [this] { return Folder; };
    W->ExecDialog = [](QDialog&) { return int(QDialog::Accepted); };
    // A file dialog nobody expected fails the test and is cancelled.
    W->ExecFileDialog = [](TPGOpenDialog& D) {
      ADD_FAILURE() << "unexpected file dialog " << D.Title.toStdString();
      return false;
    };
  }
  void TearDown() override { W.reset(); }

  QString Picture(const char* Name, int Width, int Height) {
    const QString Path = Folder + "/" + Name;
    Pattern(Width, Height)->SaveToFile(QFile::encodeName(Path).toStdString());
    return Path;
  }
  // "Open..." with Path picked in the dialog.
  void Open(const QString& Path) {
    auto Old = W->ExecFileDialog;
    W->ExecFileDialog = [Path](TPGOpenDialog& D) {
      D.FileName = Path;
      return true;
    };
    test::Action(*W, "Open1").trigger();
    W->ExecFileDialog = Old;
  }
  // The save dialog answered with Path ("" cancels it); counts how often it opened.
  void AnswerSaveDialog(const QString& Path) {
    W->ExecFileDialog = [this, Path](TPGOpenDialog& D) {
      ++SaveDialogs;
      EXPECT_EQ(D.Title, "Orbisk Save File");
      D.FileName = Path;
      return !Path.isEmpty();
    };
  }
  void Drop(const QString& Path) {
    std::unique_ptr<QMimeData> Data(MakeFileDragData({Path}, Folder, TDragSource::dsFileList));
    QWidget* Target = test::Child<TPGImage>(*W, "PGImage1").viewport();
    QDragEnterEvent Enter(QPoint(5, 5), Qt::CopyAction, Data.get(), Qt::LeftButton, {});
    QApplication::sendEvent(Target, &Enter);
    ASSERT_TRUE(Enter.isAccepted());
    QDropEvent DropEvent(QPointF(5, 5), Qt::CopyAction, Data.get(), Qt::LeftButton, {});
    QApplication::sendEvent(Target, &DropEvent);
  }
  TPixelGraphic& Shown() { return *W->Picture(); }
  std::unique_ptr<TPixelGraphic> Copy() {
    auto G = std::make_unique<TPixelGraphic>();
    G->Assign(W->Picture());
    return G;
  }

  QString Folder;
  std::unique_ptr<TfrmAcquire> W;
  int SaveDialogs = 0;
};

} // namespace

TEST_F(Unsaved, TheCloseBoxAndCloseAskAndCancelKeepsTheWindow) {
  TAnsweringScope Prompt;
  const QString Path = Picture("a.bmp", 9, 6);
  Open(Path);
  W->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(W.get()));
  // Nothing changed: the close box asks nothing.
  EXPECT_TRUE(W->close());
  EXPECT_TRUE(Prompt->Questions.isEmpty());
  W->show();

  test::Action(*W, "Emboss1").trigger();
  auto Embossed = Copy();
  Prompt->Answers = {TPrompt::paCancel};
  EXPECT_FALSE(W->close());
  EXPECT_EQ(Prompt->Questions, QStringList({"Save changes to a.bmp?"}));
  EXPECT_TRUE(W->isVisible());
  EXPECT_TRUE(SamePixels(Shown(), *Embossed));
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Emboss");

  // No: the window goes, the file stays as it was, and the next close asks nothing.
  Prompt->Answers = {TPrompt::paNo};
  EXPECT_TRUE(W->close());
  EXPECT_FALSE(W->isVisible());
  EXPECT_TRUE(SamePixels(*LoadPicture(Path), *Pattern(9, 6)));
  W->show();
  test::Action(*W, "Close1").trigger();
  EXPECT_FALSE(W->isVisible());
  EXPECT_EQ(Prompt->Questions.size(), 2);

  // Yes through "Close": written over its own file without a dialog.
  W->show();
  test::Action(*W, "Bevel1").trigger();
  Prompt->Answers = {TPrompt::paYes};
  test::Action(*W, "Close1").trigger();
  EXPECT_EQ(Prompt->Questions.size(), 3);
  EXPECT_FALSE(W->isVisible());
  EXPECT_TRUE(SamePixels(*LoadPicture(Path), Shown()));
  EXPECT_FALSE(W->Modified());
  EXPECT_TRUE(Prompt->Messages.isEmpty()) << Prompt->Messages.join("|").toStdString();
}

TEST_F(Unsaved, SavedPicturesAskNothingUntilTheyChangeAgain) {
  TAnsweringScope Prompt;
  const QString Path = Picture("b.bmp", 5, 5);
  Open(Path);
  W->show();
  test::Action(*W, "Rotate90CW").trigger();
  AnswerSaveDialog(Folder + "/b2.bmp");
  test::Action(*W, "SaveAs1").trigger();
  EXPECT_EQ(W->SaveFileName(), Folder + "/b2.bmp");
  EXPECT_TRUE(W->close());
  EXPECT_TRUE(Prompt->Questions.isEmpty());
  // Undo after the save brings back a picture that no file holds.
  W->show();
  test::Action(*W, "Undo1").trigger();
  Prompt->Answers = {TPrompt::paCancel};
  EXPECT_FALSE(W->close());
  EXPECT_EQ(Prompt->Questions, QStringList({"Save changes to b2.bmp?"}));
}

TEST_F(Unsaved, YesWithoutAFileNameSavesAsAndACancelledDialogKeepsThePicture) {
  TAnsweringScope Prompt;
  W->GrabScreen = [](QScreen*) {
    QImage I(32, 24, QImage::Format_RGB32);
    I.fill(QColor(10, 200, 30));
    return I;
  };
  W->show();
  test::Action(*W, "CaptureButton").trigger();
  ASSERT_TRUE(W->Picture());
  EXPECT_TRUE(Prompt->Questions.isEmpty()); // nothing was there
  EXPECT_TRUE(W->Modified());               // but the capture is in no file yet

  // Yes, then Cancel in the save dialog: nothing is saved and the window stays.
  Prompt->Answers = {TPrompt::paYes};
  AnswerSaveDialog("");
  EXPECT_FALSE(W->close());
  EXPECT_EQ(Prompt->Questions, QStringList({"Save changes to Untitled?"}));
  EXPECT_EQ(SaveDialogs, 1);
  EXPECT_TRUE(W->isVisible());

  // Yes and a name: written there, then the window closes.
  const QString Out = Folder + "/capture.png";
  Prompt->Answers = {TPrompt::paYes};
  AnswerSaveDialog(Out);
  EXPECT_TRUE(W->close());
  EXPECT_EQ(SaveDialogs, 2);
  ASSERT_TRUE(QFile::exists(Out));
  EXPECT_EQ(LoadPicture(Out)->GetPixelColor(3, 3), RGBOf(10, 200, 30));
  EXPECT_EQ(W->SaveFileName(), Out);
}

TEST_F(Unsaved, OpenAsksAndClearsTheUndo) {
  TAnsweringScope Prompt;
  const QString A = Picture("a.bmp", 6, 4), B = Picture("b.bmp", 3, 3);
  Open(A);
  test::Action(*W, "Rotate90CW").trigger();
  auto Turned = Copy();
  Prompt->Answers = {TPrompt::paCancel};
  Open(B);
  EXPECT_EQ(Prompt->Questions, QStringList({"Save changes to a.bmp?"}));
  EXPECT_TRUE(SamePixels(Shown(), *Turned));
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Rotate");
  EXPECT_EQ(W->SaveFileName(), A);

  Prompt->Answers = {TPrompt::paNo};
  Open(B);
  EXPECT_EQ(Shown().Width(), 3);
  EXPECT_EQ(W->SaveFileName(), B);
  EXPECT_FALSE(test::Action(*W, "Undo1").isEnabled());
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo");
  EXPECT_TRUE(SamePixels(*LoadPicture(A), *Pattern(6, 4))); // not saved
  EXPECT_FALSE(W->Modified());

  // Yes saves over the file being opened again: the file as saved is what comes in.
  test::Action(*W, "Rotate90CW").trigger(); // b is square: same size, other pixels
  auto TurnedB = Copy();
  Prompt->Answers = {TPrompt::paYes};
  Open(B);
  EXPECT_TRUE(SamePixels(*LoadPicture(B), *TurnedB));
  EXPECT_TRUE(SamePixels(Shown(), *TurnedB));
  EXPECT_FALSE(W->Modified());
  EXPECT_TRUE(Prompt->Messages.isEmpty()) << Prompt->Messages.join("|").toStdString();
}

TEST_F(Unsaved, ADropAsksAndUndoBringsTheEditedPictureBack) {
  TAnsweringScope Prompt;
  const QString A = Picture("a.bmp", 6, 4), B = Picture("b.bmp", 3, 3);
  Open(A);
  test::Action(*W, "Emboss1").trigger();
  auto Embossed = Copy();
  Prompt->Answers = {TPrompt::paCancel};
  Drop(B);
  EXPECT_EQ(Prompt->Questions, QStringList({"Save changes to a.bmp?"}));
  EXPECT_TRUE(SamePixels(Shown(), *Embossed));

  Prompt->Answers = {TPrompt::paNo};
  Drop(B);
  EXPECT_EQ(Shown().Width(), 3);
  EXPECT_EQ(W->SaveFileName(), B);
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Drop");
  EXPECT_FALSE(W->Modified());
  test::Action(*W, "Undo1").trigger();
  EXPECT_TRUE(SamePixels(Shown(), *Embossed));
  EXPECT_EQ(W->SaveFileName(), A); // with its own name, still unsaved
  EXPECT_TRUE(W->Modified());
  Prompt->Answers = {TPrompt::paCancel};
  test::Action(*W, "Close1").trigger();
  EXPECT_EQ(Prompt->Questions.last(), "Save changes to a.bmp?");

  // A file of a type the engine reads under another name of it is taken too.
  QFile::copy(B, Folder + "/c.dib");
  const QString Jpe = Folder + "/d.jpe";
  test::WriteFileBytes(Jpe.toStdString(), test::EncodeJPEG(*Pattern(8, 8)));
  Prompt->Answers = {TPrompt::paNo, TPrompt::paNo};
  Drop(Folder + "/c.dib");
  EXPECT_EQ(Shown().Width(), 3);
  Drop(Jpe);
  EXPECT_EQ(Shown().Width(), 8);
  EXPECT_TRUE(Prompt->Messages.isEmpty()) << Prompt->Messages.join("|").toStdString();
}

TEST_F(Unsaved, ScreenCaptureAsksAndKeepsTheEditedPictureForUndo) {
  TAnsweringScope Prompt;
  W->GrabScreen = [](QScreen*) {
    QImage I(40, 30, QImage::Format_RGB32);
    I.fill(QColor(200, 20, 20));
    return I;
  };
  Open(Picture("a.bmp", 6, 4));
  test::Action(*W, "Bevel1").trigger();
  auto Beveled = Copy();
  Prompt->Answers = {TPrompt::paCancel};
  test::Action(*W, "CaptureButton").trigger();
  EXPECT_EQ(Prompt->Questions, QStringList({"Save changes to a.bmp?"}));
  EXPECT_TRUE(SamePixels(Shown(), *Beveled));

  Prompt->Answers = {TPrompt::paNo};
  test::Action(*W, "CaptureButton").trigger();
  EXPECT_EQ(Shown().Width(), 40);
  EXPECT_TRUE(W->SaveFileName().isEmpty());
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Screen Capture");
  test::Action(*W, "Undo1").trigger();
  EXPECT_TRUE(SamePixels(Shown(), *Beveled));
  EXPECT_EQ(W->SaveFileName(), Folder + "/a.bmp");
}

TEST(UnsavedInBrowser, F8OnAnotherFileAsksFirst) {
  test::ResetUserFiles();
  TAnsweringScope Prompt;
  const QString Pics = test::MakeFolder("unsavedpics");
  test::WritePicture(Pics + "/one.png", 12, 9);
  test::WritePicture(Pics + "/two.png", 7, 5);
  auto F = std::make_unique<TForm1>();
  F->SetStartFile(Pics + "/one.png");
  F->show();
  QApplication::processEvents();
  F->SelectFileByName("one.png");
  test::Child<QTreeView>(*F, "ListView1").setFocus();
  test::Key(&test::Child<QTreeView>(*F, "ListView1"), Qt::Key_F8);
  TfrmAcquire* E = F->EditorWindow();
  ASSERT_TRUE(E->isVisible());
  ASSERT_TRUE(E->Picture());
  EXPECT_EQ(E->Picture()->Width(), 12);
  test::Action(*E, "Emboss1").trigger();

  F->SelectFileByName("two.png");
  test::Child<QTreeView>(*F, "ListView1").setFocus();
  Prompt->Answers = {TPrompt::paCancel};
  test::Key(&test::Child<QTreeView>(*F, "ListView1"), Qt::Key_F8);
  EXPECT_EQ(Prompt->Questions, QStringList({"Save changes to one.png?"}));
  EXPECT_EQ(E->Picture()->Width(), 12);
  EXPECT_TRUE(E->Modified());
  EXPECT_TRUE(E->isVisible());

  Prompt->Answers = {TPrompt::paNo};
  test::Key(&test::Child<QTreeView>(*F, "ListView1"), Qt::Key_F8);
  EXPECT_EQ(Prompt->Questions.size(), 2);
  EXPECT_EQ(E->Picture()->Width(), 7);
  EXPECT_EQ(E->SaveFileName(), Pics + "/two.png");
  EXPECT_FALSE(test::Action(*E, "Undo1").isEnabled());
  EXPECT_TRUE(Prompt->Messages.isEmpty()) << Prompt->Messages.join("|").toStdString();
}

TEST(UnsavedInBrowser, QuittingTheProgramAsksForTheEditedPicture) {
  test::ResetUserFiles();
  TAnsweringScope Prompt;
  const QString Pics = test::MakeFolder("unsavedquit");
  test::WritePicture(Pics + "/one.png", 12, 9);
  auto F = std::make_unique<TForm1>();
  F->SetStartFile(Pics + "/one.png");
  F->show();
  QApplication::processEvents();
  F->SelectFileByName("one.png");
  test::Child<QTreeView>(*F, "ListView1").setFocus();
  test::Key(&test::Child<QTreeView>(*F, "ListView1"), Qt::Key_F8);
  TfrmAcquire* E = F->EditorWindow();
  ASSERT_TRUE(E->isVisible());
  test::Action(*E, "Emboss1").trigger();

  Prompt->Answers = {TPrompt::paCancel};
  EXPECT_FALSE(F->close());
  EXPECT_EQ(Prompt->Questions, QStringList({"Save changes to one.png?"}));
  EXPECT_TRUE(F->isVisible());
  EXPECT_TRUE(E->Modified());

  // The editor opened from the main window opens its own help topics.
  QStringList Opened;
  const THelpOpener Old = SetHelpOpener([&](const QUrl& U) {
    Opened << U.fragment();
    return true;
  });
  test::Action(*E, "HelpEditing1").trigger();
  SetHelpOpener(Old);
  EXPECT_EQ(Opened, QStringList({"topic-380"}));

  Prompt->Answers = {TPrompt::paNo};
  EXPECT_TRUE(F->close());
  EXPECT_EQ(Prompt->Questions.size(), 2);
}

// ---- metadata on saving

namespace {

// A writer that keeps what it was handed.
class TRecordingWriter : public TFileFormatWriter {
public:
  static inline TImageMetadata Seen;
  static inline int Width = 0, Writes = 0;
  TRecordingWriter() : TFileFormatWriter("mdtest", "Recording", false) {
    CanWriteResolutions = {0, 1, 2, 3, 4, 5, 6, 7};
  }
  std::string ClassName() const override { return "TRecordingWriter"; }
  void WriteGraphic(TPGStream& Stream, TPixelGraphic& Image, const TWriteOptions&) override {
    Seen = Image.Metadata;
    Width = Image.Width();
    ++Writes;
    const char Byte = 'x';
    Stream.Write(&Byte, 1);
  }
};

} // namespace

TEST_F(Unsaved, SavingHandsTheOpenedFilesMetadataToTheWriter) {
  TAnsweringScope Prompt;
  RegisterWriter(std::make_unique<TRecordingWriter>());
  TImageMetadata Source;
  Source.Icc = {1, 2, 3, 4};
  Source.Xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>";
  QStringList Read;
  W->ReadMetadata = [&](const QString& Path) {
    Read << Path;
    return Source;
  };
  const QString Path = Picture("m.bmp", 10, 4);
  Open(Path);
  EXPECT_EQ(Read, QStringList({Path}));
  test::Action(*W, "Rotate90CW").trigger();
  AnswerSaveDialog(Folder + "/out.mdtest");
  test::Action(*W, "SaveAs1").trigger();
  ASSERT_EQ(TRecordingWriter::Writes, 1) << Prompt->Messages.join("|").toStdString();
  EXPECT_EQ(TRecordingWriter::Seen.Icc, Source.Icc);
  EXPECT_EQ(TRecordingWriter::Seen.Xmp, Source.Xmp);
  EXPECT_EQ(TRecordingWriter::Width, 4);
  // The picture holds the blocks only while it is written.
  EXPECT_TRUE(W->Picture()->Metadata.Empty());
  // A capture has no file: nothing to carry.
  W->GrabScreen = [](QScreen*) {
    QImage I(8, 8, QImage::Format_RGB32);
    I.fill(Qt::white);
    return I;
  };
  test::Action(*W, "CaptureButton").trigger();
  test::Action(*W, "SaveAs1").trigger();
  ASSERT_EQ(TRecordingWriter::Writes, 2);
  EXPECT_TRUE(TRecordingWriter::Seen.Empty());
  ResetFormatLists();
}

// Pixels shown through a wide-gamut profile are sRGB: the edited file carries no profile then,
// and the file's own one when colour profiles are off.
TEST_F(Unsaved, AConvertingProfileIsLeftOutOfTheEditedFileWhenProfilesAreUsed) {
  TAnsweringScope Prompt;
  RegisterWriter(std::make_unique<TRecordingWriter>());
  const cmsCIExyY D65{0.3127, 0.3290, 1.0};
  cmsToneCurve* Gamma = cmsBuildGamma(nullptr, 2.2);
  cmsToneCurve* Curves[3] = {Gamma, Gamma, Gamma};
  const cmsCIExyYTRIPLE Primaries{{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};
  cmsHPROFILE Adobe = cmsCreateRGBProfile(&D65, &Primaries, Curves);
  cmsUInt32Number Size = 0;
  cmsSaveProfileToMem(Adobe, nullptr, &Size);
  TImageMetadata Source;
  Source.Icc.resize(Size);
  cmsSaveProfileToMem(Adobe, Source.Icc.data(), &Size);
  cmsCloseProfile(Adobe);
  cmsFreeToneCurve(Gamma);
  W->ReadMetadata = [&](const QString&) { return Source; };
  const int Before = TRecordingWriter::Writes;
  for (const bool Use : {true, false}) {
    SetUseColourProfiles(Use);
    Open(Picture(Use ? "on.bmp" : "off.bmp", 10, 4));
    test::Action(*W, "Rotate90CW").trigger();
    AnswerSaveDialog(Folder + (Use ? "/on.mdtest" : "/off.mdtest"));
    test::Action(*W, "SaveAs1").trigger();
    EXPECT_EQ(TRecordingWriter::Seen.Icc.empty(), Use);
  }
  SetUseColourProfiles(true);
  EXPECT_EQ(TRecordingWriter::Writes, Before + 2);
  ResetFormatLists();
}

// Needs the engine's metadata reader and a JPEG writer that stores EXIF.
TEST_F(Unsaved, CameraDataSurvivesAFilterWithTheOrientationReset) {
  SetAutoOrientPictures(true);
  TPixelGraphic Upright, Stored;
  test::MakeUpright(Upright, 64, 48);
  test::MakeStored(Upright, 6, Stored);
  const QString In = Folder + "/camera.jpg";
  test::WriteFileBytes(In.toStdString(),
                       test::WithApp1(test::EncodeJPEG(Stored), test::ExifBlock(6)));
  if (ReadImageMetadata(In.toStdString()).Exif.empty())
    GTEST_SKIP() << "the engine reads no metadata blocks yet";
  TAnsweringScope Prompt;
  ASSERT_TRUE(W->EditFile(In));
  EXPECT_EQ(W->Picture()->Width(), 64); // upright
  test::Action(*W, "Emboss1").trigger();
  const QString Out = Folder + "/camera-embossed.jpg";
  AnswerSaveDialog(Out);
  test::Action(*W, "SaveAs1").trigger();
  EXPECT_FALSE(W->LastSaveLossless());
  const TImageMetadata M = ReadImageMetadata(Out.toStdString());
  ASSERT_FALSE(M.Exif.empty());
  EXPECT_EQ(OrientationFromExif(M.Exif.data(), M.Exif.size()), 1);
  const auto Back = LoadPicture(Out);
  EXPECT_EQ(Back->Width(), 64);
  EXPECT_EQ(Back->ExifOrientation, 1);
}

// ---- help and the window's size

TEST_F(Unsaved, HelpEntriesOpenTheirTopics) {
  TAnsweringScope Prompt;
  QStringList Opened;
  const THelpOpener Old = SetHelpOpener([&](const QUrl& U) {
    Opened << U.fragment();
    return true;
  });
  test::Action(*W, "HelpTwain1").trigger();
  test::Action(*W, "HelpEditing1").trigger();
  test::Child<TfrmBarrel>(*W, "frmBarrel").show();
  QTest::mouseClick(
      &test::Child<QPushButton>(test::Child<TfrmBarrel>(*W, "frmBarrel"), "HelpButton"),
      Qt::LeftButton);
  test::Child<TfrmBarrel>(*W, "frmBarrel").hide();
  SetHelpOpener(Old);
  EXPECT_EQ(Opened, QStringList({"topic-370", "topic-380", "topic-590"}))
      << Prompt->Messages.join("|").toStdString();
}

TEST_F(Unsaved, EveryToolButtonShowsAtTheDefaultSize) {
  // A first start: no stored placement.
  W.reset();
  test::ResetUserFiles();
  W = std::make_unique<TfrmAcquire>();
  W->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(W.get()));
  QToolBar* Bar = &test::Child<QToolBar>(*W, "ToolBar1");
  ASSERT_TRUE(QTest::qWaitFor([&] { return Bar->isVisible() && Bar->width() > 0; }));
  QApplication::processEvents();
  const QRect Inside = Bar->rect();
  int Buttons = 0;
  for (QAction* A : Bar->actions()) {
    if (A->isSeparator()) continue;
    QWidget* B = Bar->widgetForAction(A);
    ASSERT_TRUE(B) << A->text().toStdString();
    EXPECT_TRUE(B->isVisible()) << A->text().toStdString();
    EXPECT_TRUE(Inside.contains(B->geometry())) << A->text().toStdString();
    ++Buttons;
  }
  EXPECT_EQ(Buttons, 13);
  for (QAction* A : {&test::Action(*W, "RotateLeftButton"), &test::Action(*W, "RotateRightButton"),
                     &test::Action(*W, "RedEyeButton"), &test::Action(*W, "CaptureButton"),
                     &test::Action(*W, "Close1")})
    EXPECT_TRUE(Bar->widgetForAction(A)->isVisible()) << A->text().toStdString();
  // The extension button ("»") has nothing to hold.
  for (QToolButton* T : Bar->findChildren<QToolButton*>("qt_toolbar_ext_button"))
    EXPECT_FALSE(T->isVisible());
  // The radial adjustment window's buttons are not squeezed either.
  test::Child<TfrmBarrel>(*W, "frmBarrel").show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&test::Child<TfrmBarrel>(*W, "frmBarrel")));
  for (QPushButton* B : test::Child<TfrmBarrel>(*W, "frmBarrel").findChildren<QPushButton*>())
    EXPECT_GE(B->width(), B->minimumSizeHint().width()) << B->text().toStdString();
  test::Child<TfrmBarrel>(*W, "frmBarrel").hide();
}
