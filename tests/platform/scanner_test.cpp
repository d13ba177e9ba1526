// The scanner: frames into packed bitmaps, the BMP writer, and whole scans from SANE's test
// backend compared with scanimage's pictures for the same settings.
#include "engine/pixelgraphic.h"
#include "platform/nativebitmap.h"
#include "platform/scanframes.h"
#include "platform/scanner.h"
#include "tests/common/sanetest.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

using namespace orbisk;
using namespace orbisk::test;

namespace {

uint32_t LE32(const std::vector<uint8_t>& B, size_t At) {
  return uint32_t(B[At]) | uint32_t(B[At + 1]) << 8 | uint32_t(B[At + 2]) << 16 |
         uint32_t(B[At + 3]) << 24;
}

// A packed bitmap header with the given fields, followed by Extra zero bytes.
TNativeBitmap Header(int Width, int Height, int Bits, uint32_t Compression, uint32_t ImageSize,
                     uint32_t Used, size_t Extra) {
  TNativeBitmap B(40 + Extra, 0);
  auto Put = [&B](size_t At, uint32_t V) {
    for (int I = 0; I < 4; ++I)
      B[At + size_t(I)] = uint8_t(V >> (8 * I));
  };
  Put(0, 40);
  Put(4, uint32_t(Width));
  Put(8, uint32_t(Height));
  B[12] = 1;
  B[14] = uint8_t(Bits);
  Put(16, Compression);
  Put(20, ImageSize);
  Put(32, Used);
  return B;
}

TFrameParams Frame(TFrameFormat F, int Ppl, int Bpl, int Lines, int Depth, bool Last = true) {
  return {int(F), Last, Bpl, Ppl, Lines, Depth};
}

std::unique_ptr<TPixelGraphic> Picture(const TNativeBitmap& B) {
  auto G = std::make_unique<TPixelGraphic>();
  G->LoadFromPackedDIB(B.data(), B.size());
  return G;
}

// 0xRRGGBB of a picture's pixel (the engine keeps red in the low byte).
uint32_t RGBAt(const TPixelGraphic& G, int X, int Y) {
  const TRGB C = G.GetPixelColor(X, Y);
  return (C & 0xFF) << 16 | (C & 0xFF00) | (C >> 16 & 0xFF);
}

void ExpectSamePicture(const TPixelGraphic& G, const TRefPicture& R) {
  ASSERT_EQ(G.Width(), R.Width);
  ASSERT_EQ(G.Height(), R.Height);
  int Wrong = 0;
  for (int Y = 0; Y < R.Height; ++Y)
    for (int X = 0; X < R.Width; ++X)
      if (RGBAt(G, X, Y) != R.At(X, Y) && ++Wrong <= 3)
        ADD_FAILURE() << "pixel " << X << "," << Y << ": " << std::hex << RGBAt(G, X, Y)
                      << " instead of " << R.At(X, Y);
  EXPECT_EQ(Wrong, 0);
}

} // namespace

// ---- the BMP writer

TEST(NativeBitmap, OneBitWithoutColourCountGetsTwoEntriesAndOffset62) {
  // 10 × 3 at 1 bit: rows of 4 bytes.
  TNativeBitmap B = Header(10, 3, 1, 0, 0, 0, 8 + 12);
  std::vector<uint8_t> F;
  ASSERT_EQ(PackedBitmapToBMP(B.data(), B.size(), F), kNativeWritten);
  ASSERT_EQ(F.size(), 62u + 12u);
  EXPECT_EQ(F[0], 'B');
  EXPECT_EQ(F[1], 'M');
  EXPECT_EQ(LE32(F, 2), 74u);       // file size
  EXPECT_EQ(LE32(F, 6), 0u);        // reserved words
  EXPECT_EQ(LE32(F, 10), 62u);      // pixel offset
  EXPECT_EQ(LE32(F, 14 + 20), 12u); // image size set from the rows
}

