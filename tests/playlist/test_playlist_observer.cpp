// What a Qt item model over the playlist is told. The oracle is a shadow copy of the rows that
// changes only through the notifications: if it matches the model after every operation, and
// the model was unchanged whenever an About call came, the view would have shown the truth.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "playlist/PlaylistModel.h"
#include "playlist/PlaylistTestUtil.h"

namespace tovira {
namespace {

using namespace test;
using PlaylistNotifications = ModelTest;

class ShadowView final : public PlaylistObserver {
 public:
  explicit ShadowView(const PlaylistModel& model) : model_(model), rows_(Numbers(model)), current_(model.CurrentRow()) {}

  void RowsAboutToBeInserted(int first, int count) override {
    Begin("insert", first, count);
    if (first != Size() || count <= 0) Fault("insertion not at the end");
  }
  void RowsInserted(int first, int count) override {
    End(first, count);
    const auto now = Numbers(model_);
    if (static_cast<int>(now.size()) < first + count) return Fault("rows missing after insertion");
    rows_.insert(rows_.begin() + first, now.begin() + first, now.begin() + first + count);
    Compare("after insertion");
  }
  void RowsAboutToBeRemoved(int first, int count) override {
    Begin("remove", first, count);
    if (first < 0 || count <= 0 || first + count > Size()) Fault("removal out of range");
  }
  void RowsRemoved(int first, int count) override {
    End(first, count);
    if (first >= 0 && count > 0 && first + count <= Size()) rows_.erase(rows_.begin() + first, rows_.begin() + first + count);
    Compare("after removal");
  }
  void ModelAboutToBeReset() override { Begin("reset", -1, 0); }
  void ModelReset() override {
    End(-1, 0);
    rows_ = Numbers(model_);  // anything goes after a reset
  }
  void LayoutAboutToBeChanged() override { Begin("layout", -1, 1); }
  void LayoutChanged() override {
    End(-1, 1);
    auto before = rows_;  // the same rows, reordered
    rows_ = Numbers(model_);
    auto after = rows_;
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    if (before != after) Fault("a layout change changed the rows");
  }
  void CurrentRowChanged(int previous, int current) override {
    log.push_back("current " + std::to_string(previous) + ">" + std::to_string(current));
    if (open_) Fault("current row changed inside a bracket");
    if (previous != current_) Fault("current row was not " + std::to_string(previous));
    if (current != model_.CurrentRow()) Fault("current row is not yet " + std::to_string(current));
    current_ = current;
  }
  // The track started last, by its number: wherever the model puts it, the mark must follow.
  void PlayingRowChanged(int, int current) override {
    if (open_) Fault("playing row changed inside a bracket");
    playing_ = current >= 0 && current < Size() ? rows_[static_cast<size_t>(current)] : 0;
  }

  // After each operation: the view agrees with the model and no bracket is left open.
  void Check(const std::string& step) {
    if (open_) Fault(step + ": bracket left open");
    if (rows_ != Numbers(model_)) Fault(step + ": shadow rows differ");
    if (current_ != model_.CurrentRow()) Fault(step + ": shadow current row differs");
    const auto now = Numbers(model_);
    const auto at = std::find(now.begin(), now.end(), playing_);
    const int playing = playing_ == 0 || at == now.end() ? -1 : static_cast<int>(at - now.begin());
    if (model_.PlayingRow() != playing) Fault(step + ": the playing row is not the track started last");
  }

  std::vector<std::string> log, faults;

 private:
  int Size() const { return static_cast<int>(rows_.size()); }
  // Runs of rows are logged as "insert 40+5"; a reset or a layout change by name alone.
  void Begin(const std::string& what, int first, int count) {
    log.push_back(first < 0 ? what : what + " " + std::to_string(first) + "+" + std::to_string(count));
    if (open_) Fault("nested About call");
    open_ = true;
    pending_ = {first, count};
    Compare("before " + what);  // nothing changed yet
  }
  void End(int first, int count) {
    if (!open_ || pending_ != std::pair{first, count}) Fault("after call without its About call");
    open_ = false;
  }
  void Compare(const std::string& when) {
    if (rows_ != Numbers(model_)) Fault(when + ": rows differ");
  }
  void Fault(const std::string& what) { faults.push_back(what); }

