// The command line and the loading stage, run as a real process.
#include <gtest/gtest.h>

#include "image_builder.h"
#include "malformed_images.h"
#include "test_support.h"

namespace {

const std::string USAGE =
    "usage: vorkast [options] DISK.D88 DATA1.D88 DATA2.D88\n"
    "option: -i|--index #      specify index # of DISK.D88\n"
    "        -t|--track #      insert specified track only\n"
    "           --overwrite    overwrite output file\n"
    "        -?|--help         print usage\n"
    "\n"
    "supported disk image format is *.D88 only\n"
    "write modified disk image to filename.NEW.ext if not specifyed\n";

struct cli_case {
    std::vector<std::string> args;
    std::string out;
};

}  // namespace

TEST(CommandLine, ArgumentErrorsEndTheRun)
{
    const cli_case cases[] = {
        {{}, "error: no game disk image\n"},
        {{"--help"}, USAGE},
        {{"-?", "-x"}, USAGE},
        {{"-x", "--help"}, "error: unknown option '-x'\n"},
        {{"A", "B", "--help"}, USAGE},
        {{"A"}, "error: no data disk #1 image\n"},
        {{"A", "B"}, "error: no data disk #2 image\n"},
        {{"-t", "-1", "A", "B"}, "error: no data disk #2 image\n"},
        {{"A", "B", "C", "D"}, "error: illegal parameter 'D'\n"},
        {{"-i"}, "error: no image index\n"},
        {{"--index", "1x"}, "error: illegal image index '1x'\n"},
        {{"-i", " "}, "error: illegal image index ' '\n"},
        {{"-t"}, "error: no track number\n"},
        {{"-t", "80"}, "error: illegal track number '80'\n"},
        {{"--track", "12x"}, "error: illegal track number '12x'\n"},
        {{"-t", "0x50"}, "error: illegal track number '0x50'\n"},
        {{"-t", "08"}, "error: illegal track number '08'\n"},
        {{"-t", "-"}, "error: illegal track number '-'\n"},
        {{"-o"}, "error: no output filename\n"},
        {{"--output", "-t", "--bogus"}, "error: unknown option '--bogus'\n"},
        {{"-overwrite"}, "error: unknown option '-overwrite'\n"},
        {{"-"}, "error: unknown option '-'\n"},
    };
    for (const cli_case& c : cases) {
        const tool_run r = run_tool(c.args);
        EXPECT_EQ(r.status, 1) << c.out;
        EXPECT_EQ(r.out, c.out);
    }
}

TEST(CommandLine, NumbersAndSlotsReachTheLoader)
{
    temp_dir dir;
    const std::string game = dir.file("GAME.D88");
    const auto missing = [](const std::string& path) { return "open error '" + path + "'\nerror: read d88 image '" + path + "'\n"; };
    const cli_case cases[] = {
        // Accepted numbers: the run goes on to load the (missing) game image.
        {{"-t", "0x4F", game, "B"}, missing(game)},
        {{"-t", " +017", game, "B"}, missing(game)},
        {{"-t", "", game, "B", "C"}, missing(game)},
        {{"-t", "-1", game, "B", "C"}, missing(game)},
        {{"-t", "99999999999", game, "B", "C"}, missing(game)},
        {{"-i", "0xFFFFFFFFF", "-i", "7", game, "B", "C"}, missing(game)},
        {{"-o", "-t", game, "B", "C"}, missing(game)},
    };
    for (const cli_case& c : cases) {
        const tool_run r = run_tool(c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, c.out);
    }
}

TEST(Loading, SlotsLoadInOrderAndTrackChoosesTheDataDisk)
{
    temp_dir dir;
    write_file(dir.file("GAME.D88"), concat({build_disk(game_disk("G0")), build_disk(game_disk("G1"))}));
    write_file(dir.file("BAD.D88"), bytes(700, 0xFF));
    const std::string bad_chain = "illegal data: [\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF] disk size = 0xFFFFFFFF\n"
                                  "read disk 1 error\nread image data error 'BAD.D88'\nerror: read d88 image 'BAD.D88'\n";
    const cli_case cases[] = {
        {{"GAME.D88", "BAD.D88", "C"}, bad_chain},
        {{"GAME.D88", "NONE.D88", "BAD.D88"}, "open error 'NONE.D88'\nerror: read d88 image 'NONE.D88'\n"},
        // -t 45: the second file is data disk #2, and data disk #1 is not loaded.
        {{"-t", "45", "GAME.D88", "BAD.D88"}, bad_chain},
        {{"-t", "5", "GAME.D88", "BAD.D88"}, bad_chain},
        {{"-i", "2", "GAME.D88", "X", "Y"}, "error: get disk 2 from image 'GAME.D88'\n"},
        {{"-i", "-1", "GAME.D88", "X", "Y"}, "error: get disk -1 from image 'GAME.D88'\n"},
        // -i picks the game disk only: the data images still use their disk 0.
        {{"-i", "1", "GAME.D88", "GAME.D88", "BAD.D88"}, bad_chain},
    };
    for (const cli_case& c : cases) {
        const tool_run r = run_tool(c.args, dir.path);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, c.out);
    }
}

TEST(Loading, EveryMalformedImageShowsItsWholeChain)
{
    temp_dir dir;
    const auto run_with_game = [&](const bytes& image) {
        write_file(dir.file("BAD.D88"), image);
        return run_tool({"BAD.D88", "DATA1.D88", "DATA2.D88"}, dir.path);
    };
    for (const failing_case& c : failing_cases()) {
        const tool_run r = run_with_game(c.image);
        EXPECT_EQ(r.status, 1) << c.what;
        EXPECT_EQ(r.out, c.out + "read image data error 'BAD.D88'\nerror: read d88 image 'BAD.D88'\n") << c.what;
    }
    const failing_case unread[] = {
        {"empty file", {}, "read error 'BAD.D88'\nerror: read d88 image 'BAD.D88'\n"},
        {"no disk at all", bytes(100, 0),
         "data size too short ... garbage? ... ignored\nerror: get disk 0 from image 'BAD.D88'\n"},
    };
    for (const failing_case& c : unread) {
        const tool_run r = run_with_game(c.image);
        EXPECT_EQ(r.status, 1) << c.what;
        EXPECT_EQ(r.out, c.out) << c.what;
    }
}
