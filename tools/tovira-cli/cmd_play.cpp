// tovira-cli play: a terminal player on the playback engine.

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Commands.h"
#include "ReplayGainCli.h"
#include "decoder/StreamProbe.h"
#include "engine/PlaybackEngine.h"
#include "output/AudioDevice.h"

namespace tovira::cli {

namespace {

constexpr uint32_t kSeekStepMs = 10000;

// Puts the terminal into single-key mode for the life of the object.
class RawTerminal {
 public:
  explicit RawTerminal(int fd) : fd_(fd) {
    if (!isatty(fd_) || tcgetattr(fd_, &saved_) != 0) return;
    termios raw = saved_;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(fd_, TCSANOW, &raw) == 0;
  }
  ~RawTerminal() {
    if (active_) tcsetattr(fd_, TCSANOW, &saved_);
  }
  bool Active() const { return active_; }

 private:
  int fd_;
  termios saved_{};
  bool active_ = false;
};

// Engine notifications may arrive on the engine's own thread; they are queued here and a byte
// on a pipe wakes the main loop, which alone talks to the engine.
class EventQueue {
 public:
  EventQueue() {
    if (pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
  }
  ~EventQueue() {
    for (int fd : fds_) {
      if (fd >= 0) close(fd);
    }
  }
  void Push(const EngineNotification& n) {
    {
      std::lock_guard lock(mutex_);
      events_.push_back(n);
    }
    const char b = 1;
    if (fds_[1] >= 0) (void)!write(fds_[1], &b, 1);
  }
  std::deque<EngineNotification> Take() {
    char buf[64];
    while (fds_[0] >= 0) {
      pollfd p{fds_[0], POLLIN, 0};
      if (poll(&p, 1, 0) <= 0 || read(fds_[0], buf, sizeof buf) <= 0) break;
    }
    std::lock_guard lock(mutex_);
    std::deque<EngineNotification> out;
    out.swap(events_);
    return out;
  }
  int ReadFd() const { return fds_[0]; }

 private:
  int fds_[2] = {-1, -1};
  std::mutex mutex_;
  std::deque<EngineNotification> events_;
};

enum class Key { None, PauseResume, Back, Forward, Next, Previous, Quit };

Key ReadKey(int fd) {
  unsigned char c[8];
  const ssize_t n = read(fd, c, sizeof c);
  if (n <= 0) return Key::None;
  if (c[0] == 0x1B && n >= 3 && c[1] == '[') {
    if (c[2] == 'D') return Key::Back;
    if (c[2] == 'C') return Key::Forward;
    return Key::None;
  }
  switch (c[0]) {
    case ' ': return Key::PauseResume;
    case 'n': return Key::Next;
    case 'b': return Key::Previous;
    case 'q': return Key::Quit;
    default: return Key::None;
  }
}

std::string Clock(double ms) {
  const auto s = static_cast<long long>(std::max(0.0, ms) / 1000);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%lld:%02lld", s / 60, s % 60);
  return buf;
}

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct Options {
  std::string device;  // empty: the sound server, else SDL
  int volume = 100;
  uint32_t startMs = 0;
  ReplayGainMode replayGain = ReplayGainMode::Off;
  std::vector<std::string> files;
};

bool ParseOptions(const Args& args, Options& o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--device" && i + 1 < args.size()) {
      o.device = args[++i];
    } else if (a.rfind("--device=", 0) == 0) {
      o.device = a.substr(9);
    } else if ((a == "--volume" && i + 1 < args.size()) || a.rfind("--volume=", 0) == 0) {
      const std::string v = a == "--volume" ? args[++i] : a.substr(9);
      char* end = nullptr;
      const long pct = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || pct < 0 || pct > 100) return false;
      o.volume = static_cast<int>(pct);
    } else if ((a == "--start" && i + 1 < args.size()) || a.rfind("--start=", 0) == 0) {
      const std::string v = a == "--start" ? args[++i] : a.substr(8);
      char* end = nullptr;
      const double seconds = std::strtod(v.c_str(), &end);
      if (v.empty() || *end != '\0' || !(seconds >= 0.0) || seconds > 4.0e6) return false;
      o.startMs = static_cast<uint32_t>(std::llround(seconds * 1000.0));
    } else if (const int gain = TakeReplayGainOption(args, i, o.replayGain); gain != 0) {
      if (gain < 0) return false;
    } else if (a.rfind("--", 0) == 0 && a.size() > 2) {
      return false;
    } else {
      o.files.push_back(a);
    }
  }
  return !o.files.empty();
}

}  // namespace

