#include "metadata/ui/exifwindow.h"

#include "platform/dialogscale.h"
#include "platform/filenames.h"

#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QMetaMethod>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace orbisk {

namespace {
// Cameras store text in UTF-8 or in a single-byte code page; keep either readable.
QString TextOf(const std::string& S) {
  QString U = QString::fromUtf8(S.data(), qsizetype(S.size()));
  if (U.contains(QChar::ReplacementCharacter))
    return QString::fromLatin1(S.data(), qsizetype(S.size()));
  return U;
}
} // namespace

TfrmEXIF::TfrmEXIF(QWidget* Parent)
    : QWidget(Parent, Qt::Window | Qt::WindowStaysOnTopHint), FList(new QTreeWidget(this)) {
  setWindowTitle("EXIF Data");
  setObjectName("frmEXIF");
  resize(ScaledSize(kWidth, kHeight));

  FList->setObjectName("ListView1");
  FList->setColumnCount(2);
  FList->setHeaderLabels({"Description", "Value"});
  FList->setRootIsDecorated(false);
  FList->setUniformRowHeights(true);
  FList->setAllColumnsShowFocus(true);
  FList->setSelectionBehavior(QAbstractItemView::SelectRows);
  FList->header()->setStretchLastSection(false);
  FList->header()->setSectionResizeMode(QHeaderView::Interactive);
  FList->setColumnWidth(0, kDescriptionWidth);
  FList->setColumnWidth(1, kValueWidth);
  QPalette Pal = FList->palette();
  const QColor Back(255, 254, 234);
  Pal.setColor(QPalette::Base, Back);
  Pal.setColor(QPalette::AlternateBase, Back);
  FList->setPalette(Pal);
  FList->setAutoFillBackground(true);

  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->addWidget(FList);
}

void TfrmEXIF::CentreOnScreen() {
  QScreen* S = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!S) return;
  QRect Area = S->availableGeometry();
  move(Area.left() + (Area.width() - width()) / 2, Area.top() + (Area.height() - height()) / 2);
}

void TfrmEXIF::ShowFile(const QString& Path) {
  if (!FPlaced) {
    resize(ScaledSize(kWidth, kHeight));
    CentreOnScreen();
    FPlaced = true;
  }
  show();
  raise();
  ListExifData(Path);
}

void TfrmEXIF::SelectionChanged(const QString& Path) {
  if (isVisible()) ListExifData(Path);
}

bool TfrmEXIF::ListExifData(const QString& Path) {
  FList->clear();
  FListedFile = Path;
  std::vector<TExifRow> Rows;
  try {
    orbisk::ListExifData(EncodeFileName(Path).toStdString(), Rows);
  } catch (const std::exception& E) {
    FList->clear();
    const QString Text = QString::fromLocal8Bit(E.what());
    if (isSignalConnected(QMetaMethod::fromSignal(&TfrmEXIF::OnError)))
      emit OnError(Text);
    else
      QMessageBox::critical(this, windowTitle(), Text);
    return false;
  }
  QList<QTreeWidgetItem*> Items;
  Items.reserve(qsizetype(Rows.size()));
  for (const TExifRow& R : Rows)
    Items.append(new QTreeWidgetItem(QStringList{TextOf(R.Description), TextOf(R.Value)}));
  FList->addTopLevelItems(Items);
  return true;
}

std::vector<TExifRow> TfrmEXIF::Rows() const {
  std::vector<TExifRow> Out;
  for (int I = 0; I < FList->topLevelItemCount(); ++I) {
    const QTreeWidgetItem* It = FList->topLevelItem(I);
    Out.push_back({It->text(0).toStdString(), It->text(1).toStdString()});
  }
  return Out;
}

} // namespace orbisk
