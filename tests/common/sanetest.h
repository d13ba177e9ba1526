// SANE's own "test" backend for the scanner tests: a configuration folder written by the test
// (dll.conf naming only "test", and test.conf with the settings of each case), pointed at by
// SANE_CONFIG_DIR before SANE first starts in the process. Pictures from scanimage with the same
// settings are the reference.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace orbisk::test {

class TSaneTestConfig {
public:
  static TSaneTestConfig& Get() {
    static TSaneTestConfig C;
    return C;
  }
  QString Folder() const { return FDir.path(); }

  // Writes dll.conf ("test", or nothing) and test.conf: small pictures (40 × 30 mm at 25 dpi)
  // unless Settings says otherwise.
  void Write(const std::map<std::string, std::string>& Settings = {}, bool WithTest = true) {
    std::map<std::string, std::string> S = {{"number_of_devices", "2"},
                                            {"mode", "Color"},
                                            {"depth", "8"},
                                            {"hand-scanner", "false"},
                                            {"three-pass", "false"},
                                            {"three-pass-order", "RGB"},
                                            {"resolution_min", "1.0"},
                                            {"resolution_max", "1200.0"},
                                            {"resolution_quant", "1.0"},
                                            {"resolution", "25.0"},
                                            {"test-picture", "\"Color pattern\""},
                                            {"invert-endianess", "false"},
                                            {"read-limit", "false"},
                                            {"read-limit-size", "1"},
                                            {"read-delay", "false"},
                                            {"read-delay-duration", "1000"},
                                            {"read-status-code", "\"Default\""},
                                            {"fuzzy-parameters", "false"},
                                            {"ppl-loss", "0"},
                                            {"non-blocking", "false"},
                                            {"select-fd", "false"},
                                            {"enable-test-options", "false"},
                                            {"geometry_min", "0.0"},
                                            {"geometry_max", "200.0"},
                                            {"geometry_quant", "1.0"},
                                            {"tl_x", "0.0"},
                                            {"tl_y", "0.0"},
                                            {"br_x", "40.0"},
                                            {"br_y", "30.0"}};
    for (const auto& [K, V] : Settings)
      S[K] = V;
    std::ofstream(FDir.filePath("dll.conf").toStdString()) << (WithTest ? "test\n" : "");
    std::ofstream Conf(FDir.filePath("test.conf").toStdString());
    for (const auto& [K, V] : S)
      Conf << K << " " << V << "\n";
  }

private:
  TSaneTestConfig() {
    setenv("SANE_CONFIG_DIR", FDir.path().toLocal8Bit().constData(), 1);
    Write();
  }
  QTemporaryDir FDir;
};

// A picture from PNM bytes (P4, P5, P6; 8 or 16 bits, 16-bit samples reduced to their high byte)
// as rows of 0xRRGGBB.
struct TRefPicture {
  int Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;
  uint32_t At(int X, int Y) const { return Pixels[size_t(Y) * size_t(Width) + size_t(X)]; }
};

inline bool ParsePNM(const QByteArray& Data, TRefPicture& P) {
  size_t Pos = 0;
  auto Token = [&]() {
    std::string T;
    while (Pos < size_t(Data.size())) {
      const char C = Data[qsizetype(Pos)];
      if (C == '#') {
        while (Pos < size_t(Data.size()) && Data[qsizetype(Pos)] != '\n')
          ++Pos;
      } else if (std::isspace(static_cast<unsigned char>(C))) {
        if (!T.empty()) break;
        ++Pos;
      } else {
        T += C;
        ++Pos;
      }
    }
    return T;
  };
  const std::string Magic = Token();
  if (Magic != "P4" && Magic != "P5" && Magic != "P6") return false;
  P.Width = std::stoi(Token());
  P.Height = std::stoi(Token());
  const int Max = Magic == "P4" ? 1 : std::stoi(Token());
  ++Pos; // the one white-space byte before the samples
  const uint8_t* D = reinterpret_cast<const uint8_t*>(Data.constData()) + Pos;
  const size_t Left = size_t(Data.size()) - Pos;
  const size_t Bytes = Max > 255 ? 2 : 1;
  P.Pixels.assign(size_t(P.Width) * size_t(P.Height), 0);
  for (int Y = 0; Y < P.Height; ++Y)
    for (int X = 0; X < P.Width; ++X) {
      uint32_t V = 0;
      if (Magic == "P4") {
        const size_t I = size_t(Y) * size_t((P.Width + 7) / 8) + size_t(X / 8);
        if (I >= Left) return false;
        V = (D[I] >> (7 - X % 8)) & 1 ? 0 : 0xFFFFFF;
      } else {
        const size_t Channels = Magic == "P6" ? 3 : 1;
        const size_t I = (size_t(Y) * size_t(P.Width) + size_t(X)) * Channels * Bytes;
        if (I + Channels * Bytes > Left) return false;
        uint32_t C[3];
        for (size_t K = 0; K < 3; ++K)
          C[K] = D[I + (Channels == 3 ? K : 0) * Bytes]; // high byte
        V = C[0] << 16 | C[1] << 8 | C[2];
      }
      P.Pixels[size_t(Y) * size_t(P.Width) + size_t(X)] = V;
    }
  return true;
}

// scanimage's picture for the arguments (with the test configuration); false when scanimage is
// not installed.
inline bool ScanImageReference(const QStringList& Arguments, TRefPicture& P) {
  const QString Tool = QStandardPaths::findExecutable("scanimage");
  if (Tool.isEmpty()) return false;
  QProcess Run;
  Run.start(Tool, QStringList{"-d", "test:0", "--format=pnm"} + Arguments);
  if (!Run.waitForFinished(60000) || Run.exitCode() != 0) return false;
  return ParsePNM(Run.readAllStandardOutput(), P);
}

} // namespace orbisk::test
