// The whole job run as a process: the file written, the overwrite question,
// and the failures that must leave files as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

#include "image_builder.h"
#include "test_support.h"

namespace {

// A folder with a two-disk game image and the two data disks.
struct job {
    temp_dir dir;
    test_disk first = game_disk("FIRST", 3);
    test_disk second = game_disk("SECOND", 16);
    job()
    {
        write_file(dir.file("GAME.D88"), concat({build_disk(first), build_disk(second)}));
        write_file(dir.file("DATA1.D88"), build_disk(data_disk("D1")));
        test_disk data2 = data_disk("D2");
        for (test_track& track : data2.slots)  // cylinder c of disk #2 reads as c + 40
            for (test_sector& s : track)
                for (int i = 0; i < 256; ++i)
                    s.data[i] = data_byte(s.c + 40, s.h, s.r, i);
        write_file(dir.file("DATA2.D88"), build_disk(data2));
    }
    tool_run run(const std::vector<std::string>& args, const std::string& input = "", long file_limit = -1)
    {
        return run_tool(args, dir.path, input, file_limit);
    }
    bytes output(const std::string& name = "GAME.NEW.D88") { return read_file(dir.file(name)); }
};

// The game image with track t of disk `which` completed from the data disks.
bytes completed(job& j, int which, std::vector<int> tracks)
{
    test_disk first = j.first, second = j.second;
    for (int t : tracks)
        prepend_track_sector(which == 0 ? first : second, t, cylinder_data(t));
    return concat({build_disk(first), build_disk(second)});
}

std::vector<int> all_tracks()
{
    std::vector<int> t;
    for (int i = 0; i < 80; ++i)
        t.push_back(i);
    return t;
}

}  // namespace

TEST(Job, CompletesEveryTrackOfTheChosenDisk)
{
    job j;
    tool_run r = j.run({"GAME.D88", "DATA1.D88", "DATA2.D88"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(j.output(), completed(j, 0, all_tracks()));

    r = j.run({"DATA1.D88", "-i", "1", "DATA2.D88", "--output", "second.d88", "GAME.D88"});
    EXPECT_EQ(r.out, "error: get disk 1 from image 'DATA1.D88'\n");  // slots in argument order

    r = j.run({"-i", "1", "-o", "second.d88", "GAME.D88", "DATA1.D88", "DATA2.D88"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(j.output("second.d88"), completed(j, 1, all_tracks()));
}

TEST(Job, SingleTrackNeedsOnlyItsDataDisk)
{
    job j;
    EXPECT_EQ(j.run({"-t", "41", "-o", "t41.d88", "GAME.D88", "DATA2.D88"}).status, 0);
    EXPECT_EQ(j.output("t41.d88"), completed(j, 0, {41}));
    EXPECT_EQ(j.run({"-t", "0x27", "-o", "t39.d88", "GAME.D88", "DATA1.D88"}).status, 0);
    EXPECT_EQ(j.output("t39.d88"), completed(j, 0, {39}));
}

TEST(Job, TransferFailureWritesNothing)
{
    job j;
    write_file(j.dir.file("SHORT.D88"), build_disk(game_disk("SHORT", 3)));  // no cylinder 0 of 256-byte R 4..16
    const tool_run r = j.run({"GAME.D88", "SHORT.D88", "DATA2.D88"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "error: get d88 sector 00/00/04\nerror: get track 0 data\n");
    EXPECT_FALSE(file_exists(j.dir.file("GAME.NEW.D88")));
}

TEST(Job, OverwriteQuestion)
{
    const std::string exists = "'GAME.NEW.D88' already exists\noverwrite ? (Y or N): ";
    struct {
        std::vector<std::string> extra;
        std::string input;
        int status;
        std::string out;
        bool replaced;
    } cases[] = {
        {{}, "x\nn", 1, exists, false},
        {{}, "Y", 0, exists, true},
        {{}, "ay", 0, exists, true},
        {{}, "", 1, exists + "\n", false},  // end of input answers No
        {{}, "what?\n", 1, exists + "\n", false},
        {{"--overwrite"}, "", 0, "", true},
    };
    for (const auto& c : cases) {
        job j;
        write_file(j.dir.file("GAME.NEW.D88"), bytes(5, 7));
        std::vector<std::string> args = {"GAME.D88", "DATA1.D88", "DATA2.D88"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const tool_run r = j.run(args, c.input);
        EXPECT_EQ(r.status, c.status) << c.input;
        EXPECT_EQ(r.out, c.out) << c.input;
        EXPECT_EQ(j.output(), c.replaced ? completed(j, 0, all_tracks()) : bytes(5, 7)) << c.input;
    }
}

TEST(Job, FailedWritesKeepWhatWasThere)
{
    job j;
    tool_run r = j.run({"--overwrite", "-o", "/dev/full", "GAME.D88", "DATA1.D88", "DATA2.D88"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "write error '/dev/full'\nerror: write d88 image '/dev/full'\n");

    write_file(j.dir.file("GAME.NEW.D88"), bytes(3000, 9));
    chmod(j.dir.file("GAME.NEW.D88").c_str(), 0640);
    r = j.run({"--overwrite", "GAME.D88", "DATA1.D88", "DATA2.D88"}, "", 4096);  // files end at 4 KB
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "write error 'GAME.NEW.D88'\nerror: write d88 image 'GAME.NEW.D88'\n");
    EXPECT_EQ(j.output(), bytes(3000, 9));

    r = j.run({"-o", "fresh.d88", "GAME.D88", "DATA1.D88", "DATA2.D88"}, "", 4096);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "write error 'fresh.d88'\nerror: write d88 image 'fresh.d88'\n");
    EXPECT_FALSE(file_exists(j.dir.file("fresh.d88")));

    r = j.run({"-o", "no/such/folder.d88", "GAME.D88", "DATA1.D88", "DATA2.D88"});
    EXPECT_EQ(r.out, "open error 'no/such/folder.d88'\nerror: write d88 image 'no/such/folder.d88'\n");

    std::vector<std::string> names = list_dir(j.dir.path);  // no temporary file anywhere
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"DATA1.D88", "DATA2.D88", "GAME.D88", "GAME.NEW.D88"}));
}

TEST(Job, OutputNameOnlyChangesTheFileName)
{
    job j;
    std::filesystem::create_directories(j.dir.file("dir.old"));
    std::filesystem::copy_file(j.dir.file("GAME.D88"), j.dir.file("dir.old/GAME"));
    std::filesystem::copy_file(j.dir.file("GAME.D88"), j.dir.file("dir.old/G.X.D88"));
    EXPECT_EQ(j.run({"dir.old/GAME", "DATA1.D88", "DATA2.D88"}).status, 0);
    EXPECT_TRUE(file_exists(j.dir.file("dir.old/GAME.NEW")));
    EXPECT_EQ(j.run({"dir.old/G.X.D88", "DATA1.D88", "DATA2.D88"}).status, 0);
    EXPECT_TRUE(file_exists(j.dir.file("dir.old/G.X.NEW.D88")));
    EXPECT_EQ(j.run({"-t", "3", "./dir.old/GAME", "DATA1.D88"}, "y").out,
              "'./dir.old/GAME.NEW' already exists\noverwrite ? (Y or N): ");
}
