// The companion d88disk, called in-process: each row a command line in a
// folder holding two.d88 and raw.2d, what it prints, its status, and every
// file afterwards: those it made or changed hold the row's bytes, all others
// are as they were.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>

#include "d88disk.h"
#include "test_support.h"
#include "vorkast.h"

namespace {

const std::string JAPANESE = "\x83\x51\x81\x5B\x83\x80";  // ゲーム in Shift_JIS
const auto padded_name = [](const std::string& name) { return name + std::string(16 - name.size(), ' '); };
const test_disk FIRST = filled_disk("FIRST", 1);
const test_disk ODD = {JAPANESE + "\x01\x81", 0x10, 0x20,
                       {{}, {}, {{2, 1, 1, 1, {}}, {2, 1, 0x1A, 2, bytes(3, 'A'), 0x40, 0x10, 0xB0}}}};
const bytes TWO = concat({build_disk(FIRST), build_disk(ODD)});
// One sector of 256 bytes, its file cut by the last byte.
const bytes ONE = build_disk({"C", 0, 0, {{{0, 0, 1, 1, bytes(256, 1)}}}});
const bytes CUT = bytes(ONE.begin(), ONE.end() - 1);
// The start of an IMD image: its signature line and the comment's end.
const std::string IMD_START = "IMD 1.18: 07/12/2026 10:00:00\r\n\x1A";
const bytes IMD(IMD_START.begin(), IMD_START.end());
// A data disk whose cylinder 3, head 1 lacks R 7.
test_disk without_r7()
{
    test_disk d = filled_disk("DATA1");
    d.slots[7][6].r = 0x77;
    return d;
}
// A game disk whose track 7 (C 3, H 1) is not there: its slot says C 9.
test_disk without_c3h1()
{
    test_disk d = filled_disk("G");
    d.slots[7][0].c = 9;
    return d;
}
// A track as a flux dump of a completed one reads: the long sector with a
// data CRC error, then the game's own R 1.
const auto READ_ON = [](uint8_t c, uint8_t h) {
    return test_track{{c, h, 1, 6, bytes(8192, 'A'), 0, 0, 0xB0}, {c, h, 1, 1, bytes(256, 'B')}};
};
// A completed track in little: the inserted R 1 N 6, then the game's own R 1.
const bytes DONE = build_disk({"DONE", 0, 0, {{{0, 0, 1, 6, bytes(3, 'A')}, {0, 0, 1, 1, bytes(2, 'B')}}}});

// Every sector's data of the disk, slot by slot, as a raw dump holds it.
bytes raw_of(const test_disk& disk)
{
    bytes raw;
    for (const test_track& track : disk.slots)
        for (const test_sector& s : track)
            raw.insert(raw.end(), s.data.begin(), s.data.end());
    return raw;
}

// A raw dump of a 2D disk: 80 tracks of 16 sectors of 256 bytes.
const test_disk RAW_DISK = filled_disk("RAW");
const bytes RAW_2D = raw_of(RAW_DISK);


struct command_row {
    std::vector<std::string> args;
    std::string out;
    int status;
    std::map<std::string, bytes> made = {};   // the files made or changed
    std::map<std::string, bytes> given = {};  // files the row adds to the folder first
};

const bytes OLD = {'o', 'l', 'd'};

}  // namespace

