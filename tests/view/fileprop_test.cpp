#include "view/fileprop.h"

#include "engine/registry.h"
#include "tests/common/testutil.h"
#include "view/pgimage.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>

inline void PrintTo(const QString& S, std::ostream* Os) {
  *Os << '"' << S.toStdString() << '"';
}

using namespace orbisk;

namespace {

QString Save(const std::string& Name, int W, int H, int Code) {
  TPixelGraphic G;
  G.SetSize(W, H, Code);
  if (Code == 2) G.SetPaletteKind(pGray256);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G.SetPixelColor(X, Y, RGBOf(X % 256, Y % 256, 90));
  std::string P = test::TempPath(Name);
  G.SaveToFile(P);
  return QString::fromStdString(P);
}

// Shows the window for the file as the main window would and closes it again.
void ShowFor(TfrmFileProp& W, const QString& Path) {
  QTimer::singleShot(0, &W, [&] { W.OKButton()->click(); });
  W.Execute(Path);
}

} // namespace

TEST(FileProperties, LooksAsDesigned) {
  TfrmFileProp W;
  EXPECT_EQ(W.windowTitle(), "Image Properties");
  // The background runs from dark red at the left to black at the right.
  const TPixelGraphic* G = W.BackgroundView()->PixelGraphicNoWait();
  ASSERT_NE(G, nullptr);
  ASSERT_EQ(G->Width(), TfrmFileProp::kWidth);
  const int Last = G->Width() - 1;
  EXPECT_EQ(G->GetPixelColor(0, 0), RGBOf(140, 0, 0));
  EXPECT_EQ(G->GetPixelColor(Last, 5), RGBOf(140 - Last * 140 / G->Width(), 0, 0));
  EXPECT_EQ(G->GetPixelColor(G->Width() / 2, 9), RGBOf(70, 0, 0));

  QStringList Yellow;
  for (QLabel* L : W.findChildren<QLabel*>())
    if (L->palette().color(QPalette::WindowText) == QColor(Qt::yellow)) Yellow << L->text();
  EXPECT_EQ(Yellow, TfrmFileProp::Captions());
  EXPECT_EQ(W.PreviewView()->Stretch(), sAlwaysKAR);
  EXPECT_EQ(W.PreviewView()->Color(), QColor(Qt::black));
}

TEST(FileProperties, PicturesShowTheirFields) {
  struct Case {
    std::string Name;
    int W, H, Code;
    QString Type, Bits;
  } Cases[] = {
      {"photo.jpg", 64, 48, 3, "JPEG (JFIF compliant)", "24"},
      {"gray.png", 30, 70, 2, "Portable Network Graphics", "8"},
      {"wide.bmp", 300, 20, 3, "Bitmap", "24"},
  };
  TfrmFileProp W;
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    const QString P = Save(C.Name, C.W, C.H, C.Code);
    ShowFor(W, P);
    TGraphicFileInfo Info;
    ASSERT_TRUE(GetGraphicFileInfo(P.toStdString(), 0, Info));
    EXPECT_EQ(W.Value("FileName"), P);
    EXPECT_EQ(W.Value("Type"), C.Type);
    EXPECT_EQ(W.Value("SubType"), QString::fromStdString(Info.SubType));
    EXPECT_EQ(W.Value("Width"), QString::number(C.W));
    EXPECT_EQ(W.Value("Height"), QString::number(C.H));
    EXPECT_EQ(W.Value("BitsPerPixel"), C.Bits);
    EXPECT_EQ(W.Value("Colors"), QString::fromStdString(Info.Colors));
    EXPECT_FALSE(W.Value("Colors").isEmpty());
    EXPECT_EQ(W.Value("GraphicCount"), "1");
    const QFileInfo F(P);
    EXPECT_EQ(W.Value("File Size"), QString::number(F.size() / 1024 + 1) + "K");
    const QDateTime T = F.lastModified();
    EXPECT_EQ(W.Value("File Date"),
              QLocale().toString(T.date(), QLocale::ShortFormat) + T.time().toString(" h:mm AP"));
    EXPECT_TRUE(W.PreviewShown());
    EXPECT_TRUE(W.Note().isEmpty());
    ASSERT_NE(W.PreviewView()->PixelGraphicNoWait(), nullptr);
    EXPECT_EQ(W.PreviewView()->ImageWidth(), C.W);
  }
}

