#include "view/previewdialogs.h"

#include "platform/pgqt.h"
#include "tests/common/testutil.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QScreen>
#include <QTimer>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>

// Readable failure messages.
inline void PrintTo(const QString& S, std::ostream* Os) {
  *Os << '"' << S.toStdString() << '"';
}

using namespace orbisk;
namespace fs = std::filesystem;

namespace {

void Spin(int Ms) {
  QElapsedTimer T;
  T.start();
  while (T.elapsed() < Ms)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// A folder of its own holding a picture file of the given size in one colour.
std::string MakePicture(const std::string& Folder, const std::string& Name, int W, int H,
                        TRGB Color, int Code = 3) {
  fs::create_directories(Folder);
  TPixelGraphic G;
  G.SetSize(W, H, Code);
  if (Code != 3) G.SetPaletteKind(pSys16);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G.SetPixelColor(X, Y, Color);
  std::string P = Folder + "/" + Name;
  G.SaveToFile(P);
  return P;
}

std::string Folder(const std::string& Name) {
  std::string F = test::TempPath(Name);
  fs::create_directories(F);
  return F;
}

// Makes the dialog's list current on the file, as the arrow keys or a click would.
void MakeCurrent(QFileDialog& D, const QString& Path) {
  auto* List = D.findChild<QListView*>("listView");
  ASSERT_NE(List, nullptr);
  auto* Model = qobject_cast<QFileSystemModel*>(List->model());
  ASSERT_NE(Model, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] {
    QModelIndex I = Model->index(Path);
    return I.isValid() && I.parent() == List->rootIndex();
  })) << Path.toStdString();
  List->setCurrentIndex(Model->index(Path));
}

} // namespace

// ---------------------------------------------------------------- helpers without a window

TEST(PreviewDialogHelpers, FiltersFromTheRegistry) {
  QStringList Open = NameFiltersFromFilter(DefaultOpenFilter());
  ASSERT_GE(Open.size(), 3);
  EXPECT_TRUE(Open.first().startsWith("Image files (*.bmp *.dib *.emf *.gif"));
  EXPECT_EQ(Open.last(), "All files (*.*)");
  EXPECT_TRUE(Open.contains("JPG - JPEG (JFIF compliant) (*.jpg)"));
  // Index 2 is the first reader, as OpenFilterExtension counts.
  EXPECT_TRUE(Open[1].endsWith("(*." + QString::fromStdString(OpenFilterExtension(2)) + ")"));

  QStringList Save = NameFiltersFromFilter(DefaultSaveFilter());
  EXPECT_EQ(Save, (QStringList{"BMP - Bitmap (*.bmp)", "JPG - JPEG (JFIF compliant) (*.jpg)",
                               "PBM - Portable Bitmap (*.pbm)", "PGM - Portable Graymap (*.pgm)",
                               "PNG - Portable Network Graphics (*.png)",
                               "PPM - Portable Pixelmap (*.ppm)", "TGA - Truevision Targa (*.tga)",
                               "TIF - Tagged Image File Format (*.tif)",
                               "AVIF - AV1 Image File Format (*.avif)", "WEBP - WebP (*.webp)"}));
  EXPECT_EQ(NameFiltersFromFilter(""), QStringList{});
  EXPECT_EQ(NameFiltersFromFilter("Odd|*.a;*.b|"), QStringList{"Odd (*.a *.b)"});
}

