// The files inside the disks, through d88disk in-process.  N88-BASIC and
// Hu-BASIC disks are laid out here byte by byte from their published
// layouts, never with the code under test; FAT12 images go through mtools
// and fsck.fat, readers and writers of their own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#ifdef _WIN32
#include <sys/utime.h>
#else
#include <utime.h>
#endif

#include "d88disk.h"
#include "test_support.h"

namespace {

// A file's bytes that tell files and positions apart.
bytes file_data(int size, int seed)
{
    bytes b(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i)
        b[static_cast<size_t>(i)] = static_cast<uint8_t>(seed * 37 + i * 7 + i / 251);
    return b;
}

// Logical sector lsn of a disk with `sectors` a track and two heads, whose
// tracks hold their sectors in R order.
bytes& lsn_data(test_disk& d, int sectors, int lsn)
{
    return d.slots[static_cast<size_t>(lsn / sectors)][static_cast<size_t>(lsn % sectors)].data;
}

// Writes data from `at` on over whole sectors from lsn on.
void put_sectors(test_disk& d, int sectors, int lsn, const bytes& data, uint8_t fill)
{
    for (size_t at = 0; at < data.size(); at += 256) {
        bytes& s = lsn_data(d, sectors, lsn++);
        std::fill(s.begin(), s.end(), fill);
        std::copy(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(std::min(at + 256, data.size())),
                  s.begin());
    }
}

// N88-BASIC 2D: clusters of 8 sectors; the system track is C 18 H 1 (track
// 37): directory in R 1-12 (16-byte entries), FAT copies in R 14, 15, 16;
// 0xFF free, 0xFE the system's (track 0 and the system track), 0xC0 + n the
// last cluster with n sectors used.
constexpr int N88_SYSTEM = 37 * 16;

test_disk n88_2d()
{
    test_disk d = blank_disk(0, "N88");
    for (int r = 0; r < 12; ++r)
        lsn_data(d, 16, N88_SYSTEM + r) = bytes(256, 0xFF);
    bytes fat(256, 0xFF);
    for (int c : {0, 1, 74, 75})
        fat[static_cast<size_t>(c)] = 0xFE;
    for (int copy = 0; copy < 3; ++copy)
        lsn_data(d, 16, N88_SYSTEM + 13 + copy) = fat;
    return d;
}

void set_n88_fat(test_disk& d, int cluster, uint8_t value)
{
    for (int copy = 0; copy < 3; ++copy)
        lsn_data(d, 16, N88_SYSTEM + 13 + copy)[static_cast<size_t>(cluster)] = value;
}

void set_n88_entry(test_disk& d, int index, const std::string& name9, uint8_t attributes, uint8_t start)
{
    bytes& s = lsn_data(d, 16, N88_SYSTEM + index / 16);
    const size_t at = static_cast<size_t>(index % 16) * 16;
    std::copy(name9.begin(), name9.end(), s.begin() + static_cast<long>(at));
    s[at + 9] = attributes;
    s[at + 10] = start;
    std::fill(s.begin() + static_cast<long>(at) + 11, s.begin() + static_cast<long>(at) + 16, 0xFF);
}

// Hu-BASIC 2D: clusters of 16 sectors; the IPL entry at sector 0, the FAT
// at sector 14 (one byte a cluster: 0x00 free, 0x80 + sectors used - 1 for
// the last), the directory in sectors 16-31 (32-byte entries).
test_disk hu_2d()
{
    test_disk d = blank_disk(0, "HU");
    std::fill(lsn_data(d, 16, 0).begin(), lsn_data(d, 16, 0).begin() + 32, 0x00);
    bytes fat(256, 0x00);
    fat[0] = 0x01;
    fat[1] = 0x8F;
    lsn_data(d, 16, 14) = fat;
    for (int lsn = 16; lsn < 32; ++lsn)
        lsn_data(d, 16, lsn) = bytes(256, 0xFF);
    return d;
}

struct hu_entry {
    uint8_t attributes;
    std::string name16;  // 13 + 3
    uint16_t size, load, exec;
    bytes date;          // 6 BCD bytes
    uint16_t start;
};

void set_hu_entry(bytes& sector, size_t at, const hu_entry& e)
{
    sector[at] = e.attributes;
    std::copy(e.name16.begin(), e.name16.end(), sector.begin() + static_cast<long>(at) + 1);
    sector[at + 0x11] = ' ';
    put(sector, at + 0x12, e.size, 2);
    put(sector, at + 0x14, e.load, 2);
    put(sector, at + 0x16, e.exec, 2);
    std::copy(e.date.begin(), e.date.end(), sector.begin() + static_cast<long>(at) + 0x18);
    put(sector, at + 0x1E, e.start, 2);
}

// Sets the file's time to the local time given.
void set_file_time(const std::string& path, int year, int month, int day, int hour, int minute, int second)
{
    std::tm local = {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    utimbuf times = {std::mktime(&local), std::mktime(&local)};
    EXPECT_EQ(utime(path.c_str(), &times), 0) << path;
}

// 80 x 2 x 16 x 256 bytes, the 2DD of N88-BASIC and Hu-BASIC: none of the
// ten standard formats.
test_disk blank_2dd_256()
{
    test_disk dd = blank_disk(0, "DD");
    dd.disk_type = 0x10;
    for (int slot = 80; slot < 160; ++slot) {
        dd.slots.push_back(dd.slots[0]);
        for (test_sector& s : dd.slots.back())
            s.c = static_cast<uint8_t>(slot / 2), s.h = static_cast<uint8_t>(slot % 2);
    }
    return dd;
}

// The disk record the library reads from the test's bytes; null when it
// refuses them.
d88_disk* read_disk(const test_disk& d)
{
    const bytes b = build_disk(d);
    d88_disk* disk = static_cast<d88_disk*>(std::calloc(1, sizeof(d88_disk)));
    if (read_d88_disk_from_buffer(disk, b.data(), static_cast<int32_t>(b.size())) != 0) {
        free_d88_disk(disk, 1);
        return nullptr;
    }
    return disk;
}

run_result d88disk(const temp_dir& dir, std::vector<std::string> args)
{
    return run_in(dir, "d88disk", run_d88disk, std::move(args));
}

// A listing's table line, as ls prints it; the name takes `columns` on a
// terminal (its bytes, unless said).
std::string listed(const std::string& name, const std::string& type, const std::string& attributes, int size,
                   const std::string& start, const std::string& rest = "   -    -", int columns = -1)
{
    char line[160];
    std::snprintf(line, sizeof line, "%s%*s %-5s %-7s %8d %7s %s\n", name.c_str(),
                  17 - (columns < 0 ? static_cast<int>(name.size()) : columns), "", type.c_str(), attributes.c_str(),
                  size, start.c_str(), rest.c_str());
    return line;
}

const std::string HEAD = "NAME              TYPE  ATTR        SIZE CLUSTER LOAD EXEC DATE\n";

}  // namespace

// An N88-BASIC disk laid out by hand: ls lists every file with its type,
// attributes and the size its chain holds, get extracts each.
TEST(Files, ReadsN88Basic)
{
    test_disk d = n88_2d();
    const bytes basic = file_data(2048 + 3 * 256, 1), text = file_data(256, 2), code = file_data(8 * 256, 3);
    set_n88_entry(d, 0, "HELLO BAS", 0x00, 2);
    set_n88_entry(d, 1, "GONE  BAS", 0x00, 9);
    lsn_data(d, 16, N88_SYSTEM)[16] = 0x00;  // deleted
    set_n88_entry(d, 2, "DATA     ", 0x80, 76);
    set_n88_entry(d, 3, "\xB6\xC5    BIN", 0x11, 5);  // カナ, write-protected machine code
    set_n88_fat(d, 2, 3);
    set_n88_fat(d, 3, 0xC3);
    set_n88_fat(d, 76, 0xC1);
    set_n88_fat(d, 5, 0xC8);
    put_sectors(d, 16, 16, basic, 0);
    put_sectors(d, 16, 76 * 8, text, 0);
    put_sectors(d, 16, 5 * 8, code, 0);
    temp_dir dir;
    write_file(dir.file("n88.d88"), build_disk(d));
    EXPECT_EQ(d88disk(dir, {"ls", "n88.d88"}).out,
              "disk 0: N88-BASIC 2D (n88)\n" + HEAD + listed("HELLO.BAS", "bas", "00", 2816, "2") +
                  listed("DATA", "asc", "80", 256, "76") + listed("ｶﾅ.BIN", "bin", "11 W", 2048, "5", "   -    -", 6) +
                  "3 files, " + std::to_string((160 - 4 - 4) * 2048) + " bytes free\n");
    EXPECT_EQ(d88disk(dir, {"get", "n88.d88", "--all", "out"}).status, 0);
    EXPECT_TRUE(read_file(dir.file("out/HELLO.BAS")) == basic);
    EXPECT_TRUE(read_file(dir.file("out/DATA")) == text);
    EXPECT_TRUE(read_file(dir.file("out/ｶﾅ.BIN")) == code);
}

// put and rm on N88-BASIC leave the bytes the layout prescribes: the lowest
// free clusters, the end mark with the sectors used, three identical FAT
// copies, the entry in the first free slot; rm frees exactly the file's
// clusters and marks its entry deleted.  format lays the empty layout.
TEST(Files, WritesN88Basic)
{
    temp_dir dir;
    const bytes blank = build_disk(blank_disk(0, "N88"));
    write_file(dir.file("n88.d88"), blank);
    EXPECT_EQ(d88disk(dir, {"format", "n88.d88", "--fs", "n88"}).out, "wrote n88.d88\n");
    test_disk expected = n88_2d();
    EXPECT_TRUE(read_file(dir.file("n88.d88")) == build_disk(expected));

    const bytes text = file_data(3000, 4);
    write_file(dir.file("hello.txt"), text);
    EXPECT_EQ(d88disk(dir, {"put", "n88.d88", "hello.txt", "--as", "HELLO.ASC", "--type", "asc"}).out,
              "wrote n88.d88\n");
    set_n88_entry(expected, 0, "HELLO ASC", 0x80, 2);
    set_n88_fat(expected, 2, 3);
    set_n88_fat(expected, 3, 0xC0 + 4);
    put_sectors(expected, 16, 16, text, 0x1A);
    EXPECT_TRUE(read_file(dir.file("n88.d88")) == build_disk(expected));

    EXPECT_EQ(d88disk(dir, {"put", "n88.d88", "hello.txt", "--as", "B"}).status, 0);
    EXPECT_EQ(d88disk(dir, {"rm", "n88.d88", "HELLO.ASC"}).out, "wrote n88.d88\n");
    lsn_data(expected, 16, N88_SYSTEM)[0] = 0x00;
    set_n88_fat(expected, 2, 0xFF);
    set_n88_fat(expected, 3, 0xFF);
    set_n88_entry(expected, 1, "B        ", 0x01, 4);
    set_n88_fat(expected, 4, 5);
    set_n88_fat(expected, 5, 0xC4);
    put_sectors(expected, 16, 32, text, 0x00);
    EXPECT_TRUE(read_file(dir.file("n88.d88")) == build_disk(expected));
}

// A Hu-BASIC disk laid out by hand: the IPL entry, a file with its load and
// exec addresses and date, a subdirectory; put and rm leave the layout's
// bytes.
TEST(Files, ReadsAndWritesHuBasic)
{
    test_disk d = hu_2d();
    const bytes boot = file_data(300, 5), game = file_data(5000, 6);
    set_hu_entry(lsn_data(d, 16, 0), 0, {0x01, "BOOT         SYS", 300, 0x0000, 0x0000, {0x00, 0x16, 0x05, 0, 0, 0}, 32});
    set_hu_entry(lsn_data(d, 16, 16), 0, {0x01, "GAME         BIN", 5000, 0x8000, 0x8010, {0x86, 0x34, 0x21, 0x12, 0x30, 0x45}, 2});
    set_hu_entry(lsn_data(d, 16, 16), 32, {0x80, "SUB             ", 0, 0, 0, bytes(6, 0), 4});
    lsn_data(d, 16, 14)[2] = 3;
    lsn_data(d, 16, 14)[3] = 0x80 + 3;  // 4 sectors used
    lsn_data(d, 16, 14)[4] = 0x80;
    put_sectors(d, 16, 32, game, 0);
    temp_dir dir;
    write_file(dir.file("hu.d88"), build_disk(d));
    EXPECT_EQ(d88disk(dir, {"ls", "hu.d88"}).out,
              "disk 0: Hu-BASIC 2D (hu)\n" + HEAD + listed("BOOT.SYS", "ipl", "01", 300, "32", "0000 0000 2000-01-05 00:00") +
                  listed("GAME.BIN", "bin", "01", 5000, "2", "8000 8010 1986-03-21 12:30") +
                  listed("SUB", "dir", "80", 0, "4", "0000 0000") + "3 files, " + std::to_string(75 * 4096) +
                  " bytes free\n");
    EXPECT_EQ(d88disk(dir, {"get", "hu.d88", "GAME.BIN"}).out, "wrote GAME.BIN\n");
    EXPECT_TRUE(read_file(dir.file("GAME.BIN")) == game);

    const bytes code = file_data(4100, 7);
    write_file(dir.file("c.bin"), code);
    set_file_time(dir.file("c.bin"), 2026, 1, 2, 3, 4, 5);
    EXPECT_EQ(d88disk(dir, {"put", "hu.d88", "c.bin", "--as", "ｺｰﾄﾞ.BIN", "--load", "0xC000", "--exec", "0xFFFF"}).out,
              "wrote hu.d88\n");
    set_hu_entry(lsn_data(d, 16, 16), 64, {0x01, "\xBA\xB0\xC4\xDE         BIN", 4100, 0xC000, 0xFFFF,
                                           {0x26, 0x10, 0x02, 0x03, 0x04, 0x05}, 5});
    lsn_data(d, 16, 14)[5] = 6;
    lsn_data(d, 16, 14)[6] = 0x80;  // 1 sector used
    put_sectors(d, 16, 5 * 16, code, 0);
    EXPECT_TRUE(read_file(dir.file("hu.d88")) == build_disk(d));
    EXPECT_EQ(d88disk(dir, {"rm", "hu.d88", "GAME.BIN"}).status, 0);
    lsn_data(d, 16, 16)[0] = 0x00;
    lsn_data(d, 16, 14)[2] = 0x00;
    lsn_data(d, 16, 14)[3] = 0x00;
    EXPECT_TRUE(read_file(dir.file("hu.d88")) == build_disk(d));
    EXPECT_EQ(d88disk(dir, {"rm", "hu.d88", "SUB"}).out,
              "'SUB' is a directory\nerror: delete 'SUB' from disk 0 of 'hu.d88'\n");
}

// format, put and ls on every geometry each file system has; a full disk
// and a full directory refuse put and leave the image as it was.
TEST(Files, EveryGeometryFillsUp)
{
    const test_disk dd = blank_2dd_256();
    const struct {
        std::string fs, format, description;
        int free_bytes, cluster;
    } rows[] = {
        {"n88", "2d", "N88-BASIC 2D", 156 * 2048, 2048},
        {"n88", "dd", "N88-BASIC 2DD", 158 * 4096, 4096},
        {"n88", "2hd1001", "N88-BASIC 2HD", 152 * 6656, 6656},
        {"hu", "2d", "Hu-BASIC 2D", 78 * 4096, 4096},
        {"hu", "dd", "Hu-BASIC 2DD", 158 * 4096, 4096},
        {"hu", "2hd1001", "Hu-BASIC 2HD", 248 * 4096, 4096},
        {"fat12", "2hd1232", "FAT12 PC-98 2HD 1232 KB", 1221 * 1024, 1024},
        {"fat12", "2dd640", "FAT12 PC-98 2DD 640 KB", 634 * 1024, 1024},
        {"fat12", "2dd720", "FAT12 MSX-DOS 2DD 720 KB", 713 * 1024, 1024},
        {"fat12", "2hd1200", "FAT12 2HD 1200 KB", 2371 * 512, 512},
        {"fat12", "2hd1440", "FAT12 2HD 1440 KB", 2847 * 512, 512},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fs + " " + row.format);
        temp_dir dir;
        if (row.format == "dd")
            write_file(dir.file("d.d88"), build_disk(dd));
        else
            EXPECT_EQ(d88disk(dir, {"create", row.format, "d.d88"}).status, 0);
        EXPECT_EQ(d88disk(dir, {"format", "d.d88", "--fs", row.fs}).status, 0);
        const int first = row.fs == "hu" ? 65535 : row.free_bytes - row.cluster;
        write_file(dir.file("a.bin"), file_data(first, 8));
        write_file(dir.file("b.bin"), file_data(row.cluster + 1, 9));
        EXPECT_EQ(d88disk(dir, {"put", "d.d88", "a.bin"}).status, 0);
        const std::string listing = d88disk(dir, {"ls", "d.d88", "--fs", row.fs}).out;
        EXPECT_EQ(listing.substr(0, listing.find('\n')), "disk 0: " + row.description + " (" + row.fs + ")");
        EXPECT_NE(listing.find(row.fs == "fat12" ? "A.BIN" : "a.bin"), std::string::npos) << listing;
        const int left = row.fs == "hu" ? row.free_bytes - 16 * 4096 : row.cluster;
        EXPECT_NE(listing.find("1 file, " + std::to_string(left) + " bytes free"), std::string::npos) << listing;
        const bytes before = read_file(dir.file("d.d88"));
        const run_result full = d88disk(dir, {"put", "d.d88", row.fs == "hu" ? "a.bin" : "b.bin", "--as", "B.BIN"});
        EXPECT_EQ(full.status, row.fs == "hu" ? 0 : 1) << full.out;
        if (row.fs != "hu") {
            EXPECT_NE(full.out.find("the disk is full: 'B.BIN' needs 2 clusters"), std::string::npos) << full.out;
            EXPECT_TRUE(read_file(dir.file("d.d88")) == before);
        }
        EXPECT_EQ(d88disk(dir, {"get", "d.d88", row.fs == "fat12" ? "A.BIN" : "a.bin", "back"}).status, 0);
        EXPECT_TRUE(read_file(dir.file("back")) == file_data(first, 8));
    }
}

