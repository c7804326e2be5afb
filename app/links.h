#pragma once
// The pages the window's link images open: the maker's home page, the
// project's home page and its issue tracker. The one place they are kept.

namespace velmora::app::links {

// aicAlphaImage4, the maker's logo.
inline constexpr const char* kMakerHomePage = "https://orvello.example/";
// aicAlphaImage6, the house.
inline constexpr const char* kProjectHomePage = "https://velmora.example/";
// aicAlphaImage5, the speech bubble.
inline constexpr const char* kIssueTracker = "https://velmora.example/issues";

} // namespace velmora::app::links