TEST(NativeBitmap, SizesAreCheckedAgainstTheBytes) {
  std::vector<uint8_t> F;
  // Compressed without its size: the write fails.
  TNativeBitmap Rle = Header(4, 4, 8, 1, 0, 0, 1024 + 64);
  EXPECT_EQ(PackedBitmapToBMP(Rle.data(), Rle.size(), F), kNativeWriteFailed);
  // Compressed with its size: written as it is.
  TNativeBitmap Rle2 = Header(4, 4, 8, 1, 64, 0, 1024 + 64);
  EXPECT_EQ(PackedBitmapToBMP(Rle2.data(), Rle2.size(), F), kNativeWritten);
  EXPECT_EQ(F.size(), 14u + 40 + 1024 + 64);
  // No bitmap, a short header, rows or colour table beyond the bytes, absurd counts.
  EXPECT_EQ(PackedBitmapToBMP(nullptr, 0, F), kNativeUnusable);
  TNativeBitmap Short(39, 0);
  EXPECT_EQ(PackedBitmapToBMP(Short.data(), Short.size(), F), kNativeUnusable);
  TNativeBitmap Rows = Header(100, 100, 24, 0, 0, 0, 100);
  EXPECT_EQ(PackedBitmapToBMP(Rows.data(), Rows.size(), F), kNativeUnusable);
  TNativeBitmap Table = Header(1, 1, 8, 0, 0, 0, 100);
  EXPECT_EQ(PackedBitmapToBMP(Table.data(), Table.size(), F), kNativeUnusable);
  TNativeBitmap Huge = Header(0x7FFFFFFF, 0x7FFFFFFF, 32, 0, 0, 0, 16);
  EXPECT_EQ(PackedBitmapToBMP(Huge.data(), Huge.size(), F), kNativeUnusable);
  TNativeBitmap Used = Header(1, 1, 24, 0, 0, 0xFFFFFFFF, 16);
  EXPECT_EQ(PackedBitmapToBMP(Used.data(), Used.size(), F), kNativeUnusable);
  // A top-down bitmap (negative height) counts its rows.
  TNativeBitmap Top = Header(2, -2, 24, 0, 0, 0, 16);
  EXPECT_EQ(PackedBitmapToBMP(Top.data(), Top.size(), F), kNativeWritten);
  EXPECT_EQ(LE32(F, 14 + 20), 16u);
  EXPECT_TRUE(F.empty() == false);
}

TEST(NativeBitmap, WritesFilesByNameOrAsked) {
  QTemporaryDir Dir;
  TFrameAssembler A;
  A.BeginFrame(Frame(TFrameFormat::ffRGB, 3, 9, 2, 8));
  const uint8_t Rows[18] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  A.Add(Rows, sizeof Rows);
  A.EndFrame();
  const TNativeBitmap B = A.Finish();

  // A name without extension gets ".bmp"; the engine reads the file back by its content.
  EXPECT_EQ(WriteNativeToFile(B, Dir.filePath("scan")), kNativeWritten);
  TPixelGraphic G;
  G.LoadFromFile(Dir.filePath("scan.bmp").toStdString());
  EXPECT_EQ(RGBAt(G, 0, 0), 0xFF0000u);
  EXPECT_EQ(RGBAt(G, 2, 0), 0x0000FFu);
  EXPECT_EQ(RGBAt(G, 1, 1), 0x040506u);

  // No name: the file dialog; cancelling it is -1.
  QString Asked;
  AskBitmapFileName = [&](QWidget*) { return Asked; };
  EXPECT_EQ(WriteNativeToFile(B, QString()), kNativeNoName);
  Asked = Dir.filePath("asked.bmp");
  EXPECT_EQ(WriteNativeToFile(B, QString()), kNativeWritten);
  EXPECT_TRUE(QFile::exists(Asked));
  // A folder that does not exist: cannot be created; nothing else is touched.
  EXPECT_EQ(WriteNativeToFile(B, Dir.filePath("none/x.bmp")), kNativeCannotCreate);
  EXPECT_EQ(WriteNativeToFile(TNativeBitmap(), Dir.filePath("empty.bmp")), kNativeUnusable);
  EXPECT_FALSE(QFile::exists(Dir.filePath("empty.bmp")));
}

