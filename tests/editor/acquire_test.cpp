// The image editor window driven as a user drives it: menu commands, tool buttons, clicks on
// the picture, the operation windows answered through the dialog hook, files dropped on it.
#include "browser/mainwindow.h"
#include "engine/formats/jpeg.h"
#include "engine/formats/tiff.h"
#include "platform/codecsettings.h"
#include "platform/dragfiles.h"
#include "platform/pgqt.h"
#include "processing/editor/acquire.h"
#include "processing/editor/barrel.h"
#include "processing/editor/colorrezwindow.h"
#include "processing/editor/editordialogs.h"
#include "processing/editor/filterdialogeditor.h"
#include "processing/editor/saveoptions.h"
#include "processing/effects.h"
#include "tests/browser/browsertest.h"
#include "tests/common/widgetfind.h"
#include "view/pgimage.h"
#include "view/previewdialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace orbisk;

namespace {

std::unique_ptr<TPixelGraphic> Pattern(int W, int H, int Code = 3) {
  auto G = std::make_unique<TPixelGraphic>();
  G->SetSize(W, H, Code);
  if (Code != 3) G->SetPaletteKind(Code == 2 ? pGray256 : pSys16);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G->SetPixelColor(X, Y, RGBOf((X * 37) & 255, (Y * 53) & 255, ((X + Y) * 19) & 255));
  return G;
}

void SavePicture(const TPixelGraphic& G, const QString& Path) {
  TPixelGraphic Copy;
  Copy.Assign(&G);
  Copy.SaveToFile(QFile::encodeName(Path).toStdString());
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

class Editor : public ::testing::Test {
protected:
  void SetUp() override {
    test::ResetUserFiles();
    Folder = test::MakeFolder("editor");
    W = std::make_unique<TfrmAcquire>();
    W->CurrentFolder = [this] { return Folder; };
    // Every operation window is confirmed unless a test answers it.
    W->ExecDialog = [this](QDialog& D) { return Answer ? Answer(D) : int(QDialog::Accepted); };
  }
  void TearDown() override { W.reset(); }

  // Opens Path through "Open..." as the user picks it in the dialog.
  void Open(const QString& Path) {
    W->ExecFileDialog = [&](TPGOpenDialog& D) {
      EXPECT_EQ(D.Filter, EditorOpenFilter());
      EXPECT_EQ(D.InitialDir, Folder);
      D.FileName = Path;
      return true;
    };
    test::Action(*W, "Open1").trigger();
    W->ExecFileDialog = nullptr;
  }

  QString Picture(const char* Name, int Width, int Height, int Code = 3) {
    const QString Path = Folder + "/" + Name;
    SavePicture(*Pattern(Width, Height, Code), Path);
    return Path;
  }

  TPixelGraphic& Shown() { return *W->Picture(); }

  QString Folder;
  std::unique_ptr<TfrmAcquire> W;
  std::function<int(QDialog&)> Answer;
};

} // namespace

TEST_F(Editor, OpenRotateAndUndoGiveThePictureBack) {
  test::TPromptScope Prompt;
  EXPECT_EQ(W->windowTitle(), "Orbisk Image Editor");
  EXPECT_FALSE(test::Child<QMenu>(*W, "ImageMenu").menuAction()->isEnabled());
  EXPECT_FALSE(test::Child<QMenu>(*W, "FiltersMenu").menuAction()->isEnabled());
  EXPECT_FALSE(test::Action(*W, "Undo1").isEnabled());

  const QString Path = Picture("a.bmp", 5, 3);
  Open(Path);
  ASSERT_TRUE(W->Picture());
  auto Before = LoadPicture(Path);
  EXPECT_TRUE(SamePixels(Shown(), *Before));
  EXPECT_EQ(test::Child<QLabel>(*W, "StatusPanel0").text(), "5 X 3");
  EXPECT_TRUE(test::Child<QMenu>(*W, "ImageMenu").menuAction()->isEnabled());
  EXPECT_TRUE(test::Child<QMenu>(*W, "FiltersMenu").menuAction()->isEnabled());
  EXPECT_EQ(W->SaveFileName(), Path);

  test::Action(*W, "Rotate90CW").trigger();
  EXPECT_EQ(test::Child<QLabel>(*W, "StatusPanel0").text(), "3 X 5");
  // The old top-left pixel is now top-right.
  EXPECT_EQ(Shown().GetPixelColor(2, 0), Before->GetPixelColor(0, 0));
  EXPECT_TRUE(test::Action(*W, "Undo1").isEnabled());
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Rotate");

  test::Action(*W, "Undo1").trigger();
  EXPECT_TRUE(SamePixels(Shown(), *Before));
  EXPECT_FALSE(test::Action(*W, "Undo1").isEnabled());
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo");
  EXPECT_EQ(test::Child<QLabel>(*W, "StatusPanel0").text(), "5 X 3");
  EXPECT_TRUE(Prompt->Messages.isEmpty());
}

TEST_F(Editor, UndoAfterTwoOperationsKeepsTheFirstResult) {
  Open(Picture("a.bmp", 6, 4));
  test::Action(*W, "RotateLeftButton").trigger();
  auto Turned = std::make_unique<TPixelGraphic>();
  Turned->Assign(&Shown());
  test::Action(*W, "FlipHorizontal1").trigger();
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Flip Horizontal");
  EXPECT_FALSE(SamePixels(Shown(), *Turned));
  test::Action(*W, "Undo1").trigger();
  EXPECT_TRUE(SamePixels(Shown(), *Turned));
  EXPECT_EQ(W->Model().SnapshotCount(), 2);
  // Another file, through "Open..." or EditFile, clears the undo: it never brings back the
  // previous file's picture under the new file's name.
  test::TPromptScope Prompt;
  test::Action(*W, "Bevel1").trigger();
  Open(Picture("b.bmp", 4, 4));
  EXPECT_EQ(Prompt->Messages, QStringList({"Save changes to a.bmp?"})); // answered No
  EXPECT_FALSE(test::Action(*W, "Undo1").isEnabled());
  test::Action(*W, "Bevel1").trigger();
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo 3D Bevel");
  EXPECT_TRUE(W->EditFile(Folder + "/b.bmp"));
  EXPECT_FALSE(test::Action(*W, "Undo1").isEnabled());
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo");
  EXPECT_TRUE(W->isVisible());
}

TEST_F(Editor, CropAndRedEyeNeedASelection) {
  test::TPromptScope Prompt;
  Open(Picture("a.bmp", 8, 6));
  test::Action(*W, "Crop1").trigger();
  test::Action(*W, "RedEye1").trigger();
  test::Action(*W, "RedEyeButton").trigger();
  EXPECT_EQ(Prompt->Messages,
            QStringList({"You need to select an area first", "Select an eye area first",
                         "Select an eye area first"}));
  EXPECT_FALSE(test::Action(*W, "Undo1").isEnabled());
  EXPECT_EQ(Shown().Width(), 8);

  // With a selection the crop keeps the selected area.
  test::Action(*W, "SelectButton").trigger();
  test::Child<TPGImage>(*W, "PGImage1").SetSelectionBounds(2, 1, 3, 4);
  test::Child<TPGImage>(*W, "PGImage1").SetSelection(true);
  auto Before = std::make_unique<TPixelGraphic>();
  Before->Assign(&Shown());
  test::Action(*W, "Crop1").trigger();
  ASSERT_EQ(Shown().Width(), 3);
  ASSERT_EQ(Shown().Height(), 4);
  EXPECT_EQ(Shown().GetPixelColor(0, 0), Before->GetPixelColor(2, 1));
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Crop");
  EXPECT_FALSE(test::Child<TPGImage>(*W, "PGImage1").Selection());
}

TEST_F(Editor, RedEyeTurnsTheRedPupilBlackOnlyWhenConfirmed) {
  test::TPromptScope Prompt;
  auto G = Pattern(9, 9);
  for (int Y = 0; Y < 9; ++Y)
    for (int X = 0; X < 9; ++X)
      G->SetPixelColor(X, Y, RGBOf(220, 20, 20));
  SavePicture(*G, Folder + "/eye.bmp");
  Open(Folder + "/eye.bmp");
  test::Action(*W, "Rotate180").trigger(); // something to undo
  test::Child<TPGImage>(*W, "PGImage1").SetSelectionBounds(0, 0, 9, 9);
  test::Child<TPGImage>(*W, "PGImage1").SetSelection(true);
  Answer = [](QDialog& D) {
    auto* R = qobject_cast<TfrmRedEyeReduction*>(&D);
    EXPECT_TRUE(R);
    // The window shows the result live.
    EXPECT_EQ(R->Shown().GetPixelColor(4, 4), 0u);
    return int(QDialog::Rejected);
  };
  test::Action(*W, "RedEye1").trigger();
  EXPECT_EQ(Shown().GetPixelColor(4, 4), RGBOf(220, 20, 20));
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Rotate"); // cancelling keeps the earlier undo
  Answer = nullptr;
  test::Action(*W, "RedEye1").trigger();
  EXPECT_EQ(Shown().GetPixelColor(4, 4), 0u);
  EXPECT_EQ(Shown().GetPixelColor(0, 0), RGBOf(220, 20, 20)); // outside the disc
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Red Eye Reduction");
  EXPECT_TRUE(Prompt->Messages.isEmpty());
}

TEST_F(Editor, GaussianBlurRefusesPalettePicturesAndUndoRestoresThem) {
  test::TPromptScope Prompt;
  const QString Path = Picture("grey.bmp", 10, 7, 2);
  Open(Path);
  ASSERT_EQ(Shown().BitCountNum(), 2);
  auto Before = std::make_unique<TPixelGraphic>();
  Before->Assign(&Shown());
  Answer = [](QDialog& D) {
    auto* B = qobject_cast<TfrmGaussianBlur*>(&D);
    EXPECT_TRUE(B);
    EXPECT_EQ(test::Child<QSlider>(*B, "StrengthSlider").value(), 30);
    EXPECT_EQ(test::Child<QLabel>(*B, "ValueLabel").text(), "3.0");
    return int(QDialog::Accepted);
  };
  test::Action(*W, "GaussianBlur1").trigger();
  EXPECT_EQ(Prompt->Messages, QStringList({GaussianBlurNeeds24Bit}));
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Gaussian Blur");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr); // the hour-glass is gone
  test::Action(*W, "Undo1").trigger();
  EXPECT_TRUE(SamePixels(Shown(), *Before));

  // A 24-bit picture is blurred with the slider's strength.
  Open(Picture("colour.bmp", 12, 12));
  Answer = [](QDialog& D) {
    auto* B = qobject_cast<TfrmGaussianBlur*>(&D);
    test::Child<QSlider>(*B, "StrengthSlider").setValue(15);
    EXPECT_EQ(test::Child<QLabel>(*B, "ValueLabel").text(), "1.5");
    EXPECT_FLOAT_EQ(B->Radius(), 1.5f);
    return int(QDialog::Accepted);
  };
  auto Sharp = LoadPicture(Folder + "/colour.bmp");
  test::Action(*W, "GaussianBlur1").trigger();
  EXPECT_FALSE(SamePixels(Shown(), *Sharp));
  EXPECT_EQ(Prompt->Messages.size(), 1);
}

TEST_F(Editor, ResizeKeepsProportionsAndAZeroSizeIsHarmless) {
  test::TPromptScope Prompt;
  Open(Picture("big.bmp", 640, 480));
  Answer = [](QDialog& D) {
    auto* R = qobject_cast<TfrmResize*>(&D);
    EXPECT_EQ(test::Child<QLabel>(*R, "OrigWidthLabel").text(), "640");
    EXPECT_EQ(test::Child<QLineEdit>(*R, "HeightEdit").text(), "480");
    test::Child<QLineEdit>(*R, "WidthEdit").setFocus();
    test::Child<QLineEdit>(*R, "WidthEdit").selectAll();
    QTest::keyClicks(&test::Child<QLineEdit>(*R, "WidthEdit"), "333");
    emit test::Child<QLineEdit>(*R, "WidthEdit").editingFinished(); // the field loses the focus
    EXPECT_EQ(test::Child<QLineEdit>(*R, "HeightEdit").text(), "250");
    QTest::keyClicks(&test::Child<QLineEdit>(*R, "WidthEdit"), "x-"); // only digits are taken
    EXPECT_EQ(test::Child<QLineEdit>(*R, "WidthEdit").text(), "333");
    return int(QDialog::Accepted);
  };
  test::Action(*W, "Resize1").trigger();
  EXPECT_EQ(Shown().Width(), 333);
  EXPECT_EQ(Shown().Height(), 250);
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Resize");

  // A 0 field gives an empty picture; nothing after it fails or says anything.
  Answer = [](QDialog& D) {
    auto* R = qobject_cast<TfrmResize*>(&D);
    test::Child<QCheckBox>(*R, "ConstrainBox").setChecked(false);
    test::Child<QLineEdit>(*R, "WidthEdit").setText("0");
    emit test::Child<QLineEdit>(*R, "WidthEdit").editingFinished();
    EXPECT_EQ(test::Child<QLineEdit>(*R, "HeightEdit").text(), "250");
    return int(QDialog::Accepted);
  };
  test::Action(*W, "Resize1").trigger();
  ASSERT_TRUE(W->Picture());
  EXPECT_TRUE(Shown().Empty());
  EXPECT_FALSE(test::Child<QMenu>(*W, "ImageMenu").menuAction()->isEnabled());
  Answer = nullptr;
  W->ExecFileDialog = [](TPGOpenDialog&) -> bool {
    ADD_FAILURE() << "no dialog for an empty picture";
    return false;
  };
  W->PrintSetup = [](QPrinter&) -> bool {
    ADD_FAILURE() << "no printing of an empty picture";
    return false;
  };
  for (QAction* A : {&test::Action(*W, "Rotate90CW"),       &test::Action(*W, "RotateArbitrary"),
                     &test::Action(*W, "FlipHorizontal1"),  &test::Action(*W, "Crop1"),
                     &test::Action(*W, "DropShadow1"),      &test::Action(*W, "WhiteBorder1"),
                     &test::Action(*W, "GradientBorder1"),  &test::Action(*W, "Bevel1"),
                     &test::Action(*W, "ColorResolution1"), &test::Action(*W, "Resize1"),
                     &test::Action(*W, "RadialAdjust1"),    &test::Action(*W, "RedEye1"),
                     &test::Action(*W, "GaussianBlur1"),    &test::Action(*W, "Emboss1"),
                     &test::Action(*W, "Fisheye1"),         &test::Action(*W, "Swirl1"),
                     &test::Action(*W, "SprayPaint1"),      &test::Action(*W, "Mosaic1"),
                     &test::Action(*W, "PencilDrawing1"),   &test::Action(*W, "Posterize1"),
                     &test::Action(*W, "Antique1"),         &test::Action(*W, "SaveAs1"),
                     &test::Action(*W, "ExportGIF1"),       &test::Action(*W, "Print1")})
    A->trigger();
  EXPECT_TRUE(Prompt->Messages.isEmpty()) << Prompt->Messages.join("|").toStdString();
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Resize");
  test::Action(*W, "Undo1").trigger();
  EXPECT_EQ(Shown().Width(), 333);
}

TEST_F(Editor, ZoomClicksStepAndStopAtTheLimits) {
  Open(Picture("z.bmp", 300, 200));
  W->show();
  test::Action(*W, "ZoomButton").trigger();
  ASSERT_TRUE(test::Action(*W, "ZoomButton").isChecked());
  EXPECT_FALSE(test::Action(*W, "AutoSizeButton").isChecked());
  EXPECT_EQ(test::Child<TPGImage>(*W, "PGImage1").Stretch(), sZoomKAR);
  EXPECT_EQ(test::Child<TPGImage>(*W, "PGImage1").ActionMode(), amNone);
  const double Expected[] = {0.8, 0.6, 0.4, 0.2, 0.2};
  for (double E : Expected) {
    QTest::mouseClick(test::Child<TPGImage>(*W, "PGImage1").PicBox(), Qt::RightButton, {},
                      QPoint(3, 3));
    EXPECT_NEAR(double(test::Child<TPGImage>(*W, "PGImage1").ZoomFactor()), E, 1e-9);
  }
  for (int I = 0; I < 20; ++I)
    QTest::mouseClick(test::Child<TPGImage>(*W, "PGImage1").PicBox(), Qt::LeftButton, {},
                      QPoint(3, 3));
  EXPECT_NEAR(double(test::Child<TPGImage>(*W, "PGImage1").ZoomFactor()), 3.0, 1e-9);
  // A fitted view leaves a small scale; zooming goes on from it and never reaches 0.
  test::Action(*W, "ZoomButton").trigger();
  test::Action(*W, "AutoSizeButton").trigger();
  EXPECT_EQ(test::Child<TPGImage>(*W, "PGImage1").Stretch(), sAlwaysKAR);
  W->resize(120, 110);
  QApplication::processEvents();
  test::Action(*W, "ZoomButton").trigger();
  EXPECT_FALSE(test::Action(*W, "AutoSizeButton").isChecked());
  for (int I = 0; I < 5; ++I)
    QTest::mouseClick(test::Child<TPGImage>(*W, "PGImage1").PicBox(), Qt::RightButton, {},
                      QPoint(1, 1));
  EXPECT_GT(test::Child<TPGImage>(*W, "PGImage1").ZoomFactor(), 0.0L);
}

TEST_F(Editor, RadialAdjustmentNeedsNumbersAndApply) {
  test::TPromptScope Prompt;
  Open(Picture("r.bmp", 20, 16));
  auto Before = std::make_unique<TPixelGraphic>();
  Before->Assign(&Shown());
  Answer = [](QDialog& D) {
    auto* B = qobject_cast<TfrmBarrel*>(&D);
    EXPECT_EQ(B->windowTitle(), "Radial Adjustment (Barrel Distortion)");
    EXPECT_EQ(test::Child<QLineEdit>(*B, "OuterEdit").text(), "-0.02");
    EXPECT_EQ(test::Child<QComboBox>(*B, "ViewBox").currentText(), "Shrink to fit");
    test::Child<QLineEdit>(*B, "OuterEdit").setText("abc");
    QTest::mouseClick(&test::Child<QPushButton>(*B, "ApplyButton"), Qt::LeftButton);
    EXPECT_FALSE(B->HasResult());
    return int(QDialog::Accepted); // OK without a result
  };
  test::Action(*W, "RadialAdjust1").trigger();
  EXPECT_EQ(Prompt->Messages,
            QStringList({"Invalid values entered!",
                         "You did not Apply a radial adjustment. Reopen and click \"Apply\" "
                         "before clicking \"OK\""}));
  EXPECT_FALSE(test::Action(*W, "Undo1").isEnabled());
  EXPECT_TRUE(SamePixels(Shown(), *Before));

  Answer = [](QDialog& D) {
    auto* B = qobject_cast<TfrmBarrel*>(&D);
    test::Child<QLineEdit>(*B, "OuterEdit").setText("0");
    test::Child<QLineEdit>(*B, "ScalingEdit").setText("1");
    QTest::mouseClick(&test::Child<QPushButton>(*B, "ApplyButton"), Qt::LeftButton);
    EXPECT_TRUE(B->HasResult());
    return int(QDialog::Accepted);
  };
  test::Action(*W, "RadialAdjust1").trigger();
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Radial Adjust");
  EXPECT_TRUE(SamePixels(Shown(), *Before)); // a = b = c = 0, d = 1 changes nothing
  EXPECT_FALSE(test::Child<TfrmBarrel>(*W, "frmBarrel").HasResult());
  EXPECT_EQ(Prompt->Messages.size(), 2);
}

TEST_F(Editor, RadialSettingsSurviveTheWindow) {
  test::Child<QLineEdit>(test::Child<TfrmBarrel>(*W, "frmBarrel"), "InnerEdit").setText("0.125");
  W.reset();
  W = std::make_unique<TfrmAcquire>();
  EXPECT_EQ(test::Child<QLineEdit>(test::Child<TfrmBarrel>(*W, "frmBarrel"), "InnerEdit").text(),
            "0.125");
}

TEST_F(Editor, SaveOptionsOkStoresAndCancelKeeps) {
  const TSaveOptions Saved = TSaveOptions::FromEngine();
  Answer = [](QDialog& D) {
    auto* O = qobject_cast<TfrmFileSaveOptions*>(&D);
    EXPECT_EQ(O->windowTitle(), "File Save Options");
    test::Child<QRadioButton>(*O, "PackBitsButton").click();
    test::Child<QRadioButton>(*O, "CMYKButton").click();
    test::Child<QRadioButton>(*O, "MotorolaButton").click();
    test::Child<QRadioButton>(*O, "InchButton").click();
    test::Child<QLineEdit>(*O, "XNumEdit").setText("150");
    test::Child<QLineEdit>(*O, "YDenEdit").setText("2");
    test::Child<QSlider>(*O, "QualitySlider").setValue(55);
    test::Child<QRadioButton>(*O, "ReadFastButton").click();
    test::Child<QRadioButton>(*O, "WritePreciseButton").click();
    auto& Progressive = test::Child<QCheckBox>(*O, "ProgressiveBox");
    Progressive.setChecked(!Progressive.isChecked());
    test::Child<QRadioButton>(*O, "BinaryButton").click();
    test::Child<QLineEdit>(*O, "GammaEdit").setText("2.2");
    return int(QDialog::Accepted);
  };
  test::Action(*W, "SaveOptions1").trigger();
  const TSaveOptions Now = TSaveOptions::FromEngine();
  EXPECT_EQ(Now.TIFFCompression, kTIFFCompressionPackBits);
  EXPECT_TRUE(Now.TIFFCMYK);
  EXPECT_TRUE(Now.TIFFBigEndian);
  EXPECT_EQ(Now.TIFFResolutionUnit, 1);
  EXPECT_EQ(Now.XNumerator, 150u);
  EXPECT_EQ(Now.YDenominator, 2u);
  EXPECT_EQ(Now.JPEGQuality, 55);
  EXPECT_EQ(Now.JPEGReadDCT, 1);
  EXPECT_EQ(Now.JPEGWriteDCT, 0);
  EXPECT_NE(Now.JPEGProgressive, Saved.JPEGProgressive);
  EXPECT_TRUE(Now.PxMBinary);
  EXPECT_NEAR(double(Now.ScreenGamma), 2.2, 1e-12);

  // Cancel changes nothing; the window shows the engine's values when it opens.
  Answer = [](QDialog& D) {
    auto* O = qobject_cast<TfrmFileSaveOptions*>(&D);
    EXPECT_TRUE(test::Child<QRadioButton>(*O, "PackBitsButton").isChecked());
    EXPECT_EQ(test::Child<QSlider>(*O, "QualitySlider").value(), 55);
    test::Child<QRadioButton>(*O, "NoCompressionButton").click();
    test::Child<QSlider>(*O, "QualitySlider").setValue(10);
    return int(QDialog::Rejected);
  };
  test::Action(*W, "SaveOptions1").trigger();
  EXPECT_EQ(TSaveOptions::FromEngine().TIFFCompression, kTIFFCompressionPackBits);
  EXPECT_EQ(TSaveOptions::FromEngine().JPEGQuality, 55);

  // Showing the editor puts the JPEG quality back to 80.
  W->show();
  EXPECT_EQ(CurrentWriteOptions().JPEGQuality, 80);
  EXPECT_EQ(test::Child<QSlider>(test::Child<TfrmFileSaveOptions>(*W, "frmFileSaveOptions"),
                                 "QualitySlider")
                .value(),
            80);
  Saved.StoreToEngine();
}

TEST_F(Editor, SaveOptionsRefuseAnUnusableGamma) {
  test::TPromptScope Prompt;
  auto* O = &test::Child<TfrmFileSaveOptions>(*W, "frmFileSaveOptions");
  O->ShowOptions(TSaveOptions::FromEngine());
  test::Child<QLineEdit>(*O, "GammaEdit").setText("fast");
  test::Child<QDialogButtonBox>(*O, "Buttons").button(QDialogButtonBox::Ok)->click();
  EXPECT_EQ(Prompt->Messages, QStringList({"'fast' is not a valid screen gamma."}));
  test::Child<QLineEdit>(*O, "XDenEdit").setText("0");
  test::Child<QLineEdit>(*O, "GammaEdit").setText("1.8");
  TSaveOptions Out;
  QString Why;
  EXPECT_FALSE(O->ReadOptions(Out, Why));
}

TEST_F(Editor, ExportTrueColourAsGifAndReadItBack) {
  test::TPromptScope Prompt;
  Open(Picture("photo.bmp", 30, 20));
  int Refreshed = 0;
  QObject::connect(W.get(), &TfrmAcquire::FilesChanged, [&] { ++Refreshed; });
  W->ExecGIFDialog = [this](QFileDialog& D) {
    EXPECT_EQ(D.windowTitle(), "GIF89a Export");
    EXPECT_EQ(D.defaultSuffix(), "gif");
    return Folder + "/photo";
  };
  test::Action(*W, "ExportGIF1").trigger();
  EXPECT_EQ(Prompt->Messages,
            QStringList({"GIF images can only have 256 colors. I will optimize the colors..."}));
  auto Back = LoadPicture(Folder + "/photo.gif");
  EXPECT_EQ(Back->Width(), 30);
  EXPECT_EQ(Back->Height(), 20);
  EXPECT_EQ(Refreshed, 1);
  EXPECT_EQ(Shown().BitCountNum(), 3); // the picture itself stays as it was

  // A folder that does not exist: the error code, no file.
  W->ExecGIFDialog = [this](QFileDialog&) { return Folder + "/missing/x.gif"; };
  test::Action(*W, "ExportGIF1").trigger();
  ASSERT_EQ(Prompt->Messages.size(), 3);
  EXPECT_TRUE(Prompt->Messages[2].startsWith("Error exporting GIF  (code "));
  EXPECT_FALSE(QFile::exists(Folder + "/missing/x.gif"));
}

TEST_F(Editor, SaveAsOntoTheOpenedFileReplacesItWhole) {
  test::TPromptScope Prompt;
  const QString Path = Picture("same.bmp", 7, 5);
  Open(Path);
  test::Action(*W, "Rotate90CCW").trigger();
  W->ExecFileDialog = [&](TPGOpenDialog& D) {
    EXPECT_EQ(D.Title, "Orbisk Save File");
    EXPECT_EQ(D.Filter, EditorSaveFilter());
    EXPECT_TRUE(D.Options() & ofOverwritePrompt);
    EXPECT_EQ(D.FileName, Path);
    return true;
  };
  test::Action(*W, "SaveAs1").trigger();
  auto Back = LoadPicture(Path);
  EXPECT_TRUE(SamePixels(*Back, Shown()));
  EXPECT_TRUE(Prompt->Messages.isEmpty());
  // A write that cannot happen leaves no file and says why.
  W->ExecFileDialog = [&](TPGOpenDialog& D) {
    D.FileName = Folder + "/missing/out.bmp";
    return true;
  };
  test::Action(*W, "SaveAs1").trigger();
  EXPECT_EQ(Prompt->Messages.size(), 1);
  EXPECT_FALSE(QFile::exists(Folder + "/missing/out.bmp"));
  EXPECT_TRUE(SamePixels(*LoadPicture(Path), Shown()));
}

TEST_F(Editor, DroppedFilesFollowThePictureRule) {
  test::TPromptScope Prompt;
  test::WriteBytes(Folder + "/notes.txt", 10);
  const QString Good = Picture("good.bmp", 4, 3);
  auto Drop = [&](const QString& Path, TDragSource Source) {
    std::unique_ptr<QMimeData> Data(MakeFileDragData({Path}, Folder, Source));
    QWidget* Target = test::Child<TPGImage>(*W, "PGImage1").viewport();
    QDragEnterEvent Enter(QPoint(5, 5), Qt::CopyAction, Data.get(), Qt::LeftButton, {});
    QApplication::sendEvent(Target, &Enter);
    EXPECT_TRUE(Enter.isAccepted());
    QDropEvent Drop(QPointF(5, 5), Qt::CopyAction, Data.get(), Qt::LeftButton, {});
    QApplication::sendEvent(Target, &Drop);
  };
  Drop(Folder + "/notes.txt", TDragSource::dsFileList);
  EXPECT_EQ(Prompt->Messages, QStringList({"Can't edit " + Folder + "/notes.txt"}));
  EXPECT_FALSE(W->Picture());
  Drop(Good, TDragSource::dsThumbnailList);
  ASSERT_TRUE(W->Picture());
  EXPECT_EQ(Shown().Width(), 4);
  // A picture name whose contents are not a picture says the same.
  test::WriteBytes(Folder + "/fake.png", 50);
  Drop(Folder + "/fake.png", TDragSource::dsFileList);
  EXPECT_EQ(Prompt->Messages.last(), "Can't edit " + Folder + "/fake.png");
  EXPECT_EQ(Shown().Width(), 4); // the picture being edited stays
}

TEST_F(Editor, EditFileOnACorruptJpegSaysSoAndKeepsThePicture) {
  test::TPromptScope Prompt;
  Open(Picture("keep.bmp", 6, 6));
  test::Action(*W, "Emboss1").trigger();
  const QString Bad = Folder + "/broken.jpg";
  test::WriteData(Bad, QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11) + QByteArray(64, '\x13'));
  EXPECT_FALSE(W->EditFile(Bad));
  EXPECT_EQ(Prompt->Messages, QStringList({"Can not edit " + Bad}));
  ASSERT_TRUE(W->Picture());
  EXPECT_EQ(Shown().Width(), 6);
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Emboss");
  EXPECT_EQ(W->SaveFileName(), Folder + "/keep.bmp");
}

