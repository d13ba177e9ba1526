#include "browser/searchwindow.h"

#include "platform/dialogscale.h"
#include "platform/prompt.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPainter>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QGridLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeView>
#include <QVBoxLayout>

namespace orbisk {

namespace {

const char* const kInitialStatus = "Double click filename after a search to view the file";

// The volume that holds the home folder (the deepest mount point above it).
int HomeVolume(const QList<TSearchVolume>& Volumes) {
  const QString Home = QDir::homePath();
  int Best = Volumes.isEmpty() ? -1 : 0;
  qsizetype Length = -1;
  for (int I = 0; I < Volumes.size(); ++I) {
    const QString& R = Volumes[I].Root;
    const bool Holds = R == "/" || Home == R || Home.startsWith(R + "/");
    if (Holds && R.size() > Length) {
      Best = I;
      Length = R.size();
    }
  }
  return Best;
}

// The status line: a long folder is shortened in its middle instead of widening the window.
class TElidedLabel : public QLabel {
public:
  using QLabel::QLabel;
  QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }
  QSize sizeHint() const override { return {0, QLabel::sizeHint().height()}; }

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter P(this);
    const QRect R = contentsRect().adjusted(margin() + 2, 0, -margin() - 2, 0);
    drawFrame(&P);
    P.drawText(R, Qt::AlignVCenter | Qt::AlignLeft,
               fontMetrics().elidedText(text(), Qt::ElideMiddle, R.width()));
  }
};

} // namespace

