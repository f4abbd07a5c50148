#include "StreamedPreview.h"

#include "common/SystemError.h"
#include "common/files/WholeFile.h"
#include "common/text/PathText.h"
#include "common/text/Utf16.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

namespace trawlex {
namespace {

// What is read or written of the edits, and read of the original for its lines, at a time.
constexpr std::size_t kBlock = std::size_t{64} << 10;
// What is read around a single byte the description looks at.
constexpr std::size_t kPeek = 4096;

Error TemporaryError(const std::string& path, int code) {
    return Error{QStringLiteral("F\u00FCr die Vorschau der Datei \u201E%1\u201C kann keine "
                                "tempor\u00E4re Datei geschrieben werden: %2")
                     .arg(PathText(path), SystemErrorText(code)),
                 code};
}

// Reads `length` bytes from `from` on; a file that ends before them is a failure, since the
// lengths come from what was read or written before.
Status ReadRange(int descriptor, std::uint64_t from, std::size_t length, std::string& out,
                 const std::string& path) {
    if (auto read = ReadAt(descriptor, from, length, out); !read) {
        return ReadError(path, read.error().code);
    }
    return out.size() == length ? Success() : ReadError(path, EIO);
}

// The edits of a file one after another, each as three numbers of seven bits a byte: the gap
// behind the edit before, its length and the length of its text. Most take a few bytes.
class EditWriter {
public:
    EditWriter(int descriptor, const std::string& path) : descriptor_(descriptor), path_(path) {}

    void Put(const EditBounds& edit) {
        Number(edit.start - last_);
        Number(edit.end - edit.start);
        Number(edit.insertedLength);
        last_ = edit.end;
        if (buffer_.size() >= kBlock) {
            static_cast<void>(Flush());
        }
    }

    Status Flush() {
        if (failed_) {
            return *failed_;
        }
        if (auto written = WriteAll(descriptor_, buffer_); !written) {
            failed_ = TemporaryError(path_, written.error().code);
            return *failed_;
        }
        size_ += buffer_.size();
        buffer_.clear();
        return Success();
    }

    std::uint64_t Size() const { return size_; }

private:
    void Number(std::uint64_t value) {
        while (value >= 0x80) {
            buffer_ += static_cast<char>((value & 0x7F) | 0x80);
            value >>= 7;
        }
        buffer_ += static_cast<char>(value);
    }

    int descriptor_;
    const std::string& path_;
    std::string buffer_;
    std::size_t last_ = 0;
    std::uint64_t size_ = 0;
    std::optional<Error> failed_;
};

class EditReader {
public:
    EditReader(int descriptor, std::uint64_t size, const std::string& path)
        : descriptor_(descriptor), size_(size), path_(path) {}

    // None behind the last edit, and once reading failed.
    std::optional<EditBounds> Next() {
        if (offset_ + at_ >= size_ || failed_) {
            return std::nullopt;
        }
        EditBounds edit;
        edit.start = last_ + Number();
        edit.end = edit.start + Number();
        edit.insertedLength = Number();
        last_ = edit.end;
        if (failed_) {
            return std::nullopt;
        }
        return edit;
    }

    const std::optional<Error>& Failed() const { return failed_; }

private:
    std::uint64_t Number() {
        std::uint64_t value = 0;
        for (unsigned shift = 0; shift < 64; shift += 7) {
            if (at_ == buffer_.size() && !Refill()) {
                return 0;
            }
            const auto byte = static_cast<unsigned char>(buffer_[at_++]);
            value |= std::uint64_t{byte & 0x7Fu} << shift;
            if ((byte & 0x80) == 0) {
                break;
            }
        }
        return value;
    }

    bool Refill() {
        offset_ += buffer_.size();
        at_ = 0;
        const auto length =
            static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, size_ - offset_));
        if (auto read = ReadRange(descriptor_, offset_, length, buffer_, path_); !read) {
            failed_ = read.error();
        } else if (length == 0) {
            failed_ = ReadError(path_, EIO);
        }
        return !failed_;
    }

    int descriptor_;
    std::uint64_t size_;
    const std::string& path_;
    std::string buffer_;
    std::uint64_t offset_ = 0;  // where the buffer starts
    std::size_t at_ = 0;
    std::size_t last_ = 0;
    std::optional<Error> failed_;
};

// The original read forward once for its lines, and around the edits for what the lines show.
class OriginalOnDisk final : public PreviewText {
public:
    OriginalOnDisk(int descriptor, std::uint64_t size, const std::string& path)
        : descriptor_(descriptor), size_(size), path_(path) {}

