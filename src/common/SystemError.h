#pragma once

#include <QString>

namespace trawlex {

// The reason behind a failed file operation in German, whatever locale the program runs in:
// the person reads every message of the program in one language.
QString SystemErrorText(int code);

}  // namespace trawlex
