#include "thumbnails/thumbedit.h"
#include "platform/dialogscale.h"

#include "platform/dragfiles.h"
#include "platform/prompt.h"
#include "thumbnails/tesslyoptions.h"
#include "thumbnails/tesslyviewer.h"
#include "view/fileprop.h"
#include "view/pgimage.h"
#include "view/previewdialogs.h"
#include "view/typemask.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>

#include <utility>

namespace orbisk {

const char* const TfrmThumbEdit::kSaveFilter =
    "BMP - Bitmap|*.bmp|JPG - JPEG (JFIF compliant)|*.jpg|PBM - Portable Bitmap|*.pbm|"
    "PGM - Portable Graymap|*.pgm|PNG - Portable Network Graphics|*.png|"
    "PPM - Portable Pixelmap|*.ppm|TGA - Truevision Targa|*.tga|"
    "TIF - Tagged Image File Format|*.tif";

namespace {

bool FromProgramList(const QMimeData* D) {
  const TDragSource S = DragSourceOf(D);
  return S == TDragSource::dsFileList || S == TDragSource::dsThumbnailList;
}

} // namespace

// ---- the list

TTesslyList::TTesslyList(QWidget* Parent) : QListWidget(Parent) {
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
  setSelectionMode(QAbstractItemView::SingleSelection);
  QPalette P = palette();
  P.setColor(QPalette::Base, QColor(254, 255, 230));
  setPalette(P);
}

void TTesslyList::dragEnterEvent(QDragEnterEvent* E) {
  if (FromProgramList(E->mimeData()))
    E->acceptProposedAction();
  else
    E->ignore();
}

void TTesslyList::dragMoveEvent(QDragMoveEvent* E) {
  if (FromProgramList(E->mimeData()))
    E->acceptProposedAction();
  else
    E->ignore();
}

void TTesslyList::dropEvent(QDropEvent* E) {
  if (!FromProgramList(E->mimeData())) {
    E->ignore();
    return;
  }
  emit OnFilesDropped(DraggedLocalFiles(E->mimeData()));
  E->acceptProposedAction();
}

// ---- the window

TfrmThumbEdit::TfrmThumbEdit(QWidget* Parent) : QMainWindow(Parent, Qt::Window) {
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setWindowTitle("Tessly Creator");
  resize(ScaledSize(605, 437));
  if (QScreen* S = QGuiApplication::primaryScreen())
    move(S->availableGeometry().center() - rect().center());
  OptionsWindow = new TfrmTesslyOptions(this);

  ListBox1 = new TTesslyList;
  ListBox1->setMinimumWidth(160);
  connect(ListBox1, &TTesslyList::OnFilesDropped, this,
          [this](const QStringList& F) { DropFiles(F); });
  ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] { ViewImageClick(); });
  connect(ListBox1, &QListWidget::currentRowChanged, this, [this] { UpdateMenu(); });

  PGImage1 = new TPGImage;
  PGImage1->SetCenter(true);
  PGImage1->SetStretch(sNeverKAR);

  GenerateButton = new QPushButton("Generate Tessly");
  SaveButton = new QPushButton("Save to File...");
  StretchButton = new QPushButton("Stretch To Fit");
  StretchButton->setCheckable(true);
  OptionsButton = new QPushButton("Options");
  connect(GenerateButton, &QPushButton::clicked, this, [this] { GenerateClick(); });
  connect(SaveButton, &QPushButton::clicked, this, [this] { SaveClick(); });
  connect(StretchButton, &QPushButton::toggled, this, [this](bool D) { StretchToFitClick(D); });
  connect(OptionsButton, &QPushButton::clicked, this, [this] { OptionsClick(); });

  auto* Right = new QWidget;
  auto* RL = new QVBoxLayout(Right);
  RL->setContentsMargins(0, 0, 0, 0);
  auto* Buttons = new QHBoxLayout;
  for (QPushButton* B : {GenerateButton, SaveButton, StretchButton, OptionsButton})
    Buttons->addWidget(B);
  Buttons->addStretch();
  RL->addLayout(Buttons);
  RL->addWidget(PGImage1, 1);
  auto* Split = new QSplitter(Qt::Horizontal, this);
  Split->addWidget(ListBox1);
  Split->addWidget(Right);
  Split->setSizes({160, 445});
  Split->setStretchFactor(1, 1);
  setCentralWidget(Split);

  QMenu* File = menuBar()->addMenu("File");
  Generate1 = File->addAction("Generate Tessly", this, [this] { GenerateClick(); });
  SaveAs1 = File->addAction("Save As...", this, [this] { SaveClick(); });
  File->addSeparator();
  Close1 = File->addAction("Close", this, [this] { close(); });

  ListMenu = new QMenu(this);
  ViewImage1 = ListMenu->addAction("View Image...", this, [this] { ViewImageClick(); });
  ImageProperties1 =
      ListMenu->addAction("Image Properties...", this, [this] { ImagePropertiesClick(); });
  ListMenu->addSeparator();
  DeleteSelectedItem1 =
      ListMenu->addAction("Delete Selected Item", this, [this] { DeleteSelectedClick(); });
  ClearAllItems1 = ListMenu->addAction("Clear All Items", this, [this] { ClearAllClick(); });
  connect(ListBox1, &QWidget::customContextMenuRequested, this, [this](const QPoint& At) {
    UpdateMenu();
    ListMenu->popup(ListBox1->viewport()->mapToGlobal(At));
  });

  StatusPanels[0] = new QLabel(this);
  StatusPanels[0]->setMinimumWidth(160);
  StatusPanels[1] = new QLabel("Drag and drop files from the Thumbnail Explorer", this);
  statusBar()->addWidget(StatusPanels[0]);
  statusBar()->addWidget(StatusPanels[1], 1);
  // Every part is named as its member, so that it can be found by name.
  const std::pair<QObject*, const char*> Named[] = {
      {ListBox1, "ListBox1"},
      {PGImage1, "PGImage1"},
      {OptionsWindow, "OptionsWindow"},
      {GenerateButton, "GenerateButton"},
      {SaveButton, "SaveButton"},
      {StretchButton, "StretchButton"},
      {OptionsButton, "OptionsButton"},
      {Generate1, "Generate1"},
      {SaveAs1, "SaveAs1"},
      {Close1, "Close1"},
      {ViewImage1, "ViewImage1"},
      {ImageProperties1, "ImageProperties1"},
      {DeleteSelectedItem1, "DeleteSelectedItem1"},
      {ClearAllItems1, "ClearAllItems1"},
      {ListMenu, "ListMenu"},
      {StatusPanels[0], "StatusPanels0"},
      {StatusPanels[1], "StatusPanels1"},
  };
  for (const auto& [Object, Name] : Named)
    Object->setObjectName(Name);
  UpdateMenu();
}

