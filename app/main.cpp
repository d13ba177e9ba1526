// Start-up of the viewer; the windows arrive with the main window.
#include <QApplication>

int main(int argc, char** argv) {
  QApplication App(argc, argv);
  return 0;
}
