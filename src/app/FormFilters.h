#pragma once

#include "common/files/FileFilters.h"

#include <optional>

namespace trawlex {

struct Form1;
class Ui;

// The filter fields of the record as the filters read them.
FilterTexts FilterTextsOf(const Form1& form);

// The filters of the record, or nothing when a field cannot be used: the person was told which
// and why, before anything was written.
std::optional<FileFilters> FiltersOf(const Form1& form, Ui& ui);

// The filters of a record FiltersOf accepted when its command began.
FileFilters CheckedFilters(const Form1& form);

}  // namespace trawlex
