// The filter driver and the colour filters with their colour-model conversions.
#include "processing/colorfilters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <random>

using namespace orbisk;

namespace {

void Random24(TPixelGraphic& G, int W, int H, unsigned Seed) {
  std::mt19937 Rng(Seed);
  G.SetSize(W, H, 3);
  for (int I = 0; I < W * H; ++I)
    G.SetPixelValue(I % W, I / W, Rng() & 0xFFFFFF);
}

int64_t Differences(const TPixelGraphic& A, const TPixelGraphic& B) {
  int64_t N = 0;
  for (int I = 0; I < A.Width() * A.Height(); ++I)
    N += A.GetPixelValue(I % A.Width(), I / A.Width()) !=
         B.GetPixelValue(I % A.Width(), I / A.Width());
  return N;
}

int Distance(TRGB A, TRGB B) {
  int D = 0;
  for (int S = 0; S < 24; S += 8)
    D = std::max(D, std::abs(int((A >> S) & 255) - int((B >> S) & 255)));
  return D;
}

template <class T> std::unique_ptr<TPGFilter> Make(const std::function<void(T&)>& Set) {
  auto F = std::make_unique<T>();
  Set(*F);
  return F;
}

// Every colour filter, set away from the identity.
std::vector<std::unique_ptr<TPGFilter>> ColourFilters() {
  std::vector<std::unique_ptr<TPGFilter>> V;
  V.push_back(std::make_unique<TNegativeFilter>());
  V.push_back(std::make_unique<TGrayScaleFilter>());
  V.push_back(Make<TGrayScaleFilter>([](auto& F) { F.RGBWeighting = false; }));
  V.push_back(Make<TBCGFilter>(
      [](auto& F) { F.SetBrightness(-20), F.SetContrast(1.6L), F.SetGamma(0.7L); }));
  V.push_back(
      Make<TBCGFilter>([](auto& F) { F.SetBrightness(30), F.SetContrast(0.7L), F.UseY = true; }));
  V.push_back(Make<TRGBFilter>([](auto& F) { F.SetPercents(10, -30, 55); }));
  V.push_back(Make<TCMYFilter>([](auto& F) { F.SetPercents(-40, 20, 5); }));
  V.push_back(Make<TYCbCrFilter>([](auto& F) { F.SetPercents(15, -25, 40); }));
  V.push_back(Make<THLSFilter>([](auto& F) { F.SetShifts(75, -10, 35); }));
  V.push_back(Make<THSVFilter>([](auto& F) { F.SetShifts(-120, 30, -15); }));
  return V;
}

// Counts the driver's calls and answers with fixed colours.
class TSpyFilter : public TPGFilter {
public:
  int Prepares = 0, Finishes = 0, Pixels = 0;
  bool Color = false;
  void Prepare(const TPixelGraphic& S) override { ++Prepares, TPGFilter::Prepare(S); }
  void Finish() override { ++Finishes, TPGFilter::Finish(); }
  bool IsColorFilter() const override { return Color; }
  TRGB FilterPixel(int, int) override { return ++Pixels, 0x0000FF; }
  TRGB FilterColor(TRGB) override { return 0x00FF00; }
};

} // namespace

TEST(ApplyFilter, InPlaceTwoPicturesAndPerPixelAgree) {
  TPixelGraphic S;
  Random24(S, 37, 11, 5);
  int Index = 0;
  for (const auto& F : ColourFilters()) {
    SCOPED_TRACE(Index++);
    TPixelGraphic Two, Inplace, PerPixel;
    ApplyFilter(Two, *F, S);
    Inplace.Assign(&S);
    ApplyFilter(Inplace, *F, Inplace);
    EXPECT_EQ(Differences(Two, Inplace), 0);
    PerPixel.SetSize(S.Width(), S.Height(), 3); // the row loops against FilterPixel
    F->Prepare(S);
    for (int I = 0; I < 37 * 11; ++I)
      PerPixel.SetPixelValue(I % 37, I / 37, F->FilterPixel(I % 37, I / 37));
    F->Finish();
    EXPECT_EQ(Differences(Two, PerPixel), 0);
  }
}