TEST(D88disk, Commands)
{
    const std::string listing = "disk 0  FIRST             2D   writable      22448 bytes   80 tracks\n"
                                "disk 1  ゲーム..          2HD  protected       723 bytes    1 tracks\n";
    const std::string exists = "'two.d88' already exists (give --overwrite to replace it)\n";
    const command_row rows[] = {
        {{"info", "two.d88"}, listing, 0},
        {{"info", "--tracks", "two.d88", "--disk", "1"}, listing.substr(listing.find('\n') + 1) + "  slot   2  02/01   2 sectors: 01:1/0 1A:2/3[DS!B0]\n", 0},
        {{"info", "--tracks", "odd.d88"}, "disk 0  TEST              2D   writable        720 bytes    1 tracks\n  slot   5  02/01   2 sectors: 01:1/0 03/00/01:1/0\n", 0, {}, {{"odd.d88", build_disk({"TEST", 0, 0, {{}, {}, {}, {}, {}, {{2, 1, 1, 1}, {3, 0, 1, 1}}}})}}},
        {{"info", "short.d88"}, "data size too short ... garbage? ... ignored\nerror: 'short.d88' holds no D88 disk\n", 1, {}, {{"short.d88", bytes(200, 'x')}}},
        {{"info", "two.d88", "--json", "--tracks", "--disk", "0x1"}, "{\"disks\": [\n    {\"index\": 1, \"name\": \"ゲーム..\", \"media\": \"2HD\", \"write_protected\": true, \"size\": 723, \"tracks\": [\n      {\"slot\": 2, \"sectors\": [{\"c\": 2, \"h\": 1, \"r\": 1, \"n\": 1, \"size\": 0, \"density\": 0, \"deleted\": 0, \"status\": 0}, {\"c\": 2, \"h\": 1, \"r\": 26, \"n\": 2, \"size\": 3, \"density\": 64, \"deleted\": 16, \"status\": 176}]}\n    ]}\n]}\n", 0},
        {{"info", "two.d88", "--sector", "2", "1", "0x1a", "--disk", "01"}, "disk 1  sector 02/01/1A  N 2  3 bytes\n0000  41 41 41" + std::string(39, ' ') + "  |AAA|\n", 0},
        {{"info", "two.d88", "--sector", "2", "1", "9"}, "error: no sector 02/01/09 on disk 0 of 'two.d88'\n", 1},
        {{"info", "two.d88", "--disk", "1", "--sector", "02/01/1a"}, "disk 1  sector 02/01/1A  N 2  3 bytes\n0000  41 41 41" + std::string(39, ' ') + "  |AAA|\n", 0},
        {{"info", "two.d88", "--sector", "02/01"}, "error: --sector takes three numbers C H R from 0 to 255, or CC/HH/RR in hexadecimal\n", 1},
        {{"info", "two.d88", "--sector", "002/01/1A"}, "error: --sector takes three numbers C H R from 0 to 255, or CC/HH/RR in hexadecimal\n", 1},
        // a completed track holds two sectors 00/00/01: the second is the game's own
        {{"info", "done.d88", "--slot", "0", "--index", "1"}, "disk 0  slot 0  index 1  sector 00/00/01  N 1  2 bytes\n0000  42 42" + std::string(42, ' ') + "  |BB|\n", 0, {}, {{"done.d88", DONE}}},
        {{"info", "done.d88", "--sector", "00/00/01"}, "disk 0  sector 00/00/01  N 6  3 bytes\n0000  41 41 41" + std::string(39, ' ') + "  |AAA|\n", 0, {}, {{"done.d88", DONE}}},
        {{"info", "two.d88", "--slot", "2", "--index", "2", "--disk", "1"}, "error: no sector 2 in slot 2 on disk 1 of 'two.d88' (the slot holds 2)\n", 1},
        {{"info", "two.d88", "--slot", "164", "--index", "0"}, "error: no sector 0 in slot 164 on disk 0 of 'two.d88' (slots run from 0 to 163)\n", 1},
        {{"info", "two.d88", "--slot", "0"}, "error: show one sector with --sector, or with --slot and --index together\n", 1},
        {{"info", "two.d88", "--disk", "010"}, "error: no disk 8 in 'two.d88'\n", 1},
        // after the library's line, why: the system's reason, or what the file is
        {{"info", "no.d88"}, "open error 'no.d88'\nerror: cannot open 'no.d88': no such file\n", 1},
        {{"ls", "sub"}, "read error 'sub'\nerror: cannot open 'sub': a folder, not a file\n", 1, {}, {{"sub/x", {}}}},
        {{"info", "cut.d88"}, "illegal data: [C] disk size = 0x000003C0\nread disk 1 error\nread image data error 'cut.d88'\n"
         "error: 'cut.d88' is cut: its disk 0 passes the end of the file\n", 1, {}, {{"cut.d88", CUT}}},
        {{"set", "x.imd", "--name", "X"}, "data size too short ... garbage? ... ignored\n"
         "error: 'x.imd' holds no D88 disk: it is in imd format (d88disk convert reads it)\n", 1, {}, {{"x.imd", IMD}}},
        {{"create", "0", "sub", "--overwrite"}, "open error 'sub'\nerror: cannot write 'sub': a folder, not a file\n", 1, {}, {{"sub/x", {}}}},
        {{"convert", "raw.2d", "no/x.imd"}, "open error 'no/x.imd'\nerror: cannot write 'no/x.imd': no such folder\n", 1},
        {{"create", "2dd640", "new.d88", "--name", "ゲーム"}, "wrote new.d88\n", 0, {{"new.d88", build_disk(blank_disk(1, padded_name(JAPANESE)))}}},
        {{"create", "2HD1001", "new.d88"}, "wrote new.d88\n", 0, {{"new.d88", build_disk(blank_disk(9, std::string(16, ' ')))}}},
        {{"create", "9", "two.d88"}, exists, 1},
        {{"create", "9", "two.d88", "--overwrite"}, "wrote two.d88\n", 0, {{"two.d88", build_disk(blank_disk(9, std::string(16, ' ')))}}},
        {{"create", "10", "x.d88"}, "error: unknown format '10' (see d88disk --help)\n", 1},
        {{"create", "0", "x.d88", "--name", "€"}, "error: the name '€' has a character with no Shift_JIS code\n", 1},
        {{"create", "0", "x.d88", "--name", "ゲームゲームゲーム"}, "error: the name 'ゲームゲームゲーム' is longer than the 16 bytes a disk name holds\n", 1},
        {{"split", "two.d88"}, "wrote two.0.d88\nwrote two.1.d88\n", 0, {{"two.0.d88", build_disk(FIRST)}, {"two.1.d88", build_disk(ODD)}}},
        {{"split", "./two.d88", "--out", "."}, "wrote ./two.0.d88\nwrote ./two.1.d88\n", 0, {{"two.0.d88", build_disk(FIRST)}, {"two.1.d88", build_disk(ODD)}}},
        {{"split", "two.d88", "--out", "new"}, "wrote new/two.0.d88\nwrote new/two.1.d88\n", 0, {{"new/two.0.d88", build_disk(FIRST)}, {"new/two.1.d88", build_disk(ODD)}}},
        {{"split", "two.d88", "--out", "raw.2d"}, "error: cannot make folder 'raw.2d': a file, not a folder\n", 1},
        {{"split", "two.d88"}, "'two.0.d88' already exists (give --overwrite to replace it)\n'two.1.d88' already exists (give --overwrite to replace it)\n", 1, {}, {{"two.0.d88", OLD}, {"two.1.d88", OLD}}},
        {{"split", "short.d88"}, "data size too short ... garbage? ... ignored\nerror: 'short.d88' holds no D88 disk\n", 1, {}, {{"short.d88", bytes(200, 'x')}}},
        {{"join", "j.d88", "two.d88", "two.d88"}, "wrote j.d88\n", 0, {{"j.d88", concat({TWO, TWO})}}},
        {{"join", "two.d88", "raw.2d"}, exists, 1},
        {{"join", "j.d88", "two.d88", "no.d88"}, "open error 'no.d88'\nerror: cannot open 'no.d88': no such file\n", 1},
        {{"import", "2d", "raw.2d", "i.d88", "--name", "RAW"}, "wrote i.d88\n", 0, {{"i.d88", build_disk({padded_name("RAW"), 0, 0, RAW_DISK.slots})}}},
        {{"import", "2dd640", "raw.2d", "i.d88"}, "illegal data: 327680 bytes, but the 2dd640 geometry needs 655360\nread raw image error\nerror: read raw image 'raw.2d'\n", 1},
        {{"export", "raw.d88", "r.2d"}, "disk 0: note lost-name: a raw dump has no place for the disk's name\nwrote r.2d\n", 0, {{"r.2d", RAW_2D}}, {{"raw.d88", build_disk(RAW_DISK)}}},
        {{"export", "two.d88", "r.raw", "--disk", "1"}, "illegal data: the disk's geometry (2 x 2 x 2 x 256 bytes) is none a raw dump holds: "
         "those of the standard formats (2d, 2dd640, 2dd720, 2hd1232, 2hd1280, 2hd1440r, 2hd1440h, 2hd1200, 2hd1440, 2hd1001)\n"
         "error: raw cannot hold disk 1 of 'two.d88'; nothing written\n", 1},
        {{"export", "two.d88", "r.raw", "--disk", "2"}, "error: no disk 2 in 'two.d88'\n", 1},
        {{"set", "two.d88", "--disk", "1", "--name", "AB", "--writable"}, "wrote two.d88\n", 0, {{"two.d88", concat({build_disk(FIRST), build_disk({padded_name("AB"), 0, ODD.disk_type, ODD.slots})})}}},
        {{"set", "two.d88", "--protect"}, "wrote two.d88\n", 0, {{"two.d88", patch(TWO, 0x1A, 0x10, 1)}}},
        {{"set", "two.d88", "--protect", "--writable"}, "error: --protect and --writable exclude each other\n", 1},
        {{"set", "two.d88"}, "error: say what to change: --name NAME, --protect or --writable\n", 1},
        {{"set", "two.d88", "--disk", "2", "--protect"}, "error: no disk 2 in 'two.d88'\n", 1},
        {{"set", "two.d88", "--name", "€"}, "error: the name '€' has a character with no Shift_JIS code\n", 1},
        {{"set", "two.d88", "--bogus"}, "error: unexpected argument '--bogus' (see d88disk set --help)\n", 1},
        // every finding of every image at once, and a verdict for each
        {{"check", "two.d88", "no.d88", "short.d88"},
         "two.d88: disk 1, slot 2, sector 0 (02/01/01) at 0x00005A60: warning data-size: holds 0 bytes of data, not the 256 that size code N 1 stands for\n"
         "two.d88: disk 1, slot 2, sector 1 (02/01/1A) at 0x00005A70: warning data-size: holds 3 bytes of data, not the 512 that size code N 2 stands for\n"
         "two.d88: disk 1, slot 2, sector 1 (02/01/1A) at 0x00005A70: warning status: was read with status 0xB0: data CRC error\n"
         "two.d88: readable by vorkast; 0 errors, 3 warnings, 0 notes\n"
         "no.d88: error file: no such file\n"
         "no.d88: not readable by vorkast; 1 error, 0 warnings, 0 notes\n"
         "short.d88: at 0x00000000: warning trailing-bytes: 200 bytes after the last disk are too few for a disk; the reader ignores them\n"
         "short.d88: readable, but holds no disk; 0 errors, 1 warning, 0 notes\n", 1, {}, {{"short.d88", bytes(200, 'x')}}},
        {{"check", "--json", "cut.d88", "."},
         "{\"images\": [\n    {\"path\": \"cut.d88\", \"readable\": false, \"disks\": 1, \"findings\": ["
         "\n        {\"severity\": \"error\", \"kind\": \"disk-size\", \"disk\": 0, \"offset\": 0, \"message\": \"the disk size 0x000003C0 passes the end of the file at 0x000003BF: the file is cut\"},"
         "\n        {\"severity\": \"error\", \"kind\": \"sector-data\", \"disk\": 0, \"slot\": 0, \"index\": 0, \"offset\": 688, \"sector\": \"00/00/01\", \"message\": \"its 256 bytes of data pass the end of its track at 0x000003BF\"}"
         "\n      ]},\n    {\"path\": \".\", \"readable\": false, \"disks\": 0, \"findings\": ["
         "\n        {\"severity\": \"error\", \"kind\": \"file\", \"message\": \"a folder, not a file\"}\n      ]}\n]}\n", 1, {}, {{"cut.d88", CUT}}},
        // one cause at consecutive places is one line; JSON keeps each
        {{"check", "far.d88"}, "far.d88: disk 0, slots 2-4: error track-offset: the track offset 0x00001388 lies past the end of the disk (and 2 more like it)\n"
         "far.d88: not readable by vorkast; 3 errors, 0 warnings, 0 notes\n", 1, {}, {{"far.d88", patch(patch(patch(ONE, 0x28, 5000), 0x2C, 5000), 0x30, 5000)}}},
        {{"check", "apart.d88"}, "apart.d88: disk 0, slot 2 at 0x00000028: error track-offset: the track offset 0x00001388 lies past the end of the disk\n"
         "apart.d88: disk 0, slot 4 at 0x00000030: error track-offset: the track offset 0x00001388 lies past the end of the disk\n"
         "apart.d88: disk 0, slot 6 at 0x00000038: error track-offset: the track offset 0x00001388 lies past the end of the disk\n"
         "apart.d88: not readable by vorkast; 3 errors, 0 warnings, 0 notes\n", 1, {}, {{"apart.d88", patch(patch(patch(ONE, 0x28, 5000), 0x30, 5000), 0x38, 5000)}}},
        // ... also where another kind stands between them, slot after slot
        {{"check", "read.d88"}, "read.d88: disk 0, slots 0-2: warning status: was read with status 0xB0: data CRC error (and 2 more like it)\n"
         "read.d88: disk 0, slots 0-2: warning duplicate-id: has the ID of sector 0 of its track; a look-up by ID finds that one (and 2 more like it)\n"
         "read.d88: readable by vorkast; 0 errors, 6 warnings, 0 notes\n", 0, {}, {{"read.d88", build_disk({"R", 0, 0, {READ_ON(0, 0), READ_ON(0, 1), READ_ON(1, 0)}})}}},
        // an output that is one of the inputs is refused before anything else
        {{"join", "two.d88", "two.d88", "--overwrite"}, "error: output 'two.d88' is one of the input images\n", 1},
        {{"repair", "two.d88", "./two.d88"}, "error: output './two.d88' is one of the input images\n", 1},
        {{"import", "2d", "raw.2d", "raw.2d", "--overwrite"}, "error: output 'raw.2d' is one of the input images\n", 1},
        // a long option's value attached with '='
        {{"info", "two.d88", "--disk=1", "--sector=02/01/1a"}, "disk 1  sector 02/01/1A  N 2  3 bytes\n0000  41 41 41" + std::string(39, ' ') + "  |AAA|\n", 0},
        {{"info", "two.d88", "--tracks=1"}, "error: --tracks takes no value\n", 1},
        {{"info", "two.d88", "--disk=x"}, "error: --disk takes a number from 0, not 'x'\n", 1},
        {{"info", "two.d88", "--bogus=1"}, "error: unexpected argument '--bogus=1' (see d88disk info --help)\n", 1},
        // convert names every loss before writing, and asks which disk of several
        {{"convert", "two.d88", "x.imd"}, "error: 'two.d88' holds 2 disks, and imd holds one: say which with --disk N\n", 1},
        {{"convert", "two.d88", "x.imd", "--disk=1"}, "disk 1: note lost-name: IMD's comment keeps a name of up to 16 bytes, padded with spaces, without line ends: this one comes back otherwise\n"
         "disk 1: note lost-protect: IMD has no place for the write protection\n"
         "disk 1, slot 2, sector 1 (02/01/1A): error lost-mixed: a single-density sector in a track recorded in MFM: IMD has one density a track\n"
         "disk 1, slot 2, sector 0 (02/01/01): error lost-size: 0 bytes of data where N 1 stands for 256\n"
         "disk 1, slot 2, sector 1 (02/01/1A): error lost-size: 3 bytes of data where N 2 stands for 512\n"
         "error: 3 losses listed above; nothing written (give --force to write what imd holds)\n", 1},
        {{"convert", "two.d88", "y.d77"}, "wrote y.d77\n", 0, {{"y.d77", TWO}}},
        {{"convert", "raw.2d", "x.dat"}, "error: no format is known by the name of 'x.dat' (give --to: d88, imd, hdm, fdi, hfe, dim, nfd, raw or scp)\n", 1},
        // formats are known by their content; the name is a hint
        {{"convert", "raw.2d", "x.imd", "--geometry", "2hd1232"}, "illegal data: 327680 bytes, but the 2hd1232 geometry needs 1261568\nread raw image error\n"
         "error: read raw image 'raw.2d'\n", 1},
        {{"convert", "raw.2d", "x.d88", "--geometry", "2d"}, "wrote x.d88\n", 0, {{"x.d88", build_disk({padded_name(""), 0, 0, RAW_DISK.slots})}}},
        {{"convert", "a.imd", "b.hfe", "--to", "d88"}, "note: 'a.imd' holds the format d88 by its content, not imd as its name says: read as d88\nwrote b.hfe\n", 0,
         {{"b.hfe", TWO}}, {{"a.imd", TWO}}},
        {{"convert", "two.d88", "x.d88", "--geometry", "2d"}, "error: --geometry gives the shape of a raw dump; 'two.d88' is read as d88\n", 1},
        {{"convert", "noise.imd", "x.d88"}, "illegal data: no IMD header\nread imd image error\nerror: read imd image 'noise.imd'\n", 1, {}, {{"noise.imd", bytes(5000, 0x33)}}},
        {{"convert", "noise", "x.d88"}, "error: 'noise' is no image of a format known by its content or its name (give --from: d88, imd, hdm, fdi, hfe, dim, nfd, raw, scp or kryoflux)\n", 1, {},
         {{"noise", bytes(5000, 0x33)}}},
        {{"convert", "raw.2d", "x.d88", "--from", "HDM"}, "illegal data: 327680 bytes, but the HDM geometry needs 1261568\nread hdm image error\nerror: read hdm image 'raw.2d'\n", 1},
        {{"convert", "two.d88", "x.d88", "--to", "x"}, "error: unknown format 'x' (d88, imd, hdm, fdi, hfe, dim, nfd, raw or scp)\n", 1},
        {{"convert", "two.d88", "./two.d88", "--to", "imd"}, "error: output './two.d88' is one of the input images\n", 1},
        {{"convert", "raw.2d", "x.hfe", "--revs", "2"}, "error: --revs gives the revolutions of an SCP file; 'x.hfe' is written as hfe\n", 1},
        {{"convert", "raw.2d", "x.scp", "--revs", "0"}, "error: --revs is 1 to 5, not 0\n", 1},
        {{"check", "two.d88", "--job"}, "error: no data disk #1 image\n", 1},
        {{"check", "--job", "g.d88", "d.d88", "--track", "3", "--json"}, "{\"job\": {\"tracks\": 1, \"ready\": 0, \"findings\": [\n"
         "    {\"severity\": \"error\", \"kind\": \"missing-sector\", \"track\": 3, \"image\": \"d.d88\", \"sector\": \"03/01/07\", \"message\": \"data disk #1 has no sector 03/01/07\"}\n  ]}}\n",
         1, {}, {{"g.d88", build_disk(filled_disk("G"))}, {"d.d88", build_disk(without_r7())}}},
        {{"check", "--job", "g.d88", "d.d88", "--track", "80"}, "error: illegal track number '80'\n", 1},
        {{"check", "--job", "g.d88", "d.d88", "--track", "7"}, "track 7: g.d88: error no-game-track: the game disk has no track with C 03 H 01\n0 of 1 selected track ready\n",
         1, {}, {{"g.d88", build_disk(without_c3h1())}, {"d.d88", build_disk(without_r7())}}},
        {{"check", "--job", "g.d88", "d.d88", "--track", "3"},
         "d.d88: error write-protect: the reader refuses the image: disk 0: the write protect byte 0x01 is neither 0x00 (writable) nor 0x10 (protected)\n"
         "track 3: d.d88 03/01/07: error missing-sector: data disk #1 has no sector 03/01/07\n0 of 1 selected track ready\n",
         1, {}, {{"g.d88", build_disk(filled_disk("G"))}, {"d.d88", patch(build_disk(without_r7()), 0x1A, 0x01, 1)}}},
        // repair says each change; it loses nothing unless forced, and guesses no media
        {{"repair", "cut.d88", "r.d88"},
         "disk 0 at 0x00000000: the disk size 0x000003C0 passes the end of the file at 0x000003BF: the file is cut -- the disk size is computed anew\n"
         "disk 0, slot 0, sector 0 (00/00/01) at 0x000002B0: its 256 bytes of data pass the end of its track at 0x000003BF -- the sector is cut: it, and any after it in its track, are lost\n"
         "error: sectors are lost at 1 place listed above; nothing written (give --force to write the rest)\n", 1, {}, {{"cut.d88", CUT}}},
        // a repair that would keep no track is refused, even when forced
        {{"repair", "cut.d88", "r.d88", "--force"},
         "disk 0 at 0x00000000: the disk size 0x000003C0 passes the end of the file at 0x000003BF: the file is cut -- the disk size is computed anew\n"
         "disk 0, slot 0, sector 0 (00/00/01) at 0x000002B0: its 256 bytes of data pass the end of its track at 0x000003BF -- the sector is cut: it, and any after it in its track, are lost\n"
         "error: no track of 'cut.d88' could be kept; nothing written\n", 1, {}, {{"cut.d88", CUT}}},
        // a raw sector dump is recognised, and never repaired into an empty disk
        {{"check", "raw.2d"}, "raw.2d: error raw-dump: no D88 image: its 327680 bytes are a raw sector dump of format 2d; d88disk import 2d FILE OUT makes a D88 image of it\n"
         "raw.2d: not readable by vorkast; 1 error, 0 warnings, 0 notes\n", 1},
        {{"repair", "raw.2d", "r.d88", "--force", "--media", "2d"}, "no D88 image: its 327680 bytes are a raw sector dump of format 2d; d88disk import 2d FILE OUT makes a D88 image of it\n"
         "error: 'raw.2d' is a raw sector dump, not a D88 image; nothing written\n", 1},
        {{"check", "x.2hd"}, "x.2hd: error raw-dump: no D88 image: its 1474560 bytes are a raw sector dump of format 2hd1440r, 2hd1440h or 2hd1440; d88disk import FORMAT FILE OUT makes a D88 image of it\n"
         "x.2hd: not readable by vorkast; 1 error, 0 warnings, 0 notes\n", 1, {}, {{"x.2hd", bytes(1474560, 0xE5)}}},
        {{"repair", "odd.d88", "r.d88"}, "disk 0 at 0x00000000: the write protect byte 0x01 is neither 0x00 (writable) nor 0x10 (protected) -- the byte becomes 0x10 (protected)\n"
         "disk 0 at 0x00000000: the media byte 0x30 is none of 0x00 (2D), 0x10 (2DD) and 0x20 (2HD) -- give --media 2D, 2DD or 2HD to say which it is\n"
         "error: 1 disk is of unknown media; nothing written (give --media)\n", 1, {}, {{"odd.d88", patch(patch(ONE, 0x1B, 0x30, 1), 0x1A, 0x01, 1)}}},
        {{"repair", "odd.d88", "r.d88", "--media", "2hd"}, "disk 0 at 0x00000000: the write protect byte 0x01 is neither 0x00 (writable) nor 0x10 (protected) -- the byte becomes 0x10 (protected)\n"
         "disk 0 at 0x00000000: the media byte 0x30 is none of 0x00 (2D), 0x10 (2DD) and 0x20 (2HD) -- the byte becomes 0x20\n"
         "wrote r.d88\n", 0, {{"r.d88", patch(patch(ONE, 0x1B, 0x20, 1), 0x1A, 0x10, 1)}}, {{"odd.d88", patch(patch(ONE, 0x1B, 0x30, 1), 0x1A, 0x01, 1)}}},
        {{"repair", "two.d88", "r.d88", "--media", "8d"}, "error: unknown media '8d' (2D, 2DD or 2HD)\n", 1},
        {{"repair", "two.d88", "r.d88"}, "nothing to repair in 'two.d88': it is written in the canonical layout\nwrote r.d88\n", 0, {{"r.d88", TWO}}},
        // sample keeps a user's files unless told to replace them
        {{"sample", "."}, "'./GAME.D88' already exists (give --overwrite to replace it)\n'./DATA2.D88' already exists (give --overwrite to replace it)\n", 1, {}, {{"GAME.D88", OLD}, {"DATA2.D88", OLD}}},
        {{"bogus"}, "error: unknown command 'bogus' (see d88disk --help)\n", 1},
        {{"join", "j.d88"}, "error: usage: d88disk join OUT IMAGE... [--overwrite]\n", 1},
    };
    for (const command_row& row : rows) {
        SCOPED_TRACE(row.args[0] + " " + row.args.back());
        temp_dir dir;
        write_file(dir.file("two.d88"), TWO);
        write_file(dir.file("raw.2d"), RAW_2D);
        for (const auto& file : row.given) {
            fs::create_directories(fs::u8path(dir.file(file.first)).parent_path());
            write_file(dir.file(file.first), file.second);
        }
        std::map<std::string, bytes> after = files_below(dir.path);
        for (const auto& file : row.made)
            after[file.first] = file.second;
        const run_result r = run_in(dir, "d88disk", run_d88disk, row.args);
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.status, row.status);
        EXPECT_TRUE(files_below(dir.path) == after);
    }
}

