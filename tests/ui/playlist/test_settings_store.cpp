// The settings file as the store finds it: unreadable content is set aside without replacing an
// earlier copy, a link to a regular file is read and written through, and a FIFO is never opened
// nor replaced.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include "ui/playlist/QSettingsStore.h"

namespace tovira {
namespace {

QByteArray Bytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void Put(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  ASSERT_EQ(f.write(bytes), bytes.size());
}

TEST(SettingsStoreFile, UnreadableContentIsSetAsideNextToEarlierCopies) {
  const QByteArray notText("Vol=80\n\0\0\0\xff\xfe[Main]\n", 20);
  const QByteArray badUtf8("[Main]\nVol=80\nTree=\xc3\x28\n");
  for (const QByteArray& corrupt : {notText, badUtf8}) {
    QTemporaryDir dir;
    const QString conf = dir.filePath("tovira.conf");
    Put(conf, corrupt);
    Put(conf + ".bak", "earlier copy");
    {
      QSettingsStore store(conf);
      EXPECT_EQ(store.ReadInt("Main", "Vol", 50), 50) << "nothing is taken from a file set aside";
      EXPECT_EQ(store.SetAsideAs(), conf + ".bak.2");
      EXPECT_EQ(store.Notice(), "The settings could not be read; they were set aside as tovira.conf.bak.2.");
      EXPECT_TRUE(store.Kept());
      store.WriteInt("Main", "Vol", 30);
    }
    EXPECT_EQ(Bytes(conf + ".bak"), "earlier copy");
    EXPECT_EQ(Bytes(conf + ".bak.2"), corrupt);
    EXPECT_EQ(QSettings(conf, QSettings::IniFormat).value("Main/Vol").toInt(), 30);
    const QSettingsStore again(conf);
    EXPECT_EQ(again.Notice(), "");
    EXPECT_EQ(again.ReadInt("Main", "Vol", 50), 30);
  }
}

TEST(SettingsStoreFile, ALinkToARegularFileIsReadAndWrittenThrough) {
  QTemporaryDir dir;
  const QString target = dir.filePath("real.conf");
  const QString conf = dir.filePath("tovira.conf");
  Put(target, "[Main]\nVol=70\nShowPl=banana\n[DirSetting]\nTree=/music\n");
  ASSERT_TRUE(QFile::link(target, conf));
  {
    QSettingsStore store(conf);
    EXPECT_EQ(store.Notice(), "");
    EXPECT_EQ(store.ReadInt("Main", "Vol", 50), 70);
    EXPECT_EQ(store.ReadInt("Main", "ShowPl", 1), 1) << "a value out of form falls back alone";
    EXPECT_EQ(store.ReadString("DirSetting", "Tree", ""), "/music");
    store.WriteInt("Main", "ShowEq", 0);
  }
  EXPECT_TRUE(QFileInfo(conf).isSymLink());
  const QSettings raw(target, QSettings::IniFormat);
  EXPECT_EQ(raw.value("Main/ShowEq").toInt(), 0);
  EXPECT_EQ(raw.value("Main/Vol").toInt(), 70) << "values not written again are kept";
}

TEST(SettingsStoreFile, AFifoIsNeverOpenedAndTheValuesStayInMemory) {
  QTemporaryDir dir;
  const QString fifo = dir.filePath("pipe");
  const QString conf = dir.filePath("tovira.conf");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  ASSERT_TRUE(QFile::link(fifo, conf));
  {
    // Opening the FIFO for reading would wait for a writer: this would hang.
    QSettingsStore store(conf);
    EXPECT_FALSE(store.Kept());
    EXPECT_EQ(store.Notice(), "The settings file is not a regular file; settings will not be kept.");
    store.WriteInt("Main", "Vol", 20);
    EXPECT_EQ(store.ReadInt("Main", "Vol", 50), 20);
    store.Sync();
  }
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(conf).constData(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_TRUE(QFileInfo(conf).isSymLink());
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden).size(), 2)
      << "nothing was written beside";
}

// A file that turns into something else while the player runs is not written through.
TEST(SettingsStoreFile, AFileReplacedByAFifoMeanwhileIsNotWritten) {
  QTemporaryDir dir;
  const QString conf = dir.filePath("tovira.conf");
  Put(conf, "[Main]\nVol=70\n");
  {
    QSettingsStore store(conf);
    ASSERT_TRUE(store.Kept());
    store.WriteInt("Main", "Vol", 10);
    ASSERT_TRUE(QFile::remove(conf));
    ASSERT_EQ(::mkfifo(QFile::encodeName(conf).constData(), 0600), 0);
  }
  struct stat st {};
  ASSERT_EQ(::lstat(QFile::encodeName(conf).constData(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

}  // namespace
}  // namespace tovira
