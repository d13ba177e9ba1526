// The image editor's filter dialogs: one of each kind, created with the editor and keeping their
// settings between uses; its "Filters" menu entries run them. Colour filters run in place on the
// editor's picture; convolution filters make a new picture that replaces it. Both go through the
// editor's undo and progress rules.
#pragma once

#include "processing/editor/filterdialogs.h"

#include <QObject>
#include <QString>

#include <functional>

namespace orbisk {

class TfrmAcquire;

class TEditorFilterDialogs : public QObject {
  Q_OBJECT
public:
  // Creates the dialogs (children of this object, itself a child of the editor).
  explicit TEditorFilterDialogs(TfrmAcquire& Editor);
  ~TEditorFilterDialogs() override;

  // Closes an open filter window (as Cancel) with its preview workers stopped and joined; the
  // editor calls it before its picture goes away.
  void CloseWindows();

  TRGBFilterDialog* RGBFilterDialog1;
  TCMYFilterDialog* CMYFilterDialog1;
  TYCbCrFilterDialog* YCbCrFilterDialog1;
  THLSFilterDialog* HLSFilterDialog1;
  THSVFilterDialog* HSVFilterDialog1;
  TBCGFilterDialog* BCGFilterDialog1;
  TGrayScaleFilterDialog* GrayScaleFilterDialog1;
  TNegativeFilterDialog* NegativeFilterDialog1;
  TSharpenFilterDialog* SharpenFilterDialog1;
  TDetailFilterDialog* DetailFilterDialog1;
  TSmoothFilterDialog* SmoothFilterDialog1;
  TBlurFilterDialog* BlurFilterDialog1;
  TContourFilterDialog* ContourFilterDialog1;

  // A colour filter entry: the dialog previews the current picture; on OK its filter runs in
  // place under the action name. False when cancelled or nothing ran.
  bool RunColorFilter(TPreviewFilterDialog& Dialog, const QString& ActionName);
  // A convolution filter entry: on OK the filter makes a new (24-bit) picture that replaces the
  // current one.
  bool RunConvFilter(TConvFilterDialog& Dialog, const QString& ActionName);

private:
  TfrmAcquire& FEditor;
};

} // namespace orbisk
