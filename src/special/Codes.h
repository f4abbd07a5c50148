#pragma once

#include <QString>
#include <QStringList>

#include <string>

namespace trawlex {

// The items of the two special-character fields: a control character chosen by its code.
QStringList SpecialCodeItems();

// The items of the two combination fields: line-break combinations.
QStringList CombinationItems();

// The code an item names: 13, 11 (the vertical tab) or 10. Any other text, typed or empty,
// gives 0, so the caller works with the NUL character.
unsigned char CodeItemToChar(const QString& itemText);

// The characters a combination item names, in the order their names are written; empty for
// any other text. Compared exactly, so "<cr><lf>" names nothing.
std::string CombinationToChars(const QString& itemText);

}  // namespace trawlex