// A slot that shares its bytes with the system track's (a fault the reader
// lets pass) does not undo a put.
TEST(Files, SharedTrackOffset)
{
    bytes image = build_disk(n88_2d());
    put(image, 0x20 + 4 * 79, get_le32(image.data() + 0x20 + 4 * 37));
    temp_dir dir;
    write_file(dir.file("s.d88"), image);
    write_file(dir.file("x"), bytes(10, 1));
    EXPECT_EQ(d88disk(dir, {"put", "s.d88", "x"}).status, 0);
    EXPECT_NE(d88disk(dir, {"ls", "s.d88"}).out.find("\n1 file, "), std::string::npos);
}

// Faults of a file system are found by ls and check, and block put and rm;
// names a file system cannot hold are refused.
TEST(Files, FaultsBlockWriting)
{
    test_disk looped = n88_2d();
    set_n88_entry(looped, 0, "LOOP  BIN", 0x01, 2);
    set_n88_fat(looped, 2, 3);
    set_n88_fat(looped, 3, 2);
    test_disk copies = n88_2d();
    lsn_data(copies, 16, N88_SYSTEM + 15)[100] = 0xC1;
    test_disk bad = n88_2d();
    set_n88_entry(bad, 0, "BAD   BIN", 0x01, 2);
    set_n88_fat(bad, 2, 0xC0);  // a last cluster of no sector
    test_disk outside = hu_2d();
    set_hu_entry(lsn_data(outside, 16, 16), 0, {0x01, "FAR          BIN", 10, 0, 0, bytes(6, 0), 90});
    const struct {
        test_disk disk;
        std::string finding;
    } rows[] = {
        {looped, "warning: chain-loop: the chain of 'LOOP.BIN' comes back to cluster 2\n"},
        {copies, "warning: fat-copies: FAT copy 3 differs from copy 1\n"},
        {bad, "warning: chain-range: the chain of 'BAD.BIN' runs from cluster 2 into a value no cluster has\n"},
        {outside, "warning: entry-range: 'FAR.BIN' starts at cluster 90, outside 0 to 79\n"},
    };
    for (const auto& row : rows) {
        temp_dir dir;
        const bytes image = build_disk(row.disk);
        write_file(dir.file("d.d88"), image);
        write_file(dir.file("x"), bytes(10, 1));
        EXPECT_EQ(d88disk(dir, {"ls", "d.d88"}).out.substr(0, row.finding.size()), row.finding);
        const std::string check = d88disk(dir, {"check", "d.d88"}).out;
        EXPECT_NE(check.find("disk 0 "), std::string::npos) << check;
        EXPECT_NE(check.find(row.finding.substr(9)), std::string::npos) << check;
        const run_result put = d88disk(dir, {"put", "d.d88", "x"});
        EXPECT_EQ(put.status, 1);
        EXPECT_NE(put.out.find("(see d88disk check); nothing is changed\nerror: put 'x' on disk 0 of 'd.d88'\n"),
                  std::string::npos) << put.out;
        EXPECT_TRUE(read_file(dir.file("d.d88")) == image);
    }
    temp_dir dir;
    write_file(dir.file("n.d88"), build_disk(n88_2d()));
    test_disk protected_disk = n88_2d();
    protected_disk.write_protect = 0x10;
    write_file(dir.file("p.d88"), build_disk(protected_disk));
    write_file(dir.file("x"), bytes(10, 1));
    const struct {
        std::vector<std::string> args;
        std::string out;
    } names[] = {
        {{"put", "n.d88", "x", "--as", "漢字"}, "illegal name '?\?\?\?': N88-BASIC 2D holds names of 1 to 6 bytes and an extension of up to 3, without the characters it refuses\nerror: put 'x' as '漢字' on disk 0 of 'n.d88'\n"},
        {{"put", "n.d88", "x", "--as", "SEVENXX.BIN"}, "illegal name 'SEVENXX.BIN': N88-BASIC 2D holds names of 1 to 6 bytes and an extension of up to 3\nerror: put 'x' as 'SEVENXX.BIN' on disk 0 of 'n.d88'\n"},
        {{"put", "n.d88", "x", "--as", "✓"}, "error: the name '✓' has a character with no Shift_JIS code\n"},
        {{"put", "n.d88", "x", "--load", "0x100"}, "illegal data: N88-BASIC 2D keeps no load or exec address (or none above 0xFFFF)\nerror: put 'x' on disk 0 of 'n.d88'\n"},
        {{"put", "n.d88", "x", "--type", "exe"}, "error: --type takes bin, bas, asc or file, not 'exe'\n"},
        {{"get", "n.d88", "NONE"}, "file not found: 'NONE'\nerror: read 'NONE' from disk 0 of 'n.d88'\n"},
        {{"ls", "n.d88", "--fs", "hu"}, "illegal data: no Hu-BASIC file system on the disk\nerror: list the files of disk 0 of 'n.d88'\n"},
        {{"format", "n.d88", "--fs", "fat12"}, "illegal data: the disk has not the tracks of a FAT12 disk\nerror: format disk 0 of 'n.d88' as fat12\n"},
        {{"format", "n.d88"}, "error: format needs --fs n88, hu or fat12\n"},
        {{"format", "p.d88", "--fs", "n88"}, "error: disk 0 of 'p.d88' is write-protected (d88disk set --writable lifts it)\n"},
    };
    const auto files = files_below(dir.path);
    for (const auto& row : names) {
        const run_result r = d88disk(dir, row.args);
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(files_below(dir.path) == files);
    }
}