// ---- frames into pictures

TEST(ScanFrames, ImpossibleParametersAreRefusedBeforeAnythingIsRead) {
  const TFrameParams Bad[] = {
      Frame(TFrameFormat::ffGray, 10, 0, 5, 8),         // no bytes per line
      Frame(TFrameFormat::ffGray, 10, -10, 5, 8),       // negative bytes per line
      Frame(TFrameFormat::ffGray, 0, 10, 5, 8),         // no pixels
      Frame(TFrameFormat::ffGray, 10, 10, 0, 8),        // no lines
      Frame(TFrameFormat::ffGray, 10, 10, -2, 8),       // negative lines other than "unknown"
      Frame(TFrameFormat::ffGray, 10, 9, 5, 8),         // lines shorter than their pixels
      Frame(TFrameFormat::ffRGB, 10, 29, 5, 8),         // the same in colour
      Frame(TFrameFormat::ffRGB, 10, 30, 5, 1),         // colour at 1 bit
      Frame(TFrameFormat::ffGray, 10, 10, 5, 4),        // unsupported depth
      Frame(TFrameFormat::ffGray, 10, 1 << 30, 5, 8),   // absurd padding
      Frame(TFrameFormat::ffGray, 2048, 2048, 2048, 8), // beyond the pixel limit
      TFrameParams{7, true, 10, 10, 5, 8},              // unknown format
  };
  for (const TFrameParams& P : Bad) {
    TFrameAssembler A(0, 1 << 20);
    EXPECT_THROW(A.BeginFrame(P), EScanFrame) << P.BytesPerLine << " " << P.Lines;
    EXPECT_TRUE(A.Finish().empty());
  }
}

TEST(ScanFrames, FramesEndingEarlyOrOutOfOrderGiveNoPicture) {
  const uint8_t Data[100] = {};
  {
    TFrameAssembler A; // 3 of 5 lines
    A.BeginFrame(Frame(TFrameFormat::ffGray, 10, 10, 5, 8));
    A.Add(Data, 30);
    EXPECT_THROW(A.EndFrame(), EScanFrame);
    EXPECT_TRUE(A.Finish().empty());
  }
  {
    TFrameAssembler A; // half a line of a frame of unknown length
    A.BeginFrame(Frame(TFrameFormat::ffGray, 10, 10, -1, 8));
    A.Add(Data, 25);
    EXPECT_THROW(A.EndFrame(), EScanFrame);
  }
  {
    TFrameAssembler A; // red then red again
    A.BeginFrame(Frame(TFrameFormat::ffRed, 2, 2, 1, 8, false));
    A.Add(Data, 2);
    A.EndFrame();
    EXPECT_THROW(A.BeginFrame(Frame(TFrameFormat::ffRed, 2, 2, 1, 8, false)), EScanFrame);
  }
  {
    TFrameAssembler A; // the last frame before blue
    A.BeginFrame(Frame(TFrameFormat::ffRed, 2, 2, 1, 8, false));
    A.Add(Data, 2);
    A.EndFrame();
    A.BeginFrame(Frame(TFrameFormat::ffGreen, 2, 2, 1, 8, true));
    A.Add(Data, 2);
    EXPECT_THROW(A.EndFrame(), EScanFrame);
    EXPECT_TRUE(A.Finish().empty());
  }
  {
    TFrameAssembler A; // a green frame of another width
    A.BeginFrame(Frame(TFrameFormat::ffRed, 2, 2, 1, 8, false));
    A.Add(Data, 2);
    A.EndFrame();
    EXPECT_THROW(A.BeginFrame(Frame(TFrameFormat::ffGreen, 3, 3, 1, 8, false)), EScanFrame);
  }
}

