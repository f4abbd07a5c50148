#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace trawlex {

// A fast 64-bit fingerprint of a file's bytes. The undo journal keeps it for every file a run
// wrote, so that a file edited since is recognised and left alone. It guards against accidents,
// not against someone forging contents.
std::uint64_t ContentHash(std::string_view bytes);

// The same fingerprint of bytes that arrive piece by piece, for files too big to hold whole.
class ContentHasher {
public:
    ContentHasher();
    void Update(std::string_view bytes);
    std::uint64_t Finish() const;

private:
    void Stripe(const char* data);

    std::uint64_t lanes_[4];
    char stripe_[32] = {};
    std::size_t pending_ = 0;
    std::uint64_t total_ = 0;
};

// The fingerprint as 16 lower-case hex digits, and back; false for anything else.
std::string HashText(std::uint64_t hash);
bool ParseHashText(std::string_view text, std::uint64_t& hash);

}  // namespace trawlex
