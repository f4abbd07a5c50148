#include "FileTypes.h"

namespace trawlex {

QStringList FileTypeItems() {
    return {
        QStringLiteral("*.ASC   Ascii/Txt-Format"),
        QStringLiteral("*.HTM   HTML-Format"),
        QStringLiteral("*.TXT   Txt-Datei"),
        QStringLiteral("*.A7    7-Bit Txt-Format"),
        QStringLiteral("*.A8    8-Bit Txt-Format"),
        QStringLiteral("*.HTML  HTML-Dateien"),
        QStringLiteral("*.C     C-Programmdateien"),
        QStringLiteral("*.H     Headerfile f\u00FCr C"),
        QStringLiteral("*.BAT   Batchdatei"),
        QStringLiteral("*.INI   Prg-Startparamter (Windows)"),
        QStringLiteral("*.INF   Prg-Informationen"),
        QStringLiteral("*.LOG   Protokolldateien"),
        QStringLiteral("*.SYS   Konfigurationsdateien/Treiber"),
        QStringLiteral("*.*     Alle Dateien"),
    };
}

}  // namespace trawlex