// A directory with no entry left refuses a new file, not a replaced one; a
// format needs every sector of the layout.
TEST(Files, FullDirectory)
{
    d88_disk* disk = create_d88_disk("D", 2);  // FAT12 of 720 KB: 112 root entries
    ASSERT_EQ(format_d88_files(disk, D88_FS_FAT12), 0);
    for (int i = 0; i < 112; ++i)
        EXPECT_EQ(write_d88_file(disk, -1, ("F" + std::to_string(i)).c_str(), nullptr, 0, nullptr), 0);
    EXPECT_EQ(printed_by([&] { EXPECT_EQ(write_d88_file(disk, -1, "LAST", nullptr, 0, nullptr), -1); }),
              "illegal data: the directory is full; 'LAST' has no entry\n");
    const uint8_t data[3] = {1, 2, 3};
    EXPECT_EQ(write_d88_file(disk, -1, "F7", data, 3, nullptr), 0);
    free_d88_disk(disk, 1);
    // Without its first sector a disk takes no file system that starts there.
    disk = create_d88_disk("D", 0);
    disk->track[0].sectors[0].r = 0x77;
    printed_by([&] { EXPECT_EQ(format_d88_files(disk, D88_FS_HU), -1); });
    free_d88_disk(disk, 1);
}

// The library's side: arguments checked first; Hu-BASIC's FAT split into
// low and high bytes on 2DD; FAT12 recognised by its media byte too.
TEST(Files, LibraryContract)
{
    d88_disk* disk = read_disk(blank_2dd_256());
    ASSERT_NE(disk, nullptr);
    const uint8_t data[5000] = {};
    uint8_t* out = nullptr;
    int32_t size = 0;
    d88_file_entry* entries = nullptr;
    const struct {
        std::function<int32_t()> call;
        const char* said;
    } refused[] = {
        {[&] { return list_d88_files(nullptr, -1, &entries, nullptr, nullptr, nullptr); }, "list_d88_files: illegal parameter\n"},
        {[&] { return list_d88_files(disk, 3, &entries, nullptr, nullptr, nullptr); }, "list_d88_files: illegal parameter\n"},
        {[&] { return check_d88_files(disk, -2, nullptr, nullptr); }, "check_d88_files: illegal parameter\n"},
        {[&] { return read_d88_file(disk, -1, nullptr, &out, &size); }, "read_d88_file: illegal parameter\n"},
        {[&] { return write_d88_file(disk, -1, "A", nullptr, 1, nullptr); }, "write_d88_file: illegal parameter\n"},
        {[&] { return write_d88_file(disk, -1, "A", data, -1, nullptr); }, "write_d88_file: illegal parameter\n"},
        {[&] { return write_d88_file(disk, -1, nullptr, data, 1, nullptr); }, "write_d88_file: illegal parameter\n"},
        {[&] {
             const d88_file_options late = {0, -1, -1, 2108, 1, 1, 0, 0, 0};
             return write_d88_file(disk, -1, "A", data, 1, &late);
         },
         "write_d88_file: illegal parameter\n"},
        {[&] { return delete_d88_file(disk, -1, nullptr); }, "delete_d88_file: illegal parameter\n"},
        {[&] { return format_d88_files(disk, -1); }, "format_d88_files: illegal parameter\n"},
        {[&] { return list_d88_directory(disk, -1, nullptr, &entries, nullptr, nullptr, nullptr); }, "list_d88_directory: illegal parameter\n"},
        {[&] { return list_d88_files(disk, -1, &entries, nullptr, nullptr, nullptr); }, "illegal data: no N88-BASIC, Hu-BASIC or FAT12 file system on the disk\n"},
    };
    for (const auto& row : refused)
        EXPECT_EQ(printed_by([&] { EXPECT_EQ(row.call(), -1); }), row.said);

    ASSERT_EQ(format_d88_files(disk, D88_FS_HU), 0);
    ASSERT_EQ(write_d88_file(disk, -1, "A", data, sizeof data, nullptr), 0);
    const bytes low(find_d88_sector(disk, 0, 0, 15)->data, find_d88_sector(disk, 0, 0, 15)->data + 4);
    const bytes high(find_d88_sector(disk, 0, 0, 16)->data, find_d88_sector(disk, 0, 0, 16)->data + 4);
    EXPECT_TRUE(low == bytes({0x01, 0x0F, 0x03, 0x03}));  // 0 -> 1, 1 last of 16, 2 -> 3, 3 last of 4 sectors
    EXPECT_TRUE(high == bytes({0x00, 0x80, 0x00, 0x80}));
    free_d88_disk(disk, 1);

    disk = create_d88_disk("F", 3);
    ASSERT_EQ(format_d88_files(disk, D88_FS_FAT12), 0);
    EXPECT_EQ(find_d88_fs_of_disk(disk), D88_FS_FAT12);
    find_d88_sector(disk, 0, 0, 2)->data[0] = 0xF9;  // not the parameter block's 0xFE
    EXPECT_EQ(find_d88_fs_of_disk(disk), -1);
    free_d88_disk(disk, 1);
}

