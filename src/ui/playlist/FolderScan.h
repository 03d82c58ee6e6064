#pragma once
// Finds every ".mp3" and then every ".m3u" file below one or more folders, off the UI thread.
//
// The scan runs on a worker thread that the scanner owns; progress and the result come back to
// the scanner's thread as queued signals. Starting a new scan or cancelling drops the running
// one: its result is never delivered. The destructor stops the worker after the folder it reads.

#include <QObject>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tovira {

// The files a folder scan adds, in the order they are added: for each root, every ".mp3" of the
// whole tree first, then every ".m3u". `progress(done, total)` is called after each folder is
// read; `cancelled` is polled between folders, and a cancelled scan returns what it has found so
// far.
std::vector<std::string> ScanFolderForAudio(const std::string& root,
                                            const std::function<void(int done, int total)>& progress = {},
                                            const std::atomic<bool>* cancelled = nullptr);

class FolderScanner : public QObject {
  Q_OBJECT
 public:
  explicit FolderScanner(QObject* parent = nullptr);
  ~FolderScanner() override;

  // Scans `roots` in order; `finished` follows with every file found, `tag` handed back unchanged.
  void Start(const QStringList& roots, int tag = 0);
  void Cancel();
  bool IsScanning() const { return running_ != nullptr; }

 signals:
  void progress(int done, int total);
  void finished(const QStringList& files, int tag);

 private:
  struct Job;
  void Stop();

  std::shared_ptr<Job> running_;
  std::thread worker_;
  uint64_t serial_ = 0;
};

}  // namespace tovira