TEST(ApplyFilter, PalettePicturesChangeThePaletteNotTheIndices) {
  TPixelGraphic S;
  S.SetSize(5, 4, 2);
  S.SetPaletteCount(3);
  for (int I = 0; I < 3; ++I)
    S.SetPaletteEntry(I, RGBOf(10 + 90 * I, 200 - 50 * I, 30 * I));
  for (int I = 0; I < 20; ++I)
    S.SetPixelValue(I % 5, I / 5, uint32_t(I % 3));
  for (const auto& F : ColourFilters()) {
    TPixelGraphic D, Inplace;
    D.SetSize(1, 1, 2);
    ApplyFilter(D, *F, S); // becomes a copy first
    Inplace.Assign(&S);
    ApplyFilter(Inplace, *F, Inplace);
    for (TPixelGraphic* G : {&D, &Inplace}) {
      ASSERT_EQ(G->PaletteCount(), 3);
      EXPECT_EQ(Differences(*G, S), 0);
      for (int I = 0; I < 3; ++I)
        EXPECT_EQ(G->GetPaletteEntry(I), F->FilterColor(S.GetPaletteEntry(I)));
    }
  }
}

TEST(ApplyFilter, PathChoiceAndCallProtocol) {
  TPixelGraphic S8;
  S8.SetSize(4, 3, 2);
  S8.SetPaletteKind(pGray256);
  struct Case {
    bool Color;
    int DestDepth;
    bool PalettePath;
  } Cases[] = {{true, 2, true}, {true, 1, false}, {true, 3, false}, {false, 2, false}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Color << " into depth " << C.DestDepth);
    TSpyFilter F;
    F.Color = C.Color;
    TPixelGraphic D;
    D.SetSize(1, 1, C.DestDepth);
    if (C.DestDepth != 3) D.SetPaletteKind(pSys16);
    int Changes = 0;
    D.OnChange = [&](TPixelGraphic*) { ++Changes; };
    ApplyFilter(D, F, S8);
    EXPECT_TRUE(F.Prepares == 1 && F.Finishes == 1 && F.Source() == nullptr);
    EXPECT_EQ(F.Pixels, C.PalettePath ? 0 : 12);
    EXPECT_GE(Changes, 1);
    if (C.PalettePath)
      EXPECT_EQ(D.GetPaletteEntry(7), 0x00FF00u);
    else
      EXPECT_EQ(D.GetPixelColor(3, 2), 0x0000FFu); // nearest colour in a palette
  }
  TSpyFilter F;
  TPixelGraphic Empty, D;
  D.SetSize(3, 3, 3);
  ApplyFilter(D, F, Empty); // nothing to filter: the filter is never prepared
  EXPECT_EQ(F.Prepares, 0);
  Random24(D, 3, 3, 1);
  EXPECT_THROW(ApplyFilter(D, F, D), EPGFilter); // only colour filters may work in place
  EXPECT_EQ(F.Prepares, 0);
}

TEST(ApplyFilter, AbortKeepsTheRowsNotYetReached) {
  TPixelGraphic S, Done, D;
  Random24(S, 6, 9, 2);
  TNegativeFilter F;
  ApplyFilter(Done, F, S);
  D.Assign(&S);
  int Ends = 0, Changes = 0;
  D.OnProgress = [](TPixelGraphic*, int Step, bool& Abort, int Max) {
    Abort = Step == 3 && Max == 8;
  };
  D.OnProgressEnd = [&](TPixelGraphic*) { ++Ends; };
  D.OnChange = [&](TPixelGraphic*) { ++Changes; };
  ApplyFilter(D, F, D);
  EXPECT_EQ(Ends, 1);
  EXPECT_EQ(Changes, 1);
  for (int I = 0; I < 54; ++I)
    EXPECT_EQ(D.GetPixelColor(I % 6, I / 6), (I / 6 <= 3 ? Done : S).GetPixelColor(I % 6, I / 6))
        << I;
}

TEST(ApplyFilter, DitheredPaletteDestinationWritesLikeTheEnginesCopy) {
  // The identity through the pixel path must spread errors exactly as the engine's dithered
  // copy does: same serpentine order, same row hand-over.
  TPixelGraphic S;
  Random24(S, 23, 9, 4);
  for (TPaletteIdent Kind : {pBlackWhite, pSys16, pSpecial216}) {
    const int Depth = Kind == pBlackWhite ? 0 : Kind == pSys16 ? 1 : 2;
    TPixelGraphic ViaFilter, ViaCopy;
    for (TPixelGraphic* G : {&ViaFilter, &ViaCopy})
      G->SetSize(23, 9, Depth), G->SetPaletteKind(Kind);
    TRGBFilter Identity;
    ApplyFilter(ViaFilter, Identity, S);
    ViaCopy.CopyRect(0, 0, S, 0, 0, 23, 9);
    EXPECT_EQ(Differences(ViaFilter, ViaCopy), 0) << Kind;
  }
}

