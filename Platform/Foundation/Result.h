#pragma once

#include <cassert>
#include <type_traits>
#include <utility>
#include <variant>

namespace tarnwick {

// The error half of a Result, spelled at the return site: `return Failure{ReadError{...}};`.
template <typename E>
struct Failure {
    E error;
};
template <typename E>
Failure(E) -> Failure<E>;

// A value or the reason there is none. Every fallible function of ours returns one, so an error is
// never an empty optional, an out-parameter or a bool that a caller can drop without a word: the
// type is [[nodiscard]], and a caller that truly does not care says so with `(void)` and a comment.
template <typename T, typename E>
class [[nodiscard]] Result {
public:
    Result(T value) : m_storage(std::in_place_index<0>, std::move(value)) {}
    template <typename F>
    requires std::is_constructible_v<E, F> Result(Failure<F> failure)
        : m_storage(std::in_place_index<1>, std::move(failure.error)) {}

    bool ok() const { return m_storage.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & {
        assert(ok());
        return std::get<0>(m_storage);
    }
    const T& value() const& {
        assert(ok());
        return std::get<0>(m_storage);
    }
    T&& value() && {
        assert(ok());
        return std::get<0>(std::move(m_storage));
    }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const E& error() const {
        assert(!ok());
        return std::get<1>(m_storage);
    }

    template <typename U>
    T valueOr(U&& fallback) const& {
        return ok() ? value() : static_cast<T>(std::forward<U>(fallback));
    }

private:
    std::variant<T, E> m_storage;
};

// A step that succeeds with nothing to give, or fails with a reason.
template <typename E>
class [[nodiscard]] Result<void, E> {
public:
    Result() = default;
    template <typename F>
    requires std::is_constructible_v<E, F> Result(Failure<F> failure)
        : m_failed(true), m_error(std::move(failure.error)) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const E& error() const {
        assert(m_failed);
        return m_error;
    }

private:
    bool m_failed = false;
    E m_error{};
};

}  // namespace tarnwick
