#include "view/filelist.h"

#include "platform/dragfiles.h"
#include "platform/filenames.h"
#include "view/typemask.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QLocale>
#include <QMimeData>
#include <QRegularExpression>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <cmath>
#include <stdexcept>

namespace orbisk {

QString FolderWithSeparator(const QString& Folder) {
  return Folder.endsWith(QLatin1Char('/')) ? Folder : Folder + QLatin1Char('/');
}

QString FullFileName(const QString& Folder, const QString& Name) {
  return FolderWithSeparator(Folder) + Name;
}

QString SizeText(qint64 Bytes) {
  return QString::number(Bytes / 1024 + 1);
}

QString ModifiedText(const QDateTime& T) {
  static const QLocale L = QLocale::system();
  return L.toString(T.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
         T.time().toString(QStringLiteral("hh:mm:ss"));
}

QString DateKey(const QDateTime& T) {
  static const QDate Epoch(1899, 12, 30);
  QDateTime Local = T.toLocalTime();
  qint64 Days = Epoch.daysTo(Local.date());
  qint64 Secs = Local.time().msecsSinceStartOfDay() / 1000;
  // In units of 1e-8 day; the key is fixed width, so text order is time order.
  qint64 Units = Days * 100000000LL + std::llround(static_cast<double>(Secs) * 1e8 / 86400.0);
  Units = std::clamp<qint64>(Units, 0, 99999999999999LL);
  return QStringLiteral("%1.%2")
      .arg(Units / 100000000LL, 6, 10, QLatin1Char('0'))
      .arg(Units % 100000000LL, 8, 10, QLatin1Char('0'));
}

TFileItem MakeFileItem(const QString& Name, qint64 Size, const QDateTime& Modified) {
  TFileItem It;
  It.Name = Name;
  It.Size = Size;
  It.SizeText = SizeText(Size);
  It.Type = FileTypeOf(Name);
  It.Modified = QDateTime::fromSecsSinceEpoch(Modified.toSecsSinceEpoch());
  It.ModifiedText = ModifiedText(It.Modified);
  return It;
}

namespace {

int Sign(int C) {
  return C < 0 ? -1 : (C > 0 ? 1 : 0);
}

int CompareNames(const TFileItem& A, const TFileItem& B) {
  return Sign(QString::compare(A.Name.toUpper(), B.Name.toUpper(), Qt::CaseSensitive));
}

// A pattern of the mask, matched without regard to letter case.
class TPattern {
public:
  explicit TPattern(const QString& P) {
    // "*.ext" is by far the common case: a suffix test.
    if (P.startsWith(QLatin1String("*.")) && !P.mid(1).contains(QRegularExpression("[*?\\[]")))
      FSuffix = P.mid(1);
    else
      FRegex = QRegularExpression(QRegularExpression::wildcardToRegularExpression(P),
                                  QRegularExpression::CaseInsensitiveOption);
  }
  bool Matches(const QString& Name) const {
    if (!FSuffix.isEmpty())
      return Name.size() > FSuffix.size() && Name.endsWith(FSuffix, Qt::CaseInsensitive);
    return FRegex.match(Name).hasMatch();
  }

private:
  QString FSuffix;
  QRegularExpression FRegex;
};

} // namespace

int CompareItems(const TFileItem& A, const TFileItem& B, int Column) {
  switch (Column) {
  case scSize: {
    qint64 KA = A.SizeText.toLongLong(), KB = B.SizeText.toLongLong();
    return KA < KB ? -1 : (KA > KB ? 1 : 0);
  }
  case scType:
    if (int C = Sign(QString::compare(A.Type.toUpper(), B.Type.toUpper(), Qt::CaseSensitive)))
      return C;
    return CompareNames(A, B);
  case scModified:
    if (int C = Sign(QString::compare(DateKey(A.Modified), DateKey(B.Modified)))) return C;
    return CompareNames(A, B);
  default:
    return CompareNames(A, B);
  }
}

void SortItems(std::vector<TFileItem>& Items, int Column, bool Ascending) {
  // The keys are computed once per item, not once per comparison.
  struct TKeyed {
    QString Key1, Key2;
    qint64 Number = 0;
    size_t Index = 0;
  };
  std::vector<TKeyed> Keys(Items.size());
  for (size_t I = 0; I < Items.size(); ++I) {
    const TFileItem& It = Items[I];
    TKeyed& K = Keys[I];
    K.Index = I;
    switch (Column) {
    case scSize:
      K.Number = It.SizeText.toLongLong();
      break;
    case scType:
      K.Key1 = It.Type.toUpper();
      K.Key2 = It.Name.toUpper();
      break;
    case scModified:
      K.Key1 = DateKey(It.Modified);
      K.Key2 = It.Name.toUpper();
      break;
    default:
      K.Key1 = It.Name.toUpper();
    }
  }
  auto Compare = [](const TKeyed& A, const TKeyed& B) {
    if (A.Number != B.Number) return A.Number < B.Number ? -1 : 1;
    if (int C = Sign(QString::compare(A.Key1, B.Key1))) return C;
    return Sign(QString::compare(A.Key2, B.Key2));
  };
  std::stable_sort(Keys.begin(), Keys.end(), [&](const TKeyed& A, const TKeyed& B) {
    int C = Compare(A, B);
    return Ascending ? C < 0 : C > 0;
  });
  std::vector<TFileItem> Sorted;
  Sorted.reserve(Items.size());
  for (const TKeyed& K : Keys)
    Sorted.push_back(std::move(Items[K.Index]));
  Items = std::move(Sorted);
}

std::vector<TFileItem> ListFolderItems(const QString& Folder, const QString& Mask, bool AllFiles) {
  if (Folder.isEmpty() || !StatPath(Folder).IsDir)
    throw std::runtime_error(("Can not read the folder " + Folder).toStdString());

  std::vector<TPattern> Patterns;
  if (!AllFiles)
    for (const QString& P : MaskPatterns(Mask))
      Patterns.emplace_back(P);
  // One pass over the folder; the items go into one bucket per pattern so that the list comes
  // in pattern order, each file once.
  std::vector<std::vector<TFileItem>> Buckets(AllFiles ? 1 : Patterns.size());
  if (Buckets.empty()) return {};
  // The folder is read as bytes: names that are not valid UTF-8 are listed too, in a form that
  // turns back into the same bytes when the file is opened.
  const QByteArray Dir = EncodeFileName(Folder);
  std::unique_ptr<DIR, int (*)(DIR*)> D(opendir(Dir.constData()), closedir);
  if (!D) throw std::runtime_error(("Can not read the folder " + Folder).toStdString());
  while (const dirent* E = readdir(D.get())) {
    const QByteArray Raw(E->d_name);
    if (Raw.startsWith('.')) continue;
    struct stat St {};
    if (fstatat(dirfd(D.get()), E->d_name, &St, 0) != 0 || !S_ISREG(St.st_mode)) continue;
    const QString Name = DecodeFileName(Raw);
    size_t Bucket = 0;
    if (!AllFiles) {
      while (Bucket < Patterns.size() && !Patterns[Bucket].Matches(Name))
        ++Bucket;
      if (Bucket == Patterns.size()) continue;
    }
    const QDateTime Modified = QDateTime::fromMSecsSinceEpoch(qint64(St.st_mtim.tv_sec) * 1000 +
                                                              qint64(St.st_mtim.tv_nsec) / 1000000);
    Buckets[Bucket].push_back(MakeFileItem(Name, qint64(St.st_size), Modified));
  }
  std::vector<TFileItem> Items;
  for (auto& B : Buckets)
    for (auto& Item : B)
      Items.push_back(std::move(Item));
  return Items;
}

// ---- the model

TFileListModel::TFileListModel(QObject* Parent) : QAbstractTableModel(Parent) {}

int TFileListModel::rowCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : Count();
}

int TFileListModel::columnCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : 4;
}

