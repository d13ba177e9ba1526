// TfrmTessly: the one-picture viewer of the thumbnail explorer and the sheet creator. A window
// on top of the others holding one image view that fits the picture with its aspect ratio kept.
#pragma once

#include <QWidget>

namespace orbisk {

class TPGImage;

class TfrmTessly : public QWidget {
  Q_OBJECT
public:
  explicit TfrmTessly(QWidget* Parent = nullptr);
  // The window's image view (what the viewer shows and how).
  TPGImage* View() const { return PGImage1; }

  static constexpr int kWidth = 415, kHeight = 449;

private:
  TPGImage* PGImage1 = nullptr; // "PGImage1"
};

// Opens a new viewer for the file (several may be open; each is destroyed when closed), sized to
// the picture plus Margin pixels each way when it is smaller than the screen in both directions,
// otherwise to the view's displayed picture size plus Margin. Errors propagate after the viewer
// has been closed.
TfrmTessly* ViewImage(const QString& Path, int Margin);

} // namespace orbisk
