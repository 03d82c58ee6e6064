#pragma once
// Where the audio of a file ends: before the tags that players and taggers append (ID3v1 with its
// extended block, APEv2, Lyrics3, an ID3v2 tag with a footer). Durations, frame estimates and
// the frame index count only the bytes in between.

#include <cstdint>

#include "decoder/ByteSource.h"

namespace tovira {

// The offset just past the last byte of audio, between `begin` (where the first frame starts)
// and the source's size. Tags are peeled from the end one after another, in any order. The
// read position of `source` is left where it was.
uint64_t FindAudioEnd(ByteSource& source, uint64_t begin);

}  // namespace tovira