TEST(PreviewDialogHelpers, ShrinkAndDrawSizes) {
  struct Case {
    int PicW, PicH, BoxW, BoxH;
    QSize Shrunk;
  } Cases[] = {
      {2000, 1000, 180, 160, {180, 90}}, // wide photo
      {16, 16, 180, 160, {16, 16}},      // fits: not enlarged
      {100, 1000, 180, 160, {16, 160}},  // tall
      {180, 160, 180, 160, {180, 160}},  // exactly the box
      {10000, 1, 100, 100, {100, 1}},    // a line never becomes 0 pixels high
      {1, 10000, 100, 100, {1, 100}},    {300, 100, 100, 100, {100, 33}}, // truncated, not rounded
  };
  for (const Case& C : Cases)
    EXPECT_EQ(PreviewShrinkSize(C.PicW, C.PicH, C.BoxW, C.BoxH), C.Shrunk)
        << C.PicW << "x" << C.PicH;

  EXPECT_EQ(PreviewDrawRect(16, 16, 180, 160), QRect(82, 72, 16, 16)); // centred at its size
  EXPECT_EQ(PreviewDrawRect(360, 90, 180, 160), QRect(0, 57, 180, 45));
  EXPECT_EQ(PreviewDrawRect(90, 320, 180, 160), QRect(67, 0, 45, 160));
  EXPECT_EQ(PreviewDrawRect(0, 5, 10, 10), QRect());
}

TEST(PreviewDialogHelpers, InformationLines) {
  TGraphicFileInfo I;
  I.Type = "Portable Network Graphics";
  I.Width = 640;
  I.Height = 480;
  I.Colors = "16.7M";
  I.BitsPerPixel = 24;
  I.GraphicCount = 1;
  EXPECT_EQ(PreviewInfoLines(I),
            (QStringList{"Portable Network Graphics", "640x480x16.7M 24 bit"}));
  I.SubType = "Interlaced";
  I.Options = "Gamma";
  I.GraphicCount = 3;
  EXPECT_EQ(PreviewInfoLines(I), (QStringList{"Portable Network Graphics", "Interlaced", "Gamma",
                                              "640x480x16.7M 24 bit, 3"}));
}

TEST(PreviewDialogHelpers, SaveNameFollowsTheType) {
  const std::string F = Folder("savenames");
  fs::create_directories(F + "/photos");
  const QString Dir = QString::fromStdString(F);
  struct Case {
    QString Text, Ext;
    std::optional<QString> Result;
  } Cases[] = {
      {"photo", "png", "photo.png"},
      {"photo.jpg", "png", "photo.png"},
      {"my.holiday.jpg", "tif", "my.holiday.tif"},
      {Dir + "/photo.bmp", "png", "photo.png"}, // in the dialog's folder: the name only
      {"/elsewhere/photo.bmp", "jpg", "/elsewhere/photo.jpg"},
      {"photos", "png", std::nullopt}, // an existing folder stays
      {"", "png", std::nullopt},
      {"photo", "", std::nullopt},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(SaveNameForType(C.Text, Dir, C.Ext), C.Result) << C.Text.toStdString();

  EXPECT_EQ(WithDefaultExtension("photo", "jpg"), "photo.jpg");
  EXPECT_EQ(WithDefaultExtension("photo.png", "jpg"), "photo.png");
  EXPECT_EQ(WithDefaultExtension("/a.b/photo", "jpg"), "/a.b/photo.jpg");
  EXPECT_EQ(WithDefaultExtension("photo", ""), "photo");
}

// ---------------------------------------------------------------- the worker

TEST(PreviewWorker, ShrinksLoadsAndAdaptsToTheScreen) {
  const std::string F = Folder("worker");
  const std::string Photo = MakePicture(F, "photo.png", 2000, 1000, RGBOf(200, 40, 10));
  const std::string Icon = MakePicture(F, "icon.bmp", 16, 16, RGBOf(0, 0, 255));
  test::WriteFileBytes(F + "/broken.png", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0});
  std::atomic<bool> NoCancel{false};

  TPreviewRequest R;
  R.BoxWidth = 180;
  R.BoxHeight = 160;
  R.Path = Photo;
  int Reports = 0, LastStep = 0;
  auto G = MakePreviewPicture(R, NoCancel, [&](int Step, int) { ++Reports, LastStep = Step; });
  ASSERT_TRUE(G);
  EXPECT_EQ(G->Width(), 180);
  EXPECT_EQ(G->Height(), 90);
  EXPECT_EQ(G->BitCount(), 24);
  EXPECT_EQ(G->GetPixelColor(90, 45), RGBOf(200, 40, 10));
  EXPECT_GT(Reports, 0);
  EXPECT_EQ(LastStep, 2); // loading, then shrinking

  R.Path = Icon; // small pictures keep their size
  G = MakePreviewPicture(R, NoCancel);
  ASSERT_TRUE(G);
  EXPECT_EQ(QSize(G->Width(), G->Height()), QSize(16, 16));

  struct Screen {
    int Bits, BitCount;
  } Screens[] = {{4, 4}, {8, 8}, {24, 24}};
  R.Path = Photo;
  for (const Screen& S : Screens) {
    R.ScreenBits = S.Bits;
    G = MakePreviewPicture(R, NoCancel);
    ASSERT_TRUE(G) << S.Bits;
    EXPECT_EQ(G->BitCount(), S.BitCount) << S.Bits;
  }
  R.ScreenBits = 8;
  R.Palette8BitSys24BitGraphic = pGray256;
  G = MakePreviewPicture(R, NoCancel);
  ASSERT_TRUE(G);
  EXPECT_EQ(G->PaletteKind(), pGray256);

  for (const std::string& Bad : {F + "/missing.png", F + "/broken.png", F}) {
    R.Path = Bad;
    EXPECT_FALSE(MakePreviewPicture(R, NoCancel)) << Bad;
  }
  std::atomic<bool> Cancel{true};
  R.Path = Photo;
  EXPECT_FALSE(MakePreviewPicture(R, Cancel));
}

