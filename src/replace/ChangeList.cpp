#include "ChangeList.h"

#include "common/SystemError.h"
#include "common/files/ContentHash.h"
#include "common/files/WholeFile.h"
#include "common/text/JsonText.h"
#include "common/text/PathText.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>

namespace trawlex {
namespace {

// Beyond this, a file's changes wait on disk.
constexpr std::size_t kHeldChanges = std::size_t{4} << 20;

QString Missing(const char* field, const char* what) {
    return QStringLiteral("es fehlt \u201E%1\u201C (%2).")
        .arg(QLatin1String(field), QString::fromUtf8(what));
}

// A whole number of at least `least` that a double holds exactly.
std::optional<std::int64_t> WholeNumber(const QJsonValue& value, std::int64_t least) {
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double number = value.toDouble();
    constexpr double kExact = 9007199254740992.0;  // 2^53
    if (number < static_cast<double>(least) || number > kExact ||
        number != static_cast<double>(static_cast<std::int64_t>(number))) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(number);
}

Error TemporaryError(int code) {
    return Error{QStringLiteral("F\u00FCr die \u00C4nderungsliste kann keine tempor\u00E4re "
                                "Datei geschrieben werden: %1")
                     .arg(SystemErrorText(code)),
                 code};
}

}  // namespace

Result<ListedChange> ParseChangeLine(std::string_view line) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(line.data(), static_cast<qsizetype>(line.size())), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        return Error{QStringLiteral("die Zeile ist kein JSON-Objekt.")};
    }
    const QJsonObject object = document.object();
    ListedChange change;
    const QJsonValue file = object.value(QStringLiteral("file"));
    if (!file.isString() || file.toString().isEmpty()) {
        return Error{Missing("file", "der Pfad der Datei")};
    }
    change.file = NativePath(file.toString());
    const QJsonValue fingerprint = object.value(QStringLiteral("fingerprint"));
    if (!fingerprint.isString() ||
        !ParseHashText(fingerprint.toString().toStdString(), change.fingerprint)) {
        return Error{Missing("fingerprint", "16 Hexadezimalziffern")};
    }
    struct Number {
        const char* name;
        std::int64_t least;
        const char* what;
        std::int64_t* into;
    };
    std::int64_t offset = 0;
    std::int64_t length = 0;
    for (const Number& number : {
             Number{"change", 1, "eine ganze Zahl ab 1", &change.number},
             Number{"line", 1, "eine ganze Zahl ab 1", &change.line},
             Number{"offset", 0, "eine ganze Zahl ab 0", &offset},
             Number{"length", 0, "eine ganze Zahl ab 0", &length},
         }) {
        const auto value = WholeNumber(object.value(QLatin1String(number.name)), number.least);
        if (!value) {
            return Error{Missing(number.name, number.what)};
        }
        *number.into = *value;
    }
    change.offset = static_cast<std::uint64_t>(offset);
    change.length = static_cast<std::uint64_t>(length);
    const QJsonValue before = object.value(QStringLiteral("before"));
    const QJsonValue after = object.value(QStringLiteral("after"));
    if (!before.isString()) {
        return Error{Missing("before", "ein Text")};
    }
    if (!after.isString()) {
        return Error{Missing("after", "ein Text")};
    }
    change.before = before.toString();
    change.after = after.toString();
    return change;
}

FileChanges::FileChanges(std::string_view path, std::uint64_t fingerprint) {
    head_ = "{\"file\": ";
    AppendJsonString(head_, PathText(path));
    head_ += ", \"fingerprint\": \"" + HashText(fingerprint) + "\", \"change\": ";
}

void FileChanges::Add(std::int64_t line, std::uint64_t offset, std::uint64_t length,
                      const QString& before, const QString& after) {
    rests_ += ", \"line\": " + std::to_string(line) + ", \"offset\": " + std::to_string(offset) +
              ", \"length\": " + std::to_string(length) + ", \"before\": ";
    AppendJsonString(rests_, before);
    rests_ += ", \"after\": ";
    AppendJsonString(rests_, after);
    rests_ += "}\n";
    ++count_;
    if (rests_.size() >= kHeldChanges && !failed_) {
        if (auto spilled = Spill(); !spilled) {
            failed_ = spilled.error();
        }
    }
}

Status FileChanges::Spill() {
    if (spilled_.get() < 0) {
        const char* configured = std::getenv("TMPDIR");
        const std::string directory =
            configured != nullptr && *configured != '\0' ? configured : "/tmp";
        spilled_ = FileDescriptor(open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
        if (spilled_.get() < 0) {
            return TemporaryError(errno);
        }
    }
    if (auto written = WriteAll(spilled_.get(), rests_); !written) {
        return TemporaryError(written.error().code);
    }
    spilledSize_ += rests_.size();
    rests_.clear();
    return Success();
}

Status FileChanges::WriteTo(std::int64_t firstNumber,
                            const std::function<Status(std::string_view)>& write) {
    if (failed_) {
        return *failed_;
    }
    std::int64_t number = firstNumber;
    std::string line;
    const auto each = [&](std::string_view rests) -> Status {
        std::size_t at = 0;
        while (at < rests.size()) {
            const std::size_t end = rests.find('\n', at);
            line.assign(head_);
            line += std::to_string(number++);
            line.append(rests.substr(at, end + 1 - at));
            if (auto written = write(line); !written) {
                return written;
            }
            at = end + 1;
        }
        return Success();
    };
    if (spilled_.get() >= 0) {
        // Whole lines only: a block ends behind its last line end, the rest waits for the next.
        std::string block;
        std::string carried;
        std::uint64_t at = 0;
        while (at < spilledSize_) {
            block.resize(std::min<std::uint64_t>(kHeldChanges, spilledSize_ - at));
            const ssize_t got =
                pread(spilled_.get(), block.data(), block.size(), static_cast<off_t>(at));
            if (got <= 0) {
                if (got < 0 && errno == EINTR) {
                    continue;
                }
                return TemporaryError(got < 0 ? errno : EIO);
            }
            at += static_cast<std::uint64_t>(got);
            carried.append(block.data(), static_cast<std::size_t>(got));
            const std::size_t last = carried.rfind('\n');
            if (last == std::string::npos) {
                continue;
            }
            if (auto written = each(std::string_view(carried).substr(0, last + 1)); !written) {
                return written;
            }
            carried.erase(0, last + 1);
        }
    }
    return each(rests_);
}

Result<ChangeListWriter> ChangeListWriter::Create(const QString& path) {
    auto file = ReportFile::Create(path);
    if (!file) {
        return file.error();
    }
    return ChangeListWriter(std::move(file.value()), path);
}

Result<std::int64_t> ChangeListWriter::Write(FileChanges& changes) {
    const std::int64_t start = written_;
    auto written = changes.WriteTo(changes_ + 1, [this](std::string_view line) -> Status {
        written_ += static_cast<std::int64_t>(line.size());
        return file_.Append(line);
    });
    if (!written) {
        return written.error();
    }
    changes_ += changes.Count();
    return start;
}

}  // namespace trawlex
