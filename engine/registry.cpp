#include "engine/registry.h"
#include "engine/colorprofile.h"
#include "engine/imagemetadata.h"
#include "engine/safefile.h"
#include "engine/formats/bmp.h"
#include "engine/formats/formats.h"
#include "engine/optimizedpalette.h"
#include "engine/stream.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace orbisk {

// ---------------------------------------------------------------------------------------------
// helpers

std::string LowerCase(std::string S) {
  for (auto& C : S)
    C = char(std::tolower(static_cast<unsigned char>(C)));
  return S;
}

std::string UpperCase(std::string S) {
  for (auto& C : S)
    C = char(std::toupper(static_cast<unsigned char>(C)));
  return S;
}

std::string FileExtension(const std::string& FileName) {
  auto Slash = FileName.find_last_of('/');
  auto Dot = FileName.find_last_of('.');
  if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash)) return "";
  return LowerCase(FileName.substr(Dot + 1));
}

static std::string StripDot(const std::string& Ext) {
  return LowerCase(!Ext.empty() && Ext[0] == '.' ? Ext.substr(1) : Ext);
}

// ---------------------------------------------------------------------------------------------
// the lists

namespace {

struct Lists {
  std::vector<std::unique_ptr<TFileFormatReader>> Readers;
  std::vector<std::unique_ptr<TFileFormatWriter>> Writers;
  std::unique_ptr<TFileFormatReader> BMPReader;
  std::unique_ptr<TFileFormatWriter> BMPWriter;
};

std::mutex ListMutex;
bool Filling = false; // the format modules are adding their readers and writers

Lists& TheLists() {
  static Lists L;
  return L;
}

void FillLists() {
  Lists& L = TheLists();
  L.Readers.clear();
  L.Writers.clear();
  Filling = true;
  // Readers and writers are added in the program's fixed order; lists are kept in extension
  // order for use.
  RegisterBMPFormats();
  RegisterJPEGFormats();
  RegisterPNGFormats();
  RegisterPCXFormats();
  RegisterPxMFormats();
  RegisterTGAFormats();
  RegisterTIFFFormats();
  RegisterMetafileFormats();
  RegisterGIFFormats();
  RegisterICOFormats();
  // Formats beyond the classic ones; each recognises its content from the first bytes.
  RegisterWebPFormats();
  RegisterAVIFFormats();
  RegisterHEIFFormats();
  RegisterJXLFormats();
  L.BMPReader = MakeBMPReader();
  L.BMPWriter = MakeBMPWriter();
  Filling = false;
}

void EnsureLists() {
  static std::once_flag Once;
  std::call_once(Once, [] {
    CheckMessageTable();
    FillLists();
  });
}

template <class T> void SortByExtension(std::vector<std::unique_ptr<T>>& V) {
  std::stable_sort(V.begin(), V.end(), [](const auto& A, const auto& B) {
    if (A->ListGroup != B->ListGroup) return A->ListGroup < B->ListGroup;
    return LowerCase(A->Extension) < LowerCase(B->Extension);
  });
}

} // namespace

void RegisterReader(std::unique_ptr<TFileFormatReader> R) {
  if (!Filling) EnsureLists();
  auto& V = TheLists().Readers;
  V.push_back(std::move(R));
  SortByExtension(V);
}

void RegisterWriter(std::unique_ptr<TFileFormatWriter> W) {
  if (!Filling) EnsureLists();
  auto& V = TheLists().Writers;
  V.push_back(std::move(W));
  SortByExtension(V);
}

std::vector<TFileFormatReader*> FileFormatReaders() {
  EnsureLists();
  std::vector<TFileFormatReader*> Out;
  for (auto& R : TheLists().Readers)
    Out.push_back(R.get());
  return Out;
}

std::vector<TFileFormatWriter*> FileFormatWriters() {
  EnsureLists();
  std::vector<TFileFormatWriter*> Out;
  for (auto& W : TheLists().Writers)
    Out.push_back(W.get());
  return Out;
}

// The tests' hooks (declared in tests/common/registryhooks.h, not for the program).
void ClearWritersForTest() {
  EnsureLists();
  TheLists().Writers.clear();
}

void ResetFormatLists() {
  EnsureLists();
  std::lock_guard<std::mutex> Lock(ListMutex);
  FillLists();
}

TFileFormatReader& StreamingBMPReader() {
  EnsureLists();
  if (!TheLists().BMPReader) throw EPGUnknownFileFormat(EngineMessage(msgUnknownFileFormat));
  return *TheLists().BMPReader;
}

