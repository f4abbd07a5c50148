#pragma once

#include <QString>

#include <optional>
#include <utility>

namespace trawlex {

// A failure at a disk or input edge, carried as a value with the German text the person sees.
struct Error {
    QString message;
    int code = 0;  // the platform's error number behind it, where there is one
};

// The value of an operation that may fail; the engine never throws across its layers.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(Error error) : error_(std::move(error)) {}

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }

    T& value() & { return *value_; }
    const T& value() const& { return *value_; }
    T&& value() && { return std::move(*value_); }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    T& operator*() & { return *value_; }
    const T& operator*() const& { return *value_; }

    const QString& message() const { return error_.message; }
    const Error& error() const { return error_; }

private:
    std::optional<T> value_;
    Error error_;
};

// For operations that only succeed or fail.
struct Done {};
using Status = Result<Done>;

inline Status Success() {
    return Done{};
}

}  // namespace trawlex
