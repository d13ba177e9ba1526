#include "browser/increname.h"

#include "platform/dragfiles.h"
#include "platform/dialogscale.h"
#include "platform/fileops.h"
#include "platform/help.h"
#include "platform/prompt.h"
#include "view/typemask.h"

#include <QAction>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace orbisk {

TfrmIncRename::TfrmIncRename(QWidget* Parent)
    : QWidget(Parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setObjectName("frmIncRename");
  setWindowTitle("Incremental File Rename");
  setAcceptDrops(true);
  auto* L = new QVBoxLayout(this);
  L->addWidget(new QLabel("Files To Rename", this));
  FileListBox = new QListWidget(this);
  FileListBox->setObjectName("FileListBox");
  FileListBox->setSelectionMode(QAbstractItemView::ExtendedSelection);
  FileListBox->setContextMenuPolicy(Qt::CustomContextMenu);
  L->addWidget(FileListBox, 1);

  auto* G = new QGridLayout;
  G->addWidget(new QLabel("New Name (no extension)", this), 0, 0);
  G->addWidget(new QLabel("Number", this), 0, 2);
  NewNameEdit = new QLineEdit("NewName", this);
  NewNameEdit->setObjectName("NewNameEdit");
  NumberEdit = new QLineEdit("001", this);
  NumberEdit->setObjectName("NumberEdit");
  NumberEdit->setMaxLength(5);
  NumberEdit->setValidator(
      new QRegularExpressionValidator(QRegularExpression("[0-9]*"), NumberEdit));
  G->addWidget(NewNameEdit, 1, 0);
  G->addWidget(new QLabel("_", this), 1, 1);
  G->addWidget(NumberEdit, 1, 2);
  L->addLayout(G);

  auto* B = new QHBoxLayout;
  RenameButton = new QPushButton("Rename", this);
  RenameButton->setObjectName("RenameButton");
  CancelButton = new QPushButton("Cancel", this);
  CancelButton->setObjectName("CancelButton");
  HelpButton = new QPushButton("Help", this);
  HelpButton->setObjectName("HelpButton");
  B->addStretch();
  B->addWidget(RenameButton);
  B->addWidget(CancelButton);
  B->addWidget(HelpButton);
  L->addLayout(B);
  connect(RenameButton, &QPushButton::clicked, this, [this] { RenameClick(); });
  connect(CancelButton, &QPushButton::clicked, this, &QWidget::close);
  connect(HelpButton, &QPushButton::clicked, this,
          [this] { ShowHelpTopic(HelpTopic::IncrementalRename, this); });

  PopupMenu = new QMenu(this);
  PopupMenu->setObjectName("PopupMenu");
  ClearAll1 = PopupMenu->addAction("Clear All", this, [this] { ClearAllClick(); });
  DeleteSelected1 =
      PopupMenu->addAction("Delete Selected", this, [this] { DeleteSelectedClick(); });
  ImportCurrentDirectory1 = PopupMenu->addAction("Import Current Directory", this,
                                                 [this] { ImportCurrentDirectoryClick(); });
  Close1 = PopupMenu->addAction("Close", this, &QWidget::close);
  for (auto [A, Name] : {std::pair{ClearAll1, "ClearAll1"},
                         {DeleteSelected1, "DeleteSelected1"},
                         {ImportCurrentDirectory1, "ImportCurrentDirectory1"},
                         {Close1, "Close1"}})
    A->setObjectName(QString::fromLatin1(Name));
  connect(FileListBox, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& P) { PopupMenu->popup(FileListBox->viewport()->mapToGlobal(P)); });
  resize(ScaledSize(420, 360));
}

void TfrmIncRename::OpenWith(const QStringList& SelectedFullNames) {
  FileListBox->clear();
  if (SelectedFullNames.size() > 1) AddFiles(SelectedFullNames);
  show();
  raise();
  activateWindow();
}

void TfrmIncRename::AddFiles(const QStringList& FullNames) {
  FileListBox->addItems(FullNames);
}

QStringList TfrmIncRename::Lines() const {
  QStringList L;
  for (int I = 0; I < FileListBox->count(); ++I)
    L << FileListBox->item(I)->text();
  return L;
}

void TfrmIncRename::RenameClick() {
  QStringList L = Lines();
  if (!IncrementalRename(L, NewNameEdit->text(), NumberEdit->text(), this)) return;
  for (int I = 0; I < L.size(); ++I)
    FileListBox->item(I)->setText(L[I]);
  emit OnRenamed();
}

void TfrmIncRename::ClearAllClick() {
  FileListBox->clear();
}

void TfrmIncRename::DeleteSelectedClick() {
  for (QListWidgetItem* I : FileListBox->selectedItems())
    delete I;
}

void TfrmIncRename::ImportCurrentDirectoryClick() {
  if (CurrentDirectoryFiles) AddFiles(CurrentDirectoryFiles());
}

void TfrmIncRename::dragEnterEvent(QDragEnterEvent* E) {
  // Only the program's own file lists.
  if (DragSourceOf(E->mimeData()) != TDragSource::dsNone) E->acceptProposedAction();
}

void TfrmIncRename::dragMoveEvent(QDragMoveEvent* E) {
  if (DragSourceOf(E->mimeData()) != TDragSource::dsNone) E->acceptProposedAction();
}

void TfrmIncRename::dropEvent(QDropEvent* E) {
  if (DragSourceOf(E->mimeData()) == TDragSource::dsNone) return;
  QStringList Accepted;
  for (const QString& F : DraggedLocalFiles(E->mimeData()))
    // Every picture the program reads, in any of its name endings ("a.jpeg", "b.PPM").
    if (IncRenameAccepts(F) || IsPictureFile(F)) Accepted << F;
  AddFiles(Accepted);
  E->acceptProposedAction();
}

} // namespace orbisk