TFileFormatWriter& StreamingBMPWriter() {
  EnsureLists();
  if (!TheLists().BMPWriter) throw EPGUnknownExtension(EngineMessage(msgUnknownExtension, "bmp"));
  return *TheLists().BMPWriter;
}

void TFileFormatReader::GetInfo(TPGStream& /*Stream*/, int /*Index*/, TGraphicFileInfo& Info,
                                const TReadOptions& /*Options*/) {
  Info.GraphicCount = 1;
  Info.BitsPerPixel = 0;
  Info.Height = 0;
  Info.Width = 0;
  Info.Colors.clear();
  Info.Options.clear();
  Info.SubType.clear();
}

// ---------------------------------------------------------------------------------------------
// reader and writer choice

TFileFormatReader* FindReader(TPGStream& Stream, const std::string& Extension) {
  std::string Ext = StripDot(Extension);
  int64_t Pos = 0;
  try {
    Pos = Stream.Position();
    uint8_t Header[kHeaderSniffSize] = {};
    size_t N = 0;
    try {
      N = Stream.Read(Header, sizeof Header);
    } catch (...) {
      Stream.SetPosition(Pos);
      throw;
    }
    (void)N;
    Stream.SetPosition(Pos);
    auto Readers = FileFormatReaders();
    for (auto* R : Readers)
      if (R->CanSniff && R->Sniff(Header)) return R;
    if (!Ext.empty())
      for (auto* R : Readers)
        if (!R->CanSniff && LowerCase(R->Extension) == Ext) return R;
  } catch (...) {
    try {
      Stream.SetPosition(Pos);
    } catch (...) {
    }
  }
  return nullptr;
}

TFileFormatWriter* FindWriter(const std::string& Extension) {
  std::string Ext = StripDot(Extension);
  auto Writers = FileFormatWriters();
  if (Writers.empty())
    throw EPGFileFormatWritersEmpty(EngineMessage(msgIsEmpty, "FileFormatWriters"));
  for (auto* W : Writers)
    if (LowerCase(W->Extension) == Ext) return W;
  throw EPGUnknownExtension(EngineMessage(msgUnknownExtension, Ext));
}

std::string ColorResolutionName(int R) {
  if (R < 0 || R > 7) return "";
  return EngineMessage(msgBlackAndWhite + R);
}

int FallbackResolution(int R, const std::set<int>& Can) {
  static const int Order[8][8] = {{0, 1, 2, 3, 4, 5, 6, 7}, {1, 4, 6, 7, 3, 0, 2, 5},
                                  {2, 4, 5, 6, 7, 3, 0, 1}, {3, 4, 6, 7, 2, 5, 0, 1},
                                  {4, 6, 7, 3, 2, 5, 0, 1}, {5, 6, 7, 2, 4, 3, 0, 1},
                                  {6, 7, 4, 3, 5, 2, 0, 1}, {7, 6, 4, 3, 5, 2, 0, 1}};
  if (R < 0 || R > 7) return -1;
  for (int T : Order[R])
    if (Can.count(T)) return T;
  return -1;
}

std::unique_ptr<TPixelGraphic> ConvertToResolution(TPixelGraphic& Source, int T) {
  auto C = std::make_unique<TPixelGraphic>();
  C->OnProgressStart = Source.OnProgressStart;
  C->OnProgress = Source.OnProgress;
  C->OnProgressEnd = Source.OnProgressEnd;
  static const int Codes[8] = {0, 0, 1, 1, 1, 2, 2, 3};
  if (T < 0 || T > 7) throw EPixelGraphic(EngineMessage(msgInvalidColorResolution));
  int Code = Codes[T];
  C->SetSize(0, 0, Code);
  switch (T) {
  case 0:
    C->SetPaletteKind(pBlackWhite);
    break;
  case 1:
    BuildOptimizedPalette(*C, Source, 2, false);
    break;
  case 2:
    C->SetPaletteKind(pGray16);
    break;
  case 3:
    C->SetPaletteKind(pSys16);
    break;
  case 4:
    BuildOptimizedPalette(*C, Source, 16, false);
    break;
  case 5:
    C->SetPaletteKind(pGray256);
    break;
  case 6:
    BuildOptimizedPalette(*C, Source, 252, true);
    break;
  default:
    break;
  }
  C->SetSize(Source.Width(), Source.Height(), Code);
  C->StretchFrom(Source);
  C->RecognisePaletteKind();
  return C;
}

