// The explorer's list model: the folder listing of the main window's file list, plus the cells
// of the thumbnail view (item i shows cell i) and drags marked as the explorer's.
#pragma once

#include "view/filelist.h"

#include <QHash>
#include <QIdentityProxyModel>
#include <QPixmap>

namespace orbisk {

class TPixelGraphic;

class TThumbListModel : public QIdentityProxyModel {
  Q_OBJECT
public:
  explicit TThumbListModel(TFileListModel* Source, QObject* Parent = nullptr);

  QVariant data(const QModelIndex& Index, int Role) const override;
  // The explorer's first column reads "Name" whichever files are listed.
  QVariant headerData(int Section, Qt::Orientation Orientation, int Role) const override;
  QMimeData* mimeData(const QModelIndexList& Indexes) const override;

  TFileListModel* Files() const { return FFiles; }
  // Cells shown as the items' pictures (the thumbnail view).
  void SetShowCells(bool V);
  bool ShowCells() const { return FShowCells; }
  // The side of the cells (64 at first); a new size empties the image list.
  void SetCellSize(int S);
  int CellSize() const { return FCellSize; }
  // Empties the image list.
  void ClearCells();
  // Gives the item of that file name its cell (cells follow their items when the list is sorted).
  // RowHint: where the item stood when its cell was asked for.
  void SetCell(int RowHint, const QString& Name, const TPixelGraphic& Cell);
  bool HasCell(int Row) const;
  QImage Cell(int Row) const;
  int CellCount() const { return static_cast<int>(FCells.size()); }

private:
  TFileListModel* FFiles;
  QHash<QString, QPixmap> FCells; // by file name
  mutable QPixmap FEmptyCell;
  bool FShowCells = false;
  int FCellSize = 64;
};

} // namespace orbisk
