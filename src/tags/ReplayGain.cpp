#include "tags/ReplayGain.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "util/Settings.h"

namespace tovira {

namespace {

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// A plain decimal number filling all of `s`: optional sign, digits, one '.' or ',' and digits.
std::optional<double> ParseDecimal(std::string_view s) {
  if (s.empty() || s.size() > 64) return std::nullopt;
  std::string text(s);
  const bool plus = text[0] == '+';
  if (plus) text.erase(0, 1);
  if (text.empty() || (plus && (text[0] == '-' || text[0] == '+'))) return std::nullopt;
  // A few taggers write the decimal comma of their locale.
  if (text.find('.') == std::string::npos) std::replace(text.begin(), text.end(), ',', '.');
  double v = 0.0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v, std::chars_format::fixed);
  if (ec != std::errc() || ptr != end || !std::isfinite(v)) return std::nullopt;
  return v;
}

bool Plausible(double db) { return std::isfinite(db) && std::fabs(db) <= kMaxReplayGainDb; }
bool PlausiblePeak(double p) { return std::isfinite(p) && p > 0.0 && p <= kMaxReplayGainPeak; }

std::optional<double> ParseSettingDb(const Settings& settings, const char* name, double lo, double hi) {
  const std::string text = settings.ReadString(kReplayGainSection, name, std::string());
  const auto v = ParseDecimal(Trim(text));
  if (!v || *v < lo || *v > hi) return std::nullopt;
  return v;
}

}  // namespace

const char* ReplayGainSourceName(ReplayGainSource s) {
  switch (s) {
    case ReplayGainSource::Txxx: return "TXXX";
    case ReplayGainSource::Rva2: return "RVA2";
    case ReplayGainSource::Ape: return "APE";
    case ReplayGainSource::LameHeader: return "LAME header";
  }
  return "";
}

std::optional<double> ParseReplayGainDb(std::string_view text) {
  std::string_view s = Trim(text);
  if (s.size() >= 2) {
    const char d = s[s.size() - 2], b = s[s.size() - 1];
    if ((d == 'd' || d == 'D') && (b == 'b' || b == 'B')) s = Trim(s.substr(0, s.size() - 2));
  }
  const auto v = ParseDecimal(s);
  if (!v || !Plausible(*v)) return std::nullopt;
  return v;
}

std::optional<double> ParseReplayGainPeak(std::string_view text) {
  const auto v = ParseDecimal(Trim(text));
  if (!v || !PlausiblePeak(*v)) return std::nullopt;
  return v;
}

void FillMissingReplayGain(ReplayGainInfo& into, const ReplayGainInfo& from) {
  if (!into.trackGain) into.trackGain = from.trackGain;
  if (!into.trackPeak) into.trackPeak = from.trackPeak;
  if (!into.albumGain) into.albumGain = from.albumGain;
  if (!into.albumPeak) into.albumPeak = from.albumPeak;
}

ReplayGainInfo ReplayGainFromLameHeader(const XingHeaderData& xing) {
  ReplayGainInfo info;
  // The fields are told apart by their name code, not by their place.
  for (const auto& f : {xing.radioGain, xing.audiophileGain}) {
    const double db = f.tenthsDb / 10.0;
    if (!Plausible(db)) continue;
    if (f.name == 1 && !info.trackGain) info.trackGain = ReplayGainValue{db, ReplayGainSource::LameHeader};
    if (f.name == 2 && !info.albumGain) info.albumGain = ReplayGainValue{db, ReplayGainSource::LameHeader};
  }
  if (PlausiblePeak(xing.peak)) info.trackPeak = ReplayGainValue{xing.peak, ReplayGainSource::LameHeader};
  return info;
}

const char* ReplayGainModeName(ReplayGainMode m) {
  switch (m) {
    case ReplayGainMode::Off: return "off";
    case ReplayGainMode::Track: return "track";
    case ReplayGainMode::Album: return "album";
    case ReplayGainMode::Auto: return "auto";
  }
  return "";
}