int RunPlay(const Args& args) {
  Options opt;
  if (!ParseOptions(args, opt)) {
    std::fprintf(stderr, "usage: tovira-cli play [--device pulse|sdl|null|wav:PATH] [--volume 0-100] [--start SECONDS] %s FILE...\n",
                 kReplayGainUsage);
    return 2;
  }
  std::string error;
  std::unique_ptr<AudioDevice> device = MakeAudioDevice(opt.device, &error);
  if (!device) {
    std::fprintf(stderr, "tovira-cli: %s\n", error.c_str());
    return 2;
  }
  // Only the sound card falls back to silent playing; a file or null device that fails is an error.
  PlaybackEngine engine(std::move(device), opt.device.empty() || opt.device == "sdl" || opt.device == "pulse");
  EventQueue events;
  engine.SetNotifyWindow([&events](const EngineNotification& n) { events.Push(n); });
  const uint32_t v = static_cast<uint32_t>(opt.volume * 65535 / 100);
  engine.SetVolume(v | (v << 16));

  // Ctrl-C ends playback through the loop, so the terminal is restored.
  sigset_t mask;
  sigemptyset(&mask);
  sigaddset(&mask, SIGINT);
  sigaddset(&mask, SIGTERM);
  sigprocmask(SIG_BLOCK, &mask, nullptr);
  const int sigfd = signalfd(-1, &mask, SFD_CLOEXEC);

  RawTerminal terminal(STDIN_FILENO);
  const bool interactive = terminal.Active();
  const bool statusLine = isatty(STDOUT_FILENO);
  int failures = 0;
  bool quit = false;
  size_t index = 0;
  ReplayGainRun gains(opt.replayGain);
  while (!quit && index < opt.files.size()) {
    std::string path = opt.files[index];
    engine.Close();
    StreamSummary summary;
    const bool probed = ProbeStream(path, summary) == ProbeStatus::Ok;
    if (!engine.SetInputFile(path) || !engine.Open() || !engine.Prepare()) {
      const std::string why = engine.LastError() == EngineError::NoInput ? CannotOpenText(engine.OpenFailureReason())
                                                                          : "no playable MPEG audio";
      std::fprintf(stderr, "tovira-cli: %s: %s\n", path.c_str(), why.c_str());
      ++failures;
      ++index;
      continue;
    }
    // The start position goes through the engine's own seek, before any sound is queued.
    if (opt.startMs > 0 && !engine.Seek(opt.startMs)) {
      std::fprintf(stderr, "tovira-cli: %s: the start position lies past the end (%s)\n", path.c_str(),
                   Clock(probed ? summary.DurationMs() : 0.0).c_str());
      ++failures;
      ++index;
      continue;
    }
    engine.SetTrackGain(gains.FactorFor(path, index));
    if (!engine.Start()) {
      std::fprintf(stderr, "tovira-cli: cannot open the audio output (%s)\n", engine.DeviceName().c_str());
      failures += static_cast<int>(opt.files.size() - index);
      break;
    }
    if (!statusLine) std::printf("playing %s (%s)\n", path.c_str(), Clock(engine.DurationMs()).c_str());
    std::fflush(stdout);
    // The files after this one follow it without a gap: each is handed to the engine while the
    // one before plays (not with --start, which each file starts at). `after` is the first file
    // not yet played or given up on; `armed`, the serial the engine gave it.
    size_t after = index + 1;
    uint64_t armed = 0;
    auto arm = [&] {
      armed = 0;
      while (opt.startMs == 0 && after < opt.files.size()) {
        if (engine.SetNextInput(opt.files[after], gains.FactorFor(opt.files[after], after), &armed)) return;
        // Too late (the track has just ended): it is played the ordinary way.
        if (engine.LastError() == EngineError::WrongState) return;
        const std::string why = engine.LastError() == EngineError::NoInput ? CannotOpenText(engine.OpenFailureReason())
                                                                            : "no playable MPEG audio";
        std::fprintf(stderr, "%stovira-cli: %s: %s\n", statusLine ? "\n" : "", opt.files[after].c_str(), why.c_str());
        ++failures;
        ++after;
      }
    };
    arm();
    bool back = false;  // where to go when this track is left: `after`, or the file before
    bool leave = false;
    while (!leave) {
      pollfd fds[3] = {{events.ReadFd(), POLLIN, 0}, {sigfd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
      const int count = interactive ? 3 : 2;
      poll(fds, static_cast<nfds_t>(count), statusLine ? 200 : -1);
      if (sigfd >= 0 && (fds[1].revents & POLLIN)) {
        signalfd_siginfo info;
        (void)!read(sigfd, &info, sizeof info);
        quit = leave = true;
      }
      for (const EngineNotification& n : events.Take()) {
        if (n.event == EngineEvent::TrackChanged && armed != 0 && n.track == armed) {
          // The next file is being heard.
          if (statusLine) std::printf("\n");
          index = after++;
          path = opt.files[index];
          if (!statusLine) std::printf("playing %s (%s)\n", path.c_str(), Clock(engine.DurationMs()).c_str());
          std::fflush(stdout);
          arm();
          continue;
        }
        // An end of a track left meanwhile (or already) is stale.
        if (n.track != engine.TrackSerial()) continue;
        if (n.event == EngineEvent::TrackEnded) leave = true;
        if (n.event == EngineEvent::Notice) std::fprintf(stderr, "%stovira-cli: %s\n", statusLine ? "\n" : "", n.text.c_str());
        if (n.event == EngineEvent::Error) {
          // The track ended early; the next file still plays.
          std::fprintf(stderr, "%stovira-cli: %s: %s\n", statusLine ? "\n" : "", path.c_str(), n.text.c_str());
          ++failures;
          leave = true;
        }
      }
      if (interactive && (fds[2].revents & POLLIN)) {
        switch (ReadKey(STDIN_FILENO)) {
          case Key::PauseResume:
            if (engine.GetState() == EngineState::Paused) {
              engine.Resume();
            } else {
              engine.Pause();
            }
            break;
          case Key::Back: {
            const uint32_t pos = engine.HeardPositionMs();
            engine.Seek(pos > kSeekStepMs ? pos - kSeekStepMs : 0);
            break;
          }
          case Key::Forward:
            // Past the end the stream refuses the seek and keeps playing.
            engine.Seek(engine.HeardPositionMs() + kSeekStepMs);
            break;
          case Key::Next: leave = true; break;
          case Key::Previous:
            back = true;
            leave = true;
            break;
          case Key::Quit: quit = leave = true; break;
          case Key::None: break;
        }
      }
      if (statusLine) {
        std::printf("\r\033[K[%zu/%zu] %s  %s / %s  %u kbit/s%s", index + 1, opt.files.size(),
                    BaseName(path).c_str(), Clock(engine.HeardPositionMs()).c_str(), Clock(engine.DurationMs()).c_str(),
                    engine.BitrateKbps(), engine.GetState() == EngineState::Paused ? "  [paused]" : "");
        std::fflush(stdout);
      }
    }
    if (statusLine) std::printf("\n");
    engine.Stop();
    index = back ? (index > 0 ? index - 1 : 0) : after;
  }
  engine.Close();
  if (sigfd >= 0) close(sigfd);
  sigprocmask(SIG_UNBLOCK, &mask, nullptr);
  return failures == 0 ? 0 : 1;
}

}  // namespace tovira::cli