TEST(PreviewWorker, OnlyTheLatestRequestArrives) {
  const std::string F = Folder("loader");
  std::vector<std::string> Files;
  for (int I = 0; I < 4; ++I)
    Files.push_back(
        MakePicture(F, "p" + std::to_string(I) + ".png", 600 + 100 * I, 400, RGBOf(I * 60, 0, 0)));
  TPreviewLoader L;
  std::vector<uint64_t> Arrived;
  int ArrivedWidth = 0;
  QObject::connect(&L, &TPreviewLoader::OnReady,
                   [&](uint64_t Id, std::shared_ptr<const TPixelGraphic> G) {
                     Arrived.push_back(Id);
                     ArrivedWidth = G ? G->Width() : -1;
                   });
  uint64_t Last = 0;
  for (const std::string& P : Files) {
    TPreviewRequest R;
    R.Path = P;
    R.BoxWidth = 1000;
    R.BoxHeight = 1000;
    Last = L.Start(R);
  }
  EXPECT_TRUE(L.Busy());
  L.WaitForIdle();
  ASSERT_EQ(Arrived, std::vector<uint64_t>{Last});
  EXPECT_EQ(ArrivedWidth, 900); // the last file's picture, not an earlier one
  EXPECT_FALSE(L.Busy());

  // A result that was already on its way when the next file was chosen is dropped.
  TPreviewRequest First;
  First.Path = Files[0];
  L.Start(First);
  L.Join(); // finished, not yet delivered
  TPreviewRequest Second;
  Second.Path = Files[1];
  Second.BoxWidth = Second.BoxHeight = 1000;
  Last = L.Start(Second);
  L.WaitForIdle();
  EXPECT_EQ(Arrived, (std::vector<uint64_t>{Arrived[0], Last}));
  EXPECT_EQ(ArrivedWidth, 700);

  // A stopped request delivers nothing, even when it finishes.
  TPreviewRequest R;
  R.Path = Files[0];
  L.Start(R);
  L.Stop();
  L.WaitForIdle();
  EXPECT_EQ(Arrived.size(), 2u);
}

// ---------------------------------------------------------------- the dialogs

