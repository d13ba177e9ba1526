// orbisk-cli convert: load, apply the operations in command-line order, save.
#include "cli/commands.h"
#include "cli/exif_command.h"

#include "engine/formats/jpeg.h"
#include "engine/formats/pnm.h"
#include "engine/formats/tga.h"
#include "engine/formats/tiff.h"
#include "engine/imagemetadata.h"
#include "engine/orientation.h"
#include "engine/formats/webp.h"
#include "engine/pixelgraphic.h"
#include "engine/registry.h"
#include "processing/colorfilters.h"
#include "processing/colorresolution.h"
#include "processing/convfilter.h"
#include "processing/effects.h"
#include "processing/transforms.h"
#include "processing/gifwriter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cctype>
#include <cstdio>
#include <functional>
#include <iostream>
#include <stdexcept>

namespace orbisk {

namespace {

using TOperation = std::function<void(TPixelGraphic&)>;

struct TConvertJob {
  bool Yes = false;
  bool AutoOrient = false;
  bool Turns = false; // an operation turns or mirrors the pixels
  bool Interlace = false;
  bool HasTransparent = false;
  TRGB TransparentColor = 0;
  std::vector<TOperation> Operations; // in command-line order
  TReadOptions Read;                  // IN is read with these
  TWriteOptions Write;                // OUT is written with these
};

struct TOption {
  const char* Name;
  const char* Value; // nullptr for a flag
  const char* Help;
  std::function<void(const std::string&, TConvertJob&)> Apply;
};

long ParseInt(const std::string& Name, const std::string& S, long Lo, long Hi) {
  char* End = nullptr;
  long V = std::strtol(S.c_str(), &End, 10);
  if (S.empty() || *End || V < Lo || V > Hi)
    throw std::runtime_error(Name + " needs a whole number from " + std::to_string(Lo) + " to " +
                             std::to_string(Hi) + ", not \"" + S + "\"");
  return V;
}

// "WxH" with both numbers positive.
void ParseSize(const std::string& S, int& W, int& H) {
  auto X = S.find_first_of("xX");
  if (X == std::string::npos) throw std::runtime_error("--resize needs WxH, not \"" + S + "\"");
  W = int(ParseInt("--resize", S.substr(0, X), 1, 1000000));
  H = int(ParseInt("--resize", S.substr(X + 1), 1, 1000000));
}

// A new picture of W x H with the same depth and palette, resampled with the default mode.
void Resize(TPixelGraphic& G, int W, int H) {
  TPixelGraphic R;
  R.SetSize(0, 0, G.BitCountNum());
  if (G.BitCountNum() != 3) R.AssignPalette(G);
  R.SetSize(W, H, G.BitCountNum());
  R.StretchFrom(G);
  G.Assign(&R);
}

// "A,B,C": three numbers for a colour-model filter.
std::array<long double, 3> ParseTriple(const std::string& Name, const std::string& S) {
  std::array<long double, 3> V{};
  size_t Start = 0;
  for (int I = 0; I < 3; ++I) {
    size_t Comma = S.find(',', Start);
    if ((I < 2) != (Comma != std::string::npos))
      throw std::runtime_error(Name + " needs three numbers separated by commas, not \"" + S +
                               "\"");
    std::string Part =
        S.substr(Start, Comma == std::string::npos ? std::string::npos : Comma - Start);
    char* End = nullptr;
    V[size_t(I)] = std::strtold(Part.c_str(), &End);
    if (Part.empty() || *End || !std::isfinite(static_cast<double>(V[size_t(I)])))
      throw std::runtime_error(Name + " needs three numbers separated by commas, not \"" + S +
                               "\"");
    Start = Comma + 1;
  }
  return V;
}

int WholeIn(const std::string& Name, long double V, int Lo, int Hi) {
  if (V != std::floor(V) || V < Lo || V > Hi)
    throw std::runtime_error(Name + " takes whole numbers from " + std::to_string(Lo) + " to " +
                             std::to_string(Hi));
  return int(V);
}

// Colour filters run in place (palette pictures change their palette only).
template <class F> TOperation ColorFilter(std::function<void(F&)> Set) {
  return [Set](TPixelGraphic& G) {
    F Filter;
    Set(Filter);
    ApplyFilter(G, Filter, G);
  };
}

// Convolution filters make a new true-colour picture that replaces the old one.
TOperation Convolution(std::function<void(TConvFilter&)> Set) {
  return [Set](TPixelGraphic& G) {
    TConvFilter Filter;
    Set(Filter);
    TPixelGraphic Out;
    ApplyFilter(Out, Filter, G);
    G.Assign(&Out);
  };
}

template <class F> TOption PercentFilter(const char* Name, const char* Help) {
  return {Name, "A,B,C", Help, [Name](const std::string& V, TConvertJob& J) {
            auto T = ParseTriple(Name, V);
            int A = WholeIn(Name, T[0], -100, 100), B = WholeIn(Name, T[1], -100, 100),
                C = WholeIn(Name, T[2], -100, 100);
            J.Operations.push_back(ColorFilter<F>([=](F& Fl) { Fl.SetPercents(A, B, C); }));
          }};
}

template <class F> TOption ShiftFilter(const char* Name, const char* Help) {
  return {Name, "H,A,B", Help, [Name](const std::string& V, TConvertJob& J) {
            auto T = ParseTriple(Name, V);
            int H = WholeIn(Name, T[0], -180, 180), A = WholeIn(Name, T[1], -100, 100),
                B = WholeIn(Name, T[2], -100, 100);
            J.Operations.push_back(ColorFilter<F>([=](F& Fl) { Fl.SetShifts(H, A, B); }));
          }};
}

TOption ConvOption(const char* Name, const char* Help, std::function<void(TConvFilter&)> Set) {
  return {Name, nullptr, Help,
          [Set](const std::string&, TConvertJob& J) { J.Operations.push_back(Convolution(Set)); }};
}

const std::vector<TOption>& Options() {
  static const std::vector<TOption> O = {
      {"--resize", "WxH", "Resample into a new W x H picture of the same depth (precise mode).",
       [](const std::string& V, TConvertJob& J) {
         int W, H;
         ParseSize(V, W, H);
         J.Operations.push_back([W, H](TPixelGraphic& G) { Resize(G, W, H); });
       }},
      {"--yes", nullptr,
       "Answer OK when the writer cannot store the picture's colour resolution and offers a "
       "different one; without it nothing is written.",
       [](const std::string&, TConvertJob& J) { J.Yes = true; }},
      {"--auto-orient", nullptr,
       "Turn IN upright by its camera orientation (EXIF Orientation) before the other "
       "operations, wherever the option stands.",
       [](const std::string&, TConvertJob& J) { J.AutoOrient = true; }},
      {"--negative", nullptr, "Negative colours.",
       [](const std::string&, TConvertJob& J) {
         J.Operations.push_back(ColorFilter<TNegativeFilter>([](TNegativeFilter&) {}));
       }},
      {"--gray", nullptr, "Grey scale (weighted).",
       [](const std::string&, TConvertJob& J) {
         J.Operations.push_back(ColorFilter<TGrayScaleFilter>([](TGrayScaleFilter&) {}));
       }},
      {"--bcg", "B,C,G", "Brightness (-255..255), contrast and gamma (0.2..5).",
       [](const std::string& V, TConvertJob& J) {
         auto T = ParseTriple("--bcg", V);
         int B = WholeIn("--bcg brightness", T[0], -255, 255);
         if (T[1] < 0.2L || T[1] > 5 || T[2] < 0.2L || T[2] > 5)
           throw std::runtime_error("--bcg takes contrast and gamma from 0.2 to 5");
         long double C = T[1], Gm = T[2];
         J.Operations.push_back(ColorFilter<TBCGFilter>([=](TBCGFilter& F) {
           F.SetBrightness(B);
           F.SetContrast(C);
           F.SetGamma(Gm);
         }));
       }},
      PercentFilter<TRGBFilter>("--rgb", "Change red, green and blue by percentages (-100..100)."),
      PercentFilter<TCMYFilter>("--cmy", "Change cyan, magenta and yellow by percentages."),
      PercentFilter<TYCbCrFilter>("--ycbcr", "Change Y, Cb and Cr by percentages."),
      ShiftFilter<THLSFilter>("--hls", "Shift hue (degrees), lightness and saturation (%)."),
      ShiftFilter<THSVFilter>("--hsv", "Shift hue (degrees), saturation and value (%)."),
      {"--sharpen", "P", "Sharpen by P percent (10..100).",
       [](const std::string& V, TConvertJob& J) {
         long double P = ParseInt("--sharpen", V, 10, 100);
         J.Operations.push_back(
             Convolution([P](TConvFilter& F) { F.SetSharpenKernel(dsGaussian, true, P, 0.75L); }));
       }},
      ConvOption("--smooth", "Smooth.",
                 [](TConvFilter& F) { F.SetSmoothKernel(dsGaussian, true, 100, 1.3L); }),
      ConvOption("--detail", "Bring out detail.",
                 [](TConvFilter& F) { F.SetDetailKernel(dsGaussian, true, 75, 0.75L); }),
      ConvOption("--contour", "Contours on white.",
                 [](TConvFilter& F) { F.SetContourKernel(dsRect, true, true, 100, 1.0L); }),
      ConvOption("--blur", "Ring blur.", [](TConvFilter& F) { F.SetBlurKernel(100, 2.5L); }),
      {"--rotate", "DEG",
       "Turn clockwise by DEG degrees (right angles exactly, others smoothly into the bounding "
       "box).",
       [](const std::string& V, TConvertJob& J) {
         long double A;
         if (!ParseDecimal(V, A))
           throw std::runtime_error("--rotate needs a number of degrees, not \"" + V + "\"");
         J.Operations.push_back([A](TPixelGraphic& G) { RotatePicture(G, A); });
         J.Turns = true;
       }},
      {"--flip", "h|v", "Mirror left-right (h) or top-bottom (v).",
       [](const std::string& V, TConvertJob& J) {
         if (V != "h" && V != "v")
           throw std::runtime_error("--flip needs h or v, not \"" + V + "\"");
         const bool Horizontal = V == "h";
         J.Turns = true;
         J.Operations.push_back([Horizontal](TPixelGraphic& G) {
           if (Horizontal)
             FlipHorizontal(G);
           else
             FlipVertical(G);
         });
       }},
      {"--crop", "X,Y,W,H", "Keep the W x H area at (X, Y).",
       [](const std::string& V, TConvertJob& J) {
         int X, Y, W, H;
         char End;
         if (std::sscanf(V.c_str(), "%d,%d,%d,%d%c", &X, &Y, &W, &H, &End) != 4 || W <= 0 || H <= 0)
           throw std::runtime_error("--crop needs X,Y,W,H, not \"" + V + "\"");
         J.Operations.push_back([=](TPixelGraphic& G) { CropPicture(G, X, Y, W, H); });
       }},
      {"--gaussian", "R", "Gaussian blur of radius R (0..100; the picture becomes true colour).",
       [](const std::string& V, TConvertJob& J) {
         long double R;
         if (!ParseDecimal(V, R) || R <= 0 || R > 100)
           throw std::runtime_error("--gaussian needs a radius from 0 to 100, not \"" + V + "\"");
         J.Operations.push_back([R](TPixelGraphic& G) {
           ConvertToTrueColor(G);
           GaussianBlur(G, nullptr, float(R));
         });
       }},
      {"--emboss", nullptr, "Emboss (true-colour result).",
       [](const std::string&, TConvertJob& J) {
         J.Operations.push_back([](TPixelGraphic& G) { EmbossPicture(G); });
       }},
      {"--mosaic", "N", "Mosaic of N x N blocks (true-colour result).",
       [](const std::string& V, TConvertJob& J) {
         int N = int(ParseInt("--mosaic", V, 1, 100000));
         J.Operations.push_back([N](TPixelGraphic& G) { FastEffectPicture(G, feMosaic, N); });
       }},
      {"--fisheye", nullptr, "Fisheye (true-colour result).",
       [](const std::string&, TConvertJob& J) {
         J.Operations.push_back([](TPixelGraphic& G) { FisheyePicture(G); });
       }},
      {"--swirl", nullptr, "Swirl (true-colour result).",
       [](const std::string&, TConvertJob& J) {
         J.Operations.push_back([](TPixelGraphic& G) { SwirlPicture(G); });
       }},
      {"--bevel", "N", "Raised edge of N rings (true-colour result).",
       [](const std::string& V, TConvertJob& J) {
         int N = int(ParseInt("--bevel", V, 1, 100000));
         J.Operations.push_back([N](TPixelGraphic& G) {
           ConvertToTrueColor(G);
           Bevel(G, N);
         });
       }},
      {"--shadow", nullptr, "Drop shadow below and to the right (true-colour result).",
       [](const std::string&, TConvertJob& J) {
         J.Operations.push_back([](TPixelGraphic& G) { DropShadow(G); });
       }},
      {"--border", nullptr, "White border fading into grey (true-colour result).",
       [](const std::string&, TConvertJob& J) {
         J.Operations.push_back([](TPixelGraphic& G) { WhiteBorderPicture(G); });
       }},
      {"--colors", "N[:dither]",
       "Reduce to an optimized palette of N colours (2..256) in the smallest depth that holds "
       "them; with :dither the error is diffused.",
       [](const std::string& V, TConvertJob& J) {
         const auto Colon = V.find(':');
         const bool Dither = Colon != std::string::npos;
         int N = 0;
         if (!ParseColorCount(V.substr(0, Colon), 2, 256, N) ||
             (Dither && V.substr(Colon + 1) != "dither"))
           throw std::runtime_error("--colors needs N or N:dither with N from 2 to 256, not \"" +
                                    V + "\"");
         const TColorResolutionChoice C = OptimizedChoice(N, Dither);
         J.Operations.push_back([C](TPixelGraphic& G) {
           if (auto R = ApplyColorResolution(G, C)) G.Assign(R.get());
         });
       }},
      {"--posterize", "N", "At most N colours (2..256) with hard edges between them.",
       [](const std::string& V, TConvertJob& J) {
         const int N = int(ParseInt("--posterize", V, 2, 256));
         J.Operations.push_back([N](TPixelGraphic& G) {
           if (auto R = Posterize(G, N)) G.Assign(R.get());
         });
       }},
      {"--interlace", nullptr, "Write GIF files interlaced.",
       [](const std::string&, TConvertJob& J) { J.Interlace = true; }},
      {"--transparent", "RRGGBB",
       "GIF transparent colour (hexadecimal); the nearest colour of the written picture is used.",
       [](const std::string& V, TConvertJob& J) {
         if (V.size() != 6 || !std::all_of(V.begin(), V.end(),
                                           [](unsigned char C) { return std::isxdigit(C) != 0; }))
           throw std::runtime_error("--transparent needs RRGGBB, not \"" + V + "\"");
         J.HasTransparent = true;
         J.TransparentColor = RGBFromHex(uint32_t(std::stoul(V, nullptr, 16)));
       }},
      {"--quality", "N", "JPEG, WebP and AVIF quality 1..100 (default 80).",
       [](const std::string& V, TConvertJob& J) {
         J.Write.JPEGQuality = int(ParseInt("--quality", V, 1, 100));
       }},
      {"--webp-lossless", nullptr, "Write WebP files lossless (--quality is for lossy ones).",
       [](const std::string&, TConvertJob& J) { J.Write.WebPLossless = true; }},
      {"--progressive", nullptr, "Write progressive JPEG files.",
       [](const std::string&, TConvertJob& J) { J.Write.JPEGProgressive = true; }},
      {"--ascii", nullptr, "Write PBM, PGM and PPM files as text (the default).",
       [](const std::string&, TConvertJob& J) { J.Write.PxMWriteBinary = false; }},
      {"--binary", nullptr, "Write PBM, PGM and PPM files in binary form.",
       [](const std::string&, TConvertJob& J) { J.Write.PxMWriteBinary = true; }},
      {"--tga-rle", nullptr, "Write TGA files with run-length packets.",
       [](const std::string&, TConvertJob& J) { J.Write.TGAWriteRLE = true; }},
      {"--tga-raw", nullptr, "Write TGA files uncompressed.",
       [](const std::string&, TConvertJob& J) { J.Write.TGAWriteRLE = false; }},
      {"--tiff-compression", "none|packbits", "TIFF compression (default none).",
       [](const std::string& V, TConvertJob& J) {
         if (V == "none")
           J.Write.TIFFCompression = kTIFFCompressionNone;
         else if (V == "packbits")
           J.Write.TIFFCompression = kTIFFCompressionPackBits;
         else
           throw std::runtime_error("--tiff-compression takes none or packbits");
       }},
      {"--tiff-byte-order", "ii|mm", "TIFF byte order: ii (little-endian, default) or mm.",
       [](const std::string& V, TConvertJob& J) {
         if (V == "ii" || V == "II")
           J.Write.TIFFBigEndian = false;
         else if (V == "mm" || V == "MM")
           J.Write.TIFFBigEndian = true;
         else
           throw std::runtime_error("--tiff-byte-order takes ii or mm");
       }},
      {"--tiff-cmyk", nullptr, "Write true-colour TIFF files as CMYK.",
       [](const std::string&, TConvertJob& J) { J.Write.TIFFWriteCMYK = true; }},
      {"--tiff-white-is-zero", nullptr, "Write grey and bilevel TIFF files as WhiteIsZero.",
       [](const std::string&, TConvertJob& J) { J.Write.TIFFWhiteIsZero = true; }},
      {"--tiff-dpi", "N", "TIFF resolution in pixels per inch (default 300).",
       [](const std::string& V, TConvertJob& J) {
         uint32_t D = uint32_t(ParseInt("--tiff-dpi", V, 1, 1000000));
         J.Write.TIFFResolutionUnit = 1;
         J.Write.TIFFXResolution = J.Write.TIFFYResolution = {D, 1};
       }},
      // Reading IN: the choices the editor's save options window offers.
      {"--no-gamma", nullptr, "Read IN without gamma correction (PNG files with a gAMA chunk).",
       [](const std::string&, TConvertJob& J) { J.Read.GammaCorrectionOnRead = false; }},
      {"--screen-gamma", "G", "Display gamma that reading corrects for, 0.1..10 (default 1.8).",
       [](const std::string& V, TConvertJob& J) {
         long double G;
         if (!ParseDecimal(V, G) || !(G >= 0.1L && G <= 10))
           throw std::runtime_error("--screen-gamma needs a number from 0.1 to 10, not \"" + V +
                                    "\"");
         J.Read.ScreenGamma = G;
       }},
      {"--jpeg-dct", "fast|int|float", "JPEG decoding method for IN (default int).",
       [](const std::string& V, TConvertJob& J) {
         if (V == "int")
           J.Read.JPEGReadDCTMethod = 0;
         else if (V == "fast")
           J.Read.JPEGReadDCTMethod = 1;
         else if (V == "float")
           J.Read.JPEGReadDCTMethod = 2;
         else
           throw std::runtime_error("--jpeg-dct takes fast, int or float");
       }},
  };
  return O;
}

} // namespace

std::string FormatOptionsHelp() {
  std::string H = "\nOptions of convert (applied in the order given):\n";
  for (const auto& O : Options()) {
    std::string Head = std::string("  ") + O.Name + (O.Value ? std::string(" ") + O.Value : "");
    if (Head.size() < 26)
      Head.resize(26, ' ');
    else
      Head += "\n" + std::string(26, ' ');
    H += Head + O.Help + "\n";
  }
  return H;
}

int RunConvertCommand(const std::vector<std::string>& Args) {
  std::vector<std::string> Flags, Valued;
  for (const auto& O : Options())
    (O.Value ? Valued : Flags).push_back(O.Name);
  ParsedArgs P = ParseArgs(Args, Flags, Valued);
  if (P.Files.size() != 2) throw std::runtime_error("convert needs IN and OUT");
  TConvertJob Job;
  for (const auto& [Name, Value] : P.Options)
    for (const auto& O : Options())
      if (Name == O.Name) O.Apply(Value, Job);

  // Warnings are shown on stderr; the one question the engine asks (a different colour
  // resolution when saving) is answered by --yes.
  SetEnginePrompt(
      [Yes = Job.Yes](const std::string& Caption, const std::string& Text, bool WithCancel) {
        std::string Flat = Text;
        for (auto& C : Flat)
          if (C == '\r') C = '\n';
        std::fprintf(stderr, "%s: %s\n", Caption.c_str(), Flat.c_str());
        if (WithCancel && !Yes) std::fprintf(stderr, "(not confirmed: use --yes to accept)\n");
        return !WithCancel || Yes;
      });

  TPixelGraphic Picture;
  Picture.ReadWarningAction = pgwaOKBox;
  PrepareToRead(P.Files[0]);
  Picture.LoadFromFile(P.Files[0], Job.Read);
  const bool TurnedUpright = Job.AutoOrient && Picture.ExifOrientation != 1;
  if (Job.AutoOrient) AutoOrient(Picture);
  for (auto& Op : Job.Operations)
    Op(Picture);
  if (FileExtension(P.Files[1]) == "gif") {
    // As the picture converter writes GIF files: 252 optimized colours ending with the 16
    // system colours, dithered.
    auto Reduced = PrepareGIFPicture(Picture);
    if (!Reduced) throw std::runtime_error(GIFErrorText(gifEmptyPicture));
    TRGB T = Job.TransparentColor;
    if (Job.HasTransparent) T = Reduced->GetPaletteEntry(Reduced->GetNearestPaletteIndex(T));
    int Code = 0;
    std::string WriteError;
    if (!WriteGIF(P.Files[1], *Reduced, Job.Interlace, T, Job.HasTransparent, &Code, &WriteError))
      throw std::runtime_error(!WriteError.empty() ? WriteError
                                                   : std::string("GIF: ") + GIFErrorText(Code) +
                                                         " (code " + std::to_string(Code) + ")");
    return 0;
  }
  Picture.SaveColorResWarningAction = pgwaOKCancelBox;
  // The camera data, colour profile and XMP of IN, fitted to the pixels written.
  Picture.Metadata = ReadImageMetadata(P.Files[0]);
  FitMetadataToPicture(Picture.Metadata, Picture.Width(), Picture.Height(),
                       TurnedUpright || Job.Turns);
  Picture.SaveToFile(P.Files[1], Job.Write);
  return 0;
}

int RunExif(const std::vector<std::string>& Args) {
  return RunExifCommand(Args);
}

} // namespace orbisk
