// orbisk-cli sheet: the sheet creator's Tessly sheet with the same options and rules.
#include "platform/filenames.h"
#include "cli/commands.h"

#include "thumbnails/tessly.h"

#include <QFile>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace orbisk {

namespace {

int IntOption(const std::string& Name, const std::string& Value, int Lo, int Hi, int Step) {
  char* End = nullptr;
  const long V = std::strtol(Value.c_str(), &End, 10);
  if (Value.empty() || *End || V < Lo || V > Hi || (V - Lo) % Step != 0)
    throw std::runtime_error(Name + " must be a number from " + std::to_string(Lo) + " to " +
                             std::to_string(Hi) +
                             (Step > 1 ? " in steps of " + std::to_string(Step) : ""));
  return static_cast<int>(V);
}

} // namespace

int RunSheetCommand(const std::vector<std::string>& Args) {
  ParsedArgs P = ParseArgs(
      Args, {"--no-names", "--no-sharpen", "--no-border", "--no-shadow", "--bevel"},
      {"--size", "--cols", "--hspace", "--vspace", "--title", "--footer", "--background"});
  if (P.Files.size() < 2) throw std::runtime_error("sheet needs OUT and at least one FILE");
  TTesslyOptions O;
  for (const auto& [Name, Value] : P.Options) {
    if (Name == "--size")
      O.Size = IntOption(Name, Value, kTesslyMinSize, kTesslyMaxSize, 1);
    else if (Name == "--cols")
      O.Cols = IntOption(Name, Value, 1, 20, 1);
    else if (Name == "--hspace")
      O.HSpace = IntOption(Name, Value, 5, 100, 5);
    else if (Name == "--vspace")
      O.VSpace = IntOption(Name, Value, 20, 100, 5);
    else if (Name == "--title")
      O.Title = true, O.TitleText = QString::fromStdString(Value);
    else if (Name == "--footer")
      O.Footer = true, O.FooterText = QString::fromStdString(Value);
    else if (Name == "--background")
      O.UseBGImage = true, O.BGImage = DecodeFileName(QByteArray::fromStdString(Value));
    else if (Name == "--no-names")
      O.IncFileNames = false;
    else if (Name == "--no-sharpen")
      O.AutoSharpen = false;
    else if (Name == "--no-border")
      O.AddBorder = false;
    else if (Name == "--no-shadow")
      O.DropShadow = false;
    else if (Name == "--bevel")
      O.Bevel = true;
  }
  const std::string Out = P.Files[0];
  std::vector<std::string> Sources(P.Files.begin() + 1, P.Files.end());
  if (TSourceFiles(Sources).Contains(Out))
    throw std::runtime_error(Out + " is one of the pictures of the sheet");

  // Text is drawn with the desktop's fonts: an offscreen application for this command only.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int Argc = 1;
  char Name[] = "orbisk-cli";
  char* Argv[] = {Name, nullptr};
  QGuiApplication App(Argc, Argv);

  QStringList Files;
  for (const auto& S : Sources) {
    PrepareToRead(S);
    Files << DecodeFileName(QByteArray::fromStdString(S));
  }
  int Status = 0;
  TTesslyEvents Events;
  Events.OnMessage = [&Status](const QString& Text) {
    std::fprintf(stderr, "%s\n", Text.toLocal8Bit().constData());
    Status = 1;
  };
  TTesslyLayout L;
  auto Sheet = GenerateTessly(Files, O, Events, &L);
  Sheet->SaveToFile(Out);
  std::printf("Tessly size : %d X %d\n", L.Width, L.Height);
  return Status;
}

} // namespace orbisk
