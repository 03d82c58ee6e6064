// The sound-server device against a private PulseAudio server with a null sink, whose monitor is
// recorded: what the sink played is compared with what the device pulled. Skipped where the
// server or its tools are not installed.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Eventually.h"
#include "output/AudioDevice.h"
#include "output/PulseDevice.h"

extern char** environ;

namespace tovira {
namespace {

namespace fs = std::filesystem;
using test::Eventually;

bool OnPath(const char* tool) {
  const std::string command = std::string("command -v ") + tool + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

pid_t Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

void Stop(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

// Frame i of the test signal: never silent, so what the sink played stands out from its silence,
// and it names its own index, so a frame heard out of place says where it came from.
int16_t Left(uint64_t i) { return static_cast<int16_t>(1 + i % 30000); }
int16_t Right(uint64_t i) { return static_cast<int16_t>(-1 - static_cast<int>(i / 30000 % 30000)); }
uint64_t IndexOf(int16_t left, int16_t right) {
  return static_cast<uint64_t>(-1 - right) * 30000 + static_cast<uint64_t>(left - 1);
}

class Signal final : public AudioSource {
 public:
  size_t Pull(uint8_t* dst, size_t bytes) override {
    const size_t frames = bytes / 4;
    uint64_t at = frames_.load();
    for (size_t f = 0; f < frames; ++f, ++at) {
      const int16_t lr[2] = {Left(at), Right(at)};
      std::memcpy(dst + f * 4, lr, 4);
    }
    frames_.store(at);
    pulls_.fetch_add(1);
    return frames * 4;
  }
  std::atomic<uint64_t> frames_{0};
  std::atomic<uint64_t> pulls_{0};
};

class PulseServer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!OnPath("pulseaudio") || !OnPath("parec")) GTEST_SKIP() << "pulseaudio or parec is not installed";
    dir_ = fs::temp_directory_path() / ("tovira-pulse-" + std::to_string(getpid()));
    fs::create_directories(dir_ / "run");
    fs::permissions(dir_ / "run", fs::perms::owner_all);
    const std::string socket = (dir_ / "native").string();
    setenv("XDG_RUNTIME_DIR", (dir_ / "run").c_str(), 1);
    setenv("HOME", dir_.c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    server_ = Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                     "--load=module-null-sink sink_name=nul rate=44100 format=s16le channels=2",
                     "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket});
    ASSERT_GT(server_, 0);
    if (!Eventually([&] { return fs::exists(socket); }, std::chrono::seconds(20))) {
      GTEST_SKIP() << "the private pulseaudio server did not start";
    }
  }
  void TearDown() override {
    Stop(recorder_);
    Stop(server_);
    unsetenv("PULSE_SERVER");
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }
  void Record() {
    recorder_ = Spawn({"parec", "--device=nul.monitor", "--raw", "--format=s16le", "--rate=44100", "--channels=2",
                       "--latency-msec=20", (dir_ / "heard.raw").string()});
    ASSERT_GT(recorder_, 0);
    // parec writes once it is connected; give it that moment before the sound starts.
    ASSERT_TRUE(Eventually([&] { return fs::exists(dir_ / "heard.raw"); }, std::chrono::seconds(20)));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  std::vector<int16_t> Heard() {
    Stop(recorder_);
    std::ifstream in(dir_ / "heard.raw", std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
  }

  fs::path dir_;
  pid_t server_ = -1;
  pid_t recorder_ = -1;
};

TEST_F(PulseServer, PlaysWhatItPullsInOrderAndNothingWhileCorked) {
  Record();
  Signal source;
  PulseDevice device;
  std::string error;
  ASSERT_TRUE(device.Open(PcmFormat{44100, 2, 16}, source, &error)) << error;
  // Paused after opening: the server's request waits, nothing is taken.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(source.frames_.load(), 0u);

  device.SetPaused(false);
  ASSERT_TRUE(Eventually([&] { return source.frames_.load() >= 44100; }));
  device.SetPaused(true);
  const uint64_t atPause = source.frames_.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(source.frames_.load(), atPause) << "pulled while corked";

  device.SetPaused(false);
  ASSERT_TRUE(Eventually([&] { return source.frames_.load() >= atPause + 22050; }));
  // The server asks for chunks, not for every few milliseconds of sound.
  EXPECT_LE(source.pulls_.load() * PulseDevice::kChunkMs, source.frames_.load() * 1000 / 44100 * 3 / 2)
      << source.pulls_.load() << " pulls for " << source.frames_.load() << " frames";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  device.Close();
  const uint64_t pulled = source.frames_.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(source.frames_.load(), pulled) << "pulled after Close";

  // What the sink played, less its silence: the signal in order, without a frame changed, up to
  // what may still have been in the server's buffer at Close. The server renders ahead and takes
  // that back when the stream is corked or starts; its monitor, which the test records, may then
  // hear a few frames twice or not at all, so jumps of a few milliseconds there are allowed.
  std::vector<int16_t> heard = Heard();
  uint64_t next = 0;
  int jumps = 0;
  for (size_t i = 0; i + 1 < heard.size(); i += 2) {
    if (heard[i] == 0 && heard[i + 1] == 0) continue;
    const uint64_t at = IndexOf(heard[i], heard[i + 1]);
    if (at != next) {
      const int64_t by = static_cast<int64_t>(at) - static_cast<int64_t>(next);
      EXPECT_LE(std::abs(by), 441) << "frame " << next << " heard as " << at;
      ++jumps;
    }
    next = at + 1;
  }
  EXPECT_LE(jumps, 3);
  EXPECT_LE(next, pulled);
  EXPECT_GE(next + 44100 / 2, pulled) << "heard " << next << " of " << pulled << " frames";
}

TEST_F(PulseServer, WithoutAServerItFailsWithAMessageAndTheDefaultDeviceUsesSdl) {
  Stop(server_);
  Signal source;
  PulseDevice pulse;
  std::string error;
  EXPECT_FALSE(pulse.Open(PcmFormat{44100, 2, 16}, source, &error));
  EXPECT_NE(error.find("pulseaudio"), std::string::npos) << error;

  // SDL is asked for the sound server, then its silent driver.
  setenv("SDL_AUDIODRIVER", "pulseaudio,dummy", 1);
  std::unique_ptr<AudioDevice> device = MakeAudioDevice("", &error);
  ASSERT_TRUE(device);
  error.clear();
  EXPECT_TRUE(device->Open(PcmFormat{44100, 2, 16}, source, &error)) << error;
  EXPECT_EQ(device->Name(), "sdl (dummy)");
  device->Close();
  setenv("SDL_AUDIODRIVER", "dummy", 1);
}

}  // namespace
}  // namespace tovira