TEST(FileProperties, UnreadableFilesSaySo) {
  TfrmFileProp W;
  // Not a picture at all: name, date and size; no format fields, no preview.
  const std::string Text = test::TempPath("readme.jpg");
  test::WriteFileBytes(Text, std::vector<uint8_t>(3000, 'x'));
  ShowFor(W, QString::fromStdString(Text));
  EXPECT_EQ(W.Value("File Size"), "3K");
  EXPECT_FALSE(W.Value("File Date").isEmpty());
  for (const char* C :
       {"Type", "SubType", "Options", "Width", "Height", "Colors", "BitsPerPixel", "GraphicCount"})
    EXPECT_EQ(W.Value(C), "") << C;
  EXPECT_FALSE(W.PreviewShown());
  EXPECT_TRUE(W.Note().contains("cannot be read")) << W.Note().toStdString();

  // A sound header with damaged picture data: the fields, and a note instead of the preview.
  const QString Png = Save("damaged.png", 40, 40, 3);
  std::vector<uint8_t> Bytes = test::ReadFileBytes(Png.toStdString());
  for (size_t I = 60; I < Bytes.size() - 20; ++I)
    Bytes[I] ^= 0x5A;
  test::WriteFileBytes(Png.toStdString(), Bytes);
  ShowFor(W, Png);
  EXPECT_EQ(W.Value("Type"), "Portable Network Graphics");
  EXPECT_EQ(W.Value("Width"), "40");
  EXPECT_FALSE(W.PreviewShown());
  EXPECT_TRUE(W.Note().contains("cannot be read")) << W.Note().toStdString();
  EXPECT_EQ(W.PreviewView()->PixelGraphicNoWait(), nullptr);

  // A file that is gone.
  ShowFor(W, QString::fromStdString(test::TempPath("gone.png")));
  EXPECT_EQ(W.Value("File Size"), "");
  EXPECT_FALSE(W.PreviewShown());
  EXPECT_FALSE(W.Note().isEmpty());
}

TEST(FileProperties, CorpusBombIsDescribedButNotDecoded) {
  if (test::CorpusDir().empty()) GTEST_SKIP() << "corpus folder absent";
  const std::string P =
      test::CorpusDir() + "/openimageio/testsuite/jpeg-corrupt/src/bomb-65500x65500.jpg";
  if (!std::filesystem::exists(P)) GTEST_SKIP() << "sample absent";
  TfrmFileProp W;
  ShowFor(W, QString::fromStdString(P));
  EXPECT_EQ(W.Value("Type"), "JPEG (JFIF compliant)");
  EXPECT_EQ(W.Value("Width"), "65500");
  EXPECT_FALSE(W.PreviewShown());
  EXPECT_TRUE(W.Note().contains("cannot be read")) << W.Note().toStdString();
}

TEST(FileProperties, LargeFilesHaveNoPreviewAndEachShowReadsAgain) {
  // 1500 x 1400 x 3 bytes: above the preview limit.
  const QString Big = Save("big.bmp", 1500, 1400, 3);
  ASSERT_GE(QFileInfo(Big).size(), TfrmFileProp::kPreviewSizeLimit);
  const QString Small = Save("small.bmp", 10, 10, 3);
  TfrmFileProp W;
  ShowFor(W, Small);
  EXPECT_TRUE(W.PreviewShown());
  ShowFor(W, Big);
  EXPECT_EQ(W.Value("Width"), "1500");
  EXPECT_EQ(W.Value("Height"), "1400");
  EXPECT_FALSE(W.PreviewShown());
  EXPECT_EQ(W.PreviewView()->PixelGraphicNoWait(), nullptr); // the earlier preview is gone
}

// Every corpus file is either described with a preview or says why it has none.
TEST(FileProperties, CorpusFilesAreDescribedOrRefused) {
  if (test::CorpusDir().empty()) GTEST_SKIP() << "corpus folder absent";
  TfrmFileProp W;
  int Previews = 0, Notes = 0;
  for (const test::ManifestEntry& E : test::ReadManifest()) {
    const QString P = QString::fromStdString(test::CorpusDir() + "/" + E.Path);
    W.FileName = P;
    W.Refresh();
    SCOPED_TRACE(E.Path);
    EXPECT_NE(W.PreviewShown(), !W.Note().isEmpty());
    (W.PreviewShown() ? Previews : Notes)++;
  }
  std::printf("corpus: %d with preview, %d with a note\n", Previews, Notes);
}