TEST(ColourFilters, WorkedColoursAndTables) {
  TGrayScaleFilter Weighted, Plain;
  Plain.RGBWeighting = false;
  TNegativeFilter Negative;
  EXPECT_EQ(Weighted.FilterColor(0xFFFFFF), 0xFFFFFFu);
  EXPECT_EQ(Weighted.FilterColor(RGBOf(1, 1, 1)), RGBOf(1, 1, 1));
  EXPECT_EQ(Plain.FilterColor(RGBOf(1, 1, 1)), RGBOf(1, 1, 1));
  EXPECT_EQ(Weighted.FilterColor(RGBOf(200, 100, 50)), RGBOf(124, 124, 124)); // 124.2
  EXPECT_EQ(Plain.FilterColor(RGBOf(200, 100, 50)), RGBOf(116, 116, 116));    // 116.7
  EXPECT_EQ(Negative.FilterColor(RGBOf(0, 100, 255)), RGBOf(255, 155, 0));
  EXPECT_EQ(PercentTable(10)[0], 25); // 10 * 255 div 100
  EXPECT_EQ(PercentTable(10)[240], 255);
  EXPECT_EQ(PercentTable(-10)[20], 0);

  const long double NaN = std::numeric_limits<long double>::quiet_NaN();
  const long double Inf = std::numeric_limits<long double>::infinity();
  struct Case {
    const char* Name;
    int Brightness;
    long double Contrast, Gamma;
    std::vector<std::pair<int, int>> Entries; // index, value
  } Cases[] = {
      {"brightness +100", 100, 1, 1, {{0, 255}, {1, 255}, {255, 255}}},
      {"brightness -100", -100, 1, 1, {{0, 0}, {254, 0}, {255, 0}}},
      {"contrast 5", 0, 5, 1, {{127, 125}, {128, 130}, {100, 0}, {160, 255}}},
      {"10 % adds 25.5: halves to even", 10, 1, 1, {{0, 26}, {1, 26}, {2, 28}, {230, 255}}},
      {"gamma 2", 0, 1, 2, {{0, 0}, {128, 64}, {255, 255}}},
      // Gamma 1 is a power like any other: exp(ln(186/255)) * 255 lies just below 186, so
      // 186 - 178.5 gives 7, not the 8 that exactly 7.5 would round to.
      {"gamma 1 computed as a power", -70, 1, 1, {{186, 7}, {0, 0}}},
      {"gamma 0", 0, 1, 0, {{0, 255}, {77, 255}}},
      {"album lightening", 30, 0.7L, 1, {{0, 115}, {100, 185}, {255, 255}}},
      {"inverted contrast", 0, -1, 1, {{0, 255}, {100, 155}, {255, 0}}},
      {"infinite contrast", 0, Inf, 1, {{0, 0}, {255, 255}}},
      {"gamma not a number", 0, 1, NaN, {{200, 0}}},
  };
  for (const auto& C : Cases) {
    TBCGFilter F;
    F.SetBrightness(C.Brightness);
    F.SetContrast(C.Contrast);
    F.SetGamma(C.Gamma);
    F.BuildTable();
    for (auto [I, V] : C.Entries)
      EXPECT_EQ(F.Table()[size_t(I)], V) << C.Name << ", index " << I;
  }
}

TEST(ColourFilters, NeutralTablesKeepColoursAndGreysStayGrey) {
  TRGBFilter Rgb;
  TCMYFilter Cmy;
  TYCbCrFilter YCbCr;
  THLSFilter Hls;
  THSVFilter Hsv;
  Hsv.SetShifts(360, 0, 0); // a full turn is no turn
  TPGFilter* Fs[] = {&Rgb, &Cmy, &YCbCr, &Hls, &Hsv};
  const int Allowed[] = {0, 0, 1, 1, 1}; // the floating-point models may round by one level
  for (int I = 0; I < 5; ++I)
    for (int C = 0; C < 0x1000000; C += 0x0F1105)
      EXPECT_LE(Distance(Fs[I]->FilterColor(C), C), Allowed[I]) << I << " " << C;

  Hls.SetShifts(90, 0, 100); // saturation table lifts 0 to full
  Hsv.SetShifts(-45, 100, 0);
  for (int V = 0; V < 256; ++V)
    for (TPGFilter* F : {static_cast<TPGFilter*>(&Hls), static_cast<TPGFilter*>(&Hsv)}) {
      const TRGB Out = F->FilterColor(RGBOf(V, V, V));
      EXPECT_TRUE(RedOf(Out) == GreenOf(Out) && GreenOf(Out) == BlueOf(Out)) << V;
      EXPECT_LE(Distance(Out, RGBOf(V, V, V)), 1) << V;
    }
  Hsv.SetShifts(120, 0, 0); // a third of the circle (85 of 256 steps) turns red into green
  EXPECT_LE(Distance(Hsv.FilterColor(RGBOf(255, 0, 0)), RGBOf(0, 255, 0)), 2);
  YCbCr.SetPercents(100, 0, 0);
  EXPECT_EQ(YCbCr.FilterColor(RGBOf(40, 40, 40)), 0xFFFFFFu);
}

