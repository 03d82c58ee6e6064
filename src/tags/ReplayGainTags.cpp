#include "tags/ReplayGainTags.h"

#include <taglib/apeitem.h>
#include <taglib/apetag.h>
#include <taglib/id3v2tag.h>
#include <taglib/relativevolumeframe.h>
#include <taglib/textidentificationframe.h>

#include <cmath>
#include <cstring>
#include <type_traits>

#include "tags/TagInfo.h"

namespace tovira {

namespace {

enum class Field { TrackGain, TrackPeak, AlbumGain, AlbumPeak, None };

// The field a TXXX description or an APE key names, in any case.
Field FieldNamed(const TagLib::String& name) {
  const std::string upper = name.upper().to8Bit(true);
  if (upper == "REPLAYGAIN_TRACK_GAIN") return Field::TrackGain;
  if (upper == "REPLAYGAIN_TRACK_PEAK") return Field::TrackPeak;
  if (upper == "REPLAYGAIN_ALBUM_GAIN") return Field::AlbumGain;
  if (upper == "REPLAYGAIN_ALBUM_PEAK") return Field::AlbumPeak;
  return Field::None;
}

// Stores the parsed text in the field unless an earlier entry already set it.
void Take(ReplayGainInfo& info, Field field, const TagLib::String& text, ReplayGainSource source) {
  const std::string value = text.to8Bit(true);
  auto put = [&](std::optional<ReplayGainValue>& slot, std::optional<double> v) {
    if (!slot && v) slot = ReplayGainValue{*v, source};
  };
  switch (field) {
    case Field::TrackGain: put(info.trackGain, ParseReplayGainDb(value)); break;
    case Field::TrackPeak: put(info.trackPeak, ParseReplayGainPeak(value)); break;
    case Field::AlbumGain: put(info.albumGain, ParseReplayGainDb(value)); break;
    case Field::AlbumPeak: put(info.albumPeak, ParseReplayGainPeak(value)); break;
    case Field::None: break;
  }
}

ReplayGainInfo FromTxxx(const TagLib::ID3v2::Tag& tag) {
  ReplayGainInfo info;
  const auto& map = tag.frameListMap();
  const auto it = map.find("TXXX");
  if (it == map.end()) return info;
  for (const auto* frame : it->second) {
    const auto* user = dynamic_cast<const TagLib::ID3v2::UserTextIdentificationFrame*>(frame);
    if (user == nullptr) continue;
    // The field list starts with the description; the value follows it.
    const TagLib::StringList fields = user->fieldList();
    if (fields.size() < 2) continue;
    Take(info, FieldNamed(user->description()), fields[1], ReplayGainSource::Txxx);
  }
  return info;
}

// The peak of an RVA2 channel: an unsigned number of `bits` bits with the binary point after its
// first bit (full scale = 1.0), the way taggers write it. Short or empty data: none.
std::optional<double> Rva2Peak(const TagLib::ID3v2::RelativeVolumeFrame::PeakVolume& p) {
  const unsigned bits = p.bitsRepresentingPeak;
  if (bits == 0 || p.peakVolume.size() != (bits + 7) / 8) return std::nullopt;
  double raw = 0.0;
  for (unsigned i = 0; i < p.peakVolume.size(); ++i) raw = raw * 256.0 + static_cast<unsigned char>(p.peakVolume[i]);
  const double peak = std::ldexp(raw, -static_cast<int>(bits - 1));
  if (!(peak > 0.0 && peak <= kMaxReplayGainPeak)) return std::nullopt;
  return peak;
}

// TagLib keeps any byte of the frame as a channel type, so each is read as the number it is: an
// out-of-range byte must not be loaded as an enumeration value.
bool HasMasterVolume(const TagLib::ID3v2::RelativeVolumeFrame& rva) {
  const auto channels = rva.channels();
  for (auto it = channels.begin(); it != channels.end(); ++it) {
    std::underlying_type_t<TagLib::ID3v2::RelativeVolumeFrame::ChannelType> type{};
    std::memcpy(&type, &*it, sizeof type);
    if (type == TagLib::ID3v2::RelativeVolumeFrame::MasterVolume) return true;
  }
  return false;
}

ReplayGainInfo FromRva2(const TagLib::ID3v2::Tag& tag) {
  using TagLib::ID3v2::RelativeVolumeFrame;
  ReplayGainInfo info;
  const auto& map = tag.frameListMap();
  const auto it = map.find("RVA2");
  if (it == map.end()) return info;
  for (const auto* frame : it->second) {
    const auto* rva = dynamic_cast<const RelativeVolumeFrame*>(frame);
    if (rva == nullptr || !HasMasterVolume(*rva)) continue;
    const std::string id = rva->identification().upper().to8Bit(true);
    const bool track = id == "TRACK";
    if (!track && id != "ALBUM") continue;
    auto& gain = track ? info.trackGain : info.albumGain;
    auto& peak = track ? info.trackPeak : info.albumPeak;
    // The adjustment is a signed 16-bit number of 1/512 dB, always within +-64 dB.
    const double db = rva->volumeAdjustmentIndex(RelativeVolumeFrame::MasterVolume) / 512.0;
    if (!gain && std::fabs(db) <= kMaxReplayGainDb) gain = ReplayGainValue{db, ReplayGainSource::Rva2};
    const auto p = Rva2Peak(rva->peakVolume(RelativeVolumeFrame::MasterVolume));
    if (!peak && p) peak = ReplayGainValue{*p, ReplayGainSource::Rva2};
  }
  return info;
}

}  // namespace

ReplayGainInfo ReplayGainFromId3v2(const TagLib::ID3v2::Tag* tag) {
  if (tag == nullptr) return {};
  ReplayGainInfo info = FromTxxx(*tag);
  FillMissingReplayGain(info, FromRva2(*tag));
  return info;
}

ReplayGainInfo ReplayGainFromApe(const TagLib::APE::Tag* tag) {
  ReplayGainInfo info;
  if (tag == nullptr) return info;
  for (const auto& [key, item] : tag->itemListMap()) {
    if (item.type() != TagLib::APE::Item::Text || item.values().isEmpty()) continue;
    Take(info, FieldNamed(key), item.values().front(), ReplayGainSource::Ape);
  }
  return info;
}

ReplayGainInfo CombineReplayGain(const TagLib::ID3v2::Tag* id3v2, const TagLib::APE::Tag* ape,
                                 const XingHeaderData* xing) {
  ReplayGainInfo info = ReplayGainFromId3v2(id3v2);
  FillMissingReplayGain(info, ReplayGainFromApe(ape));
  if (xing != nullptr) FillMissingReplayGain(info, ReplayGainFromLameHeader(*xing));
  return info;
}

ReplayGainInfo ReadReplayGain(const std::string& path) {
  TagInfo tags;
  if (!tags.ReadFile(path)) return {};
  return tags.ReplayGain();
}

}  // namespace tovira
