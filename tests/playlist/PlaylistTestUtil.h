#pragma once
// A playlist model wired to a temporary data folder and recorded callbacks.

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "playlist/PlaylistModel.h"
#include "tags/TagFiles.h"

namespace tovira::test {

struct Recorder {
  std::vector<std::string> started;
  std::vector<std::pair<int, int>> added;
  std::mutex mutex;
  std::vector<size_t> batches;  // sizes reported on the load thread
  int changes = 0;
  std::vector<std::tuple<uint64_t, int, std::string>> firstRows;  // tag, the row given, its path
  PlaylistModel* model = nullptr;
};

inline std::unique_ptr<PlaylistModel> MakeModel(const fs::path& dataFolder, Recorder& rec) {
  PlaylistOptions options;
  options.dataFolder = dataFolder;
  options.shuffleSeed = 12345;
  PlaylistCallbacks callbacks;
  callbacks.startRow = [&rec](const std::string& p) { rec.started.push_back(p); };
  callbacks.rowsAdded = [&rec](int first, int end) { rec.added.emplace_back(first, end); };
  callbacks.batchReady = [&rec](size_t n) {
    std::lock_guard lock(rec.mutex);
    rec.batches.push_back(n);
  };
  callbacks.changed = [&rec] { ++rec.changes; };
  callbacks.firstRowArrived = [&rec](uint64_t tag, int row) { rec.firstRows.emplace_back(tag, row, rec.model->PathOfRow(row)); };
  auto model = std::make_unique<PlaylistModel>(std::move(options), std::move(callbacks));
  rec.model = model.get();
  return model;
}

inline void Load(PlaylistModel& model, std::vector<std::string> paths) {
  model.AddPaths(std::move(paths));
  model.WaitForLoad();
  model.DeliverBatches();
}

// `first` and `count` - 1 copies of it beside it, named 002.mp3 ...
inline std::vector<std::string> CopiesOf(const fs::path& first, int count) {
  std::vector<std::string> paths{first.string()};
  for (int i = 2; i <= count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "%03d.mp3", i);
    fs::copy_file(first, first.parent_path() / name);
    paths.push_back((first.parent_path() / name).string());
  }
  return paths;
}

// `count` readable files named 001.mp3 ... (the same tags; the file name tells them apart).
inline std::vector<std::string> MakeTracks(const fs::path& folder, int count) {
  fs::create_directories(folder);
  const fs::path first = folder / "001.mp3";
  MakeTrack(first, "Artist", "001");
  return CopiesOf(first, count);
}

inline std::vector<int> Numbers(const PlaylistModel& model) {
  std::vector<int> n;
  for (const auto& row : model.Rows()) n.push_back(row.number);
  return n;
}

inline std::vector<std::string> Column(const PlaylistModel& model, int column) {
  std::vector<std::string> texts;
  for (const auto& row : model.Rows()) texts.emplace_back(row.Text(column));
  return texts;
}

// A model over a temporary folder, for one test.
class ModelTest : public ::testing::Test {
 protected:
  TempDir dir;
  Recorder rec;
  std::unique_ptr<PlaylistModel> model = MakeModel(dir / "data", rec);
};

}  // namespace tovira::test
