#include "common/files/BatchReader.h"

#include <fcntl.h>
#include <liburing.h>
#include <sys/stat.h>

#include <array>
#include <atomic>
#include <cerrno>

namespace trawlex {
namespace {

std::atomic<bool> allowed{true};

// The user data of a close, whose result nobody needs: the files' indexes are far below it.
constexpr std::uint64_t kClosing = ~std::uint64_t{0};

}  // namespace

struct BatchReader::Ring {
    io_uring ring{};
    bool standing = false;
    bool broken = false;  // the kernel failed a wait; files are read alone from then on
    Ring() = default;
    Ring(const Ring&) = delete;
    Ring& operator=(const Ring&) = delete;
    ~Ring() {
        if (standing) {
            io_uring_queue_exit(&ring);
        }
    }
};

void BatchReader::Allow(bool allowedNow) {
    allowed = allowedNow;
}

std::unique_ptr<BatchReader> BatchReader::Make() {
    if (!allowed) {
        return nullptr;
    }
    auto ring = std::make_unique<Ring>();
    // One thread submits to a ring and reaps it, so the kernel may run completions only when
    // that thread waits for them instead of interrupting it.
    io_uring_params params{};
    params.flags = IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_DEFER_TASKRUN;
    int made = io_uring_queue_init_params(2 * kMostFiles, &ring->ring, &params);
    if (made == -EINVAL) {  // a kernel before 6.1 knows neither flag
        params = {};
        made = io_uring_queue_init_params(2 * kMostFiles, &ring->ring, &params);
    }
    if (made < 0) {
        return nullptr;
    }
    ring->standing = true;
    ReadMemory memory = ReadMemory::ForSize(kMostFiles * (kLargestRead + ReadMemory::kAlignment));
    if (memory.Data() == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<BatchReader>(new BatchReader(std::move(ring), std::move(memory)));
}

BatchReader::BatchReader(std::unique_ptr<Ring> ring, ReadMemory memory)
    : ring_(std::move(ring)), memory_(std::move(memory)) {}
BatchReader::~BatchReader() = default;

template <typename Complete>
bool BatchReader::SubmitAndReap(unsigned expected, Complete complete) {
    int submitted = 0;
    do {
        submitted = io_uring_submit(&ring_->ring);
    } while (submitted == -EINTR || submitted == -EAGAIN || submitted == -EBUSY);
    if (submitted < 0) {
        return false;
    }
    for (unsigned reaped = 0; reaped < expected;) {
        io_uring_cqe* done = nullptr;
        const int waited = io_uring_wait_cqe(&ring_->ring, &done);
        if (waited == -EINTR || waited == -EAGAIN || waited == -EBUSY) {
            continue;
        }
        if (waited < 0) {
            ring_->broken = true;
            return false;
        }
        complete(done->user_data, done->res);
        io_uring_cqe_seen(&ring_->ring, done);
        ++reaped;
    }
    return true;
}

bool BatchReader::Read(std::span<const BatchName> names, std::span<BatchRead> results) {
    const std::size_t count = std::min({names.size(), results.size(), kMostFiles});
    for (std::size_t index = 0; index < count; ++index) {
        results[index] = BatchRead{};
    }
    if (ring_->broken) {
        return false;
    }
    for (std::size_t index = 0; index < count; ++index) {
        io_uring_sqe* open = io_uring_get_sqe(&ring_->ring);
        io_uring_prep_openat(open, names[index].directory, names[index].name,
                             O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
        io_uring_sqe_set_data64(open, index);
    }
    const bool opened =
        SubmitAndReap(static_cast<unsigned>(count), [&](std::uint64_t index, int result) {
            BatchRead& read = results[index];
            read.error = result < 0 ? -result : 0;
            if (result >= 0) {
                read.opened.file = FileDescriptor(result);
            }
        });
    if (!opened) {
        return false;
    }

    unsigned queued = 0;
    std::array<bool, kMostFiles> waiting{};
    std::array<char*, kMostFiles> placed{};
    std::size_t used = 0;
    for (std::size_t index = 0; index < count; ++index) {
        BatchRead& read = results[index];
        if (read.error != 0) {
            continue;
        }
        struct stat& status = read.opened.status;
        if (fstat(read.opened.file.get(), &status) != 0) {
            read.error = errno;
        } else if (!S_ISREG(status.st_mode)) {
            read.error = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
        }
        if (read.error != 0) {
            read.opened.file = FileDescriptor();
            continue;
        }
        const auto size = static_cast<std::uint64_t>(status.st_size);
        if (size > kLargestRead) {
            continue;  // left open for the caller
        }
        placed[index] = memory_.Data() + used;
        // Each file starts on a cache line of its own, where the kernel copies fastest.
        used += ReadMemory::WholeLines(size);
        if (size != 0) {
            io_uring_sqe* reading = io_uring_get_sqe(&ring_->ring);
            io_uring_prep_read(reading, read.opened.file.get(), placed[index],
                               static_cast<unsigned>(size), 0);
            // The close follows whatever the read gave.
            io_uring_sqe_set_flags(reading, IOSQE_IO_HARDLINK);
            io_uring_sqe_set_data64(reading, index);
            waiting[index] = true;
            ++queued;
        } else {
            read.read = true;
        }
        io_uring_sqe* closing = io_uring_get_sqe(&ring_->ring);
        io_uring_prep_close(closing, read.opened.file.release());
        io_uring_sqe_set_data64(closing, kClosing);
        ++queued;
    }
    const bool reaped = SubmitAndReap(queued, [&](std::uint64_t index, int result) {
        if (index == kClosing) {
            return;
        }
        waiting[index] = false;
        BatchRead& read = results[index];
        if (result < 0) {
            read.error = -result;
            return;
        }
        read.bytes = {placed[index], static_cast<std::size_t>(result)};
        read.read = true;
    });
    if (!reaped) {
        for (std::size_t index = 0; index < count; ++index) {
            results[index].error = waiting[index] ? EIO : results[index].error;
        }
    }
    return true;
}

}  // namespace trawlex
