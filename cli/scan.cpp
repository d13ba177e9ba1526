// orbisk-cli scan: the scanner without windows. "scan --list" prints the devices; "scan OUT"
// scans one picture with the device's settings (or the ones given) and saves it as OUT.
#include "cli/commands.h"

#include "engine/pixelgraphic.h"
#include "platform/scanner.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace orbisk {

int RunScanCommand(const std::vector<std::string>& Args) {
  const ParsedArgs P = ParseArgs(Args, {"--list"}, {"--device", "--mode", "--resolution"});
  bool List = false;
  TScanSettings Settings;
  for (const auto& [Name, Value] : P.Options) {
    if (Name == "--list") {
      List = true;
    } else if (Name == "--device") {
      Settings.Device = QByteArray::fromStdString(Value);
    } else if (Name == "--mode") {
      if (Value != "Color" && Value != "Gray" && Value != "Lineart")
        throw std::runtime_error("--mode takes Color, Gray or Lineart, not \"" + Value + "\"");
      Settings.Mode = QString::fromStdString(Value);
    } else if (Name == "--resolution") {
      char* End = nullptr;
      const double V = std::strtod(Value.c_str(), &End);
      if (Value.empty() || *End || !(V >= 1 && V <= 100000))
        throw std::runtime_error("--resolution needs dots per inch from 1 to 100000, not \"" +
                                 Value + "\"");
      Settings.Resolution = V;
    }
  }
  TScanner& S = Scanner();
  QString Error;
  if (List) {
    if (!P.Files.empty()) throw std::runtime_error("scan --list takes no file");
    const std::vector<TScanDevice> Devices = S.ListDevices(&Error);
    if (!Error.isEmpty()) throw std::runtime_error(Error.toStdString());
    for (const TScanDevice& D : Devices)
      std::printf("%s\t%s\t%s\t%s\n", D.Name.constData(), D.Vendor.toUtf8().constData(),
                  D.Model.toUtf8().constData(), D.Type.toUtf8().constData());
    return 0;
  }
  if (P.Files.size() != 1) throw std::runtime_error("scan needs one OUT file (or --list)");
  const TNativeBitmap Bitmap = S.AcquireWithSettings(Settings, &Error);
  if (Bitmap.empty())
    throw std::runtime_error(Error.isEmpty() ? "the scan gave no picture" : Error.toStdString());
  TPixelGraphic G;
  G.LoadFromPackedDIB(Bitmap.data(), Bitmap.size());
  G.SaveToFile(P.Files.front());
  return 0;
}

} // namespace orbisk
