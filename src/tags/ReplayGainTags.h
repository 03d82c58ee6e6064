#pragma once
// The ReplayGain values of a file's ID3v2 and APEv2 tags, for the tag reader (TagLib types stay
// out of every public header but this one).

#include "tags/ReplayGain.h"

namespace TagLib {
namespace ID3v2 {
class Tag;
}
namespace APE {
class Tag;
}
}  // namespace TagLib

namespace tovira {

// From TXXX frames, then RVA2 frames of the ID3v2 tag; either tag may be null.
ReplayGainInfo ReplayGainFromId3v2(const TagLib::ID3v2::Tag* tag);
ReplayGainInfo ReplayGainFromApe(const TagLib::APE::Tag* tag);
// The four sources in their order: TXXX, RVA2, APE, then the encoder's header.
ReplayGainInfo CombineReplayGain(const TagLib::ID3v2::Tag* id3v2, const TagLib::APE::Tag* ape,
                                 const XingHeaderData* xing);

}  // namespace tovira
