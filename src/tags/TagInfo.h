#pragma once
// Tag texts and stream figures of one MPEG audio file, for the playlist and the track panel.
//
// Tags are parsed by TagLib; the stream figures come from the decoder's own probe so that the
// duration matches what the player will play (Xing-aware for VBR). Texts are UTF-8. A field comes
// from the ID3v2 tag, else the ID3v1 tag, else the APEv2 tag. Texts stored as Latin-1 (ID3v1,
// ID3v2 frames that say so) are read in the encoding set, or guessed for the file (TagEncoding.h).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "tags/ReplayGain.h"
#include "tags/TagEncoding.h"

namespace tovira {

class TagInfo {
 public:
  explicit TagInfo(TagEncoding encoding = TagEncoding::Auto);
  virtual ~TagInfo();
  TagInfo(const TagInfo&) = delete;
  TagInfo& operator=(const TagInfo&) = delete;

  // True when the file holds MPEG audio. After false every text is absent and the figures are 0.
  // Only regular files are opened (a FIFO or device never blocks or is read).
  bool ReadFile(const std::string& path);
  void Clear();
  // For the files read after this call; Clear keeps it.
  void SetTagEncoding(TagEncoding encoding) { encodingSetting_ = encoding; }
  TagEncoding TagEncodingSetting() const { return encodingSetting_; }

  bool IsValid() const { return valid_; }
  const std::string& Path() const { return path_; }
  bool HasV2Tag() const { return hasV2_; }
  bool HasV1Tag() const { return hasV1_; }
  bool HasApeTag() const { return hasApe_; }
  // What the file's 8-bit texts were read in: the setting, or the guess under Auto (Latin-1 for a
  // file without such texts).
  TagEncoding TextEncoding() const { return textEncoding_; }
  uint32_t Duration() const { return durationSeconds_; }  // whole seconds
  double DurationMs() const { return durationMs_; }

  // Absent texts are std::nullopt; the title falls back to the file name.
  const std::optional<std::string>& Artist() const { return artist_; }
  const std::optional<std::string>& Title() const { return title_; }
  const std::optional<std::string>& Album() const { return album_; }
  const std::optional<std::string>& Year() const { return year_; }
  const std::optional<std::string>& Genre() const { return genre_; }
  // TPE2 of the ID3v2 tag (or APE's "Album Artist"), to tell apart albums of one title.
  const std::optional<std::string>& AlbumArtist() const { return albumArtist_; }
  // The comment without a description (COMM), as stored; the track as stored ("3", "3/12").
  const std::optional<std::string>& Comment() const { return comment_; }
  const std::optional<std::string>& Track() const { return track_; }
  // From TXXX, RVA2, APEv2 and the encoder's header, in that order (see tags/ReplayGain.h).
  const ReplayGainInfo& ReplayGain() const { return replayGain_; }
  // True when no tag gave a title and Title() is the file name.
  bool TitleIsFileName() const { return titleIsFileName_; }

  // The first frame's figures.
  uint32_t Bitrate() const { return bitrate_; }  // bits per second; 0 for free format
  int32_t Frequency() const { return frequency_; }  // Hz
  int32_t Mode() const { return mode_; }  // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
  bool IsStereo() const { return mode_ != 3; }
  bool IsVbr() const { return vbr_; }  // a Xing or VBRI header was found

  // The file name of a path without its last four characters (the extension and its dot).
  static std::string NameWithoutExtension(const std::string& path);
  // The genre text for a file with an ID3v2 tag, from the TCON text as stored (nullopt: no frame).
  static std::optional<std::string> GenreFromV2(const std::optional<std::string>& tcon);
  // The genre text for a file with only an ID3v1 tag, from the number as "(n)".
  static std::optional<std::string> GenreFromV1(const std::optional<std::string>& tcon);

 private:
  struct Reader;  // TagLib objects, kept out of this header
  std::unique_ptr<Reader> reader_;

  bool valid_ = false;
  std::string path_;
  bool hasV2_ = false;
  bool hasV1_ = false;
  bool hasApe_ = false;
  TagEncoding encodingSetting_ = TagEncoding::Auto;
  TagEncoding textEncoding_ = TagEncoding::Latin1;
  bool titleIsFileName_ = false;
  uint32_t durationSeconds_ = 0;
  double durationMs_ = 0.0;
  uint32_t bitrate_ = 0;
  int32_t frequency_ = 0;
  int32_t mode_ = 0;
  bool vbr_ = false;
  std::optional<std::string> artist_, title_, album_, year_, genre_, albumArtist_, comment_, track_;
  ReplayGainInfo replayGain_;
};

}  // namespace tovira
