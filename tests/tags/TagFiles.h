#pragma once
// Test material for tag and playlist tests: fixture MP3 copies with tags written by TagLib, made
// in a temporary folder that disappears with the test.

#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tovira::test {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    std::string templ = (fs::temp_directory_path() / "tovira-test-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

inline fs::path Fixture(const char* name) { return fs::path(TOVIRA_FIXTURE_DIR) / name; }

// The constant-rate fixture: 3 seconds of MPEG-1 Layer III at 128 kbit/s.
inline fs::path CopyFixture(const fs::path& to, const char* name = "l3_44k_128_js.mp3") {
  if (to.has_parent_path()) fs::create_directories(to.parent_path());
  fs::copy_file(Fixture(name), to, fs::copy_options::overwrite_existing);
  return to;
}

using Frames = std::vector<std::pair<std::string, TagLib::String>>;

// Writes an ID3v2 tag of the given version (3 or 4) holding exactly these text frames.
inline void WriteV2(const fs::path& file, int version, TagLib::String::Type encoding, const Frames& frames) {
  TagLib::MPEG::File f(file.c_str(), false);
  TagLib::ID3v2::Tag* tag = f.ID3v2Tag(true);
  for (const auto& [id, text] : frames) {
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame(TagLib::ByteVector(id.c_str()), encoding);
    frame->setText(text);
    tag->addFrame(frame);
  }
  if (!f.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers,
              version == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4)) {
    throw std::runtime_error("cannot write an ID3v2 tag");
  }
}

struct V1Fields {
  std::string title, artist, album;
  unsigned year = 0;
  unsigned genre = 255;
};

inline void WriteV1(const fs::path& file, const V1Fields& v) {
  TagLib::MPEG::File f(file.c_str(), false);
  TagLib::ID3v1::Tag* tag = f.ID3v1Tag(true);
  tag->setTitle(v.title);
  tag->setArtist(v.artist);
  tag->setAlbum(v.album);
  tag->setYear(v.year);
  tag->setGenreNumber(v.genre);
  if (!f.save(TagLib::MPEG::File::ID3v1, TagLib::File::StripOthers)) {
    throw std::runtime_error("cannot write an ID3v1 tag");
  }
}

// A tagged copy of the fixture, artist/title/album as given (ID3v2.4, UTF-8).
inline fs::path MakeTrack(const fs::path& to, const std::string& artist, const std::string& title,
                          const std::string& album = "Album", const char* fixture = "l3_44k_128_js.mp3") {
  CopyFixture(to, fixture);
  WriteV2(to, 4, TagLib::String::UTF8,
          {{"TPE1", TagLib::String(artist, TagLib::String::UTF8)},
           {"TIT2", TagLib::String(title, TagLib::String::UTF8)},
           {"TALB", TagLib::String(album, TagLib::String::UTF8)}});
  return to;
}

inline void WriteBytes(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

}  // namespace tovira::test
