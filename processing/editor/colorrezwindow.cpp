#include "processing/editor/colorrezwindow.h"

#include "platform/dialogscale.h"
#include "platform/pgqt.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace orbisk {

// ---- TfrmColorRez

TfrmColorRez::TfrmColorRez(QWidget* Parent) : QDialog(Parent) {
  setObjectName("frmColorRez");
  setWindowTitle("PixelGraphicLibrary Demo 19");
  auto* L = new QVBoxLayout(this);
  auto* Depths = new QButtonGroup(this);

  auto Group = [&](QRadioButton*& DepthButton, const QString& Title) {
    auto* Box = new QGroupBox(this);
    auto* G = new QGridLayout(Box);
    DepthButton = new QRadioButton(Title, Box);
    Depths->addButton(DepthButton);
    G->addWidget(DepthButton, 0, 0, 1, 3);
    L->addWidget(Box);
    return std::pair{Box, G};
  };
  auto Palette = [&](QButtonGroup* Buttons, QGridLayout* G, const QString& Text, int Row,
                     int Column) {
    auto* B = new QRadioButton(Text, G->parentWidget());
    Buttons->addButton(B);
    G->addWidget(B, Row, Column);
    return B;
  };

  auto [Box1, G1] = Group(Bits1Button, "1 bit per pixel (max. 2 colors)");
  auto* P1 = new QButtonGroup(this);
  BlackWhiteButton = Palette(P1, G1, "Black&&White", 1, 0); // shown as Black&White
  Optimized1Button = Palette(P1, G1, "Optimized", 1, 1);

  auto [Box4, G4] = Group(Bits4Button, "4 bits per pixel (max 16 colors)");
  auto* P4 = new QButtonGroup(this);
  Gray4Button = Palette(P4, G4, "Grayscale 4", 1, 0);
  SysGray4Button = Palette(P4, G4, "Grayscale 4 (system)", 1, 1);
  Gray16Button = Palette(P4, G4, "Grayscale 16", 1, 2);
  Sys16Button = Palette(P4, G4, "System 16", 2, 0);
  Optimized4Button = Palette(P4, G4, "Optimized", 2, 1);
  Count4Edit = new QLineEdit(Box4);
  G4->addWidget(new QLabel("Colors (2...16)", Box4), 3, 0);
  G4->addWidget(Count4Edit, 3, 1);

  auto [Box8, G8] = Group(Bits8Button, "8 bits per pixel (max 256 colors)");
  auto* P8 = new QButtonGroup(this);
  Gray236Button = Palette(P8, G8, "Grayscale 236", 1, 0);
  Gray256Button = Palette(P8, G8, "Grayscale 256", 1, 1);
  Special125Button = Palette(P8, G8, "Special 125", 1, 2);
  Special216Button = Palette(P8, G8, "Special 216", 2, 0);
  Special252Button = Palette(P8, G8, "Special 252", 2, 1);
  Optimized8Button = Palette(P8, G8, "Optimized", 2, 2);
  Count8Edit = new QLineEdit(Box8);
  G8->addWidget(new QLabel("Colors (2...256)", Box8), 3, 0);
  G8->addWidget(Count8Edit, 3, 1);
  IncludeSystemBox = new QCheckBox("Include 16 system colors", Box8);
  G8->addWidget(IncludeSystemBox, 4, 0, 1, 3);

  auto [Box24, G24] = Group(Bits24Button, "24 bits per pixel (true-color)");
  (void)Box24, (void)G24;

  DitherBox = new QCheckBox("Dithering", this);
  RGBWeightingBox = new QCheckBox("RGB weighting", this);
  L->addWidget(DitherBox);
  L->addWidget(RGBWeightingBox);
  Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  L->addWidget(Buttons);
  (void)Box1;

  // User actions change the model; the buttons then show it.
  auto OnClick = [this](QRadioButton* B, auto Action) {
    connect(B, &QRadioButton::clicked, this, [this, Action] {
      if (FShowing) return;
      Action();
      ShowModel();
    });
  };
  OnClick(Bits1Button, [this] { FModel.BitCount = 1; });
  OnClick(Bits4Button, [this] { FModel.BitCount = 4; });
  OnClick(Bits8Button, [this] { FModel.BitCount = 8; });
  OnClick(Bits24Button, [this] { FModel.BitCount = 24; });
  const std::pair<QRadioButton*, std::pair<int, TPaletteIdent>> Kinds[] = {
      {BlackWhiteButton, {1, pBlackWhite}}, {Optimized1Button, {1, pUnknown}},
      {Gray4Button, {4, pGray4}},           {SysGray4Button, {4, pSysGray4}},
      {Gray16Button, {4, pGray16}},         {Sys16Button, {4, pSys16}},
      {Optimized4Button, {4, pUnknown}},    {Gray236Button, {8, pGray236}},
      {Gray256Button, {8, pGray256}},       {Special125Button, {8, pSpecial125}},
      {Special216Button, {8, pSpecial216}}, {Special252Button, {8, pSpecial252}},
      {Optimized8Button, {8, pUnknown}}};
  for (const auto& [B, K] : Kinds) {
    const auto Kind = K;
    OnClick(B, [this, Kind] { FModel.ChoosePalette(Kind.first, Kind.second); });
  }
  connect(Count4Edit, &QLineEdit::textEdited, this, [this](const QString& T) {
    FModel.EditCount4(T.toStdString());
    ShowModel();
  });
  connect(Count8Edit, &QLineEdit::textEdited, this, [this](const QString& T) {
    FModel.EditCount8(T.toStdString());
    ShowModel();
  });
  connect(IncludeSystemBox, &QCheckBox::clicked, this, [this](bool On) {
    FModel.SetIncludeSystem16(On);
    ShowModel();
  });
  connect(DitherBox, &QCheckBox::clicked, this, [this](bool On) { FModel.Dither = On; });
  connect(RGBWeightingBox, &QCheckBox::clicked, this,
          [this](bool On) { FModel.RGBWeighting = On; });
  ShowModel();
  // The controls are found by their names.
  const std::pair<QObject*, const char*> Names[] = {{Bits1Button, "Bits1Button"},
                                                    {Bits4Button, "Bits4Button"},
                                                    {Bits8Button, "Bits8Button"},
                                                    {Bits24Button, "Bits24Button"},
                                                    {BlackWhiteButton, "BlackWhiteButton"},
                                                    {Optimized1Button, "Optimized1Button"},
                                                    {Gray4Button, "Gray4Button"},
                                                    {SysGray4Button, "SysGray4Button"},
                                                    {Gray16Button, "Gray16Button"},
                                                    {Sys16Button, "Sys16Button"},
                                                    {Optimized4Button, "Optimized4Button"},
                                                    {Gray236Button, "Gray236Button"},
                                                    {Gray256Button, "Gray256Button"},
                                                    {Special125Button, "Special125Button"},
                                                    {Special216Button, "Special216Button"},
                                                    {Special252Button, "Special252Button"},
                                                    {Optimized8Button, "Optimized8Button"},
                                                    {Count4Edit, "Count4Edit"},
                                                    {Count8Edit, "Count8Edit"},
                                                    {IncludeSystemBox, "IncludeSystemBox"},
                                                    {DitherBox, "DitherBox"},
                                                    {RGBWeightingBox, "RGBWeightingBox"},
                                                    {Buttons, "Buttons"}};
  for (auto [O, Name] : Names)
    O->setObjectName(QString::fromLatin1(Name));
}

