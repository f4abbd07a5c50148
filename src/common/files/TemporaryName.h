#pragma once

#include <string>
#include <string_view>

namespace trawlex {

// Six random letters and digits, for names that must not collide with another process's.
std::string RandomSuffix();

// The hidden name a file's new contents take beside it until they are renamed over it:
// ".NAME.trawlex-" and a random suffix. The name part is shortened so that the whole stays
// within the name limit.
std::string TemporaryNameFor(std::string_view name);

// True for a name that TemporaryNameFor could have made. A name alone never allows removing a
// file: a person's file may look the same.
bool IsTemporaryName(std::string_view name);

}  // namespace trawlex
