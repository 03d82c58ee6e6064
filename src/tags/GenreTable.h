#pragma once
// Genre names by ID3v1 genre number.

#include <array>
#include <cstddef>
#include <string_view>

namespace tovira {

inline constexpr std::size_t kGenreCount = 148;      // numbers 0..147
inline constexpr std::size_t kInfoGenreCount = 149;  // numbers 0..148

// Names used for playlist rows.
extern const std::array<std::string_view, kGenreCount> GenreTable;
// Names used by the track-information panel; 148 is "Unknown".
extern const std::array<std::string_view, kInfoGenreCount> InfoGenreTable;

}  // namespace tovira
