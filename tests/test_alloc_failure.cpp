// Every allocation of a whole vorkast run and of disk creation, made to fail
// in turn: the failure is reported where it happens, each stage adds its
// line, nothing is written, and (in the sanitizer build) nothing leaks.
#include <gtest/gtest.h>

#include <climits>
#include <regex>

#include "alloc_failure.h"
#include "d88.h"
#include "test_support.h"
#include "vorkast.h"

namespace {

// How many allocations op makes when none fails.
template <class Op>
long count_allocations(Op op)
{
    fail_allocation(LONG_MAX);
    printed_by(op);
    const long made = allocations_counted();
    fail_allocation(0);
    return made;
}

// Runs op with allocation k failing; what it printed.
template <class Op>
std::string failing_at(long k, Op op)
{
    return printed_by([&] {
        fail_allocation(k);
        op();
        fail_allocation(0);
    });
}

}  // namespace

TEST(AllocationFailure, WholeRun)
{
    temp_dir dir;
    test_disk game = {"GAME", 0, 0, std::vector<test_track>(42)};
    game.slots[3] = {{1, 1, 1, 1, bytes(256, 5)}};
    game.slots[41] = {{20, 1, 1, 1, bytes(256, 6)}, {20, 1, 2, 1, {}}};
    test_disk data = filled_disk("DATA2");
    data.slots.resize(4);
    data.slots[0].clear();
    write_file(dir.file("GAME.D88"), concat({build_disk(game), build_disk(game)}));
    write_file(dir.file("DATA2.D88"), build_disk(data));
    long made = 0;
    const auto run_failing = [&](long k) {
        return run_in(dir, "vorkast", [&](int argc, char** argv) {
            fail_allocation(k);
            const int status = run_vorkast(argc, argv);
            made = allocations_counted();
            fail_allocation(0);
            return status;
        }, {"-t", "41", "GAME.D88", "DATA2.D88"});
    };
    run_failing(LONG_MAX);
    fs::remove(dir.file("GAME.NEW.D88"));
    const long needed = made;
    ASSERT_GT(needed, 40);
    const std::regex chain("memory exhaust!\n(.*\n)*error: .*\n|error: memory exhausted!\n(error: .*\n)?");
    for (long k = 1; k <= needed; ++k) {
        const run_result r = run_failing(k);
        EXPECT_EQ(r.status, 1) << k;
        EXPECT_TRUE(std::regex_match(r.out, chain)) << k << "\n" << r.out;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), 2) << k;
    }
    EXPECT_EQ(run_failing(0).status, 0);
}

TEST(AllocationFailure, Creation)
{
    const long made = count_allocations([] { free_d88_disk(create_d88_disk("X", 0), 1); });
    ASSERT_EQ(made, 1 + 80 * 17);
    for (long k : {1L, 2L, 3L, 18L, 19L, made - 1, made}) {
        d88_disk* disk = nullptr;
        EXPECT_EQ(failing_at(k, [&] { disk = create_d88_disk("X", 0); }),
                  k == 1 ? "memory exhaust!\n" : "memory exhaust!\ncreate sector error\n");
        EXPECT_EQ(disk, nullptr);
    }
    const uint8_t n_list[] = {1, 2};
    for (long k : {1L, 2L, 3L})
        EXPECT_EQ(failing_at(k, [&] { EXPECT_EQ(create_d88_custom_sectors(0, 0, nullptr, n_list, 2, 0), nullptr); }),
                  "memory exhaust!\n");
    EXPECT_EQ(failing_at(1, [] { EXPECT_EQ(new_d88_image(), nullptr); }), "memory exhaust!\n");
}
