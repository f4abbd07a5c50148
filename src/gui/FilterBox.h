#pragma once

#include <vector>

class QGroupBox;
class QWidget;

namespace trawlex {

class FieldBindings;

// The filters beside the inputs: excluded files and directories, size, date, whole words and
// binary files. The caption counts the filters in force and their labels stand out, so a
// person sees at a glance why a search finds less than expected.
QGroupBox* BuildFilterBox(QWidget& parent, FieldBindings& fields, std::vector<QWidget*>& inputs);

}  // namespace trawlex
