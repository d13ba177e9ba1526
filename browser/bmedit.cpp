#include "browser/bmedit.h"

#include "browser/bookmarks.h"
#include "platform/prompt.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace orbisk {

TfBMEdit::TfBMEdit(QWidget* Parent) : QDialog(Parent) {
  setObjectName("fBMEdit");
  setWindowTitle(QStringLiteral("Edit Bookmarks"));
  ListBox1 = new QListWidget(this);
  ListBox1->setObjectName("ListBox1");
  UpButton = new QPushButton(QStringLiteral("Up"), this);
  UpButton->setObjectName("UpButton");
  DownButton = new QPushButton(QStringLiteral("Down"), this);
  DownButton->setObjectName("DownButton");
  DeleteButton = new QPushButton(QStringLiteral("Delete"), this);
  DeleteButton->setObjectName("DeleteButton");
  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setObjectName("OKButton");
  CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
  CancelButton->setObjectName("CancelButton");
  OKButton->setDefault(true);
  auto* Buttons = new QVBoxLayout;
  for (QPushButton* B : {UpButton, DownButton, DeleteButton})
    Buttons->addWidget(B);
  Buttons->addStretch();
  Buttons->addWidget(OKButton);
  Buttons->addWidget(CancelButton);
  auto* Main = new QHBoxLayout(this);
  Main->addWidget(ListBox1, 1);
  Main->addLayout(Buttons);
  resize(420, 260);
  connect(UpButton, &QPushButton::clicked, this, [this] { UpButtonClick(); });
  connect(DownButton, &QPushButton::clicked, this, [this] { DownButtonClick(); });
  connect(DeleteButton, &QPushButton::clicked, this, [this] { DeleteButtonClick(); });
  connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TfBMEdit::Open(const QString& FileName) {
  FFileName = FileName;
  QStringList List;
  FReadable = ReadBookmarks(FileName, List) != TBookmarksRead::Unreadable;
  ListBox1->clear();
  ListBox1->addItems(List);
  if (ListBox1->count() > 0) ListBox1->setCurrentRow(0);
}

bool TfBMEdit::Execute(const QString& FileName) {
  Open(FileName);
  return exec() == QDialog::Accepted;
}

QStringList TfBMEdit::Lines() const {
  QStringList L;
  for (int I = 0; I < ListBox1->count(); ++I)
    L << ListBox1->item(I)->text();
  return L;
}

void TfBMEdit::MoveSelected(int Delta) {
  int Row = ListBox1->currentRow();
  if (Row < 0 || !ListBox1->currentItem()->isSelected()) return;
  int To = Row + Delta;
  if (To < 0 || To >= ListBox1->count()) return;
  QListWidgetItem* It = ListBox1->takeItem(Row);
  ListBox1->insertItem(To, It);
  ListBox1->setCurrentRow(To);
}

void TfBMEdit::UpButtonClick() {
  MoveSelected(-1);
}

void TfBMEdit::DownButtonClick() {
  MoveSelected(1);
}

void TfBMEdit::DeleteButtonClick() {
  int Row = ListBox1->currentRow();
  if (Row < 0 || !ListBox1->currentItem()->isSelected()) return;
  delete ListBox1->takeItem(Row);
  if (ListBox1->count() > 0) ListBox1->setCurrentRow(0);
}

void TfBMEdit::OKButtonClick() {
  // A file that could not be read is never replaced by what the editor shows.
  if (!FReadable) {
    ShowMessage(AddBookmarkMessage(TAddBookmark::Unreadable, FFileName, QString()), this);
    return;
  }
  if (!SaveBookmarks(FFileName, Lines())) {
    ShowMessage(AddBookmarkMessage(TAddBookmark::WriteFailed, FFileName, QString()), this);
    return;
  }
  accept();
}

} // namespace orbisk