QPushButton* TfrmColorRez::OkButton() const {
  return Buttons->button(QDialogButtonBox::Ok);
}

void TfrmColorRez::ShowModel() {
  FShowing = true;
  const TColorResolutionModel& M = FModel;
  Bits1Button->setChecked(M.BitCount == 1);
  Bits4Button->setChecked(M.BitCount == 4);
  Bits8Button->setChecked(M.BitCount == 8);
  Bits24Button->setChecked(M.BitCount == 24);
  (M.Kind1 == pBlackWhite ? BlackWhiteButton : Optimized1Button)->setChecked(true);
  switch (M.Kind4) {
  case pGray4:
    Gray4Button->setChecked(true);
    break;
  case pSysGray4:
    SysGray4Button->setChecked(true);
    break;
  case pGray16:
    Gray16Button->setChecked(true);
    break;
  case pSys16:
    Sys16Button->setChecked(true);
    break;
  default:
    Optimized4Button->setChecked(true);
    break;
  }
  switch (M.Kind8) {
  case pGray236:
    Gray236Button->setChecked(true);
    break;
  case pGray256:
    Gray256Button->setChecked(true);
    break;
  case pSpecial125:
    Special125Button->setChecked(true);
    break;
  case pSpecial216:
    Special216Button->setChecked(true);
    break;
  case pSpecial252:
    Special252Button->setChecked(true);
    break;
  default:
    Optimized8Button->setChecked(true);
    break;
  }
  const QString C4 = QString::fromStdString(M.Count4), C8 = QString::fromStdString(M.Count8);
  if (Count4Edit->text() != C4) Count4Edit->setText(C4);
  if (Count8Edit->text() != C8) Count8Edit->setText(C8);
  IncludeSystemBox->setChecked(M.IncludeSystem16);
  DitherBox->setChecked(M.Dither);
  RGBWeightingBox->setChecked(M.RGBWeighting);
  OkButton()->setEnabled(M.CanConfirm());
  FShowing = false;
}

