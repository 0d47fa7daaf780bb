// Replays the fuzz targets' seeds and every kept corpus file, so that the
// round-trip property and the regressions found by fuzzing are checked in
// every build, with or without libFuzzer.
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz_targets.h"
#include "test_support.h"

namespace {

void replay(void (*target)(const uint8_t*, size_t), const std::vector<bytes>& seeds, const std::string& corpus)
{
    std::vector<bytes> inputs = seeds;
    if (std::filesystem::is_directory(corpus)) {
        for (const auto& entry : std::filesystem::directory_iterator(corpus))
            inputs.push_back(read_file(entry.path().string()));
    }
    testing::internal::CaptureStdout();  // the library reports every fault it meets
    for (const bytes& input : inputs)
        target(input.data(), input.size());
    testing::internal::GetCapturedStdout();
    EXPECT_GE(inputs.size(), seeds.size());
}

}  // namespace

TEST(FuzzReplay, ReadRoundTrip)
{
    replay(fuzz_read_image, make_read_seeds(), FUZZ_CORPUS_DIR "/read");
}

TEST(FuzzReplay, Job)
{
    replay(fuzz_run_job, make_job_seeds(), FUZZ_CORPUS_DIR "/job");
}
