// The editor's filter entries: each opens its dialog from the "Filters" menu; on OK the filter
// changes the picture through the editor's undo.
#include "processing/editor/filterdialogeditor.h"

#include "app/startup.h"
#include "browser/mainwindow.h"
#include "processing/editor/acquire.h"
#include "processing/editor/filterdialogpreview.h"
#include "tests/common/widgetfind.h"
#include "tests/browser/browsertest.h"
#include "view/pgimage.h"

#include <QAction>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

using namespace orbisk;

namespace {

std::unique_ptr<TPixelGraphic> Pattern(int W, int H) {
  auto G = std::make_unique<TPixelGraphic>();
  G->SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G->SetPixelColor(X, Y, RGBOf((X * 37) & 255, (Y * 53) & 255, ((X + Y) * 19) & 255));
  return G;
}

bool SamePixels(const TPixelGraphic& A, const TPixelGraphic& B) {
  return A.Width() == B.Width() && A.Height() == B.Height() && A.BitCountNum() == B.BitCountNum() &&
         std::memcmp(A.Bits(), B.Bits(), size_t(A.ImageSize())) == 0;
}

// Triggers the menu entry while Drive answers the dialog's window (cancelled if left open).
void Choose(QAction* Entry, TFilterDialog& D,
            const std::function<void(TFilterDialogForm&)>& Drive) {
  QTimer::singleShot(10, [&D, Drive] {
    if (!D.Form()) return;
    Drive(*D.Form());
    if (D.Form() && D.Form()->isVisible()) D.Form()->reject();
  });
  Entry->trigger();
}

class EditorFilters : public ::testing::Test {
protected:
  void SetUp() override {
    test::ResetUserFiles();
    W = std::make_unique<TfrmAcquire>();
    Dialogs = W->findChild<TEditorFilterDialogs*>(); // the editor's own
    ASSERT_NE(Dialogs, nullptr);
    W->TakeAcquiredPicture(Pattern(60, 40));
    W->Model().SetModified(false); // as if saved: clearing it asks nothing
    Original = std::make_unique<TPixelGraphic>();
    Original->Assign(W->Picture());
  }
  void TearDown() override { W.reset(); }

  std::unique_ptr<TfrmAcquire> W;
  TEditorFilterDialogs* Dialogs = nullptr;
  std::unique_ptr<TPixelGraphic> Original;
};

} // namespace

TEST_F(EditorFilters, ColourFilterRunsInPlaceAndUndoRestores) {
  EXPECT_TRUE(test::Action(*W, "RGB1").isEnabled());
  bool Previewed = false;
  Choose(&test::Action(*W, "RGB1"), *Dialogs->RGBFilterDialog1, [&](TFilterDialogForm& F) {
    F.SliderControl(0)->setValue(10);
    // The preview is made from the editor's picture.
    Previewed = QTest::qWaitFor([&] { return F.Preview()->ResultsShown() >= 1; }) &&
                F.PreviewView()->PixelGraphicNoWait()->Width() == 60;
    F.OKButton()->click();
  });
  EXPECT_TRUE(Previewed);
  const TPixelGraphic* G = W->Picture();
  ASSERT_NE(G, nullptr);
  for (int X = 0; X < 60; X += 7) {
    const TRGB Before = Original->GetPixelColor(X, 5), After = G->GetPixelColor(X, 5);
    EXPECT_EQ(int(RedOf(After)), std::min(255, int(RedOf(Before)) + 25)) << X;
    EXPECT_EQ(GreenOf(After), GreenOf(Before));
  }
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo RGB");
  test::Action(*W, "Undo1").trigger();
  EXPECT_TRUE(SamePixels(*W->Picture(), *Original));

  // Cancel changes nothing, not even the undo.
  Choose(&test::Action(*W, "HSV1"), *Dialogs->HSVFilterDialog1, [&](TFilterDialogForm& F) {
    F.SliderControl(0)->setValue(90);
    F.CancelButton()->click();
  });
  EXPECT_TRUE(SamePixels(*W->Picture(), *Original));
  EXPECT_EQ(Dialogs->HSVFilterDialog1->H(), 0);
  EXPECT_FALSE(test::Action(*W, "Undo1").isEnabled());
}

TEST_F(EditorFilters, ConvolutionFilterMakesANewPictureAndUndoRestores) {
  Choose(&test::Action(*W, "Sharpen1"), *Dialogs->SharpenFilterDialog1, [&](TFilterDialogForm& F) {
    F.SliderControl(1)->setValue(100);
    F.OKButton()->click();
  });
  const TPixelGraphic* After = W->Picture();
  ASSERT_NE(After, nullptr);
  EXPECT_EQ(After->Width(), 60);
  EXPECT_EQ(After->BitCount(), 24);
  EXPECT_FALSE(SamePixels(*After, *Original));
  // The same result as the dialog's filter applied to the old picture.
  TPixelGraphic Expected;
  ApplyFilter(Expected, Dialogs->SharpenFilterDialog1->Filter(), *Original);
  EXPECT_TRUE(SamePixels(*After, Expected));
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Sharpen");
  test::Action(*W, "Undo1").trigger();
  EXPECT_TRUE(SamePixels(*W->Picture(), *Original));
}

TEST_F(EditorFilters, NoPictureOpensNoDialog) {
  W->NewClick();
  bool Opened = false;
  Choose(&test::Action(*W, "Negative1"), *Dialogs->NegativeFilterDialog1,
         [&](TFilterDialogForm&) { Opened = true; });
  QTest::qWait(50);
  EXPECT_FALSE(Opened);
}

TEST(EditorFilterEntries, TheProgramsEditorHasItsFilterDialogs) {
  test::ResetUserFiles();
  std::unique_ptr<TForm1> F = CreateWindows(QString());
  TfrmAcquire* E = F->EditorWindow();
  ASSERT_NE(E, nullptr);
  EXPECT_EQ(E->findChildren<TEditorFilterDialogs*>().size(), 1);
  for (QAction* A :
       {&test::Action(*E, "RGB1"), &test::Action(*E, "CMY1"), &test::Action(*E, "YCbCr1"),
        &test::Action(*E, "HSL1"), &test::Action(*E, "HSV1"), &test::Action(*E, "BCG1"),
        &test::Action(*E, "Greyscale1"), &test::Action(*E, "Negative1"),
        &test::Action(*E, "Sharpen1"), &test::Action(*E, "Detail1"), &test::Action(*E, "Smooth1"),
        &test::Action(*E, "Blur1"), &test::Action(*E, "Contour1")})
    EXPECT_TRUE(A->isEnabled()) << A->text().toStdString();
}
