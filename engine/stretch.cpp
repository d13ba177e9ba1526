// The resampling copy (StretchRect / StretchFrom) and the unscaled copy (CopyRect).
#include "engine/pixelgraphic.h"

#include <algorithm>
#include <cstring>
#include <map>

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
  int NCols = X1 - X0 + 1;
  std::vector<Tap> Cols(static_cast<size_t>(NCols));
  for (int X = X0; X <= X1; ++X)
    Cols[size_t(X - X0)] = MapAxis(X - DX, SX, SW, DW, S.Width(), MX);

  // Horizontal results of each source row are the same for every destination row that uses
  // it, so they are computed once per source row.
  std::map<int, std::vector<int>> RowCache;
  std::vector<uint8_t> Tmp;
  auto Horizontal = [&](int R) -> const std::vector<int>& {
    auto It = RowCache.find(R);
    if (It != RowCache.end()) return It->second;
    std::vector<int> H(size_t(NCols) * 3, 0);
    const uint8_t* Src = SourceRowBGR(S, R, Tmp);
    for (int C = 0; C < NCols; ++C) {
      const Tap& P = Cols[size_t(C)];
      if (!P.Usable) continue;
      for (int K = 0; K < 3; ++K) {
        int64_t Sum;
        if (P.Single) {
          Sum = P.WFirst * Src[3 * size_t(P.First) + K];
        } else {
          Sum = P.WFirst * Src[3 * size_t(P.First) + K] + P.WLast * Src[3 * size_t(P.Last) + K];
          int64_t Mid = 0;
          for (int I = P.First + 1; I < P.Last; ++I)
            Mid += Src[3 * size_t(I) + K];
          Sum += Mid * P.Between;
        }
        H[size_t(C) * 3 + K] = int(Sum / P.Div);
      }
    }
    return RowCache.emplace(R, std::move(H)).first->second;
  };

  bool UseDither = Dither && FBitCountNum != 3;
  TDitherScope DitherScope(*this, UseDither);
  TProgressScope Progress(*this);
  std::vector<int64_t> Acc(size_t(NCols) * 3);
  for (int Y = Y0; Y <= Y1; ++Y) {
    Tap RowTap = MapAxis(Y - DY, SY, SH, DH, S.Height(), MY);
    if (RowTap.Usable) {
      // Drop cached rows that no later destination row can use.
      RowCache.erase(RowCache.begin(), RowCache.lower_bound(RowTap.First));
      std::fill(Acc.begin(), Acc.end(), 0);
      auto AddRow = [&](int R, int64_t W) {
        const std::vector<int>& H = Horizontal(R);
        for (size_t I = 0; I < Acc.size(); ++I)
          Acc[I] += H[I] * W;
      };
      if (RowTap.Single) {
        AddRow(RowTap.First, RowTap.WFirst);
      } else {
        AddRow(RowTap.First, RowTap.WFirst);
        for (int R = RowTap.First + 1; R < RowTap.Last; ++R)
          AddRow(R, RowTap.Between);
        AddRow(RowTap.Last, RowTap.WLast);
      }
      if (UseDither) DitherNextRow(Y);
      if (FBitCountNum == 3) {
        uint8_t* Dst = ScanLine(Y);
        for (int C = 0; C < NCols; ++C) {
          if (!Cols[size_t(C)].Usable) continue;
          uint8_t* P = Dst + 3 * size_t(X0 + C);
          for (int K = 0; K < 3; ++K)
            P[K] = uint8_t(Acc[size_t(C) * 3 + K] / RowTap.Div);
        }
      } else {
        bool Forward = Y % 2 == 0;
        for (int I = 0; I < NCols; ++I) {
          int C = Forward ? I : NCols - 1 - I;
          if (!Cols[size_t(C)].Usable) continue;
          unsigned B = unsigned(Acc[size_t(C) * 3] / RowTap.Div);
          unsigned G = unsigned(Acc[size_t(C) * 3 + 1] / RowTap.Div);
          unsigned R = unsigned(Acc[size_t(C) * 3 + 2] / RowTap.Div);
          if (UseDither)
            SetPixelDithered(X0 + C, Y, R, G, B);
          else
            SetPixelColor(X0 + C, Y, RGBOf(R, G, B));
        }
      }
      if (DoProgress(Y - Y0, Y1 - Y0)) break;
    }
  }
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
  bool UseDither = Dither && FBitCountNum != 3;
  TDitherScope DitherScope(*this, UseDither);
  TProgressScope Progress(*this);
  std::vector<uint8_t> Tmp;
  for (int Y = Y0; Y <= Y1; ++Y) {
    int64_t SrcY = int64_t(Y) + SY - DY;
    if (SrcY < 0 || SrcY >= S.Height()) continue;
    int64_t SrcX0 = XA + SX - DX;
    if (FBitCountNum == 3 && S.BitCountNum() == 3) {
      std::memmove(ScanLine(Y) + 3 * XA, S.ScanLine(int(SrcY)) + 3 * SrcX0,
                   size_t(XB - XA + 1) * 3);
      continue;
    }
    if (UseDither) DitherNextRow(Y);
    const uint8_t* Src = SourceRowBGR(S, int(SrcY), Tmp);
    bool Forward = Y % 2 == 0;
    for (int64_t I = 0; I <= XB - XA; ++I) {
      int64_t X = Forward ? XA + I : XB - I;
      const uint8_t* P = Src + 3 * (SrcX0 + (X - XA));
      TRGB C = RGBOf(P[2], P[1], P[0]);
      if (FBitCountNum == 3)
        SetPixelValue(int(X), Y, C);
      else if (UseDither)
        SetPixelDithered(int(X), Y, P[2], P[1], P[0]);
      else
        SetPixelValue(int(X), Y, uint32_t(GetNearestPaletteIndex(C)));
    }
    if (DoProgress(Y - Y0, Y1 - Y0)) break;
  }
  Changed();
}

} // namespace orbisk
