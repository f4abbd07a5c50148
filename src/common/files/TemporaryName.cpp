#include "common/files/TemporaryName.h"

#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

namespace trawlex {
namespace {

constexpr std::string_view kMark = ".trawlex-";
constexpr std::size_t kSuffixLength = 6;
constexpr std::size_t kLongestNamePart = 200;

constexpr std::string_view kLetters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

}  // namespace

std::string RandomSuffix() {
    unsigned char bytes[kSuffixLength] = {};
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        static std::atomic<unsigned> counter{0};
        const unsigned seed = counter.fetch_add(1) ^ static_cast<unsigned>(getpid());
        for (std::size_t index = 0; index < sizeof bytes; ++index) {
            bytes[index] = static_cast<unsigned char>(seed >> (index * 5));
        }
    }
    std::string suffix;
    for (const unsigned char byte : bytes) {
        suffix += kLetters[byte % kLetters.size()];
    }
    return suffix;
}

std::string TemporaryNameFor(std::string_view name) {
    std::string temporary = ".";
    temporary += name.substr(0, kLongestNamePart);
    temporary += kMark;
    temporary += RandomSuffix();
    return temporary;
}

bool IsTemporaryName(std::string_view name) {
    const std::size_t fixed = kMark.size() + kSuffixLength;
    if (name.size() < 2 + fixed || name.front() != '.' ||
        name.size() > 1 + kLongestNamePart + fixed) {
        return false;
    }
    const std::string_view suffix = name.substr(name.size() - kSuffixLength);
    return name.substr(name.size() - fixed, kMark.size()) == kMark &&
           std::all_of(suffix.begin(), suffix.end(), [](char character) {
               return kLetters.find(character) != std::string_view::npos;
           });
}

}  // namespace trawlex