TEST(ScanFrames, DepthsAndThreePassFramesMakeTheSamePicture) {
  // 16-bit colour (machine byte order) with padded lines, and extra bytes after the last line.
  const int W = 3, H = 2;
  std::vector<uint8_t> RGB8, RGB16;
  for (int Y = 0; Y < H; ++Y) {
    for (int X = 0; X < W * 3; ++X) {
      const uint8_t V = uint8_t(40 * Y + 10 * X + 1);
      RGB8.push_back(V);
      const uint16_t S = uint16_t(V << 8 | 0x7F);
      uint8_t Two[2];
      std::memcpy(Two, &S, 2);
      RGB16.insert(RGB16.end(), Two, Two + 2);
    }
    RGB16.insert(RGB16.end(), 4, 0xEE); // padding
  }
  TFrameAssembler A8;
  A8.BeginFrame(Frame(TFrameFormat::ffRGB, W, 9, H, 8));
  A8.Add(RGB8.data(), RGB8.size());
  A8.Add(RGB8.data(), 5); // beyond the lines announced: ignored
  A8.EndFrame();
  const TNativeBitmap B8 = A8.Finish();

  TFrameAssembler A16;
  A16.BeginFrame(Frame(TFrameFormat::ffRGB, W, 22, H, 16));
  for (uint8_t Byte : RGB16)
    A16.Add(&Byte, 1); // in the smallest pieces
  A16.EndFrame();
  EXPECT_EQ(A16.Finish(), B8);

  // Three passes in the order blue, red, green.
  TFrameAssembler A3;
  const std::pair<TFrameFormat, int> Order[] = {
      {TFrameFormat::ffBlue, 2}, {TFrameFormat::ffRed, 0}, {TFrameFormat::ffGreen, 1}};
  for (size_t F = 0; F < 3; ++F) {
    std::vector<uint8_t> Plane;
    for (int Y = 0; Y < H; ++Y)
      for (int X = 0; X < W; ++X)
        Plane.push_back(RGB8[size_t(Y * W * 3 + X * 3 + Order[F].second)]);
    A3.BeginFrame(Frame(Order[F].first, W, W, H, 8, F == 2));
    EXPECT_FALSE(A3.Complete());
    A3.Add(Plane.data(), Plane.size());
    A3.EndFrame();
  }
  EXPECT_EQ(A3.Finish(), B8);

  const auto G = Picture(B8);
  EXPECT_EQ(G->BitCount(), 24);
  EXPECT_EQ(RGBAt(*G, 0, 0), 0x010B15u);
  EXPECT_EQ(RGBAt(*G, 2, 1), 0x656F79u);
}

TEST(ScanFrames, LineArtAndGreyKeepTheirDepth) {
  // Line art: SANE's 1 is black. 10 pixels: black, white, then alternate.
  const uint8_t Art[2] = {0b10101010, 0b10000000};
  TFrameAssembler A;
  A.BeginFrame(Frame(TFrameFormat::ffGray, 10, 2, 1, 1));
  A.Add(Art, 2);
  A.EndFrame();
  const auto G = Picture(A.Finish());
  EXPECT_EQ(G->BitCount(), 1);
  for (int X = 0; X < 10; ++X)
    EXPECT_EQ(RGBAt(*G, X, 0), X % 2 ? 0xFFFFFFu : 0u) << X;

  // Grey of unknown length (a hand-held scanner): as many lines as came.
  TFrameAssembler Grey;
  Grey.BeginFrame(Frame(TFrameFormat::ffGray, 2, 2, -1, 8));
  EXPECT_EQ(Grey.BytesExpected(), -1);
  const uint8_t Rows[6] = {0, 50, 100, 150, 200, 250};
  Grey.Add(Rows, 6);
  Grey.EndFrame();
  const auto H = Picture(Grey.Finish());
  EXPECT_EQ(H->BitCount(), 8);
  EXPECT_EQ(H->Height(), 3);
  EXPECT_EQ(RGBAt(*H, 1, 2), 0xFAFAFAu);

  // ... but not beyond the pixel limit.
  TFrameAssembler Long(0, 4);
  Long.BeginFrame(Frame(TFrameFormat::ffGray, 2, 2, -1, 8));
  EXPECT_THROW(Long.Add(Rows, 6), EScanFrame);
}

