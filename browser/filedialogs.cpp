#include "browser/filedialogs.h"
#include "platform/waitcursor.h"

#include "platform/fileops.h"
#include "platform/prompt.h"
#include "view/filelist.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace orbisk {

namespace {

QDialogButtonBox* OkCancel(QDialog* D) {
  auto* B = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, D);
  B->button(QDialogButtonBox::Ok)->setText("OK");
  B->button(QDialogButtonBox::Ok)->setDefault(true);
  QObject::connect(B, &QDialogButtonBox::accepted, D, &QDialog::accept);
  QObject::connect(B, &QDialogButtonBox::rejected, D, &QDialog::reject);
  return B;
}

} // namespace

TfRename::TfRename(QWidget* Parent) : QDialog(Parent) {
  setObjectName("fRename");
  setWindowTitle("Rename File");
  auto* L = new QFormLayout(this);
  OldNameLabel = new QLabel(this);
  OldNameLabel->setObjectName("OldNameLabel");
  NewNameEdit = new QLineEdit(this);
  NewNameEdit->setObjectName("NewNameEdit");
  L->addRow("Old Name: ", OldNameLabel);
  L->addRow("New Name:", NewNameEdit);
  L->addRow(OkCancel(this));
  setMinimumWidth(360);
}

QString TfRename::Execute(const QString& Folder, const QString& OldName) {
  OldNameLabel->setText(OldName);
  NewNameEdit->setText(OldName);
  NewNameEdit->selectAll();
  NewNameEdit->setFocus();
  if (exec() != QDialog::Accepted) return QString();
  const QString NewName = NewNameEdit->text();
  return RenameFileCommand(Folder, OldName, NewName, parentWidget()) ? NewName : QString();
}

TFileAttrForm::TFileAttrForm(QWidget* Parent) : QDialog(Parent) {
  setObjectName("FileAttrForm");
  setWindowTitle("File attributes");
  auto* L = new QVBoxLayout(this);
  auto* F = new QFormLayout;
  FileNameLabel = new QLabel(this);
  FileNameLabel->setObjectName("FileNameLabel");
  PathLabel = new QLabel(this);
  PathLabel->setObjectName("PathLabel");
  LastChangeLabel = new QLabel(this);
  LastChangeLabel->setObjectName("LastChangeLabel");
  F->addRow("File name : ", FileNameLabel);
  F->addRow("Path :", PathLabel);
  F->addRow("Last change :", LastChangeLabel);
  L->addLayout(F);
  auto* G = new QGroupBox("Attributes", this);
  auto* GL = new QVBoxLayout(G);
  ReadOnlyCheck = new QCheckBox("&Read Only", G);
  ReadOnlyCheck->setObjectName("ReadOnlyCheck");
  ArchiveCheck = new QCheckBox("&Archive", G);
  ArchiveCheck->setObjectName("ArchiveCheck");
  SystemCheck = new QCheckBox("&System", G);
  SystemCheck->setObjectName("SystemCheck");
  HiddenCheck = new QCheckBox("&Hidden", G);
  HiddenCheck->setObjectName("HiddenCheck");
  // No such attributes on this system: shown for completeness, never changed.
  ArchiveCheck->setEnabled(false);
  SystemCheck->setEnabled(false);
  for (QCheckBox* C : {ReadOnlyCheck, ArchiveCheck, SystemCheck, HiddenCheck})
    GL->addWidget(C);
  L->addWidget(G);
  L->addWidget(OkCancel(this));
}

QString TFileAttrForm::Execute(const QString& Folder, const QString& Name) {
  const QString Path = FullFileName(Folder, Name);
  FileNameLabel->setText(Name);
  PathLabel->setText(Folder);
  LastChangeLabel->setText(QLocale().toString(FileLastChange(Path), QLocale::ShortFormat));
  const TFileAttributes Old = ReadFileAttributes(Path);
  ReadOnlyCheck->setChecked(Old.ReadOnly);
  ArchiveCheck->setChecked(Old.Archive);
  SystemCheck->setChecked(Old.System);
  HiddenCheck->setChecked(Old.Hidden);
  if (exec() != QDialog::Accepted) return QString();
  TFileAttributes A = Old;
  A.ReadOnly = ReadOnlyCheck->isChecked();
  A.Hidden = HiddenCheck->isChecked();
  if (A == Old) return QString();
  try {
    return WriteFileAttributes(Path, A);
  } catch (const EFileOp& E) {
    ShowMessage(E.Message(), parentWidget());
    return QString();
  }
}

TfDirAdd::TfDirAdd(QWidget* Parent) : QDialog(Parent) {
  setObjectName("fDirAdd");
  setWindowTitle("Add New Folder");
  auto* L = new QFormLayout(this);
  CurrentDirLabel = new QLabel(this);
  CurrentDirLabel->setObjectName("CurrentDirLabel");
  NewFolderEdit = new QLineEdit(this);
  NewFolderEdit->setObjectName("NewFolderEdit");
  L->addRow("Current Directory : ", CurrentDirLabel);
  L->addRow("New Folder : ", NewFolderEdit);
  L->addRow(OkCancel(this));
  setMinimumWidth(360);
}

QString TfDirAdd::Execute(const QString& Parent) {
  CurrentDirLabel->setText(FolderWithSeparator(Parent));
  NewFolderEdit->clear();
  NewFolderEdit->setFocus();
  if (exec() != QDialog::Accepted) return QString();
  TWaitCursor Wait;
  return AddFolderCommand(Parent, NewFolderEdit->text(), parentWidget());
}

} // namespace orbisk