TEST(ColourModels, EdgesRoundTripsAndLookups) {
  long double H, L, S, V, R, G, B;
  RGBToHLS(0.5L, 0.5L, 0.5L, H, L, S);
  EXPECT_TRUE(H == HueSentinel && S == 0);
  RGBToHSV(0, 0, 0, H, S, V);
  EXPECT_TRUE(H == HueSentinel && S == 0);
  EXPECT_THROW(HLSToRGB(30, 0.5L, 0, R, G, B), EPGSaturationHue);
  try {
    HSVToRGB(0, 0, 1, R, G, B);
    ADD_FAILURE();
  } catch (const EPGSaturationHue& E) {
    EXPECT_STREQ(E.what(), "Saturation=0 and Hue defined");
  }
  // Undefined or absurd hues neither hang nor give non-numbers.
  HSVToRGB(HueSentinel, 0.5L, 0.8L, R, G, B);
  EXPECT_TRUE(R == 0.8L && G == 0.8L && B == 0.8L);
  HSVToRGB(std::numeric_limits<long double>::infinity(), 0.5L, 0.8L, R, G, B);
  EXPECT_TRUE(std::isfinite(R) && std::isfinite(G) && std::isfinite(B));
  HSVToRGB(725, 1, 1, R, G, B); // 5 degrees
  EXPECT_TRUE(R == 1 && B == 0 && G > 0 && G < 0.1L);
  for (int C = 0; C < 0x1000000; C += 0x0B1733) {
    const long double r = RedOf(C) / 255.0L, g = GreenOf(C) / 255.0L, b = BlueOf(C) / 255.0L;
    auto Back = [&] { return std::max({std::fabs(R - r), std::fabs(G - g), std::fabs(B - b)}); };
    RGBToHLS(r, g, b, H, L, S);
    EXPECT_TRUE(H == HueSentinel || (H >= 0 && H < 360));
    HLSToRGB(H, L, S, R, G, B);
    EXPECT_LT(double(Back()), 1e-12) << C;
    RGBToHSV(r, g, b, H, S, V);
    HSVToRGB(H, S, V, R, G, B);
    EXPECT_LT(double(Back()), 1e-12) << C;
  }

  const TChannelTable Id = PercentTable(0), Up = PercentTable(10), Quarter = HueShiftTable(90);
  EXPECT_EQ(TableLookup(Id, 0.5L), 0.5L);
  EXPECT_NEAR(double(TableLookup(Up, 0.5L / 255)), 25.5 / 255, 1e-15); // between 25 and 26
  EXPECT_EQ(TableLookup(Up, -1e-18L), 25 / 255.0L);                    // never outside the table
  EXPECT_EQ(TableLookup(Up, 1.0000001L), 1);
  EXPECT_EQ(HueShiftTable(180), HueShiftTable(-180));
  for (auto [In, Out] : {std::pair{200, -160}, {-540, -180}, {180, 180}, {720, 0}, {-181, 179}})
    EXPECT_EQ(WrapHueShift(In), Out) << In;
  EXPECT_NEAR(double(HueLookup(Quarter, 10)), 100, 1e-9);
  EXPECT_NEAR(double(HueLookup(Quarter, 300)), 30, 1e-9); // past 360
  // Between entries 255 and 0 of the circle the lookup takes the short way round.
  EXPECT_NEAR(double(HueLookup(Id, 179.9L)), 179.9, 1e-9);
  EXPECT_NEAR(double(HueLookup(Quarter, 89.5L)), 179.5, 1e-9);
}
