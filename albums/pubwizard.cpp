#include "albums/pubwizard.h"

#include "platform/dialogscale.h"
#include "platform/filenames.h"
#include "platform/help.h"
#include "platform/prompt.h"
#include "platform/waitcursor.h"
#include "thumbnails/tesslyoptions.h"
#include "view/previewdialogs.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace orbisk {

namespace {

QLabel* Intro(const QString& Text, QWidget* Parent) {
  auto* L = new QLabel(Text, Parent);
  L->setWordWrap(true);
  return L;
}

QSpinBox* UpDown(int Lo, int Hi, int Step, int Value, QWidget* Parent) {
  auto* S = new QSpinBox(Parent);
  S->setRange(Lo, Hi);
  S->setSingleStep(Step);
  S->setValue(Value);
  return S;
}

bool IsFolder(const QString& Path) {
  const TFileStat S = StatPath(Path);
  return S.Exists && S.IsDir;
}

} // namespace

TfrmPubWizard::TfrmPubWizard(TAlbumDocument& Doc, TAlbumPrefs& Prefs, QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      FDoc(Doc), FPrefs(Prefs) {
  setWindowTitle("Folvana Web Publishing Wizard");
  const TWebAlbumOptions D;
  Pages = new QStackedWidget(this);

  // 1: sizes and layout
  auto* P1 = new QWidget;
  auto* G1 = new QGridLayout(P1);
  G1->addWidget(Intro("This wizard publishes the album as web pages: a table of thumbnails on "
                      "each page, each leading to the picture. Choose the size of the "
                      "thumbnails and of the largest pictures, the columns and rows of a page "
                      "and whether the table shows frames.",
                      P1),
                0, 0, 1, 4);
  udThumbnailSize = UpDown(TWebAlbumOptions::kMinThumb, TWebAlbumOptions::kMaxThumb,
                           TWebAlbumOptions::kThumbStep, D.ThumbnailSize, P1);
  udMaxSize = UpDown(TWebAlbumOptions::kMinMax, TWebAlbumOptions::kMaxMax,
                     TWebAlbumOptions::kMaxStep, D.MaxSize, P1);
  udCols = UpDown(0, TWebAlbumOptions::kMaxRowsCols, 1, FPrefs.Cols(), P1);
  udRows = UpDown(0, TWebAlbumOptions::kMaxRowsCols, 1, FPrefs.Rows(), P1);
  auto Label = [](const QString& T, QWidget* Buddy, QWidget* Parent) {
    auto* L = new QLabel(T, Parent);
    L->setBuddy(Buddy);
    return L;
  };
  G1->addWidget(Label("&Thumbnail Size", udThumbnailSize, P1), 1, 0);
  G1->addWidget(udThumbnailSize, 1, 1);
  G1->addWidget(Label("&Max Size", udMaxSize, P1), 2, 0);
  G1->addWidget(udMaxSize, 2, 1);
  G1->addWidget(Label("&Columns", udCols, P1), 1, 2);
  G1->addWidget(udCols, 1, 3);
  G1->addWidget(Label("&Rows", udRows, P1), 2, 2);
  G1->addWidget(udRows, 2, 3);
  cbPrintFrames = new QCheckBox("Show &Frames", P1);
  G1->addWidget(cbPrintFrames, 3, 0, 1, 2);
  lblPageCount = new QLabel(P1);
  G1->addWidget(lblPageCount, 3, 2, 1, 2);
  lblLayoutProblem = new QLabel(P1);
  lblLayoutProblem->setStyleSheet("color: #b00000;");
  G1->addWidget(lblLayoutProblem, 4, 0, 1, 4);
  G1->setRowStretch(5, 1);
  Pages->addWidget(P1);

  // 2: picture quality
  auto* P2 = new QWidget;
  auto* G2 = new QGridLayout(P2);
  G2->addWidget(Intro("The pictures are saved as JPEG files: a higher quality gives larger "
                      "files. Scaled pictures look crisper with auto sharpening. Progressive "
                      "pictures show coarsely first while they load in the browser.",
                      P2),
                0, 0, 1, 3);
  G2->addWidget(new QLabel("Image Quality", P2), 1, 0, 1, 3);
  G2->addWidget(new QLabel("Lowest", P2), 2, 0);
  tbImageQuality = new QSlider(Qt::Horizontal, P2);
  tbImageQuality->setRange(TWebAlbumOptions::kMinQuality, TWebAlbumOptions::kMaxQuality);
  tbImageQuality->setValue(D.Quality);
  G2->addWidget(tbImageQuality, 2, 1);
  G2->addWidget(new QLabel("Highest", P2), 2, 2);
  cbAutoSharpen = new QCheckBox("&Auto Sharpen", P2);
  cbAutoSharpen->setChecked(D.AutoSharpen);
  G2->addWidget(cbAutoSharpen, 3, 0);
  G2->addWidget(new QLabel("Sharpening Amount", P2), 3, 1);
  tbSharpeningFactor = new QSlider(Qt::Horizontal, P2);
  tbSharpeningFactor->setRange(TWebAlbumOptions::kMinSharpen, TWebAlbumOptions::kMaxSharpen);
  tbSharpeningFactor->setValue(D.SharpeningAmount);
  G2->addWidget(tbSharpeningFactor, 4, 1);
  cbProgressive = new QCheckBox("&Progressive Display", P2);
  cbProgressive->setChecked(D.Progressive);
  G2->addWidget(cbProgressive, 5, 0, 1, 3);
  cbRemoveMetadata = new QCheckBox("Remove location and camera data", P2);
  cbRemoveMetadata->setToolTip("Published pictures carry no GPS position, camera, date or "
                               "comments; colour profiles stay");
  cbRemoveMetadata->setChecked(D.RemoveMetadata);
  G2->addWidget(cbRemoveMetadata, 6, 0, 1, 3);
  G2->setRowStretch(7, 1);
  Pages->addWidget(P2);
  connect(cbAutoSharpen, &QCheckBox::toggled, tbSharpeningFactor, &QWidget::setEnabled);

  // 3: captions and the folder
  auto* P3 = new QWidget;
  auto* G3 = new QGridLayout(P3);
  G3->addWidget(Intro("Choose what is written under each thumbnail, and the folder that will "
                      "hold all the published files (it is created when missing; an empty "
                      "folder is best).",
                      P3),
                0, 0, 1, 3);
  auto* CapBox = new QGroupBox("Caption Options", P3);
  auto* CapL = new QHBoxLayout(CapBox);
  rgCaption = new QButtonGroup(this);
  int Id = 0;
  for (const char* T : {"None", "Filename", "Caption"}) {
    auto* B = new QRadioButton(T, CapBox);
    rgCaption->addButton(B, Id++);
    CapL->addWidget(B);
  }
  rgCaption->button(0)->setChecked(true);
  G3->addWidget(CapBox, 1, 0, 1, 3);
  eWebFolder = new QLineEdit(QDir::homePath() + "/MyAlbum", P3);
  eWebFolder->installEventFilter(this);
  btnWebFolder = new QToolButton(P3);
  btnWebFolder->setText("...");
  G3->addWidget(Label("&Web folder", eWebFolder, P3), 2, 0);
  G3->addWidget(eWebFolder, 2, 1);
  G3->addWidget(btnWebFolder, 2, 2);
  cbReplaceExisting = new QCheckBox("Replace files of the same names already in the folder", P3);
  cbReplaceExisting->setChecked(D.ReplaceExisting);
  G3->addWidget(cbReplaceExisting, 3, 0, 1, 3);
  G3->setRowStretch(4, 1);
  Pages->addWidget(P3);

  // 4: page name and texts
  auto* P4 = new QWidget;
  auto* G4 = new QGridLayout(P4);
  G4->addWidget(Intro("Enter the file name of the page (ending in \".html\", without a folder), "
                      "and optionally the title shown in the browser's caption bar, a heading "
                      "and a footer.",
                      P4),
                0, 0, 1, 2);
  ePageName = new QLineEdit(D.PageName, P4);
  eTitle = new QLineEdit(P4);
  eHeader = new QLineEdit(P4);
  eFooter = new QLineEdit(P4);
  G4->addWidget(Label("Page Name", ePageName, P4), 1, 0);
  G4->addWidget(ePageName, 1, 1);
  G4->addWidget(Label("Title :", eTitle, P4), 2, 0);
  G4->addWidget(eTitle, 2, 1);
  G4->addWidget(Label("Header :", eHeader, P4), 3, 0);
  G4->addWidget(eHeader, 3, 1);
  G4->addWidget(Label("Footer :", eFooter, P4), 4, 0);
  G4->addWidget(eFooter, 4, 1);
  lblPageNameProblem = new QLabel(P4);
  lblPageNameProblem->setStyleSheet("color: #b00000;");
  G4->addWidget(lblPageNameProblem, 5, 0, 1, 2);
  G4->setRowStretch(6, 1);
  Pages->addWidget(P4);

  // 5: colours and background
  auto* P5 = new QWidget;
  auto* G5 = new QGridLayout(P5);
  G5->addWidget(Intro("Choose the colour of the page's background, or a picture that is tiled "
                      "over it, and the colour of the text.",
                      P5),
                0, 0, 1, 3);
  cbtnBGColor = new TColorButton(D.BackgroundColor, P5);
  cbtnTextColor = new TColorButton(D.TextColor, P5);
  G5->addWidget(new QLabel("Background Color", P5), 1, 0);
  G5->addWidget(cbtnBGColor, 1, 1);
  G5->addWidget(new QLabel("Text Color", P5), 2, 0);
  G5->addWidget(cbtnTextColor, 2, 1);
  cbUseBGImage = new QCheckBox("Use Background Image File", P5);
  G5->addWidget(cbUseBGImage, 3, 0, 1, 3);
  eBGImage = new QLineEdit(P5);
  btnBGImage = new QToolButton(P5);
  btnBGImage->setText("...");
  G5->addWidget(eBGImage, 4, 0, 1, 2);
  G5->addWidget(btnBGImage, 4, 2);
  G5->setRowStretch(5, 1);
  Pages->addWidget(P5);

  // 6: publishing
  auto* P6 = new QWidget;
  auto* L6 = new QVBoxLayout(P6);
  auto* Congrats = new QLabel("Congratulations!", P6);
  QFont F = Congrats->font();
  F.setBold(true);
  Congrats->setFont(F);
  L6->addWidget(Congrats);
  L6->addWidget(Intro("The web album is ready to be made. Click Next to publish it; the files "
                      "are written into the web folder, from where you can copy them to your "
                      "web server. Esc stops the publishing.",
                      P6));
  cbDisplayResults = new QCheckBox("Display results in your Web Browser when finished", P6);
  cbDisplayResults->setChecked(true);
  L6->addWidget(cbDisplayResults);
  lblResult = new QLabel(P6);
  lblResult->setWordWrap(true);
  lblResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
  L6->addWidget(lblResult);
  L6->addStretch(1);
  ProgressBar1 = new QProgressBar(P6);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setValue(0);
  L6->addWidget(ProgressBar1);
  Pages->addWidget(P6);

  // bottom bar
  btnBack = new QPushButton("<&Back", this);
  btnNext = new QPushButton("&Next>", this);
  btnClose = new QPushButton("Close", this);
  btnHelp = new QPushButton("Help", this);
  for (QPushButton* B : {btnBack, btnNext, btnClose, btnHelp})
    B->setAutoDefault(false);
  btnNext->setDefault(true);
  auto* Bar = new QHBoxLayout;
  Bar->addWidget(btnHelp);
  Bar->addStretch(1);
  Bar->addWidget(btnBack);
  Bar->addWidget(btnNext);
  Bar->addWidget(btnClose);
  auto* Main = new QVBoxLayout(this);
  Main->setContentsMargins(8, 8, 8, 8);
  Main->addWidget(Pages, 1);
  Main->addLayout(Bar);
  setObjectName("frmPubWizard");
  const std::pair<QObject*, const char*> Names[] = {{Pages, "Pages"},
                                                    {udThumbnailSize, "udThumbnailSize"},
                                                    {udMaxSize, "udMaxSize"},
                                                    {udCols, "udCols"},
                                                    {udRows, "udRows"},
                                                    {cbPrintFrames, "cbPrintFrames"},
                                                    {lblPageCount, "lblPageCount"},
                                                    {lblLayoutProblem, "lblLayoutProblem"},
                                                    {tbImageQuality, "tbImageQuality"},
                                                    {tbSharpeningFactor, "tbSharpeningFactor"},
                                                    {cbAutoSharpen, "cbAutoSharpen"},
                                                    {cbProgressive, "cbProgressive"},
                                                    {cbRemoveMetadata, "cbRemoveMetadata"},
                                                    {rgCaption, "rgCaption"},
                                                    {eWebFolder, "eWebFolder"},
                                                    {btnWebFolder, "btnWebFolder"},
                                                    {cbReplaceExisting, "cbReplaceExisting"},
                                                    {ePageName, "ePageName"},
                                                    {eTitle, "eTitle"},
                                                    {eHeader, "eHeader"},
                                                    {eFooter, "eFooter"},
                                                    {lblPageNameProblem, "lblPageNameProblem"},
                                                    {cbtnBGColor, "cbtnBGColor"},
                                                    {cbtnTextColor, "cbtnTextColor"},
                                                    {cbUseBGImage, "cbUseBGImage"},
                                                    {eBGImage, "eBGImage"},
                                                    {btnBGImage, "btnBGImage"},
                                                    {cbDisplayResults, "cbDisplayResults"},
                                                    {ProgressBar1, "ProgressBar1"},
                                                    {lblResult, "lblResult"},
                                                    {btnBack, "btnBack"},
                                                    {btnNext, "btnNext"},
                                                    {btnClose, "btnClose"},
                                                    {btnHelp, "btnHelp"}};
  for (const auto& [Object, Name] : Names)
    Object->setObjectName(Name);

  connect(btnBack, &QPushButton::clicked, this, [this] { BackClick(); });
  connect(btnNext, &QPushButton::clicked, this, [this] { NextClick(); });
  connect(btnClose, &QPushButton::clicked, this, [this] { reject(); });
  connect(btnHelp, &QPushButton::clicked, this,
          [this] { ShowHelpTopic(HelpTopic::Contents, this); });
  connect(udCols, &QSpinBox::valueChanged, this, [this](int V) {
    if (V >= 1) FPrefs.SetCols(V);
    UpdatePageCount();
  });
  connect(udRows, &QSpinBox::valueChanged, this, [this](int V) {
    if (V >= 1) FPrefs.SetRows(V);
    UpdatePageCount();
  });
  connect(cbPrintFrames, &QCheckBox::toggled, this, [this](bool On) { FPrefs.SetPrintFrames(On); });
  connect(ePageName, &QLineEdit::textChanged, this, [this] { UpdatePageName(); });
  connect(&FPrefs, &TAlbumPrefs::OnCaptionOptionChanged, this,
          [this](int Option) { rgCaption->button(WebCaptionOf(Option))->setChecked(true); });
  connect(btnWebFolder, &QToolButton::clicked, this, [this] {
    const QString Folder = ChooseFolder ? ChooseFolder() : QString();
    if (!Folder.isEmpty()) eWebFolder->setText(Folder);
  });
  connect(btnBGImage, &QToolButton::clicked, this, [this] {
    const QString Path = ChooseBackground ? ChooseBackground() : QString();
    if (!Path.isEmpty()) eBGImage->setText(Path);
  });

  ChooseFolder = [this] {
    return QFileDialog::getExistingDirectory(this, "Web folder", eWebFolder->text(),
                                             QFileDialog::DontUseNativeDialog);
  };
  ChooseBackground = [this] {
    TPGOpenDialog D(this);
    D.UseDefaultFilter = false;
    D.Filter = "JPG - JPEG (JFIF compliant)|*.jpg|GIF - Graphic Interchange Format|*.gif|"
               "PNG - Portable Network Graphics|*.png";
    const QString Backgrounds = QCoreApplication::applicationDirPath() + "/Backgrounds";
    if (QDir(Backgrounds).exists()) D.InitialDir = Backgrounds;
    return D.Execute() ? D.FileName : QString();
  };
  OpenPage = [](const QString& Path) { QDesktopServices::openUrl(QUrl::fromLocalFile(Path)); };

  setFixedSize(ScaledSize(kWidth, kHeight));
  if (QScreen* S = QGuiApplication::primaryScreen())
    move(S->availableGeometry().center() - rect().center());
  ResetForShow();
}

TWebAlbumOptions TfrmPubWizard::Options() const {
  TWebAlbumOptions O;
  O.ThumbnailSize = udThumbnailSize->value();
  O.MaxSize = udMaxSize->value();
  O.Cols = udCols->value();
  O.Rows = udRows->value();
  O.ShowFrames = cbPrintFrames->isChecked();
  O.Quality = tbImageQuality->value();
  O.AutoSharpen = cbAutoSharpen->isChecked();
  O.SharpeningAmount = tbSharpeningFactor->value();
  O.Progressive = cbProgressive->isChecked();
  O.Caption = TWebCaption(std::max(rgCaption->checkedId(), 0));
  O.WebFolder = eWebFolder->text();
  O.PageName = ePageName->text();
  O.Title = eTitle->text();
  O.Header = eHeader->text();
  O.Footer = eFooter->text();
  O.BackgroundColor = cbtnBGColor->Color();
  O.TextColor = cbtnTextColor->Color();
  O.UseBGImage = cbUseBGImage->isChecked();
  O.BGImage = eBGImage->text();
  O.RemoveMetadata = cbRemoveMetadata->isChecked();
  O.ReplaceExisting = cbReplaceExisting->isChecked();
  return O;
}

int TfrmPubWizard::PageNumber() const {
  return Pages->currentIndex() + 1;
}

void TfrmPubWizard::ResetForShow() {
  // Each showing starts on the first page with the album preferences' layout and captions.
  udCols->setValue(FPrefs.Cols());
  udRows->setValue(FPrefs.Rows());
  cbPrintFrames->setChecked(FPrefs.PrintFrames());
  rgCaption->button(WebCaptionOf(FPrefs.CaptionOption()))->setChecked(true);
  tbImageQuality->setValue(80);
  tbSharpeningFactor->setValue(60);
  tbSharpeningFactor->setEnabled(cbAutoSharpen->isChecked());
  ProgressBar1->setValue(0);
  lblResult->clear();
  FCloseAfterRun = false;
  SetPage(1);
  UpdatePageCount();
  UpdatePageName();
}

void TfrmPubWizard::showEvent(QShowEvent* E) {
  if (!FRunning) ResetForShow();
  QDialog::showEvent(E);
}

void TfrmPubWizard::SetPage(int Number) {
  Pages->setCurrentIndex(std::clamp(Number, 1, 6) - 1);
  UpdateButtons();
}

void TfrmPubWizard::UpdatePageCount() {
  lblPageCount->setText(
      PageCountText(WebPageCount(FDoc.Count(), udCols->value(), udRows->value())));
  lblLayoutProblem->setText(LayoutProblem(udCols->value(), udRows->value()));
  UpdateButtons();
}

void TfrmPubWizard::UpdatePageName() {
  lblPageNameProblem->setText(PageNameProblem(ePageName->text()));
  UpdateButtons();
}

void TfrmPubWizard::UpdateButtons() {
  if (FRunning) return;
  const int P = PageNumber();
  btnBack->setEnabled(P > 1);
  bool CanGoOn = true;
  if (P == 1) CanGoOn = LayoutProblem(udCols->value(), udRows->value()).isEmpty();
  if (P == 4) CanGoOn = PageNameProblem(ePageName->text()).isEmpty();
  btnNext->setEnabled(CanGoOn);
}

bool TfrmPubWizard::CheckWebFolder() {
  const QString Folder = eWebFolder->text();
  if (MakeWebFolder(Folder)) return true;
  FCheckingFolder = true;
  ShowMessage(ErrorCreatingFolderText(Folder), this);
  FCheckingFolder = false;
  eWebFolder->setFocus();
  return false;
}

bool TfrmPubWizard::eventFilter(QObject* O, QEvent* E) {
  if (O == eWebFolder && E->type() == QEvent::FocusOut && !FCheckingFolder && isVisible()) {
    // Leaving the field creates the folder. A window losing the focus is not leaving it, nor is
    // a click on "Close" (which would otherwise be stopped by the message about a bad folder).
    const auto Reason = static_cast<QFocusEvent*>(E)->reason();
    if (Reason != Qt::ActiveWindowFocusReason && Reason != Qt::PopupFocusReason &&
        QApplication::focusWidget() != btnClose)
      CheckWebFolder();
  }
  return QDialog::eventFilter(O, E);
}

void TfrmPubWizard::BackClick() {
  if (FRunning || PageNumber() <= 1) return;
  SetPage(PageNumber() - 1);
}

void TfrmPubWizard::NextClick() {
  if (FRunning || !btnNext->isEnabled()) return;
  switch (PageNumber()) {
  case 3:
    if (IsFolder(eWebFolder->text())) {
      SetPage(4);
    } else if (MakeWebFolder(eWebFolder->text())) {
      // Created: the next click goes on.
    } else {
      ShowMessage(ErrorCreatingFolderText(eWebFolder->text()), this);
      eWebFolder->setFocus();
    }
    break;
  case 6:
    Publish();
    break;
  default:
    SetPage(PageNumber() + 1);
  }
}

void TfrmPubWizard::Publish() {
  btnBack->setEnabled(false);
  btnNext->setEnabled(false);
  if (FDoc.IsEmpty()) {
    ShowMessage(kNoAlbumImages, this);
    UpdateButtons();
    QDialog::reject();
    return;
  }
  const TWebAlbumOptions O = Options();
  if (!LayoutProblem(O.Cols, O.Rows).isEmpty()) {
    SetPage(1);
    return;
  }
  if (!IsFolder(O.WebFolder) && !MakeWebFolder(O.WebFolder)) {
    ShowMessage(kCannotCreateFolder + O.WebFolder, this);
    SetPage(3); // the page of the folder field
    return;
  }
  const int N = FDoc.Count();
  ProgressBar1->setRange(0, N);
  ProgressBar1->setValue(0);
  TWebPublishHooks Hooks;
  Hooks.OnProgress = [this](int Done) { ProgressBar1->setValue(Done); };
  Hooks.KeepRunning = [this] {
    QCoreApplication::processEvents();
    return FRunning;
  };
  Hooks.OnMessage = [this](const QString& Text) { ShowMessage(Text, this); };
  FRunning = true;
  {
    TWaitCursor Busy;
    // The entries are copied: events run during the work, and the album may change meanwhile.
    const std::vector<AlbumEntry> Entries = FDoc.Entries();
    FResult = PublishWebAlbum(Entries, O, Hooks);
  }
  FRunning = false;
  ProgressBar1->setValue(0);
  lblResult->setText(WebPublishSummary(FResult, N));
  UpdateButtons();
  if (FCloseAfterRun) {
    FCloseAfterRun = false;
    QDialog::reject();
    return;
  }
  if (!FResult.Stopped && cbDisplayResults->isChecked() && !FResult.FirstPage.isEmpty() && OpenPage)
    OpenPage(FResult.FirstPage);
}

void TfrmPubWizard::keyPressEvent(QKeyEvent* E) {
  if (E->key() == Qt::Key_Escape && FRunning) {
    FRunning = false; // stops after the current picture
    E->accept();
    return;
  }
  QDialog::keyPressEvent(E);
}

void TfrmPubWizard::reject() {
  if (FRunning) {
    // Closing while publishing stops the run first; the window closes when it has stopped.
    FRunning = false;
    FCloseAfterRun = true;
    return;
  }
  QDialog::reject();
}

} // namespace orbisk
