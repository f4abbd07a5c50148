#include "common/files/ChunkReader.h"

#include "common/SystemError.h"
#include "common/files/ContentHash.h"
#include "common/text/PathText.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace trawlex {
Error ReadError(const std::string& path, int code) {
    return Error{QStringLiteral("Die Datei \u201E%1\u201C kann nicht gelesen werden: %2")
                     .arg(PathText(path), SystemErrorText(code)),
                 code};
}

Result<OpenedFile> OpenRegularFile(const std::string& path) {
    return TakeRegularFile(OpenPath(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC), path);
}

Result<OpenedFile> TakeRegularFile(int descriptor, const std::string& path) {
    OpenedFile opened;
    opened.file = FileDescriptor(descriptor);
    if (opened.file.get() < 0) {
        return ReadError(path, errno);
    }
    if (fstat(opened.file.get(), &opened.status) != 0) {
        return ReadError(path, errno);
    }
    if (!S_ISREG(opened.status.st_mode)) {
        return ReadError(path, S_ISDIR(opened.status.st_mode) ? EISDIR : EINVAL);
    }
    return opened;
}

ChunkReader::ChunkReader(int descriptor, std::string path, std::size_t pieceSize,
                         std::uint64_t limit, ReadAs readAs, ReadMemory* kept)
    : descriptor_(descriptor),
      path_(std::move(path)),
      pieceSize_(std::max<std::size_t>(pieceSize, 16)),
      limit_(limit),
      readAs_(readAs),
      kept_(kept) {
    if (kept_ != nullptr) {
        buffer_ = std::move(*kept_);
    }
}

ChunkReader::~ChunkReader() {
    if (kept_ != nullptr) {
        *kept_ = std::move(buffer_);
    }
}

std::string_view ChunkReader::RawFresh() const {
    return decoder_ ? std::string_view(raw_) : Fresh();
}

void ChunkReader::MakeRoom(std::uint64_t keepFrom, std::size_t kept, std::size_t room) {
    // The kept bytes are placed to end on a cache line, where the next piece begins: the kernel
    // copies a piece into memory a few bytes off a line several times slower.
    const std::size_t lead =
        (ReadMemory::kAlignment - kept % ReadMemory::kAlignment) % ReadMemory::kAlignment;
    const char* from = WindowData() + (keepFrom - start_);
    if (lead + kept + room > buffer_.Capacity()) {
        ReadMemory grown =
            ReadMemory::ForSize(std::max(lead + kept + room, 2 * buffer_.Capacity()));
        if (grown.Data() == nullptr) {
            throw std::bad_alloc();
        }
        if (kept > 0) {
            std::memcpy(grown.Data() + lead, from, kept);
        }
        buffer_ = std::move(grown);
    } else if (kept > 0 && from != buffer_.Data() + lead) {
        std::memmove(buffer_.Data() + lead, from, kept);
    }
    lead_ = lead;
    start_ = keepFrom;
    size_ = kept;
    freshAt_ = kept;
}

Result<std::size_t> ChunkReader::ReadPiece(char* into) {
    // A piece is read whole, however the kernel splits it; a file that shrank while it was read
    // ends where it ends now.
    std::size_t filled = 0;
    while (filled < pieceSize_) {
        const std::uint64_t at = rawEnd_ + filled;
        if (at >= limit_) {
            atEnd_ = true;
            break;
        }
        const auto wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(pieceSize_ - filled, limit_ - at));
        const ssize_t got = pread(descriptor_, into + filled, wanted, static_cast<off_t>(at));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ReadError(path_, errno);
        }
        if (got == 0) {
            atEnd_ = true;
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    rawEnd_ += filled;
    return filled;
}

Status ChunkReader::Advance(std::uint64_t keepFrom) {
    keepFrom = std::clamp(keepFrom, start_, End());
    const auto kept = static_cast<std::size_t>(End() - keepFrom);
    if (decoder_) {
        MakeRoom(keepFrom, kept, 0);
        return AdvanceDecoded();
    }
    MakeRoom(keepFrom, kept, pieceSize_);
    const bool first = rawEnd_ == 0;
    auto read = ReadPiece(WindowData() + size_);
    if (!read) {
        return read.error();
    }
    size_ += read.value();
    if (first && readAs_ == ReadAs::Text) {
        if (const auto order = Utf16Order(Fresh())) {
            StartDecoding(*order);
        }
    }
    return Success();
}

void ChunkReader::StartDecoding(ByteOrder order) {
    order_ = order;
    decoder_.emplace(order);
    raw_.assign(Fresh());
    size_ = freshAt_;
    decoded_.clear();
    decoder_->Decode(raw_, atEnd_, decoded_);
    MakeRoom(start_, size_, decoded_.size());
    std::memcpy(WindowData() + size_, decoded_.data(), decoded_.size());
    size_ += decoded_.size();
}

Status ChunkReader::AdvanceDecoded() {
    raw_.resize(pieceSize_);
    auto read = ReadPiece(raw_.data());
    if (!read) {
        return read.error();
    }
    raw_.resize(read.value());
    decoded_.clear();
    decoder_->Decode(raw_, atEnd_, decoded_);
    MakeRoom(start_, size_, decoded_.size());
    std::memcpy(WindowData() + size_, decoded_.data(), decoded_.size());
    size_ += decoded_.size();
    return Success();
}

Result<std::int64_t> ForEachPiece(const std::string& path,
                                  const std::function<Status(std::string_view)>& take) {
    auto opened = OpenRegularFile(path);
    if (!opened) {
        return opened.error();
    }
    return ForEachPiece(opened.value(), path, take);
}

Result<std::int64_t> ForEachPiece(const OpenedFile& opened, const std::string& path,
                                  const std::function<Status(std::string_view)>& take) {
    ChunkReader reader(opened.file.get(), path, ChunkReader::kPieceSize,
                       static_cast<std::uint64_t>(opened.status.st_size));
    while (!reader.AtEnd()) {
        if (auto read = reader.Advance(reader.End()); !read) {
            return read.error();
        }
        if (auto taken = take(reader.Window()); !taken) {
            return taken.error();
        }
    }
    return static_cast<std::int64_t>(reader.End());
}

Result<FileFingerprint> FingerprintFile(const std::string& path) {
    auto opened = OpenRegularFile(path);
    if (!opened) {
        return opened.error();
    }
    return FingerprintFile(opened.value(), path);
}

Result<FileFingerprint> FingerprintFile(const OpenedFile& opened, const std::string& path) {
    ContentHasher hasher;
    auto length = ForEachPiece(opened, path, [&hasher](std::string_view piece) {
        hasher.Update(piece);
        return Success();
    });
    if (!length) {
        return length.error();
    }
    return FileFingerprint{length.value(), hasher.Finish()};
}

}  // namespace trawlex
