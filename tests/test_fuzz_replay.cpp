// Replays every kept fuzz input through the fuzz targets in every build, so
// that their properties and the regressions found by fuzzing are checked
// with or without libFuzzer.  The job inputs named complete-* must finish.
#include <gtest/gtest.h>

#include "fuzz_targets.h"
#include "test_support.h"

TEST(FuzzReplay, EveryKeptInput)
{
    for (const char* target : {"read", "job", "import", "files", "export", "flux"}) {
        for (const auto& entry : fs::directory_iterator(std::string(FUZZ_CORPUS_DIR "/") + target)) {
            const bytes input = read_file(entry.path().string());
            int32_t result = -1;
            printed_by([&] {
                if (target[0] == 'r')
                    fuzz_read_image(input.data(), input.size());
                else if (target[0] == 'i')
                    fuzz_import_image(input.data(), input.size());
                else if (target[0] == 'f' && target[1] == 'i')
                    fuzz_file_system(input.data(), input.size());
                else if (target[0] == 'e')
                    fuzz_export_image(input.data(), input.size());
                else if (target[0] == 'f' && target[1] == 'l')
                    fuzz_flux_image(input.data(), input.size());
                else
                    result = fuzz_run_job(input.data(), input.size());
            });
            const bool must_complete = entry.path().filename().string().rfind("complete-", 0) == 0;
            EXPECT_EQ(result > 0, must_complete) << entry.path();
        }
    }
}
