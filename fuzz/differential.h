#pragma once
// Shared pieces of the differential harnesses: each decodes an input with
// our code and with a reference library and stops the run, saying why, on
// any disagreement the harness does not list as one our rules make on
// purpose.

#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

namespace fuzzdiff {

// Prints the disagreement and stops: libFuzzer keeps the input as a crash.
[[noreturn]] inline void Disagree(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline void Disagree(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::fputs("disagreement: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
    __builtin_trap();
}

// A straight red, green, blue, alpha pixel as the surface stores it: blue,
// green, red, alpha, colour times alpha over 255 truncated, and all zero
// where alpha is 0.
inline std::array<std::uint8_t, 4> Premultiplied(std::uint8_t r, std::uint8_t g, std::uint8_t b,
                                                 std::uint8_t a) {
    if (a == 0) return {0, 0, 0, 0};
    if (a == 255) return {b, g, r, 255};
    auto scale = [a](std::uint8_t c) { return static_cast<std::uint8_t>(c * a / 255); };
    return {scale(b), scale(g), scale(r), a};
}

} // namespace fuzzdiff
