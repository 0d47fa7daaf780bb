// The companion command d88disk, run as a process.
#include <gtest/gtest.h>

#include "image_builder.h"
#include "test_support.h"

namespace {

tool_run d88disk(const std::vector<std::string>& args, const std::string& cwd)
{
    return run_tool(args, cwd, "", -1, D88DISK_BINARY);
}

}  // namespace

TEST(D88disk, InfoListsDisksTracksAndSectors)
{
    temp_dir dir;
    test_disk odd;
    odd.name = "ODD\x01";
    odd.write_protect = 0x10;
    odd.disk_type = 0x20;
    odd.slots.resize(3);
    test_sector marked{2, 1, 0x1A, 2, bytes(3, 'A')};
    marked.deleted_mark = 0x10;
    marked.density = 0x40;
    marked.status = 0xB0;
    odd.slots[2] = {test_sector{2, 1, 1, 1, {}}, marked};
    write_file(dir.file("two.d88"), concat({build_disk(game_disk("FIRST", 1)), build_disk(odd)}));

    tool_run r = d88disk({"info", "two.d88"}, dir.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "disk 0  FIRST             2D   writable      22448 bytes   80 tracks\n"
              "disk 1  ODD.              2HD  protected       723 bytes    1 tracks\n");

    r = d88disk({"info", "--tracks", "two.d88"}, dir.path);
    EXPECT_NE(r.out.find("  slot  79  C 27 H 01   1 sectors: 01:1/256\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  slot   2  C 02 H 01   2 sectors: 01:1/0 1A:2/3[DS!B0]\n"), std::string::npos) << r.out;

    r = d88disk({"info", "two.d88", "--sector", "2", "1", "0x1a", "--disk", "1"}, dir.path);
    EXPECT_EQ(r.out, "disk 1  sector 02/01/1A  N 2  3 bytes\n0000  41 41 41" + std::string(39, ' ') + "  |AAA|\n");
    r = d88disk({"info", "two.d88", "--sector", "2", "1", "9"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "error: no sector 02/01/09 on disk 0 of 'two.d88'\n");
}

TEST(D88disk, InfoShowsTheReadersChain)
{
    temp_dir dir;
    bytes broken = build_disk(game_disk("G", 1));
    broken[0x1B] = 0x30;
    write_file(dir.file("broken.d88"), broken);
    const tool_run r = d88disk({"info", "broken.d88"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "illegal data: [G] disk type = 0x30\nread disk 1 error\nread image data error 'broken.d88'\n"
              "error: read d88 image 'broken.d88'\n");
}

TEST(D88disk, CreateEveryFormat)
{
    temp_dir dir;
    const struct {
        const char* format;
        size_t size;
    } cases[] = {{"0", 348848},        {"2dd640", 676528},  {"2", 761008},  {"2HD1232", 1281968}, {"4", 1331888},
                 {"2hd1440r", 1498288}, {"6", 1498288},      {"2hd1200", 1267888}, {"8", 1521328},  {"2hd1001", 1089776}};
    for (const auto& c : cases) {
        const tool_run r = d88disk({"create", c.format, "blank.d88", "--overwrite", "--name", "BLANK"}, dir.path);
        EXPECT_EQ(r.status, 0) << c.format << r.out;
        EXPECT_EQ(read_file(dir.file("blank.d88")).size(), c.size) << c.format;
    }
    const tool_run bad = d88disk({"create", "10", "x.d88"}, dir.path);
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "error: unknown format '10' (see d88disk create --help)\n");
}

TEST(D88disk, CreateKeepsAnExistingFileUnlessTold)
{
    temp_dir dir;
    write_file(dir.file("keep.d88"), bytes(4, 4));
    tool_run r = d88disk({"create", "2d", "keep.d88"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "'keep.d88' already exists (give --overwrite to replace it)\n");
    EXPECT_EQ(read_file(dir.file("keep.d88")), bytes(4, 4));
    r = d88disk({"create", "2d", "keep.d88", "--overwrite"}, dir.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir.file("keep.d88")).size(), 348848u);
}

TEST(D88disk, SamplesMakeAFirstRunWork)
{
    temp_dir dir;
    EXPECT_EQ(d88disk({"sample", "demo"}, dir.path).status, 0);
    const tool_run job = run_tool({"demo/GAME.D88", "demo/DATA1.D88", "demo/DATA2.D88"}, dir.path);
    EXPECT_EQ(job.status, 0) << job.out;
    const tool_run r = d88disk({"info", "demo/GAME.NEW.D88", "--sector", "39", "1", "1"}, dir.path);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n', 41)),
              "disk 0  sector 27/01/01  N 6  8192 bytes\n"
              "0000  74 72 61 63 6B 20 37 39 20 70 61 72 74 20 30 30  |track 79 part 00|");
}