// ---- TfrmGIFTrans

TfrmGIFTrans::TfrmGIFTrans(QWidget* Parent) : QDialog(Parent) {
  setObjectName("frmGIFTrans");
  setWindowTitle("GIF Transparency Selector");
  setWindowFlag(Qt::WindowStaysOnTopHint);
  auto* L = new QVBoxLayout(this);
  L->addWidget(new QLabel("Click on the color you want to be transparent...", this));
  PictureArea = new QWidget(this);
  PictureArea->setMinimumSize(320, 240);
  PictureArea->setMouseTracking(true);
  PictureArea->installEventFilter(this);
  L->addWidget(PictureArea, 1);
  auto* Status = new QHBoxLayout;
  for (size_t I = 0; I < StatusPanels.size(); ++I) {
    StatusPanels[I] = new QLabel(this);
    StatusPanels[I]->setFrameShape(QFrame::Panel);
    StatusPanels[I]->setFrameShadow(QFrame::Sunken);
    Status->addWidget(StatusPanels[I]);
  }
  L->addLayout(Status);
  resize(ScaledSize(420, 340));
  // The controls are found by their names.
  const std::pair<QObject*, const char*> Names[] = {{PictureArea, "PictureArea"},
                                                    {StatusPanels[0], "StatusPanel0"},
                                                    {StatusPanels[1], "StatusPanel1"},
                                                    {StatusPanels[2], "StatusPanel2"}};
  for (auto [O, Name] : Names)
    O->setObjectName(QString::fromLatin1(Name));
}

void TfrmGIFTrans::Setup(const TPixelGraphic& Picture) {
  FImage = Picture.Empty() ? QImage() : ToQImage(Picture);
  FColor = 0;
  for (QLabel* P : StatusPanels)
    P->clear();
  PictureArea->update();
}

TRGB TfrmGIFTrans::Execute(const TPixelGraphic& Picture) {
  Setup(Picture);
  exec();
  return FColor;
}

QRect TfrmGIFTrans::PictureRect() const {
  if (FImage.isNull()) return QRect();
  QSize S = FImage.size();
  S.scale(PictureArea->size(), Qt::KeepAspectRatio);
  return QRect(
      QPoint((PictureArea->width() - S.width()) / 2, (PictureArea->height() - S.height()) / 2), S);
}

void TfrmGIFTrans::PictureMouseMove(QPoint P) {
  const QRect R = PictureRect();
  if (R.isEmpty() || !R.contains(P)) return;
  const int X =
      std::min(int(int64_t(P.x() - R.left()) * FImage.width() / R.width()), FImage.width() - 1);
  const int Y =
      std::min(int(int64_t(P.y() - R.top()) * FImage.height() / R.height()), FImage.height() - 1);
  const QRgb C = FImage.pixel(X, Y);
  FColor = RGBOf(qRed(C), qGreen(C), qBlue(C));
  StatusPanels[0]->setText("R=" + QString::number(qRed(C)));
  StatusPanels[1]->setText("G=" + QString::number(qGreen(C)));
  StatusPanels[2]->setText("B=" + QString::number(qBlue(C)));
}

bool TfrmGIFTrans::eventFilter(QObject* O, QEvent* E) {
  if (O == PictureArea) {
    switch (E->type()) {
    case QEvent::Paint: {
      QPainter P(PictureArea);
      if (!FImage.isNull()) P.drawImage(PictureRect(), FImage);
      return true;
    }
    case QEvent::MouseMove:
      PictureMouseMove(static_cast<QMouseEvent*>(E)->position().toPoint());
      return true;
    case QEvent::MouseButtonRelease:
      accept();
      return true;
    default:
      break;
    }
  }
  return QDialog::eventFilter(O, E);
}

} // namespace orbisk
