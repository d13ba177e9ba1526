// The resampling copy (StretchRect / StretchFrom) and the unscaled copy (CopyRect).
#include "engine/pixelgraphic.h"
#include "engine/optimizedpalette.h"
#include "engine/parallel.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <map>
#include <memory>

namespace orbisk {

namespace {

// How one destination column (or row) is made from source columns (rows): First and Last with
// their weights, the columns between them with weight Between, all divided by Div.
struct Tap {
  int First = 0, Last = 0;
  int64_t WFirst = 1, WLast = 0, Between = 0, Div = 1;
  bool Single = true;
  bool Usable = false;
};

enum class Method { Copy, Nearest, Area, Linear };

Method MethodFor(int SW, int DW, TStretchMode Mode) {
  if (SW == DW) return Method::Copy;
  switch (Mode) {
  case smFast:
    return Method::Nearest;
  case smMedium:
    return SW > DW ? Method::Linear : Method::Area;
  default:
    return SW > DW ? Method::Area : Method::Linear;
  }
}

// Truncating division, as the integer arithmetic of the copy is defined.
inline int64_t Div(int64_t A, int64_t B) {
  return A / B;
}

Tap MapAxis(int T, int S0, int SW, int DW, int SrcSize, Method M) {
  Tap P;
  switch (M) {
  case Method::Copy:
    P.First = P.Last = S0 + T;
    break;
  case Method::Nearest:
    P.First = P.Last = int(S0 + Div(int64_t(SW) * T, DW));
    break;
  case Method::Area: {
    int64_t A = int64_t(SW) * T, B = int64_t(SW) * (T + 1);
    P.First = int(S0 + Div(A, DW));
    P.Last = int(S0 + Div(B, DW) - (B % DW == 0 ? 1 : 0));
    P.Div = SW;
    if (P.First == P.Last) {
      P.WFirst = SW;
    } else {
      P.Single = false;
      P.WFirst = int64_t(DW) * (P.First - S0 + 1) - A;
      P.WLast = B - int64_t(DW) * (P.Last - S0);
      P.Between = DW;
    }
    break;
  }
  case Method::Linear: {
    int64_t Mv = int64_t(SW) * (2 * int64_t(T) + 1);
    P.First = int(S0 + Div(Mv - DW, 2 * int64_t(DW)));
    P.Last = int(S0 + Div(Mv + DW, 2 * int64_t(DW)));
    bool Enlarging = SW < DW;
    if (Enlarging && ((P.First < 0 && P.Last >= 0) || (P.First < SrcSize && P.Last >= SrcSize))) {
      P.First = std::clamp(P.First, 0, SrcSize - 1);
      P.Last = std::clamp(P.Last, 0, SrcSize - 1);
    }
    P.Div = 2 * int64_t(DW);
    if (Mv == DW + 2 * int64_t(DW) * (P.First - S0) || P.First == P.Last) {
      P.Last = P.First;
      P.WFirst = 2 * int64_t(DW);
    } else {
      P.Single = false;
      P.WFirst = 2 * int64_t(DW) * (P.First - S0) + 3 * int64_t(DW) - Mv;
      P.WLast = Mv + DW - 2 * int64_t(DW) * (P.Last - S0);
    }
    break;
  }
  }
  P.Usable = P.First >= 0 && P.Last < SrcSize && P.First <= P.Last;
  return P;
}

// Picture row Y of S as blue-green-red bytes (palette sources expanded through their colours).
const uint8_t* SourceRowBGR(const TPixelGraphic& S, int Y, std::vector<uint8_t>& Tmp) {
  if (S.BitCountNum() == 3) return S.ScanLine(Y);
  Tmp.resize(size_t(S.Width()) * 3);
  for (int X = 0; X < S.Width(); ++X) {
    TRGB C = S.GetPixelColor(X, Y);
    Tmp[3 * size_t(X)] = uint8_t(BlueOf(C));
    Tmp[3 * size_t(X) + 1] = uint8_t(GreenOf(C));
    Tmp[3 * size_t(X) + 2] = uint8_t(RedOf(C));
  }
  return Tmp.data();
}

// Truncating division by a divisor fixed for a whole axis: a multiplication and a shift for
// dividends in 0 .. 2^32 - 1 (exact there, since the rounding error of the reciprocal times the
// dividend stays below 2^64), the plain division for anything else.
class TDivider {
public:
  explicit TDivider(int64_t D)
      : FD(D), FM(D >= 2 && D < (int64_t(1) << 32) ? ~0ull / uint64_t(D) + 1 : 0) {}
  int64_t operator()(int64_t N) const {
    if (FM && uint64_t(N) < (uint64_t(1) << 32))
      return int64_t((static_cast<unsigned __int128>(uint64_t(N)) * FM) >> 64);
    return N / FD;
  }

private:
  int64_t FD;
  uint64_t FM;
};

// Whether a tap is a weighted average with weights summing to its divisor, small enough for
// 32-bit sums of bytes (255 x 2^23 < 2^31): the usual case, computed in narrower arithmetic.
bool Narrow(const Tap& P) {
  if (P.Div <= 0 || P.Div > (int64_t(1) << 23) || P.WFirst < 0) return false;
  if (P.Single) return P.WFirst <= P.Div;
  if (P.WLast < 0 || P.Between < 0 || P.Last <= P.First) return false;
  return P.WFirst + P.WLast + P.Between * (P.Last - P.First - 1) <= P.Div;
}

// One source row's horizontal results, for columns that are all narrow with one divisor.
void HorizontalNarrow(const std::vector<Tap>& Cols, const uint8_t* Src, const TDivider& Div,
                      int* Out) {
  for (const Tap& P : Cols) {
    if (P.Usable) {
      const uint8_t* F = Src + 3 * size_t(P.First);
      const int32_t WF = int32_t(P.WFirst);
      int32_t S0 = WF * F[0], S1 = WF * F[1], S2 = WF * F[2];
      if (!P.Single) {
        const uint8_t* L = Src + 3 * size_t(P.Last);
        int32_t M0 = 0, M1 = 0, M2 = 0;
        for (const uint8_t* Q = F + 3; Q < L; Q += 3) {
          M0 += Q[0];
          M1 += Q[1];
          M2 += Q[2];
        }
        const int32_t WL = int32_t(P.WLast), B = int32_t(P.Between);
        S0 += WL * L[0] + M0 * B;
        S1 += WL * L[1] + M1 * B;
        S2 += WL * L[2] + M2 * B;
      }
      Out[0] = int(Div(S0));
      Out[1] = int(Div(S1));
      Out[2] = int(Div(S2));
    }
    Out += 3;
  }
}

// The same in full width, for any taps.
void HorizontalWide(const std::vector<Tap>& Cols, const uint8_t* Src, int* Out) {
  for (const Tap& P : Cols) {
    if (P.Usable) {
      const uint8_t* F = Src + 3 * size_t(P.First);
      for (int K = 0; K < 3; ++K) {
        int64_t Sum;
        if (P.Single) {
          Sum = P.WFirst * F[K];
        } else {
          const uint8_t* L = Src + 3 * size_t(P.Last);
          int64_t Mid = 0;
          for (const uint8_t* Q = F + 3; Q < L; Q += 3)
            Mid += Q[K];
          Sum = P.WFirst * F[K] + P.WLast * L[K] + Mid * P.Between;
        }
        Out[K] = int(Sum / P.Div);
      }
    }
    Out += 3;
  }
}

// Rows that bands wrote past the row where the progress handler asked to abort are put back as
// they were, so an aborted copy leaves the rows it had not reached untouched. Only kept while
// a handler is there to abort and the rows may run ahead (one thread takes them one by one).
class TRowKeeper {
public:
  TRowKeeper(TPixelGraphic& G, int Y0, int Rows, bool On)
      : FG(G), FY0(Y0), FSaved(On && EngineThreadCount() > 1 ? size_t(Rows) : 0) {}
  // Before the band writes row Y0 + I.
  void Keep(int I) {
    if (FSaved.empty()) return;
    const uint8_t* R = FG.ScanLine(FY0 + I);
    FSaved[size_t(I)].assign(R, R + FG.RowBytes());
  }
  // After the caller's progress for row I: false when it asked to abort.
  bool Passed(int I, bool Abort) {
    if (FSaved.empty()) return Abort;
    if (Abort)
      FAborted = I;
    else
      std::vector<uint8_t>().swap(FSaved[size_t(I)]);
    return Abort;
  }
  void RestoreAfterAbort() {
    if (FAborted < 0) return;
    for (size_t I = size_t(FAborted) + 1; I < FSaved.size(); ++I)
      if (!FSaved[I].empty())
        std::memcpy(FG.ScanLine(FY0 + int(I)), FSaved[I].data(), FSaved[I].size());
  }

private:
  TPixelGraphic& FG;
  int FY0;
  std::vector<std::vector<uint8_t>> FSaved;
  int FAborted = -1;
};

// Matching into an own palette with the colour cache on several threads. The cache fills an
// empty cell with the answer for the first colour that meets it, so the answers depend on the
// order of the colours. Each band matches against a copy of the cache as it was when the
// operation began, plus the cells it fills itself, and notes those fills in order. The calling
// thread then takes the bands in row order: a band whose own fills agree with what the cache
// holds by then (cells still empty, or filled with the same index) matched every pixel as one
// thread would have, and its fills are added to the cache row by row; any other band's rows are
// matched again there, in order, through the picture's own cache.
struct TCacheFill {
  int Row, Cell;
  uint8_t Index;
};

struct TBandFills {
  std::vector<TCacheFill> Fills;
  bool Again = false; // the band's rows are matched again on the calling thread
  size_t Next = 0;    // fills added to the cache so far
};

class TBandMatcher {
public:
  TBandMatcher(const TColorCacheCells& Shared, const std::function<int(TRGB)>& Search,
               TBandFills& Log)
      : FShared(Shared), FSearch(Search), FLog(Log) {}