    std::size_t LineStart(std::size_t position) override {
        Scan(position, false);
        return lineStart_;
    }
    std::int64_t LineNumber(std::size_t /*lineStart*/) override { return newlines_ + 1; }
    std::size_t LineEnd(std::size_t position) override {
        // Behind the line end found last, when `position` lies before it, nothing is left to
        // look for: positions never go back, so it lies in that line.
        if (position < scanned_) {
            return scanned_;
        }
        Scan(position, false);
        Scan(size_, true);
        return scanned_;
    }
    char At(std::size_t position) override {
        if (position >= size_) {
            return '\0';
        }
        if (position < peekStart_ || position - peekStart_ >= peek_.size()) {
            peekStart_ = position;
            Keep(ReadRange(descriptor_, position, std::min<std::uint64_t>(kPeek, size_ - position),
                           peek_, path_));
        }
        return position - peekStart_ < peek_.size() ? peek_[position - peekStart_] : '\0';
    }
    std::string Bytes(std::size_t from, std::size_t to) override {
        std::string bytes;
        Keep(ReadRange(descriptor_, from, to - from, bytes, path_));
        return bytes;
    }

    const std::optional<Error>& Failed() const { return failed_; }

private:
    void Keep(const Status& status) {
        if (!status && !failed_) {
            failed_ = status.error();
        }
    }

    // Reads on to `to`, counting line ends; with `toLineEnd`, stops behind the first one.
    void Scan(std::uint64_t to, bool toLineEnd) {
        while (scanned_ < to) {
            if (scanned_ < blockStart_ || scanned_ - blockStart_ >= block_.size()) {
                blockStart_ = scanned_;
                const auto length =
                    static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, size_ - scanned_));
                Keep(ReadRange(descriptor_, scanned_, length, block_, path_));
                if (block_.empty()) {
                    scanned_ = to;
                    return;
                }
            }
            const char* from = block_.data() + (scanned_ - blockStart_);
            std::size_t length = static_cast<std::size_t>(
                std::min<std::uint64_t>(to, blockStart_ + block_.size()) - scanned_);
            const void* lineEnd = toLineEnd ? std::memchr(from, '\n', length) : nullptr;
            if (lineEnd != nullptr) {
                length = static_cast<std::size_t>(static_cast<const char*>(lineEnd) - from) + 1;
            }
            newlines_ += std::count(from, from + length, '\n');
            if (const void* last = memrchr(from, '\n', length); last != nullptr) {
                lineStart_ =
                    scanned_ + static_cast<std::size_t>(static_cast<const char*>(last) - from) + 1;
            }
            scanned_ += length;
            if (lineEnd != nullptr) {
                return;
            }
        }
    }

    int descriptor_;
    std::uint64_t size_;
    const std::string& path_;
    std::string block_;
    std::uint64_t blockStart_ = 0;
    std::uint64_t scanned_ = 0;  // every byte before it was counted
    std::int64_t newlines_ = 0;
    std::size_t lineStart_ = 0;  // behind the last line end before `scanned_`
    std::string peek_;
    std::uint64_t peekStart_ = 0;
    std::optional<Error> failed_;
};

// The composed edits, each with its text read from the replaced text where it landed.
class EditsOnDisk final : public PreviewEdits {
public:
    EditsOnDisk(int edits, std::uint64_t size, int text, const std::string& path)
        : reader_(edits, size, path), text_(text), path_(path) {}

    const EditBounds* Peek() override {
        if (!asked_) {
            next_ = reader_.Next();
            asked_ = true;
        }
        return next_ ? &*next_ : nullptr;
    }
    void Next(Edit* into) override {
        const EditBounds& edit = *next_;
        if (into != nullptr) {
            into->start = edit.start;
            into->end = edit.end;
            if (auto read = ReadRange(
                    text_,
                    static_cast<std::uint64_t>(static_cast<std::int64_t>(edit.start) + shift_),
                    edit.insertedLength, into->inserted, path_);
                !read && !failed_) {
                failed_ = read.error();
            }
        }
        shift_ += static_cast<std::int64_t>(edit.insertedLength) -
                  static_cast<std::int64_t>(edit.end - edit.start);
        asked_ = false;
    }

    std::optional<Error> Failed() const { return failed_ ? failed_ : reader_.Failed(); }

private:
    EditReader reader_;
    int text_;
    const std::string& path_;
    std::optional<EditBounds> next_;
    bool asked_ = false;
    std::int64_t shift_ = 0;  // how far the edits before moved the text
    std::optional<Error> failed_;
};

}  // namespace

StreamedPreview::StreamedPreview(int original, std::uint64_t size, std::string path, int directory,
                                 std::size_t pieceSize)
    : original_(original),
      originalSize_(size),
      path_(std::move(path)),
      directory_(directory),
      pieceSize_(pieceSize),
      size_(size) {}