TEST(PreviewOpenDialog, ShowsPictureAndInformationOfTheSelectedFile) {
  const std::string F = Folder("opendialog");
  const QString Pic =
      QString::fromStdString(MakePicture(F, "sunset.png", 400, 200, RGBOf(250, 120, 0)));
  const QString Text = QString::fromStdString(F + "/notes.txt");
  test::WriteFileBytes(Text.toStdString(), {'n', 'o', 't', 'e'});

  TPGOpenDialog D;
  D.InitialDir = QString::fromStdString(F);
  D.setDirectory(D.InitialDir);
  D.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return D.isVisible(); }));
  EXPECT_TRUE(D.testOption(QFileDialog::DontUseNativeDialog));
  // Placed horizontally centred, a third of the free height from the top.
  const QRect A = D.screen()->availableGeometry();
  EXPECT_NEAR(D.frameGeometry().left() - A.left(), (A.width() - D.frameGeometry().width()) / 2, 2);

  MakeCurrent(D, Pic);
  D.WaitForPreview();
  ASSERT_TRUE(D.InfoValid());
  EXPECT_EQ(D.PreviewFile(), Pic);
  const QStringList Lines = D.ShownInfoLines();
  ASSERT_GE(Lines.size(), 2);
  EXPECT_EQ(Lines.first(), "Portable Network Graphics");
  EXPECT_EQ(Lines.last(), "400x200x16.7M 24 bit");
  ASSERT_NE(D.PreviewPicture(), nullptr);
  const QSize Inner = D.PreviewBox()->size() - QSize(4, 4);
  EXPECT_EQ(QSize(D.PreviewPicture()->Width(), D.PreviewPicture()->Height()),
            PreviewShrinkSize(400, 200, Inner.width(), Inner.height()));

  // The box shows the picture's colour in its middle and the sunken frame at its corner.
  QImage Shot = D.PreviewBox()->grab().toImage();
  const QRect R = D.PreviewRect();
  ASSERT_FALSE(R.isEmpty());
  EXPECT_EQ(QColor(Shot.pixel(R.center())), QColor(250, 120, 0));
  EXPECT_EQ(QColor(Shot.pixel(1, 1)), QColor(Qt::black));
  EXPECT_EQ(QColor(Shot.pixel(Shot.width() - 1, Shot.height() - 1)), QColor(Qt::white));
  // The information box has text on it.
  QImage Info = D.InfoBox()->grab().toImage();
  EXPECT_GT(Info.width(), 0);
  bool Inked = false;
  for (int Y = 0; Y < Info.height() && !Inked; ++Y)
    for (int X = 0; X < Info.width() && !Inked; ++X)
      Inked = QColor(Info.pixel(X, Y)) != QColor(Info.pixel(0, Info.height() - 1));
  EXPECT_TRUE(Inked);

  // A file that is not a picture: no information and no preview.
  MakeCurrent(D, Text);
  D.WaitForPreview();
  EXPECT_FALSE(D.InfoValid());
  EXPECT_TRUE(D.ShownInfoLines().isEmpty());
  EXPECT_EQ(D.PreviewPicture(), nullptr);
  D.reject();
}

TEST(PreviewOpenDialog, QuickMovesStartOnePreviewAfterTheLastMove) {
  const std::string F = Folder("quickmoves");
  QStringList Pics;
  for (int I = 0; I < 3; ++I)
    Pics << QString::fromStdString(
        MakePicture(F, "q" + std::to_string(I) + ".bmp", 40, 30, RGBOf(0, 80 * I, 0)));
  TPGOpenDialog D;
  D.setDirectory(QString::fromStdString(F));
  D.show();
  for (const QString& P : Pics)
    MakeCurrent(D, P);
  const uint64_t Before = D.Loader().JobsStarted();
  EXPECT_EQ(D.PreviewPicture(), nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return D.Loader().JobsStarted() > Before; }));
  D.Loader().WaitForIdle();
  Spin(TPGOpenDialog::kPreviewDelayMs + 100);
  EXPECT_EQ(D.Loader().JobsStarted(), Before + 1);
  EXPECT_EQ(D.PreviewFile(), Pics.last());
  ASSERT_NE(D.PreviewPicture(), nullptr);
  EXPECT_EQ(D.PreviewPicture()->GetPixelColor(5, 5), RGBOf(0, 160, 0));
  D.reject();
}

