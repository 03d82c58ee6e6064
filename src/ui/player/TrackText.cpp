#include "ui/player/TrackText.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

#include "tags/GenreTable.h"
#include "tags/TagInfo.h"

namespace tovira {

QString FormatElapsed(uint32_t ms) {
  // Hundredths are rounded, and a rounding that reaches the next minute carries into it, so the
  // display never shows "60.00" seconds.
  const uint64_t hundredths = (static_cast<uint64_t>(ms) + 5) / 10;
  const uint64_t minutes = hundredths / 6000;
  const uint64_t rest = hundredths % 6000;
  return QString::asprintf("%02llu:%02llu.%02llu", static_cast<unsigned long long>(minutes),
                           static_cast<unsigned long long>(rest / 100), static_cast<unsigned long long>(rest % 100));
}

QString FormatSpokenTime(uint64_t ms) {
  const uint64_t seconds = ms / 1000;
  const auto h = static_cast<unsigned long long>(seconds / 3600);
  const auto m = static_cast<unsigned long long>(seconds / 60 % 60);
  const auto s = static_cast<unsigned long long>(seconds % 60);
  return h > 0 ? QString::asprintf("%llu:%02llu:%02llu", h, m, s) : QString::asprintf("%llu:%02llu", m, s);
}

namespace {

QString TrimmedRight(const std::optional<std::string>& text) {
  if (!text) return {};
  QString s = QString::fromStdString(*text);
  qsizetype end = s.size();
  while (end > 0 && s.at(end - 1).isSpace()) --end;
  return s.left(end);
}

QString Escaped(const QString& text) { return text.toHtmlEscaped(); }

// The genre as the panel names it: numbers resolve through the panel's own table, numbers past
// the list (148 is the "Unknown" slot, 255 means none) add nothing, free texts stand as written.
QString PanelGenre(const std::optional<std::string>& genre) {
  const QString text = TrimmedRight(genre);
  if (text.isEmpty()) return {};
  static const QRegularExpression number(QStringLiteral("^\\(?(\\d{1,9})\\)?$"));
  const auto m = number.match(text);
  if (m.hasMatch()) {
    const int n = m.captured(1).toInt();
    if (n > 147) return {};
    return QString::fromUtf8(InfoGenreTable[static_cast<size_t>(n)].data(),
                             static_cast<qsizetype>(InfoGenreTable[static_cast<size_t>(n)].size()));
  }
  const std::string utf8 = text.toStdString();
  for (size_t i = 0; i < GenreTable.size(); ++i) {
    if (GenreTable[i] == utf8) {
      return QString::fromUtf8(InfoGenreTable[i].data(), static_cast<qsizetype>(InfoGenreTable[i].size()));
    }
  }
  return text;
}

}  // namespace

QString DisplayName(const std::string& path) {
  return QString::fromStdString(TagInfo::NameWithoutExtension(path));
}

TrackText BuildTrackText(const TrackFacts& facts) {
  TrackText out;
  QString body;
  if (facts.tagged) {
    const QString artist = TrimmedRight(facts.artist);
    const QString title = TrimmedRight(facts.title);
    const QString album = TrimmedRight(facts.album);
    const QString year = TrimmedRight(facts.year);
    if (!artist.isEmpty()) {
      out.title = artist + QStringLiteral(" - ");
      body += Escaped(artist.toUpper()) + QStringLiteral(" <br>");
    }
    if (!title.isEmpty()) {
      body += QStringLiteral("&quot;") + Escaped(title) + QStringLiteral("&quot;&nbsp; ");
      out.title += title + QStringLiteral(" - ");
    }
    if (!album.isEmpty()) body += QStringLiteral("<br>") + Escaped(album);
    // A long album name leaves no room for the year on its line.
    if (album.size() < 29 && !year.isEmpty()) body += QStringLiteral(" (") + Escaped(year) + QStringLiteral(")");
    const QString genre = PanelGenre(facts.genre);
    if (!genre.isEmpty()) body += QStringLiteral(" <br><i>") + QCoreApplication::translate("tovira::TrackText", "Genre:") + QStringLiteral("</i> ") + Escaped(genre);
  } else {
    const QString name = DisplayName(facts.path);
    body += Escaped(name);
    out.title = name + QStringLiteral(" - ");
  }
  QString figures;
  if (facts.vbr) {
    figures = QStringLiteral("VBR ");
  } else {
    figures = QString::asprintf("%u kbps ", facts.bitrate / 1000);
  }
  figures += QString::asprintf("%d kHz ", facts.frequency / 1000);
  figures += facts.stereo ? QCoreApplication::translate("tovira::TrackText", "Stereo") : QCoreApplication::translate("tovira::TrackText", "Mono");
  out.html = QStringLiteral("<div style=\"font-family:Verdana,'DejaVu Sans',sans-serif; font-size:9pt;\">") + body +
             QStringLiteral(" <br><b style=\"font-size:8pt;\">") + figures + QStringLiteral("</b></div>");
  out.title += QString::fromLatin1(kProgramTitle);
  return out;
}

}  // namespace tovira
