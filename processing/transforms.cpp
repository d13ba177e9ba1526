#include "processing/transforms.h"

#include "engine/optimizedpalette.h"
#include "engine/parallel.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

namespace orbisk {
namespace {

constexpr long double Pi = 3.141592653589793238462643383279502884L;

// Whole multiples of 90 degrees, as quarter turns 0..3.
bool WholeRightAngle(long double Angle, int& Q) {
  if (!std::isfinite(Angle) || Angle != std::trunc(Angle) || std::fmod(Angle, 90.0L) != 0)
    return false;
  Q = int(std::fmod(Angle, 360.0L) / 90);
  Q = ((Q % 4) + 4) % 4;
  return true;
}

// The source pixel (SX, SY) of a W x H picture that lands on (X, Y) after Q clockwise quarter
// turns.
inline void TurnedSource(int Q, int W, int H, int X, int Y, int& SX, int& SY) {
  switch (Q) {
  case 1:
    SX = Y, SY = H - 1 - X;
    break;
  case 2:
    SX = W - 1 - X, SY = H - 1 - Y;
    break;
  case 3:
    SX = W - 1 - Y, SY = X;
    break;
  default:
    SX = X, SY = Y;
  }
}

inline int64_t FloorI(double V) {
  const int64_t I = int64_t(V);
  return double(I) > V ? I - 1 : I;
}
inline int64_t CeilI(double V) {
  const int64_t I = int64_t(V);
  return double(I) < V ? I + 1 : I;
}
// Round half to even for |V| < 2^52 under the default rounding mode, without a library call.
inline double RoundEven(double V) {
  return V >= 0 ? (V + 0x1p52) - 0x1p52 : -((-V + 0x1p52) - 0x1p52);
}
inline uint8_t ByteOf(double V) {
  return uint8_t(std::clamp(RoundEven(V), 0.0, 255.0));
}

// Pixels that bands changed past the row (or column) where the progress handler asked to abort
// are put back as they were, so an aborted operation leaves what it had not reached untouched.
// Kept only while a handler is there to abort and the bands may run ahead (one thread takes
// them one by one).
class TAbortKeeper {
public:
  TAbortKeeper(int Count, bool On)
      : FSaved(On && EngineThreadCount() > 1 ? size_t(std::max(Count, 0)) : 0) {}
  bool On() const { return !FSaved.empty(); }
  // Before unit I changes: Save(bytes) fills its present state.
  template <class F> void Keep(int I, F Save) {
    if (On()) Save(FSaved[size_t(I)]);
  }
  // After the progress of unit I; returns Abort.
  bool Passed(int I, bool Abort) {
    if (!On()) return Abort;
    if (Abort)
      FAborted = I;
    else
      std::vector<uint8_t>().swap(FSaved[size_t(I)]);
    return Abort;
  }
  // Put(I, bytes) for every unit past the aborted one that was kept.
  template <class F> void RestoreAfterAbort(F Put) {
    if (FAborted < 0) return;
    for (size_t I = size_t(FAborted) + 1; I < FSaved.size(); ++I)
      if (!FSaved[I].empty()) Put(int(I), FSaved[I]);
  }

private:
  std::vector<std::vector<uint8_t>> FSaved;
  int FAborted = -1;
};

inline void SaveRows(const TPixelGraphic& G, std::initializer_list<int> Rows,
                     std::vector<uint8_t>& Out) {
  Out.clear();
  for (int Y : Rows)
    Out.insert(Out.end(), G.ScanLine(Y), G.ScanLine(Y) + G.RowBytes());
}

inline void PutRows(TPixelGraphic& G, std::initializer_list<int> Rows,
                    const std::vector<uint8_t>& In) {
  size_t At = 0;
  for (int Y : Rows) {
    std::memcpy(G.ScanLine(Y), In.data() + At, size_t(G.RowBytes()));
    At += size_t(G.RowBytes());
  }
}

// The source's colours as rows of blue, green, red bytes (palette pictures are expanded once).
struct TColorRows {
  std::vector<const uint8_t*> Rows;
  TFastBMP Expanded;
  int W = 0, H = 0;

