#pragma once

#include "Preview.h"
#include "common/Result.h"
#include "common/files/ChunkReader.h"
#include "common/files/PathAccess.h"
#include "common/text/StreamReplace.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace trawlex {

// A file's text as the pairs of a preview change it, and the edits that turn the original into
// it, both kept in nameless temporary files instead of memory: a file of any size is previewed
// with memory near a few pieces, beside what the page itself shows.
class StreamedPreview {
public:
    // The original is read from its start up to `size`. The temporary files lie in `directory`
    // (the file's own; -1 for none) or else in $TMPDIR and vanish with their descriptors, so
    // that a preview never leaves a name behind.
    StreamedPreview(int original, std::uint64_t size, std::string path, int directory,
                    std::size_t pieceSize = ChunkReader::kPieceSize);

    // A UTF-16 original is first decoded into a nameless file of its UTF-8, which the pairs,
    // the page and the change list then read (see Utf16.h); only the list's offsets are turned
    // back into the file's. Any other original is read as it is.
    Status ReadUtf16AsText();
    // The UTF-16 held a surrogate without its partner, or a byte left over.
    bool Malformed() const { return malformed_; }
    bool Decoded() const { return decoded_.get() >= 0; }

    // The text the next pair reads, and its length.
    int Descriptor() const { return text_.get() >= 0 ? text_.get() : original_; }
    std::uint64_t Size() const { return size_; }

    // Replaces a term that a first pass found in the current text, whose encoding that pass
    // detected. Only a text that was Replaced becomes the current one, with its occurrences
    // composed onto the edits.
    Result<StreamedReplacement> Apply(const TermMatcher& term,
                                      const EncodedReplacement& replacement,
                                      const DetectedEncoding& detected, const StopCheck& stop = {});

    // The changed lines, read from the original around the edits and from the current text.
    Status Describe(TextEncoding encoding, FilePreview& preview) const;
    // Every change for the change list, read the same way.
    Status List(TextEncoding encoding, FileChanges& changes) const;

private:
    Result<FileDescriptor> Nameless() const;
    // Hands `read` the original on disk and the edits, and answers the first failure of either.
    Status ReadAround(const std::function<void(PreviewText&, PreviewEdits&)>& read) const;

    int original_;
    std::uint64_t originalSize_;
    std::string path_;
    int directory_;
    std::size_t pieceSize_;
    FileDescriptor text_;  // none until a pair replaced
    std::uint64_t size_;
    FileDescriptor edits_;
    std::uint64_t editsSize_ = 0;
    FileDescriptor decoded_;  // the UTF-8 of a UTF-16 original
    bool malformed_ = false;
};

}  // namespace trawlex
