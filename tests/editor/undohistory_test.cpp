// The editor window's undo history driven by keys: ctrl+Z and ctrl+shift+Z walk the steps, the
// menu entries name them, and the picture's file name and changed state follow.
#include "processing/editor/acquire.h"
#include "tests/browser/browsertest.h"
#include "tests/common/widgetfind.h"
#include "view/pgimage.h"
#include "view/previewdialogs.h"

#include <QDialog>
#include <gtest/gtest.h>

#include <memory>

using namespace orbisk;

namespace {

class EditorHistory : public ::testing::Test {
protected:
  void SetUp() override {
    test::ResetUserFiles();
    Folder = test::MakeFolder("history");
    W = std::make_unique<TfrmAcquire>();
    W->CurrentFolder = [this] { return Folder; };
    W->ExecDialog = [](QDialog&) { return int(QDialog::Accepted); };
    Path = Folder + "/a.png";
    test::WritePicture(Path, 6, 4);
    W->show();
    ASSERT_TRUE(W->EditFile(Path));
  }
  void TearDown() override { W.reset(); }

  void Key(int K, Qt::KeyboardModifiers M = Qt::ControlModifier) {
    test::Key(&test::Child<TPGImage>(*W, "PGImage1"), K, M);
  }
  QString Size() const { return W->SizeText(); }
  QString UndoText() { return test::Action(*W, "Undo1").text(); }
  QString RedoText() { return test::Action(*W, "Redo1").text(); }

  QString Folder, Path;
  std::unique_ptr<TfrmAcquire> W;
};

} // namespace

TEST_F(EditorHistory, KeysWalkTheStepsBackAndForth) {
  test::TPromptScope Prompt;
  EXPECT_FALSE(test::Action(*W, "Redo1").isEnabled());
  EXPECT_EQ(RedoText(), "Redo");
  test::Action(*W, "Rotate90CW").trigger();
  test::Action(*W, "Bevel1").trigger();
  test::Action(*W, "FlipVertical1").trigger();
  EXPECT_EQ(Size(), "4 X 6");
  EXPECT_EQ(UndoText(), "Undo Flip Vertical");

  Key(Qt::Key_Z);
  EXPECT_EQ(UndoText(), "Undo 3D Bevel");
  EXPECT_EQ(RedoText(), "Redo Flip Vertical");
  Key(Qt::Key_Z);
  Key(Qt::Key_Z);
  EXPECT_EQ(Size(), "6 X 4");
  EXPECT_FALSE(test::Action(*W, "Undo1").isEnabled());
  EXPECT_EQ(UndoText(), "Undo");
  EXPECT_FALSE(W->Modified()); // back as opened
  Key(Qt::Key_Z);              // nothing older: nothing happens
  EXPECT_EQ(RedoText(), "Redo Rotate");

  Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(Size(), "4 X 6");
  EXPECT_TRUE(W->Modified());
  EXPECT_EQ(UndoText(), "Undo Rotate");
  EXPECT_EQ(RedoText(), "Redo 3D Bevel");
  // A new step forgets the steps that could be made again.
  test::Action(*W, "Rotate180").trigger();
  EXPECT_FALSE(test::Action(*W, "Redo1").isEnabled());
  EXPECT_EQ(RedoText(), "Redo");
  EXPECT_TRUE(Prompt->Messages.isEmpty());
}

TEST_F(EditorHistory, StatesKeepTheNameTheyWereSavedUnder) {
  test::TPromptScope Prompt;
  test::Action(*W, "Rotate90CW").trigger();
  const QString Other = Folder + "/b.bmp";
  W->ExecFileDialog = [&](TPGOpenDialog& D) {
    D.FileName = Other;
    return true;
  };
  test::Action(*W, "SaveAs1").trigger();
  W->ExecFileDialog = nullptr;
  EXPECT_EQ(W->SaveFileName(), Other);
  test::Action(*W, "Bevel1").trigger();
  Key(Qt::Key_Z);
  Key(Qt::Key_Z);
  // The picture as opened, under the name its changes were saved as, and no longer the file.
  EXPECT_EQ(Size(), "6 X 4");
  EXPECT_EQ(W->SaveFileName(), Other);
  EXPECT_TRUE(W->Modified());
  Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_FALSE(W->Modified()); // what b.bmp holds
  EXPECT_EQ(W->SaveFileName(), Other);

  // A scanned picture replaces this one: undoing it gives back this picture with its name.
  auto Scan = std::make_unique<TPixelGraphic>();
  Scan->SetSize(3, 3, 3);
  W->TakeAcquiredPicture(std::move(Scan));
  EXPECT_EQ(UndoText(), "Undo Acquire");
  EXPECT_TRUE(W->SaveFileName().isEmpty());
  Key(Qt::Key_Z);
  EXPECT_EQ(W->SaveFileName(), Other);
  EXPECT_FALSE(W->Modified());
  Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(Size(), "3 X 3");
  EXPECT_TRUE(W->Modified()); // the scan was never saved
  EXPECT_TRUE(Prompt->Messages.isEmpty());
}
