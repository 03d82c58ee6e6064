#include <gtest/gtest.h>

#include <filesystem>

#include "ConformanceHarness.h"

namespace tovira {
namespace {

class Layer12Conformance : public ::testing::TestWithParam<const char*> {};

TEST_P(Layer12Conformance, MatchesTheReferenceOutput) {
  const std::string dir = testing::ConformanceDir();
  if (dir.empty()) GTEST_SKIP() << "compliance streams not found at " << TOVIRA_CONFORMANCE_DIR;
  const std::string stem = dir + "/" + GetParam();
  if (!std::filesystem::exists(stem + ".bit") || !std::filesystem::exists(stem + ".pcm")) {
    GTEST_SKIP() << stem << ".bit/.pcm not present";
  }
  const testing::ConformanceFigures f = testing::CompareWithReference(stem + ".bit", stem + ".pcm");
  ASSERT_TRUE(f.decoded) << f;
  EXPECT_EQ(f.damaged, 0u) << f;
  // Every frame comes out (the estimate from the file size may be off by one frame).
  EXPECT_LE(f.decodedPerChannel, f.expectedPerChannel + f.samplesPerFrame) << f;
  EXPECT_GE(f.decodedPerChannel + f.samplesPerFrame, f.expectedPerChannel) << f;
  EXPECT_GT(f.compared, 10000u) << f;
  EXPECT_GE(f.psnr, 92.5) << f;
  EXPECT_LE(f.maxDiff, 1) << f;
  std::printf("%s: PSNR %.2f dB, max diff %d, %zu values\n", GetParam(), f.psnr, f.maxDiff, f.compared);
}

INSTANTIATE_TEST_SUITE_P(Streams, Layer12Conformance,
                         ::testing::Values("l1-fl1", "l1-fl2", "l1-fl4", "l2-fl10", "l2-fl13", "l2-fl16", "l2-test32"),
                         testing::StreamTestName);

}  // namespace
}  // namespace tovira
