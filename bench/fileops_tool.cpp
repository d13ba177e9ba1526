// Moves or copies every file of one folder into another through the program's file operations
// (TransferFiles, the call the file manager makes: copies in groups with one sync each), for
// comparison with mv and cp.
//
//   fileops_tool move|copy SOURCE-FOLDER DESTINATION-FOLDER
#include "platform/fileops.h"
#include "platform/prompt.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Messages go to the standard error output and count as failures.
class TPrintPrompt : public orbisk::TPrompt {
public:
  int Messages = 0;
  void Message(QWidget*, const QString& Text) override {
    std::fprintf(stderr, "%s\n", Text.toUtf8().constData());
    ++Messages;
  }
  bool YesNo(QWidget*, const QString&) override { return false; }
};

} // namespace

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[1], "move") != 0 && std::strcmp(argv[1], "copy") != 0)) {
    std::fprintf(stderr, "usage: fileops_tool move|copy SOURCE-FOLDER DESTINATION-FOLDER\n");
    return 2;
  }
  QCoreApplication App(argc, argv);
  auto Prompt = std::make_unique<TPrintPrompt>();
  TPrintPrompt* Printed = Prompt.get();
  orbisk::SetPrompt(std::move(Prompt));
  orbisk::TTransferRequest R;
  R.SourceFolder = QFile::decodeName(argv[2]);
  R.DestinationFolder = QFile::decodeName(argv[3]);
  R.Names = QDir(R.SourceFolder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
  R.Move = std::strcmp(argv[1], "move") == 0;
  R.AutoRename = false;
  const orbisk::TTransferResult Result = orbisk::TransferFiles(R);
  const bool Failed = Printed->Messages > 0 || Result.Done != R.Names.size();
  orbisk::SetPrompt(nullptr);
  return Failed ? 1 : 0;
}
