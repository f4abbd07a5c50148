#include "common/text/JsonText.h"

#include "common/text/TextEncoding.h"

#include <QByteArray>

namespace trawlex {
namespace {

constexpr char kHex[] = "0123456789abcdef";

// The bytes of valid UTF-8, escaped; `valid` is false when an invalid byte became U+FFFD.
void AppendEscapedUtf8(std::string& out, std::string_view utf8, bool& valid) {
    for (std::size_t at = 0; at < utf8.size();) {
        const auto code = static_cast<unsigned char>(utf8[at]);
        if (code >= 0x80) {
            if (const auto decoded = DecodeUtf8At(utf8, at)) {
                out.append(utf8.substr(at, decoded->second));
                at += decoded->second;
            } else {
                out += "\xEF\xBF\xBD";
                valid = false;
                ++at;
            }
            continue;
        }
        switch (code) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (code < 0x20 || code == 0x7F) {
                    out += "\\u00";
                    out += kHex[code >> 4];
                    out += kHex[code & 0xF];
                } else {
                    out += static_cast<char>(code);
                }
        }
        ++at;
    }
}

}  // namespace

void AppendJsonString(std::string& out, QStringView text) {
    const QByteArray utf8 = text.toUtf8();
    bool valid = true;
    out += '"';
    AppendEscapedUtf8(out, std::string_view(utf8.constData(), utf8.size()), valid);
    out += '"';
}

void AppendJsonPath(std::string& out, std::string_view bytes) {
    bool valid = true;
    out += "\"path\": \"";
    AppendEscapedUtf8(out, bytes, valid);
    out += '"';
    if (valid) {
        return;
    }
    out += ", \"path_bytes\": \"";
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        out += kHex[code >> 4];
        out += kHex[code & 0xF];
    }
    out += '"';
}

}  // namespace trawlex
