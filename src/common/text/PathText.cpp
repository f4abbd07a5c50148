#include "common/text/PathText.h"

#include "common/text/Cp1252.h"

#include <QStringDecoder>

#include <cstdlib>

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

std::string RealPath(const std::string& path) {
    char* resolved = realpath(path.empty() ? "." : path.c_str(), nullptr);
    if (resolved == nullptr) {
        return {};
    }
    std::string result = resolved;
    std::free(resolved);
    return result;
}

std::string WithTrailingSeparator(std::string path) {
    if (!path.empty() && path.back() != kSeparator) {
        path.push_back(kSeparator);
    }
    return path;
}

}  // namespace trawlex