  explicit TColorRows(const TPixelGraphic& S) : W(S.Width()), H(S.Height()) {
    Rows.resize(size_t(H));
    if (S.BitCountNum() == 3) {
      for (int Y = 0; Y < H; ++Y)
        Rows[size_t(Y)] = S.ScanLine(Y);
    } else {
      Expanded.LoadFrom(S);
      for (int Y = 0; Y < H; ++Y)
        Rows[size_t(Y)] = Expanded.Row(Y);
    }
  }
};

struct TRotation {
  double C, S;            // cosine and sine of the angle
  double CXD, CYD;        // destination centre
  double CXS, CYS;        // source centre
  int BX0, BX1, BY0, BY1; // destination box, inclusive
};

// One destination pixel: false when it stays as it is.
template <bool Interp>
inline bool SamplePixel(const TColorRows& S, const TRotation& R, int X, double QS, double QC,
                        const uint8_t* Own, uint8_t* Out) {
  const double PX = X - R.CXD;
  const double SX = (PX * R.C + QS) + R.CXS;
  const double SY = (-PX * R.S + QC) + R.CYS;
  if constexpr (!Interp) {
    const double RX = RoundEven(SX), RY = RoundEven(SY);
    if (!(RX >= 0 && RX < S.W && RY >= 0 && RY < S.H)) return false;
    std::memcpy(Out, S.Rows[size_t(RY)] + 3 * int64_t(RX), 3);
    return true;
  } else {
    const int64_t X0 = FloorI(SX), X1 = CeilI(SX), Y0 = FloorI(SY), Y1 = CeilI(SY);
    const bool InX0 = X0 >= 0 && X0 < S.W, InX1 = X1 >= 0 && X1 < S.W;
    const bool InY0 = Y0 >= 0 && Y0 < S.H, InY1 = Y1 >= 0 && Y1 < S.H;
    if (!(InX0 || InX1) || !(InY0 || InY1)) return false;
    double WX0 = 0.5, WX1 = 0.5, WY0 = 0.5, WY1 = 0.5;
    if (X0 != X1) {
      WX0 = 1 - (SX - double(X0));
      WX1 = 1 - (double(X1) - SX);
    }
    if (Y0 != Y1) {
      WY0 = 1 - (SY - double(Y0));
      WY1 = 1 - (double(Y1) - SY);
    }
    const uint8_t* R0 = InY0 ? S.Rows[size_t(Y0)] : nullptr;
    const uint8_t* R1 = InY1 ? S.Rows[size_t(Y1)] : nullptr;
    const uint8_t* P00 = InY0 && InX0 ? R0 + 3 * X0 : Own;
    const uint8_t* P10 = InY0 && InX1 ? R0 + 3 * X1 : Own;
    const uint8_t* P01 = InY1 && InX0 ? R1 + 3 * X0 : Own;
    const uint8_t* P11 = InY1 && InX1 ? R1 + 3 * X1 : Own;
    const double W00 = WX0 * WY0, W10 = WX1 * WY0, W01 = WX0 * WY1, W11 = WX1 * WY1;
    for (int K = 0; K < 3; ++K)
      Out[K] = ByteOf(W00 * P00[K] + W10 * P10[K] + W01 * P01[K] + W11 * P11[K]);
    return true;
  }
}

// The colours of one row of the box, computed where the row's pixels are not yet written: for
// each column a flag (0: the pixel stays) and the blue, green, red bytes.
template <bool Interp>
void SampleRow(TPixelGraphic& D, const TColorRows& S, const TRotation& R, int Y, uint8_t* Out) {
  const double PY = Y - R.CYD;
  const double QS = PY * R.S, QC = PY * R.C;
  for (int X = R.BX0; X <= R.BX1; ++X, Out += 4) {
    const TRGB C = D.GetPixelColor(X, Y);
    const uint8_t Own[3] = {uint8_t(BlueOf(C)), uint8_t(GreenOf(C)), uint8_t(RedOf(C))};
    Out[0] = SamplePixel<Interp>(S, R, X, QS, QC, Own, Out + 1);
  }
}

// Rows Y0..Y1 of the box, written in the band: 24-bit destinations directly, palette ones
// through a matcher that answers from the colour alone.
template <bool Interp>
void RotateRows(TPixelGraphic& D, const TColorRows& S, const TRotation& R, int Y0, int Y1,
                TPixelGraphic* Matcher) {
  for (int Y = Y0; Y <= Y1; ++Y) {
    const double PY = Y - R.CYD;
    const double QS = PY * R.S, QC = PY * R.C;
    if (!Matcher) {
      uint8_t* Row = D.ScanLine(Y);
      for (int X = R.BX0; X <= R.BX1; ++X) {
        uint8_t* P = Row + 3 * int64_t(X);
        uint8_t Out[3];
        if (SamplePixel<Interp>(S, R, X, QS, QC, P, Out)) std::memcpy(P, Out, 3);
      }
    } else {
      for (int X = R.BX0; X <= R.BX1; ++X) {
        const TRGB C = D.GetPixelColor(X, Y);
        const uint8_t Own[3] = {uint8_t(BlueOf(C)), uint8_t(GreenOf(C)), uint8_t(RedOf(C))};
        uint8_t Out[3];
        if (!SamplePixel<Interp>(S, R, X, QS, QC, Own, Out)) continue;
        D.SetPixelValue(X, Y,
                        uint32_t(Matcher->GetNearestPaletteIndex(RGBOf(Out[2], Out[1], Out[0]))));
      }
    }
  }
}

// Copies pixel values from Source into a Dest already sized for the turn, in bands of rows on
// the engine's threads; within a band, tiles keep both the rows written and the columns read in
// the cache.
template <int BPP> void TurnBytes(TPixelGraphic& D, const TPixelGraphic& S, int Q) {
  const int W = S.Width(), H = S.Height(), DW = D.Width(), DH = D.Height();
  std::vector<const uint8_t*> Src(static_cast<size_t>(H));
  for (int Y = 0; Y < H; ++Y)
    Src[size_t(Y)] = S.ScanLine(Y);
  constexpr int Tile = 64;
  TAbortKeeper Keeper(DH, bool(D.OnProgress));
  ParallelBands(
      DH,
      [&](int Begin, int End) {
        for (int TY = Begin; TY < End; TY += Tile) {
          const int EY = std::min(TY + Tile, End);
          for (int Y = TY; Y < EY; ++Y)
            Keeper.Keep(Y, [&](std::vector<uint8_t>& Out) { SaveRows(D, {Y}, Out); });
          for (int TX = 0; TX < DW; TX += Tile) {
            const int EX = std::min(TX + Tile, DW);
            for (int Y = TY; Y < EY; ++Y) {
              uint8_t* Out = D.ScanLine(Y) + int64_t(BPP) * TX;
              for (int X = TX; X < EX; ++X, Out += BPP) {
                int SX, SY;
                TurnedSource(Q, W, H, X, Y, SX, SY);
                std::memcpy(Out, Src[size_t(SY)] + int64_t(BPP) * SX, BPP);
              }
            }
          }
        }
      },
      [&](int Y) { return Keeper.Passed(Y, D.DoProgress(Y, DH - 1)); }, Tile);
  Keeper.RestoreAfterAbort([&](int Y, const std::vector<uint8_t>& In) { PutRows(D, {Y}, In); });
}

void TurnValues(TPixelGraphic& D, const TPixelGraphic& S, int Q) {
  const int W = S.Width(), H = S.Height(), DW = D.Width(), DH = D.Height();
  TAbortKeeper Keeper(DH, bool(D.OnProgress));
  ParallelBands(
      DH,
      [&](int Begin, int End) {
        for (int Y = Begin; Y < End; ++Y) {
          Keeper.Keep(Y, [&](std::vector<uint8_t>& Out) { SaveRows(D, {Y}, Out); });
          for (int X = 0; X < DW; ++X) {
            int SX, SY;
            TurnedSource(Q, W, H, X, Y, SX, SY);
            D.SetPixelValue(X, Y, S.GetPixelValue(SX, SY));
          }
        }
      },
      [&](int Y) { return Keeper.Passed(Y, D.DoProgress(Y, DH - 1)); });
  Keeper.RestoreAfterAbort([&](int Y, const std::vector<uint8_t>& In) { PutRows(D, {Y}, In); });
}

// Half a turn needs no second buffer: pixel (x, y) and pixel (w-1-x, h-1-y) change places.
void TurnHalfInPlace(TPixelGraphic& G) {
  const int W = G.Width(), H = G.Height(), Code = G.BitCountNum();
  const int BPP = Code == 3 ? 3 : Code == 2 ? 1 : 0;
  auto Swap = [&](int X0, int Y0, int X1, int Y1) {
    const uint32_t V = G.GetPixelValue(X0, Y0);
    G.SetPixelValue(X0, Y0, G.GetPixelValue(X1, Y1));
    G.SetPixelValue(X1, Y1, V);
  };
  {
    TProgressScope Progress(G);
    const int Pairs = (H + 1) / 2;
    TAbortKeeper Keeper(Pairs, bool(G.OnProgress));
    ParallelBands(
        Pairs,
        [&](int Begin, int End) {
          for (int Y = Begin; Y < End; ++Y) {
            const int Y1 = H - 1 - Y;
            Keeper.Keep(Y, [&](std::vector<uint8_t>& Out) { SaveRows(G, {Y, Y1}, Out); });
            // The middle row of an odd height only swaps its halves.
            const int Count = Y == Y1 ? W / 2 : W;
            if (BPP) {
              uint8_t *A = G.ScanLine(Y), *B = G.ScanLine(Y1);
              for (int X = 0; X < Count; ++X)
                std::swap_ranges(A + int64_t(BPP) * X, A + int64_t(BPP) * (X + 1),
                                 B + int64_t(BPP) * (W - 1 - X));
            } else {
              for (int X = 0; X < Count; ++X)
                Swap(X, Y, W - 1 - X, Y1);
            }
          }
        },
        [&](int Y) { return Keeper.Passed(Y, G.DoProgress(Y, Pairs - 1)); });
    Keeper.RestoreAfterAbort([&](int Y, const std::vector<uint8_t>& In) {
      PutRows(G, {Y, H - 1 - Y}, In);
    });
  }
  G.Changed();
}

// A fresh picture for an editor command: the picture's depth, palette and colour settings.
void PrepareLike(TPixelGraphic& New, const TPixelGraphic& Picture) {
  New.SetSize(0, 0, Picture.BitCountNum());
  New.AssignPalette(Picture);
  New.Dither = Picture.Dither;
  New.DitherErrorLimit = Picture.DitherErrorLimit;
  New.DitherErrorLimitAuto = Picture.DitherErrorLimitAuto;
  New.DitherErrorLimitSoft = Picture.DitherErrorLimitSoft;
  New.SetRGBWeighting(Picture.RGBWeighting());
}

} // namespace

// ---------------------------------------------------------------------------------------------
// rotation and flips

void RotateQuarterTurns(TPixelGraphic& Dest, const TPixelGraphic& Source, int QuarterTurns) {
  if (&Dest == &Source) {
    TPixelGraphic Copy;
    Copy.Assign(&Source);
    RotateQuarterTurns(Dest, Copy, QuarterTurns);
    return;
  }
  const int Q = ((QuarterTurns % 4) + 4) % 4;
  const int W = Source.Width(), H = Source.Height();
  {
    TUpdateScope Update(Dest);
    Dest.SetSize(Q % 2 ? H : W, Q % 2 ? W : H, Source.BitCountNum());
    Dest.AssignPalette(Source);
  }
  if (Dest.Empty() || Source.Empty()) return;
  {
    TProgressScope Progress(Dest);
    switch (Source.BitCountNum()) {
    case 3:
      TurnBytes<3>(Dest, Source, Q);
      break;
    case 2:
      TurnBytes<1>(Dest, Source, Q);
      break;
    default:
      TurnValues(Dest, Source, Q);
    }
  }
  Dest.Changed();
}

void Rotate(TPixelGraphic& Dest, bool AutoSize, const TPixelGraphic& Source, long double Angle) {
  if (Source.Empty()) return;
  if (!std::isfinite(Angle)) throw EPixelGraphic(EngineMessage(msgInvalidValueFor, "Angle"));
  if (&Dest == &Source) {
    TPixelGraphic Copy;
    Copy.Assign(&Source);
    Rotate(Dest, AutoSize, Copy, Angle);
    return;
  }
  const int W = Source.Width(), H = Source.Height();
  int Q = 0;
  const bool RightAngle = WholeRightAngle(Angle, Q);
  long double C, S;
  if (RightAngle) {
    // Exact, so that sizes and sample positions carry no rounding noise.
    static constexpr int Cos[4] = {1, 0, -1, 0}, Sin[4] = {0, 1, 0, -1};
    C = Cos[Q];
    S = Sin[Q];
  } else {
    const long double Theta = Angle * Pi / 180;
    C = std::cos(Theta);
    S = std::sin(Theta);
  }

  if (AutoSize && RightAngle) {
    // The turn about integer centres would shift even sizes by a pixel and lose a row; a
    // right angle is the exact turn instead.
    if (Dest.BitCountNum() == Source.BitCountNum() &&
        (Source.BitCountNum() == 3 || Dest.Palette() == Source.Palette())) {
      RotateQuarterTurns(Dest, Source, Q);
    } else {
      TPixelGraphic Turned;
      ForwardProgress(Turned, Dest);
      RotateQuarterTurns(Turned, Source, Q);
      Dest.SetSize(Turned.Width(), Turned.Height(), Dest.BitCountNum());
      Dest.CopyRect(0, 0, Turned, 0, 0, Turned.Width(), Turned.Height());
    }
    return;
  }

  if (AutoSize) {
    const long double XS[4] = {0, W * C, -H * S, W * C - H * S};
    const long double YS[4] = {0, W * S, H * C, W * S + H * C};
    const long double NW =
        std::ceil(*std::max_element(XS, XS + 4)) - std::floor(*std::min_element(XS, XS + 4));
    const long double NH =
        std::ceil(*std::max_element(YS, YS + 4)) - std::floor(*std::min_element(YS, YS + 4));
    if (NW > INT_MAX || NH > INT_MAX)
      throw EPixelGraphic(EngineMessage(msgFailed, "CreateDIBSection"));
    Dest.SetSize(int(NW), int(NH), Dest.BitCountNum());
  }
  if (Dest.Empty()) return;

  TRotation R;
  R.C = double(C);
  R.S = double(S);
  R.CXD = Dest.Width() / 2;
  R.CYD = Dest.Height() / 2;
  R.CXS = W / 2;
  R.CYS = H / 2;
  {
    // The box of the source rectangle's corners mapped forward.
    long double MinX = INFINITY, MaxX = -INFINITY, MinY = INFINITY, MaxY = -INFINITY;
    for (int K = 0; K < 4; ++K) {
      const long double PX = ((K & 1) ? W : 0) - R.CXS, PY = ((K & 2) ? H : 0) - R.CYS;
      const long double X = PX * C - PY * S + R.CXD, Y = PX * S + PY * C + R.CYD;
      MinX = std::min(MinX, X), MaxX = std::max(MaxX, X);
      MinY = std::min(MinY, Y), MaxY = std::max(MaxY, Y);
    }
    const long double LW = Dest.Width() - 1, LH = Dest.Height() - 1;
    R.BX0 = int(std::clamp(std::floor(MinX), 0.0L, LW));
    R.BX1 = int(std::clamp(std::ceil(MaxX), -1.0L, LW));
    R.BY0 = int(std::clamp(std::floor(MinY), 0.0L, LH));
    R.BY1 = int(std::clamp(std::ceil(MaxY), -1.0L, LH));
    if (MinX > LW || MinY > LH || R.BX0 > R.BX1 || R.BY0 > R.BY1) return;
  }

  const TColorRows Rows(Source);
  const bool Interp = Dest.Smooth && !RightAngle;
  const bool UseDither = Dest.Dither && Dest.BitCountNum() != 3;
  {
    TDitherScope Writer(Dest, UseDither);
    TProgressScope Progress(Dest);
    // A 24-bit destination's rows are independent, and so are a palette destination's when its
    // colour matching answers from the colour alone. Error diffusion, and an own palette's
    // cache that fills in the order the colours come, take the rows on this thread in order;
    // the bands then only sample.
    const int BoxRows = R.BY1 - R.BY0 + 1, BoxCols = R.BX1 - R.BX0 + 1;
    const bool Dest24 = Dest.BitCountNum() == 3;
    const bool InBands = Dest24 || (!UseDither && MatchIsPure(Dest));
    std::vector<std::vector<uint8_t>> Pending(InBands ? 0 : size_t(BoxRows));
    std::exception_ptr Error;
    TAbortKeeper Keeper(BoxRows, InBands && bool(Dest.OnProgress));
    ParallelBands(
        BoxRows,
        [&](int Begin, int End) {
          if (InBands) {
            for (int I = Begin; I < End; ++I)
              Keeper.Keep(I, [&](std::vector<uint8_t>& Out) { SaveRows(Dest, {R.BY0 + I}, Out); });
            std::unique_ptr<TPixelGraphic> Twin;
            if (!Dest24) Twin = MatchTwin(Dest);
            if (Interp)
              RotateRows<true>(Dest, Rows, R, R.BY0 + Begin, R.BY0 + End - 1, Twin.get());
            else
              RotateRows<false>(Dest, Rows, R, R.BY0 + Begin, R.BY0 + End - 1, Twin.get());
            return;
          }
          for (int I = Begin; I < End; ++I) {
            std::vector<uint8_t>& Out = Pending[size_t(I)];
            Out.resize(size_t(BoxCols) * 4);
            if (Interp)
              SampleRow<true>(Dest, Rows, R, R.BY0 + I, Out.data());
            else
              SampleRow<false>(Dest, Rows, R, R.BY0 + I, Out.data());
          }
        },
        [&](int I) {
          const int Y = R.BY0 + I;
          if (!InBands) {
            try {
              const std::vector<uint8_t> Row = std::move(Pending[size_t(I)]);
              if (UseDither) Dest.DitherNextRow(Y);
              // The writer's serpentine order.
              const bool Forward = Y % 2 == 0;
              for (int J = 0; J < BoxCols; ++J) {
                const int C = Forward ? J : BoxCols - 1 - J;
                const uint8_t* P = Row.data() + 4 * size_t(C);
                if (!P[0]) continue;
                if (UseDither)
                  Dest.SetPixelDithered(R.BX0 + C, Y, P[3], P[2], P[1]);
                else
                  Dest.SetPixelColor(R.BX0 + C, Y, RGBOf(P[3], P[2], P[1]));
              }
            } catch (...) {
              Error = std::current_exception();
              return true;
            }
          }
          return Keeper.Passed(I, Dest.DoProgress(I, R.BY1 - R.BY0));
        });
    if (Error) std::rethrow_exception(Error);
    Keeper.RestoreAfterAbort(
        [&](int I, const std::vector<uint8_t>& In) { PutRows(Dest, {R.BY0 + I}, In); });
  }
  Dest.Changed();
}

void FlipHorizontal(TPixelGraphic& G) {
  if (G.Empty()) return;
  const int W = G.Width(), H = G.Height();
  {
    TProgressScope Progress(G);
    TAbortKeeper Keeper(H, bool(G.OnProgress));
    ParallelBands(
        H,
        [&](int Begin, int End) {
          for (int Y = Begin; Y < End; ++Y) {
            Keeper.Keep(Y, [&](std::vector<uint8_t>& Out) { SaveRows(G, {Y}, Out); });
            uint8_t* Row = G.ScanLine(Y);
            switch (G.BitCountNum()) {
            case 3:
              for (int X = 0; X < W / 2; ++X)
                std::swap_ranges(Row + 3 * int64_t(X), Row + 3 * int64_t(X) + 3,
                                 Row + 3 * int64_t(W - 1 - X));
              break;
            case 2:
              std::reverse(Row, Row + W);
              break;
            default:
              for (int X = 0; X < W / 2; ++X) {
                const uint32_t A = G.GetPixelValue(X, Y);
                G.SetPixelValue(X, Y, G.GetPixelValue(W - 1 - X, Y));
                G.SetPixelValue(W - 1 - X, Y, A);
              }
            }
          }
        },
        [&](int Y) { return Keeper.Passed(Y, G.DoProgress(Y, H - 1)); });
    Keeper.RestoreAfterAbort([&](int Y, const std::vector<uint8_t>& In) { PutRows(G, {Y}, In); });
  }
  G.Changed();
}

void FlipVertical(TPixelGraphic& G) {
  if (G.Empty()) return;
  const int W = G.Width(), H = G.Height();
  {
    TProgressScope Progress(G);
    if (G.BitCountNum() >= 2) {
      // Bands of columns on the engine's threads, cut into strips that keep the row accesses
      // in the cache; progress still counts columns.
      const int BPP = G.BitCountNum() == 3 ? 3 : 1;
      constexpr int Strip = 256;
      auto Swap = [&](int X0, int X1) {
        for (int Y = 0; Y < H / 2; ++Y)
          std::swap_ranges(G.ScanLine(Y) + int64_t(BPP) * X0, G.ScanLine(Y) + int64_t(BPP) * X1,
                           G.ScanLine(H - 1 - Y) + int64_t(BPP) * X0);
      };
      // Columns the bands flipped past an abort are flipped back.
      std::vector<std::pair<int, int>> Bands;
      std::mutex BandsLock;
      int Aborted = -1;
      ParallelBands(
          W,
          [&](int Begin, int End) {
            for (int X0 = Begin; X0 < End; X0 += Strip)
              Swap(X0, std::min(X0 + Strip, End));
            std::lock_guard<std::mutex> Lock(BandsLock);
            Bands.emplace_back(Begin, End);
          },
          [&](int X) {
            if (!G.DoProgress(X, W - 1)) return false;
            Aborted = X;
            return true;
          },
          64);
      if (Aborted >= 0)
        for (const auto& [Begin, End] : Bands)
          if (End - 1 > Aborted) Swap(std::max(Begin, Aborted + 1), End);
    } else {
      // Columns of 1 and 4 bits share bytes, so they stay on this thread.
      for (int X = 0; X < W; ++X) {
        for (int Y = 0; Y < H / 2; ++Y) {
          const uint32_t A = G.GetPixelValue(X, Y);
          G.SetPixelValue(X, Y, G.GetPixelValue(X, H - 1 - Y));
          G.SetPixelValue(X, H - 1 - Y, A);
        }
        if (G.DoProgress(X, W - 1)) break;
      }
    }
  }
  G.Changed();
}

// ---------------------------------------------------------------------------------------------
// editor commands

void ReplacePicture(TPixelGraphic& Picture, const TPixelGraphic& Result) {
  if (&Picture == &Result) return;
  TUpdateScope Update(Picture);
  const TRGB Background = BackgroundColorOf(Picture);
  const bool DepthChanges = Picture.BitCountNum() != Result.BitCountNum();
  Picture.SetSize(Result.Width(), Result.Height(), Result.BitCountNum());
  if (!Picture.Empty() && !Result.Empty())
    std::memcpy(Picture.Bits(), Result.Bits(), size_t(Result.ImageSize()));
  Picture.AssignPalette(Result);
  // The background value is an index in a palette picture and a colour otherwise.
  if (DepthChanges && (Picture.BitCountNum() == 3 || Picture.PaletteCount() > 0))
    Picture.SetBackGroundColor(Background);
}

void ForwardProgress(TPixelGraphic& Work, TPixelGraphic& Owner) {
  TPixelGraphic* O = &Owner;
  Work.OnProgressStart = [O](TPixelGraphic*) { O->DoProgressStart(); };
  Work.OnProgress = [O](TPixelGraphic*, int Step, bool& Abort, int Max) {
    if (O->DoProgress(Step, Max)) Abort = true;
  };
  Work.OnProgressEnd = [O](TPixelGraphic*) { O->DoProgressEnd(); };
}

void RotatePicture(TPixelGraphic& Picture, long double Angle) {
  if (Picture.Empty()) return;
  TPixelGraphic New;
  int Q = 0;
  if (WholeRightAngle(Angle, Q)) {
    if (Q == 0) return;
    if (Q == 2) {
      TurnHalfInPlace(Picture);
      return;
    }
    ForwardProgress(New, Picture);
    RotateQuarterTurns(New, Picture, Q);
  } else {
    PrepareLike(New, Picture);
    New.Smooth = true;
    ForwardProgress(New, Picture);
    Rotate(New, true, Picture, Angle);
  }
  ReplacePicture(Picture, New);
}

void CropPicture(TPixelGraphic& Picture, int Left, int Top, int Width, int Height) {
  TPixelGraphic New;
  PrepareLike(New, Picture);
  New.SetSize(Width, Height, Picture.BitCountNum());
  if (!New.Empty()) {
    const int64_t R = int64_t(Left) + Width, B = int64_t(Top) + Height;
    const bool Inside =
        !Picture.Empty() && Left >= 0 && Top >= 0 && R <= Picture.Width() && B <= Picture.Height();
    const int BPP = Picture.BitCountNum() == 3 ? 3 : Picture.BitCountNum() == 2 ? 1 : 0;
    ParallelBands(Height, [&](int Begin, int End) {
      for (int I = Begin; I < End; ++I) {
        if (Inside && BPP) {
          std::memcpy(New.ScanLine(I), Picture.ScanLine(Top + I) + int64_t(BPP) * Left,
                      size_t(BPP) * size_t(Width));
        } else {
          for (int J = 0; J < Width; ++J) {
            const int64_t X = int64_t(Left) + J, Y = int64_t(Top) + I;
            const bool In = X >= 0 && Y >= 0 && X < Picture.Width() && Y < Picture.Height();
            New.SetPixelValue(
                J, I, In ? Picture.GetPixelValue(int(X), int(Y)) : Picture.BackGroundColor());
          }
        }
      }
    });
  }
  ReplacePicture(Picture, New);
}

void ResizePicture(TPixelGraphic& Picture, int NewWidth, int NewHeight) {
  // A fresh picture: precise stretching with dithering, whatever the old picture's settings.
  TPixelGraphic New;
  New.SetSize(NewWidth, NewHeight, Picture.BitCountNum());
  New.AssignPalette(Picture);
  ForwardProgress(New, Picture);
  New.StretchFrom(Picture);
  ReplacePicture(Picture, New);
}

int ProportionalSide(int NewSide, int OldSide, int OldOther) {
  if (OldSide <= 0) return 0;
  const long double V =
      std::nearbyint(static_cast<long double>(int64_t(NewSide) * OldOther) / OldSide);
  return int(std::clamp(V, 0.0L, static_cast<long double>(INT_MAX)));
}

// ---------------------------------------------------------------------------------------------
// radial adjustment

bool ParseDecimal(const std::string& Text, long double& Value) {
  size_t B = Text.find_first_not_of(" \t");
  if (B == std::string::npos) return false;
  size_t E = Text.find_last_not_of(" \t") + 1;
  if (Text[B] == '+') {
    ++B;
    if (B == E || Text[B] == '-' || Text[B] == '+') return false;
  }
  const char* First = Text.data() + B;
  const char* Last = Text.data() + E;
  long double V = 0;
  auto [Ptr, Ec] = std::from_chars(First, Last, V, std::chars_format::general);
  if (Ec != std::errc() || Ptr != Last || !std::isfinite(V)) return false;
  Value = V;
  return true;
}

bool ParseRadialSettings(const std::string& Outer, const std::string& Middle,
                         const std::string& Inner, const std::string& Scaling,
                         TRadialSettings& Out) {
  TRadialSettings S;
  if (!ParseDecimal(Outer, S.Outer) || !ParseDecimal(Middle, S.Middle) ||
      !ParseDecimal(Inner, S.Inner) || !ParseDecimal(Scaling, S.Scaling))
    return false;
  Out = S;
  return true;
}

void RadialAdjust(TPixelGraphic& Dest, const TPixelGraphic& Source, const TRadialSettings& P) {
  if (&Dest == &Source) {
    TPixelGraphic Copy;
    Copy.Assign(&Source);
    RadialAdjust(Dest, Copy, P);
    return;
  }
  const int W = Source.Width(), H = Source.Height();
  const TFastBMP Src(Source);
  TUpdateScope Update(Dest);
  if (W < 2 || H < 1) {
    // No half-width to measure radii in: the picture stays as it is.
    Src.CopyTo(Dest);
    return;
  }
  SetTrueColorSize(Dest, W, H);
  const TRGB BgC = BackgroundColorOf(Source);
  const uint8_t Bg[3] = {uint8_t(BlueOf(BgC)), uint8_t(GreenOf(BgC)), uint8_t(RedOf(BgC))};
  auto Color = [&](int64_t X, int64_t Y) -> const uint8_t* {
    return X >= 0 && Y >= 0 && X < W && Y < H ? Src.Pixel(int(X), int(Y)) : Bg;
  };
  const int CX = W / 2, CY = H / 2;
  TProgressScope Progress(Dest);
  // Bands of columns on the engine's threads, cut into strips that keep the rows in the cache;
  // progress is still raised per column, in order.
  constexpr int Strip = 16;
  TAbortKeeper Keeper(W, bool(Dest.OnProgress));
  auto Column = [&](int X, auto Each) {
    for (int Y = 0; Y < H; ++Y)
      Each(Dest.ScanLine(Y) + 3 * int64_t(X), size_t(Y) * 3);
  };
  ParallelBands(
      W,
      [&](int Begin, int End) {
        for (int X = Begin; X < End; ++X)
          Keeper.Keep(X, [&](std::vector<uint8_t>& Out) {
            Out.resize(size_t(H) * 3);
            Column(X, [&](const uint8_t* P, size_t At) { std::memcpy(Out.data() + At, P, 3); });
          });
        for (int X0 = Begin; X0 < End; X0 += Strip) {
          const int X1 = std::min(X0 + Strip, End);
          for (int Y = 0; Y < H; ++Y) {
            uint8_t* Out = Dest.ScanLine(Y) + 3 * int64_t(X0);
            for (int X = X0; X < X1; ++X, Out += 3) {
              const long double DX = X - CX, DY = Y - CY;
              const long double Dist = std::sqrt(DX * DX + DY * DY);
              // cos and sin of the angle of (DX, DY); exact on the axes.
              const long double CosP = Dist == 0 ? 1 : DX / Dist, SinP = Dist == 0 ? 0 : DY / Dist;
              const long double R = Dist / CX;
              const long double RR =
                  CX * R * (P.Outer * R * R * R + P.Middle * R * R + P.Inner * R + P.Scaling);
              const long double SX = RR * CosP + CX, SY = RR * SinP + CY;
              if (!(SX > -2 && SX < W && SY > -2 && SY < H)) {
                // All four neighbours outside (or no number at all).
                std::memcpy(Out, Bg, 3);
                continue;
              }
              const int IX = int(SX), IY = int(SY);
              if (IX == X && IY == Y) {
                std::memcpy(Out, Src.Pixel(X, Y), 3);
                continue;
              }
              const long double FX = SX - IX, FY = SY - IY;
              const long double WX[2] = {1 - FX, FX}, WY[2] = {1 - FY, FY};
              long double Sum[3] = {0, 0, 0};
              for (int M = 0; M < 2; ++M)
                for (int K = 0; K < 2; ++K) {
                  const uint8_t* C = Color(IX + K, IY + M);
                  const long double Wt = WX[K] * WY[M];
                  for (int Ch = 0; Ch < 3; ++Ch)
                    Sum[Ch] += Wt * C[Ch];
                }
              for (int Ch = 0; Ch < 3; ++Ch)
                Out[Ch] = uint8_t(std::clamp(std::nearbyint(Sum[Ch]), 0.0L, 255.0L));
            }
          }
        }
      },
      [&](int X) { return Keeper.Passed(X, Dest.DoProgress(X, W - 1)); }, Strip);
  Keeper.RestoreAfterAbort([&](int X, const std::vector<uint8_t>& In) {
    Column(X, [&](uint8_t* P, size_t At) { std::memcpy(P, In.data() + At, 3); });
  });
}

// ---------------------------------------------------------------------------------------------
// fisheye and swirl

namespace {

// Base index, second index and their weights along one axis of N pixels, wrapping around.
inline void WrapAxis(float V, int N, int& I0, int& I1, float& W0, float& W1) {
  // Far positions keep their place in the wrap and their fraction (fmod is exact).
  if (!(std::fabs(V) < 2147483648.0f)) V = std::fmod(V, float(N));
  int I = int(V);
  const float F = V - float(I);
  if (V >= 0) {
    W0 = 1 - F;
    W1 = F;
  } else {
    W0 = -F;
    W1 = 1 + F;
  }
  if (I < 0)
    I = N - ((-I) % N) - 1;
  else if (I > N - 1)
    I = I % N;
  I0 = I;
  I1 = I + 1 >= N ? N - I - 1 : I + 1;
}

struct TWrapSampler {
  const TFastBMP& S;
  float CX, CY;

