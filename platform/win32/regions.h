#pragma once
// The system's GDI regions for the platform's region objects, in names of
// their own: the sources that include this never see <windows.h>.

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace platform::win32 {

struct Box {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

enum class Combination { And, Or, Xor, Diff, Copy };

// An owned region of the system.
class Region {
public:
    // An empty region; check valid() for the outcome.
    Region();
    ~Region();
    Region(Region&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Region& operator=(Region&& other) noexcept {
        std::swap(handle_, other.handle_);
        return *this;
    }
    Region(const Region&) = delete;
    Region& operator=(const Region&) = delete;

    // The union of the boxes (empty ones add nothing); invalid when the
    // system refuses it.
    static Region FromBoxes(std::span<const Box> boxes);

    bool valid() const { return handle_ != nullptr; }
    // This region becomes the combination of a and b (a alone for Copy);
    // either may be this region itself.
    bool combine(const Region& a, const Region& b, Combination how);
    void offset(std::int32_t dx, std::int32_t dy);
    bool contains(std::int32_t x, std::int32_t y) const;
    // The region's rectangles, in the system's banded order (top to
    // bottom, left to right).
    std::vector<Box> boxes() const;

private:
    void* handle_ = nullptr;
};

} // namespace platform::win32
