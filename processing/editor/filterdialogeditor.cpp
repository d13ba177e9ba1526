#include "processing/editor/filterdialogeditor.h"

#include "processing/editor/acquire.h"

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