std::optional<ReplayGainMode> ParseReplayGainMode(std::string_view text) {
  std::string lower(Trim(text));
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  for (const auto m : {ReplayGainMode::Off, ReplayGainMode::Track, ReplayGainMode::Album, ReplayGainMode::Auto}) {
    if (lower == ReplayGainModeName(m)) return m;
  }
  return std::nullopt;
}

bool PrefersAlbumGain(ReplayGainMode mode, bool continuesAlbum) {
  return mode == ReplayGainMode::Album || (mode == ReplayGainMode::Auto && continuesAlbum);
}

ReplayGainResult ComputeReplayGain(const ReplayGainConfig& config, const ReplayGainInfo& info, bool continuesAlbum) {
  ReplayGainResult r;
  if (config.mode == ReplayGainMode::Off) return r;
  const bool album = PrefersAlbumGain(config.mode, continuesAlbum);
  const auto& first = album ? info.albumGain : info.trackGain;
  const auto& second = album ? info.trackGain : info.albumGain;
  std::optional<double> peak;
  if (first || second) {
    r.used = first ? (album ? ReplayGainUsed::Album : ReplayGainUsed::Track)
                   : (album ? ReplayGainUsed::Track : ReplayGainUsed::Album);
    r.db = (first ? first->value : second->value) + config.preampDb;
    const bool albumUsed = r.used == ReplayGainUsed::Album;
    const auto& ownPeak = albumUsed ? info.albumPeak : info.trackPeak;
    const auto& otherPeak = albumUsed ? info.trackPeak : info.albumPeak;
    if (ownPeak) peak = ownPeak->value;
    else if (otherPeak) peak = otherPeak->value;
  } else {
    r.used = ReplayGainUsed::Fallback;
    r.db = config.fallbackDb;
  }
  r.factor = std::pow(10.0, r.db / 20.0);
  if (config.preventClipping && peak && *peak * r.factor > 1.0) {
    r.factor = 1.0 / *peak;
    r.db = 20.0 * std::log10(r.factor);
    r.limitedByPeak = true;
  }
  return r;
}

bool ContinuesAlbum(bool previousIsPreviousRow, const AlbumKey& previous, const AlbumKey& current) {
  if (!previousIsPreviousRow || !previous.album || !current.album || current.album->empty()) return false;
  return *previous.album == *current.album && previous.albumArtist == current.albumArtist;
}

ReplayGainConfig LoadReplayGainConfig(const Settings& settings) {
  ReplayGainConfig c;
  const auto mode = ParseReplayGainMode(settings.ReadString(kReplayGainSection, "Mode", "off"));
  if (mode) c.mode = *mode;
  c.preampDb = ParseSettingDb(settings, "Preamp", kMinPreampDb, kMaxPreampDb).value_or(0.0);
  c.fallbackDb = ParseSettingDb(settings, "Fallback", kMinFallbackDb, kMaxFallbackDb).value_or(0.0);
  const int32_t clip = settings.ReadInt(kReplayGainSection, "PreventClipping", 1);
  c.preventClipping = clip != 0;
  return c;
}

void SaveReplayGainConfig(Settings& settings, const ReplayGainConfig& config) {
  settings.WriteString(kReplayGainSection, "Mode", ReplayGainModeName(config.mode));
  settings.WriteString(kReplayGainSection, "Preamp",
                       FormatReplayGainDb(std::clamp(config.preampDb, kMinPreampDb, kMaxPreampDb)));
  settings.WriteString(kReplayGainSection, "Fallback",
                       FormatReplayGainDb(std::clamp(config.fallbackDb, kMinFallbackDb, kMaxFallbackDb)));
  settings.WriteInt(kReplayGainSection, "PreventClipping", config.preventClipping ? 1 : 0);
}

std::string FormatReplayGainDb(double db) {
  if (!std::isfinite(db)) db = 0.0;
  char buf[32];
  // snprintf's decimal point follows the locale; the stored text always has a '.'.
  std::snprintf(buf, sizeof buf, "%.1f", db);
  std::string s(buf);
  std::replace(s.begin(), s.end(), ',', '.');
  if (s == "-0.0") s = "0.0";
  return s;
}

}  // namespace tovira