// ---- scans from SANE's test backend

class SaneScan : public ::testing::Test {
protected:
  void SetUp() override {
    TSaneTestConfig::Get().Write();
    Scanner().ResetAvailability();
    Scanner().UserInterface = nullptr;
    Scanner().SetSelectedDevice(QByteArray());
    Scanner().ReportError = [this](QWidget*, const QString& T) { Reports << T; };
  }
  void TearDown() override {
    TScanner::LibraryPath = "libsane.so.1";
    Scanner().ResetAvailability();
  }
  // A scan with the device's settings from test.conf, through the windowless path.
  std::unique_ptr<TPixelGraphic> Scan(const TScanSettings& S = {}) {
    QString Error;
    const TNativeBitmap B = Scanner().AcquireWithSettings(S, &Error);
    LastError = Error;
    EXPECT_EQ(Scanner().State(), tsNoManager);
    if (B.empty()) return nullptr;
    return Picture(B);
  }
  QStringList Reports;
  QString LastError;
};

TEST_F(SaneScan, AvailableOnlyWithALibraryAndADevice) {
  EXPECT_TRUE(Scanner().IsAvailable());
  EXPECT_EQ(Scanner().State(), tsNoManager);
  const auto Devices = Scanner().ListDevices(nullptr);
  ASSERT_EQ(Devices.size(), 2u);
  EXPECT_EQ(Devices[0].Name, "test:0");
  EXPECT_EQ(Devices[1].Name, "test:1");

  TSaneTestConfig::Get().Write({}, false); // an empty dll.conf
  EXPECT_TRUE(Scanner().IsAvailable()) << "the answer is remembered";
  Scanner().ResetAvailability();
  EXPECT_FALSE(Scanner().IsAvailable());

  TSaneTestConfig::Get().Write();
  TScanner::LibraryPath = QDir::temp().filePath("no-such-dir/libsane.so.1");
  Scanner().ResetAvailability();
  EXPECT_FALSE(Scanner().IsAvailable());
  EXPECT_EQ(Scanner().State(), tsNoManager);
  // A library without SANE's functions is no SANE either.
  TScanner::LibraryPath = "libz.so.1";
  Scanner().ResetAvailability();
  EXPECT_FALSE(Scanner().IsAvailable());
  EXPECT_TRUE(Scanner().AcquireNative(nullptr, 0).empty());
  ASSERT_EQ(Reports.size(), 1);
  EXPECT_EQ(Reports[0], "Unable to load Source Manager (SANE)");
}

TEST_F(SaneScan, ColourGreyAndLineArtMatchScanimage) {
  struct TCase {
    QString Mode;
    int Depth;
    QStringList Args;
    int Bits;
  } Cases[] = {
      {"Color", 8, {"--mode", "Color", "--depth", "8"}, 24},
      {"Color", 16, {"--mode", "Color", "--depth", "16"}, 24},
      {"Gray", 8, {"--mode", "Gray", "--depth", "8"}, 8},
      {"Gray", 16, {"--mode", "Gray", "--depth", "16"}, 8},
      {"Lineart", 1, {"--mode", "Gray", "--depth", "1"}, 1},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE((C.Mode + " " + QString::number(C.Depth)).toStdString());
    TSaneTestConfig::Get().Write(
        {{"mode", C.Mode == "Color" ? "Color" : "Gray"}, {"depth", std::to_string(C.Depth)}});
    const auto G = Scan();
    ASSERT_TRUE(G) << LastError.toStdString();
    EXPECT_EQ(G->BitCount(), C.Bits);
    // 40 × 30 mm at 25 dpi.
    EXPECT_EQ(G->Width(), 39);
    EXPECT_EQ(G->Height(), 29);
    TRefPicture Ref;
    if (!ScanImageReference(C.Args + QStringList{"--test-picture", "Color pattern"}, Ref)) {
      std::puts("scanimage is not installed: pixels not compared");
      continue;
    }
    ExpectSamePicture(*G, Ref);
  }
}

