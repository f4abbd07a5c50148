#pragma once

#include <QString>

#include <cstdint>
#include <ctime>

namespace trawlex {

// Dates, times and numbers in the process's POSIX locale (LC_TIME, LC_NUMERIC), the way a
// person's regional settings show them: under de_DE "05.12.2026", "05:11:14", "1.234,5".

QString FormatShortDate(std::time_t moment);
QString FormatLongTime(std::time_t moment);

// A file's last-modified moment: the short date, one blank and the long time; the time is left
// out when the moment is exactly midnight.
QString FormatFileMoment(std::time_t moment);

// A byte count as KBytes with exactly one decimal, grouped as the locale groups thousands.
QString FormatKBytes(std::int64_t bytes);

}  // namespace trawlex
