#pragma once

#include <QString>

#include <utility>
#include <variant>

namespace zef {

// Why an operation stopped, worded for the user's message box.
struct Failure {
    QString text;
};

// A result or the failure that prevented it; std::expected arrives only with C++23.
template <typename T> class [[nodiscard]] Expected {
public:
    Expected(T value) : m_state(std::move(value)) {}
    Expected(Failure failure) : m_state(std::move(failure)) {}

    [[nodiscard]] bool has_value() const { return std::holds_alternative<T>(m_state); }
    explicit operator bool() const { return has_value(); }

    [[nodiscard]] const T& value() const { return std::get<T>(m_state); }
    [[nodiscard]] const T& operator*() const { return value(); }
    [[nodiscard]] const T* operator->() const { return &value(); }

    // Empty when the operation succeeded, so a test can print it either way.
    [[nodiscard]] QString error() const {
        const auto* failure = std::get_if<Failure>(&m_state);
        return failure ? failure->text : QString();
    }

private:
    std::variant<T, Failure> m_state;
};

// The value of an operation that has nothing to report but success.
struct Done {
    bool operator==(const Done&) const = default;
};

using Status = Expected<Done>;

} // namespace zef
