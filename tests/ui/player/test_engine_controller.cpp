// The controller between the engine and the window: notifications arrive on the UI thread as
// signals, and an end of track that belongs to a file no longer open is dropped. (Failures and
// their reasons are checked through the window in test_player_dialog.cpp.)
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include "Eventually.h"
#include "tags/TagFiles.h"
#include "ui/player/EngineController.h"

using namespace tovira;

namespace {

QString Fixture(const char* name) { return QString::fromStdString(test::Fixture(name).string()); }

}  // namespace

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
  ASSERT_TRUE(ended.wait(60000));
  EXPECT_EQ(ended.count(), 1);
  EXPECT_EQ(receivedOn, QThread::currentThreadId());
  EXPECT_EQ(c.State(), EngineState::Ended);
}

// Each end is reached without running the event loop, so its notification is queued, not yet
// delivered, when the next file opens or the engine stops.
TEST(EngineController, EndOfAReplacedOrStoppedTrackIsDropped) {
  EngineController c;
  QSignalSpy ended(&c, &EngineController::trackEnded);
  ASSERT_TRUE(c.Play(Fixture("l3_44k_128_js.mp3")).ok);
  c.Seek(2800);
  ASSERT_TRUE(test::Eventually([&] { return c.State() == EngineState::Ended; }));
  ASSERT_TRUE(c.Play(Fixture("l2_44k_192.mp2")).ok);
  QTest::qWait(200);
  EXPECT_EQ(ended.count(), 0) << "the first track's end must not reach the second";
  EXPECT_EQ(c.State(), EngineState::Playing);
  c.Seek(2800);
  ASSERT_TRUE(ended.wait(60000)) << "the second track's own end arrives";
  ASSERT_TRUE(c.Play(Fixture("l3_44k_128_js.mp3")).ok);
  c.Seek(2800);
  ASSERT_TRUE(test::Eventually([&] { return c.State() == EngineState::Ended; }));
  c.StopAndClose();
  QTest::qWait(200);
  EXPECT_EQ(ended.count(), 1) << "a stopped track's end must not arrive";
  EXPECT_EQ(c.State(), EngineState::Closed);
}
