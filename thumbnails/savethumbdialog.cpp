#include "thumbnails/savethumbdialog.h"
#include "platform/dialogscale.h"
#include "platform/foldertree.h"

#include "thumbnails/thumbcell.h"
#include "view/filelist.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace orbisk {

// ---- TfrmSelectFolder

TfrmSelectFolder::TfrmSelectFolder(QWidget* Parent) : QDialog(Parent) {
  setWindowTitle("Select Folder");
  resize(ScaledSize(300, 360));
  FolderTree = new TFolderTree(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives, this);
  FolderTree->setObjectName("FolderTree");
  auto* Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(Buttons, &QDialogButtonBox::accepted, this, [this] {
    // Only a node the tree shows is a choice; otherwise the folder it opened on stays.
    if (FolderTree->currentIndex().isValid())
      FFolder = FolderWithSeparator(FolderTree->CurrentFolder());
    accept();
  });
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* L = new QVBoxLayout(this);
  L->addWidget(FolderTree);
  L->addWidget(Buttons);
}

void TfrmSelectFolder::SelectFolder(const QString& Folder) {
  FolderTree->SelectFolder(Folder);
}

bool TfrmSelectFolder::Execute(const QString& Folder) {
  FFolder = FolderWithSeparator(Folder);
  SelectFolder(Folder);
  return exec() == QDialog::Accepted;
}

// ---- TfrmSaveThumbnail

TfrmSaveThumbnail::TfrmSaveThumbnail(QWidget* Parent) : QDialog(Parent) {
  setWindowTitle("Save Thumbnail");
  auto* Tabs = new QTabWidget(this);
  auto* Page = new QWidget;
  Tabs->addTab(Page, "Save Options");
  cbSize = new QComboBox(Page);
  cbSize->setObjectName("cbSize");
  cbSize->setToolTip("Maximum Dimensions");
  for (const char* S : kThumbSizes)
    cbSize->addItem(S);
  cbFormat = new QComboBox(Page);
  cbFormat->setObjectName("cbFormat");
  cbFormat->setToolTip("Save To File Type");
  for (const char* F : kThumbFormats)
    cbFormat->addItem(F);
  eFolder = new QLineEdit(Page);
  eFolder->setObjectName("eFolder");
  btnFolder = new QPushButton("...", Page);
  btnFolder->setObjectName("btnFolder");
  btnFolder->setFixedWidth(28);
  ePrefix = new QLineEdit("thm_", Page);
  ePrefix->setObjectName("ePrefix");
  ePrefix->setToolTip("File Name Prefix");
  cbReplace = new QCheckBox("Replace existing files", Page);
  cbReplace->setObjectName("cbReplace");
  lFiles = new QLabel(Page);
  lFiles->setObjectName("lFiles");
  SelectFolder = new TfrmSelectFolder(this);
  SelectFolder->setObjectName("SelectFolder");
  connect(btnFolder, &QPushButton::clicked, this, [this] {
    if (SelectFolder->Execute(eFolder->text())) eFolder->setText(SelectFolder->Folder());
  });

  auto* FolderRow = new QHBoxLayout;
  FolderRow->addWidget(eFolder);
  FolderRow->addWidget(btnFolder);
  auto* Form = new QFormLayout(Page);
  Form->addRow("Size", cbSize);
  Form->addRow("Format", cbFormat);
  Form->addRow("Save Folder", FolderRow);
  Form->addRow("File Prefix", ePrefix);
  Form->addRow(cbReplace);
  Form->addRow(lFiles);
  auto* Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* L = new QVBoxLayout(this);
  L->addWidget(Tabs);
  L->addWidget(Buttons);
}

bool TfrmSaveThumbnail::Execute(const QString& Folder, int Count) {
  eFolder->setText(FolderWithSeparator(Folder));
  lFiles->setText("Files to save: " + QString::number(Count));
  if (OnExecute) return OnExecute(*this);
  return exec() == QDialog::Accepted;
}

int TfrmSaveThumbnail::CellSize() const {
  return ThumbSizeOfText(cbSize->currentText().toStdString());
}

QString TfrmSaveThumbnail::Extension() const {
  return QString::fromStdString(ThumbExtensionOfFormat(cbFormat->currentText().toStdString()));
}

QString TfrmSaveThumbnail::SaveFolder() const {
  return FolderWithSeparator(eFolder->text());
}

bool TfrmSaveThumbnail::ReplaceExisting() const {
  return cbReplace->isChecked();
}

QString TfrmSaveThumbnail::Prefix() const {
  return ePrefix->text();
}

} // namespace orbisk
