#pragma once
// Named failure codes. Every reader lists the reasons it refuses a file in
// an enum class and gives each a short text through an ErrorText overload
// beside the enum, so any code (a test, a tool) can say why a file was
// refused without knowing which reader it asked. A reader object whose
// public answer is a Boolean keeps its last refusal in a LastFailure.

#include <concepts>
#include <optional>
#include <string_view>
#include <type_traits>

namespace velmora {

template <typename E>
concept FailureCode = std::is_enum_v<E> && requires(E code) {
    { ErrorText(code) } -> std::convertible_to<std::string_view>;
};

template <FailureCode E>
class LastFailure {
public:
    void clear() { code_.reset(); }
    // Records the refusal and gives the Boolean answer that goes with it,
    // so a reader can `return fail(...)`.
    bool set(E code) {
        code_ = code;
        return false;
    }
    std::optional<E> code() const { return code_; }
    std::string_view text() const { return code_ ? std::string_view(ErrorText(*code_)) : "none"; }

private:
    std::optional<E> code_;
};

} // namespace velmora
