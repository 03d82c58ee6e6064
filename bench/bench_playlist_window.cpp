// Playlist window figures: the time from OK in the folder picker to every row shown with its
// tags, and the resident memory of a playlist of many rows shown in the window.
//
// Usage: tovira-bench-playlist BASE.mp3 [FILES] [ROWS]
//   BASE.mp3  a short MPEG audio file, copied FILES times (default 10000) into a folder tree and
//             tagged with distinct texts;
//   ROWS      the rows of the memory figure (default 100000), made by adding the files again.
#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTableView>

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "playlist/PlaylistModel.h"
#include "ui/playlist/FolderPickerDialog.h"
#include "ui/playlist/PlaylistDialog.h"
#include "util/Settings.h"

namespace fs = std::filesystem;
using namespace tovira;

namespace {

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

void Tag(const fs::path& file, int i) {
  TagLib::MPEG::File f(file.c_str(), false);
  auto* tag = f.ID3v2Tag(true);
  tag->setArtist(TagLib::String("Artist " + std::to_string(i % 97), TagLib::String::UTF8));
  tag->setTitle(TagLib::String("Title " + std::to_string(i), TagLib::String::UTF8));
  tag->setAlbum(TagLib::String("Album " + std::to_string(i / 100), TagLib::String::UTF8));
  tag->setYear(static_cast<unsigned>(1960 + i % 60));
  tag->setGenre("Rock");
  f.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers);
}

// User plus system time of the whole process (all threads), ms: less disturbed than wall time
// when the machine is busy with other work.
double CpuMs() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

template <class Pred>
void Pump(Pred done) {
  while (!done()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s BASE.mp3 [FILES] [ROWS]\n", argv[0]);
    return 2;
  }
  const fs::path base = argv[1];
  const int files = argc > 2 ? std::atoi(argv[2]) : 10000;
  const int rows = argc > 3 ? std::atoi(argv[3]) : 100000;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  char templ[] = "/tmp/tovira-bench-playlist-XXXXXX";
  const fs::path root = ::mkdtemp(templ);
  const fs::path music = root / "music";
  std::vector<std::string> paths;
  for (int i = 0; i < files; ++i) {
    const fs::path dir = music / ("cd" + std::to_string(i / 100));
    fs::create_directories(dir);
    char name[32];
    std::snprintf(name, sizeof name, "%05d.mp3", i);
    fs::copy_file(base, dir / name);
    Tag(dir / name, i);
  }
  std::printf("made %d tagged files in %s\n", files, music.c_str());

  PlaylistModel* modelPtr = nullptr;
  PlaylistOptions options;
  options.dataFolder = root / "data";
  PlaylistCallbacks callbacks;
  QObject context;
  callbacks.batchReady = [&context, &modelPtr](size_t) {
    QMetaObject::invokeMethod(&context, [&modelPtr] { modelPtr->DeliverBatches(); }, Qt::QueuedConnection);
  };
  PlaylistModel model(options, callbacks);
  modelPtr = &model;
  MapSettings settings;
  PlaylistDialog dialog(model, settings, nullptr, QString::fromStdString(root.string()));
  dialog.show();
  auto& picker = dialog.FolderPicker();
  picker.show();
  picker.SetSelPath(QString::fromStdString(music.string()));

  QElapsedTimer clock;
  qint64 scanned = -1;
  QObject::connect(&picker, &FolderPickerDialog::filesChosen, &context, [&] { scanned = clock.elapsed(); });
  const double cpu0 = CpuMs();
  clock.start();
  picker.accept();
  Pump([&] { return model.RowCount() == files && !model.IsLoading(); });
  dialog.Table()->scrollToBottom();
  dialog.Table()->viewport()->repaint();
  const qint64 okToRows = clock.elapsed();
  const double okToRowsCpu = CpuMs() - cpu0;
  const auto& last = model.Row(files - 1);
  std::printf("folder picker OK -> %d rows with tags shown: %lld ms wall, %.0f ms CPU (folder scan done at %lld ms; "
              "last row: %s / %s)\n",
              model.RowCount(), static_cast<long long>(okToRows), okToRowsCpu, static_cast<long long>(scanned), std::string(last.Text(kColumnArtist)).c_str(), std::string(last.Text(kColumnTitle)).c_str());

  model.Clear();
  const long before = ResidentKb();
  std::vector<std::string> many;
  for (const auto& entry : fs::recursive_directory_iterator(music)) {
    if (entry.is_regular_file()) paths.push_back(entry.path().string());
  }
  while (static_cast<int>(many.size()) < rows) many.push_back(paths[many.size() % paths.size()]);
  clock.restart();
  model.AddPaths(many);
  Pump([&] { return model.RowCount() == rows && !model.IsLoading(); });
  const qint64 loadMs = clock.elapsed();
  // Scrolling through the whole list, one page at a time, painting each.
  auto* bar = dialog.Table()->verticalScrollBar();
  clock.restart();
  int pages = 0;
  for (int v = 0; v <= bar->maximum() && pages < 2000; v += bar->pageStep() * 50, ++pages) {
    bar->setValue(v);
    dialog.Table()->viewport()->repaint();
  }
  const double perPage = pages ? static_cast<double>(clock.elapsed()) / pages : 0.0;
  const long after = ResidentKb();
  std::printf("%d rows: loaded in %lld ms; resident memory %ld MB (before adding them %ld MB); "
              "%.2f ms per scrolled and painted page\n",
              model.RowCount(), static_cast<long long>(loadMs), after / 1024, before / 1024, perPage);

  std::error_code ec;
  fs::remove_all(root, ec);
  return 0;
}
