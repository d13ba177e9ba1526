// A small EXIF block with the camera, the stored date and the date taken, for the search tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orbisk::test {

// A little-endian TIFF-structured EXIF block: IFD0 with Make, Model, DateTime and the link to an
// Exif directory holding DateTimeOriginal (any of them left out when empty).
inline std::vector<uint8_t> Exif(const std::string& Make, const std::string& Model,
                                 const std::string& Stored, const std::string& Original) {
  struct TField {
    uint16_t Tag;
    std::string Text; // Ascii; empty for the Exif link
  };
  std::vector<TField> Main, Sub;
  if (!Make.empty()) Main.push_back({271, Make});
  if (!Model.empty()) Main.push_back({272, Model});
  if (!Stored.empty()) Main.push_back({306, Stored});
  if (!Original.empty()) Sub.push_back({36867, Original});
  Main.push_back({34665, ""});
  std::vector<uint8_t> B = {'I', 'I', 42, 0, 8, 0, 0, 0};
  auto Put16 = [&](size_t At, uint32_t V) {
    B[At] = uint8_t(V);
    B[At + 1] = uint8_t(V >> 8);
  };
  auto Put32 = [&](size_t At, uint32_t V) {
    for (int I = 0; I < 4; ++I)
      B[At + size_t(I)] = uint8_t(V >> (8 * I));
  };
  // Writes a directory at the end of B with its strings behind it; returns where the Exif
  // link's value sits (0 when none).
  auto Directory = [&](const std::vector<TField>& Fields) {
    const size_t Start = B.size();
    B.resize(Start + 2 + Fields.size() * 12 + 4, 0);
    Put16(Start, uint32_t(Fields.size()));
    size_t Link = 0;
    for (size_t I = 0; I < Fields.size(); ++I) {
      const size_t E = Start + 2 + I * 12;
      Put16(E, Fields[I].Tag);
      if (Fields[I].Text.empty()) {
        Put16(E + 2, 4); // Long
        Put32(E + 4, 1);
        Link = E + 8;
        continue;
      }
      Put16(E + 2, 2); // Ascii
      Put32(E + 4, uint32_t(Fields[I].Text.size() + 1));
      Put32(E + 8, uint32_t(B.size()));
      B.insert(B.end(), Fields[I].Text.begin(), Fields[I].Text.end());
      B.push_back(0);
    }
    return Link;
  };
  const size_t Link = Directory(Main);
  Put32(Link, uint32_t(B.size()));
  Directory(Sub);
  return B;
}

} // namespace orbisk::test
