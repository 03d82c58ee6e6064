#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tovira::test {

struct CliResult {
  int exitCode = -1;
  std::string out;  // standard output and standard error together
};

// Runs tovira-cli with the given argument text (already quoted for the shell).
inline CliResult RunCli(const std::string& args) {
  CliResult result;
  const std::string command = std::string("\"") + TOVIRA_CLI + "\" " + args + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return result;
  std::array<char, 4096> chunk{};
  size_t n = 0;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) result.out.append(chunk.data(), n);
  const int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

inline std::string Fixture(const std::string& name) { return std::string(TOVIRA_FIXTURE_DIR) + "/" + name; }
inline std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

inline std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The samples of a WAV file's data chunk, found by its name.
inline std::vector<int16_t> WavSamples(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadAll(path);
  for (size_t i = 12; i + 8 <= bytes.size(); ++i) {
    if (std::memcmp(bytes.data() + i, "data", 4) == 0) {
      std::vector<int16_t> out((bytes.size() - i - 8) / 2);
      std::memcpy(out.data(), bytes.data() + i + 8, out.size() * 2);
      return out;
    }
  }
  return {};
}

// A folder for one test's files, removed with it.
struct ScratchDir {
  std::filesystem::path path = std::filesystem::temp_directory_path() / ("tovira-cli-" + std::to_string(::getpid()));
  ScratchDir() { std::filesystem::create_directories(path); }
  ~ScratchDir() { std::filesystem::remove_all(path); }
  std::string operator/(const std::string& name) const { return (path / name).string(); }
};

}  // namespace tovira::test
