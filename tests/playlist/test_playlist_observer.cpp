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

class ShadowView final : public PlaylistObserver {
 public:
  explicit ShadowView(const PlaylistModel& model) : model_(model), rows_(Numbers(model)), current_(model.CurrentRow()) {}

  void RowsAboutToBeInserted(int first, int count) override {
    Begin("insert " + std::to_string(first) + "+" + std::to_string(count));
    if (first != static_cast<int>(rows_.size()) || count <= 0) Fault("insertion not at the end");
    pendingFirst_ = first;
    pendingCount_ = count;
  }
  void RowsInserted(int first, int count) override {
    End(first, count);
    const auto now = Numbers(model_);
    if (static_cast<int>(now.size()) < first + count) return Fault("rows missing after insertion");
    rows_.insert(rows_.begin() + first, now.begin() + first, now.begin() + first + count);
    Compare("after insertion");
  }
  void RowsAboutToBeRemoved(int first, int count) override {
    Begin("remove " + std::to_string(first) + "+" + std::to_string(count));
    if (first < 0 || count <= 0 || first + count > static_cast<int>(rows_.size())) Fault("removal out of range");
    pendingFirst_ = first;
    pendingCount_ = count;
  }
  void RowsRemoved(int first, int count) override {
    End(first, count);
    if (first >= 0 && count > 0 && first + count <= static_cast<int>(rows_.size())) {
      rows_.erase(rows_.begin() + first, rows_.begin() + first + count);
    }
    Compare("after removal");
  }
  void ModelAboutToBeReset() override {
    Begin("reset");
    pendingFirst_ = pendingCount_ = -2;
  }
  void ModelReset() override {
    End(-2, -2);
    rows_ = Numbers(model_);  // anything goes after a reset
  }
  void LayoutAboutToBeChanged() override {
    Begin("layout");
    pendingFirst_ = pendingCount_ = -3;
  }
  void LayoutChanged() override {
    End(-3, -3);
    // The same rows, reordered.
    auto before = rows_;
    auto after = Numbers(model_);
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    if (before != after) Fault("a layout change changed the rows");
    rows_ = Numbers(model_);
  }
  void CurrentRowChanged(int previous, int current) override {
    log.push_back("current " + std::to_string(previous) + ">" + std::to_string(current));
    if (open_) Fault("current row changed inside a bracket");
    if (previous != current_) Fault("current row was not " + std::to_string(previous));
    if (current != model_.CurrentRow()) Fault("current row is not yet " + std::to_string(current));
    current_ = current;
  }

  // After each operation: the view agrees with the model and no bracket is left open.
  void Check(const std::string& step) {
    if (open_) Fault(step + ": bracket left open");
    if (rows_ != Numbers(model_)) Fault(step + ": shadow rows differ");
    if (current_ != model_.CurrentRow()) Fault(step + ": shadow current row differs");
  }

  std::vector<std::string> log;
  std::vector<std::string> faults;

 private:
  void Begin(const std::string& what) {
    log.push_back(what);
    if (open_) Fault("nested About call");
    open_ = true;
    Compare("before " + what);  // nothing changed yet
  }
  void End(int first, int count) {
    if (!open_ || first != pendingFirst_ || count != pendingCount_) Fault("after call without its About call");
    open_ = false;
  }
  void Compare(const std::string& when) {
    if (rows_ != Numbers(model_)) Fault(when + ": rows differ");
  }
  void Fault(const std::string& what) { faults.push_back(what); }

  const PlaylistModel& model_;
  std::vector<int> rows_;  // row numbers in display order
  int current_ = -1;
  bool open_ = false;
  int pendingFirst_ = 0, pendingCount_ = 0;
};

TEST(PlaylistObserver, ALoadRemovalSortShuffleAndClearAreAnnouncedAsTheyHappen) {
  TempDir dir;
  Recorder rec;
  auto model = MakeModel(dir / "data", rec);
  ShadowView view(*model);
  model->SetObserver(&view);

  Load(*model, MakeTracks(dir / "m", 45));
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

  view.log.clear();
  model->SortColumn(kColumnNumber, false);
  view.Check("sort");
  model->ClickColumn(kColumnNumber);
  view.Check("click");
  model->Shuffle();
  view.Check("shuffle");
  EXPECT_EQ(view.log, (std::vector<std::string>{"layout", "layout", "layout"}));
  EXPECT_EQ(model->CurrentRow(), 10);  // a position: sorting leaves it

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

TEST(PlaylistObserver, CurrentRowMovesAreReportedOnlyWhenItMoves) {
  TempDir dir;
  Recorder rec;
  auto model = MakeModel(dir / "data", rec);
  Load(*model, MakeTracks(dir / "m", 2));
  ShadowView view(*model);
  model->SetObserver(&view);
  model->PlayPrevious();  // from -1 to 0 without starting anything
  model->PlayNext();
  model->PlayNext();      // past the end: stays on the last row
  model->StartRow(1);     // already there
  model->StartRow(7);     // no such row
  model->PlayPrevious();
  view.Check("moves");
  EXPECT_EQ(view.log, (std::vector<std::string>{"current -1>0", "current 0>1", "current 1>0"}));
  model->SetObserver(nullptr);
  model->PlayNext();
  EXPECT_EQ(view.log.size(), 3u);
  EXPECT_TRUE(view.faults.empty()) << view.faults.front();
}

}  // namespace
}  // namespace tovira
