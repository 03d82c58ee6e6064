#pragma once
// ReplayGain: the loudness adjustments and peaks a file states for itself, and the playing gain
// made of them.
//
// A value may come from four places; the first that has it wins, value by value: an ID3v2 TXXX
// frame ("REPLAYGAIN_TRACK_GAIN" ...), an ID3v2 RVA2 frame ("track"/"album", master volume), an
// APEv2 item of the same names, and last the encoder's extension of the Info/Xing header (radio
// gain = track, audiophile gain = album, its peak = track peak). Gains outside +-60 dB and peaks
// that are not positive or above 64 are not believed.
//
// Everything here but ReadReplayGain is plain computation: no file, no Qt.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "decoder/Xing.h"

namespace tovira {

class Settings;

enum class ReplayGainSource { Txxx, Rva2, Ape, LameHeader };
const char* ReplayGainSourceName(ReplayGainSource s);  // "TXXX", "RVA2", "APE", "LAME header"

struct ReplayGainValue {
  double value = 0.0;  // dB for a gain, linear amplitude (1.0 = full scale) for a peak
  ReplayGainSource source = ReplayGainSource::Txxx;
};

struct ReplayGainInfo {
  std::optional<ReplayGainValue> trackGain, trackPeak, albumGain, albumPeak;
  bool Empty() const { return !trackGain && !trackPeak && !albumGain && !albumPeak; }
};

inline constexpr double kMaxReplayGainDb = 60.0;
inline constexpr double kMaxReplayGainPeak = 64.0;

// "-6.20 dB", "+3.5dB", " 1.2 ", "-6,20 dB": the dB figure, or nullopt for anything else or a
// value out of range. Independent of the process's locale.
std::optional<double> ParseReplayGainDb(std::string_view text);
// "0.988", "1.02": the linear peak, or nullopt.
std::optional<double> ParseReplayGainPeak(std::string_view text);

// Fills what `into` still lacks from `from` (sources later in the order fill gaps only).
void FillMissingReplayGain(ReplayGainInfo& into, const ReplayGainInfo& from);
// The values the encoder's extension states (all marked LameHeader).
ReplayGainInfo ReplayGainFromLameHeader(const XingHeaderData& xing);

// Reads the tags and the stream header of an MPEG audio file; empty when it has none or cannot
// be read. (The tag reader's TagInfo reads the same while it reads the other tags.)
ReplayGainInfo ReadReplayGain(const std::string& path);

// ---- The playing gain ----

enum class ReplayGainMode { Off, Track, Album, Auto };
const char* ReplayGainModeName(ReplayGainMode m);  // "off", "track", "album", "auto"
std::optional<ReplayGainMode> ParseReplayGainMode(std::string_view text);  // any case

struct ReplayGainConfig {
  ReplayGainMode mode = ReplayGainMode::Off;
  // Added to the file's gain; not to the fallback.
  double preampDb = 0.0;
  // For a file without any gain value. 0 dB leaves such files as they are; a lower value (-6 dB
  // is a common choice) brings them nearer to adjusted files, which are mostly turned down.
  double fallbackDb = 0.0;
  bool preventClipping = true;
};

inline constexpr double kMinPreampDb = -12.0, kMaxPreampDb = 12.0;
inline constexpr double kMinFallbackDb = -12.0, kMaxFallbackDb = 12.0;

enum class ReplayGainUsed { None, Track, Album, Fallback };

struct ReplayGainResult {
  double factor = 1.0;  // linear, applied to the samples
  double db = 0.0;      // the same in dB (after any lowering for the peak)
  ReplayGainUsed used = ReplayGainUsed::None;
  bool limitedByPeak = false;  // lowered so that peak x factor stays at 1
};

// True when album gain is the one to use: always in album mode, in auto mode only while an album
// plays on in order (`continuesAlbum`: the previous track played is the previous playlist row and
// belongs to the same album, see ContinuesAlbum).
bool PrefersAlbumGain(ReplayGainMode mode, bool continuesAlbum);

// The gain for one track. The preferred gain (track or album) falls back to the other one when
// the file lacks it, then to the fallback gain. The peak that limits it is the one of the same
// kind, else the other (an album's peak is never below its tracks').
ReplayGainResult ComputeReplayGain(const ReplayGainConfig& config, const ReplayGainInfo& info, bool continuesAlbum);

// What makes two neighbouring tracks one album: the same non-empty album title and the same album
// artist (absent on both counts as the same).
struct AlbumKey {
  std::optional<std::string> album, albumArtist;
};
// `previousIsPreviousRow`: the track played before is the row just above this one.
bool ContinuesAlbum(bool previousIsPreviousRow, const AlbumKey& previous, const AlbumKey& current);

// ---- Settings: section "ReplayGain" ----
// "Mode" off|track|album|auto (default off), "Preamp" and "Fallback" in dB as decimal text
// (-12..12, default 0), "PreventClipping" 0|1 (default 1). A value that is missing, unreadable
// or out of range reads as its default.
inline constexpr char kReplayGainSection[] = "ReplayGain";
ReplayGainConfig LoadReplayGainConfig(const Settings& settings);
void SaveReplayGainConfig(Settings& settings, const ReplayGainConfig& config);
// The dB text as stored: one decimal ("-3.5", "0.0").
std::string FormatReplayGainDb(double db);

}  // namespace tovira