TEST_F(SaneScan, SettingsThreePassAndUnknownLengthScans) {
  // Settings given on the command line: mode and resolution.
  const auto Grey = Scan({QByteArray("test:1"), "Lineart", 50});
  ASSERT_TRUE(Grey) << LastError.toStdString();
  EXPECT_EQ(Grey->BitCount(), 1);
  EXPECT_EQ(Grey->Width(), 78);
  EXPECT_FALSE(Scan({QByteArray(), "Sepia", 0}));
  EXPECT_TRUE(LastError.startsWith("Failed to negotiate Pixel Type.\n")) << LastError.toStdString();

  // Three passes join into the picture one pass gives.
  TRefPicture Ref;
  const bool HaveRef =
      ScanImageReference({"--mode", "Color", "--test-picture", "Color pattern"}, Ref);
  TSaneTestConfig::Get().Write({{"three-pass", "true"}, {"three-pass-order", "GBR"}});
  const auto Three = Scan();
  ASSERT_TRUE(Three) << LastError.toStdString();
  if (HaveRef) ExpectSamePicture(*Three, Ref);

  // A hand-held scanner does not know its length in advance.
  TSaneTestConfig::Get().Write({{"hand-scanner", "true"}, {"mode", "Gray"}});
  const auto Hand = Scan();
  ASSERT_TRUE(Hand) << LastError.toStdString();
  EXPECT_GT(Hand->Height(), 0);
  EXPECT_EQ(Hand->BitCount(), 8);
}

TEST_F(SaneScan, ErrorsMidScanAreReportedAndLeaveNoPicture) {
  const std::pair<const char*, const char*> Cases[] = {
      {"SANE_STATUS_JAMMED", "Document feeder jammed"},
      {"SANE_STATUS_IO_ERROR", "Error during device I/O"},
      {"SANE_STATUS_NO_DOCS", "Document feeder out of documents"},
  };
  for (auto [Code, Condition] : Cases) {
    TSaneTestConfig::Get().Write({{"read-status-code", std::string("\"") + Code + "\""}});
    Reports.clear();
    // Through the windows' path: the report goes to the message box.
    EXPECT_TRUE(Scanner().AcquireNative(nullptr, 0).empty());
    EXPECT_EQ(Scanner().State(), tsNoManager);
    ASSERT_EQ(Reports.size(), 1);
    EXPECT_EQ(Reports[0], QString("Failed to transfer the image.\nDataSource operation failed\n"
                                  "RC:   %1\nCC:   %2")
                              .arg(Code, Condition));
    EXPECT_EQ(Scanner().LastErrorNumber(), 5);
  }
  // The device opened after an error scans again.
  TSaneTestConfig::Get().Write();
  EXPECT_TRUE(Scan());
  // A device that is not there.
  EXPECT_FALSE(Scan({QByteArray("test:9"), QString(), 0}));
  EXPECT_TRUE(LastError.startsWith("Unable to open default Data Source.\nSource Manager operation "
                                   "failed\nRC:   SANE_STATUS_INVAL\nCC:   "))
      << LastError.toStdString();
}

TEST_F(SaneScan, ThePixelTypeMaskChoosesTheMode) {
  TSaneTestConfig::Get().Write({{"mode", "Color"}});
  const TNativeBitmap B = Scanner().AcquireNative(nullptr, 1 << ptGray);
  ASSERT_FALSE(B.empty());
  EXPECT_EQ(Picture(B)->BitCount(), 8);
  const TNativeBitmap L = Scanner().AcquireNative(nullptr, 1 << ptBW);
  ASSERT_FALSE(L.empty());
  EXPECT_EQ(Picture(L)->BitCount(), 1);
}
