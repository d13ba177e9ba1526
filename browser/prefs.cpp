#include "browser/prefs.h"

#include "browser/mainsettings.h"
#include "platform/associations.h"
#include "platform/prompt.h"
#include "platform/settingsstore.h"
#include "platform/autoorient.h"

#include <QApplication>

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace orbisk {

TfPrefs::TfPrefs(QWidget* Parent) : QDialog(Parent) {
  setObjectName("fPrefs");
  setWindowTitle(QStringLiteral("Preferences"));
  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName("PageControl1");

  auto* Editors = new QWidget;
  auto* Grid = new QGridLayout(Editors);
  for (int I = 0; I < FileTypeCount; ++I) {
    TypeChecks[I] = new QCheckBox(QString::fromLatin1(FileTypeNames()[I]), Editors);
    TypeChecks[I]->setObjectName(QStringLiteral("TypeCheck%1").arg(I + 1));
    EditorEdits[I] = new QLineEdit(Editors);
    EditorEdits[I]->setObjectName(QStringLiteral("EditorEdit%1").arg(I + 1));
    LocateButtons[I] = new QPushButton(QStringLiteral("Locate"), Editors);
    LocateButtons[I]->setObjectName(QStringLiteral("Locate%1").arg(I + 1));
    Grid->addWidget(TypeChecks[I], I, 0);
    Grid->addWidget(EditorEdits[I], I, 1);
    Grid->addWidget(LocateButtons[I], I, 2);
    connect(LocateButtons[I], &QPushButton::clicked, this, [this, I] { LocateButtonClick(I); });
  }
  auto* Later = new QHBoxLayout;
  for (int I = 0; I < LaterTypeCount; ++I) {
    LaterChecks[I] = new QCheckBox(QString::fromLatin1(LaterTypeNames()[I]), Editors);
    LaterChecks[I]->setObjectName(QStringLiteral("Later%1").arg(I + 1));
    Later->addWidget(LaterChecks[I]);
  }
  Later->addStretch();
  Grid->addLayout(Later, FileTypeCount, 0, 1, 3);
  PageControl1->addTab(Editors, QStringLiteral("Editors"));

  auto* Deletions = new QWidget;
  auto* DelLayout = new QVBoxLayout(Deletions);
  RadioGroup1 = new QGroupBox(QStringLiteral("Deleting a file will"), Deletions);
  RadioGroup1->setObjectName("RadioGroup1");
  auto* RadioLayout = new QVBoxLayout(RadioGroup1);
  DeleteModes = new QButtonGroup(this);
  DeleteModes->setObjectName("DeleteModes");
  const char* Items[] = {"Move it to the ReCycle Bin",
                         "Permanently delete it from your disk (can not be restored)"};
  for (int I = 0; I < 2; ++I) {
    auto* R = new QRadioButton(QString::fromLatin1(Items[I]), RadioGroup1);
    DeleteModes->addButton(R, I);
    RadioLayout->addWidget(R);
  }
  ConfirmCheck = new QCheckBox(QStringLiteral("Confirm Before Deleting Files"), Deletions);
  ConfirmCheck->setObjectName("ConfirmCheck");
  DelLayout->addWidget(RadioGroup1);
  DelLayout->addWidget(ConfirmCheck);
  DelLayout->addStretch();
  PageControl1->addTab(Deletions, QStringLiteral("Deletions"));

  auto* Viewing = new QWidget;
  auto* ViewLayout = new QVBoxLayout(Viewing);
  AutoOrientCheck = new QCheckBox(QString::fromLatin1(kAutoOrientCaption), Viewing);
  AutoOrientCheck->setObjectName("AutoOrientCheck");
  ViewLayout->addWidget(AutoOrientCheck);
  CentreCheck = new QCheckBox(QStringLiteral("Centre pictures"), Viewing);
  CentreCheck->setObjectName("CentreCheck");
  ViewLayout->addWidget(CentreCheck);
  ColourProfilesCheck = new QCheckBox(QStringLiteral("Use colour profiles"), Viewing);
  ColourProfilesCheck->setObjectName("ColourProfilesCheck");
  ViewLayout->addWidget(ColourProfilesCheck);
  ViewLayout->addStretch();
  PageControl1->addTab(Viewing, QStringLiteral("Viewing"));

  AssociateButton = new QPushButton(QStringLiteral("Associate"), this);
  AssociateButton->setObjectName("AssociateButton");
  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setObjectName("OKButton");
  CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
  CancelButton->setObjectName("CancelButton");
  OKButton->setDefault(true);
  auto* Buttons = new QHBoxLayout;
  Buttons->addWidget(AssociateButton);
  Buttons->addStretch();
  Buttons->addWidget(OKButton);
  Buttons->addWidget(CancelButton);
  auto* Main = new QVBoxLayout(this);
  Main->addWidget(PageControl1);
  Main->addLayout(Buttons);

  connect(PageControl1, &QTabWidget::currentChanged, this, [this] { UpdateAssociateButton(); });
  connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(AssociateButton, &QPushButton::clicked, this, [this] { AssociateButtonClick(); });
  ChooseFile = [](QWidget* Owner) {
    return QFileDialog::getOpenFileName(Owner, QStringLiteral("Locate"));
  };
  UpdateAssociateButton();
}

void TfPrefs::UpdateAssociateButton() {
  AssociateButton->setVisible(PageControl1->currentIndex() == 0);
}

void TfPrefs::AssociateButtonClick() {
  if (!AskYesNo("Would you like to associate the selected file types with Orbisk?", this)) return;
  QStringList Types;
  for (int I = 0; I < FileTypeCount; ++I)
    if (TypeChecks[I]->isChecked()) Types << QString::fromLatin1(FileTypeNames()[I]);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    AssociateTypes(Types);
  } catch (const std::exception& E) {
    QApplication::restoreOverrideCursor();
    ShowMessage(QString::fromStdString(E.what()), this);
    return;
  }
  QApplication::restoreOverrideCursor();
}

