#pragma once
#include <sys/wait.h>

#include <array>
#include <cstdio>
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

}  // namespace tovira::test
