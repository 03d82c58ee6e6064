#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::filesystem::path> Inputs() {
  std::vector<std::filesystem::path> files;
  for (const std::string dir : {TOVIRA_FUZZ_CORPUS, TOVIRA_FUZZ_REGRESSIONS}) {
    if (!std::filesystem::is_directory(dir)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') files.push_back(entry.path());
    }
  }
  return files;
}

// Every committed input runs through the target; a crash, a sanitizer report (in the sanitizer
// build) or an exception escaping fails the run.
TEST(TOVIRA_FUZZ_SUITE, EveryCommittedInputRunsCleanly) {
  const auto files = Inputs();
  ASSERT_FALSE(files.empty()) << "no inputs in " << TOVIRA_FUZZ_CORPUS;
  for (const auto& path : files) {
    SCOPED_TRACE(path.string());
    std::ifstream f(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_NO_THROW(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()));
  }
}

// Truncations and single-byte corruptions of each input: the cheap neighbourhood of the seeds.
TEST(TOVIRA_FUZZ_SUITE, CutsAndFlippedBytesRunCleanly) {
  for (const auto& path : Inputs()) {
    SCOPED_TRACE(path.string());
    std::ifstream f(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    for (size_t cut = 1; cut < bytes.size(); cut += 997) LLVMFuzzerTestOneInput(bytes.data(), cut);
    for (size_t at = 0; at < bytes.size(); at += 211) {
      const uint8_t keep = bytes[at];
      bytes[at] = static_cast<uint8_t>(keep ^ (0x5A + at));
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      bytes[at] = keep;
    }
  }
}

}  // namespace
