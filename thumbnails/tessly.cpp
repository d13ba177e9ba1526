#include "thumbnails/tessly.h"

#include "platform/codecsettings.h"
#include "platform/filenames.h"

#include "engine/messages.h"
#include "platform/autoorient.h"
#include "platform/pgqt.h"
#include "processing/convfilter.h"
#include "processing/effects.h"

#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>

#include <cmath>

namespace orbisk {

int TesslyRows(int N, int Cols) {
  return N / Cols + (N % Cols != 0 ? 1 : 0);
}

TTesslyLayout TesslyLayout(int N, const TTesslyOptions& O, int TitleBand, int FooterBand) {
  TTesslyLayout L;
  L.N = N;
  L.Rows = TesslyRows(N, O.Cols);
  L.TitleBand = TitleBand;
  L.FooterBand = FooterBand;
  L.Width = O.HSpace * (O.Cols - 1) + O.Size * O.Cols + 40;
  L.Height = O.VSpace * (L.Rows - 1) + O.Size * L.Rows + 60 + TitleBand + FooterBand;
  return L;
}

TSize2 TesslyPictureSize(int W, int H, int S) {
  TSize2 R;
  if (W > H)
    R = {S, static_cast<int>(std::trunc(static_cast<long double>(H) / W * S))};
  else
    R = {static_cast<int>(std::trunc(static_cast<long double>(W) / H * S)), S};
  R.Width = std::max(R.Width, 1);
  R.Height = std::max(R.Height, 1);
  return R;
}

void TesslyCellOrigin(int I, const TTesslyOptions& O, int TitleBand, int& X0, int& Y0) {
  const int C = I % O.Cols, R = I / O.Cols;
  X0 = C * (O.Size + O.HSpace) + 20;
  Y0 = TitleBand + 20 + R * (O.Size + O.VSpace);
}

void TesslyPicturePos(int I, const TTesslyOptions& O, int TitleBand, int W, int H, int& X, int& Y) {
  int X0, Y0;
  TesslyCellOrigin(I, O, TitleBand, X0, Y0);
  X = X0 + (O.Size - W) / 2;
  Y = Y0 + O.Size - H;
}

void DarkenShadow(TPixelGraphic& Sheet, int X, int Y, int W, int H) {
  auto Darken = [&Sheet](int PX, int PY, int E) {
    if (PX < 0 || PY < 0 || PX >= Sheet.Width() || PY >= Sheet.Height()) return;
    uint8_t* P = Sheet.ScanLine(PY) + 3 * PX;
    for (int K = 0; K < 3; ++K)
      P[K] = static_cast<uint8_t>(P[K] / 2 + (P[K] / 12) * E);
  };
  for (int E = 0; E <= 5; ++E) {
    for (int PX = X + 6; PX <= X + W + E; ++PX)
      Darken(PX, Y + H + E, E);
    for (int PY = Y + 6; PY <= Y + H + E - 1; ++PY)
      Darken(X + W + E, PY, E);
  }
}

QFont TesslyFont(const QString& Name, int Points) {
  QFont F(Name);
  F.setStyleHint(QFont::SansSerif);
  // Points at 96 dots per inch, rounded as the desktop's MulDiv does.
  F.setPixelSize(std::max(1, (Points * 96 + 36) / 72));
  return F;
}

int BandHeight(const QFont& Font) {
  return static_cast<int>(std::trunc(1.4L * QFontMetrics(Font).height()));
}

namespace {

QColor ToQColor(TRGB C) {
  return QColor(int(RedOf(C)), int(GreenOf(C)), int(BlueOf(C)));
}

int TextWidth(const QFont& F, const QString& Text) {
  return QFontMetrics(F).horizontalAdvance(Text);
}

// Text with its top-left corner at (X, Y), clipped to Clip when given.
void DrawText(TPixelGraphic& Sheet, const QFont& F, TRGB Color, int X, int Y, const QString& Text,
              const QRect* Clip = nullptr) {
  TPGCanvas Canvas(Sheet);
  QPainter& P = Canvas.Painter();
  P.setFont(F);
  P.setPen(ToQColor(Color));
  if (Clip) P.setClipRect(*Clip);
  P.drawText(QPoint(X, Y + QFontMetrics(F).ascent()), Text);
}

// The title or footer line: centred, or "Text Too Long" at the left edge.
void DrawBandLine(TPixelGraphic& Sheet, const QString& Text, const QFont& F, TRGB Color, int Y) {
  const int W = TextWidth(F, Text);
  if (W > Sheet.Width())
    DrawText(Sheet, F, Color, 0, Y, kTextTooLong);
  else
    DrawText(Sheet, F, Color, (Sheet.Width() - W) / 2, Y, Text);
}

std::string Encoded(const QString& Path) {
  return EncodeFileName(Path).toStdString();
}

// Tiles the picture over the sheet; false when it cannot be loaded.
bool TileBackground(TPixelGraphic& Sheet, const QString& Path) {
  TPixelGraphic BG;
  try {
    BG.LoadFromFile(Encoded(Path), ViewReadOptions());
  } catch (...) {
    return false;
  }
  if (BG.Empty() || BG.Width() <= 0 || BG.Height() <= 0) return false;
  for (int Y = 0; Y < Sheet.Height(); Y += BG.Height())
    for (int X = 0; X < Sheet.Width(); X += BG.Width())
      Sheet.CopyRect(X, Y, BG, 0, 0, BG.Width(), BG.Height());
  return true;
}

// One entry: the scaled, sharpened, framed picture and its shadow, then its name.
// Stand-in, when given, is drawn in place of the file's picture.
void DrawEntry(TPixelGraphic& Sheet, int I, const QString& Path, const TTesslyOptions& O,
               int TitleBand, const QFont& NameFont, const TPixelGraphic* StandIn = nullptr) {
  TPixelGraphic Loaded;
  if (StandIn) {
    Loaded.Assign(StandIn);
  } else {
    Loaded.LoadFromFile(Encoded(Path), ViewReadOptions());
    OrientForDisplay(Loaded);
  }
  if (Loaded.Empty() || Loaded.Width() <= 0 || Loaded.Height() <= 0)
    throw EPGEmpty(EngineMessage(msgIsEmpty, "PixelGraphic"));
  const TSize2 Fit = TesslyPictureSize(Loaded.Width(), Loaded.Height(), O.Size);
  auto Scaled = std::make_unique<TPixelGraphic>();
  Scaled->SetSize(Fit.Width, Fit.Height, 3);
  Scaled->StretchFrom(Loaded);
  if (O.AutoSharpen) {
    TConvFilter Sharpen;
    Sharpen.SetSharpenKernel(dsTent, false, O.SharpeningFactor, 0.75L);
    auto Sharp = std::make_unique<TPixelGraphic>();
    Sharp->SetSize(Fit.Width, Fit.Height, 3);
    ApplyFilter(*Sharp, Sharpen, *Scaled);
    Scaled = std::move(Sharp);
  }
  const int W = Scaled->Width(), H = Scaled->Height();
  if (O.AddBorder) {
    for (int X = 0; X < W; ++X) {
      Scaled->SetPixelColor(X, 0, O.BorderColor);
      Scaled->SetPixelColor(X, H - 1, O.BorderColor);
    }
    for (int Y = 0; Y < H; ++Y) {
      Scaled->SetPixelColor(0, Y, O.BorderColor);
      Scaled->SetPixelColor(W - 1, Y, O.BorderColor);
    }
  }
  if (O.Bevel) Bevel(*Scaled, 6);
  int X, Y;
  TesslyPicturePos(I, O, TitleBand, W, H, X, Y);
  if (O.DropShadow) DarkenShadow(Sheet, X, Y, W, H);
  Sheet.CopyRect(X, Y, *Scaled, 0, 0, W, H);
  if (O.IncFileNames) {
    int X0, Y0;
    TesslyCellOrigin(I, O, TitleBand, X0, Y0);
    const int R = I / O.Cols;
    const int Yt = TitleBand + R * (O.VSpace + O.Size) + O.Size + 24;
    // Right and bottom edges are outside the rectangle.
    const QRect Clip(QPoint(X0 - O.HSpace / 2, Yt),
                     QPoint(X0 + O.Size + O.HSpace / 2 - 1, Yt + 20 - 1));
    const QString Name = QFileInfo(Path).fileName();
    const int TW = TextWidth(NameFont, Name);
    const int Left = TW < O.HSpace + O.Size ? X0 + O.Size / 2 - TW / 2 : X0 - O.HSpace / 2;
    DrawText(Sheet, NameFont, O.FontColor, Left, Yt, Name, &Clip);
  }
}

} // namespace

std::unique_ptr<TPixelGraphic> GenerateTessly(const QStringList& Files, const TTesslyOptions& O,
                                              const TTesslyEvents& Events, TTesslyLayout* Layout) {
  auto Message = [&](const QString& Text) {
    if (Events.OnMessage) Events.OnMessage(Text);
  };
  const QFont TitleFont = TesslyFont(O.TitleFont, O.TitleSize);
  const QFont FooterFont = TesslyFont(O.FooterFont, O.FooterSize);
  const QFont NameFont = TesslyFont("Arial", 8);
  const int T = O.Title ? BandHeight(TitleFont) : 0;
  const int F = O.Footer ? BandHeight(FooterFont) : 0;
  const TTesslyLayout L = TesslyLayout(static_cast<int>(Files.size()), O, T, F);
  if (Layout) *Layout = L;

  auto Sheet = std::make_unique<TPixelGraphic>();
  Sheet->StretchMode = smPrecise;
  {
    TUpdateScope Update(*Sheet);
    Sheet->SetBackGroundColor(O.BGColor);
    Sheet->SetSize(L.Width, L.Height, 3);
    // Cleared first, so a background picture that cannot be loaded leaves a plain sheet.
    Sheet->Clear();
    if (O.UseBGImage && !TileBackground(*Sheet, O.BGImage))
      Message("Could not load Background Image file " + O.BGImage);

    for (int I = 0; I < L.N; ++I) {
      if (Events.OnProgress) Events.OnProgress(I + 1, L.N);
      try {
        DrawEntry(*Sheet, I, Files[I], O, T, NameFont);
      } catch (...) {
        Message("Error loading file " + Files[I]);
        // The cell shows the question mark, as the explorer's grid does, instead of a hole.
        if (const TPixelGraphic* Mark = Placeholder()) try {
            DrawEntry(*Sheet, I, Files[I], O, T, NameFont, Mark);
          } catch (...) {
          }
      }
    }
    if (O.Title) DrawBandLine(*Sheet, O.TitleText, TitleFont, O.TitleColor, 20);
    if (O.Footer) DrawBandLine(*Sheet, O.FooterText, FooterFont, O.FooterColor, L.Height - F - 10);
  }
  return Sheet;
}

} // namespace orbisk
