#pragma once

#include <QString>
#include <QStringView>

#include <string>
#include <string_view>

namespace trawlex {

// File names on Linux are bytes. Every file operation keeps them as bytes; they become text
// only where a person sees them.

// The bytes of a path a person typed (UTF-8 on Linux).
std::string NativePath(QStringView text);

// A path as text: UTF-8 where the bytes are valid UTF-8, otherwise Windows-1252.
QString PathText(std::string_view bytes);

// Appends the separator unless the path already ends in one; an empty path stays empty.
std::string WithTrailingSeparator(std::string path);

// The path with every link and "." or ".." resolved, or empty when it cannot be resolved (a
// dangling link, a missing file). An empty path means the current directory.
std::string RealPath(const std::string& path);

constexpr char kSeparator = '/';

}  // namespace trawlex
