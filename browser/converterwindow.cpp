#include "browser/converterwindow.h"
#include "platform/codecsettings.h"
#include "platform/waitcursor.h"

#include "platform/filenames.h"

#include "platform/dragfiles.h"
#include "platform/fileops.h"
#include "platform/dialogscale.h"
#include "platform/prompt.h"
#include "processing/editor/colorrezwindow.h"
#include "view/pgimage.h"
#include "view/typemask.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QShowEvent>
#include <QMenu>
#include <QSlider>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace orbisk {

namespace {

std::string Bytes(const QString& Path) {
  return EncodeFileName(Path).toStdString();
}

QString Text(const std::string& Path) {
  return DecodeFileName(QByteArray(Path.data(), qsizetype(Path.size())));
}

TPGImage* MakeView(QWidget* Parent) {
  auto* V = new TPGImage(Parent);
  V->SetCenter(true);
  V->SetStretch(sAlwaysKAR);
  return V;
}

} // namespace

bool PickGIFTransparentColor(QWidget* Owner, TPixelGraphic& Picture, TRGB& Color) {
  // The editor's transparency selector: the colour under the mouse, black until it moves over
  // the picture; a click closes it.
  TfrmGIFTrans Selector(Owner);
  Color = Selector.Execute(Picture);
  return true;
}

