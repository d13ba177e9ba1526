// The editor's lossless JPEG saving, driven through its menus: turns and flips of a JPEG are
// saved from the DCT coefficients (orientation tag 1); any other change, a change of the file on
// disk, or a size with partial blocks falls back to encoding; Undo brings the lossless way back.
// Pictures with a camera orientation open upright and are saved upright.
#include "engine/orientation.h"
#include "platform/autoorient.h"
#include "processing/editor/acquire.h"
#include "processing/editor/losslesssave.h"
#include "processing/jpegturn.h"
#include "tests/browser/browsertest.h"
#include "tests/common/widgetfind.h"
#include "tests/common/orientationfixture.h"
#include "tests/common/testutil.h"
#include "view/pgimage.h"
#include "view/previewdialogs.h"

#include <QAction>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace orbisk;

namespace {

std::vector<uint8_t> ScanData(const std::vector<uint8_t>& D) {
  for (size_t I = 2; I + 1 < D.size(); ++I)
    if (D[I] == 0xFF && D[I + 1] == 0xDA) return std::vector<uint8_t>(D.begin() + I, D.end());
  return {};
}

class LosslessEditor : public ::testing::Test {
protected:
  void SetUp() override {
    test::ResetUserFiles();
    SetAutoOrientPictures(true);
    Folder = test::MakeFolder("lossless");
    W = std::make_unique<TfrmAcquire>();
    W->CurrentFolder = [this] { return Folder; };
    W->ExecDialog = [](QDialog&) { return int(QDialog::Accepted); };
    test::MakeUpright(Upright, 64, 48);
  }
  void TearDown() override {
    W.reset();
    SetAutoOrientPictures(true);
  }

  QString Write(const char* Name, const std::vector<uint8_t>& Data) {
    const QString P = Folder + "/" + Name;
    test::WriteFileBytes(P.toStdString(), Data);
    return P;
  }

  void SaveAs(const QString& Path) {
    W->ExecFileDialog = [Path](TPGOpenDialog& D) {
      D.FileName = Path;
      return true;
    };
    test::Action(*W, "SaveAs1").trigger();
    W->ExecFileDialog = nullptr;
  }

  static std::vector<uint8_t> Bytes(const QString& P) {
    return test::ReadFileBytes(P.toStdString());
  }

