// Moves or copies every file of one folder into another through the program's file operations
// (the same calls the file manager makes), for comparison with mv and cp.
//
//   fileops_tool move|copy SOURCE-FOLDER DESTINATION-FOLDER
#include "platform/fileops.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[1], "move") != 0 && std::strcmp(argv[1], "copy") != 0)) {
    std::fprintf(stderr, "usage: fileops_tool move|copy SOURCE-FOLDER DESTINATION-FOLDER\n");
    return 2;
  }
  QCoreApplication App(argc, argv);
  const bool Move = std::strcmp(argv[1], "move") == 0;
  const QString From = QFile::decodeName(argv[2]), To = QFile::decodeName(argv[3]);
  int Failed = 0;
  for (const QString& Name : QDir(From).entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
    try {
      if (Move)
        orbisk::MoveFile(From + "/" + Name, To + "/" + Name);
      else
        orbisk::CopyFile(From + "/" + Name, To + "/" + Name);
    } catch (const orbisk::EFileOp& E) {
      std::fprintf(stderr, "%s\n", E.what());
      ++Failed;
    }
  }
  return Failed ? 1 : 0;
}
