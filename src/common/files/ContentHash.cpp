#include "common/files/ContentHash.h"

#include <algorithm>
#include <cstring>

namespace trawlex {
namespace {

// Four independent lanes over 32-byte stripes keep the multiplier busy, so hashing runs at
// memory speed and costs a rewrite next to nothing.
constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ULL;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4FULL;
constexpr std::uint64_t kPrime3 = 0x165667B19E3779F9ULL;
constexpr std::uint64_t kPrime4 = 0x85EBCA77C2B2AE63ULL;
constexpr std::uint64_t kPrime5 = 0x27D4EB2F165667C5ULL;

std::uint64_t RotateLeft(std::uint64_t value, int bits) {
    return (value << bits) | (value >> (64 - bits));
}

std::uint64_t Read64(const char* data) {
    std::uint64_t value = 0;
    std::memcpy(&value, data, sizeof value);
    return value;
}

std::uint32_t Read32(const char* data) {
    std::uint32_t value = 0;
    std::memcpy(&value, data, sizeof value);
    return value;
}

std::uint64_t Round(std::uint64_t lane, std::uint64_t input) {
    lane += input * kPrime2;
    return RotateLeft(lane, 31) * kPrime1;
}

std::uint64_t Merge(std::uint64_t hash, std::uint64_t lane) {
    hash ^= Round(0, lane);
    return hash * kPrime1 + kPrime4;
}

}  // namespace

ContentHasher::ContentHasher() : lanes_{kPrime1 + kPrime2, kPrime2, 0, 0 - kPrime1} {}

void ContentHasher::Update(std::string_view bytes) {
    total_ += bytes.size();
    const char* data = bytes.data();
    const char* const end = data + bytes.size();
    if (pending_ > 0) {
        const std::size_t taken = std::min<std::size_t>(32 - pending_, bytes.size());
        std::memcpy(stripe_ + pending_, data, taken);
        pending_ += taken;
        data += taken;
        if (pending_ < 32) {
            return;
        }
        Stripe(stripe_);
        pending_ = 0;
    }
    for (; end - data >= 32; data += 32) {
        Stripe(data);
    }
    pending_ = static_cast<std::size_t>(end - data);
    std::memcpy(stripe_, data, pending_);
}

void ContentHasher::Stripe(const char* data) {
    for (int lane = 0; lane < 4; ++lane) {
        lanes_[lane] = Round(lanes_[lane], Read64(data + 8 * lane));
    }
}

std::uint64_t ContentHasher::Finish() const {
    std::uint64_t hash = 0;
    if (total_ >= 32) {
        hash = RotateLeft(lanes_[0], 1) + RotateLeft(lanes_[1], 7) + RotateLeft(lanes_[2], 12) +
               RotateLeft(lanes_[3], 18);
        for (const std::uint64_t lane : lanes_) {
            hash = Merge(hash, lane);
        }
    } else {
        hash = kPrime5;
    }
    hash += total_;
    const char* data = stripe_;
    const char* const end = stripe_ + pending_;
    for (; end - data >= 8; data += 8) {
        hash ^= Round(0, Read64(data));
        hash = RotateLeft(hash, 27) * kPrime1 + kPrime4;
    }
    if (end - data >= 4) {
        hash ^= std::uint64_t{Read32(data)} * kPrime1;
        hash = RotateLeft(hash, 23) * kPrime2 + kPrime3;
        data += 4;
    }
    for (; data < end; ++data) {
        hash ^= std::uint64_t{static_cast<unsigned char>(*data)} * kPrime5;
        hash = RotateLeft(hash, 11) * kPrime1;
    }
    hash ^= hash >> 33;
    hash *= kPrime2;
    hash ^= hash >> 29;
    hash *= kPrime3;
    hash ^= hash >> 32;
    return hash;
}

std::uint64_t ContentHash(std::string_view bytes) {
    ContentHasher hasher;
    hasher.Update(bytes);
    return hasher.Finish();
}

std::string HashText(std::uint64_t hash) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(16, '0');
    for (int index = 15; index >= 0; --index) {
        text[static_cast<std::size_t>(index)] = kDigits[hash & 0xF];
        hash >>= 4;
    }
    return text;
}

bool ParseHashText(std::string_view text, std::uint64_t& hash) {
    if (text.size() != 16) {
        return false;
    }
    std::uint64_t value = 0;
    for (const char digit : text) {
        value <<= 4;
        if (digit >= '0' && digit <= '9') {
            value |= static_cast<std::uint64_t>(digit - '0');
        } else if (digit >= 'a' && digit <= 'f') {
            value |= static_cast<std::uint64_t>(digit - 'a' + 10);
        } else {
            return false;
        }
    }
    hash = value;
    return true;
}

}  // namespace trawlex
