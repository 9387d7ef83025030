#pragma once

#include <string>
#include <utility>

namespace kestrelon {

// How an operation that can fail reports it: success, or a failure with the reason as a text for
// a log line or a message. Operations with a value to give return std::optional or a struct
// that holds an Outcome. Any thread.
class [[nodiscard]] Outcome {
public:
    // Success.
    Outcome() = default;
    static Outcome failure(std::string reason) { return Outcome(std::move(reason)); }

    bool ok() const { return m_failed == false; }
    explicit operator bool() const { return ok(); }
    // Why it failed; empty on success.
    const std::string& error() const { return m_error; }

private:
    explicit Outcome(std::string reason) : m_failed(true), m_error(std::move(reason)) {}

    bool m_failed = false;
    std::string m_error;
};

} // namespace kestrelon
