#include "common/Regional.h"

#include <array>
#include <cstdio>

namespace trawlex {
namespace {

QString FormatMoment(std::time_t moment, const char* format) {
    std::tm parts{};
    localtime_r(&moment, &parts);
    std::array<char, 128> buffer{};
    const std::size_t length = std::strftime(buffer.data(), buffer.size(), format, &parts);
    return QString::fromLocal8Bit(buffer.data(), static_cast<qsizetype>(length));
}

}  // namespace

QString FormatShortDate(std::time_t moment) {
    return FormatMoment(moment, "%x");
}

QString FormatLongTime(std::time_t moment) {
    return FormatMoment(moment, "%X");
}

QString FormatFileMoment(std::time_t moment) {
    std::tm parts{};
    localtime_r(&moment, &parts);
    if (parts.tm_hour == 0 && parts.tm_min == 0 && parts.tm_sec == 0) {
        return FormatShortDate(moment);
    }
    return FormatShortDate(moment) + QLatin1Char(' ') + FormatLongTime(moment);
}

QString FormatKBytes(std::int64_t bytes) {
    const double kiloBytes = static_cast<double>(bytes) / 1024.0;
    std::array<char, 64> buffer{};
    // The "'" flag groups thousands by LC_NUMERIC, as the locale's own formatting does.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
    const int length = std::snprintf(buffer.data(), buffer.size(), "%'.1f", kiloBytes);
#pragma GCC diagnostic pop
    return QString::fromLocal8Bit(buffer.data(), length);
}

}  // namespace trawlex
