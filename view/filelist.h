// Folder listing and sorting: the file list of the main window, the file manager and the
// thumbnail explorer. The listing and the comparison keys work without a window; the model
// shows the four columns in a list view.
#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

namespace orbisk {

// The folder with a "/" appended unless it already ends with one.
QString FolderWithSeparator(const QString& Folder);
// Every full file name is built here: folder, separator, name.
QString FullFileName(const QString& Folder, const QString& Name);

struct TFileItem {
  QString Name;       // without folder
  qint64 Size = 0;    // bytes
  QString SizeText;   // Size div 1024 + 1
  QString Type;       // three-letter type, upper case
  QDateTime Modified; // local time, whole seconds
  QString ModifiedText;
};

enum TSortColumn : int { scName = 0, scSize = 1, scType = 2, scModified = 3 };

// Size in KB as listed: bytes div 1024, plus 1.
QString SizeText(qint64 Bytes);
// The last-write time as listed (local date and time to the second).
QString ModifiedText(const QDateTime& T);
// The modification key: days since 30 December 1899 (local time) as "000000.00000000".
QString DateKey(const QDateTime& T);
// -1, 0 or 1 comparing A with B by the column's key, ascending.
int CompareItems(const TFileItem& A, const TFileItem& B, int Column);
void SortItems(std::vector<TFileItem>& Items, int Column, bool Ascending);

// The ordinary, not hidden files of the folder whose names match one of the mask's patterns
// (letter case ignored), in pattern order; every file when AllFiles is set. Raises
// std::runtime_error when the folder cannot be read.
std::vector<TFileItem> ListFolderItems(const QString& Folder, const QString& Mask, bool AllFiles);
TFileItem MakeFileItem(const QString& Name, qint64 Size, const QDateTime& Modified);

class TFileListModel : public QAbstractTableModel {
  Q_OBJECT
public:
  explicit TFileListModel(QObject* Parent = nullptr);

  int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& Index, int Role) const override;
  QVariant headerData(int Section, Qt::Orientation O, int Role) const override;
  Qt::ItemFlags flags(const QModelIndex& Index) const override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& Indexes) const override;
  Qt::DropActions supportedDragActions() const override { return Qt::CopyAction | Qt::MoveAction; }

  // Lists the folder (see ListFolderItems); the list is empty after a failure, which is raised
  // again. Afterwards the caller sorts.
  void ListFolder(const QString& Folder, const QString& Mask);
  void SetItems(QString Folder, std::vector<TFileItem> Items);
  void Clear();
  const QString& Folder() const { return FFolder; }
  const std::vector<TFileItem>& Items() const { return FItems; }
  const TFileItem& Item(int Row) const { return FItems[Row]; }
  QString FullName(int Row) const { return FullFileName(FFolder, FItems[Row].Name); }
  int Count() const { return static_cast<int>(FItems.size()); }

  // Column 0 reads "Name (All)" while all files are shown.
  bool AllFiles() const { return FAllFiles; }
  void SetAllFiles(bool V);

  int SortColumn() const { return FSortColumn; }
  bool SortAscending() const { return FAscending; }
  void SetSortState(int Column, bool Ascending);
  // A header click: the sort column reverses its direction, another column sorts ascending.
  void ColumnClick(int Column);
  // Sorts with the current state.
  void Sort();

  // The first row whose name begins with Name (letter case ignored), or -1.
  int FindByPrefix(const QString& Name) const;

private:
  QString FFolder;
  std::vector<TFileItem> FItems;
  bool FAllFiles = false;
  int FSortColumn = 0;
  bool FAscending = true;
};

} // namespace orbisk