TfrmConvert::TfrmConvert(QWidget* Parent) : QMainWindow(Parent, Qt::Window) {
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setWindowTitle("Transmo- Original Size Mode");
  resize(ScaledSize(720, 420));
  PickTransparent = [this](TPixelGraphic& G, TRGB& C) {
    return PickGIFTransparentColor(this, G, C);
  };

  auto* Bar = addToolBar("Convert");
  Bar->setMovable(false);
  TargetCombo = new QComboBox(Bar);
  TargetCombo->setObjectName("TargetCombo");
  for (int I = 0; I < ctCount; ++I)
    TargetCombo->addItem(ConvertTargetText(TConvertTarget(I)));
  Bar->addWidget(TargetCombo);

  auto* Options = new QMenu(this);
  MaintainOriginalSize1 = Options->addAction("Maintain Original Size");
  MaintainOriginalSize1->setObjectName("MaintainOriginalSize1");
  MaintainOriginalSize1->setToolTip("Maintain original height and width");
  AutoSharpen1 = Options->addAction("Auto Sharpen when Resizing");
  AutoSharpen1->setObjectName("AutoSharpen1");
  SizeToFit1 = Options->addAction("Size To Fit");
  SizeToFit1->setObjectName("SizeToFit1");
  Options->setToolTipsVisible(true);
  for (QAction* A : {MaintainOriginalSize1, AutoSharpen1, SizeToFit1}) {
    A->setCheckable(true);
    A->setChecked(true);
  }
  OptionsButton = new QToolButton(Bar);
  OptionsButton->setObjectName("OptionsButton");
  OptionsButton->setText("Options");
  OptionsButton->setMenu(Options);
  OptionsButton->setPopupMode(QToolButton::InstantPopup);
  Bar->addWidget(OptionsButton);
  ConvertNowButton = Bar->addAction("Convert Now!");
  ConvertNowButton->setObjectName("ConvertNowButton");
  ConvertNowButton->setToolTip("Convert Now!");

  auto* Central = new QWidget(this);
  JPEGBar = new QWidget(Central);
  JPEGBar->setObjectName("JPEGBar");
  auto* JL = new QHBoxLayout(JPEGBar);
  JL->setContentsMargins(6, 0, 6, 0);
  QualitySlider = new QSlider(Qt::Horizontal, JPEGBar);
  QualitySlider->setObjectName("QualitySlider");
  QualitySlider->setMinimumWidth(160);
  QualitySlider->setRange(10, 100);
  QualitySlider->setValue(100);
  QualitySlider->setToolTip("JPG Compression Quality (left more compression, right more quality)");
  QualityLabel = new QLabel("100", JPEGBar);
  QualityLabel->setObjectName("QualityLabel");
  JL->addWidget(new QLabel("Size", JPEGBar));
  JL->addWidget(QualitySlider);
  JL->addWidget(new QLabel("Quality", JPEGBar));
  JL->addWidget(QualityLabel);
  JL->addStretch();

  GIFBar = new QWidget(Central);
  GIFBar->setObjectName("GIFBar");
  auto* GL = new QHBoxLayout(GIFBar);
  GL->setContentsMargins(6, 0, 6, 0);
  Interlaced = new QCheckBox("Interlaced", GIFBar);
  Interlaced->setObjectName("Interlaced");
  Transparent = new QCheckBox("Transparent", GIFBar);
  Transparent->setObjectName("Transparent");
  GL->addWidget(Interlaced);
  GL->addWidget(Transparent);
  GL->addStretch();

  auto* Rows = new QVBoxLayout(Central);
  Rows->setContentsMargins(2, 2, 2, 2);
  Rows->addWidget(JPEGBar);
  Rows->addWidget(GIFBar);
  auto* CL = new QHBoxLayout;
  Rows->addLayout(CL, 1);
  Image1 = MakeView(Central);
  Image1->setObjectName("Image1");
  Image1->SetSaveColorResWarningAction(pgwaIgnore);
  Image2 = MakeView(Central);
  Image2->setObjectName("Image2");
  CL->addWidget(Image1, 1);
  CL->addWidget(Image2, 1);
  setCentralWidget(Central);
  for (int I = 0; I < 2; ++I) {
    FPanels[size_t(I)] = new QLabel(this);
    FPanels[size_t(I)]->setTextFormat(Qt::PlainText);
    FPanels[size_t(I)]->setMinimumWidth(10);
    statusBar()->addWidget(FPanels[size_t(I)], 1);
  }

  LeftMenu = new QMenu(this);
  LeftMenu->setObjectName("LeftMenu");
  LeftProperties1 = LeftMenu->addAction("Image Properties");
  LeftProperties1->setObjectName("LeftProperties1");
  CurrentDisplaySize1 = LeftMenu->addAction("Current Display Size");
  CurrentDisplaySize1->setObjectName("CurrentDisplaySize1");
  RightMenu = new QMenu(this);
  RightMenu->setObjectName("RightMenu");
  RightProperties1 = RightMenu->addAction("Image Properties");
  RightProperties1->setObjectName("RightProperties1");
  DeleteConvertedFile1 = RightMenu->addAction("Delete Converted File");
  DeleteConvertedFile1->setObjectName("DeleteConvertedFile1");
  Image1->SetPopupMenu(LeftMenu);
  Image1->SetPicBoxPopupMenu(LeftMenu);
  Image2->SetPopupMenu(RightMenu);
  Image2->SetPicBoxPopupMenu(RightMenu);
  connect(LeftMenu, &QMenu::aboutToShow, this, &TfrmConvert::UpdateMenus);
  connect(RightMenu, &QMenu::aboutToShow, this, &TfrmConvert::UpdateMenus);

  connect(TargetCombo, &QComboBox::currentIndexChanged, this, &TfrmConvert::TargetChange);
  connect(QualitySlider, &QSlider::valueChanged, this,
          [this](int V) { QualityLabel->setText(QString::number(V)); });
  connect(SizeToFit1, &QAction::triggered, this, &TfrmConvert::SizeToFitClick);
  connect(MaintainOriginalSize1, &QAction::triggered, this,
          &TfrmConvert::MaintainOriginalSizeClick);
  connect(ConvertNowButton, &QAction::triggered, this, &TfrmConvert::ConvertNowClick);
  connect(CurrentDisplaySize1, &QAction::triggered, this, &TfrmConvert::CurrentDisplaySizeClick);
  connect(DeleteConvertedFile1, &QAction::triggered, this, &TfrmConvert::DeleteConvertedFileClick);
  connect(LeftProperties1, &QAction::triggered, this, [this] {
    if (OnImageProperties && Image1->PixelGraphicNoWait()) OnImageProperties(FSourcePath);
  });
  connect(RightProperties1, &QAction::triggered, this, [this] {
    if (OnImageProperties && !FResultPath.isEmpty()) OnImageProperties(FResultPath);
  });

  // Files dragged from one of the program's file lists, one at a time.
  auto Accepts = [](QWidget*, const QMimeData* Data, int, int) {
    return DragSourceOf(Data) != TDragSource::dsNone && DraggedLocalFiles(Data).size() == 1;
  };
  auto Drop = [this](QWidget*, const QMimeData* Data, int, int) {
    const QStringList Files = DraggedLocalFiles(Data);
    if (DragSourceOf(Data) == TDragSource::dsNone || Files.size() != 1) return;
    const QString Path = Files.first();
    const QString Name = QFileInfo(Path).fileName();
    if ((!IsPictureType(FileTypeOf(Name)) && !ConvertibleSourceName(Bytes(Name))) ||
        !OpenSource(Path))
      ShowMessage("Can't convert " + Path, this);
  };
  Image1->OnDragOver = Image1->PicBoxOnDragOver = Accepts;
  Image1->OnDragDrop = Image1->PicBoxOnDragDrop = Drop;

  TargetChange();
  UpdateMenus();
}

QString TfrmConvert::PanelText(const QString& Path) {
  return Path + " " + QString::number(QFileInfo(Path).size() / 1024 + 1) + "K";
}

QString TfrmConvert::Panel(int I) const {
  return FPanels[size_t(I)]->text();
}

void TfrmConvert::Execute(const QString& Path) {
  FSourcePath = Path;
  if (isVisible())
    OpenSource(Path);
  else
    show();
  raise();
  activateWindow();
}

void TfrmConvert::SelectionChanged(const QString& Path) {
  if (!isVisible() || Path.isEmpty() || Path == FSourcePath) return;
  const QString Name = QFileInfo(Path).fileName();
  if (!IsPictureType(FileTypeOf(Name)) && !ConvertibleSourceName(Bytes(Name))) return;
  OpenSource(Path);
}

