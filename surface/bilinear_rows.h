#pragma once
// Output rows of the exact bilinear formula, from source rows converted to
// doubles (four per pixel: blue, green, red, alpha). The arithmetic per
// lane is the formula's, operation for operation, so every build gives the
// same bytes; the AVX2 build does a pixel's four channels in one step and
// is taken where the processor has it, the AVX-512 build (two terms of a
// row in one step) where it has that. Only render_routines.cpp uses this.

#include <cstdint>

namespace velmora::render::bilinear {

// An output column's source columns (relative to the rectangle's first) and
// their weights. single: column b weighs 0, so column a alone, at weight 1.
struct Column {
    std::int32_t a;
    std::int32_t b;
    double wa;
    double wb;
    bool single;
};

// count pixels' bytes as doubles, exactly.
using ConvertFn = void (*)(const std::uint8_t* bytes, std::int32_t count, double* out);
// Both source rows weigh: weightA for rowA, weightB for rowB.
using BothRowsFn = void (*)(const double* rowA, const double* rowB, double weightA, double weightB,
                            const Column* columns, std::int32_t count, std::uint8_t* out);
// One source row weighs (1, as `weight` is then): a single column copies the
// pixel from `bytes`, the others read `row`, which may be null when every
// column is single.
using OneRowFn = void (*)(const double* row, const std::uint8_t* bytes, double weight,
                          const Column* columns, std::int32_t count, std::uint8_t* out);

void convertSse2(const std::uint8_t* bytes, std::int32_t count, double* out);
void bothRowsSse2(const double* rowA, const double* rowB, double weightA, double weightB,
                  const Column* columns, std::int32_t count, std::uint8_t* out);
void oneRowSse2(const double* row, const std::uint8_t* bytes, double weight, const Column* columns,
                std::int32_t count, std::uint8_t* out);
#if defined(__x86_64__)
void convertAvx2(const std::uint8_t* bytes, std::int32_t count, double* out);
void bothRowsAvx2(const double* rowA, const double* rowB, double weightA, double weightB,
                  const Column* columns, std::int32_t count, std::uint8_t* out);
void oneRowAvx2(const double* row, const std::uint8_t* bytes, double weight, const Column* columns,
                std::int32_t count, std::uint8_t* out);
#endif
// Not on Windows, where GCC cannot keep the stack aligned for 512-bit spills.
#if defined(__x86_64__) && !defined(_WIN32)
#define VELMORA_BILINEAR_AVX512 1
// Column b must be a + 1 wherever it weighs.
void bothRowsAvx512(const double* rowA, const double* rowB, double weightA, double weightB,
                    const Column* columns, std::int32_t count, std::uint8_t* out);
void oneRowAvx512(const double* row, const std::uint8_t* bytes, double weight,
                  const Column* columns, std::int32_t count, std::uint8_t* out);
#endif

} // namespace velmora::render::bilinear
