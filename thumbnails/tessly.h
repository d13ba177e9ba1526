// Tessly sheets: many pictures as a grid of scaled, sharpened, framed cells with their file names
// on a plain or tiled background, with an optional title and footer. The layout rules and the
// generation, without windows; the sheet creator and orbisk-cli share them. Drawing text needs a
// QGuiApplication.
#pragma once

#include "engine/pixelgraphic.h"
#include "thumbnails/thumbcell.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QFont;

namespace orbisk {

struct TTesslyOptions {
  int Size = 96;   // 30..900
  int Cols = 6;    // 1..20
  int HSpace = 20; // 5..100, step 5
  int VSpace = 30; // 20..100, step 5
  TRGB BGColor = RGBOf(255, 255, 255);
  TRGB FontColor = RGBOf(0, 0, 0);
  bool IncFileNames = true;
  bool AutoSharpen = true;
  int SharpeningFactor = 50; // 50..100
  bool UseBGImage = false;
  QString BGImage = "None selected...";
  bool AddBorder = true;
  TRGB BorderColor = RGBOf(255, 0, 0);
  bool DropShadow = true;
  bool Bevel = false;
  bool Title = false;
  QString TitleText = "Tessly created by Orbisk";
  QString TitleFont = "Arial";
  int TitleSize = 24; // 6..72
  TRGB TitleColor = RGBOf(255, 0, 0);
  bool Footer = false;
  QString FooterText = "https://orbisk.example.org/";
  QString FooterFont = "Arial";
  int FooterSize = 8; // 6..72
  TRGB FooterColor = RGBOf(128, 0, 0);
};

constexpr int kTesslyMinSize = 30, kTesslyMaxSize = 900, kTesslyDefaultSize = 96;
inline constexpr const char* kTesslySizeMessage = "Invalid value. Enter a value between 30 and 900";
inline constexpr const char* kTesslyEmptyList = "You must drag some images into the listbox first!";
inline constexpr const char* kTextTooLong = "Text Too Long";

struct TTesslyLayout {
  int N = 0, Rows = 0;
  int TitleBand = 0, FooterBand = 0; // T and F
  int Width = 0, Height = 0;
};

// Rows for N items in C columns: N div C, plus 1 when N mod C is not 0.
int TesslyRows(int N, int Cols);
TTesslyLayout TesslyLayout(int N, const TTesslyOptions& O, int TitleBand, int FooterBand);
// A picture's size in an S x S cell of the sheet: the longer side becomes S (small pictures are
// enlarged), the other Trunc(side ratio x S), at least 1.
TSize2 TesslyPictureSize(int W, int H, int S);
// Top-left corner of the cell of item I (X0, Y0) and of a W x H picture in it (centred across,
// standing on the cell's bottom edge).
void TesslyCellOrigin(int I, const TTesslyOptions& O, int TitleBand, int& X0, int& Y0);
void TesslyPicturePos(int I, const TTesslyOptions& O, int TitleBand, int W, int H, int& X, int& Y);
// Darkens the six shadow lines below and right of the picture at (X, Y) of W x H on the sheet.
void DarkenShadow(TPixelGraphic& Sheet, int X, int Y, int W, int H);
// The drawing font: Name at Points (pixel height for the screen's 96 dots per inch); a
// sans-serif face stands in when the name is not installed.
QFont TesslyFont(const QString& Name, int Points);
// Trunc(1.4 x the height of "X" in the font).
int BandHeight(const QFont& Font);

struct TTesslyEvents {
  // Before each entry: I counted from 1, of N.
  std::function<void(int I, int N)> OnProgress;
  // Messages ("Error loading file " + path, "Could not load Background Image file " + path).
  std::function<void(const QString& Text)> OnMessage;
};

// Generates the sheet of the files (full paths) with the options; the caller checks that the
// list is not empty. Each file that cannot be loaded is reported and left out.
std::unique_ptr<TPixelGraphic> GenerateTessly(const QStringList& Files, const TTesslyOptions& O,
                                              const TTesslyEvents& Events = {},
                                              TTesslyLayout* Layout = nullptr);

} // namespace orbisk