TfSearch::TfSearch(QWidget* Parent)
    : QWidget(Parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::WindowTitleHint |
                          Qt::CustomizeWindowHint) {
  setWindowTitle("File Search");
  resize(ScaledSize(560, 420));

  auto* Top = new QHBoxLayout;
  auto* Left = new QVBoxLayout;
  auto* ForRow = new QHBoxLayout;
  auto* ForLabel = new QLabel("Search for", this);
  SearchFor = new QLineEdit("*.jpg", this);
  SearchFor->setObjectName("SearchFor");
  ForLabel->setBuddy(SearchFor);
  ForRow->addWidget(ForLabel);
  ForRow->addWidget(SearchFor, 1);
  Left->addLayout(ForRow);
  DriveCombo = new QComboBox(this);
  DriveCombo->setObjectName("DriveCombo");
  Left->addWidget(DriveCombo);
  Top->addLayout(Left, 1);

  auto* Group = new QGroupBox("Search", this);
  auto* GroupLayout = new QVBoxLayout(Group);
  AllDrives = new QRadioButton("All Drives", Group);
  AllDrives->setObjectName("AllDrives");
  SelectedDrive = new QRadioButton("Selected Drive", Group);
  SelectedDrive->setObjectName("SelectedDrive");
  SelectedDrive->setChecked(true);
  GroupLayout->addWidget(AllDrives);
  GroupLayout->addWidget(SelectedDrive);
  Top->addWidget(Group);

  FindButton = new QPushButton("Find", this);
  FindButton->setObjectName("FindButton");
  StopButton = new QPushButton("Stop", this);
  StopButton->setObjectName("StopButton");
  StopButton->hide();
  auto* Buttons = new QVBoxLayout;
  Buttons->addWidget(FindButton);
  Buttons->addWidget(StopButton);
  Buttons->addStretch();
  Top->addLayout(Buttons);

  // Further criteria, folded away until the box is ticked; the walk still starts from the
  // selector's drive or folder.
  MoreCriteria = new QGroupBox("More criteria", this);
  MoreCriteria->setObjectName("MoreCriteria");
  MoreCriteria->setCheckable(true);
  MoreCriteria->setChecked(false);
  auto* MoreLayout = new QVBoxLayout(MoreCriteria);
  MoreLayout->setContentsMargins(6, 0, 6, 0);
  CriteriaPanel = new QWidget(MoreCriteria);
  CriteriaPanel->setObjectName("CriteriaPanel");
  CriteriaPanel->setVisible(false);
  MoreLayout->addWidget(CriteriaPanel);
  auto* Grid = new QGridLayout(CriteriaPanel);
  Grid->setContentsMargins(0, 0, 0, 0);
  auto Day = [this](const char* Name) {
    auto* E = new QLineEdit(CriteriaPanel);
    E->setObjectName(Name);
    E->setPlaceholderText("YYYY-MM-DD");
    return E;
  };
  auto Size = [this](const char* Name, const QString& Suffix) {
    auto* S = new QSpinBox(CriteriaPanel);
    S->setObjectName(Name);
    S->setRange(0, 1000000000);
    S->setSpecialValueText("any");
    S->setSuffix(Suffix);
    return S;
  };
  TakenFrom = Day("TakenFrom");
  TakenTo = Day("TakenTo");
  Camera = new QLineEdit(CriteriaPanel);
  Camera->setObjectName("Camera");
  Camera->setPlaceholderText("a part of the make or model");
  MinWidth = Size("MinWidth", " px");
  MaxWidth = Size("MaxWidth", " px");
  MinHeight = Size("MinHeight", " px");
  MaxHeight = Size("MaxHeight", " px");
  MinKB = Size("MinKB", " KB");
  MaxKB = Size("MaxKB", " KB");
  ModifiedFrom = Day("ModifiedFrom");
  ModifiedTo = Day("ModifiedTo");
  int Row = 0;
  auto AddRange = [&](const QString& Label, QWidget* From, QWidget* To) {
    Grid->addWidget(new QLabel(Label, CriteriaPanel), Row, 0);
    Grid->addWidget(From, Row, 1);
    if (To) {
      Grid->addWidget(new QLabel("to", CriteriaPanel), Row, 2);
      Grid->addWidget(To, Row, 3);
    }
    ++Row;
  };
  AddRange("Date taken from", TakenFrom, TakenTo);
  AddRange("Camera", Camera, nullptr);
  AddRange("Width from", MinWidth, MaxWidth);
  AddRange("Height from", MinHeight, MaxHeight);
  AddRange("File size from", MinKB, MaxKB);
  AddRange("Modified from", ModifiedFrom, ModifiedTo);
  Grid->setColumnStretch(1, 1);
  Grid->setColumnStretch(3, 1);
  connect(MoreCriteria, &QGroupBox::toggled, CriteriaPanel, &QWidget::setVisible);
  for (QLineEdit* E : {TakenFrom, TakenTo, Camera, ModifiedFrom, ModifiedTo})
    connect(E, &QLineEdit::returnPressed, this, &TfSearch::FindClick);

  Results = new TSearchResultModel(this);
  Results->setObjectName("Results");
  ResultList = new QTreeView(this);
  ResultList->setObjectName("ResultList");
  ResultList->setModel(Results);
  ResultList->setRootIsDecorated(false);
  ResultList->setUniformRowHeights(true);
  ResultList->setAllColumnsShowFocus(true);
  ResultList->header()->setStretchLastSection(false);
  ResultList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  ResultList->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  // A plain search shows the paths alone, as a list; the matched values come with criteria.
  ResultList->setHeaderHidden(true);
  ResultList->setColumnHidden(1, true);
  ResultList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ResultList->setTextElideMode(Qt::ElideMiddle);
  FStatus = new TElidedLabel(kInitialStatus, this);
  FStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  FStatus->setFrameShape(QFrame::StyledPanel);
  FStatus->setTextFormat(Qt::PlainText);

  auto* Main = new QVBoxLayout(this);
  Main->addLayout(Top);
  Main->addWidget(MoreCriteria);
  Main->addWidget(ResultList, 1);
  Main->addWidget(FStatus);

  connect(FindButton, &QPushButton::clicked, this, &TfSearch::FindClick);
  connect(StopButton, &QPushButton::clicked, this, &TfSearch::StopClick);
  connect(SearchFor, &QLineEdit::returnPressed, this, &TfSearch::FindClick);
  connect(SelectedDrive, &QRadioButton::toggled, DriveCombo, &QWidget::setEnabled);
  connect(DriveCombo, &QComboBox::activated, this, &TfSearch::DriveChosen);
  ChooseFolder = [](QWidget* Owner) {
    return QFileDialog::getExistingDirectory(Owner, QStringLiteral("Search below"),
                                             QDir::homePath());
  };
  connect(ResultList, &QTreeView::doubleClicked, this,
          [this](const QModelIndex& I) { OpenResult(I.row()); });
  connect(&FSearch, &TFileSearch::batchReady, this, &TfSearch::TakeResults);
  connect(&FSearch, &TFileSearch::finished, this, &TfSearch::SearchEnded);
  FFolderTimer.setInterval(100);
  connect(&FFolderTimer, &QTimer::timeout, this, &TfSearch::ShowFolder);
  // Escape stops the search wherever the focus is in the window, before its controls see it.
  auto* StopKey = new QAction(this);
  StopKey->setObjectName("StopKey");
  StopKey->setShortcut(Qt::Key_Escape);
  StopKey->setShortcutContext(Qt::WindowShortcut);
  addAction(StopKey);
  connect(StopKey, &QAction::triggered, this, &TfSearch::StopClick);

  const auto Volumes = LocalSearchVolumes();
  SetVolumes(Volumes, HomeVolume(Volumes));
}

TfSearch::~TfSearch() {
  qApp->removeEventFilter(this);
  FSearch.disconnect(this);
}

void TfSearch::SetVolumes(const QList<TSearchVolume>& Volumes, int Selected) {
  FVolumes = Volumes;
  FillDrives();
  DriveCombo->setCurrentIndex(Selected);
  FLastDrive = DriveCombo->currentIndex();
}

