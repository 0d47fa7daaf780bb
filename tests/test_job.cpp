// vorkast's whole run, called in-process: the command line, loading, the
// track transfer and the output stage, each row checked from the outside.
#include <gtest/gtest.h>

#include <algorithm>

#include "d88.h"
#include "test_support.h"
#include "vorkast.h"

namespace {

const test_disk GAME = filled_disk("GAME");
const test_disk DATA1 = filled_disk("DATA1", 16, true);
const test_disk DATA2 = filled_disk("DATA2", 16, true);
const bytes DONE = build_disk(completed(GAME, DATA1, DATA2));  // every track
const bytes OLD = {'o', 'l', 'd'};
const std::string USAGE =
    "usage: vorkast [options] DISK.D88 DATA1.D88 DATA2.D88\n"
    "option: -i|--index #      specify index # of DISK.D88\n"
    "        -t|--track #      insert specified track only\n"
    "           --overwrite    overwrite output file\n"
    "        -?|--help         print usage\n\n"
    "supported disk image format is *.D88 only\n"
    "write modified disk image to filename.NEW.ext if not specifyed\n";
const std::string ASKED = "'GAME.NEW.D88' already exists\noverwrite ? (Y or N): ";

const auto only = [](int t) { return build_disk(completed(GAME, DATA1, DATA2, t)); };

// The disk changed by edit, as bytes.
template <class Edit>
bytes edited(test_disk disk, Edit edit)
{
    edit(disk);
    return build_disk(disk);
}

// A command line run in a folder holding GAME.D88, DATA1.D88, DATA2.D88,
// TWO.D88 (disks G0 and G1), plus the row's files; HUGE.D88 (2 GiB) when
// the row names it.
struct job_row {
    std::vector<std::string> args;
    std::string out;
    int status;
    bytes expect;  // what the output file holds afterwards; empty: no file changes
    std::string output = "GAME.NEW.D88";
    std::vector<std::pair<std::string, bytes>> files = {};
    std::string input = "";
};

const char *const G = "GAME.D88", *const D1 = "DATA1.D88", *const D2 = "DATA2.D88";

}  // namespace

