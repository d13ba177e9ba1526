#include "processing/editor/filterdialogeditor.h"

#include "processing/editor/acquire.h"

#include <QAction>

namespace orbisk {

TEditorFilterDialogs::TEditorFilterDialogs(TfrmAcquire& Editor)
    : QObject(&Editor), FEditor(Editor) {
  RGBFilterDialog1 = new TRGBFilterDialog(this);
  CMYFilterDialog1 = new TCMYFilterDialog(this);
  YCbCrFilterDialog1 = new TYCbCrFilterDialog(this);
  HLSFilterDialog1 = new THLSFilterDialog(this);
  HSVFilterDialog1 = new THSVFilterDialog(this);
  BCGFilterDialog1 = new TBCGFilterDialog(this);
  GrayScaleFilterDialog1 = new TGrayScaleFilterDialog(this);
  NegativeFilterDialog1 = new TNegativeFilterDialog(this);
  SharpenFilterDialog1 = new TSharpenFilterDialog(this);
  DetailFilterDialog1 = new TDetailFilterDialog(this);
  SmoothFilterDialog1 = new TSmoothFilterDialog(this);
  BlurFilterDialog1 = new TBlurFilterDialog(this);
  ContourFilterDialog1 = new TContourFilterDialog(this);

  auto Color = [this](QAction* A, TPreviewFilterDialog* D, const char* Name) {
    connect(A, &QAction::triggered, this, [this, D, Name] { RunColorFilter(*D, Name); });
    A->setEnabled(true);
  };
  auto Conv = [this](QAction* A, TConvFilterDialog* D, const char* Name) {
    connect(A, &QAction::triggered, this, [this, D, Name] { RunConvFilter(*D, Name); });
    A->setEnabled(true);
  };
  Color(Editor.RGB1, RGBFilterDialog1, "RGB");
  Color(Editor.CMY1, CMYFilterDialog1, "CMY");
  Color(Editor.YCbCr1, YCbCrFilterDialog1, "YCbCr");
  Color(Editor.HSL1, HLSFilterDialog1, "HSL");
  Color(Editor.HSV1, HSVFilterDialog1, "HSV");
  Color(Editor.BCG1, BCGFilterDialog1, "BCG");
  Color(Editor.Greyscale1, GrayScaleFilterDialog1, "Greyscale");
  Color(Editor.Negative1, NegativeFilterDialog1, "Negative");
  Conv(Editor.Sharpen1, SharpenFilterDialog1, "Sharpen");
  Conv(Editor.Detail1, DetailFilterDialog1, "Detail");
  Conv(Editor.Smooth1, SmoothFilterDialog1, "Smooth");
  Conv(Editor.Blur1, BlurFilterDialog1, "Blur");
  Conv(Editor.Contour1, ContourFilterDialog1, "Contour");
}

TEditorFilterDialogs::~TEditorFilterDialogs() {
  CloseWindows();
}

void TEditorFilterDialogs::CloseWindows() {
  for (TFilterDialog* D : findChildren<TFilterDialog*>(Qt::FindDirectChildrenOnly))
    D->CloseWindow();
}

bool TEditorFilterDialogs::RunColorFilter(TPreviewFilterDialog& Dialog, const QString& ActionName) {
  if (!FEditor.HasPicture()) return false;
  // The picture does not change while the window is open (it is modal), and the preview
  // workers are joined before Execute returns.
  if (!Dialog.Execute(FEditor.Picture())) return false;
  return FEditor.RunOperation(ActionName, [&Dialog](TPixelGraphic& Picture) {
    ApplyFilter(Picture, Dialog.Filter(), Picture);
  });
}

bool TEditorFilterDialogs::RunConvFilter(TConvFilterDialog& Dialog, const QString& ActionName) {
  if (!FEditor.HasPicture()) return false;
  if (!Dialog.Execute()) return false;
  return FEditor.RunReplacement(
      ActionName,
      [&Dialog](const TPixelGraphic& Old, const TPixelGraphic::TProgressEvent& Progress) {
        auto New = std::make_unique<TPixelGraphic>();
        New->OnProgress = Progress;
        ApplyFilter(*New, Dialog.Filter(), Old);
        New->OnProgress = nullptr;
        return New;
      });
}

} // namespace orbisk
