#include "ui/playlist/FolderScan.h"

#include <QMetaObject>

#include "playlist/FileFinder.h"
#include "playlist/PlaylistFiles.h"

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
    for (const char* pattern : kPlaylistPatterns) one.AddPattern(pattern, true, false);
    const auto& results = one.Results();
    for (size_t i = 0; i < results.size(); ++i) (i < audio ? found : playlists).push_back(results[i].path);
    ++done;
    if (progress) progress(done, total);
  }
  found.insert(found.end(), std::make_move_iterator(playlists.begin()), std::make_move_iterator(playlists.end()));
  return found;
}

struct FolderScanner::Job {
  std::vector<std::string> roots;
  int tag = 0;
  // Set on the scanner's thread, polled by the worker between folders.
  std::atomic<bool> cancelled{false};
  std::atomic<int> lastReported{-1};
};

FolderScanner::FolderScanner(QObject* parent) : QObject(parent) {}

FolderScanner::~FolderScanner() {
  Cancel();
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_one();
  // A result the worker posts meanwhile is dropped by Qt along with this object.
  if (worker_.joinable()) worker_.join();
}

void FolderScanner::Cancel() {
  {
    std::lock_guard lock(mutex_);
    queue_.clear();
  }
  for (const auto& job : pending_) job->cancelled = true;
  pending_.clear();
}

void FolderScanner::Start(const QStringList& roots, int tag) {
  auto job = std::make_shared<Job>();
  job->tag = tag;
  for (const auto& r : roots) job->roots.push_back(r.toStdString());
  pending_.push_back(job);
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(job));
    if (!worker_.joinable()) worker_ = std::thread(&FolderScanner::Work, this);
  }
  wake_.notify_one();
}

void FolderScanner::Work() {
  for (;;) {
    std::shared_ptr<Job> job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return quit_ || !queue_.empty(); });
      if (quit_) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    Run(job);
  }
}

// Worker thread. The scanner joins the worker before it goes away, so `this` outlives the calls
// posted here; one still waiting when the scanner is destroyed is dropped by Qt with it.
void FolderScanner::Run(const std::shared_ptr<Job>& job) {
  QStringList files;
  for (const auto& root : job->roots) {
    const auto found = ScanFolderForAudio(
        root,
        [&](int done, int total) {
          // At most one queued progress report per percent, so a huge tree does not flood the
          // UI thread's queue.
          const int percent = total > 0 ? (done * 100) / total : 100;
          if (job->lastReported.exchange(percent) == percent) return;
          QMetaObject::invokeMethod(
              this,
              [this, job, done, total] {
                if (!job->cancelled) emit progress(done, total);
              },
              Qt::QueuedConnection);
        },
        &job->cancelled);
    for (const auto& f : found) files.push_back(QString::fromStdString(f));
    if (job->cancelled) return;
  }
  QMetaObject::invokeMethod(
      this,
      [this, job, files = std::move(files)] {
        // One worker and queued calls keep the results in the order the jobs were started, so a
        // job not cancelled is the oldest pending one.
        if (job->cancelled || pending_.empty() || pending_.front() != job) return;
        pending_.pop_front();
        emit finished(files, job->tag);
      },
      Qt::QueuedConnection);
}

}  // namespace tovira
