// Readers and writers, the engine-wide lists, reader and writer choice, file information and
// the default dialog filters.
#pragma once

#include "engine/pixelgraphic.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace orbisk {

class TPGStream;

struct TGraphicFileInfo {
  std::string Type; // the reader's Description
  std::string SubType;
  std::string Options;
  int Width = 0;
  int Height = 0;
  std::string Colors; // "256", "64K", "16.7M", ...
  int BitsPerPixel = 0;
  int GraphicCount = 0;
};

class TFileFormatReaderWriter {
public:
  TFileFormatReaderWriter(std::string Ext, std::string Desc, bool IsListed = true)
      : Extension(std::move(Ext)), Description(std::move(Desc)), Listed(IsListed) {}
  virtual ~TFileFormatReaderWriter() = default;
  // Class name, used in messages such as "TTGAFileFormatWriter.CanWriteResolutions".
  virtual std::string ClassName() const = 0;
  std::string Extension; // lower case, no dot
  std::string Description;
  bool Listed;
  // 0: the engine's classic formats; 1: formats added later, kept after them in the lists (and
  // so in the dialog filters), so that the classic entries keep their places and filter indexes.
  int ListGroup = 0;
};

class TFileFormatReader : public TFileFormatReaderWriter {
public:
  using TFileFormatReaderWriter::TFileFormatReaderWriter;
  bool CanSniff = true;
  // Header holds the first 17 bytes of the data (zero-filled past its end).
  virtual bool Sniff(const uint8_t* /*Header*/) { return false; }
  // Decodes image number Index at the stream's position into Image, which was just emptied.
  // Everything the reader takes of its options comes from Options.
  virtual void ReadGraphic(TPGStream& /*Stream*/, TPixelGraphic& /*Image*/, int /*Index*/,
                           const TReadOptions& /*Options*/ = {}) {}
  // Describes image number Index without decoding it. Overrides call the base first.
  virtual void GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
                       const TReadOptions& Options = {});
};

class TFileFormatWriter : public TFileFormatReaderWriter {
public:
  using TFileFormatReaderWriter::TFileFormatReaderWriter;
  std::set<int> CanWriteResolutions; // colour resolutions 0..7
  virtual void WriteGraphic(TPGStream& Stream, TPixelGraphic& Image,
                            const TWriteOptions& Options = {}) = 0;
};

constexpr int kHeaderSniffSize = 17;

// The engine-wide lists (filled on first use), kept in ascending extension order within each
// list group.
std::vector<TFileFormatReader*> FileFormatReaders();
std::vector<TFileFormatWriter*> FileFormatWriters();
// Adds to the lists (the engine's own formats are added at start).
void RegisterReader(std::unique_ptr<TFileFormatReader> R);
void RegisterWriter(std::unique_ptr<TFileFormatWriter> W);

// The separate BMP reader and writer used for streaming and packed bitmaps.
TFileFormatReader& StreamingBMPReader();
TFileFormatWriter& StreamingBMPWriter();

// Reader choice: content first (17 header bytes, in extension order), then the extension for
// readers that cannot recognise content. The stream position is unchanged. nullptr: none.
TFileFormatReader* FindReader(TPGStream& Stream, const std::string& Extension);
// Writer by extension; raises EPGFileFormatWritersEmpty or EPGUnknownExtension.
TFileFormatWriter* FindWriter(const std::string& Extension);

// Name of colour resolution 0..7 ("black and white" ... "16.7 million colors").
std::string ColorResolutionName(int R);
// The first resolution of R's fall-back row that Can holds, or -1.
int FallbackResolution(int R, const std::set<int>& Can);
// Converts Source into colour resolution T on a new picture (the save fall-back's copy).
std::unique_ptr<TPixelGraphic> ConvertToResolution(TPixelGraphic& Source, int T);

// The answer to a warning box. The engine has no windows: a program installs a prompt; without
// one every OK/Cancel question is answered Cancel and OK-only boxes are skipped.
// Returns true for OK.
using TEnginePrompt =
    std::function<bool(const std::string& Caption, const std::string& Text, bool WithCancel)>;
void SetEnginePrompt(TEnginePrompt Prompt);
bool EnginePrompt(const std::string& Caption, const std::string& Text, bool WithCancel);

// A recoverable reader warning, handled as Image.ReadWarningAction says: pgwaIgnore gives
// wrContinue; pgwaOKBox shows the text with OK (EnginePrompt) and gives wrContinue; pgwaOKCancelBox
// asks with OK and Cancel and gives wrContinue or wrCancelled; pgwaRaise gives wrRaise. The
// reader then raises its own error for wrCancelled ("Operation aborted on user request") and
// wrRaise (the warning text).
enum TWarningResult { wrContinue, wrCancelled, wrRaise };
TWarningResult ReadWarning(const TPixelGraphic& Image, const std::string& Caption,
                           const std::string& Text);
// The usual reaction to a reader warning: asks (showing Shown) as ReadWarning does and returns to
// carry on; otherwise calls Raise, which throws the reader's own error, with the untagged
// message: "Operation aborted on user request" after Cancel, Text when the action raises.
void ApplyReadWarning(const TPixelGraphic& Image, const std::string& Caption,
                      const std::string& Shown, const std::string& Text,
                      const std::function<void(const std::string&)>& Raise);

bool GetGraphicFileInfo(const std::string& FileName, int Index, TGraphicFileInfo& Info,
                        const TReadOptions& Options = {});

std::string DefaultOpenFilter();
std::string DefaultSaveFilter();
std::string OpenFilterExtension(int FilterIndex);
std::string SaveFilterExtension(int FilterIndex);

// Lower-case extension of a file name, without the dot ("" when there is none).
std::string FileExtension(const std::string& FileName);
std::string LowerCase(std::string S);
std::string UpperCase(std::string S);

} // namespace orbisk