// ---------------------------------------------------------------------------------------------
// prompts and warnings

namespace {
TEnginePrompt& PromptSlot() {
  static TEnginePrompt P;
  return P;
}
} // namespace

void SetEnginePrompt(TEnginePrompt Prompt) {
  PromptSlot() = std::move(Prompt);
}

bool EnginePrompt(const std::string& Caption, const std::string& Text, bool WithCancel) {
  if (PromptSlot()) return PromptSlot()(Caption, Text, WithCancel);
  return !WithCancel;
}

TWarningResult ReadWarning(const TPixelGraphic& Image, const std::string& Caption,
                           const std::string& Text) {
  switch (Image.ReadWarningAction) {
  case pgwaIgnore:
    return wrContinue;
  case pgwaOKBox:
    EnginePrompt(Caption, Text, false);
    return wrContinue;
  case pgwaOKCancelBox:
    return EnginePrompt(Caption, Text, true) ? wrContinue : wrCancelled;
  default:
    return wrRaise;
  }
}

void ApplyReadWarning(const TPixelGraphic& Image, const std::string& Caption,
                      const std::string& Shown, const std::string& Text,
                      const std::function<void(const std::string&)>& Raise) {
  switch (ReadWarning(Image, Caption, Shown)) {
  case wrContinue:
    return;
  case wrCancelled:
    Raise(EngineMessage(msgOperationAborted));
    break;
  case wrRaise:
    Raise(Text);
    break;
  }
}

// ---------------------------------------------------------------------------------------------
// loading

void TPixelGraphic::LoadFromFileIndex(const std::string& FileName, int Index,
                                      const TReadOptions& Options) {
  {
    TPGFileStream Stream(FileName, TFileMode::fmOpenRead);
    LoadFromStreamExt(Stream, FileExtension(FileName), Index, Options);
  }
  if (!Options.ColourProfiles || Empty()) return;
  const std::vector<uint8_t> Icc = ReadImageMetadata(FileName).Icc;
  if (Icc.empty()) return;
  std::string Why;
  if (ConvertToSRGB(*this, Icc, &Why) != TProfileResult::Ignored) return;
  const std::string Text = "The colour profile of \"" + FileName + "\" was ignored: " + Why;
  ApplyReadWarning(*this, EngineMessage(msgWarning), Text, Text,
                   [](const std::string& Message) { throw EPixelGraphic(Message); });
}

void TPixelGraphic::LoadFromStreamExt(TPGStream& Stream, const std::string& Ext, int Index,
                                      const TReadOptions& Options) {
  TUpdateScope Update(*this);
  SetSize(0, 0, 3);
  FileGamma = Options.ScreenGamma;
  // The read's own pixel limit holds while it runs.
  struct TLimitScope {
    int64_t& Limit;
    ~TLimitScope() { Limit = 0; }
  } LimitScope{FPixelLimit};
  FPixelLimit = Options.MaxPixelCount;
  // Transparency belongs to the file just read, never to the previous one.
  Transparent = false;
  TransparentColor = 0;
  TFileFormatReader* Reader = FindReader(Stream, Ext);
  if (!Reader) throw EPGUnknownFileFormat(EngineMessage(msgUnknownFileFormat));
  FullWidth = FullHeight = 0;
  Reader->ReadGraphic(Stream, *this, Index, Options);
  // Readers that reduce set the stored size themselves.
  if (FullWidth <= 0 || FullHeight <= 0) {
    FullWidth = Width();
    FullHeight = Height();
  }
  ApplyGamma(Options);
  RecognisePaletteKind();
}

// ---------------------------------------------------------------------------------------------
// saving

