#include "platform/foldertree.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHash>
#include <QHeaderView>
#include <QSignalBlocker>

namespace orbisk {

namespace {

// One model per filter for the whole program: a second window's tree needs no second reading.
QFileSystemModel* SharedModel(QDir::Filters Filter) {
  static QHash<int, QFileSystemModel*> Models;
  QFileSystemModel*& M = Models[int(Filter)];
  if (!M) {
    M = new QFileSystemModel(QCoreApplication::instance());
    M->setFilter(Filter);
    M->setReadOnly(true);
    M->setRootPath(QStringLiteral("/"));
    QObject::connect(M, &QObject::destroyed, [F = int(Filter)] { Models.remove(F); });
  }
  return M;
}

} // namespace

TFolderTree::TFolderTree(QDir::Filters Filter, QWidget* Parent)
    : QTreeView(Parent), FModel(SharedModel(Filter)) {
  setModel(FModel);
  for (int C = 1; C < FModel->columnCount(); ++C)
    hideColumn(C);
  setHeaderHidden(true);
  connect(FModel, &QFileSystemModel::directoryLoaded, this, [this] { Loaded(); });
  connect(FModel, &QAbstractItemModel::layoutChanged, this, [this] { Loaded(); });
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& I) {
            if (!I.isValid()) return;
            FChosenAt.invalidate(); // the user's choice now
            FChosen = FModel->filePath(I);
            emit FolderChanged(FChosen);
          });
}

QString TFolderTree::CurrentFolder() const {
  const QModelIndex I = currentIndex();
  return I.isValid() ? FModel->filePath(I) : FChosen;
}

bool TFolderTree::SelectFolder(const QString& Folder) {
  const QString Clean = QDir::cleanPath(QFileInfo(Folder).absoluteFilePath());
  const QModelIndex I = FModel->index(Clean);
  {
    const QSignalBlocker Block(selectionModel());
    setCurrentIndex(I); // an invalid index: a folder the tree does not show
    if (I.isValid()) scrollTo(I);
  }
  viewport()->update();
  FChosen = Clean;
  FChosenAt.start();
  return I.isValid();
}

void TFolderTree::Reveal() {
  QModelIndex I = currentIndex();
  if (!I.isValid() && !FChosen.isEmpty()) {
    I = FModel->index(FChosen);
    if (!I.isValid()) return;
    const QSignalBlocker Block(selectionModel());
    setCurrentIndex(I);
  }
  if (I.isValid()) scrollTo(I, QAbstractItemView::EnsureVisible);
}

void TFolderTree::Loaded() {
  if (FChosenAt.isValid() && FChosenAt.elapsed() < FollowMs) Reveal();
}

} // namespace orbisk