  void operator()(float SX, float SY, uint8_t* Out) const {
    if (!std::isfinite(SX) || !std::isfinite(SY)) {
      SX = CX;
      SY = CY;
    }
    int X0, X1, Y0, Y1;
    float WX0, WX1, WY0, WY1;
    WrapAxis(SX, S.Width(), X0, X1, WX0, WX1);
    WrapAxis(SY, S.Height(), Y0, Y1, WY0, WY1);
    const uint8_t *P00 = S.Pixel(X0, Y0), *P10 = S.Pixel(X1, Y0);
    const uint8_t *P01 = S.Pixel(X0, Y1), *P11 = S.Pixel(X1, Y1);
    const float W00 = WX0 * WY0, W10 = WX1 * WY0, W01 = WX0 * WY1, W11 = WX1 * WY1;
    for (int K = 0; K < 3; ++K) {
      const float V = W00 * P00[K] + W10 * P10[K] + W01 * P01[K] + W11 * P11[K];
      Out[K] = uint8_t(std::clamp(std::nearbyint(V), 0.0f, 255.0f));
    }
  }
};

template <class TMap>
void Distort(const TFastBMP& Source, TFastBMP& Dest, float CX, float CY, TMap Map) {
  if (&Source == &Dest) {
    TFastBMP Copy;
    Copy.Assign(Source);
    Distort(Copy, Dest, CX, CY, Map);
    return;
  }
  if (Dest.Width() != Source.Width() || Dest.Height() != Source.Height())
    Dest.SetSize(Source.Width(), Source.Height());
  if (Source.Empty()) return;
  const TWrapSampler Sample{Source, CX, CY};
  ParallelBands(Dest.Height(), [&](int Begin, int End) {
    for (int Y = Begin; Y < End; ++Y) {
      uint8_t* Out = Dest.Row(Y);
      for (int X = 0; X < Dest.Width(); ++X, Out += 3) {
        float SX, SY;
        Map(float(X) - CX, float(Y) - CY, SX, SY);
        Sample(SX, SY, Out);
      }
    }
  });
}

} // namespace

void Fisheye(const TFastBMP& Source, TFastBMP& Dest, float Amount) {
  const float CX = float(Source.Width()) * 0.5f, CY = float(Source.Height()) * 0.5f;
  const float L = Amount * float(Source.Width());
  Distort(Source, Dest, CX, CY, [=](float DX, float DY, float& SX, float& SY) {
    const float R = std::sqrt(DX * DX + DY * DY);
    if (R != 0) {
      const float M = (1.0f / (1.0f - R / L) - 1.0f) * (L * 0.5f);
      SX = CX + DX * M / R;
      SY = CY + DY * M / R;
    } else {
      SX = CX;
      SY = CY;
    }
  });
}

void Swirl(const TFastBMP& Source, TFastBMP& Dest, float Amount) {
  constexpr float PiF = 3.14159265358979f;
  const float CX = float(Source.Width() - 1) / 2, CY = float(Source.Height() - 1) / 2;
  Distort(Source, Dest, CX, CY, [=](float DX, float DY, float& SX, float& SY) {
    const float R = std::sqrt(DX * DX + DY * DY);
    if (R != 0) {
      float A;
      if (DX == 0)
        A = DY > 0 ? PiF / 2 : -PiF / 2;
      else
        A = std::atan(DY / DX) + (DX < 0 ? PiF : 0.0f);
      A = A - R / Amount + PiF / 2;
      SX = CX + R * std::cos(A);
      SY = CY + R * std::sin(A);
    } else {
      SX = CX;
      SY = CY;
    }
  });
}

void FisheyePicture(TPixelGraphic& Picture, float Amount) {
  const TFastBMP Src(Picture);
  TFastBMP Dst;
  Fisheye(Src, Dst, Amount);
  Dst.CopyTo(Picture);
}

void SwirlPicture(TPixelGraphic& Picture, float Amount) {
  const TFastBMP Src(Picture);
  TFastBMP Dst;
  Swirl(Src, Dst, Amount);
  Dst.CopyTo(Picture);
}

} // namespace orbisk
