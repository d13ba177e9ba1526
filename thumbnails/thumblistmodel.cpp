#include "thumbnails/thumblistmodel.h"

#include "engine/pixelgraphic.h"
#include "platform/dragfiles.h"
#include "platform/pgqt.h"
#include "thumbnails/thumbcell.h"

#include <algorithm>

namespace orbisk {

TThumbListModel::TThumbListModel(TFileListModel* Source, QObject* Parent)
    : QIdentityProxyModel(Parent), FFiles(Source) {
  setSourceModel(Source);
  // A refill drops the items' pictures.
  connect(Source, &QAbstractItemModel::modelReset, this, [this] { FCells.clear(); });
}

QVariant TThumbListModel::data(const QModelIndex& Index, int Role) const {
  if (Role == Qt::DecorationRole && FShowCells && Index.column() == 0) {
    if (HasCell(Index.row())) return FCells.value(FFiles->Item(Index.row()).Name);
    // An empty cell until the item's picture arrives, so that every item has the cell's size.
    if (FEmptyCell.isNull()) {
      FEmptyCell = QPixmap(FCellSize, FCellSize);
      FEmptyCell.fill(QColor(254, 255, 230));
    }
    return FEmptyCell;
  }
  return QIdentityProxyModel::data(Index, Role);
}

QVariant TThumbListModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
  if (Section == 0 && Orientation == Qt::Horizontal && Role == Qt::DisplayRole)
    return QStringLiteral("Name");
  return QIdentityProxyModel::headerData(Section, Orientation, Role);
}

QMimeData* TThumbListModel::mimeData(const QModelIndexList& Indexes) const {
  QList<int> Rows;
  for (const QModelIndex& I : Indexes)
    if (I.isValid() && !Rows.contains(I.row())) Rows << I.row();
  std::sort(Rows.begin(), Rows.end());
  QStringList Names;
  for (int R : Rows)
    Names << FFiles->FullName(R);
  return MakeFileDragData(Names, FFiles->Folder(), TDragSource::dsThumbnailList);
}

void TThumbListModel::SetShowCells(bool V) {
  if (FShowCells == V) return;
  FShowCells = V;
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DecorationRole});
}

void TThumbListModel::SetCellSize(int S) {
  if (S == FCellSize) return;
  FCellSize = S;
  FEmptyCell = QPixmap();
  ClearCells();
}

void TThumbListModel::ClearCells() {
  FCells.clear();
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DecorationRole});
}

void TThumbListModel::SetCell(int RowHint, const QString& Name, const TPixelGraphic& Cell) {
  FCells.insert(Name, QPixmap::fromImage(ToQImage(Cell)));
  if (RowHint >= 0 && RowHint < FFiles->Count() && FFiles->Item(RowHint).Name == Name) {
    const QModelIndex I = index(RowHint, 0);
    emit dataChanged(I, I, {Qt::DecorationRole});
    return;
  }
  for (int Row = 0; Row < FFiles->Count(); ++Row)
    if (FFiles->Item(Row).Name == Name) {
      const QModelIndex I = index(Row, 0);
      emit dataChanged(I, I, {Qt::DecorationRole});
    }
}

bool TThumbListModel::HasCell(int Row) const {
  return Row >= 0 && Row < FFiles->Count() && FCells.contains(FFiles->Item(Row).Name);
}

QImage TThumbListModel::Cell(int Row) const {
  return HasCell(Row) ? FCells.value(FFiles->Item(Row).Name).toImage() : QImage();
}

} // namespace orbisk