void TfPrefs::LoadSettings(const TSettingsStore& S) {
  const QString Stored = ReadFileTypes(S);
  TFileTypeFlags Flags = ParseFileTypes(Stored);
  const TLaterTypeFlags LaterFlags = ParseLaterFileTypes(Stored);
  for (int I = 0; I < LaterTypeCount; ++I)
    LaterChecks[I]->setChecked(LaterFlags[I]);
  for (int I = 0; I < FileTypeCount; ++I) {
    TypeChecks[I]->setChecked(Flags[I]);
    EditorEdits[I]->setText(S.ReadString(EditorValueName(I), QString()));
  }
  ConfirmCheck->setChecked(ReadConfirmDeletions(S));
  DeleteModes->button(S.ReadString("Deletions", "0") == QLatin1String("1") ? 1 : 0)
      ->setChecked(true);
  AutoOrientCheck->setChecked(ReadAutoOrient(S));
  CentreCheck->setChecked(ReadCentrePictures(S));
  ColourProfilesCheck->setChecked(ReadColourProfiles(S));
}

void TfPrefs::SaveSettings(TSettingsStore& S) const {
  S.WriteString("FileTypes", FileTypesText(FileTypeFlags(), LaterTypeFlags()));
  for (int I = 0; I < FileTypeCount; ++I)
    S.WriteString(EditorValueName(I), EditorEdits[I]->text());
  S.WriteInteger("Deletions", DeletePermanently() ? 1 : 0);
  S.WriteString("Confirm Deletions", ConfirmDeletions() ? "1" : "0");
  WriteAutoOrient(S, AutoOrientCheck->isChecked());
  WriteCentrePictures(S, CentreCheck->isChecked());
  WriteColourProfiles(S, ColourProfilesCheck->isChecked());
}

bool TfPrefs::Execute() {
  {
    TSettingsStore S;
    LoadSettings(S);
  }
  return exec() == QDialog::Accepted;
}

TFileTypeFlags TfPrefs::FileTypeFlags() const {
  TFileTypeFlags F{};
  for (int I = 0; I < FileTypeCount; ++I)
    F[I] = TypeChecks[I]->isChecked();
  return F;
}

TLaterTypeFlags TfPrefs::LaterTypeFlags() const {
  TLaterTypeFlags F{};
  for (int I = 0; I < LaterTypeCount; ++I)
    F[I] = LaterChecks[I]->isChecked();
  return F;
}

bool TfPrefs::DeletePermanently() const {
  return DeleteModes->checkedId() == 1;
}

bool TfPrefs::ConfirmDeletions() const {
  return ConfirmCheck->isChecked();
}

void TfPrefs::LocateButtonClick(int Row) {
  QString Name = ChooseFile ? ChooseFile(this) : QString();
  if (!Name.isEmpty()) EditorEdits[Row]->setText(Name);
}

void TfPrefs::OKButtonClick() {
  {
    TSettingsStore S;
    SaveSettings(S);
  }
  accept();
}

} // namespace orbisk
