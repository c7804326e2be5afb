#pragma once
// A small result type: either a value or the reason an operation failed.
// The toolchain that builds the fuzzers (clang 14) lacks std::expected; this
// carries just what the decoders need. Public Boolean answers sit on top.

#include <cassert>
#include <utility>
#include <variant>

namespace velmora {

template <typename E>
struct Failure {
    E error;
};

template <typename E>
Failure(E) -> Failure<E>;

template <typename T, typename E>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure<E> failure) : state_(std::in_place_index<1>, failure.error) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & {
        assert(ok());
        return std::get<0>(state_);
    }
    const T& value() const& {
        assert(ok());
        return std::get<0>(state_);
    }
    T&& value() && {
        assert(ok());
        return std::get<0>(std::move(state_));
    }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    E error() const {
        assert(!ok());
        return std::get<1>(state_);
    }

private:
    std::variant<T, E> state_;
};

// For operations that produce nothing but may fail.
template <typename E>
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Failure<E> failure) : failed_(true), error_(failure.error) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    E error() const {
        assert(failed_);
        return error_;
    }

private:
    bool failed_ = false;
    E error_{};
};

} // namespace velmora

// Propagates a failure in one line: VELMORA_TRY(readHeader());
#define VELMORA_TRY(expr)                                                                          \
    do {                                                                                           \
        auto velmora_try_result_ = (expr);                                                         \
        if (!velmora_try_result_.ok()) return ::velmora::Failure{velmora_try_result_.error()};     \
    } while (0)
