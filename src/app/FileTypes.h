#pragma once

#include <QStringList>

namespace trawlex {

// The file types offered in the file-type list: the mask padded to eight characters and a
// description that the fixed-width font lines up in one column.
QStringList FileTypeItems();

}  // namespace trawlex
