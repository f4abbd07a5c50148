#pragma once

namespace trawlex {

// Whether an occurrence counts anywhere, or only as a word of its own: where neither the
// character before it nor the one after it is a letter, a digit or an underscore (umlauts and ß
// are letters). The text's start and end count as no such character.
enum class WordRule {
    Anywhere,
    WholeWord,
};

}  // namespace trawlex
