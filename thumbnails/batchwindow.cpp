#include "thumbnails/batchwindow.h"

#include "platform/codecsettings.h"
#include "platform/dialogscale.h"
#include "platform/filenames.h"
#include "platform/fileops.h"
#include "platform/prompt.h"
#include "platform/settingsstore.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <stdexcept>

namespace orbisk {

namespace {

const char* const kResizeTexts[] = {"Keep the size", "Longest side", "Percentage", "Fit in a box"};
const char* const kTurnTexts[] = {"None", "By camera orientation", "90\u00b0 clockwise",
                                  "180\u00b0", "90\u00b0 counter-clockwise"};
const char* const kExistingTexts[] = {"Put \"!\" in front of the name", "Skip the file",
                                      "Overwrite it"};

QSpinBox* Spin(QWidget* Parent, const char* Name, int Lo, int Hi, const QString& Suffix = {}) {
  auto* S = new QSpinBox(Parent);
  S->setObjectName(Name);
  S->setRange(Lo, Hi);
  S->setSuffix(Suffix);
  return S;
}

QComboBox* Combo(QWidget* Parent, const char* Name) {
  auto* C = new QComboBox(Parent);
  C->setObjectName(Name);
  return C;
}

QString Key(const char* Name) {
  return QString(kBatchSettingsSection) + Name;
}

QString Text(const std::string& Bytes) {
  return DecodeFileName(QByteArray(Bytes.data(), qsizetype(Bytes.size())));
}

} // namespace

TfBatch::TfBatch(const QStringList& Files, QWidget* Parent)
    : QWidget(Parent, Qt::Window), FFiles(Files) {
  setWindowTitle("Convert and Resize");
  ChooseFolder = [](QWidget* Owner, const QString& Start) {
    return QFileDialog::getExistingDirectory(Owner, "Convert into", Start);
  };

  FilesLabel = new QLabel(this);
  FilesLabel->setObjectName("FilesLabel");
  FilesLabel->setText(Files.size() == 1 ? QString("1 file")
                                        : QString("%1 files").arg(Files.size()));

  FormatCombo = Combo(this, "FormatCombo");
  for (int I = 0; I < ctCount; ++I)
    FormatCombo->addItem(ConvertTargetText(TConvertTarget(I)));
  QualitySpin = Spin(this, "QualitySpin", 1, 100);
  QualitySpin->setToolTip("JPG, WebP and AVIF quality (left more compression, right more quality)");

  ResizeCombo = Combo(this, "ResizeCombo");
  for (const char* T : kResizeTexts)
    ResizeCombo->addItem(T);
  ResizePages = new QStackedWidget(this);
  ResizePages->setObjectName("ResizePages");
  ResizePages->addWidget(new QWidget(ResizePages));
  LongestSpin = Spin(ResizePages, "LongestSpin", 1, 65535, " pixels");
  ResizePages->addWidget(LongestSpin);
  PercentSpin = Spin(ResizePages, "PercentSpin", 1, 1000, " %");
  ResizePages->addWidget(PercentSpin);
  auto* Box = new QWidget(ResizePages);
  auto* BoxRow = new QHBoxLayout(Box);
  BoxRow->setContentsMargins(0, 0, 0, 0);
  BoxWidthSpin = Spin(Box, "BoxWidthSpin", 1, 65535);
  BoxHeightSpin = Spin(Box, "BoxHeightSpin", 1, 65535);
  BoxRow->addWidget(BoxWidthSpin);
  BoxRow->addWidget(new QLabel("X", Box));
  BoxRow->addWidget(BoxHeightSpin);
  BoxRow->addWidget(new QLabel("pixels", Box));
  BoxRow->addStretch();
  ResizePages->addWidget(Box);
  EnlargeCheck = new QCheckBox("Enlarge smaller pictures", this);
  EnlargeCheck->setObjectName("EnlargeCheck");

  TurnCombo = Combo(this, "TurnCombo");
  for (const char* T : kTurnTexts)
    TurnCombo->addItem(T);
  NamePattern = new QLineEdit(this);
  NamePattern->setObjectName("NamePattern");
  NamePattern->setToolTip("\"*\" the file's name, \"###\" its number in the list");
  FolderEdit = new QLineEdit(this);
  FolderEdit->setObjectName("FolderEdit");
  BrowseButton = new QPushButton("Browse...", this);
  BrowseButton->setObjectName("BrowseButton");
  auto* FolderRow = new QHBoxLayout;
  FolderRow->addWidget(FolderEdit, 1);
  FolderRow->addWidget(BrowseButton);
  ExistingCombo = Combo(this, "ExistingCombo");
  for (const char* T : kExistingTexts)
    ExistingCombo->addItem(T);

  auto* Form = new QFormLayout;
  Form->addRow("Format", FormatCombo);
  Form->addRow("Quality", QualitySpin);
  Form->addRow("Resize", ResizeCombo);
  Form->addRow("", ResizePages);
  Form->addRow("", EnlargeCheck);
  Form->addRow("Turn", TurnCombo);
  Form->addRow("Name pattern", NamePattern);
  Form->addRow("Into folder", FolderRow);
  Form->addRow("Existing names", ExistingCombo);

  ProgressBar = new QProgressBar(this);
  ProgressBar->setObjectName("ProgressBar");
  ProgressBar->setRange(0, std::max<int>(1, int(Files.size())));
  ProgressBar->setValue(0);
  SummaryLabel = new QLabel(this);
  SummaryLabel->setObjectName("SummaryLabel");
  SummaryLabel->setTextFormat(Qt::PlainText);
  ErrorList = new QListWidget(this);
  ErrorList->setObjectName("ErrorList");
  ErrorList->setVisible(false);

  OkButton = new QPushButton("OK", this);
  OkButton->setObjectName("OkButton");
  OkButton->setDefault(true);
  CancelButton = new QPushButton("Cancel", this);
  CancelButton->setObjectName("CancelButton");
  auto* Buttons = new QHBoxLayout;
  Buttons->addStretch();
  Buttons->addWidget(OkButton);
  Buttons->addWidget(CancelButton);

  auto* Main = new QVBoxLayout(this);
  Main->addWidget(FilesLabel);
  Main->addLayout(Form);
  Main->addWidget(ProgressBar);
  Main->addWidget(SummaryLabel);
  Main->addWidget(ErrorList, 1);
  Main->addStretch();
  Main->addLayout(Buttons);

  FSettingsWidgets = {FormatCombo, QualitySpin, ResizeCombo, ResizePages,  EnlargeCheck,
                      TurnCombo,   NamePattern, FolderEdit,  BrowseButton, ExistingCombo};

  // As high as the settings need; a run's error list makes it taller.
  resize(ScaledWidth(520), sizeHint().height());

  connect(FormatCombo, &QComboBox::currentIndexChanged, this, &TfBatch::TargetChanged);
  connect(ResizeCombo, &QComboBox::currentIndexChanged, ResizePages,
          &QStackedWidget::setCurrentIndex);
  connect(ResizeCombo, &QComboBox::currentIndexChanged, this, [this] { UpdateEnlarge(); });
  connect(BrowseButton, &QPushButton::clicked, this, [this] {
    const QString F = ChooseFolder ? ChooseFolder(this, FolderEdit->text()) : QString();
    if (!F.isEmpty()) FolderEdit->setText(QDir::cleanPath(F));
  });
  connect(OkButton, &QPushButton::clicked, this, &TfBatch::OkClick);
  connect(CancelButton, &QPushButton::clicked, this, &TfBatch::CancelClick);
  // Escape stops a run (or closes the window) wherever the focus is.
  auto* EscKey = new QAction(this);
  EscKey->setObjectName("EscKey");
  EscKey->setShortcut(Qt::Key_Escape);
  EscKey->setShortcutContext(Qt::WindowShortcut);
  addAction(EscKey);
  connect(EscKey, &QAction::triggered, this, &TfBatch::CancelClick);

  LoadSettings();
  TargetChanged();
  ResizePages->setCurrentIndex(ResizeCombo->currentIndex());
  UpdateEnlarge();
}

TfBatch::~TfBatch() {
  FStop = true;
  FWorker.Stop();
}

void TfBatch::TargetChanged() {
  QualitySpin->setEnabled(!FRunning && ConvertTargetUsesQuality(TConvertTarget(
                                           std::max(0, FormatCombo->currentIndex()))));
}

void TfBatch::LoadSettings() {
  const TSettingsStore Store;
  const TBatchSettings D;
  auto Index = [&](QComboBox* C, const char* Name, int Default) {
    const int I = Store.ReadInteger(Key(Name), Default);
    C->setCurrentIndex(I >= 0 && I < C->count() ? I : Default);
  };
  Index(FormatCombo, "Format", int(D.Target));
  Index(ResizeCombo, "Resize", int(D.Resize));
  Index(TurnCombo, "Turn", int(D.Turn));
  Index(ExistingCombo, "Existing", int(D.Collision));
  // The quality starts as the program's current JPEG quality until one was used here.
  QualitySpin->setValue(Store.ReadInteger(Key("Quality"), CurrentWriteOptions().JPEGQuality));
  LongestSpin->setValue(Store.ReadInteger(Key("LongestSide"), D.LongestSide));
  PercentSpin->setValue(Store.ReadInteger(Key("Percent"), D.Percent));
  BoxWidthSpin->setValue(Store.ReadInteger(Key("BoxWidth"), D.BoxWidth));
  BoxHeightSpin->setValue(Store.ReadInteger(Key("BoxHeight"), D.BoxHeight));
  EnlargeCheck->setChecked(Store.ReadInteger(Key("Enlarge"), 0) != 0);
  NamePattern->setText(Store.ReadString(Key("NamePattern"), "*"));
  // The folder last written into while it exists, else the first file's folder.
  QString Folder = Store.ReadString(Key("Folder"), QString());
  if (Folder.isEmpty() || !QFileInfo(Folder).isDir())
    Folder = FFiles.isEmpty() ? QString() : QFileInfo(FFiles.first()).absolutePath();
  FolderEdit->setText(Folder);
}

void TfBatch::SaveSettings() const {
  TSettingsStore Store;
  Store.WriteInteger(Key("Format"), FormatCombo->currentIndex());
  Store.WriteInteger(Key("Quality"), QualitySpin->value());
  Store.WriteInteger(Key("Resize"), ResizeCombo->currentIndex());
  Store.WriteInteger(Key("LongestSide"), LongestSpin->value());
  Store.WriteInteger(Key("Percent"), PercentSpin->value());
  Store.WriteInteger(Key("BoxWidth"), BoxWidthSpin->value());
  Store.WriteInteger(Key("BoxHeight"), BoxHeightSpin->value());
  Store.WriteInteger(Key("Enlarge"), EnlargeCheck->isChecked() ? 1 : 0);
  Store.WriteInteger(Key("Turn"), TurnCombo->currentIndex());
  Store.WriteString(Key("NamePattern"), NamePattern->text());
  Store.WriteString(Key("Folder"), FolderEdit->text());
  Store.WriteInteger(Key("Existing"), ExistingCombo->currentIndex());
  Store.Flush();
}

TBatchSettings TfBatch::Settings() const {
  TBatchSettings S;
  S.Target = TConvertTarget(std::max(0, FormatCombo->currentIndex()));
  S.JPEGQuality = QualitySpin->value();
  S.Resize = TBatchResize(std::max(0, ResizeCombo->currentIndex()));
  S.LongestSide = LongestSpin->value();
  S.Percent = PercentSpin->value();
  S.BoxWidth = BoxWidthSpin->value();
  S.BoxHeight = BoxHeightSpin->value();
  S.Enlarge = EnlargeCheck->isChecked();
  S.Turn = TBatchTurn(std::max(0, TurnCombo->currentIndex()));
  S.NamePattern = EnginePath(NamePattern->text());
  S.Folder = EnginePath(QDir::cleanPath(FolderEdit->text()));
  S.Collision = TBatchCollision(std::max(0, ExistingCombo->currentIndex()));
  S.ReadOptions = CurrentReadOptions();
  S.WriteOptions = CurrentWriteOptions();
  return S;
}

void TfBatch::UpdateEnlarge() {
  EnlargeCheck->setEnabled(
      BatchResizeMayEnlarge(TBatchResize(std::max(0, ResizeCombo->currentIndex()))));
}

void TfBatch::SetEditable(bool On) {
  for (QWidget* W : FSettingsWidgets)
    W->setEnabled(On);
  OkButton->setEnabled(On);
  if (On) {
    TargetChanged();
    UpdateEnlarge();
  }
}

void TfBatch::OkClick() {
  if (FRunning || FFiles.isEmpty()) return;
  const TBatchSettings S = Settings();
  std::string Why;
  if (FolderEdit->text().trimmed().isEmpty()) {
    ShowMessage("Choose the folder to write into", this);
    return;
  }
  if (!CheckBatchSettings(S, Why)) {
    ShowMessage(Text(Why), this);
    return;
  }
  SaveSettings();
  std::vector<std::string> Sources;
  for (const QString& F : FFiles)
    Sources.push_back(EnginePath(F));
  FRunning = true;
  FStop = false;
  SetEditable(false);
  CancelButton->setText("Cancel");
  ErrorList->clear();
  ErrorList->setVisible(false);
  SummaryLabel->setText("Converting...");
  ProgressBar->setRange(0, int(Sources.size()));
  ProgressBar->setValue(0);
  FWorker.Start([this, Sources, S](const TWorker::TRun& Run, int) {
    TBatchReport R;
    QString Failure;
    try {
      R = RunBatch(Sources, S, [&](int Done, int) {
        Run.Post([this, Done] { ProgressBar->setValue(Done); });
        return FStop.load() || Run.Cancelled();
      });
    } catch (const std::exception& E) {
      Failure = QString::fromStdString(E.what());
    }
    Run.Post([this, R = std::move(R), Failure]() mutable { RunEnded(std::move(R), Failure); });
  });
}

void TfBatch::RunEnded(TBatchReport R, const QString& Failure) {
  FWorker.Finish(FWorker.Current());
  FRunning = false;
  FReport = std::move(R);
  SetEditable(true);
  CancelButton->setText("Close");
  ProgressBar->setValue(int(FReport.Items.size()));
  ErrorList->clear();
  for (const TBatchItem& It : FReport.Items)
    if (!It.Error.empty()) ErrorList->addItem(Text(It.Source) + ": " + Text(It.Error));
  ErrorList->setVisible(ErrorList->count() > 0);
  if (ErrorList->isVisible() && height() < ScaledHeight(480)) {
    QRect R = geometry();
    R.setHeight(ScaledHeight(480));
    if (screen()) R.moveBottom(std::min(R.bottom(), screen()->availableGeometry().bottom()));
    setGeometry(R);
  }
  QString Summary = QString("%1 converted, %2 skipped, %3 failed")
                        .arg(FReport.Converted)
                        .arg(FReport.Skipped)
                        .arg(FReport.Failed);
  if (FReport.Cancelled)
    Summary =
        QString("Cancelled after %1 of %2 files: ").arg(FReport.Items.size()).arg(FFiles.size()) +
        Summary;
  if (!Failure.isEmpty()) Summary = Failure;
  SummaryLabel->setText(Summary);
  if (FReport.Converted > 0) NotifyFolderChanged(FolderEdit->text());
  emit batchEnded();
}

void TfBatch::CancelClick() {
  if (FRunning) {
    FStop = true; // the run ends after the files begun and reports what it did
    SummaryLabel->setText("Stopping...");
    return;
  }
  close();
}

void TfBatch::closeEvent(QCloseEvent* E) {
  if (FRunning) {
    FStop = true;
    FWorker.Stop(); // its report no longer arrives
    FRunning = false;
  }
  E->accept();
}

TfBatch* ShowBatchWindow(const QStringList& Files, QWidget* Parent) {
  if (Files.isEmpty()) return nullptr;
  auto* W = new TfBatch(Files, Parent);
  W->setAttribute(Qt::WA_DeleteOnClose);
  // Over the window it was asked from, on that window's screen.
  if (Parent && Parent->window()->screen()) {
    QRect R(QPoint(), W->size());
    R.moveCenter(Parent->window()->frameGeometry().center());
    const QRect Area = Parent->window()->screen()->availableGeometry();
    R.moveLeft(std::clamp(R.left(), Area.left(), std::max(Area.left(), Area.right() - R.width())));
    R.moveTop(std::clamp(R.top(), Area.top(), std::max(Area.top(), Area.bottom() - R.height())));
    W->move(R.topLeft());
  }
  W->show();
  W->raise();
  W->activateWindow();
  return W;
}

} // namespace orbisk