QString TfrmThumbEdit::PanelText(int Panel) const {
  return StatusPanels[size_t(Panel)]->text();
}

void TfrmThumbEdit::UpdateMenu() {
  const bool Selected = ListBox1->currentRow() >= 0 && !ListBox1->selectedItems().isEmpty();
  ViewImage1->setEnabled(Selected);
  ImageProperties1->setEnabled(Selected);
  DeleteSelectedItem1->setEnabled(Selected);
}

void TfrmThumbEdit::AddFiles(const QStringList& Files) {
  ListBox1->addItems(Files);
}

void TfrmThumbEdit::DropFiles(const QStringList& Files) {
  for (const QString& F : Files)
    if (IsPictureFile(QFileInfo(F).fileName())) ListBox1->addItem(F);
}

QStringList TfrmThumbEdit::Files() const {
  QStringList L;
  for (int I = 0; I < ListBox1->count(); ++I)
    L << ListBox1->item(I)->text();
  return L;
}

void TfrmThumbEdit::GenerateClick() {
  const QStringList List = Files();
  if (List.isEmpty()) {
    ShowMessage(kTesslyEmptyList, this);
    return;
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  struct TRestore {
    ~TRestore() { QApplication::restoreOverrideCursor(); }
  } Restore;
  TTesslyEvents Events;
  Events.OnProgress = [this](int I, int N) {
    StatusPanels[1]->setText("Processing " + QString::number(I) + " of " + QString::number(N));
    StatusPanels[1]->repaint();
  };
  Events.OnMessage = [this](const QString& Text) { ShowMessage(Text, this); };
  const TTesslyOptions O = OptionsWindow->Options();
  TTesslyLayout L;
  // The size panel shows the sheet's size before the entries are drawn.
  const TTesslyLayout Planned =
      TesslyLayout(static_cast<int>(List.size()), O,
                   O.Title ? BandHeight(TesslyFont(O.TitleFont, O.TitleSize)) : 0,
                   O.Footer ? BandHeight(TesslyFont(O.FooterFont, O.FooterSize)) : 0);
  StatusPanels[0]->setText("Tessly size : " + QString::number(Planned.Width) + " X " +
                           QString::number(Planned.Height));
  auto Sheet = GenerateTessly(List, O, Events, &L);
  PGImage1->TakePixelGraphic(std::move(Sheet));
}

void TfrmThumbEdit::SaveClick() {
  if (!PGImage1->PixelGraphicNoWait() || PGImage1->PixelGraphicNoWait()->Empty()) {
    ShowMessage("There is no Tessly to save yet: generate one first", this);
    return;
  }
  TPGSaveDialog D(this);
  D.Title = "Save Tessly";
  D.StretchMode = smFast;
  D.UseDefaultFilter = false;
  D.Filter = kSaveFilter;
  D.FilterIndex = 2;
  const bool Ok = OnExecuteSaveDialog ? OnExecuteSaveDialog(D) : D.Execute();
  if (!Ok || D.FileName.isEmpty()) return;
  try {
    PGImage1->SaveToFile(D.FileName);
  } catch (const std::exception& E) {
    ShowMessage(QString::fromLocal8Bit(E.what()), this);
  }
}

void TfrmThumbEdit::ViewImageClick() {
  QListWidgetItem* I = ListBox1->currentItem();
  if (!I) return;
  try {
    ViewImage(I->text(), 0);
  } catch (const std::exception& E) {
    ShowMessage(QString::fromLocal8Bit(E.what()), this);
  }
}

void TfrmThumbEdit::ImagePropertiesClick() {
  QListWidgetItem* I = ListBox1->currentItem();
  if (!I) return;
  if (!FilePropWindow) FilePropWindow = [Own = new TfrmFileProp(this)] { return Own; };
  FilePropWindow()->Execute(I->text());
}

void TfrmThumbEdit::DeleteSelectedClick() {
  const int R = ListBox1->currentRow();
  if (R >= 0) delete ListBox1->takeItem(R);
  UpdateMenu();
}

void TfrmThumbEdit::ClearAllClick() {
  ListBox1->clear();
  if (TPixelGraphic* G = PGImage1->PixelGraphic(); G && !G->Empty()) {
    G->Clear();
    G->Changed();
  }
  UpdateMenu();
}

void TfrmThumbEdit::StretchToFitClick(bool Down) {
  PGImage1->SetStretch(Down ? sAlwaysKAR : sNeverKAR);
}

void TfrmThumbEdit::OptionsClick() {
  OptionsWindow->show();
  OptionsWindow->raise();
}

void TfrmThumbEdit::hideEvent(QHideEvent* E) {
  OptionsWindow->hide();
  QMainWindow::hideEvent(E);
}

} // namespace orbisk
