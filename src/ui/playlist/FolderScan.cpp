#include "ui/playlist/FolderScan.h"

#include <QMetaObject>

#include "playlist/FileFinder.h"

namespace tovira {

std::vector<std::string> ScanFolderForAudio(const std::string& root, const std::function<void(int, int)>& progress,
                                            const std::atomic<bool>* cancelled) {
  std::vector<std::string> found;
  if (FileFinder::NormalizeFolder(root).empty()) return found;
  // The tree is collected once; each folder is then read once for both patterns, so progress can
  // be shown folder by folder. The playlists go after every audio file of the tree, as a finder
  // searching pattern after pattern would give them.
  FileFinder tree;
  tree.SetCancelFlag(cancelled);
  tree.SetRoot(root, true);
  const auto& folders = tree.Folders();
  const int total = static_cast<int>(folders.size());
  std::vector<std::string> playlists;
  int done = 0;
  for (const auto& folder : folders) {
    if (cancelled && cancelled->load()) break;
    FileFinder one;
    one.SetRoot(folder, false);
    one.AddPattern("*.mp3", true, false);
    const size_t audio = one.Results().size();
    one.AddPattern("*.m3u", true, false);
    const auto& results = one.Results();
    for (size_t i = 0; i < results.size(); ++i) (i < audio ? found : playlists).push_back(results[i].path);
    ++done;
    if (progress) progress(done, total);
  }
  found.insert(found.end(), std::make_move_iterator(playlists.begin()), std::make_move_iterator(playlists.end()));
  return found;
}

struct FolderScanner::Job {
  std::atomic<bool> cancelled{false};
  std::atomic<int> lastReported{-1};
};

FolderScanner::FolderScanner(QObject* parent) : QObject(parent) {}

FolderScanner::~FolderScanner() { Stop(); }

void FolderScanner::Stop() {
  if (running_) running_->cancelled = true;
  running_.reset();
  if (worker_.joinable()) worker_.join();
}

void FolderScanner::Cancel() { Stop(); }

void FolderScanner::Start(const QStringList& roots, int tag) {
  Stop();
  auto job = std::make_shared<Job>();
  running_ = job;
  const uint64_t serial = ++serial_;
  std::vector<std::string> rootPaths;
  for (const auto& r : roots) rootPaths.push_back(r.toStdString());
  // The scanner joins the worker before it goes away, so `self` outlives the thread; a queued
  // call still waiting when it is destroyed is dropped by Qt with it.
  FolderScanner* self = this;
  worker_ = std::thread([self, job, serial, tag, rootPaths = std::move(rootPaths)] {
    QStringList files;
    for (const auto& root : rootPaths) {
      const auto found = ScanFolderForAudio(
          root,
          [&](int done, int total) {
            // At most one queued progress report per percent, so a huge tree does not flood
            // the UI thread's queue.
            const int percent = total > 0 ? (done * 100) / total : 100;
            if (job->lastReported.exchange(percent) == percent) return;
            QMetaObject::invokeMethod(
                self,
                [self, job, done, total] {
                  if (self->running_ == job) emit self->progress(done, total);
                },
                Qt::QueuedConnection);
          },
          &job->cancelled);
      for (const auto& f : found) files.push_back(QString::fromStdString(f));
      if (job->cancelled) return;
    }
    QMetaObject::invokeMethod(
        self,
        [self, job, serial, tag, files] {
          if (self->running_ != job || self->serial_ != serial) return;
          self->running_.reset();
          emit self->finished(files, tag);
        },
        Qt::QueuedConnection);
  });
}

}  // namespace tovira
