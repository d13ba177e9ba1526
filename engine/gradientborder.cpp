// The gradient border: a picture whose edges fade into a colour, in a rectangle or an oval.
#include "engine/pixelgraphic.h"

#include <cmath>
#include <optional>

namespace orbisk {
namespace {

// P × (1024 − F) + C × F, per channel, in 1/1024 steps.
TRGB Blend(TRGB P, TRGB C, int64_t F) {
  auto Mix = [F](unsigned A, unsigned B) {
    return unsigned((int64_t(A) * (1024 - F) + int64_t(B) * F) / 1024);
  };
  return RGBOf(Mix(RedOf(P), RedOf(C)), Mix(GreenOf(P), GreenOf(C)), Mix(BlueOf(P), BlueOf(C)));
}

// Blend factor of a rectangle edge at distance D (none when D is outside the border).
std::optional<int64_t> EdgeFactor(int64_t D, int64_t BW) {
  if (D >= BW) return std::nullopt;
  return ((BW - 1 - D) * 1024) / (BW - 1);
}

} // namespace

void TPixelGraphic::GradientBorder(bool Oval, int BorderWidth, const TPixelGraphic& Source,
                                   TRGB C) {
  // Fading a picture into itself works on a copy of the original.
  std::unique_ptr<TPixelGraphic> Copy;
  const TPixelGraphic* S = &Source;
  if (S == this) {
    Copy = std::make_unique<TPixelGraphic>();
    Copy->Assign(this);
    S = Copy.get();
  }
  const int W = S->Width(), H = S->Height();
  SetSize(W, H, FBitCountNum);
  if (Empty()) {
    Changed();
    return;
  }
  TDitherScope Writer(*this, Dither && FBitCountNum < 3);
  const int64_t BW = BorderWidth;
  if (W < 3 || H < 3 || BW < 2) {
    // Nothing but border.
    for (int Y = 0; Y < H; ++Y) {
      if (Dithering()) DitherNextRow(Y);
      for (int I = 0; I < W; ++I)
        WriteColor((Y % 2) == 0 ? I : W - 1 - I, Y, C);
    }
    Changed();
    return;
  }
  {
    TProgressScope Progress(*this);
    const long double A = (W - 1) / 2.0L, B = (H - 1) / 2.0L;
    for (int Y = 0; Y < H; ++Y) {
      if (Dithering()) DitherNextRow(Y);
      const bool LeftToRight = (Y % 2) == 0;
      for (int I = 0; I < W; ++I) {
        const int X = LeftToRight ? I : W - 1 - I;
        TRGB P = S->GetPixelColor(X, Y);
        if (!Oval) {
          for (int64_t D : {int64_t(Y), int64_t(H - 1 - Y), int64_t(X), int64_t(W - 1 - X)})
            if (auto F = EdgeFactor(D, BW)) P = Blend(P, C, *F);
        } else {
          const long double DX = X - A, DY = Y - B;
          long double EX, EY;
          if (DX == 0) {
            EX = 0;
            EY = DY < 0 ? -B : B;
          } else {
            const long double Q = DY / DX;
            EX = std::copysign(B / std::sqrt((B / A) * (B / A) + Q * Q), DX);
            EY = EX * Q;
          }
          if (std::fabs(DX) > std::fabs(EX) || std::fabs(DY) > std::fabs(EY)) {
            P = C;
          } else {
            const long double K =
                std::sqrt((DX - EX) * (DX - EX) * B / A + (DY - EY) * (DY - EY) * A / B);
            if (K < BW - 1) P = Blend(P, C, int64_t(std::floor((BW - 1 - K) * 1024 / (BW - 1))));
          }
        }
        WriteColor(X, Y, P);
      }
      if (DoProgress(Y, H - 1)) break;
    }
  }
  Changed();
}

} // namespace orbisk
