// The controller between the engine and the window: notifications arrive on the UI thread as
// signals, an end of track that belongs to a file no longer open is dropped, and failures come
// back with a reason.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <fstream>

#include "Eventually.h"
#include "tags/TagFiles.h"
#include "ui/player/EngineController.h"

namespace tovira {
namespace {

QString Fixture(const char* name) { return QString::fromStdString(test::Fixture(name).string()); }

constexpr int kWaitMs = 60000;


TEST(EngineController, VolumeWordPutsTheSameLevelOnBothChannels) {
  EXPECT_EQ(EngineController::VolumeWord(0), 0u);
  EXPECT_EQ(EngineController::VolumeWord(50), (32750u << 16) | 32750u);
  EXPECT_EQ(EngineController::VolumeWord(100), (65500u << 16) | 65500u);
  EXPECT_EQ(EngineController::VolumeWord(130), EngineController::VolumeWord(100));
  EXPECT_EQ(EngineController::VolumeWord(-4), 0u);
}

TEST(EngineController, EndOfTrackArrivesOnTheUiThread) {
  EngineController c;
  QSignalSpy ended(&c, &EngineController::trackEnded);
  Qt::HANDLE receivedOn = nullptr;
  QObject::connect(&c, &EngineController::trackEnded, [&] { receivedOn = QThread::currentThreadId(); });
  ASSERT_TRUE(c.Play(Fixture("l3_44k_128_js.mp3")).ok);
  EXPECT_EQ(c.State(), EngineState::Playing);
  c.Seek(2700);
  ASSERT_TRUE(ended.wait(kWaitMs));
  EXPECT_EQ(ended.count(), 1);
  EXPECT_EQ(receivedOn, QThread::currentThreadId());
  EXPECT_EQ(c.State(), EngineState::Ended);
}

TEST(EngineController, EndOfAReplacedTrackIsDropped) {
  EngineController c;
  QSignalSpy ended(&c, &EngineController::trackEnded);
  ASSERT_TRUE(c.Play(Fixture("l3_44k_128_js.mp3")).ok);
  c.Seek(2800);
  // Wait for the end without running the event loop: its notification is queued, not delivered.
  ASSERT_TRUE(test::Eventually([&] { return c.State() == EngineState::Ended; }));
  ASSERT_TRUE(c.Play(Fixture("l2_44k_192.mp2")).ok);
  QTest::qWait(200);
  EXPECT_EQ(ended.count(), 0) << "the first track's end must not reach the second";
  EXPECT_EQ(c.State(), EngineState::Playing);
  c.Seek(2800);
  ASSERT_TRUE(ended.wait(kWaitMs));
  EXPECT_EQ(ended.count(), 1);
}

TEST(EngineController, StopDropsTheEndOfTheStoppedTrack) {
  EngineController c;
  QSignalSpy ended(&c, &EngineController::trackEnded);
  ASSERT_TRUE(c.Play(Fixture("l3_44k_128_js.mp3")).ok);
  c.Seek(2800);
  ASSERT_TRUE(test::Eventually([&] { return c.State() == EngineState::Ended; }));
  c.StopAndClose();
  QTest::qWait(200);
  EXPECT_EQ(ended.count(), 0);
  EXPECT_EQ(c.State(), EngineState::Closed);
}

struct FailCase {
  const char* name;
  const char* content;  // nullptr: no file at all
  const char* reason;
};

class PlayFailure : public ::testing::TestWithParam<FailCase> {};

TEST_P(PlayFailure, ComesBackWithAReasonAndLeavesTheEngineClosed) {
  test::TempDir dir;
  const auto path = dir / GetParam().name;
  if (GetParam().content != nullptr) std::ofstream(path) << GetParam().content;
  EngineController c;
  const auto r = c.Play(QString::fromStdString(path.string()));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.reason, GetParam().reason);
  EXPECT_EQ(c.State(), EngineState::Closed);
  // The engine still plays the next file.
  EXPECT_TRUE(c.Play(Fixture("l3_44k_128_js.mp3")).ok);
  EXPECT_EQ(c.State(), EngineState::Playing);
}

INSTANTIATE_TEST_SUITE_P(Files, PlayFailure,
                         ::testing::Values(FailCase{"missing.mp3", nullptr, "The file does not exist."},
                                           FailCase{"text.mp3", "plain words, no frames\n",
                                                    "The file holds no MPEG audio."}),
                         [](const auto& info) { return std::string(info.param.content ? "Text" : "Missing"); });

}  // namespace
}  // namespace tovira
