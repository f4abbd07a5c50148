#pragma once

#include "common/text/CaseFold.h"

#include <QString>

namespace trawlex {

struct Form1;
class Ui;

inline constexpr int kBlinkIntervalMilliseconds = 400;

// The busy-status protocol every long-running command brackets its work with.
void BusyStart(Form1& form, Ui& ui, const QString& text);
void BusyEnd(Form1& form, Ui& ui);

// One tick of the status timer: alternates the status background between orange and the
// button-face colour.
void Timer1_Timer(Form1& form, Ui& ui);

// Exact comparison while "Beachten" is selected, otherwise comparison that ignores case.
CompareMode GetCompareMode(const Form1& form);

// Hands the report to the browser when the window asks for it; a browser that cannot be
// started is reported.
void ShowResultInBrowser(const Form1& form, Ui& ui);
// The same for another page, such as a preview's.
void ShowInBrowser(const Form1& form, Ui& ui, const QString& page);

}  // namespace trawlex