void TfSearch::FillDrives() {
  const QSignalBlocker Block(DriveCombo);
  DriveCombo->clear();
  for (const auto& V : FVolumes)
    DriveCombo->addItem(V.Name);
  if (!FFolder.isEmpty()) DriveCombo->addItem(FFolder);
  DriveCombo->addItem(FolderItemText());
}

void TfSearch::SetSearchFolder(const QString& Folder) {
  FFolder = QDir::cleanPath(Folder);
  FillDrives();
  DriveCombo->setCurrentIndex(int(FVolumes.size()));
  FLastDrive = DriveCombo->currentIndex();
}

void TfSearch::OfferFolder(const QString& Folder) {
  const int Selected = DriveCombo->currentIndex();
  if (!QFileInfo(Folder).isDir() || (!FFolder.isEmpty() && Selected == int(FVolumes.size())))
    return;
  FFolder = QDir::cleanPath(Folder);
  FillDrives();
  DriveCombo->setCurrentIndex(Selected);
  FLastDrive = DriveCombo->currentIndex();
}

void TfSearch::DriveChosen(int Index) {
  if (Index != DriveCombo->count() - 1) {
    FLastDrive = Index;
    return;
  }
  const QString Folder = ChooseFolder ? ChooseFolder(this) : QString();
  if (!Folder.isEmpty() && QFileInfo(Folder).isDir())
    SetSearchFolder(Folder);
  else
    DriveCombo->setCurrentIndex(FLastDrive);
}

QString TfSearch::SelectedRoot() const {
  const int I = DriveCombo->currentIndex();
  if (I >= 0 && I < FVolumes.size()) return FVolumes[I].Root;
  if (I == FVolumes.size() && !FFolder.isEmpty()) return FFolder;
  return QString();
}

QString TfSearch::FoundText(qsizetype N) {
  return QString::number(N) + " files found - Double click filename to view.";
}

QString TfSearch::StatusText() const {
  return FStatus->text();
}

TSearchCriteria TfSearch::Criteria() const {
  TSearchCriteria C;
  if (!MoreCriteria->isChecked()) return C;
  C.TakenFrom = TakenFrom->text().trimmed().toStdString();
  C.TakenTo = TakenTo->text().trimmed().toStdString();
  C.Camera = Camera->text().trimmed().toStdString();
  C.MinWidth = MinWidth->value();
  C.MaxWidth = MaxWidth->value();
  C.MinHeight = MinHeight->value();
  C.MaxHeight = MaxHeight->value();
  C.MinBytes = int64_t(MinKB->value()) * 1024;
  C.MaxBytes = int64_t(MaxKB->value()) * 1024;
  C.ModifiedFrom = ModifiedFrom->text().trimmed().toStdString();
  C.ModifiedTo = ModifiedTo->text().trimmed().toStdString();
  return C;
}

void TfSearch::FindClick() {
  if (FSearch.Running()) return;
  const TSearchCriteria C = Criteria();
  std::string Why;
  if (!CheckCriteria(C, Why)) {
    ShowMessage(QString::fromStdString(Why), this);
    return;
  }
  ResultList->setHeaderHidden(C.Empty());
  ResultList->setColumnHidden(1, C.Empty());
  Results->Clear();
  ResultList->repaint();
  setCursor(Qt::BusyCursor);
  FindButton->hide();
  StopButton->show();
  FOverflowShown = false;
  const int Selected = DriveCombo->currentIndex();
  QStringList Roots;
  if (AllDrives->isChecked())
    Roots = AllDriveRoots(FVolumes, Selected);
  else if (!SelectedRoot().isEmpty())
    Roots << SelectedRoot();
  FSearch.Start(Roots, SearchFor->text(), Capacity, C);
  FFolderTimer.start();
}

void TfSearch::StopClick() {
  FSearch.Stop();
}

void TfSearch::TakeResults() {
  Results->Add(FSearch.TakeBatch());
  if (FSearch.Overflowed() && !FOverflowShown) {
    FOverflowShown = true;
    ShowMessage("Number of files exceeds list box capacity.", this);
  }
}

void TfSearch::ShowFolder() {
  const QString F = FSearch.CurrentFolder();
  if (!F.isEmpty() && FSearch.Running()) FStatus->setText(F);
}

void TfSearch::SearchEnded() {
  FFolderTimer.stop();
  StopButton->hide();
  FindButton->show();
  unsetCursor();
  FStatus->setText(FoundText(Results->Count()));
  emit searchEnded();
}

void TfSearch::OpenResult(int Row) {
  if (FSearch.Running() || Row < 0 || Row >= Results->Count()) return;
  if (OnOpenResult) OnOpenResult(Results->Line(Row).Text);
}

void TfSearch::keyPressEvent(QKeyEvent* E) {
  if (E->key() == Qt::Key_Escape) {
    StopClick();
    return;
  }
  QWidget::keyPressEvent(E);
}

void TfSearch::closeEvent(QCloseEvent* E) {
  StopClick();
  E->accept();
}

} // namespace orbisk
