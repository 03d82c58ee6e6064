#include "app/PlayerMpris.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <cmath>
#include <cstring>

#include "playlist/PlaylistModel.h"
#include "session/PlaybackSession.h"
#include "ui/player/TrackText.h"
#include "util/AtomicFile.h"

namespace tovira {

namespace {

constexpr size_t kMaxTagBytes = size_t{64} << 20;

bool ReadFully(int fd, char* to, size_t size) {
  while (size > 0) {
    const ssize_t n = ::read(fd, to, size);
    if (n <= 0) return false;
    to += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The ID3v2 tag the file begins with, whole (pictures live there); empty when there is none, it
// claims more than the file holds, or the file is not a regular one (never a FIFO waited on).
TagLib::ByteVector LeadingTag(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  TagLib::ByteVector tag;
  struct stat st {};
  char header[10];
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ReadFully(fd, header, sizeof header) &&
      std::memcmp(header, "ID3", 3) == 0) {
    size_t body = 0;
    bool syncsafe = true;
    for (int i = 6; i < 10; ++i) {
      const auto b = static_cast<unsigned char>(header[i]);
      syncsafe = syncsafe && b < 0x80;
      body = (body << 7) | b;
    }
    const size_t total = sizeof header + body + ((header[5] & 0x10) ? 10 : 0);
    if (syncsafe && total <= kMaxTagBytes && total <= static_cast<size_t>(st.st_size)) {
      tag.resize(static_cast<unsigned>(total));
      std::memcpy(tag.data(), header, sizeof header);
      if (!ReadFully(fd, tag.data() + sizeof header, total - sizeof header)) tag.clear();
    }
  }
  ::close(fd);
  return tag;
}

QString PictureExtension(const TagLib::ByteVector& data, const TagLib::String& mime) {
  const QString type = QString::fromStdString(mime.to8Bit(true)).toLower();
  if (type.endsWith(QLatin1String("png")) || data.startsWith("\x89PNG")) return QStringLiteral("png");
  if (type.endsWith(QLatin1String("jpeg")) || type.endsWith(QLatin1String("jpg")) || data.startsWith("\xff\xd8"))
    return QStringLiteral("jpg");
  if (type.endsWith(QLatin1String("gif")) || data.startsWith("GIF8")) return QStringLiteral("gif");
  return QStringLiteral("img");
}

}  // namespace

QString EmbeddedArtUrl(const QString& audioPath, const QString& cacheFolder) {
  TagLib::ByteVector bytes = LeadingTag(audioPath);
  if (bytes.isEmpty()) return {};
  TagLib::ByteVectorStream stream(bytes);
  TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
  const TagLib::ID3v2::Tag* tag = file.ID3v2Tag();
  if (!tag) return {};
  const TagLib::ID3v2::AttachedPictureFrame* chosen = nullptr;
  for (const TagLib::ID3v2::Frame* frame : tag->frameListMap()["APIC"]) {
    const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame);
    if (!picture || picture->picture().isEmpty()) continue;
    const auto front = TagLib::ID3v2::AttachedPictureFrame::FrontCover;
    if (!chosen || (picture->type() == front && chosen->type() != front)) chosen = picture;
  }
  if (!chosen) return {};
  const TagLib::ByteVector data = chosen->picture();
  const QByteArray raw = QByteArray::fromRawData(data.data(), static_cast<qsizetype>(data.size()));
  const QString name = QString::fromLatin1(QCryptographicHash::hash(raw, QCryptographicHash::Sha256).toHex()) +
                       QLatin1Char('.') + PictureExtension(data, chosen->mimeType());
  if (!QDir().mkpath(cacheFolder)) return {};
  const QString path = QDir(cacheFolder).filePath(name);
  // Named by its bytes: a file of that name and size is that picture, written before.
  const QFileInfo existing(path);
  if (!(existing.isFile() && existing.size() == raw.size()) &&
      !WriteFileAtomically(QFile::encodeName(path).toStdString(), std::string_view(raw.constData(), static_cast<size_t>(raw.size())))) {
    return {};
  }
  return QUrl::fromLocalFile(path).toString();
}

PlayerMpris::PlayerMpris(PlaybackSession& session, std::function<void()> raise, std::function<void()> quit,
                         QString artFolder)
    : session_(session), raise_(std::move(raise)), quit_(std::move(quit)), artFolder_(std::move(artFolder)) {
  if (artFolder_.isEmpty()) {
    artFolder_ = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/art");
  }
}

void PlayerMpris::Play() { session_.Play(); }
void PlayerMpris::Pause() { session_.Pause(); }

void PlayerMpris::PlayPause() {
  // The window's Play/Pause does nothing while stopped; a media key then starts playing.
  if (session_.IsActive()) session_.PlayPause();
  else session_.Play();
}

void PlayerMpris::Stop() { session_.Stop(); }
void PlayerMpris::Next() { session_.Next(); }
void PlayerMpris::Previous() { session_.Previous(); }

void PlayerMpris::SeekTo(qint64 positionUs) {
  if (CanSeek()) session_.SeekMs(static_cast<uint32_t>(positionUs / 1000));
}

void PlayerMpris::SetVolume(double volume) { session_.SetVolume(static_cast<int>(std::lround(volume * 100.0))); }
void PlayerMpris::Raise() {
  if (raise_) raise_();
}
void PlayerMpris::Quit() {
  if (quit_) quit_();
}
void PlayerMpris::OpenFile(const QString& path) { session_.PlayFile(path); }

void PlayerMpris::SetLoop(MprisLoop loop) {
  session_.SetRepeat(loop == MprisLoop::Track ? Repeat::One : loop == MprisLoop::Playlist ? Repeat::All : Repeat::Off);
}

void PlayerMpris::SetShuffle(bool on) { session_.SetShufflePlay(on); }

MprisLoop PlayerMpris::Loop() const {
  switch (session_.RepeatMode()) {
    case Repeat::One:
      return MprisLoop::Track;
    case Repeat::All:
      return MprisLoop::Playlist;
    case Repeat::Off:
      break;
  }
  return MprisLoop::None;
}

bool PlayerMpris::Shuffle() const { return session_.ShufflePlay(); }

MprisStatus PlayerMpris::Status() const {
  switch (session_.State()) {
    case EngineState::Playing:
      return MprisStatus::Playing;
    case EngineState::Paused:
      return MprisStatus::Paused;
    default:
      return MprisStatus::Stopped;
  }
}

qint64 PlayerMpris::PositionUs() const { return qint64{session_.PositionMs()} * 1000; }

double PlayerMpris::Volume() const { return session_.Volume() / 100.0; }

MprisTrack PlayerMpris::Track() const {
  const NowPlaying& now = session_.Current();
  if (!session_.IsActive() || now.path.isEmpty()) return {};
  MprisTrack t;
  t.serial = now.serial;
  t.url = QUrl::fromLocalFile(now.path).toString();
  t.title = DisplayName(now.path.toStdString());
  if (now.facts.title) t.title = QString::fromStdString(*now.facts.title);
  if (now.facts.artist) t.artist = QString::fromStdString(*now.facts.artist);
  if (now.facts.album) t.album = QString::fromStdString(*now.facts.album);
  t.lengthUs = static_cast<qint64>(now.durationMs * 1000.0);
  if (artSerial_ != now.serial) {
    artSerial_ = now.serial;
    artUrl_ = EmbeddedArtUrl(now.path, artFolder_);
  }
  t.artUrl = artUrl_;
  return t;
}

bool PlayerMpris::CanGoNext() const { return session_.Playlist().RowCount() > 0; }
bool PlayerMpris::CanGoPrevious() const { return session_.Playlist().RowCount() > 0; }
bool PlayerMpris::CanPlay() const { return true; }
bool PlayerMpris::CanPause() const { return session_.IsActive(); }
bool PlayerMpris::CanSeek() const { return session_.IsActive() && session_.Current().durationMs > 0.0; }

}  // namespace tovira
