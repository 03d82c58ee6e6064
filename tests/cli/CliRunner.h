#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

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

// A folder for one test's files, removed with it.
struct ScratchDir {
  std::filesystem::path path = std::filesystem::temp_directory_path() / ("tovira-cli-" + std::to_string(::getpid()));
  ScratchDir() { std::filesystem::create_directories(path); }
  ~ScratchDir() { std::filesystem::remove_all(path); }
  std::string operator/(const std::string& name) const { return (path / name).string(); }
};

}  // namespace tovira::test
