#include "platform/scanwindow.h"

#include "platform/dialogscale.h"
#include "platform/packedbitmap.h"
#include "platform/prompt.h"

#include <sane/saneopts.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cmath>

namespace orbisk {

// ---- choosing a device

TfrmSelectSource::TfrmSelectSource(const std::vector<TScanDevice>& Devices,
                                   const QByteArray& Current, QWidget* Parent)
    : QDialog(Parent) {
  setObjectName("frmSelectSource");
  setWindowTitle("Select Source");
  auto* L = new QVBoxLayout(this);
  DeviceList = new QTreeWidget(this);
  DeviceList->setObjectName("DeviceList");
  DeviceList->setHeaderLabels({"Vendor", "Model", "Name"});
  DeviceList->setRootIsDecorated(false);
  DeviceList->setAllColumnsShowFocus(true);
  for (const TScanDevice& D : Devices) {
    auto* Item = new QTreeWidgetItem(DeviceList, {D.Vendor, D.Model, QString::fromUtf8(D.Name)});
    if (D.Name == Current) DeviceList->setCurrentItem(Item);
  }
  if (!DeviceList->currentItem() && DeviceList->topLevelItemCount() > 0)
    DeviceList->setCurrentItem(DeviceList->topLevelItem(0));
  DeviceList->header()->resizeSections(QHeaderView::ResizeToContents);
  NoDevices = new QLabel("No scanners were found.", this);
  NoDevices->setObjectName("NoDevices");
  NoDevices->setVisible(Devices.empty());
  L->addWidget(NoDevices);
  L->addWidget(DeviceList);
  auto* Buttons = new QDialogButtonBox(this);
  SelectButton = Buttons->addButton("Select", QDialogButtonBox::AcceptRole);
  CancelButton = Buttons->addButton(QDialogButtonBox::Cancel);
  SelectButton->setObjectName("SelectButton");
  CancelButton->setObjectName("CancelButton");
  SelectButton->setDefault(true);
  SelectButton->setEnabled(!Devices.empty());
  L->addWidget(Buttons);
  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(DeviceList, &QTreeWidget::itemActivated, this, [this] { accept(); });
  resize(ScaledSize(480, 260));
}

int TfrmSelectSource::ChosenIndex() const {
  QTreeWidgetItem* I = DeviceList->currentItem();
  return I ? DeviceList->indexOfTopLevelItem(I) : -1;
}

// ---- the preview

TScanPreview::TScanPreview(QWidget* Parent) : QLabel(Parent) {
  setObjectName("PreviewImage");
  setMinimumSize(200, 200);
  setAlignment(Qt::AlignCenter);
  setCursor(Qt::CrossCursor);
  setText("Preview");
}

void TScanPreview::SetPicture(const QImage& Picture) {
  FPicture = Picture;
  FMarked = QRectF();
  setText(QString());
  update();
}

QRect TScanPreview::PictureRect() const {
  if (FPicture.isNull()) return QRect();
  QSize S = FPicture.size().scaled(size(), Qt::KeepAspectRatio);
  return QRect(QPoint((width() - S.width()) / 2, (height() - S.height()) / 2), S);
}

QPointF TScanPreview::Fraction(QPoint P) const {
  const QRect R = PictureRect();
  if (R.isEmpty()) return {};
  return {std::clamp((P.x() - R.left()) / double(R.width()), 0.0, 1.0),
          std::clamp((P.y() - R.top()) / double(R.height()), 0.0, 1.0)};
}

void TScanPreview::mousePressEvent(QMouseEvent* E) {
  if (FPicture.isNull() || E->button() != Qt::LeftButton) return;
  FDragging = true;
  FStart = Fraction(E->position().toPoint());
  FMarked = QRectF(FStart, FStart);
  update();
}

void TScanPreview::mouseMoveEvent(QMouseEvent* E) {
  if (!FDragging) return;
  FMarked = QRectF(FStart, Fraction(E->position().toPoint())).normalized();
  update();
}

void TScanPreview::mouseReleaseEvent(QMouseEvent* E) {
  if (!FDragging) return;
  FDragging = false;
  FMarked = QRectF(FStart, Fraction(E->position().toPoint())).normalized();
  update();
  if (FMarked.width() > 0 && FMarked.height() > 0) emit OnMarked(FMarked);
}

void TScanPreview::paintEvent(QPaintEvent* E) {
  if (FPicture.isNull()) {
    QLabel::paintEvent(E);
    return;
  }
  QPainter P(this);
  const QRect R = PictureRect();
  P.drawImage(R, FPicture);
  if (!FMarked.isEmpty()) {
    P.setPen(QPen(Qt::red, 1, Qt::DashLine));
    P.drawRect(QRectF(R.left() + FMarked.left() * R.width(), R.top() + FMarked.top() * R.height(),
                      FMarked.width() * R.width(), FMarked.height() * R.height()));
  }
}

// ---- the device's options

namespace {

QString UnitSuffix(int Unit) {
  switch (Unit) {
  case SANE_UNIT_MM:
    return " mm";
  case SANE_UNIT_DPI:
    return " dpi";
  case SANE_UNIT_PIXEL:
    return " px";
  case SANE_UNIT_BIT:
    return " bit";
  default:
    return QString();
  }
}

QString NumberText(double V) {
  return QString::number(V, 'g', 8);
}

} // namespace

TfrmScanOptions::TfrmScanOptions(TScanSource& Source, const QString& Caption, QWidget* Parent)
    : QDialog(Parent), FSource(Source) {
  setObjectName("frmScanOptions");
  setWindowTitle(Caption);
  auto* L = new QVBoxLayout(this);
  auto* Top = new QHBoxLayout;
  L->addLayout(Top);
  auto* Form = FForm = new QFormLayout;
  Top->addLayout(Form);
  PreviewImage = new TScanPreview(this);
  PreviewImage->setObjectName("PreviewImage");
  Top->addWidget(PreviewImage, 1);
  ModeCombo = new QComboBox(this);
  ModeCombo->setObjectName("ModeCombo");
  DepthCombo = new QComboBox(this);
  DepthCombo->setObjectName("DepthCombo");
  ResolutionCombo = new QComboBox(this);
  ResolutionCombo->setObjectName("ResolutionCombo");
  ResolutionSpin = new QDoubleSpinBox(this);
  ResolutionSpin->setObjectName("ResolutionSpin");
  auto* ResolutionBox = new QWidget(this);
  auto* RL = new QHBoxLayout(ResolutionBox);
  RL->setContentsMargins(0, 0, 0, 0);
  RL->addWidget(ResolutionCombo);
  RL->addWidget(ResolutionSpin);
  Form->addRow("&Mode:", ModeCombo);
  Form->addRow("&Depth:", DepthCombo);
  Form->addRow("&Resolution:", ResolutionBox);
  auto Area = [this](const char* Name) {
    auto* S = new QDoubleSpinBox(this);
    S->setObjectName(Name);
    S->setKeyboardTracking(false);
    return S;
  };
  LeftSpin = Area("LeftSpin");
  TopSpin = Area("TopSpin");
  RightSpin = Area("RightSpin");
  BottomSpin = Area("BottomSpin");
  Form->addRow("&Left:", LeftSpin);
  Form->addRow("&Top:", TopSpin);
  Form->addRow("R&ight:", RightSpin);
  Form->addRow("&Bottom:", BottomSpin);
  ResolutionSpin->setKeyboardTracking(false);

  auto* Buttons = new QDialogButtonBox(this);
  PreviewButton = Buttons->addButton("&Preview", QDialogButtonBox::ActionRole);
  PreviewButton->setObjectName("PreviewButton");
  connect(PreviewButton, &QPushButton::clicked, this, [this] { PreviewClick(); });
  connect(PreviewImage, &TScanPreview::OnMarked, this, [this](const QRectF& F) {
    // The preview shows the whole range of each edge: the marked fractions become the area.
    const std::pair<QDoubleSpinBox*, double> Edges[] = {
        {LeftSpin, F.left()}, {TopSpin, F.top()}, {RightSpin, F.right()}, {BottomSpin, F.bottom()}};
    for (auto [Spin, Fraction] : Edges)
      if (Spin->isEnabled())
        Spin->setValue(Spin->minimum() + Fraction * (Spin->maximum() - Spin->minimum()));
  });
  ScanButton = Buttons->addButton("Scan", QDialogButtonBox::AcceptRole);
  CancelButton = Buttons->addButton(QDialogButtonBox::Cancel);
  ScanButton->setObjectName("ScanButton");
  CancelButton->setObjectName("CancelButton");
  ScanButton->setDefault(true);
  L->addWidget(Buttons);
  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  connect(ModeCombo, &QComboBox::activated, this, [this] {
    Apply(SANE_NAME_SCAN_MODE, [this](int* S) {
      return FSource.SetString(SANE_NAME_SCAN_MODE, ModeCombo->currentText(), S);
    });
  });
  connect(DepthCombo, &QComboBox::activated, this, [this] {
    Apply(SANE_NAME_BIT_DEPTH, [this](int* S) {
      return FSource.SetNumber(SANE_NAME_BIT_DEPTH, DepthCombo->currentData().toDouble(), S);
    });
  });
  connect(ResolutionCombo, &QComboBox::activated, this, [this] {
    Apply(SANE_NAME_SCAN_RESOLUTION, [this](int* S) {
      return FSource.SetNumber(SANE_NAME_SCAN_RESOLUTION, ResolutionCombo->currentData().toDouble(),
                               S);
    });
  });
  connect(ResolutionSpin, &QDoubleSpinBox::valueChanged, this, [this](double V) {
    Apply(SANE_NAME_SCAN_RESOLUTION,
          [this, V](int* S) { return FSource.SetNumber(SANE_NAME_SCAN_RESOLUTION, V, S); });
  });
  const std::pair<QDoubleSpinBox*, const char*> Edges[] = {{LeftSpin, SANE_NAME_SCAN_TL_X},
                                                           {TopSpin, SANE_NAME_SCAN_TL_Y},
                                                           {RightSpin, SANE_NAME_SCAN_BR_X},
                                                           {BottomSpin, SANE_NAME_SCAN_BR_Y}};
  for (auto [Spin, Name] : Edges)
    connect(Spin, &QDoubleSpinBox::valueChanged, this, [this, Name = Name](double V) {
      Apply(Name, [this, Name, V](int* S) { return FSource.SetNumber(Name, V, S); });
    });
  Reload();
}

void TfrmScanOptions::Apply(const char* Name, const std::function<bool(int* Status)>& Set) {
  if (FLoading) return;
  int Status = SANE_STATUS_GOOD;
  if (!Set(&Status)) {
    const auto O = FSource.Option(Name);
    ShowScanError(this, "The scanner refused the setting \"" + (O ? O->Title : QString(Name)) +
                            "\": " + SaneStatusName(Status));
  }
  Reload(); // the device may have rounded the value or changed other options
}

void TfrmScanOptions::Reload() {
  FLoading = true;
  auto Row = [this](QWidget* W, bool Visible) {
    W->setVisible(Visible);
    if (QWidget* Label = FForm->labelForField(W)) Label->setVisible(Visible);
  };
  // Mode.
  const auto Mode = FSource.Option(SANE_NAME_SCAN_MODE);
  ModeCombo->clear();
  if (Mode && Mode->Active) {
    ModeCombo->addItems(Mode->Strings);
    ModeCombo->setCurrentText(FSource.GetString(SANE_NAME_SCAN_MODE));
  }
  ModeCombo->setEnabled(Mode && Mode->Settable && !Mode->Strings.isEmpty());
  Row(ModeCombo, Mode && Mode->Active);
  // Depth.
  const auto Depth = FSource.Option(SANE_NAME_BIT_DEPTH);
  DepthCombo->clear();
  if (Depth && Depth->Active) {
    for (double W : Depth->Words)
      DepthCombo->addItem(NumberText(W) + " bit", W);
    const auto Now = FSource.GetNumber(SANE_NAME_BIT_DEPTH);
    if (Now) {
      int I = DepthCombo->findData(*Now);
      if (I < 0) {
        DepthCombo->addItem(NumberText(*Now) + " bit", *Now);
        I = DepthCombo->count() - 1;
      }
      DepthCombo->setCurrentIndex(I);
    }
  }
  DepthCombo->setEnabled(Depth && Depth->Settable && !Depth->Words.empty());
  Row(DepthCombo, Depth && Depth->Active);
  // Resolution: a list or a range.
  const auto Res = FSource.Option(SANE_NAME_SCAN_RESOLUTION);
  const auto ResNow = FSource.GetNumber(SANE_NAME_SCAN_RESOLUTION);
  ResolutionCombo->clear();
  const bool List = Res && Res->Active && !Res->Words.empty();
  const bool Range = Res && Res->Active && Res->HasRange;
  if (List) {
    for (double W : Res->Words)
      ResolutionCombo->addItem(NumberText(W) + " dpi", W);
    if (ResNow) ResolutionCombo->setCurrentIndex(ResolutionCombo->findData(*ResNow));
  }
  if (Range) {
    ResolutionSpin->setDecimals(Res->Type == SANE_TYPE_FIXED ? 1 : 0);
    ResolutionSpin->setRange(Res->Min, Res->Max);
    ResolutionSpin->setSingleStep(Res->Quant > 0 ? Res->Quant : 1);
    ResolutionSpin->setSuffix(UnitSuffix(Res->Unit));
    if (ResNow) ResolutionSpin->setValue(*ResNow);
  }
  ResolutionCombo->setVisible(List);
  ResolutionSpin->setVisible(Range);
  ResolutionCombo->setEnabled(List && Res->Settable);
  ResolutionSpin->setEnabled(Range && Res->Settable);
  // The scan area.
  const std::pair<QDoubleSpinBox*, const char*> Edges[] = {{LeftSpin, SANE_NAME_SCAN_TL_X},
                                                           {TopSpin, SANE_NAME_SCAN_TL_Y},
                                                           {RightSpin, SANE_NAME_SCAN_BR_X},
                                                           {BottomSpin, SANE_NAME_SCAN_BR_Y}};
  for (auto [Spin, Name] : Edges) {
    const auto O = FSource.Option(Name);
    const auto V = FSource.GetNumber(Name);
    const bool Shown = O && O->Active && V;
    if (Shown) {
      Spin->setDecimals(O->Type == SANE_TYPE_FIXED ? 1 : 0);
      if (O->HasRange)
        Spin->setRange(O->Min, O->Max);
      else
        Spin->setRange(-1e9, 1e9);
      Spin->setSingleStep(O->HasRange && O->Quant > 0 ? O->Quant : 1);
      Spin->setSuffix(UnitSuffix(O->Unit));
      Spin->setValue(*V);
    }
    Spin->setEnabled(Shown && O->Settable);
    Row(Spin, Shown);
  }
  const bool Area = LeftSpin->isEnabled() && TopSpin->isEnabled() && RightSpin->isEnabled() &&
                    BottomSpin->isEnabled();
  PreviewButton->setVisible(Area && Preview != nullptr);
  PreviewImage->setVisible(Area && Preview != nullptr);
  FLoading = false;
}

void TfrmScanOptions::PreviewClick() {
  if (!Preview) return;
  const TNativeBitmap B = Preview();
  Reload(); // the scanner put the options back as they were
  std::vector<uint8_t> File;
  if (B.empty() || PackedBitmapToBMP(B.data(), B.size(), File) != kNativeWritten) return;
  PreviewImage->SetPicture(QImage::fromData(File.data(), int(File.size()), "BMP"));
}

// ---- the windows of the editor

int TScanWindows::ChooseSource(QWidget* Parent, const std::vector<TScanDevice>& Devices,
                               const QByteArray& Current) {
  TfrmSelectSource W(Devices, Current, Parent);
  if (Exec(W) != QDialog::Accepted) return -1;
  return W.ChosenIndex();
}

bool TScanWindows::ShowSourceWindow(QWidget* Parent, TScanSource& Source) {
  const QString Product = Scanner().Identity().ProductName;
  TfrmScanOptions W(Source, (Product.isEmpty() ? QString() : Product + " - ") + "Scan", Parent);
  W.Preview = [&W] { return Scanner().PreviewNative(&W); };
  W.Reload();
  return Exec(W) == QDialog::Accepted;
}

void TScanWindows::WaitForTransfer(QWidget* Parent, TTransferWatch& Watch) {
  QProgressDialog P("Scanning...", "Cancel", 0, 0, Parent);
  P.setObjectName("ScanProgress");
  P.setWindowTitle("Scanning");
  P.setWindowModality(Qt::WindowModal);
  P.setMinimumDuration(0);
  P.setAutoClose(false);
  P.setAutoReset(false);
  QEventLoop Loop;
  QTimer Poll;
  // Esc reaching the dialog itself (not its shortcut) rejects it, which would only hide it.
  QObject::connect(&P, &QDialog::rejected, &P, &QProgressDialog::canceled);
  QObject::connect(&P, &QProgressDialog::canceled, &P, [&] {
    Watch.Cancel();
    P.setLabelText("Cancelling...");
  });
  QObject::connect(&Poll, &QTimer::timeout, &P, [&] {
    if (Watch.Finished) {
      Loop.quit();
      return;
    }
    const int64_t Expected = Watch.Expected;
    if (Expected > 0) {
      P.setMaximum(1000);
      P.setValue(int(std::min<int64_t>(1000, Watch.Done * 1000 / Expected)));
    }
  });
  Poll.start(50);
  P.show();
  if (!Watch.Finished) Loop.exec();
}

void ShowScanError(QWidget* Window, const QString& Text) {
  ShowWarning(kScanErrorTitle, Text, Window);
}

TScanWindows& ScanWindows() {
  static TScanWindows W;
  return W;
}

} // namespace orbisk
