#include "platform/help.h"

#include "platform/prompt.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace orbisk {

namespace {

THelpOpener& Opener() {
  static THelpOpener O = [](const QUrl& U) { return QDesktopServices::openUrl(U); };
  return O;
}

} // namespace

QString HelpFileFor(const QString& AppDir) {
  const QStringList Candidates = {AppDir + "/../share/orbisk/help/orbisk.html",
                                  AppDir + "/orbisk.html"};
  for (const QString& C : Candidates)
    if (QFileInfo::exists(C)) return QDir::cleanPath(QFileInfo(C).absoluteFilePath());
  return QDir::cleanPath(QFileInfo(Candidates.first()).absoluteFilePath());
}

QString HelpFile() {
  return HelpFileFor(QCoreApplication::applicationDirPath());
}

QUrl HelpUrl(const QString& File, int Topic) {
  QUrl U = QUrl::fromLocalFile(File);
  if (Topic > 0) U.setFragment("topic-" + QString::number(Topic));
  return U;
}

bool ShowHelpTopic(int Topic, QWidget* Owner) {
  const QString File = HelpFile();
  if (!QFileInfo::exists(File)) {
    ShowMessage("The help file " + File + " was not found.", Owner);
    return false;
  }
  return Opener()(HelpUrl(File, Topic));
}

THelpOpener SetHelpOpener(THelpOpener O) {
  THelpOpener Old = std::move(Opener());
  Opener() = O ? std::move(O) : [](const QUrl& U) { return QDesktopServices::openUrl(U); };
  return Old;
}

} // namespace orbisk