TEST(PreviewOpenDialog, ExecuteUsesRegistryFiltersAndReturnsTheChoice) {
  const std::string F = Folder("execute");
  const QString Pic = QString::fromStdString(MakePicture(F, "one.bmp", 8, 8, 0));
  TPGOpenDialog D;
  D.InitialDir = QString::fromStdString(F);
  D.FileName = "one.bmp";
  D.FilterIndex = 2;
  QTimer::singleShot(0, &D, [&] {
    EXPECT_EQ(D.nameFilters().size(), NameFiltersFromFilter(DefaultOpenFilter()).size());
    EXPECT_EQ(D.selectedNameFilter(), D.nameFilters()[1]);
    D.selectNameFilter(D.nameFilters()[0]);
    static_cast<QDialog&>(D).accept();
  });
  ASSERT_TRUE(D.Execute());
  EXPECT_EQ(D.FileName, Pic);
  EXPECT_EQ(D.Files, QStringList{Pic});
  EXPECT_EQ(D.FilterIndex, 1);
  EXPECT_EQ(D.Filter.toStdString(), DefaultOpenFilter());
  EXPECT_EQ(D.PreviewPicture(), nullptr); // closing frees the preview

  QStringList Messages;
  QObject::connect(&D, &TPGOpenDialog::OnMessage, [&](const QString& T) { Messages << T; });
  D.SetOptions(ofHideReadOnly | ofAllowMultiSelect);
  EXPECT_EQ(Messages, QStringList{"TPGOpenDialog.Options and TPGSaveDialog.Options must include "
                                  "ofShareAware!"});
  EXPECT_EQ(D.Options(), unsigned(ofHideReadOnly | ofAllowMultiSelect | ofShareAware));
  EXPECT_EQ(D.fileMode(), QFileDialog::ExistingFiles);
}

TEST(PreviewSaveDialog, NameFollowsTheChosenType) {
  const std::string F = Folder("savedialog");
  TPGSaveDialog D;
  EXPECT_TRUE(D.IsSaveDialog());
  D.InitialDir = QString::fromStdString(F);
  D.FileName = "holiday.png"; // picks the PNG entry
  auto* Combo = D.findChild<QComboBox*>("fileTypeCombo");
  ASSERT_NE(Combo, nullptr);
  auto ChooseType = [&](const QString& Start) {
    for (int I = 0; I < Combo->count(); ++I)
      if (Combo->itemText(I).startsWith(Start)) {
        Combo->setCurrentIndex(I);
        emit Combo->activated(I);
        emit Combo->textActivated(Combo->itemText(I));
        return;
      }
    ADD_FAILURE() << "no type " << Start.toStdString();
  };
  QString SeenFilter, AfterPng, AfterTga;
  QTimer::singleShot(0, &D, [&] {
    SeenFilter = D.selectedNameFilter();
    D.SetNameBoxText("photo");
    ChooseType("PNG");
    AfterPng = D.NameBoxText();
    ChooseType("TGA");
    AfterTga = D.NameBoxText();
    D.SetNameBoxText("photo");
    ChooseType("JPG");
    D.SetNameBoxText("photo"); // no extension when OK is pressed
    static_cast<QDialog&>(D).accept();
  });
  ASSERT_TRUE(D.Execute());
  EXPECT_EQ(SeenFilter, "PNG - Portable Network Graphics (*.png)");
  EXPECT_EQ(AfterPng, "photo.png");
  EXPECT_EQ(AfterTga, "photo.tga");
  EXPECT_EQ(D.FileName, QString::fromStdString(F + "/photo.jpg"));
  EXPECT_EQ(D.FilterIndex, 2);
}
