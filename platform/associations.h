// "Associate": makes the program the user's default application for picture types, the
// freedesktop way: a desktop entry "orbisk.desktop" where the desktop finds it, and the default
// applications of the types' MIME types in $XDG_CONFIG_HOME/mimeapps.list.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <stdexcept>

namespace orbisk {

inline const QString DesktopFileId = QStringLiteral("orbisk.desktop");

// The MIME types of a preferences row's type ("JPG", "GIF", ... "TIF"); empty for others.
QStringList MimeTypesOfType(const QString& Type);
// The MIME types of every format the program reads (the desktop entry's MimeType list).
QStringList ReadableMimeTypes();

// The desktop entry; Program "" gives the installed form (Exec=orbisk %F), otherwise Exec runs
// that program (quoted as desktop entries need it).
QByteArray DesktopFileText(const QString& Program = QString());
// A program path as one argument of a desktop entry's Exec key, line breaks and tabs escaped.
QString QuoteExecArgument(const QString& Program);
// Why the program path cannot be written into a desktop entry (other control characters, bytes
// that are not UTF-8), or an empty text when it can.
QString UnwritableProgramPath(const QString& Program);

// mimeapps.list with DesktopId made the default of each MIME type and first of its added
// associations. Everything else in the text stays as it was.
QByteArray SetDefaultApplications(const QByteArray& MimeAppsList, const QStringList& MimeTypes,
                                  const QString& DesktopId = DesktopFileId);

// Where the association goes. Defaults follow the XDG base directory rules.
struct TAssociationPaths {
  QString ConfigHome;   // mimeapps.list lives here
  QString DataHome;     // applications/orbisk.desktop when a copy of our own is needed
  QStringList DataDirs; // searched for an installed desktop entry
  QString Program;      // the running program's full path
  static TAssociationPaths FromEnvironment();
};

// A file of the association could not be written: "Cannot create file F, the user account may
// not have the required rights to create files under D."
class EAssociation : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The desktop entry the association names: the one installed beside the program when the
// desktop can find it, else a copy written to DataHome/applications. Returns its path.
QString EnsureDesktopFile(const TAssociationPaths& Paths);
// Registers one type (as the preferences rows name them). Throws EAssociation, also with the
// text of UnwritableProgramPath before anything is written.
void RegisterType(const QString& Type, const TAssociationPaths& Paths);
// Registers the types in order; the first failure ends it (EAssociation), later types stay
// unregistered.
void AssociateTypes(const QStringList& Types,
                    const TAssociationPaths& Paths = TAssociationPaths::FromEnvironment());

} // namespace orbisk
