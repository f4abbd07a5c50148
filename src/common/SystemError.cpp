#include "common/SystemError.h"

#include <cerrno>
#include <cstring>

namespace trawlex {

QString SystemErrorText(int code) {
    switch (code) {
        case ENOENT:
            return QStringLiteral("Datei oder Verzeichnis nicht gefunden");
        case EACCES:
        case EPERM:
            return QStringLiteral("Zugriff verweigert");
        case EISDIR:
            return QStringLiteral("Das ist ein Verzeichnis");
        case ENOTDIR:
            return QStringLiteral("Ein Teil des Pfades ist kein Verzeichnis");
        case ENOSPC:
            return QStringLiteral("Auf dem Datentr\u00E4ger ist kein Platz mehr");
        case EDQUOT:
            return QStringLiteral("Das Speicherkontingent ist ersch\u00F6pft");
        case EROFS:
            return QStringLiteral("Das Dateisystem ist nur lesbar");
        case ENAMETOOLONG:
            return QStringLiteral("Der Name ist zu lang");
        case ELOOP:
            return QStringLiteral("Zu viele symbolische Verkn\u00FCpfungen hintereinander");
        case EIO:
            return QStringLiteral("Ein-/Ausgabefehler des Datentr\u00E4gers");
        case EMFILE:
        case ENFILE:
            return QStringLiteral("Zu viele offene Dateien");
        case ETXTBSY:
        case EBUSY:
            return QStringLiteral("Die Datei ist in Gebrauch");
        case EINVAL:
            return QStringLiteral("Das ist keine gew\u00F6hnliche Datei");
        case EFBIG:
            return QStringLiteral("Die Datei ist zu gro\u00DF");
        case ENOMEM:
            return QStringLiteral("Nicht genug Arbeitsspeicher");
        case EXDEV:
            return QStringLiteral("Die Pfade liegen auf verschiedenen Dateisystemen");
        default:
            return QString::fromLocal8Bit(std::strerror(code));
    }
}

}  // namespace trawlex
