#include "PathText.h"

#include "Cp1252.h"

#include <QStringDecoder>

namespace trawlex {

std::string NativePath(QStringView text) {
    return text.toUtf8().toStdString();
}

QString PathText(std::string_view bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text =
        decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!decoder.hasError()) {
        return text;
    }
    return DecodeCp1252(bytes);
}

std::string WithTrailingSeparator(std::string path) {
    if (!path.empty() && path.back() != kSeparator) {
        path.push_back(kSeparator);
    }
    return path;
}

}  // namespace trawlex
