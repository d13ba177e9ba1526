#include "app/startup.h"

#include "albums/albumwindow.h"
#include "browser/bmedit.h"
#include "browser/converterwindow.h"
#include "browser/searchwindow.h"
#include "view/fileprop.h"
#include "browser/mainwindow.h"
#include "browser/prefs.h"
#include "processing/editor/acquire.h"
#include "metadata/ui/exifwindow.h"
#include "thumbnails/thumbedit.h"
#include "thumbnails/thumbexplorer.h"

namespace orbisk {

std::unique_ptr<TForm1> CreateWindows(const QString& StartFile) {
  // The windows in their creation order. Windows not part of the program yet are listed in
  // their place as comments; each joins here when it arrives.
  auto Form1 = std::make_unique<TForm1>();
  Form1->SetStartFile(StartFile);
  // TfSelectFiles (file manager window)
  Form1->SetAboutBox(new TfAbout(Form1.get()));
  Form1->SetPrefsWindow(new TfPrefs(Form1.get()));
  // TfRename, TFileAttrForm, TfDirAdd (file operations)
  Form1->SetSearchWindow(new TfSearch(Form1.get())); // file search
  // TfAPrefs (album preferences)
  Form1->SetBookmarkEditor(new TfBMEdit(Form1.get()));
  Form1->SetAlbumWindow(new TfAlbum(Form1.get())); // with its TfAPrefs and caption editor
  // The image editor makes its operation windows itself, in their order.
  Form1->SetEditorWindow(new TfrmAcquire(Form1.get())); // with its filter dialogs
  // TfRotate (rotation), TfrmBorder (borders), TfrmColorRez (colour resolution)
  Form1->SetFilePropWindow(new TfrmFileProp(Form1.get()));
  // TfrmResize (resize), TfrmNewEFX (effects)
  Form1->ConverterWindow(); // TfrmConvert (picture converter)
  // TfrmGIFTrans (GIF export)
  // TfrmThumbnails, TfrmSaveThumbnail (thumbnail explorer); TfrmTesslyOptions, TfrmThumbEdit
  Form1->SetThumbnailWindows(new TfrmThumbnails(Form1.get()), new TfrmThumbEdit(Form1.get()));
  // TfrmSelectFolder (thumbnail explorer), TfrmPubWizard (web album wizard)
  // TfrmRedEyeReduction (red-eye), TfrmBarrel (lens correction)
  // TfrmIncRename (incremental rename)
  Form1->SetExifWindow(new TfrmEXIF(Form1.get()));
  // TfrmGaussianBlur (blur)
  return Form1;
}

} // namespace orbisk
