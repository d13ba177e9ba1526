#include "view/fileprop.h"

#include "platform/filenames.h"

#include "engine/registry.h"
#include "view/pgimage.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QPushButton>

namespace orbisk {

namespace {

constexpr int kMargin = 12, kRowHeight = 20, kValueLeft = 112, kValueWidth = 190;
constexpr int kPreviewLeft = 310, kPreviewSize = 138;

QLabel* MakeLabel(QWidget* Parent, const QString& Text, const QColor& Color) {
  auto* L = new QLabel(Text, Parent);
  QPalette P = L->palette();
  P.setColor(QPalette::WindowText, Color);
  L->setPalette(P);
  L->setAttribute(Qt::WA_TranslucentBackground);
  return L;
}

} // namespace

void MakePropertiesGradient(TPixelGraphic& G, int W, int H) {
  G.SetSize(std::max(W, 1), std::max(H, 1), 3);
  W = G.Width();
  for (int Y = 0; Y < G.Height(); ++Y) {
    uint8_t* Row = G.ScanLine(Y);
    for (int X = 0; X < W; ++X) {
      Row[3 * X] = 0;                                    // blue
      Row[3 * X + 1] = 0;                                // green
      Row[3 * X + 2] = uint8_t(140 + X * (0 - 140) / W); // red
    }
  }
}

const QStringList& TfrmFileProp::Captions() {
  static const QStringList C = {"FileName", "File Date",    "File Size",   "Type",
                                "SubType",  "Options",      "Width",       "Height",
                                "Colors",   "BitsPerPixel", "GraphicCount"};
  return C;
}

TfrmFileProp::TfrmFileProp(QWidget* Parent) : QDialog(Parent) {
  setWindowTitle("Image Properties");
  setObjectName("frmFileProp");
  setFixedSize(kWidth, kHeight);

  // The background view fills the window and is made once, at the window's size.
  FBackground = new TPGImage(this);
  FBackground->setObjectName("Background");
  FBackground->setFrameShape(QFrame::NoFrame);
  FBackground->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  FBackground->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  FBackground->setGeometry(0, 0, kWidth, kHeight);
  FBackground->SetStretch(sAlways);
  FBackground->SetShowHourGlass(false);
  auto Gradient = std::make_unique<TPixelGraphic>();
  MakePropertiesGradient(*Gradient, kWidth, kHeight);
  FBackground->TakePixelGraphic(std::move(Gradient));

  int Y = kMargin;
  for (const QString& C : Captions()) {
    MakeLabel(this, C, Qt::yellow)->setGeometry(kMargin, Y, kValueLeft - kMargin, kRowHeight);
    QLabel* V = MakeLabel(this, "", Qt::white);
    V->setObjectName(C);
    V->setGeometry(kValueLeft, Y, C == "FileName" ? kWidth - kValueLeft - kMargin : kValueWidth,
                   kRowHeight);
    FValueLabels.insert(C, V);
    Y += kRowHeight;
  }

  FPreview = new TPGImage(this);
  FPreview->setObjectName("Preview");
  FPreview->setFrameShape(QFrame::NoFrame);
  FPreview->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  FPreview->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  FPreview->SetColor(Qt::black);
  FPreview->SetStretch(sAlwaysKAR);
  FPreview->SetCenter(true);
  FPreview->SetReadWarningAction(pgwaIgnore);
  FPreview->setGeometry(kPreviewLeft, kMargin + 2 * kRowHeight, kPreviewSize, kPreviewSize);
  FPreview->hide();

  FNote = MakeLabel(this, "", Qt::white);
  FNote->setObjectName("Note");
  FNote->setWordWrap(true);
  FNote->setAlignment(Qt::AlignCenter);
  FNote->setGeometry(FPreview->geometry());

  FOK = new QPushButton("OK", this);
  FOK->setDefault(true);
  FOK->setGeometry(kWidth - kMargin - 88, kHeight - kMargin - 28, 88, 28);
  connect(FOK, &QPushButton::clicked, this, &QDialog::accept);
}

TfrmFileProp::~TfrmFileProp() = default;

int TfrmFileProp::Execute(const QString& Path) {
  FileName = Path;
  return exec();
}

void TfrmFileProp::showEvent(QShowEvent* E) {
  Refresh();
  QDialog::showEvent(E);
}

void TfrmFileProp::SetValue(const QString& Caption, const QString& Text) {
  FValues[Caption] = Text;
  QLabel* L = FValueLabels.value(Caption);
  if (!L) return;
  // Long names are shortened in the middle; the whole text stays in the tip.
  L->setText(L->fontMetrics().elidedText(Text, Qt::ElideMiddle, L->width()));
  L->setToolTip(Text);
}

void TfrmFileProp::SetNote(const QString& Text) {
  FNote->setText(Text);
  FNote->setVisible(!Text.isEmpty());
}

QString TfrmFileProp::Note() const {
  return FNote->text();
}
bool TfrmFileProp::PreviewShown() const {
  return !FPreview->isHidden();
}

void TfrmFileProp::Refresh() {
  for (const QString& C : Captions())
    SetValue(C, "");
  SetValue("FileName", FileName);
  SetNote("");

  TGraphicFileInfo Info;
  const std::string Native = EncodeFileName(FileName).toStdString();
  const bool Readable = GetGraphicFileInfo(Native, 0, Info);
  const QFileInfo File(FileName);
  const bool Found = File.isFile();
  if (Found) {
    const QDateTime T = File.lastModified();
    SetValue("File Date",
             QLocale().toString(T.date(), QLocale::ShortFormat) + T.time().toString(" h:mm AP"));
    SetValue("File Size", QString::number(File.size() / 1024 + 1) + "K");
  }

  if (Readable) {
    SetValue("Type", QString::fromStdString(Info.Type));
    SetValue("SubType", QString::fromStdString(Info.SubType));
    SetValue("Options", QString::fromStdString(Info.Options));
    SetValue("Width", QString::number(Info.Width));
    SetValue("Height", QString::number(Info.Height));
    SetValue("Colors", QString::fromStdString(Info.Colors));
    SetValue("BitsPerPixel", QString::number(Info.BitsPerPixel));
    SetValue("GraphicCount", QString::number(Info.GraphicCount));
  }

  FPreview->AssignPixelGraphic(nullptr);
  FPreview->hide();
  if (!Found) {
    SetNote("The file cannot be found.");
  } else if (!Readable) {
    SetNote("The file cannot be read as a picture.");
  } else if (File.size() >= kPreviewSizeLimit) {
    SetNote("No preview for files of this size.");
  } else {
    try {
      FPreview->show();
      FPreview->LoadFromFile(FileName);
    } catch (const std::exception& E) {
      // The header looked right but the picture is damaged.
      FPreview->hide();
      SetNote("The picture cannot be read:\n" + QString::fromLocal8Bit(E.what()));
    }
  }
}

} // namespace orbisk