  QString Folder;
  std::unique_ptr<TfrmAcquire> W;
  TPixelGraphic Upright;
};

TEST_F(LosslessEditor, TurnsAndFlipsAreSavedFromTheCoefficients) {
  test::TPromptScope Prompt;
  const auto Original = test::EncodeJPEG(Upright);
  const QString In = Write("in.jpg", Original);
  ASSERT_TRUE(W->EditFile(In));
  test::Action(*W, "Rotate90CW").trigger();
  test::Action(*W, "FlipHorizontal1").trigger();
  test::Action(*W, "Rotate180").trigger();
  test::Action(*W, "Rotate90CCW").trigger();
  test::Action(*W, "FlipVertical1").trigger();
  test::Action(*W, "RotateRightButton").trigger();
  const int Net = W->Lossless().Turn();
  EXPECT_NE(Net, 1);
  const QString Out = Folder + "/out.jpg";
  SaveAs(Out);
  EXPECT_TRUE(W->LastSaveLossless());
  EXPECT_TRUE(Prompt->Messages.isEmpty()) << Prompt->Messages.join("|").toStdString();
  EXPECT_EQ(Bytes(Out),
            TurnJPEGLossless(Original.data(), Original.size(), Net, TJPEGTurnEdge::jePerfect));
  TPixelGraphic Saved;
  Saved.LoadFromFile(Out.toStdString());
  EXPECT_TRUE(SamePicture(Saved, *W->Picture())); // what the editor shows
  // Four quarter turns give the original scan data back.
  ASSERT_TRUE(W->EditFile(In));
  for (int I = 0; I < 4; ++I)
    test::Action(*W, "RotateLeftButton").trigger();
  SaveAs(Out);
  EXPECT_TRUE(W->LastSaveLossless());
  EXPECT_EQ(ScanData(Bytes(Out)), ScanData(Original));
}

TEST_F(LosslessEditor, OtherChangesAreEncodedAndUndoBringsTheLosslessWayBack) {
  const QString In = Write("in.jpg", test::EncodeJPEG(Upright));
  ASSERT_TRUE(W->EditFile(In));
  test::Action(*W, "Rotate90CW").trigger();
  test::Action(*W, "Emboss1").trigger();
  const QString Out = Folder + "/out.jpg";
  SaveAs(Out);
  EXPECT_FALSE(W->LastSaveLossless());
  TPixelGraphic G;
  G.LoadFromFile(Out.toStdString());
  EXPECT_EQ(G.Width(), 48); // turned and embossed, encoded
  EXPECT_NEAR(int(GreenOf(G.GetPixelColor(8, 8))), int(RedOf(G.GetPixelColor(8, 8))), 3); // grey

  test::Action(*W, "Undo1").trigger(); // back to the turn only
  SaveAs(Out);
  EXPECT_TRUE(W->LastSaveLossless());
  // Saving as another type always encodes.
  SaveAs(Folder + "/out.bmp");
  EXPECT_FALSE(W->LastSaveLossless());

  // The source file changed on disk since it was opened: its coefficients are not the picture's.
  ASSERT_TRUE(W->EditFile(In));
  test::Action(*W, "Rotate90CW").trigger();
  TPixelGraphic Other;
  test::MakeUpright(Other, 32, 32);
  test::WriteFileBytes(In.toStdString(), test::EncodeJPEG(Other));
  SaveAs(Out);
  EXPECT_FALSE(W->LastSaveLossless());
  G.LoadFromFile(Out.toStdString());
  EXPECT_EQ(G.Width(), 48);
  EXPECT_EQ(G.Height(), 64);
}

TEST_F(LosslessEditor, PartialBlocksAreEncodedWholeRatherThanTrimmed) {
  TPixelGraphic Odd;
  test::MakeUpright(Odd, 37, 21);
  const QString In = Write("odd.jpg", test::EncodeJPEG(Odd));
  ASSERT_TRUE(W->EditFile(In));
  test::Action(*W, "Rotate90CW").trigger();
  const QString Out = Folder + "/odd-out.jpg";
  SaveAs(Out);
  EXPECT_FALSE(W->LastSaveLossless());
  TPixelGraphic G;
  G.LoadFromFile(Out.toStdString());
  EXPECT_EQ(G.Width(), 21);
  EXPECT_EQ(G.Height(), 37);
  // Transposing moves no edge: lossless even here.
  ASSERT_TRUE(W->EditFile(In));
  test::Action(*W, "Rotate90CW").trigger();
  test::Action(*W, "FlipHorizontal1").trigger();
  SaveAs(Out);
  EXPECT_TRUE(W->LastSaveLossless());
}

TEST_F(LosslessEditor, CameraOrientationOpensUprightAndSavesUpright) {
  TPixelGraphic Stored;
  test::MakeStored(Upright, 6, Stored);
  const QString In =
      Write("camera.jpg", test::WithApp1(test::EncodeJPEG(Stored), test::ExifBlock(6)));
  ASSERT_TRUE(W->EditFile(In));
  EXPECT_EQ(W->Picture()->Width(), 64); // shown upright
  // Saved over itself without any change: upright coefficients, orientation 1, same look.
  SaveAs(In);
  EXPECT_TRUE(W->LastSaveLossless());
  TPixelGraphic G;
  G.LoadFromFile(In.toStdString());
  EXPECT_EQ(G.ExifOrientation, 1);
  EXPECT_EQ(G.Width(), 64);
  EXPECT_TRUE(SamePicture(G, *W->Picture()));

  // With the preference off the editor shows and saves the picture as stored.
  SetAutoOrientPictures(false);
  const QString In2 =
      Write("camera2.jpg", test::WithApp1(test::EncodeJPEG(Stored), test::ExifBlock(6)));
  ASSERT_TRUE(W->EditFile(In2));
  EXPECT_EQ(W->Picture()->Width(), 48);
  test::Action(*W, "Rotate90CW").trigger();
  SaveAs(In2);
  EXPECT_TRUE(W->LastSaveLossless());
  G.LoadFromFile(In2.toStdString());
  EXPECT_EQ(G.ExifOrientation, 1);
  EXPECT_EQ(G.Width(), 64);
}

} // namespace