  int Match(TRGB C, int Row) {
    C &= 0xFFFFFF;
    if (FMemoValid && FMemoColor == C) return FMemoIndex;
    const int Cell = TColorCacheCells::CellOf(C);
    int N;
    if (FShared.Has(Cell)) {
      N = FShared.Index[size_t(Cell)];
    } else {
      if (!FOwn) FOwn = std::make_unique<TColorCacheCells>();
      if (!FOwn->Has(Cell)) {
        const uint8_t I = uint8_t(FSearch(C));
        FOwn->Set(Cell, I);
        FLog.Fills.push_back({Row, Cell, I});
      }
      N = FOwn->Index[size_t(Cell)];
    }
    FMemoValid = true;
    FMemoColor = C;
    FMemoIndex = N;
    return N;
  }

private:
  const TColorCacheCells& FShared;
  const std::function<int(TRGB)>& FSearch;
  TBandFills& FLog;
  std::unique_ptr<TColorCacheCells> FOwn;
  bool FMemoValid = false;
  TRGB FMemoColor = 0;
  int FMemoIndex = 0;
};

// The calling thread's side: Cache is the picture's own cache, Rows the rows of the operation.
class TCacheMerger {
public:
  TCacheMerger(TColorCacheCells* Cache, int Rows)
      : FCache(Cache), FBands(Cache ? size_t(Rows) : 0) {}
  bool On() const { return FCache != nullptr; }
  // A band's log, from the band that starts at row Begin.
  TBandFills& Start(int Begin) {
    FBands[size_t(Begin)] = std::make_unique<TBandFills>();
    return *FBands[size_t(Begin)];
  }
  // Called for every row in order once the row is done: true when row I must be matched again
  // on this thread.
  bool Row(int I) {
    if (FBands[size_t(I)]) {
      FCur = FBands[size_t(I)].get();
      for (const TCacheFill& F : FCur->Fills)
        if (FCache->Has(F.Cell) && FCache->Index[size_t(F.Cell)] != F.Index) {
          FCur->Again = true;
          break;
        }
    }
    if (!FCur || FCur->Again) return true;
    for (; FCur->Next < FCur->Fills.size() && FCur->Fills[FCur->Next].Row == I; ++FCur->Next) {
      const TCacheFill& F = FCur->Fills[FCur->Next];
      if (!FCache->Has(F.Cell)) FCache->Set(F.Cell, F.Index);
    }
    return false;
  }

private:
  TColorCacheCells* FCache;
  std::vector<std::unique_ptr<TBandFills>> FBands;
  TBandFills* FCur = nullptr;
};

// The work of one thread on the destination rows of a resampling copy: the horizontal results
// of each source row are the same for every destination row that uses it, so they are computed
// once per source row.
struct TRowMaker {
  std::map<int, std::vector<int>> RowCache;
  std::vector<std::vector<int>> Spare;
  std::vector<uint8_t> Tmp;
  std::vector<int64_t> Acc;
  std::vector<int32_t> Acc32;
};

// The rows of an operation in bands on the engine's threads; a picture copied onto itself reads
// rows that earlier rows may have written, so its rows go one by one in order on this thread.
void RunRows(int Count, const std::function<void(int, int)>& Body,
             const std::function<bool(int)>& RowDone, bool OntoItself) {
  if (!OntoItself) {
    ParallelBands(Count, Body, RowDone);
    return;
  }
  for (int I = 0; I < Count; ++I) {
    Body(I, I + 1);
    if (RowDone(I)) return;
  }
}

} // namespace

void TPixelGraphic::StretchRect(int DX, int DY, int DW, int DH, const TPixelGraphic& S, int SX,
                                int SY, int SW, int SH) {
  if (DW == SW && DH == SH) {
    CopyRect(DX, DY, S, SX, SY, DW, DH);
    return;
  }
  if (Empty() || S.Empty()) return;
  if (DW <= 0 || DH <= 0 || SW <= 0 || SH <= 0) return;

  int Y0 = std::max(DY, 0), Y1 = std::min(int64_t(DY) + DH - 1, int64_t(FHeight) - 1);
  int X0 = std::max(DX, 0), X1 = int(std::min(int64_t(DX) + DW - 1, int64_t(FWidth) - 1));
  if (Y0 > Y1 || X0 > X1) {
    Changed();
    return;
  }
  Method MX = MethodFor(SW, DW, StretchMode), MY = MethodFor(SH, DH, StretchMode);
  const int NCols = X1 - X0 + 1, NRows = Y1 - Y0 + 1;
  std::vector<Tap> Cols(static_cast<size_t>(NCols));
  for (int X = X0; X <= X1; ++X)
    Cols[size_t(X - X0)] = MapAxis(X - DX, SX, SW, DW, S.Width(), MX);
  // Every column of an axis shares one divisor.
  const TDivider ColDiv(Cols[0].Div);
  bool NarrowCols = true;
  for (const Tap& P : Cols)
    NarrowCols = NarrowCols && P.Div == Cols[0].Div && (!P.Usable || Narrow(P));
  auto RowTapOf = [&](int Y) { return MapAxis(Y - DY, SY, SH, DH, S.Height(), MY); };

  // Row I's sums, divided by RowTap.Div, are its colours; false when the row is not written.
  auto MakeRow = [&](TRowMaker& M, int I, Tap& RowTap) {
    RowTap = RowTapOf(Y0 + I);
    if (!RowTap.Usable) return false;
    if (M.Acc.empty()) {
      M.Acc.resize(size_t(NCols) * 3);
      M.Acc32.resize(NarrowCols ? M.Acc.size() : 0);
    }
    auto Horizontal = [&](int R) -> const std::vector<int>& {
      auto It = M.RowCache.find(R);
      if (It != M.RowCache.end()) return It->second;
      std::vector<int> H;
      if (!M.Spare.empty()) {
        H = std::move(M.Spare.back());
        M.Spare.pop_back();
      }
      H.assign(size_t(NCols) * 3, 0);
      const uint8_t* Src = SourceRowBGR(S, R, M.Tmp);
      if (NarrowCols)
        HorizontalNarrow(Cols, Src, ColDiv, H.data());
      else
        HorizontalWide(Cols, Src, H.data());
      return M.RowCache.emplace(R, std::move(H)).first->second;
    };
    // Drop cached rows that no later destination row can use.
    for (auto It = M.RowCache.begin(); It != M.RowCache.end() && It->first < RowTap.First;) {
      M.Spare.push_back(std::move(It->second));
      It = M.RowCache.erase(It);
    }
    std::fill(M.Acc.begin(), M.Acc.end(), 0);
    if (NarrowCols && Narrow(RowTap)) {
      // Weighted averages of bytes: every partial sum stays below 2^31.
      std::fill(M.Acc32.begin(), M.Acc32.end(), 0);
      auto AddRow = [&](int R, int64_t W) {
        const int* H = Horizontal(R).data();
        int32_t* A = M.Acc32.data();
        const int32_t W32 = int32_t(W);
        for (size_t J = 0, N = M.Acc32.size(); J < N; ++J)
          A[J] += H[J] * W32;
      };
      AddRow(RowTap.First, RowTap.WFirst);
      if (!RowTap.Single) {
        for (int R = RowTap.First + 1; R < RowTap.Last; ++R)
          AddRow(R, RowTap.Between);
        AddRow(RowTap.Last, RowTap.WLast);
      }
      std::copy(M.Acc32.begin(), M.Acc32.end(), M.Acc.begin());
    } else {
      auto AddRow = [&](int R, int64_t W) {
        const int* H = Horizontal(R).data();
        int64_t* A = M.Acc.data();
        for (size_t J = 0, N = M.Acc.size(); J < N; ++J)
          A[J] += H[J] * W;
      };
      AddRow(RowTap.First, RowTap.WFirst);
      if (!RowTap.Single) {
        for (int R = RowTap.First + 1; R < RowTap.Last; ++R)
          AddRow(R, RowTap.Between);
        AddRow(RowTap.Last, RowTap.WLast);
      }
    }
    return true;
  };

  const bool Dest24 = FBitCountNum == 3;
  const bool UseDither = Dither && !Dest24;
  // Rows are matched in the bands (24 bits, matching from the colour alone, or an own palette's
  // cache shared as described above), or handed to the calling thread as colours (dithering).
  const bool Pure = Dest24 || (!UseDither && MatchIsPure(*this));
  const bool Cached = !Pure && !UseDither && FPaletteKind != pNone && FColorCache;
  const bool InBands = Pure || Cached;
  TColorCacheCells Snapshot;
  if (Cached) {
    if (!FCache) FCache = std::make_unique<ColorCacheData>();
    if (!FCache->Built) FCache->Build(FPalette);
    Snapshot = FCache->Cells;
  }
  const std::function<int(TRGB)> Search = [this](TRGB C) { return ExhaustiveSearch(C); };
  TCacheMerger Merger(Cached ? &FCache->Cells : nullptr, NRows);
  TDitherScope DitherScope(*this, UseDither);
  TProgressScope Progress(*this);
  std::vector<std::vector<int>> Pending(InBands ? 0 : size_t(NRows));
  TRowKeeper Keeper(*this, Y0, NRows, InBands && bool(OnProgress));

  auto Body = [&](int Begin, int End) {
    TRowMaker M;
    std::unique_ptr<TPixelGraphic> Twin;
    if (!Dest24 && Pure) Twin = MatchTwin(*this);
    std::unique_ptr<TBandMatcher> Matcher;
    if (Cached) Matcher = std::make_unique<TBandMatcher>(Snapshot, Search, Merger.Start(Begin));
    Tap RowTap;
    for (int I = Begin; I < End; ++I) {
      if (!MakeRow(M, I, RowTap)) continue;
      const int Y = Y0 + I;
      const TDivider RowDiv(RowTap.Div);
      const int64_t* Acc = M.Acc.data();
      if (InBands) Keeper.Keep(I);
      if (Dest24) {
        uint8_t* Dst = ScanLine(Y);
        for (int C = 0; C < NCols; ++C) {
          if (!Cols[size_t(C)].Usable) continue;
          uint8_t* P = Dst + 3 * size_t(X0 + C);
          for (int K = 0; K < 3; ++K)
            P[K] = uint8_t(RowDiv(Acc[size_t(C) * 3 + K]));
        }
      } else if (InBands) {
        // Serpentine, as the cache meets the colours on one thread.
        const bool Forward = Y % 2 == 0;
        for (int J = 0; J < NCols; ++J) {
          const int C = Forward ? J : NCols - 1 - J;
          if (!Cols[size_t(C)].Usable) continue;
          const unsigned B = unsigned(RowDiv(Acc[size_t(C) * 3]));
          const unsigned G = unsigned(RowDiv(Acc[size_t(C) * 3 + 1]));
          const unsigned R = unsigned(RowDiv(Acc[size_t(C) * 3 + 2]));
          const TRGB Color = RGBOf(R, G, B);
          SetPixelValue(
              X0 + C, Y,
              uint32_t(Twin ? Twin->GetNearestPaletteIndex(Color) : Matcher->Match(Color, I)));
        }
      } else {
        std::vector<int>& Out = Pending[size_t(I)];
        Out.resize(size_t(NCols) * 3);
        for (size_t J = 0; J < Out.size(); ++J)
          Out[J] = int(RowDiv(Acc[J]));
      }
    }
  };

  // Writes row I's colours (Value(column, channel) in blue, green, red order) through this
  // picture's own matching, in the writer's order.
  auto WriteInOrder = [&](int I, auto Value) {
    const int Y = Y0 + I;
    if (UseDither) DitherNextRow(Y);
    const bool Forward = Y % 2 == 0;
    for (int J = 0; J < NCols; ++J) {
      const int C = Forward ? J : NCols - 1 - J;
      if (!Cols[size_t(C)].Usable) continue;
      const unsigned B = Value(C, 0), G = Value(C, 1), R = Value(C, 2);
      if (UseDither)
        SetPixelDithered(X0 + C, Y, R, G, B);
      else
        SetPixelColor(X0 + C, Y, RGBOf(R, G, B));
    }
  };
  // The calling thread: matches handed-over rows in order, raises progress.
  std::exception_ptr Error;
  std::unique_ptr<TRowMaker> Again;
  auto RowDone = [&](int I) {
    const int Y = Y0 + I;
    const bool Redo = Cached && Merger.Row(I);
    if (!RowTapOf(Y).Usable) return false;
    try {
      if (Redo) {
        if (!Again) Again = std::make_unique<TRowMaker>();
        Tap RowTap;
        MakeRow(*Again, I, RowTap);
        const TDivider RowDiv(RowTap.Div);
        const int64_t* Acc = Again->Acc.data();
        WriteInOrder(I, [&](int C, int K) { return unsigned(RowDiv(Acc[size_t(C) * 3 + K])); });
      } else if (!InBands) {
        const std::vector<int> Row = std::move(Pending[size_t(I)]);
        WriteInOrder(I, [&](int C, int K) { return unsigned(Row[size_t(C) * 3 + K]); });
      }
    } catch (...) {
      Error = std::current_exception();
      return true;
    }
    return Keeper.Passed(I, DoProgress(Y - Y0, Y1 - Y0));
  };
  RunRows(NRows, Body, RowDone, &S == this);
  if (Error) std::rethrow_exception(Error);
  Keeper.RestoreAfterAbort();
  Changed();
}

void TPixelGraphic::StretchFrom(const TPixelGraphic& S) {
  StretchRect(0, 0, FWidth, FHeight, S, 0, 0, S.Width(), S.Height());
}

void TPixelGraphic::CopyRect(int DX, int DY, const TPixelGraphic& S, int SX, int SY, int W, int H) {
  if (Empty() || S.Empty()) return;
  // Usable columns: x in the destination and x + SX - DX in the source.
  int64_t XA = std::max<int64_t>({DX, 0, int64_t(DX) - SX});
  int64_t XB = std::min<int64_t>(
      {int64_t(DX) + W - 1, int64_t(FWidth) - 1, int64_t(S.Width()) - 1 + DX - SX});
  if (XA > XB) {
    Changed();
    return;
  }
  int Y0 = std::max(DY, 0);
  int Y1 = int(std::min<int64_t>(int64_t(DY) + H - 1, int64_t(FHeight) - 1));
  const bool Dest24 = FBitCountNum == 3, Both24 = Dest24 && S.BitCountNum() == 3;
  const bool UseDither = Dither && !Dest24;
  // Rows converted in the bands (an own palette's cache shared as in StretchRect), or matched
  // on the calling thread in row order (dithering).
  const bool Pure = Dest24 || (!UseDither && MatchIsPure(*this));
  const bool Cached = !Pure && !UseDither && FPaletteKind != pNone && FColorCache;
  const bool InBands = Pure || Cached;
  const int NRows = std::max(Y1 - Y0 + 1, 0);
  TColorCacheCells Snapshot;
  if (Cached) {
    if (!FCache) FCache = std::make_unique<ColorCacheData>();
    if (!FCache->Built) FCache->Build(FPalette);
    Snapshot = FCache->Cells;
  }
  const std::function<int(TRGB)> Search = [this](TRGB C) { return ExhaustiveSearch(C); };
  TCacheMerger Merger(Cached ? &FCache->Cells : nullptr, NRows);
  TDitherScope DitherScope(*this, UseDither);
  TProgressScope Progress(*this);
  const int64_t SrcX0 = XA + SX - DX, N = XB - XA + 1;
  auto SourceRow = [&](int Y) {
    const int64_t SrcY = int64_t(Y) + SY - DY;
    return SrcY < 0 || SrcY >= S.Height() ? -1 : int(SrcY);
  };
  // One row in the writer's order; Match(colour) gives a palette index.
  auto Convert = [&](int Y, const uint8_t* Src, auto Match) {
    const bool Forward = Y % 2 == 0;
    for (int64_t I = 0; I < N; ++I) {
      int64_t X = Forward ? XA + I : XB - I;
      const uint8_t* P = Src + 3 * (SrcX0 + (X - XA));
      TRGB C = RGBOf(P[2], P[1], P[0]);
      if (Dest24)
        SetPixelValue(int(X), Y, C);
      else if (UseDither)
        SetPixelDithered(int(X), Y, P[2], P[1], P[0]);
      else
        SetPixelValue(int(X), Y, uint32_t(Match(C)));
    }
  };
  auto Own = [this](TRGB C) { return GetNearestPaletteIndex(C); };
  // Moved rows raise no progress, so nothing can abort between them.
  TRowKeeper Keeper(*this, Y0, NRows, InBands && !Both24 && bool(OnProgress));
  auto Body = [&](int Begin, int End) {
    if (!InBands) return;
    std::vector<uint8_t> Tmp;
    std::unique_ptr<TPixelGraphic> Twin;
    if (!Dest24 && Pure) Twin = MatchTwin(*this);
    std::unique_ptr<TBandMatcher> Matcher;
    if (Cached) Matcher = std::make_unique<TBandMatcher>(Snapshot, Search, Merger.Start(Begin));
    for (int I = Begin; I < End; ++I) {
      const int Y = Y0 + I, SrcY = SourceRow(Y);
      if (SrcY < 0) continue;
      Keeper.Keep(I);
      if (Both24)
        std::memmove(ScanLine(Y) + 3 * XA, S.ScanLine(SrcY) + 3 * SrcX0, size_t(N) * 3);
      else if (Twin)
        Convert(Y, SourceRowBGR(S, SrcY, Tmp),
                [&](TRGB C) { return Twin->GetNearestPaletteIndex(C); });
      else if (Matcher)
        Convert(Y, SourceRowBGR(S, SrcY, Tmp), [&](TRGB C) { return Matcher->Match(C, I); });
      else
        Convert(Y, SourceRowBGR(S, SrcY, Tmp), Own);
    }
  };
  std::exception_ptr Error;
  std::vector<uint8_t> Tmp;
  auto RowDone = [&](int I) {
    const int Y = Y0 + I, SrcY = SourceRow(Y);
    const bool Redo = Cached && Merger.Row(I);
    // Moved rows raise no progress.
    if (SrcY < 0 || Both24) return false;
    if (!InBands || Redo) {
      try {
        if (UseDither) DitherNextRow(Y);
        Convert(Y, SourceRowBGR(S, SrcY, Tmp), Own);
      } catch (...) {
        Error = std::current_exception();
        return true;
      }
    }
    return Keeper.Passed(I, DoProgress(Y - Y0, Y1 - Y0));
  };
  RunRows(NRows, Body, RowDone, &S == this);
  if (Error) std::rethrow_exception(Error);
  Keeper.RestoreAfterAbort();
  Changed();
}

} // namespace orbisk