void TfrmConvert::showEvent(QShowEvent* E) {
  QMainWindow::showEvent(E);
  if (!E->spontaneous() && !FSourcePath.isEmpty()) OpenSource(FSourcePath);
}

bool TfrmConvert::OpenSource(const QString& Path) {
  FSourcePath = Path;
  ClearResult();
  bool Ok = true;
  try {
    Image1->LoadFromFile(Path);
  } catch (const std::exception&) {
    Ok = false;
  }
  FPanels[0]->setText(Ok ? PanelText(Path) : QString());
  UpdateMenus();
  return Ok;
}

void TfrmConvert::ClearResult() {
  Image2->AssignPixelGraphic(nullptr);
  FResultPath.clear();
  FPanels[1]->clear();
  UpdateMenus();
}

void TfrmConvert::UpdateMenus() {
  LeftProperties1->setEnabled(Image1->PixelGraphicNoWait() != nullptr);
  CurrentDisplaySize1->setEnabled(Image1->PixelGraphicNoWait() != nullptr);
  const bool Result = Image2->PixelGraphicNoWait() != nullptr && !FResultPath.isEmpty();
  RightProperties1->setEnabled(Result);
  DeleteConvertedFile1->setEnabled(Result);
}

void TfrmConvert::SetTarget(TConvertTarget T) {
  TargetCombo->setCurrentIndex(int(T));
}

TConvertTarget TfrmConvert::Target() const {
  return TConvertTarget(std::max(0, TargetCombo->currentIndex()));
}

void TfrmConvert::TargetChange() {
  JPEGBar->setVisible(ConvertTargetUsesQuality(Target()));
  GIFBar->setVisible(Target() == ctGIF);
}

void TfrmConvert::SizeToFitClick(bool On) {
  Image1->SetStretch(On ? sAlwaysKAR : sNeverKAR);
  Image2->SetStretch(On ? sAlwaysKAR : sNeverKAR);
}

void TfrmConvert::MaintainOriginalSizeClick(bool On) {
  if (On) {
    setWindowTitle("Transmo - Original Size Mode");
    return;
  }
  setWindowTitle("Transmo - ReSize Mode");
  SizeToFit1->setChecked(true);
  SizeToFitClick(true);
}

TConvertSettings TfrmConvert::Settings() const {
  TConvertSettings S;
  S.Target = Target();
  S.MaintainOriginalSize = MaintainOriginalSize1->isChecked();
  S.AutoSharpen = AutoSharpen1->isChecked();
  S.DisplayWidth = Image1->BoxRect().Width();
  S.DisplayHeight = Image1->BoxRect().Height();
  S.JPEGQuality = QualitySlider->value();
  S.Interlaced = Interlaced->isChecked();
  S.Transparent = Transparent->isChecked();
  return S;
}

void TfrmConvert::ConvertNowClick() {
  TPixelGraphic* Source = Image1->PixelGraphic();
  if (!Source || FSourcePath.isEmpty()) return;
  const TConvertSettings S = Settings();
  // No to the question writes nothing.
  bool Declined = false;
  const std::string Dest =
      ChooseConvertDestination(Bytes(FSourcePath), S.Target, [&](const std::string& D) {
        Declined = !AskYesNo(Text(D) + " exists. Overwrite?", this);
        return true;
      });
  if (Declined) return;
  bool Written = false;
  try {
    TWaitCursor Wait;
    Written = ConvertPictureFile(*Source, Bytes(FSourcePath), Dest, S, PickTransparent,
                                 CurrentWriteOptions());
  } catch (const std::exception& E) {
    ShowMessage(QString::fromStdString(E.what()), this);
    return;
  }
  if (!Written) return;
  FResultPath = Text(Dest);
  try {
    Image2->LoadFromFile(FResultPath);
  } catch (const std::exception& E) {
    ShowMessage(QString::fromStdString(E.what()), this);
  }
  FPanels[1]->setText(PanelText(FResultPath));
  UpdateMenus();
  emit OnListChanged();
}

void TfrmConvert::CurrentDisplaySizeClick() {
  ShowMessage(QString::number(Image1->BoxRect().Width()) + "X" +
                  QString::number(Image1->BoxRect().Height()),
              this);
}

void TfrmConvert::DeleteConvertedFileClick() {
  if (FResultPath.isEmpty()) return;
  const QString Path = FResultPath;
  if (!ConfirmDeleteFiles({Path}, !ConfirmDeletions || ConfirmDeletions(), this)) return;
  const TDeleteMode Mode =
      DeletePermanently && DeletePermanently() ? TDeleteMode::dmPermanent : TDeleteMode::dmTrash;
  QStringList Gone;
  {
    TWaitCursor Wait;
    Gone = DeleteFiles({Path}, Mode, nullptr, this);
  }
  if (Gone.isEmpty()) {
    // The trash reports its own failure; a permanent delete is not silent either.
    if (Mode == TDeleteMode::dmPermanent) ShowMessage("Error deleting " + Path, this);
    return;
  }
  ClearResult();
  emit OnListChanged();
}

} // namespace orbisk
