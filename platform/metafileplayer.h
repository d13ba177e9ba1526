// Metafile playback on the Linux desktop: WMF records through libwmf, EMF records through
// libemf2svg, both turned into SVG and drawn with QtSvg.
#pragma once

#include "engine/formats/metafile.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstddef>

namespace orbisk {

// Largest SVG text a metafile may turn into; a bigger one is refused as damaged.
constexpr size_t kMaxMetafileSvgBytes = size_t(64) << 20;

// The SVG drawing of M. WMF drawings are made for a Width x Height picture; EMF drawings come in
// reference-device pixels over the header's bounds. False with a reason when the library fails.
bool MetafileToSvg(const TMetafile& M, int Width, int Height, QByteArray& Svg, QString& Error);

// Draws M stretched onto the whole of Image (any 32-bit format; the caller fills the
// background). False with a reason when the records or their SVG cannot be drawn.
bool RenderMetafile(const TMetafile& M, QImage& Image, QString& Error);

class TQtMetafilePlayer : public TMetafilePlayer {
public:
  // The libraries run in a child process with limits on time and memory, so damaged records
  // cannot take the program down; only pixels come back.
  bool Isolated = true;
  int TimeoutMs = 20000;
  void Play(const TMetafile& M, TPixelGraphic& Target) override;
  // Why the last Play failed ("" after success).
  QString LastError;
};

// Installs TQtMetafilePlayer as the engine's player. Needs a QGuiApplication (fonts).
void InstallMetafilePlayer();

} // namespace orbisk
