#pragma once
// Helpers of the window tests: small files and a playlist model with recorded callbacks.

#include <QString>

#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "playlist/PlaylistModel.h"
#include "tags/TagFiles.h"

QT_BEGIN_NAMESPACE
// Readable QStrings in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace tovira::test {

inline void Touch(const std::filesystem::path& p, const std::string& content = "x") {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream(p) << content;
}

struct ModelRecord {
  std::vector<std::string> started;
};

// A playlist model whose default file lives in `dataFolder` and which records started rows.
inline std::unique_ptr<PlaylistModel> MakePlaylist(const fs::path& dataFolder, ModelRecord& rec) {
  PlaylistOptions options;
  options.dataFolder = dataFolder;
  options.shuffleSeed = 99;
  PlaylistCallbacks callbacks;
  callbacks.startRow = [&rec](const std::string& p) { rec.started.push_back(p); };
  return std::make_unique<PlaylistModel>(std::move(options), std::move(callbacks));
}

// Adds `paths` and waits until every row is in.
inline void LoadAll(PlaylistModel& model, const std::vector<std::string>& paths) {
  model.AddPaths(paths);
  model.WaitForLoad();
  model.DeliverBatches();
}

}  // namespace tovira::test
