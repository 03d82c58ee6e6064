#pragma once
// The upper halves of the 8-bit code pages that tag texts are read in.

#include <array>
#include <cstdint>

#include "tags/TagEncoding.h"

namespace tovira {

using CodePageTable = std::array<uint16_t, 128>;  // bytes 0x80..0xFF; 0: undefined

// Null for Latin-1 (bytes are code points), UTF-8 and Auto.
const CodePageTable* CodePageOf(TagEncoding encoding);

}  // namespace tovira
