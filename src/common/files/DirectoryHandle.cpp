#include "common/files/DirectoryHandle.h"

#include "common/files/PathAccess.h"
#include "common/text/PathText.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace trawlex {
namespace {

bool StatDirectory(const std::string& path, struct stat& info) {
    return StatPath(path, info) == 0 && S_ISDIR(info.st_mode);
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

bool WalkGuard::Enter(const DirectoryHandle& handle) {
    struct stat info {};
    if (!StatDirectory(handle.path, info)) {
        return false;
    }
    return entered_.Insert(info);
}

bool WalkGuard::Enter(const struct stat& info) {
    return S_ISDIR(info.st_mode) && entered_.Insert(info);
}

}  // namespace trawlex