// Every format: a blank disk exported and imported again is the same disk,
// byte for byte.
TEST(D88disk, ImportUndoesExport)
{
    for (int format = 0; format < 10; ++format) {
        temp_dir dir;
        const std::string f = std::to_string(format);
        for (const auto& args : {std::vector<std::string>{"create", f, "blank.d88", "--name", "B"}, {"export", "blank.d88", "raw"}, {"import", f, "raw", "again.d88", "--name", "B"}})
            EXPECT_EQ(run_in(dir, "d88disk", run_d88disk, args).status, 0);
        EXPECT_TRUE(read_file(dir.file("again.d88")) == read_file(dir.file("blank.d88"))) << format;
        EXPECT_EQ(read_file(dir.file("raw")).size(), static_cast<size_t>(FORMATS[format].cylinders * 2 * FORMATS[format].sectors) << (7 + FORMATS[format].n));
    }
}

// The samples replace what is there with --overwrite, keep their whole
// names in a folder of nearly the longest path, and are what vorkast needs:
// every sector says where it belongs, so a completed track shows where each
// part came from.
TEST(D88disk, SamplesAreReadyForVorkast)
{
    temp_dir dir;
#ifdef _WIN32
    const std::string folder = "s";
#else
    const std::string folder = "." + std::string(4089, '/') + "s";
#endif
    write_file(dir.file("s/DATA1.D88"), OLD);
    const run_result made = run_in(dir, "d88disk", run_d88disk, {"sample", folder, "--overwrite"});
    EXPECT_EQ(made.status, 0);
    EXPECT_EQ(std::count(made.out.begin(), made.out.end(), '\n'), 3) << made.out;
    ASSERT_EQ(run_in(dir, "vorkast", run_vorkast, {"s/GAME.D88", "s/DATA1.D88", "s/DATA2.D88"}).status, 0);
    d88_image image = {};
    ASSERT_EQ(read_d88_image_file(&image, dir.file("s/GAME.NEW.D88").c_str()), 1);
    for (int t : {0, 41, 79}) {
        const d88_track* track = find_d88_track(image.disks, static_cast<uint8_t>(t / 2), static_cast<uint8_t>(t & 1));
        ASSERT_NE(track, nullptr);
        const std::string data(reinterpret_cast<const char*>(track->sectors[0].data), 8192);
        char part[32], game[32];
        for (int p : {0, 17, 31}) {
            std::snprintf(part, sizeof part, "track %02d part %02d ", t, p);
            EXPECT_EQ(data.compare(256 * p, std::strlen(part), part), 0) << t << " " << p;
        }
        std::snprintf(game, sizeof game, "game sector %02X/%02X/10 ", t / 2, t & 1);
        EXPECT_EQ(std::memcmp(track->sectors[16].data, game, std::strlen(game)), 0) << t;
    }
    free_d88_image(&image, 0);
}

