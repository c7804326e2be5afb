#pragma once
// The greyscale formulas: red, green and blue weights in single precision,
// by formula number. Any number outside the table gets the default weights;
// -1 (no greyscale) weighs every channel 1.

#include <cstdint>

namespace velmora {

struct GrayWeight {
    float red;
    float green;
    float blue;
};

constexpr GrayWeight grayWeights(std::int32_t formula) {
    switch (formula) {
    case 1:
        return {0.213f, 0.715f, 0.072f};
    case 2:
        return {0.333f, 0.334f, 0.333f};
    case 3:
        return {0.8f, 0.1f, 0.1f};
    case 4:
        return {0.1f, 0.8f, 0.1f};
    case 5:
        return {0.1f, 0.1f, 0.8f};
    case 6:
        return {0.45f, 0.45f, 0.1f};
    case 7:
        return {0.1f, 0.45f, 0.45f};
    case -1:
        return {1.0f, 1.0f, 1.0f};
    default:
        return {0.299f, 0.587f, 0.114f};
    }
}

} // namespace velmora