QVariant TFileListModel::data(const QModelIndex& Index, int Role) const {
  if (!Index.isValid() || Index.row() >= Count()) return {};
  const TFileItem& It = FItems[Index.row()];
  if (Role == Qt::DisplayRole) {
    switch (Index.column()) {
    case 0:
      return DisplayFileName(It.Name);
    case 1:
      return It.SizeText;
    case 2:
      return It.Type;
    case 3:
      return It.ModifiedText;
    }
  } else if (Role == Qt::TextAlignmentRole) {
    return QVariant::fromValue(Qt::AlignVCenter |
                               (Index.column() == 0 ? Qt::AlignLeft : Qt::AlignRight));
  }
  return {};
}

QVariant TFileListModel::headerData(int Section, Qt::Orientation O, int Role) const {
  if (O != Qt::Horizontal) return {};
  if (Role == Qt::DisplayRole) {
    switch (Section) {
    case 0:
      return FAllFiles ? QStringLiteral("Name (All)") : QStringLiteral("Name (Images)");
    case 1:
      return QStringLiteral("Size (KB)");
    case 2:
      return QStringLiteral("Type");
    case 3:
      return QStringLiteral("Modified");
    }
  } else if (Role == Qt::TextAlignmentRole) {
    return QVariant::fromValue(Qt::AlignVCenter | (Section == 0 ? Qt::AlignLeft : Qt::AlignRight));
  }
  return {};
}

