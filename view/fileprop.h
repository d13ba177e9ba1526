// TfrmFileProp: the "Image Properties" window. What the engine can tell about one picture file
// without decoding it (format, size, colours, number of pictures) beside a small preview, over a
// dark-red-to-black background.
#pragma once

#include <QDialog>
#include <QMap>
#include <QString>
#include <QStringList>

class QLabel;
class QPushButton;

namespace orbisk {

class TPGImage;
class TPixelGraphic;

class TfrmFileProp : public QDialog {
  Q_OBJECT
public:
  explicit TfrmFileProp(QWidget* Parent = nullptr);
  ~TfrmFileProp() override;

  // The file to describe; read again every time the window is shown.
  QString FileName;
  // Shows the window modally for Path.
  int Execute(const QString& Path);
  // Fills the window from FileName (done when it is shown).
  void Refresh();

  // The captions, top to bottom.
  static const QStringList& Captions();
  // The value shown beside a caption ("" when none).
  QString Value(const QString& Caption) const { return FValues.value(Caption); }
  // A line under the values saying why there is no preview ("" when there is one).
  QString Note() const;
  bool PreviewShown() const;
  TPGImage* BackgroundView() const { return FBackground; }
  TPGImage* PreviewView() const { return FPreview; }
  QPushButton* OKButton() const { return FOK; }

  // Files from this size on are described without a preview.
  static constexpr qint64 kPreviewSizeLimit = 6145024;
  static constexpr int kWidth = 460, kHeight = 290;

protected:
  void showEvent(QShowEvent* E) override;

private:
  void SetValue(const QString& Caption, const QString& Text);
  void SetNote(const QString& Text);

  TPGImage* FBackground;
  TPGImage* FPreview;
  QPushButton* FOK;
  QLabel* FNote;
  QMap<QString, QLabel*> FValueLabels;
  QMap<QString, QString> FValues;
};

// The window's background: a 24-bit W x H picture whose column x has red 140 + x * (0 - 140) div W.
void MakePropertiesGradient(TPixelGraphic& G, int W, int H);

} // namespace orbisk