  const PlaylistModel& model_;
  std::vector<int> rows_;  // row numbers in display order
  int current_ = -1;
  int playing_ = 0;  // row number; 0 for none
  bool open_ = false;
  std::pair<int, int> pending_;
};

TEST_F(PlaylistNotifications, ALoadRemovalSortShuffleAndClearAreAnnouncedAsTheyHappen) {
  ShadowView view(*model);
  model->SetObserver(&view);
  auto paths = MakeTracks(dir / "m", 45);
  // Unreadable files give rows with only their number and file name, which every sort keeps too.
  paths[1] = (dir / "none1.mp3").string();
  paths[30] = (dir / "none2.mp3").string();
  Load(*model, paths);
  view.Check("load");
  EXPECT_EQ(view.log, (std::vector<std::string>{"insert 0+20", "insert 20+20", "insert 40+5"}));

  ASSERT_TRUE(model->StartRow(10));
  view.Check("start");
  view.log.clear();
  // Scattered, unsorted, repeated and out-of-range indexes.
  model->RemoveRows({3, 44, 12, 4, 11, 5, 99, -1, 4, 43});
  view.Check("remove");
  EXPECT_EQ(view.log, (std::vector<std::string>{"remove 43+2", "remove 11+2", "remove 3+3"}));
  EXPECT_EQ(model->RowCount(), 38);
  // Removed entries are blanked, so they are never saved again; the others keep their places.
  EXPECT_EQ(model->PlaylistPaths()[3], "");
  EXPECT_EQ(model->PlaylistPaths()[6], paths[6]);
  EXPECT_EQ(model->PathOfRow(3), paths[6]);
  EXPECT_EQ(model->M3uText().find(paths[3]), std::string::npos);
  EXPECT_NE(model->M3uText().find(paths[6]), std::string::npos);

  view.log.clear();
  model->SortColumn(kColumnNumber, false);
  view.Check("sort");
  const auto numbers = Numbers(*model);  // by number, not by text ("9" > "43")
  EXPECT_TRUE(std::is_sorted(numbers.rbegin(), numbers.rend()));
  EXPECT_EQ(model->PathOfRow(0), paths[42]);
  model->ClickColumn(kColumnNumber);
  view.Check("click");
  for (int column = 0; column < kColumnCount; ++column) {
    for (bool ascending : {true, false}) {
      model->SortColumn(column, ascending);
      view.Check("sort by column " + std::to_string(column));
    }
  }
  model->Shuffle();
  view.Check("shuffle");
  EXPECT_EQ(view.log, std::vector<std::string>(3 + 2 * kColumnCount, "layout"));
  EXPECT_EQ(model->CurrentRow(), 10);  // a position: sorting leaves it
  EXPECT_EQ(model->PathOfRow(model->PlayingRow()), paths[10]);  // the mark names the track

  view.log.clear();
  model->Clear();
  view.Check("clear");
  EXPECT_EQ(view.log, (std::vector<std::string>{"reset", "current 10>-1"}));
  // The next play starts with the first of the new rows.
  Load(*model, MakeTracks(dir / "n", 3));
  EXPECT_TRUE(model->PlayNext());
  view.Check("play after clear");
  EXPECT_EQ(model->CurrentRow(), 0);
  EXPECT_EQ(rec.started.back(), (dir / "n" / "001.mp3").string());
  EXPECT_TRUE(view.faults.empty()) << view.faults.front();
}

TEST_F(PlaylistNotifications, CurrentRowStopsAtBothEndsAndIsReportedOnlyWhenItMoves) {
  ShadowView view(*model);
  model->SetObserver(&view);
  EXPECT_FALSE(model->PlayNext());  // nothing to play
  model->PlayPrevious();
  const auto paths = MakeTracks(dir / "m", 4);
  Load(*model, paths);
  model->PlayPrevious();  // at the first row: nothing starts
  EXPECT_TRUE(model->PlayNext());
  EXPECT_TRUE(model->StartRow(3));
  EXPECT_FALSE(model->PlayNext());  // on the last row
  EXPECT_FALSE(model->StartRow(4));
  EXPECT_FALSE(model->StartRow(-1));
  model->PlayPrevious();
  model->PlayPrevious();
  model->RemoveRows({0, 1});  // the playing row goes with them
  view.Check("remove the playing row");
  EXPECT_EQ(model->PlayingRow(), -1);
  // Fewer rows than entries now: an index past the rows starts nothing.
  EXPECT_FALSE(model->StartRow(2));
  EXPECT_TRUE(model->StartRow(1));
  view.Check("moves");
  EXPECT_EQ(rec.started, (std::vector<std::string>{paths[1], paths[3], paths[2], paths[1], paths[3]}));
  // The current row is a position: removing rows leaves it, starting it again does not move it.
  EXPECT_EQ(view.log, (std::vector<std::string>{"current -1>0", "insert 0+4", "current 0>1", "current 1>3", "current 3>2",
                                                "current 2>1", "remove 0+2"}));
  // A row whose file already plays is marked without being started again.
  view.log.clear();
  model->MarkPlaying(0);
  model->MarkPlaying(2);  // past the rows: nothing
  view.Check("mark playing");
  EXPECT_EQ(model->PlayingRow(), 0);
  EXPECT_EQ(view.log, std::vector<std::string>{"current 1>0"});
  EXPECT_EQ(rec.started.size(), 5u);
  view.log.clear();
  model->SetObserver(nullptr);
  EXPECT_TRUE(model->PlayNext());
  EXPECT_TRUE(view.log.empty());
  EXPECT_TRUE(view.faults.empty()) << view.faults.front();
}

}  // namespace
}  // namespace tovira