Qt::ItemFlags TFileListModel::flags(const QModelIndex& Index) const {
  if (!Index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled |
         Qt::ItemNeverHasChildren;
}

QStringList TFileListModel::mimeTypes() const {
  return {QStringLiteral("text/uri-list"), QString::fromLatin1(kFileListMime)};
}

QMimeData* TFileListModel::mimeData(const QModelIndexList& Indexes) const {
  QList<int> Rows;
  for (const QModelIndex& I : Indexes)
    if (I.isValid() && !Rows.contains(I.row())) Rows << I.row();
  std::sort(Rows.begin(), Rows.end());
  QStringList Names;
  for (int R : Rows)
    Names << FullName(R);
  return MakeFileDragData(Names, FFolder, TDragSource::dsFileList);
}

void TFileListModel::ListFolder(const QString& Folder, const QString& Mask) {
  beginResetModel();
  FItems.clear();
  FFolder = Folder;
  try {
    FItems = ListFolderItems(Folder, Mask, FAllFiles);
  } catch (...) {
    endResetModel();
    throw;
  }
  endResetModel();
}

void TFileListModel::SetItems(QString Folder, std::vector<TFileItem> Items) {
  beginResetModel();
  FFolder = std::move(Folder);
  FItems = std::move(Items);
  endResetModel();
}

void TFileListModel::Clear() {
  SetItems(FFolder, {});
}

void TFileListModel::SetAllFiles(bool V) {
  if (FAllFiles == V) return;
  FAllFiles = V;
  emit headerDataChanged(Qt::Horizontal, 0, 0);
}

void TFileListModel::SetSortState(int Column, bool Ascending) {
  FSortColumn = std::clamp(Column, 0, 3);
  FAscending = Ascending;
}

void TFileListModel::ColumnClick(int Column) {
  if (Column == FSortColumn)
    FAscending = !FAscending;
  else
    SetSortState(Column, true);
  Sort();
}

void TFileListModel::Sort() {
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  QModelIndexList Old = persistentIndexList();
  std::vector<QString> OldNames;
  for (const QModelIndex& I : Old)
    OldNames.push_back(FItems[I.row()].Name);
  SortItems(FItems, FSortColumn, FAscending);
  if (!Old.isEmpty()) {
    // Selections follow their items.
    QHash<QString, int> RowOf;
    for (int R = 0; R < Count(); ++R)
      RowOf.insert(FItems[R].Name, R);
    QModelIndexList New;
    for (int I = 0; I < Old.size(); ++I)
      New << index(RowOf.value(OldNames[I]), Old[I].column());
    changePersistentIndexList(Old, New);
  }
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int TFileListModel::FindByPrefix(const QString& Name) const {
  for (int R = 0; R < Count(); ++R)
    if (FItems[R].Name.startsWith(Name, Qt::CaseInsensitive)) return R;
  return -1;
}

} // namespace orbisk