namespace {

// Chooses what to write (the picture or a converted copy) and hands it to Write.
void SaveThrough(TPixelGraphic& Image, const std::string& Extension,
                 const std::function<void(TFileFormatWriter&, TPixelGraphic&)>& Write) {
  TFileFormatWriter* W = FindWriter(Extension);
  Image.RecognisePaletteKind();
  int R = Image.ColorResolution();
  int T = FallbackResolution(R, W->CanWriteResolutions);
  if (T < 0)
    throw EPGCanWriteResolutionsEmpty(
        EngineMessage(msgIsEmpty, W->ClassName() + ".CanWriteResolutions"));
  if (T == R) {
    Write(*W, Image);
    return;
  }
  bool Go;
  std::string Text = EngineMessage(msgColorResWarning, W->Description, ColorResolutionName(R),
                                   ColorResolutionName(T));
  switch (Image.SaveColorResWarningAction) {
  case pgwaIgnore:
    Go = true;
    break;
  case pgwaOKBox:
    EnginePrompt(EngineMessage(msgWarning), Text, false);
    Go = true;
    break;
  case pgwaOKCancelBox:
    Go = EnginePrompt(EngineMessage(msgWarning), Text, true);
    break;
  default:
    Go = false;
  }
  if (!Go)
    throw EPGCannotWriteColorRes(
        EngineMessage(msgCannotWriteColorRes, W->Description, ColorResolutionName(R)));
  auto Copy = ConvertToResolution(Image, T);
  Copy->Metadata = Image.Metadata; // the converted copy is still the same picture
  Write(*W, *Copy);
}

} // namespace

void TPixelGraphic::SaveToFile(const std::string& FileName, const TWriteOptions& Options) {
  SaveThrough(*this, FileExtension(FileName), [&](TFileFormatWriter& W, TPixelGraphic& G) {
    TSafeFile File(FileName);
    {
      TPGFileStream Stream(File.Descriptor(), FileName);
      W.WriteGraphic(Stream, G, Options);
      Stream.Close();
    }
    File.Commit();
  });
}

void TPixelGraphic::SaveToStreamExt(TPGStream& Stream, const std::string& Ext,
                                    const TWriteOptions& Options) {
  SaveThrough(*this, Ext,
              [&](TFileFormatWriter& W, TPixelGraphic& G) { W.WriteGraphic(Stream, G, Options); });
}

// ---------------------------------------------------------------------------------------------
// file information and dialog filters

bool GetGraphicFileInfo(const std::string& FileName, int Index, TGraphicFileInfo& Info,
                        const TReadOptions& Options) {
  Info = TGraphicFileInfo{};
  if (FileName.empty() || FileName.back() == '/') return false;
  try {
    struct stat St;
    if (stat(FileName.c_str(), &St) != 0 || !S_ISREG(St.st_mode)) return false;
    TPGFileStream Stream(FileName, TFileMode::fmOpenRead);
    TFileFormatReader* R = FindReader(Stream, FileExtension(FileName));
    if (!R) return false;
    int64_t Pos = Stream.Position();
    TGraphicFileInfo Tmp;
    Tmp.Type = R->Description;
    R->GetInfo(Stream, Index, Tmp, Options);
    Tmp.Type = R->Description;
    Stream.SetPosition(Pos);
    Info = Tmp;
    return true;
  } catch (...) {
    Info = TGraphicFileInfo{};
    return false;
  }
}

std::string DefaultOpenFilter() {
  std::vector<TFileFormatReader*> Listed;
  for (auto* R : FileFormatReaders())
    if (R->Listed) Listed.push_back(R);
  std::string F;
  if (!Listed.empty()) {
    F += EngineMessage(msgImageFiles) + "|";
    for (size_t I = 0; I < Listed.size(); ++I)
      F += (I ? "; " : "") + std::string("*.") + LowerCase(Listed[I]->Extension);
    F += "|";
    for (auto* R : Listed)
      F += UpperCase(R->Extension) + " - " + R->Description + "|*." + LowerCase(R->Extension) + "|";
  }
  F += EngineMessage(msgAllFiles) + "|*.*";
  return F;
}

std::string DefaultSaveFilter() {
  std::string F;
  for (auto* W : FileFormatWriters())
    if (W->Listed)
      F += UpperCase(W->Extension) + " - " + W->Description + "|*." + LowerCase(W->Extension) + "|";
  return F;
}

std::string OpenFilterExtension(int FilterIndex) {
  std::vector<TFileFormatReader*> Listed;
  for (auto* R : FileFormatReaders())
    if (R->Listed) Listed.push_back(R);
  int I = FilterIndex - 2;
  return (I >= 0 && I < int(Listed.size())) ? LowerCase(Listed[size_t(I)]->Extension) : "";
}

std::string SaveFilterExtension(int FilterIndex) {
  std::vector<TFileFormatWriter*> Listed;
  for (auto* W : FileFormatWriters())
    if (W->Listed) Listed.push_back(W);
  int I = FilterIndex - 1;
  return (I >= 0 && I < int(Listed.size())) ? LowerCase(Listed[size_t(I)]->Extension) : "";
}

} // namespace orbisk
