#include "DirectoryHandle.h"

#include "Listing.h"
#include "PathText.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace trawlex {
namespace {

struct DirCloser {
    void operator()(DIR* handle) const { closedir(handle); }
};

bool StatDirectory(const std::string& path, struct stat& info) {
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

Error DirectoryError(const std::string& path, int code) {
    return Error{QStringLiteral("Das Verzeichnis \u201E%1\u201C kann nicht gelesen werden: %2")
                     .arg(PathText(path), QString::fromLocal8Bit(std::strerror(code)))};
}

}  // namespace

Result<DirectoryHandle> GetFolder(const std::string& path) {
    struct stat info {};
    const std::string tested = path.empty() ? std::string(".") : path;
    if (!StatDirectory(tested, info)) {
        return Error{QStringLiteral("Der Suchort \u201E%1\u201C existiert nicht oder ist kein "
                                    "Verzeichnis.")
                         .arg(PathText(path))};
    }
    std::filesystem::path absolute(tested);
    if (!absolute.is_absolute()) {
        if (char* current = getcwd(nullptr, 0)) {
            absolute = std::filesystem::path(current) / absolute;
            std::free(current);
        }
    }
    std::string normal = absolute.lexically_normal().native();
    while (normal.size() > 1 && normal.back() == kSeparator) {
        normal.pop_back();
    }
    return DirectoryHandle{normal};
}

std::string SeparatorFor(const DirectoryHandle& handle) {
    return !handle.path.empty() && handle.path.back() == kSeparator ? std::string()
                                                                    : std::string(1, kSeparator);
}

Result<std::vector<DirectoryHandle>> SubFolders(const DirectoryHandle& handle) {
    const std::unique_ptr<DIR, DirCloser> directory(opendir(handle.path.c_str()));
    if (!directory) {
        return DirectoryError(handle.path, errno);
    }
    const std::string prefix = handle.path + SeparatorFor(handle);
    std::vector<std::string> names;
    while (const dirent* entry = readdir(directory.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        struct stat info {};
        const bool isDirectory =
            entry->d_type == DT_DIR || ((entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) &&
                                        StatDirectory(prefix + std::string(name), info));
        if (isDirectory) {
            names.emplace_back(name);
        }
    }
    SortNames(names);
    std::vector<DirectoryHandle> handles;
    handles.reserve(names.size());
    for (const std::string& name : names) {
        handles.push_back({prefix + name});
    }
    return handles;
}

bool WalkGuard::Enter(const DirectoryHandle& handle) {
    struct stat info {};
    if (!StatDirectory(handle.path, info)) {
        return false;
    }
    return entered_.insert({info.st_dev, info.st_ino}).second;
}

}  // namespace trawlex
