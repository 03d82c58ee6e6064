#pragma once
// Finds every ".mp3" and then every playlist below one or more folders, off the UI thread.
//
// The scans run one after another on a worker thread that the scanner owns; progress and the
// results come back to the scanner's thread as queued signals. A scan started while another runs
// waits behind it, and results arrive in the order the scans were started. Cancelling drops the
// running scan and every waiting one: none of their results is delivered. The destructor stops
// the worker after the folder it reads.

#include <QObject>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tovira {

// The files a folder scan adds, in the order they are added: for each root, every ".mp3" of the
// whole tree first, then every playlist (kPlaylistPatterns), folder by folder.
// `progress(done, total)` is called after each folder is read; `cancelled` is polled between
// folders, and a cancelled scan returns what it has found so far.
std::vector<std::string> ScanFolderForAudio(const std::string& root,
                                            const std::function<void(int done, int total)>& progress = {},
                                            const std::atomic<bool>* cancelled = nullptr);

class FolderScanner : public QObject {
  Q_OBJECT
 public:
  explicit FolderScanner(QObject* parent = nullptr);
  ~FolderScanner() override;

  // Queues a scan of `roots`, in order, behind any scan not yet finished; `finished` follows
  // with every file found, `tag` handed back unchanged.
  void Start(const QStringList& roots, int tag = 0);
  // Drops every scan not yet finished.
  void Cancel();
  // Whether a started scan has not delivered its result yet.
  bool IsScanning() const { return !pending_.empty(); }

 signals:
  void progress(int done, int total);
  void finished(const QStringList& files, int tag);

 private:
  struct Job;
  void Work();
  void Run(const std::shared_ptr<Job>& job);

  // Scanner's thread: the jobs started and neither delivered nor cancelled, oldest first.
  std::deque<std::shared_ptr<Job>> pending_;
  // Guarded by mutex_: the jobs the worker has yet to take.
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::shared_ptr<Job>> queue_;
  bool quit_ = false;
  std::thread worker_;
};

}  // namespace tovira