Result<FileDescriptor> StreamedPreview::Nameless() const {
    // Beside the file there is room for its text, as for its replacement; a directory that
    // refuses gives way to the temporary directory.
    if (directory_ >= 0) {
        FileDescriptor beside(openat(directory_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
        if (beside.get() >= 0) {
            return beside;
        }
    }
    const char* configured = std::getenv("TMPDIR");
    const std::string temporary =
        configured != nullptr && *configured != '\0' ? configured : "/tmp";
    FileDescriptor elsewhere(open(temporary.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (elsewhere.get() < 0) {
        return TemporaryError(path_, errno);
    }
    return elsewhere;
}

Status StreamedPreview::ReadUtf16AsText() {
    std::string head;
    if (auto read = ReadAt(original_, 0, 2, head); !read || !Utf16Order(head)) {
        return Success();  // a failure to read is named by the first pass
    }
    ChunkReader reader(original_, path_, pieceSize_, originalSize_, ChunkReader::ReadAs::Text);
    if (auto read = reader.Advance(0); !read) {
        return read;
    }
    auto decoded = Nameless();
    if (!decoded) {
        return decoded.error();
    }
    while (true) {
        if (auto written = WriteAll(decoded->get(), reader.Fresh()); !written) {
            return TemporaryError(path_, written.error().code);
        }
        if (reader.AtEnd()) {
            break;
        }
        if (auto read = reader.Advance(reader.End()); !read) {
            return read;
        }
    }
    malformed_ = reader.Malformed();
    decoded_ = std::move(decoded.value());
    original_ = decoded_.get();
    originalSize_ = reader.End();
    size_ = originalSize_;
    return Success();
}

Result<StreamedReplacement> StreamedPreview::Apply(const TermMatcher& term,
                                                   const EncodedReplacement& replacement,
                                                   const DetectedEncoding& detected,
                                                   const StopCheck& stop) {
    auto text = Nameless();
    if (!text) {
        return text.error();
    }
    auto edits = Nameless();
    if (!edits) {
        return edits.error();
    }
    EditReader earlier(edits_.get(), editsSize_, path_);
    EditWriter composed(edits->get(), path_);
    EditComposer composer([&earlier] { return earlier.Next(); },
                          [&composed](const ComposedEdit& edit) { composed.Put(edit.bounds); });
    std::uint64_t written = 0;
    const int out = text->get();
    const StreamTarget target{[this, out, &written](std::string_view bytes) -> Status {
                                  if (auto appended = WriteAll(out, bytes); !appended) {
                                      return TemporaryError(path_, appended.error().code);
                                  }
                                  written += bytes.size();
                                  return Success();
                              },
                              [&composer](const Span& occurrence, std::uint64_t length) {
                                  composer.Occurrence(occurrence, static_cast<std::size_t>(length));
                              },
                              stop};
    auto replaced = ReplaceStreamedTo(Descriptor(), path_, size_, term, replacement, detected,
                                      target, pieceSize_);
    if (!replaced || replaced->outcome != ReplaceOutcome::Replaced) {
        return replaced;
    }
    composer.Finish();
    if (auto flushed = composed.Flush(); !flushed) {
        return flushed.error();
    }
    if (earlier.Failed()) {
        return *earlier.Failed();
    }
    text_ = std::move(text.value());
    size_ = written;
    edits_ = std::move(edits.value());
    editsSize_ = composed.Size();
    return replaced;
}

Status StreamedPreview::ReadAround(
    const std::function<void(PreviewText&, PreviewEdits&)>& read) const {
    OriginalOnDisk original(original_, originalSize_, path_);
    EditsOnDisk edits(edits_.get(), editsSize_, Descriptor(), path_);
    read(original, edits);
    if (original.Failed()) {
        return *original.Failed();
    }
    if (auto failed = edits.Failed()) {
        return *failed;
    }
    return Success();
}

Status StreamedPreview::Describe(TextEncoding encoding, FilePreview& preview) const {
    return ReadAround([&](PreviewText& original, PreviewEdits& edits) {
        DescribeChanges(original, edits, encoding, preview);
    });
}

Status StreamedPreview::List(TextEncoding encoding, FileChanges& changes) const {
    if (decoded_.get() < 0) {
        return ReadAround([&](PreviewText& original, PreviewEdits& edits) {
            ListChanges(original, edits, encoding, changes);
        });
    }
    // The UTF-8 is read forward once more beside the edits, to count the file's bytes before
    // each of them.
    std::uint64_t viewAt = 0;
    std::uint64_t fileAt = 0;
    std::string block;
    std::optional<Error> failed;
    const FileOffsets fileOffsets = [&](std::size_t viewOffset) {
        while (viewAt < viewOffset && !failed) {
            const auto length =
                static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, viewOffset - viewAt));
            if (auto read = ReadRange(original_, viewAt, length, block, path_); !read) {
                failed = read.error();
                break;
            }
            fileAt += Utf16Length(block);
            viewAt += length;
        }
        return fileAt;
    };
    auto listed = ReadAround([&](PreviewText& original, PreviewEdits& edits) {
        ListChanges(original, edits, encoding, changes, fileOffsets);
    });
    if (listed && failed) {
        return *failed;
    }
    return listed;
}

}  // namespace trawlex