#ifndef _WIN32
// An output that is an input under another name, through a link, is
// refused as well.
TEST(D88disk, OutputLinkedToAnInput)
{
    temp_dir dir;
    ASSERT_EQ(run_in(dir, "d88disk", run_d88disk, {"sample", "."}).status, 0);
    fs::create_symlink("DATA2.D88", dir.file("OUT.D88"));
    const std::map<std::string, bytes> before = files_below(dir.path);
    const run_result r = run_in(dir, "vorkast", run_vorkast, {"--overwrite", "-o", "OUT.D88", "GAME.D88", "DATA1.D88", "DATA2.D88"});
    EXPECT_EQ(r.out, "error: output 'OUT.D88' is one of the input images\n");
    EXPECT_EQ(r.status, 1);
    const run_result c = run_in(dir, "d88disk", run_d88disk, {"convert", "DATA2.D88", "OUT.D88", "--overwrite"});
    EXPECT_EQ(c.out, "error: output 'OUT.D88' is one of the input images\n");
    EXPECT_TRUE(files_below(dir.path) == before);
}
#endif

// check --job and vorkast on the same files: the check lists every problem
// of every track at once, and its status is vorkast's.
TEST(D88disk, JobCheckAgreesWithVorkast)
{
    const test_disk game = filled_disk("GAME"), data1 = filled_disk("DATA1"), data2 = filled_disk("DATA2");
    // Twelve holes, six on each data disk, over several tracks.
    test_disk holed1 = data1, holed2 = data2;
    const std::vector<std::pair<int, int>> holes = {{0, 0}, {0, 15}, {9, 3}, {40, 7}, {41, 7}, {79, 1}};
    for (test_disk* d : {&holed1, &holed2})
        for (const auto& hole : holes)
            d->slots[static_cast<size_t>(hole.first)][static_cast<size_t>(hole.second)].r = 0x77;
    test_disk one_hole = data1;
    one_hole.slots[7][6].r = 0x77;
    test_disk flawed = data1;
    flawed.slots[4][2].status = 0xB0;
    flawed.slots[6][0].n = 2;
    struct job_case {
        std::vector<std::string> images;  // GAME.D88 first; the files' bytes by name below
        std::vector<std::string> vorkast_options, check_options;
        size_t errors, warnings;
        const char* ready;
    };
    const std::map<std::string, bytes> files = {
        {"GAME.D88", build_disk(game)},        {"DATA1.D88", build_disk(data1)},
        {"DATA2.D88", build_disk(data2)},      {"HOLED1.D88", build_disk(holed1)},
        {"HOLED2.D88", build_disk(holed2)},    {"FLAWED.D88", build_disk(flawed)},
        {"DONE.D88", build_disk(completed(game, data1, data2))},
        {"CUT.D88", bytes(1000, 0)},
        {"PROTECT.D88", patch(build_disk(one_hole), 0x1A, 0x01, 1)},
    };
    const job_case cases[] = {
        {{"GAME.D88", "DATA1.D88", "DATA2.D88"}, {}, {}, 0, 0, "80 of 80 selected tracks ready\n"},
        {{"GAME.D88", "HOLED1.D88", "HOLED2.D88"}, {}, {}, 12, 0, "72 of 80 selected tracks ready\n"},
        {{"GAME.D88", "FLAWED.D88", "DATA2.D88"}, {}, {}, 1, 1, "79 of 80 selected tracks ready\n"},
        {{"GAME.D88", "FLAWED.D88", "DATA2.D88"}, {"-t", "2"}, {"--track", "2"}, 0, 1, "1 of 1 selected track ready\n"},
        {{"GAME.D88", "HOLED2.D88"}, {"-t", "45"}, {"--track", "45"}, 0, 0, "1 of 1 selected track ready\n"},
        {{"GAME.D88", "HOLED2.D88"}, {"-t", "40"}, {"--track", "40"}, 2, 0, "0 of 1 selected track ready\n"},
        {{"DONE.D88", "DATA1.D88", "DATA2.D88"}, {}, {}, 80, 0, "0 of 80 selected tracks ready\n"},
        {{"GAME.D88", "DATA1.D88", "CUT.D88"}, {}, {}, 1, 0, "0 of 80 selected tracks ready\n"},
        // an image the reader refuses still has its tracks checked
        {{"GAME.D88", "PROTECT.D88", "DATA2.D88"}, {}, {}, 2, 0, "0 of 80 selected tracks ready\n"},
        // vorkast reads every image it is given, needed or not
        {{"GAME.D88", "DATA1.D88", "CUT.D88"}, {"-t", "3"}, {"--track", "3"}, 1, 0, "0 of 1 selected track ready\n"},
        {{"GAME.D88", "DATA1.D88", "DATA2.D88"}, {"-i", "1"}, {"--index", "1"}, 1, 0, "0 of 80 selected tracks ready\n"},
        // one file given twice is taken, with a warning
        {{"GAME.D88", "DATA1.D88", "DATA1.D88"}, {}, {}, 0, 1, "80 of 80 selected tracks ready\n"},
        {{"GAME.D88", "DATA1.D88", "GAME.D88"}, {}, {}, 0, 1, "80 of 80 selected tracks ready\n"},
    };
    for (const job_case& c : cases) {
        SCOPED_TRACE(c.images[1] + " " + testing::PrintToString(c.check_options));
        temp_dir dir;
        for (const auto& file : files)
            write_file(dir.file(file.first), file.second);
        std::vector<std::string> vorkast_args = c.vorkast_options, check_args = {"check", "--job"};
        vorkast_args.insert(vorkast_args.end(), {"-o", "OUT.D88"});
        for (const std::string& image : c.images) {
            vorkast_args.push_back(image);
            check_args.push_back(image);
        }
        check_args.insert(check_args.end(), c.check_options.begin(), c.check_options.end());
        const run_result checked = run_in(dir, "d88disk", run_d88disk, check_args);
        const run_result completed_run = run_in(dir, "vorkast", run_vorkast, vorkast_args);
        EXPECT_EQ(checked.status, completed_run.status);
        // findings by severity, a folded line standing for as many as it says
        const auto lines_with = [&](const std::string& word) {
            size_t n = 0;
            std::istringstream lines(checked.out);
            for (std::string line; std::getline(lines, line);) {
                const size_t more = line.rfind(" (and ");
                if (line.find(word) != std::string::npos)
                    n += 1 + (more != std::string::npos ? std::stoul(line.substr(more + 6)) : 0);
            }
            return n;
        };
        EXPECT_EQ(lines_with(": error "), c.errors) << checked.out;
        EXPECT_EQ(lines_with(": warning "), c.warnings) << checked.out;
        EXPECT_EQ(checked.out.substr(checked.out.rfind('\n', checked.out.size() - 2) + 1), c.ready);
    }
}

// A program that embeds the commands keeps its message handler: d88disk
// check takes the library's lines for a moment, and gives them back.
TEST(D88disk, EmbeddingProgramKeepsItsHandler)
{
    temp_dir dir;
    write_file(dir.file("two.d88"), TWO);
    std::string handed;
    const auto collect = [](const char* line, void* to) { *static_cast<std::string*>(to) += line; };
    set_d88_message_handler(collect, &handed);
    const run_result r = run_in(dir, "d88disk", run_d88disk, {"check", "two.d88", "no.d88"});
    void* context = nullptr;
    const d88_message_handler after = get_d88_message_handler(&context);
    d88_image image = {};
    read_d88_image_file(&image, dir.file("none.d88").c_str());
    set_d88_message_handler(nullptr, nullptr);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(after == collect && context == &handed);
    const std::string last = "open error '" + dir.file("none.d88") + "'\n";
    EXPECT_EQ(handed.substr(handed.size() - last.size()), last);
    EXPECT_NE(handed.find("no.d88: error file: no such file\n"), std::string::npos);
}
