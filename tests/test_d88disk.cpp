// The companion d88disk, called in-process: each row a command line in a
// folder holding two.d88, what it prints, its status and a file afterwards.
#include <gtest/gtest.h>

#include "d88disk.h"
#include "test_support.h"
#include "vorkast.h"

namespace {

const test_disk ODD = {"ODD\x01", 0x10, 0x20,
                       {{}, {}, {{2, 1, 1, 1, {}}, {2, 1, 0x1A, 2, bytes(3, 'A'), 0x40, 0x10, 0xB0}}}};
const bytes TWO = concat({build_disk(filled_disk("FIRST", 1)), build_disk(ODD)});

struct command_row {
    std::vector<std::string> args;
    std::string out;
    int status;
    const char* file;  // checked afterwards, if any
    size_t size;       // its size; 0: it must not exist
};

const command_row COMMANDS[] = {
    {{"info", "two.d88"},
     "disk 0  FIRST             2D   writable      22448 bytes   80 tracks\n"
     "disk 1  ODD.              2HD  protected       723 bytes    1 tracks\n",
     0, nullptr, 0},
    {{"info", "--tracks", "two.d88", "--disk", "1"},
     "disk 1  ODD.              2HD  protected       723 bytes    1 tracks\n"
     "  slot   2  C 02 H 01   2 sectors: 01:1/0 1A:2/3[DS!B0]\n",
     0, nullptr, 0},
    {{"info", "two.d88", "--sector", "2", "1", "0x1a", "--disk", "1"},
     "disk 1  sector 02/01/1A  N 2  3 bytes\n0000  41 41 41" + std::string(39, ' ') + "  |AAA|\n", 0, nullptr, 0},
    {{"info", "two.d88", "--sector", "2", "1", "9"}, "error: no sector 02/01/09 on disk 0 of 'two.d88'\n", 1, nullptr, 0},
    {{"info", "no.d88"}, "open error 'no.d88'\nerror: read d88 image 'no.d88'\n", 1, nullptr, 0},
    {{"create", "2dd640", "new.d88", "--name", "BLANK"}, "", 0, "new.d88", 676528},
    {{"create", "2HD1001", "new.d88"}, "", 0, "new.d88", 1089776},
    {{"create", "9", "two.d88"}, "'two.d88' already exists (give --overwrite to replace it)\n", 1, "two.d88", TWO.size()},
    {{"create", "9", "two.d88", "--overwrite"}, "", 0, "two.d88", 1089776},
    {{"create", "10", "x.d88"}, "error: unknown format '10' (see d88disk create --help)\n", 1, "x.d88", 0},
    {{"sample", "demo"}, "wrote demo/GAME.D88\nwrote demo/DATA1.D88\nwrote demo/DATA2.D88\n", 0, "demo/GAME.D88", 348848},
    {{"bogus"}, "error: unknown command 'bogus' (see d88disk --help)\n", 1, nullptr, 0},
};

}  // namespace

TEST(D88disk, Commands)
{
    for (const command_row& row : COMMANDS) {
        SCOPED_TRACE(row.args[0] + " " + row.args.back());
        temp_dir dir;
        write_file(dir.file("two.d88"), TWO);
        const run_result r = run_in(dir, "d88disk", run_d88disk, row.args);
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.status, row.status);
        if (row.file != nullptr) {
            EXPECT_EQ(fs::exists(dir.file(row.file)) ? fs::file_size(dir.file(row.file)) : 0, row.size);
        }
    }
}

// The samples make a first run work: the completed track 79 starts with the
// text of data disk #2's last cylinder.
TEST(D88disk, SamplesMakeAFirstRunWork)
{
    temp_dir dir;
    EXPECT_EQ(run_in(dir, "d88disk", run_d88disk, {"sample", "."}).status, 0);
    EXPECT_EQ(run_in(dir, "vorkast", run_vorkast, {"GAME.D88", "DATA1.D88", "DATA2.D88"}).status, 0);
    const run_result r = run_in(dir, "d88disk", run_d88disk, {"info", "GAME.NEW.D88", "--sector", "39", "1", "1"});
    EXPECT_EQ(r.out.substr(0, r.out.find('\n', 41)),
              "disk 0  sector 27/01/01  N 6  8192 bytes\n"
              "0000  74 72 61 63 6B 20 37 39 20 70 61 72 74 20 30 30  |track 79 part 00|");
}
