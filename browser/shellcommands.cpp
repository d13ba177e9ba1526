#include "browser/shellcommands.h"
#include "platform/codecsettings.h"
#include "platform/waitcursor.h"

#include "platform/filenames.h"
#include "platform/fileundo.h"

#include "browser/mainwindow.h"
#include "engine/pixelgraphic.h"
#include "platform/help.h"
#include "platform/icons.h"
#include "platform/singleinstance.h"
#include "view/filelist.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPrinter>
#include <QTreeView>

#include <sys/stat.h>

namespace orbisk {

namespace {

TForm1* HandlerOwner = nullptr;

} // namespace

void InstallShellCommands(TForm1& F) {
  QApplication::setWindowIcon(ApplicationIcon());

  OpenRequests().InstallHandler([&F](const QStringList& C) { HandleOpenRequests(F, C); });
  HandlerOwner = &F;
}

void RemoveShellCommands(TForm1& F) {
  // Only the window whose handler is installed takes it away (tests make several windows).
  if (HandlerOwner != &F) return;
  HandlerOwner = nullptr;
  OpenRequests().InstallHandler({});
}

void HandleOpenRequests(TForm1& F, const QStringList& Commands) {
  if (Commands.isEmpty()) return;
  const QString& Last = Commands.last();
  const bool Open = IsOpenCommand(Last);
  const QByteArray Bytes = Open ? OpenCommandPath(Last) : Last.toUtf8();
  const QString Path = Open ? DecodeFileName(Bytes) : Last;
  if (F.isMinimized()) F.showNormal();
  F.raise();
  F.activateWindow();
  F.NotifyOpenRequest(Bytes);
  struct stat St {};
  if (Bytes.isEmpty() || ::stat(Bytes.constData(), &St) != 0) {
    // The engine's own words for a file it can not open; many requests make no message storm.
    QString Error = Path + ": file not found";
    try {
      TPixelGraphic G;
      G.LoadFromFile(Bytes.toStdString(), CurrentReadOptions());
    } catch (const std::exception& E) {
      Error = QString::fromStdString(E.what());
    }
    F.SetPanelText(3, Error);
    return;
  }
  if (EncodeFileName(Path) != Bytes) {
    F.SetPanelText(3, Path + ": a name that is not UTF-8 can not be shown");
    return;
  }
  if (S_ISDIR(St.st_mode)) {
    F.SetSelectedFolder(Path);
    return;
  }
  // The way a file named at start-up is shown: its folder listed, the file selected, so that
  // Next, Delete and the other commands act on it.
  F.ShowFileInList(Path);
  if (QFileInfo(F.ShownFile()) != QFileInfo(Path)) {
    // Not listed (a type that is off): shown all the same, with no other file selected.
    F.ClearListSelection();
    F.ShowFile(Path);
  }
}

TListingReport FolderListingReport(const TForm1& F) {
  TListingReport R;
  R.Header = F.SelectedFolder();
  const TFileListModel& List = F.ListModel();
  const int Columns = List.columnCount();
  for (int C = 0; C < Columns; ++C) {
    R.Captions << List.headerData(C, Qt::Horizontal, Qt::DisplayRole).toString();
    R.Widths << F.ListColumnWidth(C);
    R.Alignments << (C == 0 ? Qt::AlignLeft : Qt::AlignRight);
  }
  for (int Row = 0; Row < List.rowCount(); ++Row) {
    QStringList Cells;
    for (int C = 0; C < Columns; ++C)
      Cells << List.data(List.index(Row, C), Qt::DisplayRole).toString();
    R.Rows << Cells;
  }
  return R;
}

void PrintFolderListingClick(TForm1& F) {
  TListingReport R;
  {
    TWaitCursor Wait;
    R = FolderListingReport(F);
  }
  PrintPreview(&F, QStringLiteral("Print Folder Listing"),
               [R](QPrinter& Printer) { PrintListing(Printer, R); });
}

void WallpaperClick(TForm1& F, TWallpaperStyle Style) {
  QString Picture;
  if (Style != TWallpaperStyle::Remove) {
    Picture = F.SelectedFile();
    if (Picture.isEmpty()) return;
  }
  const TWallpaperResult R =
      SetAsWallpaper(Picture, Style, &F, qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
  // The new bitmap is listed after the next refresh; the list is only repainted.
  if (!R.WrittenBitmap.isEmpty()) F.RepaintList();
}

QAction* MakeUndoFileOperationAction(TForm1& F, QMenu* Menu, const QList<QWidget*>& Areas) {
  auto* A = new QAction(FileUndo().Caption(), &F);
  A->setObjectName("UndoFileOperation");
  A->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  A->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  for (QWidget* W : Areas)
    W->addAction(A);
  if (Menu) Menu->insertAction(Menu->actions().value(0), A);
  auto Update = [A] {
    A->setText(FileUndo().Caption());
    A->setEnabled(FileUndo().CanUndo());
  };
  Update();
  QObject::connect(&FileUndo(), &TFileUndo::Changed, A, Update);
  QObject::connect(A, &QAction::triggered, &F, [&F] { UndoFileOperationClick(F); });
  return A;
}

void UndoFileOperationClick(TForm1& F) {
  TWaitCursor Wait;
  UndoFileOperation(&F);
  // Even a refusal may follow changes on disk the list does not show yet.
  F.RefreshListClick();
}

} // namespace orbisk
