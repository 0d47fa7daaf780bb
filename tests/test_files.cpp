// The files inside the disks, through d88disk in-process.  N88-BASIC and
// Hu-BASIC disks are laid out here byte by byte from their published
// layouts, never with the code under test, and Hu-BASIC is read from disks
// another implementation wrote; FAT12 images go through mtools and
// fsck.fat, readers and writers of their own.
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
#include "platform.h"
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

// Lines of text, ending in CR as the machines' do.
bytes text_data(int size)
{
    bytes b(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i)
        b[static_cast<size_t>(i)] = static_cast<uint8_t>(i % 40 == 39 ? '\r' : 'A' + i % 26);
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

// Every sector filled with `fill` (0xFF: as a format leaves it), then the
// empty file system.
test_disk n88_2d(uint8_t fill = 0xE5)
{
    test_disk d = blank_disk(0, "N88");
    for (test_track& track : d.slots)
        for (test_sector& sector : track)
            sector.data = bytes(256, fill);
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

// Hu-BASIC, as published: sectors numbered from C 0 H 0 R 1 as 0, head 0
// before head 1; clusters of 16 sectors from sector 0 (across tracks of
// 26); the IPL entry at sector 0.  FAT sector c / 128 holds cluster c's
// entry: byte c % 128 its low 7 bits and in bit 7 the last-cluster mark
// (low 4 bits: sectors used - 1), byte c % 128 + 0x80 its bits 7 and up.
// A format: cluster 0 0x01, the system's others and those the disk has not
// 0x8F, the directory 0xFF.  Entries of 32 bytes: attributes, name 13,
// extension 3, password, size, load, exec, date (BCD year, month << 4 |
// weekday, BCD day, hour, minute), first cluster (bits 14 up at 0x1D, 0-6
// at 0x1E, 7-13 at 0x1F).
struct hu_medium {
    std::string format;  // a standard format's name, or "dd" (80 x 2 x 16 x 256)
    int sectors, fat_lsn, fat_sectors, dir_lsn, clusters, system;
};

const hu_medium HU_2D = {"2d", 16, 14, 1, 16, 80, 2};
const hu_medium HU_MEDIA[] = {HU_2D, {"dd", 16, 14, 2, 16, 160, 2}, {"2hd1001", 26, 28, 2, 32, 250, 3}};

test_disk blank_2dd_256();

test_disk hu_blank(const hu_medium& m)
{
    return m.format == "dd" ? blank_2dd_256() : blank_disk(m.format == "2d" ? 0 : 9, "HU");
}

test_disk hu_formatted(const hu_medium& m)
{
    test_disk d = hu_blank(m);
    for (int s = 0; s < m.fat_sectors; ++s) {
        bytes fat(256, 0x00);
        for (int i = 0; i < 128; ++i) {
            const int c = s * 128 + i;
            if (c < m.system || c >= m.clusters)
                fat[static_cast<size_t>(i)] = 0x8F;
        }
        if (s == 0)
            fat[0] = 0x01;
        lsn_data(d, m.sectors, m.fat_lsn + s) = fat;
    }
    for (int lsn = m.dir_lsn; lsn < m.dir_lsn + 16; ++lsn)
        lsn_data(d, m.sectors, lsn) = bytes(256, 0xFF);
    return d;
}

test_disk hu_2d()
{
    return hu_formatted(HU_2D);
}

// Cluster c's FAT entry: the next cluster, or with `last` the sectors used.
void set_hu_fat(test_disk& d, const hu_medium& m, int c, int value, bool last = false)
{
    bytes& fat = lsn_data(d, m.sectors, m.fat_lsn + c / 128);
    fat[static_cast<size_t>(c % 128)] = static_cast<uint8_t>(last ? 0x80 | (value - 1) : value & 0x7F);
    fat[static_cast<size_t>(c % 128 + 0x80)] = static_cast<uint8_t>(last ? 0 : value >> 7);
}

struct hu_entry {
    uint8_t attributes;
    std::string name16;  // 13 + 3
    uint16_t size, load, exec;
    bytes date;          // 5 bytes
    int start;
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
    sector[at + 0x1D] = static_cast<uint8_t>(e.start >> 14);
    sector[at + 0x1E] = static_cast<uint8_t>(e.start & 0x7F);
    sector[at + 0x1F] = static_cast<uint8_t>(e.start >> 7 & 0x7F);
}

// The file at data stored from cluster `first` on as the layout lays it:
// consecutive clusters, the last sector padded with 0x00.
void put_hu_file(test_disk& d, const hu_medium& m, int first, const bytes& data)
{
    const int clusters = std::max(1, static_cast<int>((data.size() + 4095) / 4096));
    for (int c = first; c < first + clusters - 1; ++c)
        set_hu_fat(d, m, c, c + 1);
    const int tail = static_cast<int>(data.size()) - (clusters - 1) * 4096;
    set_hu_fat(d, m, first + clusters - 1, std::max(1, (tail + 255) / 256), true);
    put_sectors(d, m.sectors, first * 16, data, 0x00);
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
    set_n88_entry(d, 2, "DATA  A  ", 0x80, 76);
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
                  listed("DATA.A", "asc", "80", 256, "76") + listed("ｶﾅ.BIN", "bin", "11 W", 2048, "5", "   -    -", 6) +
                  "3 files, " + std::to_string((160 - 4 - 4) * 2048) + " bytes free\n");
    EXPECT_EQ(d88disk(dir, {"get", "n88.d88", "--all", "out"}).status, 0);
    EXPECT_TRUE(read_file(dir.file("out/HELLO.BAS")) == basic);
    EXPECT_TRUE(read_file(dir.file("out/DATA.A")) == text);
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
    test_disk expected = n88_2d(0xFF);
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
// exec addresses and date, a text file stored as the machine stores one
// (size 0, its text to 0x1A), a subdirectory; get gives each file its
// date; put and rm leave the layout's bytes.
TEST(Files, ReadsAndWritesHuBasic)
{
    test_disk d = hu_2d();
    const bytes game = file_data(5000, 6), text = text_data(4100);
    set_hu_entry(lsn_data(d, 16, 0), 0, {0x01, "BOOT         SYS", 300, 0x0000, 0x0000, {0x00, 0x16, 0x05, 0, 0}, 32});
    set_hu_entry(lsn_data(d, 16, 16), 0, {0x01, "GAME         BIN", 5000, 0x8000, 0x8010, {0x86, 0x35, 0x21, 0x12, 0x30}, 2});
    set_hu_entry(lsn_data(d, 16, 16), 32, {0x80, "SUB             ", 0, 0, 0, {0x80, 0x12, 0x01, 0, 0}, 4});
    const std::string zero_padded("READ\0\0\0\0\0\0\0\0\0ME\0", 16);  // as some programs pad names
    set_hu_entry(lsn_data(d, 16, 16), 64, {0x04, zero_padded, 0, 0, 0, {0x79, 0xC0, 0x31, 0x23, 0x59}, 5});
    put_hu_file(d, HU_2D, 2, game);
    set_hu_fat(d, HU_2D, 4, 1, true);
    bytes marked = text;
    marked.push_back(0x1A);
    put_hu_file(d, HU_2D, 5, marked);
    temp_dir dir;
    write_file(dir.file("hu.d88"), build_disk(d));
    EXPECT_EQ(d88disk(dir, {"ls", "hu.d88"}).out,
              "disk 0: Hu-BASIC 2D (hu)\n" + HEAD + listed("BOOT.SYS", "ipl", "01", 300, "32", "0000 0000 2000-01-05 00:00") +
                  listed("GAME.BIN", "bin", "01", 5000, "2", "8000 8010 1986-03-21 12:30") +
                  listed("SUB", "dir", "80", 0, "4", "0000 0000 1980-01-01 00:00") +
                  listed("READ.ME", "asc", "04", 4100, "5", "0000 0000 2079-12-31 23:59") + "4 files, " +
                  std::to_string(73 * 4096) + " bytes free\n");
    EXPECT_EQ(d88disk(dir, {"get", "hu.d88", "--all", "all"}).out, "wrote all/GAME.BIN\nwrote all/READ.ME\n");
    EXPECT_TRUE(read_file(dir.file("all/GAME.BIN")) == game);
    EXPECT_TRUE(read_file(dir.file("all/READ.ME")) == text);
    fs::remove(dir.file("all/READ.ME"));  // a file that cannot come out leaves the others to
    const run_result again = d88disk(dir, {"get", "hu.d88", "--all", "all"});
    EXPECT_EQ(again.out, "'all/GAME.BIN' already exists (give --overwrite to replace it)\nwrote all/READ.ME\n");
    EXPECT_EQ(again.status, 1);
    int time[6];
    ASSERT_TRUE(get_file_time(dir.file("all/READ.ME").c_str(), time));
    EXPECT_EQ(std::vector<int>(time, time + 6), std::vector<int>({2079, 12, 31, 23, 59, 0}));
    EXPECT_EQ(d88disk(dir, {"get", "hu.d88", "GAME.BIN"}).out, "wrote GAME.BIN\n");
    ASSERT_TRUE(get_file_time(dir.file("GAME.BIN").c_str(), time));
    EXPECT_EQ(std::vector<int>(time, time + 6), std::vector<int>({1986, 3, 21, 12, 30, 0}));
    // into a folder, as cp writes: one there, or a name ending with a slash
    EXPECT_EQ(d88disk(dir, {"get", "hu.d88", "GAME.BIN", "all"}).out, "'all/GAME.BIN' already exists (give --overwrite to replace it)\n");
    EXPECT_EQ(d88disk(dir, {"get", "hu.d88", "READ.ME", "all/", "--overwrite"}).out, "wrote all/READ.ME\n");
    EXPECT_EQ(d88disk(dir, {"get", "hu.d88", "READ.ME", "none/"}).out,
              "open error 'none/READ.ME'\nerror: cannot write 'none/READ.ME': no such folder\n");

    const bytes code = file_data(4100, 7);
    write_file(dir.file("c.bin"), code);
    set_file_time(dir.file("c.bin"), 2026, 1, 2, 3, 4, 5);
    EXPECT_EQ(d88disk(dir, {"put", "hu.d88", "c.bin", "--as", "ｺｰﾄﾞ.BIN", "--load", "0xC000", "--exec", "0xFFFF"}).out,
              "wrote hu.d88\n");
    set_hu_entry(lsn_data(d, 16, 16), 96, {0x01, "\xBA\xB0\xC4\xDE         BIN", 4100, 0xC000, 0xFFFF,
                                           {0x26, 0x15, 0x02, 0x03, 0x04}, 7});  // a Friday
    put_hu_file(d, HU_2D, 7, code);
    EXPECT_TRUE(read_file(dir.file("hu.d88")) == build_disk(d));
    EXPECT_EQ(d88disk(dir, {"rm", "hu.d88", "GAME.BIN"}).status, 0);
    lsn_data(d, 16, 16)[0] = 0x00;
    lsn_data(d, 16, 14)[2] = 0x00;
    lsn_data(d, 16, 14)[3] = 0x00;
    EXPECT_TRUE(read_file(dir.file("hu.d88")) == build_disk(d));
    EXPECT_EQ(d88disk(dir, {"rm", "hu.d88", "SUB"}).out,
              "'SUB' is a directory\nerror: delete 'SUB' from disk 0 of 'hu.d88'\n");

    // a minute, an hour or a day no clock or calendar has: no date
    for (const bytes& date : {bytes{0x80, 0x12, 0x01, 0x23, 0x60}, bytes{0x80, 0x12, 0x01, 0x24, 0x00}, bytes{0x80, 0x12, 0x32, 0, 0}}) {
        test_disk odd = hu_2d();
        set_hu_entry(lsn_data(odd, 16, 16), 0, {0x01, "ODD          BIN", 0, 0, 0, date, 2});
        write_file(dir.file("odd.d88"), build_disk(odd));
        EXPECT_NE(d88disk(dir, {"ls", "odd.d88"}).out.find(listed("ODD.BIN", "bin", "01", 0, "2", "0000 0000")), std::string::npos);
    }
    test_disk gap = hu_2d();  // a free cluster with a sector missing is passed over, and not counted free
    gap.slots[2].pop_back();
    write_file(dir.file("gap.d88"), build_disk(gap));
    EXPECT_EQ(d88disk(dir, {"put", "gap.d88", "c.bin", "--date", "none"}).status, 0);
    EXPECT_EQ(d88disk(dir, {"ls", "gap.d88"}).out, "disk 0: Hu-BASIC 2D (hu)\n" + HEAD +
                                                       listed("c.bin", "bin", "01", 4100, "3", "0000 0000") + "1 file, " +
                                                       std::to_string(75 * 4096) + " bytes free\n");
}

// On each medium, format and put leave exactly the published layout, laid
// out here from its table: the FAT's split entries beyond cluster 127, the
// first cluster's parts in the entry, the 2HD directory behind cluster 2,
// a text file ending in 0x1A; and get reads the files back from it.
TEST(Files, HuBasicOnEveryMedium)
{
    for (const hu_medium& m : HU_MEDIA) {
        SCOPED_TRACE(m.format);
        temp_dir dir;
        write_file(dir.file("h.d88"), build_disk(hu_blank(m)));
        EXPECT_EQ(d88disk(dir, {"format", "h.d88", "--fs", "hu"}).out, "wrote h.d88\n");
        test_disk expected = hu_formatted(m);
        EXPECT_TRUE(read_file(dir.file("h.d88")) == build_disk(expected));
        const int files = m.clusters > 128 ? 9 : 4;  // past cluster 127 where there is one
        int cluster = m.system;
        for (int i = 0; i < files; ++i) {
            const std::string name = "F" + std::to_string(i) + ".BIN";
            const bytes data = file_data(61440 - i, i);
            write_file(dir.file(name), data);
            EXPECT_EQ(d88disk(dir, {"put", "h.d88", name, "--date", "1980-01-01T00:00", "--load", "0x100"}).status, 0);
            set_hu_entry(lsn_data(expected, m.sectors, m.dir_lsn + i / 8), static_cast<size_t>(i % 8) * 32,
                         {0x01, "F" + std::to_string(i) + "           BIN", static_cast<uint16_t>(data.size()), 0x100, 0,
                          {0x80, 0x12, 0x01, 0x00, 0x00}, cluster});  // a Tuesday
            put_hu_file(expected, m, cluster, data);
            cluster += 15;
        }
        const bytes text = {'1', '0', ' ', 'E', 'N', 'D', '\r'};
        write_file(dir.file("t.txt"), text);
        EXPECT_EQ(d88disk(dir, {"put", "h.d88", "t.txt", "--as", "T.ASC", "--type", "asc", "--date", "none"}).status, 0);
        set_hu_entry(lsn_data(expected, m.sectors, m.dir_lsn + files / 8), static_cast<size_t>(files % 8) * 32,
                     {0x04, "T            ASC", 0, 0, 0, bytes(5, 0), cluster});
        bytes marked = text;
        marked.push_back(0x1A);
        put_hu_file(expected, m, cluster, marked);
        EXPECT_TRUE(read_file(dir.file("h.d88")) == build_disk(expected));
        EXPECT_EQ(d88disk(dir, {"get", "h.d88", "--all", "out"}).status, 0);
        EXPECT_TRUE(read_file(dir.file("out/T.ASC")) == text);
        EXPECT_TRUE(read_file(dir.file("out/F" + std::to_string(files - 1) + ".BIN")) ==
                    file_data(61440 - files + 1, files - 1));
        EXPECT_NE(d88disk(dir, {"ls", "h.d88"}).out.find(listed("T.ASC", "asc", "04", 7, std::to_string(cluster), "0000 0000")),
                  std::string::npos);
    }
}

// Disks another implementation formatted and filled on each medium: every
// file listed with its size and date, and extracted to exactly its bytes.
TEST(Files, HuBasicDisksWrittenElsewhere)
{
    const std::string fixtures = VORKAST_HU_FIXTURES;
    if (!fs::exists(fixtures + "/files/SHORT.BIN"))
        GTEST_SKIP() << "no fixtures at " << fixtures;
    const std::vector<std::string> all = {"PART0", "PART1", "PART2", "PART3", "PART4", "PART5", "PART6",
                                          "PART7", "PART8", "SHORT", "TAIL", "TWO"};
    for (const std::string medium : {"2d", "2dd", "2hd"}) {
        SCOPED_TRACE(medium);
        temp_dir dir;
        const std::string image = fixtures + "/hu-" + medium + ".d88";
        const std::string listing = d88disk(dir, {"ls", image}).out;
        const auto held = medium == "2d" ? std::vector<std::string>({"SHORT", "TWO", "TAIL", "PART0", "PART1", "PART2", "PART3"})
                                         : all;
        for (const std::string& name : held) {
            const bytes want = read_file(fixtures + "/files/" + name + ".BIN");
            char line[64];
            std::snprintf(line, sizeof line, "\n%-17s bin   01      %8zu ", (name + ".BIN").c_str(), want.size());
            EXPECT_NE(listing.find(line), std::string::npos) << listing;
        }
        EXPECT_NE(listing.find(std::to_string(held.size()) + " files, "), std::string::npos) << listing;
        EXPECT_NE(listing.find(" 2026-12-07 17:54\n"), std::string::npos) << listing;
        EXPECT_EQ(d88disk(dir, {"get", image, "--all", "out"}).status, 0);
        const auto out = files_below(dir.file("out"));
        EXPECT_EQ(out.size(), held.size());
        for (const std::string& name : held)
            EXPECT_TRUE(out.at(name + ".BIN") == read_file(fixtures + "/files/" + name + ".BIN")) << name;
    }
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
        {"hu", "2hd1001", "Hu-BASIC 2HD", 247 * 4096, 4096},
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
    set_hu_entry(lsn_data(outside, 16, 16), 0, {0x01, "FAR          BIN", 10, 0, 0, bytes(5, 0), 90});
    test_disk stray = hu_2d();  // a last cluster's entry with bits no count has
    set_hu_entry(lsn_data(stray, 16, 16), 0, {0x01, "ODD          BIN", 10, 0, 0, bytes(5, 0), 2});
    lsn_data(stray, 16, 14)[2] = 0x90;
    test_disk high = hu_2d();  // a high part in a last cluster's entry
    set_hu_entry(lsn_data(high, 16, 16), 0, {0x01, "TOP          BIN", 10, 0, 0, bytes(5, 0), 2});
    lsn_data(high, 16, 14)[2] = 0x80;
    lsn_data(high, 16, 14)[0x82] = 0x01;
    test_disk crossed = hu_2d();
    set_hu_entry(lsn_data(crossed, 16, 16), 0, {0x01, "ONE          BIN", 10, 0, 0, bytes(5, 0), 2});
    set_hu_entry(lsn_data(crossed, 16, 16), 32, {0x01, "TWO          BIN", 10, 0, 0, bytes(5, 0), 2});
    lsn_data(crossed, 16, 14)[2] = 0x80;
    const struct {
        test_disk disk;
        std::string finding;
    } rows[] = {
        {looped, "warning: chain-loop: the chain of 'LOOP.BIN' comes back to cluster 2\n"},
        {copies, "warning: fat-copies: FAT copy 3 differs from copy 1\n"},
        {bad, "warning: chain-range: the chain of 'BAD.BIN' runs from cluster 2 into a value no cluster has\n"},
        {outside, "warning: entry-range: 'FAR.BIN' starts at cluster 90, outside 0 to 79\n"},
        {stray, "warning: chain-range: the chain of 'ODD.BIN' runs from cluster 2 into a value no cluster has\n"},
        {high, "warning: chain-range: the chain of 'TOP.BIN' runs from cluster 2 into a value no cluster has\n"},
        {crossed, "warning: cross-link: 'TWO.BIN' runs into cluster 2 of 'ONE.BIN'\n"},
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
    write_file(dir.file("h.d88"), build_disk(hu_2d()));
    test_disk held = n88_2d();
    set_n88_entry(held, 0, "HELD  BIN", 0x01, 2);
    set_n88_fat(held, 2, 0xC1);
    write_file(dir.file("f.d88"), build_disk(held));
    write_file(dir.file("t"), bytes({'a', 'b', 0x1A, 'c'}));
    write_file(dir.file("big"), bytes(65536, 1));
    test_disk both = hu_2d();  // N88-BASIC's FAT copies on its system track too
    for (int copy = 0; copy < 3; ++copy)
        lsn_data(both, 16, N88_SYSTEM + 13 + copy) = lsn_data(held, 16, N88_SYSTEM + 13 + copy);
    write_file(dir.file("both.d88"), build_disk(both));
    test_disk protected_disk = n88_2d();
    protected_disk.write_protect = 0x10;
    write_file(dir.file("p.d88"), build_disk(protected_disk));
    write_file(dir.file("x"), bytes(10, 1));
    const struct {
        std::vector<std::string> args;
        std::string out;
    } names[] = {
        {{"put", "n.d88", "x", "--as", "漢字"}, "illegal name '?\?\?\?': N88-BASIC 2D holds names of 1 to 6 bytes and an extension of up to 3, without the characters it refuses\nerror: put 'x' as '漢字' on disk 0 of 'n.d88'\n"},
        {{"put", "n.d88", "x", "--as", "A\x7F"}, "illegal name 'A?': N88-BASIC 2D holds names of 1 to 6 bytes and an extension of up to 3, without the characters it refuses\nerror: put 'x' as 'A\x7F' on disk 0 of 'n.d88'\n"},
        {{"put", "n.d88", "x", "--as", "SEVENXX.BIN"}, "illegal name 'SEVENXX.BIN': N88-BASIC 2D holds names of 1 to 6 bytes and an extension of up to 3\nerror: put 'x' as 'SEVENXX.BIN' on disk 0 of 'n.d88'\n"},
        {{"put", "n.d88", "x", "--as", "✓"}, "error: the name '✓' has a character with no Shift_JIS code\n"},
        {{"put", "n.d88", "x", "--load", "0x100"}, "illegal data: N88-BASIC 2D keeps no load or exec address (or none above 0xFFFF)\nerror: put 'x' on disk 0 of 'n.d88'\n"},
        {{"put", "n.d88", "x", "--type", "exe"}, "error: --type takes bin, bas, asc or file, not 'exe'\n"},
        {{"put", "f.d88", "x", "--as", "HELD.BIN", "--type", "bas"}, "error: disk 0 of 'f.d88' already holds 'HELD.BIN' (bin, 256 bytes); --overwrite replaces it\n"},
        {{"put", "n.d88", "x", "--date", "2026-02-29"}, "error: --date takes YYYY-MM-DD[THH:MM[:SS]], a day from 1900 to 2107, or none; not '2026-02-29'\n"},
        {{"put", "h.d88", "x", "--date", "1979-12-31T23:59"}, "illegal data: Hu-BASIC 2D keeps the years 1980 to 2079, not 1979\nerror: put 'x' on disk 0 of 'h.d88'\n"},
        {{"put", "h.d88", "x", "--date", "2080-01-01"}, "illegal data: Hu-BASIC 2D keeps the years 1980 to 2079, not 2080\nerror: put 'x' on disk 0 of 'h.d88'\n"},
        {{"put", "h.d88", "t", "--type", "asc"}, "illegal data: 't' holds the end mark 0x1A at byte 2: a text ends at its first\nerror: put 't' on disk 0 of 'h.d88'\n"},
        {{"put", "h.d88", "x", "--as", "LONG-NAME-OF-14.BIN"}, "illegal name 'LONG-NAME-OF-14.BIN': Hu-BASIC 2D holds names of 1 to 13 bytes and an extension of up to 3\nerror: put 'x' as 'LONG-NAME-OF-14.BIN' on disk 0 of 'h.d88'\n"},
        {{"get", "n.d88", "NONE"}, "file not found: 'NONE'\nerror: read 'NONE' from disk 0 of 'n.d88'\n"},
        {{"ls", "n.d88", "--fs", "hu"}, "illegal data: no Hu-BASIC file system on the disk\nerror: list the files of disk 0 of 'n.d88'\n"},
        {{"ls", "h.d88", "SUB"}, "illegal data: Hu-BASIC 2D's subdirectories are not entered\nerror: list the files of disk 0 of 'h.d88'\n"},
        {{"ls", "both.d88"}, "illegal data: several file systems fit the disk; name one\nerror: list the files of disk 0 of 'both.d88'\n"},
        {{"put", "h.d88", "big"}, "illegal data: Hu-BASIC 2D holds files of up to 65535 bytes, not 65536\nerror: put 'big' on disk 0 of 'h.d88'\n"},
        {{"put", "h.d88", "x", "--load", "0", "--exec", "0x10000"}, "illegal data: Hu-BASIC 2D keeps no load or exec address (or none above 0xFFFF)\nerror: put 'x' on disk 0 of 'h.d88'\n"},
        {{"format", "n.d88", "--fs", "fat12"}, "illegal data: the disk's tracks are those of no FAT12 disk\nerror: format disk 0 of 'n.d88' as fat12\n"},
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
    d88_disk_contents contents;
    char name[24];
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
        {[&] { return find_d88_file(disk, -1, nullptr, nullptr); }, "find_d88_file: illegal parameter\n"},
        {[&] { return make_d88_file_name(disk, 3, "A", 0, name); }, "make_d88_file_name: illegal parameter\n"},
        {[&] { return find_d88_disk_contents(nullptr, &contents); }, "find_d88_disk_contents: illegal parameter\n"},
        {[&] { return write_d88_file(disk, -2, "A", data, 1, nullptr); }, "write_d88_file: illegal parameter\n"},
        {[&] { return list_d88_files(disk, -1, &entries, nullptr, nullptr, nullptr); }, "illegal data: no N88-BASIC, Hu-BASIC or FAT12 file system on the disk\n"},
    };
    for (const auto& row : refused)
        EXPECT_EQ(printed_by([&] { EXPECT_EQ(row.call(), -1); }), row.said);

    ASSERT_EQ(format_d88_files(disk, D88_FS_HU), 0);
    EXPECT_EQ(d88_fs_format_fill(D88_FS_N88), 0xFF);
    EXPECT_EQ(d88_fs_format_fill(D88_FS_HU), 0xE5);
    EXPECT_EQ(d88_fs_format_fill(3), -1);
    const d88_file_options typed = {D88_TYPE_DIRECTORY, -1, -1, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(printed_by([&] { EXPECT_EQ(write_d88_file(disk, -1, "D", data, 1, &typed), -1); }),
              "illegal data: Hu-BASIC 2DD keeps no such file type\n");
    EXPECT_EQ(make_d88_file_name(disk, -1, "AB\x81.BIN", 1, name), 0);  // a lone first byte before the dot is a byte
    EXPECT_STREQ(name, "AB\x81.BIN");
    EXPECT_EQ(printed_by([&] { EXPECT_EQ(find_d88_file(disk, -1, "FOURTEEN-BYTES.BIN", nullptr), -1); }),
              "illegal name 'FOURTEEN-BYTES.BIN': Hu-BASIC 2DD holds names of 1 to 13 bytes and an extension of up to 3\n");
    ASSERT_EQ(write_d88_file(disk, -1, "A", data, sizeof data, nullptr), 0);
    const uint8_t* fat = find_d88_sector(disk, 0, 0, 15)->data;
    EXPECT_TRUE(bytes(fat, fat + 4) == bytes({0x01, 0x8F, 0x03, 0x83}));  // 0 -> 1, 1 last of 16, 2 -> 3, 3 last of 4
    EXPECT_TRUE(bytes(fat + 0x80, fat + 0x84) == bytes(4, 0x00));
    free_d88_disk(disk, 1);

    disk = create_d88_disk("N", 0);
    EXPECT_EQ(find_d88_disk_contents(disk, &contents), 0);  // blank
    EXPECT_EQ(std::vector<int32_t>({contents.fs, contents.files, contents.sectors, contents.c, contents.h, contents.r}),
              std::vector<int32_t>({-1, -1, 0, -1, -1, -1}));
    // N88-BASIC keeps no date: any of the calendar passes.
    ASSERT_EQ(format_d88_files(disk, D88_FS_N88), 0);
    const d88_file_options y1900 = {0, -1, -1, 1900, 1, 1, 0, 0, 0};
    EXPECT_EQ(write_d88_file(disk, -1, "OLD", data, 1, &y1900), 0);
    free_d88_disk(disk, 1);

    disk = create_d88_disk("F", 3);
    ASSERT_EQ(format_d88_files(disk, D88_FS_FAT12), 0);
    EXPECT_EQ(find_d88_fs_of_disk(disk), D88_FS_FAT12);
    EXPECT_EQ(make_d88_file_name(disk, -1, "\xE0\x5C\xE0\x61.txt", 0, name), 0);  // double bytes from 0xE0 on
    EXPECT_STREQ(name, "\xE0\x5C\xE0\x61.TXT");
    find_d88_sector(disk, 0, 0, 2)->data[0] = 0xF9;  // not the parameter block's 0xFE
    EXPECT_EQ(find_d88_fs_of_disk(disk), -1);
    free_d88_disk(disk, 1);
}

namespace {

// The data of every sector of the image at path, as the reader gives them.
bytes sector_data(const std::string& path)
{
    d88_image image = {};
    bytes out;
    EXPECT_EQ(read_d88_image_file(&image, path.c_str()), 1) << path;
    for (const d88_disk* disk = image.disks; disk != nullptr; disk = disk->next)
        for (const d88_track& track : disk->track)
            for (int32_t i = 0; i < track.count; ++i)
                out.insert(out.end(), track.sectors[i].data, track.sectors[i].data + track.sectors[i].data_size);
    free_d88_image(&image, 0);
    return out;
}

}  // namespace

// format refuses a disk that holds anything, saying what, and changes
// nothing; --force formats it as a blank disk of its geometry formats, so
// that one file system alone fits it.  A blank disk and an empty file
// system take a format without it.
TEST(Files, FormatRefusesWhatADiskHolds)
{
    temp_dir dir;
    EXPECT_EQ(d88disk(dir, {"sample", "s"}).status, 0);
    EXPECT_EQ(d88disk(dir, {"create", "2hd1232", "f.d88"}).status, 0);
    EXPECT_EQ(d88disk(dir, {"format", "f.d88", "--fs", "fat12"}).status, 0);
    write_file(dir.file("x"), bytes(10, 1));
    EXPECT_EQ(d88disk(dir, {"put", "f.d88", "x"}).status, 0);
    test_disk hu = hu_2d();
    set_hu_entry(lsn_data(hu, 16, 16), 0, {0x01, "A            BIN", 1, 0, 0, bytes(5, 0), 2});
    set_hu_entry(lsn_data(hu, 16, 16), 32, {0x01, "B            BIN", 1, 0, 0, bytes(5, 0), 3});
    set_hu_fat(hu, HU_2D, 2, 1, true);
    set_hu_fat(hu, HU_2D, 3, 1, true);
    write_file(dir.file("h.d88"), build_disk(hu));
    test_disk one = blank_disk(0, "");
    one.slots[0][4].data[100] = 0x00;
    write_file(dir.file("one.d88"), build_disk(one));
    const struct {
        std::string image, fs, blank, refusal;
    } rows[] = {
        {"one.d88", "hu", "2d", "holds data in 1 sector (the first C 0 H 0 R 5) and no file system d88disk knows; format erases it"},
        {"s/GAME.D88", "n88", "2d", "holds data in 1280 sectors (the first C 0 H 0 R 1) and no file system d88disk knows; format erases it"},
        {"f.d88", "fat12", "2hd1232", "holds 1 file (FAT12 PC-98 2HD 1232 KB); format erases it"},
        {"h.d88", "n88", "2d", "holds 2 files (Hu-BASIC 2D); format erases them"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.image);
        const bytes before = read_file(dir.file(row.image));
        const run_result refused = d88disk(dir, {"format", row.image, "--fs", row.fs});
        EXPECT_EQ(refused.out, "error: disk 0 of '" + row.image + "' " + row.refusal + ": --force formats it all the same\n");
        EXPECT_EQ(refused.status, 1);
        EXPECT_TRUE(read_file(dir.file(row.image)) == before);
        EXPECT_EQ(d88disk(dir, {"format", row.image, "--fs", row.fs, "--force"}).out, "wrote " + row.image + "\n");
        EXPECT_EQ(d88disk(dir, {"create", row.blank, "blank.d88", "--overwrite"}).status, 0);
        EXPECT_EQ(d88disk(dir, {"format", "blank.d88", "--fs", row.fs}).status, 0);
        EXPECT_TRUE(sector_data(dir.file(row.image)) == sector_data(dir.file("blank.d88")));
        EXPECT_EQ(d88disk(dir, {"ls", row.image}).out.find("disk 0: "), 0u);
    }
    // An empty file system is no content: a Hu-BASIC format, then N88-BASIC's.
    EXPECT_EQ(d88disk(dir, {"create", "2d", "b.d88"}).status, 0);
    EXPECT_EQ(d88disk(dir, {"format", "b.d88", "--fs", "hu"}).status, 0);
    EXPECT_EQ(d88disk(dir, {"format", "b.d88", "--fs", "n88"}).out, "wrote b.d88\n");
    EXPECT_EQ(d88disk(dir, {"ls", "b.d88"}).out.substr(0, 26), "disk 0: N88-BASIC 2D (n88)");
    EXPECT_EQ(d88disk(dir, {"ls", "b.d88", "--fs", "hu"}).status, 1);
}

// put refuses a name already there unless --overwrite, changing nothing;
// a replaced file keeps what was not given.  A name put stores otherwise
// than FILE's is said.
TEST(Files, PutOverAFile)
{
    temp_dir dir;
    write_file(dir.file("h.d88"), build_disk(hu_2d()));
    write_file(dir.file("g1"), file_data(300, 1));
    write_file(dir.file("g2"), file_data(500, 2));
    EXPECT_EQ(d88disk(dir, {"put", "h.d88", "g1", "--as", "GAME.BIN", "--load", "0x8000", "--exec", "0x8010"}).status, 0);
    const bytes before = read_file(dir.file("h.d88"));
    EXPECT_EQ(d88disk(dir, {"put", "h.d88", "g2", "--as", "GAME.BIN", "--load", "0x9000"}).out,
              "error: disk 0 of 'h.d88' already holds 'GAME.BIN' (bin, 300 bytes); --overwrite replaces it\n");
    EXPECT_TRUE(read_file(dir.file("h.d88")) == before);
    EXPECT_EQ(d88disk(dir, {"put", "h.d88", "g2", "--as", "GAME.BIN", "--load", "0x9000", "--overwrite", "--date",
                            "2000-02-29T12:00"}).out,
              "wrote h.d88\n");
    write_file(dir.file("empty"), {});
    EXPECT_EQ(d88disk(dir, {"put", "h.d88", "empty", "--date", "none"}).status, 0);
    EXPECT_EQ(d88disk(dir, {"put", "h.d88", "empty", "--as", "E.ASC", "--type", "asc", "--date", "none"}).status, 0);
    EXPECT_EQ(d88disk(dir, {"ls", "h.d88"}).out,
              "disk 0: Hu-BASIC 2D (hu)\n" + HEAD + listed("GAME.BIN", "bin", "01", 500, "2", "9000 8010 2000-02-29 12:00") +
                  listed("empty", "bin", "01", 0, "3", "0000 0000") + listed("E.ASC", "asc", "04", 0, "4", "0000 0000") +
                  "3 files, " + std::to_string(75 * 4096) + " bytes free\n");
    EXPECT_EQ(d88disk(dir, {"get", "h.d88", "E.ASC", "e"}).status, 0);
    EXPECT_TRUE(read_file(dir.file("e")).empty());
    test_disk n88 = n88_2d();  // a write-protected file in the first entry keeps its protection
    set_n88_entry(n88, 0, "HELD  BIN", 0x11, 2);
    set_n88_fat(n88, 2, 0xC1);
    write_file(dir.file("n.d88"), build_disk(n88));
    EXPECT_EQ(d88disk(dir, {"put", "n.d88", "g2", "--as", "HELD.BIN", "--overwrite"}).status, 0);
    EXPECT_NE(d88disk(dir, {"ls", "n.d88"}).out.find(listed("HELD.BIN", "bin", "11 W", 512, "2")), std::string::npos);
    write_file(dir.file("a-long-name-for-hu.binary"), bytes(3, 3));
    EXPECT_EQ(d88disk(dir, {"put", "h.d88", "a-long-name-for-hu.binary"}).out,
              "'a-long-name-for-hu.binary' stored as 'a-long-name-f.bin'\nwrote h.d88\n");
    EXPECT_EQ(d88disk(dir, {"create", "2dd720", "f.d88"}).status, 0);
    EXPECT_EQ(d88disk(dir, {"format", "f.d88", "--fs", "fat12"}).status, 0);
    EXPECT_EQ(d88disk(dir, {"put", "f.d88", "g1", "--as", "ゲーム.bin"}).out, "'ゲーム.bin' stored as 'ゲーム.BIN'\nwrote f.d88\n");
    EXPECT_EQ(d88disk(dir, {"put", "f.d88", "g2", "--as", "ゲーム.BIN"}).status, 1);
}

// Which file system a disk holds: its marks, at their limits.
TEST(Files, Recognition)
{
    test_disk last_free = n88_2d();  // the system track's last cluster not reserved
    lsn_data(last_free, 16, N88_SYSTEM + 13)[75] = 0xFF;
    test_disk odd20 = n88_2d(), odd21 = n88_2d();  // FAT values none has, at 1 in 8 clusters and beyond
    for (int c = 2; c < 23; ++c) {
        lsn_data(odd21, 16, N88_SYSTEM + 13)[static_cast<size_t>(c)] = 0xD0;
        if (c < 22)
            lsn_data(odd20, 16, N88_SYSTEM + 13)[static_cast<size_t>(c)] = 0xD0;
    }
    test_disk hu_high = hu_2d();  // cluster 0's entry with a high part
    lsn_data(hu_high, 16, 14)[0x80] = 0x01;
    test_disk hu_2hd = hu_formatted(HU_MEDIA[2]), hu_misplaced = hu_formatted(HU_MEDIA[2]);
    lsn_data(hu_misplaced, 26, 14) = lsn_data(hu_misplaced, 26, 28);  // the FAT where 2D has it, on 2HD
    lsn_data(hu_misplaced, 26, 28) = bytes(256, 0xE5);
    test_disk hu_2dd = hu_formatted(HU_MEDIA[1]), hu_half = hu_formatted(HU_MEDIA[1]);
    hu_half.slots[0].erase(hu_half.slots[0].begin() + 15);  // the FAT's second sector
    const struct {
        test_disk disk;
        int32_t fs;
    } rows[] = {
        {n88_2d(), D88_FS_N88}, {last_free, -1}, {odd20, D88_FS_N88}, {odd21, -1},
        {hu_2d(), D88_FS_HU},   {hu_high, -1},   {hu_2hd, D88_FS_HU},  {hu_misplaced, -1},
        {hu_2dd, D88_FS_HU},    {hu_half, -1},
    };
    for (const auto& row : rows) {
        d88_disk* disk = read_disk(row.disk);
        ASSERT_NE(disk, nullptr);
        EXPECT_EQ(find_d88_fs_of_disk(disk), row.fs) << &row - rows;
        free_d88_disk(disk, 1);
    }
}

// FAT12's parameter block reaching past the disk's cylinders (its FAT
// beyond cylinder 255, which a wrap would find at cylinder 0) is no file
// system; a new entry taking the directory's end moves the end behind it.
TEST(Files, Fat12AsFound)
{
    const struct {
        int at, value, width;
    } nones[] = {
        {0x0E, 4097, 2},  // reserved: the FAT at C 256 H 0 R 2 (and 5107 sectors), C 0 H 0 R 2 wrapped
        {0x0D, 3, 1},     // sectors a cluster: no power of two
        {0x0D, 16, 1},    // more than 8
        {0x15, 0xE0, 1},  // a media byte below 0xF0
        {0x16, 0, 2},     // no FAT sector
        {0x18, 64, 2},    // more sectors a track than a floppy has
    };
    for (const auto& none : nones) {
        d88_disk* disk = create_d88_disk("F", 3);
        ASSERT_EQ(format_d88_files(disk, D88_FS_FAT12), 0);
        uint8_t* boot = find_d88_sector(disk, 0, 0, 1)->data;
        uint8_t* fat = find_d88_sector(disk, 0, 0, 2)->data;
        boot[0x15] = fat[0] = 0xFF;  // a media byte no format of the geometry has: its block alone tells
        EXPECT_EQ(find_d88_fs_of_disk(disk), D88_FS_FAT12);
        for (int i = 0; i < none.width; ++i)
            boot[none.at + i] = static_cast<uint8_t>(none.value >> (8 * i));
        if (none.at == 0x0E)
            put_le16(boot + 0x13, 5107);
        fat[0] = boot[0x15];
        EXPECT_EQ(find_d88_fs_of_disk(disk), -1) << none.at;
        EXPECT_EQ(printed_by([&] { EXPECT_EQ(write_d88_file(disk, D88_FS_FAT12, "A", nullptr, 0, nullptr), -1); }),
                  "illegal data: no FAT12 file system on the disk\n");
        free_d88_disk(disk, 1);
    }

    // FAT12's most clusters, 4084: 80 x 2 x 26 x 256 bytes, 24 FAT sectors.
    test_disk most = blank_disk(9, "F");
    for (int slot = 154; slot < 160; ++slot) {
        most.slots.push_back(most.slots[0]);
        for (test_sector& sector : most.slots.back())
            sector.c = static_cast<uint8_t>(slot / 2), sector.h = static_cast<uint8_t>(slot % 2);
    }
    bytes& block = lsn_data(most, 26, 0);
    for (const auto& field : {std::pair{0x0B, 256}, {0x0D, 1}, {0x0E, 1}, {0x10, 2}, {0x11, 16}, {0x13, 4135},
                              {0x15, 0xF0}, {0x16, 24}, {0x18, 26}, {0x1A, 2}})
        put(block, static_cast<size_t>(field.first), static_cast<uint32_t>(field.second), field.first == 0x0D ||
            field.first == 0x10 || field.first == 0x15 ? 1 : 2);
    for (int lsn = 1; lsn <= 48; ++lsn)
        lsn_data(most, 26, lsn) = bytes(256, 0x00);
    for (int copy : {1, 25})
        std::copy_n(bytes({0xF0, 0xFF, 0xFF}).begin(), 3, lsn_data(most, 26, copy).begin());
    d88_disk* disk = read_disk(most);
    d88_file_entry* none = nullptr;
    int32_t free_bytes = 0;
    EXPECT_EQ(list_d88_files(disk, -1, &none, &free_bytes, nullptr, nullptr), 0);
    EXPECT_EQ(free_bytes, 4084 * 256);
    std::free(none);
    free_d88_disk(disk, 1);

    // A FAT just long enough for its clusters: 1022 of one sector, 3 FAT sectors.
    disk = create_d88_disk("F", 2);
    ASSERT_EQ(format_d88_files(disk, D88_FS_FAT12), 0);
    uint8_t* boot = find_d88_sector(disk, 0, 0, 1)->data;
    boot[0x0D] = 1;
    put_le16(boot + 0x13, 1036);
    boot[0x15] = find_d88_sector(disk, 0, 0, 2)->data[0] = 0xFF;
    EXPECT_EQ(list_d88_files(disk, -1, &none, &free_bytes, nullptr, nullptr), 0);
    EXPECT_EQ(free_bytes, 1022 * 512);
    std::free(none);
    free_d88_disk(disk, 1);

    disk = create_d88_disk("F", 2);
    ASSERT_EQ(format_d88_files(disk, D88_FS_FAT12), 0);
    for (const char* name : {"A", "B", "C"})
        ASSERT_EQ(write_d88_file(disk, -1, name, nullptr, 0, nullptr), 0);
    uint8_t* root = find_d88_sector(disk, 0, 0, 8)->data;
    root[32] = 0x00;  // the end at B; C behind it, stale
    ASSERT_EQ(write_d88_file(disk, -1, "D", nullptr, 0, nullptr), 0);
    EXPECT_TRUE(bytes(root + 64, root + 96) == bytes(32, 0x00));
    d88_file_entry* entries = nullptr;
    EXPECT_EQ(list_d88_files(disk, -1, &entries, nullptr, nullptr, nullptr), 2);
    std::free(entries);
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

#ifndef _WIN32
namespace {

// The raw image at path with its bytes from `at` changed.
void patch_raw(const std::string& path, size_t at, const bytes& change)
{
    bytes raw = read_file(path);
    std::copy(change.begin(), change.end(), raw.begin() + static_cast<long>(at));
    write_file(path, raw);
}

}  // namespace

// Every FAT12 format d88disk makes is one fsck.fat finds sound, with the
// parameter block of its standard disk and the boot signature.
TEST(Files, Fat12FormatsAreSound)
{
    if (shell("fsck.fat --help; command -v fsck.fat") != 0)
        GTEST_SKIP() << "dosfstools missing";
    const struct {
        std::string format;
        int sector_size, cluster, root, sectors, media, fat, track;
    } rows[] = {
        {"2hd1232", 1024, 1, 192, 1232, 0xFE, 2, 8}, {"2dd640", 512, 2, 112, 1280, 0xFB, 2, 8},
        {"2dd720", 512, 2, 112, 1440, 0xF9, 3, 9},   {"2hd1200", 512, 1, 224, 2400, 0xF9, 7, 15},
        {"2hd1440", 512, 1, 224, 2880, 0xF0, 9, 18},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.format);
        temp_dir dir;
        EXPECT_EQ(d88disk(dir, {"create", row.format, "f.d88"}).status, 0);
        EXPECT_EQ(d88disk(dir, {"format", "f.d88", "--fs", "fat12"}).status, 0);
        EXPECT_EQ(d88disk(dir, {"export", "f.d88", "raw"}).status, 0);
        EXPECT_EQ(shell("fsck.fat -n " + dir.file("raw")), 0);
        const bytes raw = read_file(dir.file("raw"));
        ASSERT_GE(raw.size(), 512u);
        bytes block = {0, 0, 0, 1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};  // 1 reserved, 2 FATs, 2 heads
        put(block, 0, static_cast<uint32_t>(row.sector_size), 2);
        block[2] = static_cast<uint8_t>(row.cluster);
        put(block, 6, static_cast<uint32_t>(row.root), 2);
        put(block, 8, static_cast<uint32_t>(row.sectors), 2);
        block[10] = static_cast<uint8_t>(row.media);
        put(block, 11, static_cast<uint32_t>(row.fat), 2);
        put(block, 13, static_cast<uint32_t>(row.track), 2);
        EXPECT_TRUE(bytes(raw.begin() + 0x0B, raw.begin() + 0x1B) == block);
        EXPECT_TRUE(bytes(raw.begin(), raw.begin() + 3) == bytes({0xEB, 0x3C, 0x90}));  // a jump over the block
        EXPECT_TRUE(bytes(raw.begin() + 0x3E, raw.begin() + 0x40) == bytes({0xEB, 0xFE}));  // to a loop
        EXPECT_EQ(raw[0x1FE], 0x55);
        EXPECT_EQ(raw[0x1FF], 0xAA);
        EXPECT_EQ(raw[static_cast<size_t>(row.sector_size)], row.media);  // the FAT's first byte
    }
}

// A disk as Human68k leaves it (the second FAT copy empty but for its
// media bytes) takes put and rm, writing both copies, and mtools reads the
// file back; without a parameter block, the FAT's media byte tells its
// layout.
TEST(Files, Human68kDisk)
{
    if (shell("mcopy --version") != 0 || shell("fsck.fat --help; command -v fsck.fat") != 0)
        GTEST_SKIP() << "mtools or dosfstools missing";
    temp_dir dir;
    const std::string raw = dir.file("h.img");
    EXPECT_EQ(shell("mformat -C -i " + raw + " -t 77 -h 2 -s 8 -S 3 -M 1024 -r 6 -c 1 ::"), 0);
    write_file(dir.file("old"), file_data(3000, 1));
    EXPECT_EQ(shell("mcopy -i " + raw + " " + dir.file("old") + " ::OLD.TXT"), 0);
    patch_raw(raw, 3 * 1024 + 3, bytes(2 * 1024 - 3, 0x00));  // FAT copy 2 at sectors 3 and 4
    patch_raw(raw, 5 * 1024, {'o', 'l', 'd'});                 // the root at 5: a name in lower case
    EXPECT_EQ(d88disk(dir, {"import", "2hd1232", "h.img", "h.d88"}).status, 0);
    const std::string listing = d88disk(dir, {"ls", "h.d88"}).out;
    EXPECT_EQ(listing.substr(0, 52), "warning: fat-copies: FAT copy 2 differs from copy 1\n");
    EXPECT_NE(listing.find("\nold.TXT "), std::string::npos) << listing;
    write_file(dir.file("new"), file_data(5000, 2));
    EXPECT_EQ(d88disk(dir, {"put", "h.d88", "new", "--as", "NEW.BIN"}).status, 0);
    EXPECT_EQ(d88disk(dir, {"rm", "h.d88", "OLD.TXT"}).status, 0);
    EXPECT_EQ(d88disk(dir, {"check", "h.d88"}).out.find("fat-copies"), std::string::npos);
    EXPECT_EQ(d88disk(dir, {"export", "h.d88", "back.img"}).status, 0);
    EXPECT_EQ(shell("fsck.fat -n " + dir.file("back.img")), 0);
    EXPECT_EQ(shell("mcopy -n -i " + dir.file("back.img") + " ::NEW.BIN " + dir.file("got")), 0);
    EXPECT_TRUE(read_file(dir.file("got")) == file_data(5000, 2));
    EXPECT_NE(shell("mdir -i " + dir.file("back.img") + " ::OLD.TXT"), 0);

    patch_raw(dir.file("back.img"), 0, bytes(64, 0x00));  // no parameter block
    patch_raw(dir.file("back.img"), 1024, {0xFE});       // PC-98's 2HD media byte, in both copies
    patch_raw(dir.file("back.img"), 3 * 1024, {0xFE});
    EXPECT_EQ(d88disk(dir, {"import", "2hd1232", "back.img", "bare.d88"}).status, 0);
    EXPECT_EQ(d88disk(dir, {"get", "bare.d88", "NEW.BIN", "bare"}).status, 0);
    EXPECT_TRUE(read_file(dir.file("bare")) == file_data(5000, 2));
    // Clusters of two sectors: one FAT sector a copy.
    EXPECT_EQ(shell("mformat -C -i " + dir.file("c2.img") + " -t 77 -h 2 -s 8 -S 3 -M 1024 -r 6 -c 2 :: && mcopy -i " +
                    dir.file("c2.img") + " " + dir.file("new") + " ::C2.BIN"),
              0);
    EXPECT_EQ(d88disk(dir, {"import", "2hd1232", "c2.img", "c2.d88"}).status, 0);
    EXPECT_EQ(d88disk(dir, {"get", "c2.d88", "C2.BIN", "c2"}).status, 0);
    EXPECT_TRUE(read_file(dir.file("c2")) == file_data(5000, 2));
}

// check walks every subdirectory and names the sector of a finding's entry
// there; dates go both ways between mtools and d88disk, to the second FAT12
// keeps.
TEST(Files, Fat12SubdirectoriesAndDates)
{
    if (shell("mcopy --version") != 0)
        GTEST_SKIP() << "mtools missing";
    temp_dir dir;
    const std::string raw = dir.file("m.img");
    write_file(dir.file("in"), file_data(3000, 1));
    set_file_time(dir.file("in"), 2023, 4, 5, 6, 7, 8);
    std::string deep = "SUB", made = "mformat -C -i " + raw + " -f 720 :: && mmd -i " + raw + " ::SUB";
    for (int level = 1; level <= 7; ++level) {  // clusters 2 to 9
        deep += "/LEVEL00" + std::to_string(level);
        made += " ::" + deep;
    }
    EXPECT_EQ(shell(made + " && mcopy -m -i " + raw + " " + dir.file("in") + " ::" + deep + "/IN.TXT && mcopy -m -i " +
                    raw + " " + dir.file("in") + " ::D.TXT"),
              0);
    EXPECT_EQ(d88disk(dir, {"import", "2dd720", "m.img", "m.d88"}).status, 0);
    EXPECT_NE(d88disk(dir, {"ls", "m.d88"}).out.find(listed("D.TXT", "file", "20 A", 3000, "13", "   -    - 2023-04-05 06:07")),
              std::string::npos);
    EXPECT_EQ(d88disk(dir, {"get", "m.d88", deep + "/IN.TXT", "got"}).status, 0);
    int time[6];
    ASSERT_TRUE(get_file_time(dir.file("got").c_str(), time));
    EXPECT_EQ(std::vector<int>(time, time + 6), std::vector<int>({2023, 4, 5, 6, 7, 8}));
    EXPECT_EQ(d88disk(dir, {"put", "m.d88", "in", "--as", "LATE.TXT", "--date", "2107-12-31T23:59:58"}).status, 0);
    EXPECT_EQ(d88disk(dir, {"export", "m.d88", "late.img"}).status, 0);
    EXPECT_EQ(shell("mdir -i " + dir.file("late.img") + " ::LATE.TXT | grep -q '2107-12-31  23:59'"), 0);

    // IN.TXT holds clusters 10 to 12: its first cluster's link freed, in
    // both copies.  Its entry is in LEVEL007's cluster 9: sector 28, C 1 H 1
    // R 2; its path, cut at 63 bytes.
    patch_raw(raw, 512 + 15, {0x00, 0xC0});
    patch_raw(raw, 512 + 3 * 512 + 15, {0x00, 0xC0});
    EXPECT_EQ(d88disk(dir, {"import", "2dd720", "m.img", "bad.d88", "--overwrite"}).status, 0);
    const std::string check = d88disk(dir, {"check", "bad.d88"}).out;
    EXPECT_NE(check.find("disk 0 (01/01/02): warning chain-range: the chain of '" + deep.substr(0, 63) +
                         "' runs from cluster 10 into a free cluster"),
              std::string::npos) << check;
    EXPECT_EQ(d88disk(dir, {"put", "bad.d88", "in", "--as", "X"}).status, 1);
}
#endif
