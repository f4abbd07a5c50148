#pragma once

#include "common/text/Cp1252.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace trawlex::fuzz {

// Splits a fuzzer's bytes into the pieces a target needs: flags, short strings, the rest.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size)
        : bytes_(reinterpret_cast<const char*>(data), size) {}

    bool Flag() { return Byte() & 1; }

    // A string of up to 15 bytes, its length taken from the next byte.
    std::string Piece() {
        const std::size_t length = Byte() % 16;
        const std::string piece(bytes_.substr(0, length));
        bytes_.remove_prefix(piece.size());
        return piece;
    }

    std::string_view Rest() const { return bytes_; }

private:
    unsigned char Byte() {
        if (bytes_.empty()) {
            return 0;
        }
        const auto byte = static_cast<unsigned char>(bytes_.front());
        bytes_.remove_prefix(1);
        return byte;
    }

    std::string_view bytes_;
};

}  // namespace trawlex::fuzz