#ifndef _WIN32
namespace {

int shell(const std::string& command)
{
    return std::system(("(MTOOLS_SKIP_CHECK=1; export MTOOLS_SKIP_CHECK; " + command + ") >/dev/null 2>&1").c_str());
}

}  // namespace

// FAT12 against mtools and fsck.fat: what put writes they read back and
// find sound, long fragmented chains included; what mcopy writes, get
// reads back; a disk mformat made is recognised from its parameter block.
TEST(Files, Fat12AgreesWithMtools)
{
    if (shell("mcopy --version") != 0 || shell("fsck.fat --help; command -v fsck.fat") != 0)
        GTEST_SKIP() << "mtools or dosfstools missing";
    for (const std::string format : {"2hd1232", "2dd720"}) {
        SCOPED_TRACE(format);
        temp_dir dir;
        const std::string raw = dir.file("raw");
        EXPECT_EQ(d88disk(dir, {"create", format, "f.d88"}).status, 0);
        EXPECT_EQ(d88disk(dir, {"format", "f.d88", "--fs", "fat12"}).status, 0);
        const int sizes[] = {1, 1024, 30000, 0, 5000, 70000};
        for (int i = 0; i < 6; ++i) {
            write_file(dir.file("f" + std::to_string(i)), file_data(sizes[i], i));
            EXPECT_EQ(d88disk(dir, {"put", "f.d88", "f" + std::to_string(i), "--as", "F" + std::to_string(i) + ".DAT"}).status, 0);
        }
        EXPECT_EQ(d88disk(dir, {"rm", "f.d88", "F2.DAT"}).status, 0);  // a hole the next file fills, then leaves
        write_file(dir.file("big"), file_data(90000, 7));
        EXPECT_EQ(d88disk(dir, {"put", "f.d88", "big", "--as", "ゲーム.BIN"}).status, 0);
        EXPECT_EQ(d88disk(dir, {"export", "f.d88", "raw"}).status, 0);
        EXPECT_EQ(shell("fsck.fat -n " + raw), 0);
        for (const std::string name : {"F0.DAT", "F1.DAT", "F3.DAT", "F4.DAT", "F5.DAT"}) {
            EXPECT_EQ(shell("mcopy -n -i " + raw + " ::" + name + " " + dir.file("m" + name)), 0) << name;
            EXPECT_TRUE(read_file(dir.file("m" + name)) == file_data(sizes[name[1] - '0'], name[1] - '0')) << name;
        }
        EXPECT_NE(shell("mcopy -n -i " + raw + " ::F2.DAT " + dir.file("gone")), 0);
        fs::create_directories(dir.file("bins"));
        EXPECT_EQ(shell("mcopy -n -i " + raw + " '::*.BIN' " + dir.file("bins")), 0);  // the one of a Japanese name
        const auto bins = files_below(dir.file("bins"));
        ASSERT_EQ(bins.size(), 1u);
        EXPECT_TRUE(bins.begin()->second == file_data(90000, 7));

        // mtools writes; d88disk reads.
        write_file(dir.file("in"), file_data(44444, 9));
        EXPECT_EQ(shell("mcopy -i " + raw + " " + dir.file("in") + " ::FROMM.TXT"), 0);
        EXPECT_EQ(shell("mdel -i " + raw + " ::F4.DAT"), 0);
        EXPECT_EQ(shell("mcopy -i " + raw + " " + dir.file("in") + " '::a long name.txt'"), 0);
        EXPECT_EQ(shell("mmd -i " + raw + " ::SUB ::SUB/DEEP"), 0);
        EXPECT_EQ(shell("mcopy -i " + raw + " " + dir.file("in") + " ::SUB/DEEP/IN.TXT"), 0);
        EXPECT_EQ(d88disk(dir, {"import", format, "raw", "back.d88"}).status, 0);
        EXPECT_EQ(d88disk(dir, {"get", "back.d88", "fromm.txt", "got"}).status, 0);
        EXPECT_TRUE(read_file(dir.file("got")) == file_data(44444, 9));
        const std::string listing = d88disk(dir, {"ls", "back.d88"}).out;
        EXPECT_EQ(listing.find("F4.DAT"), std::string::npos) << listing;
        EXPECT_NE(listing.find("ゲーム.BIN"), std::string::npos) << listing;
        // Subdirectories are entered for reading; nothing is written there.
        const std::string deep = d88disk(dir, {"ls", "back.d88", "sub/deep"}).out;
        EXPECT_NE(deep.find("\nIN.TXT            file  20 A       44444"), std::string::npos) << deep;
        EXPECT_EQ(d88disk(dir, {"get", "back.d88", "SUB/DEEP/IN.TXT", "deep"}).status, 0);
        EXPECT_TRUE(read_file(dir.file("deep")) == file_data(44444, 9));
        EXPECT_EQ(d88disk(dir, {"rm", "back.d88", "SUB/DEEP/IN.TXT"}).out,
                  "illegal data: files are added and deleted in the root directory alone\n"
                  "error: delete 'SUB/DEEP/IN.TXT' from disk 0 of 'back.d88'\n");
        EXPECT_EQ(d88disk(dir, {"ls", "back.d88", "SUB/NONE"}).out,
                  "no directory 'NONE'\nerror: list the files of disk 0 of 'back.d88'\n");
        // The long name's entries are neither listed nor taken by a new
        // file, and go with their file.
        EXPECT_EQ(d88disk(dir, {"put", "back.d88", "in", "--as", "NEW.TXT"}).status, 0);
        EXPECT_EQ(d88disk(dir, {"export", "back.d88", "raw2"}).status, 0);
        EXPECT_EQ(shell("fsck.fat -n " + dir.file("raw2")), 0);
        EXPECT_EQ(shell("mcopy -n -i " + dir.file("raw2") + " '::a long name.txt' " + dir.file("long")), 0);
        EXPECT_TRUE(read_file(dir.file("long")) == file_data(44444, 9));
        EXPECT_EQ(d88disk(dir, {"rm", "back.d88", "ALONGN~1.TXT"}).status, 0);
        EXPECT_EQ(d88disk(dir, {"export", "back.d88", "raw3"}).status, 0);
        EXPECT_EQ(shell("fsck.fat -n " + dir.file("raw3")), 0);
        EXPECT_NE(shell("mdir -i " + dir.file("raw3") + " '::a long name.txt'"), 0);
    }
    temp_dir dir;
    EXPECT_EQ(shell("mformat -C -i " + dir.file("m.img") + " -f 720 ::"), 0);
    EXPECT_EQ(shell("mcopy -i " + dir.file("m.img") + " /dev/null ::EMPTY.TXT"), 0);
    EXPECT_EQ(d88disk(dir, {"import", "2dd720", "m.img", "m.d88"}).status, 0);
    const run_result ls = d88disk(dir, {"ls", "m.d88"});
    EXPECT_EQ(ls.status, 0);
    const std::string empty = listed("EMPTY.TXT", "file", "20 A", 0, "-", "");
    EXPECT_NE(ls.out.find(empty.substr(0, empty.size() - 2)), std::string::npos) << ls.out;
}
#endif
