// The main window's commands that reach the desktop: open requests from other runs, "Set As
// Wallpaper" and "Remove Wallpaper", "Print Folder Listing", and the undo of file operations. The
// main window calls InstallShellCommands once at its creation (the program's icon and the
// open-request handler).
#pragma once

#include "platform/printing.h"
#include "platform/wallpaper.h"

#include <QList>
#include <QStringList>

class QAction;
class QMenu;
class QWidget;

namespace orbisk {

class TForm1;

void InstallShellCommands(TForm1& F);
// Uninstalls the open-request handler (the window's destruction).
void RemoveShellCommands(TForm1& F);

// Shows what the last command names: its path for an open command, else the command itself.
// A name that does not exist puts the engine's error into the status bar (no message box).
void HandleOpenRequests(TForm1& F, const QStringList& Commands);
// The listed files as a report: the folder, the list's four columns, one row per item.
TListingReport FolderListingReport(const TForm1& F);
void PrintFolderListingClick(TForm1& F);
void WallpaperClick(TForm1& F, TWallpaperStyle Style);
// "Undo" of the last file operation (delete to the trash, rename, move), first in Menu: its text
// names the operation, ctrl+Z works where the focus is in one of Areas (the file list and the
// folder tree). Undoing lists the folder again.
QAction* MakeUndoFileOperationAction(TForm1& F, QMenu* Menu, const QList<QWidget*>& Areas);
void UndoFileOperationClick(TForm1& F);

} // namespace orbisk