TEST_F(Editor, PlacementIsRestoredAfterARestart) {
  W->move(123, 77);
  W->resize(640, 420);
  W.reset();
  W = std::make_unique<TfrmAcquire>();
  EXPECT_EQ(W->pos(), QPoint(123, 77));
  EXPECT_EQ(W->size(), QSize(640, 420));
  EXPECT_TRUE(W->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(Editor, ScreenCaptureTakesTheScreenOrSaysItCannot) {
  test::TPromptScope Prompt;
  W->GrabScreen = [](QScreen*) {
    QImage I(64, 48, QImage::Format_RGB32);
    I.fill(QColor(10, 200, 30));
    return I;
  };
  test::Action(*W, "CaptureButton").trigger();
  ASSERT_TRUE(W->Picture());
  EXPECT_EQ(Shown().Width(), 64);
  EXPECT_EQ(Shown().BitCountNum(), 3);
  EXPECT_EQ(Shown().GetPixelColor(5, 5), RGBOf(10, 200, 30));
  EXPECT_FALSE(test::Action(*W, "Undo1").isEnabled()); // nothing was there before it
  SetScreenDepthQuery([] { return 4; });
  test::Action(*W, "CaptureButton").trigger();
  SetScreenDepthQuery(nullptr);
  EXPECT_EQ(Shown().BitCount(), 4);
  // The first capture was never saved: the second one asked (answered No) and keeps it for Undo.
  EXPECT_EQ(Prompt->Messages, QStringList({"Save changes to Untitled?"}));
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Screen Capture");
  Prompt->Messages.clear();
  W->GrabScreen = [](QScreen*) { return QImage(); };
  test::Action(*W, "CaptureButton").trigger();
  EXPECT_EQ(Prompt->Messages, QStringList({kScreenCaptureFailed}));
  EXPECT_EQ(Shown().BitCount(), 4);
}

TEST_F(Editor, ColourResolutionWindowFollowsTheChoices) {
  Open(Picture("c.bmp", 16, 16));
  Answer = [](QDialog& D) {
    auto* C = qobject_cast<TfrmColorRez*>(&D);
    EXPECT_TRUE(test::Child<QRadioButton>(*C, "Bits24Button").isChecked());
    EXPECT_TRUE(C->OkButton()->isEnabled());
    test::Child<QLineEdit>(*C, "Count8Edit").selectAll();
    QTest::keyClicks(&test::Child<QLineEdit>(*C, "Count8Edit"), "300");
    EXPECT_TRUE(test::Child<QRadioButton>(*C, "Bits8Button").isChecked());
    EXPECT_TRUE(test::Child<QRadioButton>(*C, "Optimized8Button").isChecked());
    EXPECT_FALSE(C->OkButton()->isEnabled());
    test::Child<QLineEdit>(*C, "Count8Edit").selectAll();
    QTest::keyClicks(&test::Child<QLineEdit>(*C, "Count8Edit"), " 64 ");
    EXPECT_TRUE(C->OkButton()->isEnabled());
    test::Child<QRadioButton>(*C, "Sys16Button")
        .click(); // a palette of another depth chooses that depth
    EXPECT_TRUE(test::Child<QRadioButton>(*C, "Bits4Button").isChecked());
    test::Child<QCheckBox>(*C, "DitherBox").click();
    EXPECT_FALSE(C->Choice().Dither);
    return int(QDialog::Accepted);
  };
  test::Action(*W, "ColorResolution1").trigger();
  EXPECT_EQ(Shown().BitCount(), 4);
  EXPECT_EQ(Shown().PaletteKind(), pSys16);
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Color Resolution");
  test::Action(*W, "Posterize1").trigger();
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Posterize");
  test::Action(*W, "Antique1").trigger();
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Greyscale");
}

TEST_F(Editor, EffectWindowPreviewsAndAppliesItsAmount) {
  Open(Picture("e.bmp", 60, 30));
  auto Before = LoadPicture(Folder + "/e.bmp");
  Answer = [](QDialog& D) {
    auto* E = qobject_cast<TfrmNewEFX*>(&D);
    EXPECT_EQ(E->windowTitle(), "Mosaic");
    EXPECT_EQ(test::Child<QSlider>(*E, "AmountSlider").value(), 0);
    EXPECT_EQ(E->Preview().Width(), 240);
    EXPECT_EQ(E->Preview().Height(), 120);
    EXPECT_EQ(E->PreviewRect(), QRect(5, 65, 240, 120));
    test::Child<QSlider>(*E, "AmountSlider").setValue(6);
    return int(QDialog::Accepted);
  };
  test::Action(*W, "Mosaic1").trigger();
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Mosaic");
  // Blocks of 6: the first block takes the pixel at offset 3.
  EXPECT_EQ(Shown().GetPixelColor(0, 0), Before->GetPixelColor(3, 3));
  EXPECT_EQ(Shown().GetPixelColor(5, 5), Before->GetPixelColor(3, 3));
  Answer = [](QDialog& D) {
    auto* E = qobject_cast<TfrmNewEFX*>(&D);
    EXPECT_EQ(E->windowTitle(), "Monochrome Noise");
    EXPECT_EQ(test::Child<QSlider>(*E, "AmountSlider").value(), 0); // reset every time
    return int(QDialog::Rejected);
  };
  test::Action(*W, "BWNoise1").trigger();
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Mosaic");
}

TEST_F(Editor, ArbitraryRotationAndGradientBorder) {
  test::TPromptScope Prompt;
  Open(Picture("g.bmp", 10, 10));
  auto Before = LoadPicture(Folder + "/g.bmp");
  Answer = [](QDialog& D) {
    auto* R = qobject_cast<TfRotate*>(&D);
    EXPECT_EQ(test::Child<QLineEdit>(*R, "AngleEdit").text(), "0");
    test::Child<QLineEdit>(*R, "AngleEdit").clear();
    QTest::keyClicks(&test::Child<QLineEdit>(*R, "AngleEdit"), "-9O0"); // only digits are taken
    EXPECT_EQ(test::Child<QLineEdit>(*R, "AngleEdit").text(), "90");
    test::Child<QRadioButton>(*R, "CounterClockwiseButton").click();
    return int(QDialog::Accepted);
  };
  test::Action(*W, "RotateArbitrary").trigger();
  // 360 - 90: the old top-left pixel lands bottom-left.
  EXPECT_EQ(Shown().GetPixelColor(0, 9), Before->GetPixelColor(0, 0));
  Answer = [](QDialog& D) {
    auto* R = qobject_cast<TfRotate*>(&D);
    test::Child<QLineEdit>(*R, "AngleEdit").clear();
    return int(QDialog::Accepted);
  };
  test::Action(*W, "RotateArbitrary").trigger();
  ASSERT_EQ(Prompt->Messages.size(), 1);
  EXPECT_EQ(Prompt->Messages[0], "'' is not a valid floating point value");
  Answer = [](QDialog& D) {
    auto* B = qobject_cast<TfrmBorder*>(&D);
    EXPECT_EQ(B->windowTitle(), "Border Options");
    EXPECT_EQ(test::Child<QLineEdit>(*B, "WidthEdit").text(), "20");
    EXPECT_EQ(B->Color(), 0xFFFFFFu);
    test::Child<QLineEdit>(*B, "WidthEdit").setText("3");
    B->SetColor(RGBOf(0, 0, 255));
    return int(QDialog::Accepted);
  };
  test::Action(*W, "GradientBorder1").trigger();
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Gradient Border");
  EXPECT_EQ(Shown().GetPixelColor(0, 0), RGBOf(0, 0, 255));
}

TEST_F(Editor, GifTransparencySelectorTakesTheColourUnderTheMouse) {
  TfrmGIFTrans* T = &test::Child<TfrmGIFTrans>(*W, "frmGIFTrans");
  auto G = Pattern(4, 2);
  T->resize(400, 300);
  T->show();
  T->Setup(*G);
  EXPECT_EQ(T->windowTitle(), "GIF Transparency Selector");
  EXPECT_EQ(T->SelectedColor(), 0u);
  const QRect R = T->PictureRect();
  ASSERT_FALSE(R.isEmpty());
  // The pixel (3, 1): the bottom-right quarter of the shown picture.
  T->PictureMouseMove(QPoint(R.right() - 1, R.bottom() - 1));
  const TRGB C = G->GetPixelColor(3, 1);
  EXPECT_EQ(T->SelectedColor(), C);
  EXPECT_EQ(test::Child<QLabel>(*T, "StatusPanel0").text(), "R=" + QString::number(RedOf(C)));
  EXPECT_EQ(test::Child<QLabel>(*T, "StatusPanel1").text(), "G=" + QString::number(GreenOf(C)));
  EXPECT_EQ(test::Child<QLabel>(*T, "StatusPanel2").text(), "B=" + QString::number(BlueOf(C)));
}

TEST_F(Editor, FilterEntriesComeWithTheEditorScannerEntriesWaitAndTheRunnerWorks) {
  Open(Picture("f.bmp", 8, 8));
  // Every editor has its filter dialogs; the scanner entries wait for a scanner.
  for (QAction* A :
       {&test::Action(*W, "RGB1"), &test::Action(*W, "CMY1"), &test::Action(*W, "YCbCr1"),
        &test::Action(*W, "HSL1"), &test::Action(*W, "HSV1"), &test::Action(*W, "BCG1"),
        &test::Action(*W, "Greyscale1"), &test::Action(*W, "Negative1"),
        &test::Action(*W, "Sharpen1"), &test::Action(*W, "Detail1"), &test::Action(*W, "Smooth1"),
        &test::Action(*W, "Blur1"), &test::Action(*W, "Contour1")})
    EXPECT_TRUE(A->isEnabled()) << A->text().toStdString();
  EXPECT_EQ(W->findChildren<TEditorFilterDialogs*>().size(), 1);
  for (QAction* A : {&test::Action(*W, "Select1"), &test::Action(*W, "Acquire1")})
    EXPECT_FALSE(A->isEnabled()) << A->text().toStdString();
  EXPECT_TRUE(W->RunOperation("Negative", [](TPixelGraphic& G) { G.SetPixelColor(0, 0, 1); }));
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Negative");
  EXPECT_EQ(Shown().GetPixelColor(0, 0), 1u);
  int Rows = 0;
  EXPECT_TRUE(W->RunReplacement("Sharpen", [&](const TPixelGraphic& Old, const auto& Progress) {
    auto N = std::make_unique<TPixelGraphic>();
    N->SetSize(Old.Width(), Old.Height(), 3);
    N->OnProgress = [&, Progress](TPixelGraphic* S, int Step, bool& Abort, int Max) {
      ++Rows;
      Progress(S, Step, Abort, Max);
    };
    for (int Y = 0; Y < 8; ++Y)
      N->DoProgress(Y, 7);
    return N;
  }));
  EXPECT_EQ(Rows, 8);
  EXPECT_GE(W->GaugeUpdates(), 1);
  EXPECT_EQ(test::Child<QLabel>(*W, "StatusPanel0").text(), "8 X 8");
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Sharpen");
}

TEST(EditorInBrowser, EditWithOrbiskOpensTheSelectedFile) {
  test::ResetUserFiles();
  test::TPromptScope Prompt;
  const QString Pics = test::MakeFolder("editpics");
  test::WritePicture(Pics + "/one.png", 12, 9);
  test::WriteData(Pics + "/two.jpg", QByteArray("\xFF\xD8\xFF", 3) + QByteArray(20, 'x'));
  auto F = std::make_unique<TForm1>();
  F->SetStartFile(Pics + "/one.png");
  F->show();
  QApplication::processEvents();
  for (QAction* A : {&test::Action(*F, "EditorButton"), &test::Action(*F, "Paintrel1"),
                     &test::Action(*F, "OpenOrbiskEditor1"), &test::Action(*F, "EditInOrbisk1")})
    EXPECT_TRUE(A->isEnabled()) << A->text().toStdString();
  F->SelectFileByName("one.png");
  test::Action(*F, "EditWithOrbisk1").trigger();
  TfrmAcquire* E = F->EditorWindow();
  ASSERT_TRUE(E->isVisible());
  ASSERT_TRUE(E->Picture());
  EXPECT_EQ(E->Picture()->Width(), 12);
  EXPECT_EQ(E->SaveFileName(), Pics + "/one.png");
  F->SelectFileByName("two.jpg");
  test::Action(*F, "OpenOrbiskEditor1").trigger();
  EXPECT_TRUE(Prompt->Messages.contains("Can not edit " + Pics + "/two.jpg"));
  E->hide();
  test::Action(*F, "EditorButton").trigger();
  EXPECT_TRUE(E->isVisible());
}

// Pictures of the editor for a person to look at, taken from the screen: not a test, so not run
// with the tests; scripts/editor-screenshots.sh runs it under a virtual X server with
// ORBISK_EDITOR_SHOTS set to a folder.
TEST(EditorShots, DISABLED_EditorAfterARotationAndTheColourResolutionWindow) {
  const QString Out = qEnvironmentVariable("ORBISK_EDITOR_SHOTS");
  if (Out.isEmpty()) GTEST_SKIP() << "ORBISK_EDITOR_SHOTS is not set";
  test::ResetUserFiles();
  TfrmAcquire W;
  auto G = std::make_unique<TPixelGraphic>();
  G->SetSize(420, 280, 3);
  for (int Y = 0; Y < 280; ++Y)
    for (int X = 0; X < 420; ++X)
      G->SetPixelColor(X, Y, RGBOf(X * 255 / 419, Y * 255 / 279, ((X / 35 + Y / 35) % 2) * 200));
  W.TakeAcquiredPicture(std::move(G));
  W.move(40, 40);
  W.resize(640, 520);
  W.show();
  test::Action(W, "Rotate90CW").trigger();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&W));
  QApplication::processEvents();
  QScreen* S = QGuiApplication::primaryScreen();
  ASSERT_TRUE(S->grabWindow(0).save(Out + "/editor-rotated.png"));
  test::Child<TfrmColorRez>(W, "frmColorRez").move(720, 40);
  test::Child<TfrmColorRez>(W, "frmColorRez").show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&test::Child<TfrmColorRez>(W, "frmColorRez")));
  QApplication::processEvents();
  ASSERT_TRUE(S->grabWindow(0).save(Out + "/editor-colour-resolution.png"));
  test::Child<TfrmColorRez>(W, "frmColorRez").hide();
}
