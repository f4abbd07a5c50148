#include "Codes.h"

namespace trawlex {

QStringList SpecialCodeItems() {
    return {QStringLiteral("13 <Return>"), QStringLiteral("11 <Tab>"),
            QStringLiteral("10 <Linefeed>")};
}

QStringList CombinationItems() {
    return {QStringLiteral("<CR><LF>"), QStringLiteral("<LF><CR>"), QStringLiteral("<LF>"),
            QStringLiteral("<CR>")};
}

unsigned char CodeItemToChar(const QString& itemText) {
    if (itemText == u"13 <Return>") {
        return 13;
    }
    if (itemText == u"11 <Tab>") {
        return 11;
    }
    if (itemText == u"10 <Linefeed>") {
        return 10;
    }
    return 0;
}

std::string CombinationToChars(const QString& itemText) {
    if (itemText == u"<LF>") {
        return "\n";
    }
    if (itemText == u"<CR>") {
        return "\r";
    }
    if (itemText == u"<LF><CR>") {
        return "\n\r";
    }
    if (itemText == u"<CR><LF>") {
        return "\r\n";
    }
    return {};
}

}  // namespace trawlex
