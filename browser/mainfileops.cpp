// The main window's file commands: delete, rename, attributes, folders, incremental rename,
// the file manager, and files dropped from the desktop. The operations themselves are in
// platform/fileops; this file wires them to the list, the tree and the status bar.
#include "browser/display.h"
#include "platform/waitcursor.h"
#include "browser/filedialogs.h"
#include "browser/filemanager.h"
#include "browser/increname.h"
#include "browser/mainwindow.h"
#include "view/fileprop.h"
#include "platform/dragfiles.h"
#include "platform/fileops.h"
#include "platform/prompt.h"
#include "view/filelist.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QTreeView>

namespace orbisk {

TfRename* TForm1::RenameDialog() {
  if (!FRename) FRename = new TfRename(this);
  return FRename;
}

TFileAttrForm* TForm1::AttributesDialog() {
  if (!FAttr) FAttr = new TFileAttrForm(this);
  return FAttr;
}

TfDirAdd* TForm1::DirAddDialog() {
  if (!FDirAdd) FDirAdd = new TfDirAdd(this);
  return FDirAdd;
}

TfrmIncRename* TForm1::IncRenameWindow() {
  if (!FIncRename) {
    FIncRename = new TfrmIncRename(this);
    FIncRename->CurrentDirectoryFiles = [this] {
      QStringList All;
      for (int R = 0; R < FileList->Count(); ++R)
        All << FileList->FullName(R);
      return All;
    };
    connect(FIncRename, &TfrmIncRename::OnRenamed, this, [this] { RefreshListClick(); });
  }
  return FIncRename;
}

TfSelectFiles* TForm1::SelectFilesWindow() {
  if (!FSelectFiles) {
    TSelectFilesHooks H;
    H.TypeMask = [this] { return TypeMask(); };
    H.MainFolder = [this] { return SelectedFolder(); };
    H.MainSelectedName = [this] {
      const QList<int> Rows = SelectedRows();
      return Rows.size() == 1 ? FileList->Item(Rows.first()).Name : QString();
    };
    H.RelistMain = [this] { RefreshListClick(); };
    H.RelistMainAndSelect = [this](const QString& Name) { RelistAndSelect(Name); };
    H.ConfirmDeletions = [this] { return ConfirmDeletions(); };
    H.DeletePermanently = [this] { return DeletePermanently(); };
    H.Rename = [this](const QString& Folder, const QString& Name) {
      return RenameDialog()->Execute(Folder, Name);
    };
    H.EditAttributes = [this](const QString& Folder, const QString& Name) {
      return AttributesDialog()->Execute(Folder, Name);
    };
    H.AddFolder = [this](const QString& Parent) { return DirAddDialog()->Execute(Parent); };
    H.ImageProperties = [this](const QString& Path) { FilePropWindow()->Execute(Path); };
    FSelectFiles = new TfSelectFiles(this, std::move(H));
  }
  return FSelectFiles;
}

void TForm1::RelistAndSelect(const QString& Name) {
  ListAndSort(SelectedFolder());
  if (!Name.isEmpty() && FileList->FindByPrefix(Name) >= 0) SelectFileByName(Name);
}

void TForm1::DeleteFilesClick() {
  const QList<int> Rows = SelectedRows();
  QStringList Names, Paths;
  for (int R : Rows) {
    Names << FileList->Item(R).Name;
    Paths << FileList->FullName(R);
  }
  if (!ConfirmDeleteFiles(Names, FConfirmDeletions, this)) return;
  QString Next;
  {
    TWaitCursor Wait;
    const int NextRow = NeighbourAfterDelete(Rows, FileList->Count());
    if (NextRow >= 0) Next = FileList->Item(NextRow).Name;
    DeleteFiles(
        Paths, FDeletePermanently ? TDeleteMode::dmPermanent : TDeleteMode::dmTrash,
        [this](const QString& S) {
          StatusPanels[3]->setText(S);
          StatusPanels[3]->repaint();
        },
        this);
    StatusPanels[3]->setText("Updating...");
    FLastName.clear();
    ListAndSort(SelectedFolder());
    if (!Next.isEmpty()) {
      const int Row = FileList->FindByPrefix(Next);
      if (Row >= 0) {
        SelectRow(Row, true);
        ListView1->scrollTo(FileList->index(Row, 0));
      }
    }
  }
  StatusPanels[3]->clear();
}

void TForm1::RenameFileClick() {
  const QList<int> Rows = SelectedRows();
  if (Rows.size() != 1) return;
  const int Row = Rows.first();
  const QString Folder = FileList->Folder(), Old = FileList->Item(Row).Name;
  const QString New = RenameDialog()->Execute(Folder, Old);
  if (New.isEmpty() || New == Old) return;
  // The item takes the new name where it is; the list is not sorted again.
  std::vector<TFileItem> Items = FileList->Items();
  Items[Row] = MakeFileItem(New, Items[Row].Size, Items[Row].Modified);
  FileList->SetItems(Folder, std::move(Items));
  FLastName = FileList->FullName(Row);
  SelectRow(Row, true);
}

void TForm1::FileAttributesClick() {
  const QList<int> Rows = SelectedRows();
  if (Rows.size() != 1) return;
  const QString Name = FileList->Item(Rows.first()).Name;
  const QString After = AttributesDialog()->Execute(FileList->Folder(), Name);
  if (!After.isEmpty() && QFileInfo(After).fileName() != Name)
    RelistAndSelect(QFileInfo(After).fileName()); // hiding a file takes it off the list
}

void TForm1::AddFolderClick() {
  const QString Parent = SelectedFolder();
  if (Parent.isEmpty()) return;
  const QString Made = DirAddDialog()->Execute(Parent);
  if (Made.isEmpty()) return;
  RefreshTreeClick();
  SetSelectedFolder(Made);
}

void TForm1::DeleteFolderClick() {
  const QString Folder = SelectedFolder();
  if (Folder.isEmpty() || Folder == "/") return;
  // Leave the folder first, for its nearest existing parent, so that it is neither listed nor
  // watched while it is removed.
  const TDeleteFolderResult R = DeleteFolderCommand(
      Folder, [&] { SetSelectedFolder(NearestExistingFolder(FolderOf(Folder))); }, this);
  if (R == TDeleteFolderResult::dfDeleted) RefreshTreeClick();
}

void TForm1::IncrementalRenameClick() {
  IncRenameWindow()->OpenWith(SelectedFullNames());
}

void TForm1::MoveFilesClick() {
  SelectFilesWindow()->Open();
}

void TForm1::dragEnterEvent(QDragEnterEvent* E) {
  // Files from other programs only: the program's own lists move files with their own commands.
  if (E->mimeData()->hasUrls() && DragSourceOf(E->mimeData()) == TDragSource::dsNone)
    E->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* E) {
  if (!E->mimeData()->hasUrls() || DragSourceOf(E->mimeData()) != TDragSource::dsNone) return;
  const QList<QUrl> Urls = E->mimeData()->urls();
  E->acceptProposedAction();
  DropUrls(Urls);
}

void TForm1::DropUrls(const QList<QUrl>& Urls) {
  const QString Folder = SelectedFolder();
  if (Folder.isEmpty()) return;
  const QList<int> Rows = SelectedRows();
  const QString Remembered = Rows.size() == 1 ? FileList->Item(Rows.first()).Name : QString();
  DropFiles(Urls, Folder, this);
  FileList->SetSortState(0, true);
  FLastName.clear();
  RelistAndSelect(Remembered);
}

} // namespace orbisk
