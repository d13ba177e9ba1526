#include "engine/colorprofile.h"

#include "engine/parallel.h"

#include <lcms2.h>

#include <array>
#include <memory>

namespace orbisk {

namespace {

struct TProfileCloser {
  void operator()(void* P) const { cmsCloseProfile(P); }
};
struct TTransformCloser {
  void operator()(void* T) const { cmsDeleteTransform(T); }
};
using TProfile = std::unique_ptr<void, TProfileCloser>;
using TTransform = std::unique_ptr<void, TTransformCloser>;

// The profile's own description, "" when it has none.
std::string Description(cmsHPROFILE P) {
  char Text[256] = {};
  cmsGetProfileInfoASCII(P, cmsInfoDescription, "en", "US", Text, sizeof Text);
  return Text;
}

// sRGB profiles are recognised by their description (every maker calls them so) and, for the
// built-in one, by sharing its primaries and white point.
bool DescribesSRGB(cmsHPROFILE P) {
  if (cmsGetColorSpace(P) != cmsSigRgbData) return false;
  const std::string D = Description(P);
  if (D.find("sRGB") != std::string::npos) return true;
  TProfile Ref(cmsCreate_sRGBProfile());
  for (cmsTagSignature Tag : {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag,
                              cmsSigMediaWhitePointTag}) {
    auto* A = static_cast<const cmsCIEXYZ*>(cmsReadTag(P, Tag));
    auto* B = static_cast<const cmsCIEXYZ*>(cmsReadTag(Ref.get(), Tag));
    if (!A || !B) return false;
    constexpr double Tolerance = 0.0005;
    if (std::abs(A->X - B->X) > Tolerance || std::abs(A->Y - B->Y) > Tolerance ||
        std::abs(A->Z - B->Z) > Tolerance)
      return false;
  }
  // Same primaries: the tone curves decide; a plain gamma curve is not sRGB's.
  auto* Curve = static_cast<const cmsToneCurve*>(cmsReadTag(P, cmsSigRedTRCTag));
  if (!Curve) return false;
  const cmsFloat64Number G = cmsEstimateGamma(Curve, 0.01);
  return G > 2.1 && G < 2.3 && !cmsIsToneCurveLinear(Curve) &&
         std::abs(cmsEvalToneCurveFloat(Curve, 0.02f) - 0.02f / 12.92f) < 0.0005f;
}

// lcms reports through a process-wide handler; the engine gives its own text instead.
void QuietLcms() {
  static const bool Done = [] {
    cmsSetLogErrorHandler([](cmsContext, cmsUInt32Number, const char*) {});
    return true;
  }();
  (void)Done;
}

bool IsGrayPicture(const TPixelGraphic& G) {
  if (G.BitCount() <= 8) return G.IsGrayPalette();
  for (int Y = 0; Y < G.Height(); ++Y) {
    const uint8_t* Row = G.ScanLine(Y);
    for (int X = 0; X < G.Width(); ++X, Row += 3)
      if (Row[0] != Row[1] || Row[1] != Row[2]) return false;
  }
  return true;
}

} // namespace

bool IsSRGBProfile(const std::vector<uint8_t>& Icc) {
  if (Icc.empty()) return false;
  QuietLcms();
  TProfile P(cmsOpenProfileFromMem(Icc.data(), cmsUInt32Number(Icc.size())));
  return P && DescribesSRGB(P.get());
}

bool IsConvertingProfile(const std::vector<uint8_t>& Icc) {
  if (Icc.empty()) return false;
  QuietLcms();
  TProfile P(cmsOpenProfileFromMem(Icc.data(), cmsUInt32Number(Icc.size())));
  if (!P) return false;
  const cmsColorSpaceSignature Space = cmsGetColorSpace(P.get());
  return Space == cmsSigGrayData || (Space == cmsSigRgbData && !DescribesSRGB(P.get()));
}

TProfileResult ConvertToSRGB(TPixelGraphic& Picture, const std::vector<uint8_t>& Icc,
                             std::string* Why) {
  auto Ignore = [&](const char* Text) {
    if (Why) *Why = Text;
    return TProfileResult::Ignored;
  };
  if (Icc.empty() || Picture.Empty()) return TProfileResult::Unchanged;
  QuietLcms();
  TProfile Source(cmsOpenProfileFromMem(Icc.data(), cmsUInt32Number(Icc.size())));
  if (!Source) return Ignore("The colour profile cannot be read");
  const cmsColorSpaceSignature Space = cmsGetColorSpace(Source.get());
  if (Space == cmsSigRgbData && DescribesSRGB(Source.get())) return TProfileResult::Unchanged;
  TProfile Target(cmsCreate_sRGBProfile());
  const bool TrueColor = Picture.BitCount() == 24;

  if (Space == cmsSigGrayData) {
    if (!IsGrayPicture(Picture)) return Ignore("A grey colour profile on a colour picture");
    TTransform T(cmsCreateTransform(Source.get(), TYPE_GRAY_8, Target.get(), TYPE_RGB_8,
                                    INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
    if (!T) return Ignore("The colour profile cannot be applied");
    std::array<uint8_t, 256> Levels{};
    std::array<uint8_t, 256 * 3> Rgb{};
    for (int I = 0; I < 256; ++I)
      Levels[size_t(I)] = uint8_t(I);
    cmsDoTransform(T.get(), Levels.data(), Rgb.data(), 256);
    if (!TrueColor) {
      for (int I = 0; I < Picture.PaletteCount(); ++I) {
        const uint8_t V = uint8_t(RedOf(Picture.GetPaletteEntry(I)));
        Picture.SetPaletteEntry(I, RGBOf(Rgb[V * 3u], Rgb[V * 3u + 1], Rgb[V * 3u + 2]));
      }
    } else {
      ParallelBands(Picture.Height(), [&](int Begin, int End) {
        for (int Y = Begin; Y < End; ++Y) {
          uint8_t* P = Picture.ScanLine(Y);
          for (int X = 0; X < Picture.Width(); ++X, P += 3) {
            const uint8_t* C = &Rgb[P[0] * 3u];
            P[0] = C[2]; // blue, green, red
            P[1] = C[1];
            P[2] = C[0];
          }
        }
      });
    }
    Picture.Changed();
    return TProfileResult::Converted;
  }
  if (Space != cmsSigRgbData) return Ignore("The colour profile is not for RGB pictures");

  if (!TrueColor) {
    TTransform T(cmsCreateTransform(Source.get(), TYPE_RGB_8, Target.get(), TYPE_RGB_8,
                                    INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
    if (!T) return Ignore("The colour profile cannot be applied");
    for (int I = 0; I < Picture.PaletteCount(); ++I) {
      const TRGB C = Picture.GetPaletteEntry(I);
      uint8_t In[3] = {uint8_t(RedOf(C)), uint8_t(GreenOf(C)), uint8_t(BlueOf(C))}, Out[3] = {};
      cmsDoTransform(T.get(), In, Out, 1);
      Picture.SetPaletteEntry(I, RGBOf(Out[0], Out[1], Out[2]));
    }
    Picture.Changed();
    return TProfileResult::Converted;
  }
  TTransform T(cmsCreateTransform(Source.get(), TYPE_BGR_8, Target.get(), TYPE_BGR_8,
                                  INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
  if (!T) return Ignore("The colour profile cannot be applied");
  ParallelBands(Picture.Height(), [&](int Begin, int End) {
    for (int Y = Begin; Y < End; ++Y) {
      uint8_t* Row = Picture.ScanLine(Y);
      cmsDoTransform(T.get(), Row, Row, cmsUInt32Number(Picture.Width()));
    }
  });
  Picture.Changed();
  return TProfileResult::Converted;
}

} // namespace orbisk