TEST(Job, EveryRow)
{
    const job_row jobs[] = {
        {{}, "error: no game disk image\n", 1, {}},
        {{"--help", G}, USAGE, 1, {}},
        {{"-x", "-?"}, "error: unknown option '-x'\n", 1, {}},
        {{"--version", "-x"}, std::string("vorkast ") + D88_VERSION_STRING + "\n", 0, {}},  // the library's version; parsing ends
        {{G, "-i"}, "error: no image index\n", 1, {}},
        {{"-i", "1x"}, "error: illegal image index '1x'\n", 1, {}},
        {{"--track"}, "error: no track number\n", 1, {}},
        {{"-t", "80"}, "error: illegal track number '80'\n", 1, {}},
        {{"-t", "12x"}, "error: illegal track number '12x'\n", 1, {}},
        {{"-o"}, "error: no output filename\n", 1, {}},
        {{"A", "B", "C", "D.D88"}, "error: illegal parameter 'D.D88'\n", 1, {}},
        {{G}, "error: no data disk #1 image\n", 1, {}},
        {{G, D1}, "error: no data disk #2 image\n", 1, {}},
        {{G, D1, D2}, "", 0, DONE},
        {{"-t", "99999999999", G, D1, D2}, "", 0, DONE},  // past 32 bits: all tracks
        {{"-t", "-1", G, D1, D2}, "", 0, DONE},
        {{"-t", "0", G, D1}, "", 0, only(0)},
        {{G, "-t", "041", D1, "-o", "o"}, "", 0, only(33), "o"},
        {{"-t", "0x4F", G, D2}, "", 0, only(79)},  // from 40 on, the second image is data disk #2
        {{"-t", "40", G, D2}, "", 0, only(40)},
        {{"-o", "-t", G, D1, D2}, "", 0, DONE, "-t"},
        {{"-i", "1", "TWO.D88", D1, D2, "--output", "x"}, "", 0, concat({build_disk(filled_disk("G0")), build_disk(completed(filled_disk("G1"), DATA1, DATA2))}), "x"},
        {{"--index", "2", "TWO.D88", D1, D2}, "error: get disk 2 from image 'TWO.D88'\n", 1, {}, "TWO.NEW.D88"},
        {{"-i", "0xa", G, D1, D2}, "error: get disk 10 from image 'GAME.D88'\n", 1, {}},
        {{"-i", "0XA", G, D1, D2}, "error: get disk 10 from image 'GAME.D88'\n", 1, {}},
        {{"-i", "-1", G, D1, D2}, "error: get disk -1 from image 'GAME.D88'\n", 1, {}},
        {{"GAME", D1, D2}, "", 0, DONE, "GAME.NEW", {{"GAME", build_disk(GAME)}}},
        {{"-t", "2", "d.old/GAME", D1}, "", 0, only(2), "d.old/GAME.NEW", {{"d.old/GAME", build_disk(GAME)}}},
        {{G, "NONE.D88", D2}, "open error 'NONE.D88'\nerror: read d88 image 'NONE.D88'\n", 1, {}},
        {{G, D1, std::string(600, 'L')}, "open error '" + std::string(600, 'L') + "'\nerror: read d88 image '" + std::string(600, 'L') + "'\n", 1, {}},  // a line longer than most
        {{G, "F.D88", D2}, "read error 'F.D88'\nerror: read d88 image 'F.D88'\n", 1, {}, "GAME.NEW.D88", {{"F.D88/x", {}}}},
        {{G, D1, "HUGE.D88"}, "file too large 'HUGE.D88'\nerror: read d88 image 'HUGE.D88'\n", 1, {}},
        {{"-t", "50", G, "E.D88"}, "read error 'E.D88'\nerror: read d88 image 'E.D88'\n", 1, {}, "GAME.NEW.D88", {{"E.D88", {}}}},
        {{G, D1, "B.D88"}, "illegal data: [DATA2] disk type = 0x30\nread disk 1 error\nread image data error 'B.D88'\nerror: read d88 image 'B.D88'\n", 1, {}, "GAME.NEW.D88", {{"B.D88", patch(build_disk(DATA2), 0x1B, 0x30, 1)}}},
        // R 7 is missing from the first C 3 H 1 track; a later one is never searched
        {{"-t", "3", G, "R.D88"}, "error: get d88 sector 03/01/07\nerror: get track 3 data\n", 1, {}, "GAME.NEW.D88", {{"R.D88", edited(DATA1, [](test_disk& d) { d.slots.push_back(d.slots[7]), d.slots[7].erase(d.slots[7].begin() + 9); })}}},
        {{"-t", "3", G, "R.D88"}, "", 0, only(3), "GAME.NEW.D88", {{"R.D88", edited(DATA1, [](test_disk& d) { d.slots.push_back(d.slots[7]); })}}},
        {{"-t", "0", G, "N.D88"}, "error: get d88 sector 00/00/0F\nerror: get track 0 data\n", 1, {}, "GAME.NEW.D88", {{"N.D88", edited(DATA1, [](test_disk& d) { d.slots[0][1].n = 2; })}}},
        {{"-t", "1", G, "S.D88"}, "error: get d88 sector 01/01/10\nerror: get track 1 data\n", 1, {}, "GAME.NEW.D88", {{"S.D88", edited(DATA1, [](test_disk& d) { d.slots[3][0].data.pop_back(); })}}},
        {{"-t", "20", "G.D88", D1}, "error: can't find track 20\nerror: insert track 20\n", 1, {}, "G.NEW.D88", {{"G.D88", edited(GAME, [](test_disk& d) { d.slots[20][0].c = 9; })}}},
        // the lower of two C 10 H 0 tracks gets the sector
        {{"-t", "20", "G.D88", D1}, "", 0, edited(completed(GAME, DATA1, DATA2, 20), [](test_disk& d) { d.slots.push_back(GAME.slots[20]); }), "G.NEW.D88", {{"G.D88", edited(GAME, [](test_disk& d) { d.slots.push_back(d.slots[20]); })}}},
        {{"-t", "3", "G.D88", D1}, "error: track 3 already holds 65535 sectors\nerror: insert track 3\n", 1, {}, "G.NEW.D88", {{"G.D88", edited(GAME, [](test_disk& d) { d.slots[3].resize(65535, {1, 1, 1, 1}); })}}},
        // a completed image is refused, not completed twice; other tracks may still be done
        {{"DONE.D88", D1, D2}, "error: track 0 already holds an 8 KB sector\nerror: insert track 0\n", 1, {}, "DONE.NEW.D88", {{"DONE.D88", DONE}}},
        {{"-t", "6", "G.D88", D1}, "", 0, build_disk(completed(completed(GAME, DATA1, DATA2, 5), DATA1, DATA2, 6)), "G.NEW.D88", {{"G.D88", only(5)}}},
        {{"-t", "5", "G.D88", D1}, "error: track 5 already holds an 8 KB sector\nerror: insert track 5\n", 1, {}, "G.NEW.D88", {{"G.D88", only(5)}}},
        // an R 1 N 6 sector of another size is no completion
        {{"-t", "5", "G.D88", D1}, "", 0, edited(completed(GAME, DATA1, DATA2, 5), [](test_disk& d) { d.slots[5][1].n = 6; }), "G.NEW.D88", {{"G.D88", edited(GAME, [](test_disk& d) { d.slots[5][0].n = 6; })}}},
        {{G, D1, D2, "--overwrite"}, "", 0, DONE, "GAME.NEW.D88", {{"GAME.NEW.D88", OLD}}},
        {{G, D1, D2}, ASKED, 1, OLD, "GAME.NEW.D88", {{"GAME.NEW.D88", OLD}}, "x\nn"},  // --overwrite is not kept
        {{G, D1, D2}, ASKED, 0, DONE, "GAME.NEW.D88", {{"GAME.NEW.D88", OLD}}, "ay"},
        {{G, D1, D2}, ASKED + "\n", 1, OLD, "GAME.NEW.D88", {{"GAME.NEW.D88", OLD}}},  // input ends: No
        {{"--overwrite", "-o", D2, G, D1, D2}, "error: output 'DATA2.D88' is one of the input images\n", 1, {}},
        {{"-o", "./DATA1.D88", "-t", "3", G, D1}, "error: output './DATA1.D88' is one of the input images\n", 1, {}, "./DATA1.D88", {}, "y"},
        {{"-o", "no/o.d88", G, D1, D2}, "open error 'no/o.d88'\nerror: write d88 image 'no/o.d88'\n", 1, {}, "no/o.d88"},
        {{"-o", "", G, D1, D2}, "open error ''\nerror: write d88 image ''\n", 1, {}},
        {{"ゲーム.D88", D1, "DATA3.D88"}, "open error 'DATA3.D88'\nerror: read d88 image 'DATA3.D88'\n", 1, {}, "ゲーム.NEW.D88", {{"ゲーム.D88", build_disk(GAME)}}},
        {{"ゲーム.D88", D1, D2}, "", 0, DONE, "ゲーム.NEW.D88", {{"ゲーム.D88", build_disk(GAME)}}},
#ifdef _WIN32
        {{"C:GAME.D88", D1, D2}, "", 0, DONE, "GAME.NEW.D88"},  // a drive is not part of the name
        {{"-t", "2", "d.old\\GAME", D1}, "", 0, only(2), "d.old/GAME.NEW", {{"d.old/GAME", build_disk(GAME)}}},
#endif
    };

    const std::pair<std::string, bytes> inputs[] = {{G, build_disk(GAME)}, {D1, build_disk(DATA1)}, {D2, build_disk(DATA2)}, {"TWO.D88", concat({build_disk(filled_disk("G0")), build_disk(filled_disk("G1"))})}};
    // Each row twice: to standard output, and to a handler that an
    // embedding program installs, which then receives every line in order.
    for (const job_row& row : jobs) {
        for (const bool handled : {false, true}) {
            SCOPED_TRACE(testing::PrintToString(row.args) + (handled ? " (handler)" : ""));
            temp_dir dir;
            for (const auto& file : inputs)
                write_file(dir.file(file.first), file.second);
            if (std::find(row.args.begin(), row.args.end(), "HUGE.D88") != row.args.end()) {
                write_file(dir.file("HUGE.D88"), {});
                fs::resize_file(dir.file("HUGE.D88"), 0x80000000ull);  // sparse: 2 GiB without the bytes
            }
            for (const auto& file : row.files) {
                fs::create_directories(fs::u8path(dir.file(file.first)).parent_path());
                write_file(dir.file(file.first), file.second);
            }
            std::map<std::string, bytes> after = files_below(dir.path);
            if (!row.expect.empty())
                after[row.output] = row.expect;
            std::string handed;
            const auto run = [&](int argc, char** argv) {
                if (handled)
                    set_d88_message_handler([](const char* line, void* to) { *static_cast<std::string*>(to) += line; }, &handed);
                const int status = run_vorkast(argc, argv);
                set_d88_message_handler(nullptr, nullptr);
                return status;
            };
            const run_result r = run_in(dir, "vorkast", run, row.args, row.input);
            EXPECT_EQ(handled ? handed : r.out, row.out);
            EXPECT_EQ(r.out, handled ? "" : row.out);
            EXPECT_EQ(r.status, row.status);
            EXPECT_TRUE(files_below(dir.path) == after);  // the output alone, if any, has changed
        }
    }
}
