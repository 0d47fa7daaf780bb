// run.cpp -- d88disk's command line: the commands, their help, and the
// reading of their options.
#include <cctype>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/file.h"
#include "core/layout.h"
#include "core/decode.h"
#include "core/message.h"
#include "d88disk.h"
#include "platform.h"
#include "text.h"

namespace {

// A command, the options it accepts, how many words it takes, and its help.
struct command_help {
    const char* name;
    const char* options;
    int words_min, words_max;
    const char* usage;
    const char* text;
};

constexpr command_help COMMANDS[] = {
    {"info", "--tracks --json --disk --sector --slot --index", 1, 1,
     "info IMAGE [--tracks] [--json] [--disk N] [--sector C H R | --sector CC/HH/RR | --slot S --index I]",
     "Lists each disk of IMAGE: its number, name, media type, write protection,\n"
     "size and number of tracks.\n"
     "  --tracks         also list every track: its slot, the C and H of its first\n"
     "                   sector as CC/HH, and each sector as RR:N/bytes (C, H and R\n"
     "                   in hexadecimal; CC/HH/RR: when C or H is not the track's),\n"
     "                   marked [D] when deleted, [S] when single density, [!xx]\n"
     "                   with a status\n"
     "  --json           the same as one JSON document (see d88disk(1))\n"
     "  --disk N         disk N alone (counted from 0)\n"
     "  --sector C H R   show the data of the first sector with that ID on disk N\n"
     "                   (default 0) as a hex dump; CC/HH/RR, as vorkast and the\n"
     "                   listing print it, is the same ID in hexadecimal\n"
     "  --slot S --index I\n"
     "                   show sector I (from 0, in file order) of track slot S:\n"
     "                   also the second of two sectors with one ID"},
    {"create", "--name --overwrite", 2, 2, "create FORMAT OUT [--name NAME] [--overwrite]",
     "Writes a blank disk as the one-disk image OUT: every sector present, filled\n"
     "with E5.  An existing OUT is replaced only with --overwrite.\n"
     "  --name NAME      the disk's name, at most 16 bytes in Shift_JIS"},
    {"import", "--name --overwrite", 3, 3, "import FORMAT RAW OUT [--name NAME] [--overwrite]",
     "Makes a disk of FORMAT whose sectors hold the bytes of RAW, a raw dump of\n"
     "exactly the format's data bytes, track by track and, within a track, in the\n"
     "order of the sectors' IDs: convert RAW OUT --from raw --geometry FORMAT."},
    {"export", "--disk --force --overwrite", 2, 2, "export IMAGE OUT [--disk N] [--force] [--overwrite]",
     "Writes the data of every sector of disk N (default 0) of IMAGE to the raw\n"
     "dump OUT, track by track and, within a track, in the order of the sectors'\n"
     "IDs, as import reads it back: convert IMAGE OUT --to raw.  The disk must be\n"
     "of one of the standard formats; a sector the dump cannot hold (a status, a\n"
     "deleted mark, an ID off the format's) is named, and then nothing is written\n"
     "unless --force is given."},
    {"split", "--out --overwrite", 1, 1, "split IMAGE [--out DIR] [--overwrite]",
     "Writes each disk of IMAGE as a one-disk image BASE.N.EXT (N from 0) in DIR,\n"
     "by default IMAGE's folder; DIR is made when missing.  When one of them exists\n"
     "and --overwrite is not given, nothing is written."},
    {"join", "--overwrite", 2, -1, "join OUT IMAGE... [--overwrite]",
     "Writes one image OUT holding every disk of the IMAGEs, in the order given."},
    {"set", "--disk --name --protect --writable", 1, 1, "set IMAGE [--disk N] [--name NAME] [--protect | --writable]",
     "Changes the name or the write protection of disk N (default 0) of IMAGE\n"
     "and replaces IMAGE safely; every other byte of the file stays as it was."},
    {"check", "--json --job --index --track", 1, -1,
     "check IMAGE... [--json] | check --job GAME DATA1 [DATA2] [--index N] [--track T] [--json]",
     "Reports every problem of each IMAGE at once, where vorkast's reader stops at\n"
     "the first: one line a finding, place first (image, disk, slot, sector and its\n"
     "CC/HH/RR, offset in the file), then its severity, kind and what it is;\n"
     "findings of one kind and cause at three or more places in a row share one\n"
     "line that names the range.\n"
     "%KINDS%"
     "A line per image ends the report.  Status 0 when vorkast can read every\n"
     "IMAGE (warnings allowed) and each holds a disk.\n"
     "  --job    check the job `vorkast GAME DATA1 DATA2 [-i N] [-t T]` instead, for\n"
     "           every selected track at once and without writing anything: the\n"
     "           faults of its images, and\n"
     "%JOB_KINDS%"
     "           Status 0 exactly when vorkast would complete every selected track.\n"
     "  --json   the same as one JSON document (see d88disk(1))"},
    {"repair", "--media --force --overwrite", 2, 2, "repair IMAGE OUT [--media 2D|2DD|2HD] [--force] [--overwrite]",
     "Writes OUT, an image vorkast's reader accepts, holding every disk, track and\n"
     "sector of IMAGE whose header and data are whole, each unchanged, laid out\n"
     "anew; it says each change, one line each.  A write protect byte other than\n"
     "0x00 and 0x10 becomes 0x10; bytes no disk or sector holds are dropped.\n"
     "  --media M   the media byte for a disk whose byte is unknown; without it\n"
     "              such a disk keeps anything from being written\n"
     "  --force     write even when sectors are lost (each is listed); without it\n"
     "              nothing is written then"},
    {"convert", "--disk --from --to --geometry --rpm --revs --force --overwrite", 2, 2,
     "convert IN OUT [--disk N] [--from FORMAT] [--to FORMAT] [--geometry G] [--rpm 300|360] [--revs N] [--force] [--overwrite]",
     "Writes the disk image IN as OUT in another format, through the D88 records:\n"
     "d88 (.d88, .d77, .d68, .d98); hfe, the bit stream of floppy emulators and of\n"
     "the tools that write real floppies (each track as a controller formats it,\n"
     "MFM or FM, at the media's rate and rotation, or --rpm); imd (ImageDisk); the\n"
     "PC-98 formats hdm (77 x 2 x 8 x 1024 bytes, data only), fdi (data behind a\n"
     "header that gives the geometry), dim (2HD shapes behind a table of tracks)\n"
     "and nfd (every sector's ID and status); and raw, the raw sector dumps of the\n"
     "standard formats (.2d, .2dd, .2hd, .xdf, .img), known by their size.  IN is\n"
     "read as what its content is (a line says so when its name says otherwise),\n"
     "or as --from says; OUT is written as its extension or --to says.\n"
     "A flux dump is read too: an SCP file, or a folder of KryoFlux stream files\n"
     "(trackCC.H.raw) or one of them.  Each track is decoded at the rate and in\n"
     "the encoding (FM or MFM) whose marks its flux shows, every revolution read\n"
     "and the reads merged; what is not plain is listed per track (a weak sector,\n"
     "a CRC error in every read, no sector found, a rate unlike the others') and\n"
     "the image is written all the same.  OUT may be an SCP file, for a flux\n"
     "writer: each track's cells as flux, cued to the index.\n"
     "  --geometry G   the standard format (see below) of a raw IN whose size\n"
     "                 several share (2hd1440r, 2hd1440h and 2hd1440)\n"
     "  --revs N       the revolutions of each track an SCP OUT holds (1 to 5,\n"
     "                 default 1)\n"
     "Before anything is written, every sector, track or field OUT cannot carry\n"
     "is listed at its place (an error status, a deleted mark, a data size other\n"
     "than the one its N stands for, a density, sectors of several shapes, an ID a\n"
     "dump cannot keep, a track too long for a real one); then nothing is written\n"
     "unless --force is given, which writes what the format holds: on a track too\n"
     "long, every sector that fits whole, and of a sector longer than the track\n"
     "its ID and what room is left of its data.  A disk's name, write protection\n"
     "or media with no place in OUT is noted.  A geometry OUT cannot describe at\n"
     "all is refused, with --force too.  A D88 image converts whole into D88; into\n"
     "another format, a D88 image of several disks needs --disk N."},
    {"ls", "--disk --fs --json", 1, 2, "ls IMAGE [DIR] [--disk N] [--fs FS] [--json]",
     "Lists the files of the file system on disk N (default 0) of IMAGE (of its\n"
     "subdirectory DIR, DIR/SUB, ... on FAT12; get takes DIR/NAME too): name, type,\n"
     "attribute byte and its protection letters, size (as get gives the file),\n"
     "first cluster, load and exec addresses and date where the file system keeps\n"
     "them, then the bytes free.  The file system is recognised from the disk: n88\n"
     "(N88-BASIC, 2D, 2DD, 2HD), hu (Hu-BASIC, 2D, 2DD, 2HD) or fat12 (PC-98 DOS\n"
     "and Human68k 2HD, PC-98 2DD, MSX-DOS 720 KB, ...); --fs names it.  A fault\n"
     "of the file system (a chain that loops or leaves the disk, FAT copies that\n"
     "differ, ...), in any of its directories, is listed first, as d88disk check\n"
     "does.\n"
     "  --json   the same as one JSON document (see d88disk(1))"},
    {"get", "--disk --fs --all --overwrite", 1, 3, "get IMAGE NAME [OUT] [--disk N] [--fs FS] [--overwrite] | get IMAGE --all DIR",
     "Writes the file NAME (DIR/NAME in a subdirectory of FAT12) of disk N (default\n"
     "0) of IMAGE as OUT, by default NAME in the current folder; with --all DIR,\n"
     "every file of the root directory into DIR (made when missing).  A text file\n"
     "of Hu-BASIC comes out as its text, to its end mark 0x1A (left out), bytes as\n"
     "stored.  The file's time is the date the file system keeps (Hu-BASIC and\n"
     "FAT12), in local time.  Nothing of IMAGE changes.  An existing file is\n"
     "replaced only with --overwrite; with --all, a file that cannot come out\n"
     "leaves the others to."},
    {"put", "--disk --fs --as --type --load --exec --date --overwrite", 2, 2,
     "put IMAGE FILE [--as NAME] [--type T] [--load A --exec A] [--date D] [--overwrite] [--disk N] [--fs FS]",
     "Adds FILE to the file system of disk N (default 0) of IMAGE, and replaces\n"
     "IMAGE safely: only the data of the file system's sectors changes.  Nothing is\n"
     "written when the file does not fit (clusters, directory entries), the file\n"
     "system has a fault, or a file of the name is there and --overwrite is not\n"
     "given.  A replaced file keeps its type, attributes and addresses unless they\n"
     "are given.  The name stored is said when it is not FILE's own.\n"
     "  --as NAME   the name on the disk, by default FILE's own (cut to fit): NAME.EXT\n"
     "              in UTF-8, stored as N88-BASIC (6.3, JIS X 0201), Hu-BASIC (13.3)\n"
     "              or FAT12 (8.3, upper case) stores it (Shift_JIS)\n"
     "  --type T    bin (machine code, the default), bas (tokenised BASIC) or asc\n"
     "              (text: Hu-BASIC ends it with 0x1A, as its machines do); file on\n"
     "              FAT12\n"
     "  --load A --exec A\n"
     "              the load and exec addresses Hu-BASIC keeps\n"
     "  --date D    the date stored, YYYY-MM-DD[THH:MM[:SS]] in local time, or none;\n"
     "              by default FILE's time.  Hu-BASIC keeps 1980 to 2079, FAT12 1980\n"
     "              to 2107, N88-BASIC no date\n"
     "  --overwrite replace a file of the name"},
    {"rm", "--disk --fs", 2, 2, "rm IMAGE NAME [--disk N] [--fs FS]",
     "Deletes the file NAME of disk N (default 0) of IMAGE, freeing its clusters in\n"
     "every FAT copy, and replaces IMAGE safely."},
    {"format", "--disk --fs --force", 1, 1, "format IMAGE --fs FS [--disk N] [--force]",
     "Formats disk N (default 0) of IMAGE with file system FS (n88, hu or fat12) as\n"
     "its machines do: every sector filled (0xFF for n88, 0xE5 for hu and fat12),\n"
     "then an empty FAT, directory and, for fat12, boot sector.  Its tracks must\n"
     "be those of a media FS has.  A disk that holds anything, files of a file\n"
     "system or, without one, a sector that is not one byte repeated, is refused,\n"
     "saying what it holds, unless --force is given.  After\n"
     "  d88disk create 2d BLANK.D88\n"
     "  d88disk format BLANK.D88 --fs n88\n"
     "BLANK.D88 is a blank N88-BASIC disk."},
    {"sample", "--overwrite", 1, 1, "sample DIR [--overwrite]",
     "Writes DIR/GAME.D88, DIR/DATA1.D88 and DIR/DATA2.D88: 2D disks whose sectors\n"
     "hold text telling where they belong, ready for\n"
     "  vorkast DIR/GAME.D88 DIR/DATA1.D88 DIR/DATA2.D88\n"
     "DIR is made when missing.  When one of the three exists and --overwrite is\n"
     "not given, none is written."},
};

const command_help* find_command(const char* name)
{
    for (const command_help& command : COMMANDS) {
        if (std::strcmp(command.name, name) == 0)
            return &command;
    }
    return nullptr;
}

void print_help()
{
    print_text_line("usage: d88disk COMMAND [arguments]");
    print_text_line("");
    for (const command_help& command : COMMANDS)
        print_text("  d88disk %s\n", command.usage);
    print_text_line("");
    print_text_line("'d88disk COMMAND --help' tells more about each command.  Numbers are decimal,");
    print_text_line("hexadecimal with 0x, or octal with a leading 0.");
    print_text_line("");
    print_format_list();
}

// The names of the kinds from first to last - 1 with the severity, as
// lines of at most 79 columns after an indent: "  error    disk-size, ...".
void print_kinds(int32_t first, int32_t last, int32_t severity, const char* head, int indent)
{
    print_text("%s", head);
    int column = static_cast<int>(std::strlen(head));
    bool named = false;
    for (int32_t kind = first; kind < last; ++kind) {
        if (d88_finding_kind_severity(kind) != severity)
            continue;
        const char* name = d88_finding_kind_name(kind);
        const int width = static_cast<int>(std::strlen(name));
        if (named && column + 2 + width > 79) {
            print_text(",\n%*s", indent, "");
            column = indent;
        } else if (named) {
            print_text(", ");
            column += 2;
        }
        print_text("%s", name);
        column += width;
        named = true;
    }
    print_text("\n");
}

// A command's text, the kinds of finding named where it says %KINDS% and
// %JOB_KINDS%, from the one table of kinds.
void print_command_text(const char* text)
{
    const char* kinds = std::strstr(text, "%KINDS%");
    const char* job_kinds = std::strstr(text, "%JOB_KINDS%");
    if (kinds == nullptr || job_kinds == nullptr) {
        print_text("%s\n", text);
        return;
    }
    print_text("%.*s", static_cast<int>(kinds - text), text);
    print_kinds(0, D88_KIND_NO_IMAGE, D88_FINDING_ERROR, "  error    the reader refuses the image because of it: ", 11);
    print_kinds(0, D88_KIND_NO_IMAGE, D88_FINDING_WARNING, "  warning  read, but worth knowing: ", 11);
    print_kinds(0, D88_KIND_NO_IMAGE, D88_FINDING_NOTE, "  note     ", 11);
    print_kinds(D88_KIND_FAT_COPIES, D88_KIND_LOST_MEDIA, D88_FINDING_WARNING, "  warning  in a disk's file system (as ls finds them): ", 11);
    kinds += std::strlen("%KINDS%");
    print_text("%.*s", static_cast<int>(job_kinds - kinds), kinds);
    print_kinds(D88_KIND_NO_IMAGE, D88_KIND_LOST_STATUS, D88_FINDING_ERROR, "           errors: ", 19);
    print_kinds(D88_KIND_NO_IMAGE, D88_KIND_LOST_STATUS, D88_FINDING_WARNING, "           warnings: ", 21);
    print_text("%s\n", job_kinds + std::strlen("%JOB_KINDS%"));
}

void print_command_help(const command_help& command)
{
    print_text("usage: d88disk %s\n\n", command.usage);
    print_command_text(command.text);
    if (std::strcmp(command.name, "create") == 0 || std::strcmp(command.name, "import") == 0 ||
        std::strcmp(command.name, "convert") == 0) {
        print_text_line("");
        print_format_list();
    }
}

// Whether option is one of the words of options.
bool accepts(const char* options, const char* option)
{
    const size_t length = std::strlen(option);
    for (const char* p = std::strstr(options, option); p != nullptr; p = std::strstr(p + 1, option)) {
        if ((p == options || p[-1] == ' ') && (p[length] == ' ' || p[length] == '\0'))
            return true;
    }
    return false;
}

bool reject(const char* arg, const command_help& command)
{
    print_text("error: unexpected argument '%s' (see d88disk %s --help)\n", arg, command.name);
    return false;
}

// Reads the hexadecimal ID CC/HH/RR (one or two digits a field), as vorkast
// and the listing print it.
bool parse_sector_id(const char* text, command_line* line)
{
    uint32_t* fields[3] = {&line->c, &line->h, &line->r};
    for (int i = 0; i < 3; ++i) {
        int digits = 0;
        uint32_t value = 0;
        for (; digits < 2 && std::isxdigit(static_cast<unsigned char>(*text)); ++digits, ++text)
            value = value * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(*text))
                                                           ? *text - '0'
                                                           : std::tolower(static_cast<unsigned char>(*text)) - 'a' + 10);
        if (digits == 0 || *text != (i < 2 ? '/' : '\0'))
            return false;
        *fields[i] = value;
        text += i < 2;
    }
    return true;
}

// --sector C H R, or --sector CC/HH/RR: one word when it holds a slash (or
// is attached: --sector=CC/HH/RR).
bool read_sector_option(int argc, char** argv, int* i, const char* attached, command_line* line)
{
    const int left = attached != nullptr ? 1 : argc - *i - 1;
    const char* const* value = attached != nullptr ? &attached : argv + *i + 1;
    const bool one_word = attached != nullptr || (left >= 1 && std::strchr(value[0], '/') != nullptr);
    *i += attached != nullptr ? 0 : one_word ? 1 : 3;
    line->sector = one_word ? parse_sector_id(value[0], line)
                            : left >= 3 && parse_count(value[0], 255, &line->c) &&
                                  parse_count(value[1], 255, &line->h) && parse_count(value[2], 255, &line->r);
    if (!line->sector)
        print_text_line("error: --sector takes three numbers C H R from 0 to 255, or CC/HH/RR in hexadecimal");
    return line->sector;
}

// Reads the value(s) of option at argv[*i] into line: the next word(s), or
// the value attached with '=' (attached, else null).  False after a message.
bool read_option(int argc, char** argv, int* i, const char* option, const char* attached, command_line* line)
{
    if (std::strcmp(option, "--sector") == 0)
        return read_sector_option(argc, argv, i, attached, line);
    if (attached == nullptr && ++*i >= argc) {
        print_text("error: %s needs a value\n", option);
        return false;
    }
    const char* value = attached != nullptr ? attached : argv[*i];
    uint32_t* number = std::strcmp(option, "--disk") == 0    ? &line->disk
                       : std::strcmp(option, "--load") == 0  ? &line->load
                       : std::strcmp(option, "--exec") == 0  ? &line->exec
                       : std::strcmp(option, "--rpm") == 0   ? &line->rpm
                       : std::strcmp(option, "--revs") == 0  ? &line->revs
                       : std::strcmp(option, "--slot") == 0  ? &line->slot
                       : std::strcmp(option, "--index") == 0 ? &line->index
                                                             : nullptr;
    if (number == nullptr) {
        (std::strcmp(option, "--out") == 0     ? line->out
         : std::strcmp(option, "--media") == 0 ? line->media
         : std::strcmp(option, "--track") == 0 ? line->track
         : std::strcmp(option, "--from") == 0  ? line->from
         : std::strcmp(option, "--to") == 0    ? line->to
         : std::strcmp(option, "--fs") == 0    ? line->fs
         : std::strcmp(option, "--as") == 0    ? line->as
         : std::strcmp(option, "--type") == 0  ? line->type
         : std::strcmp(option, "--all") == 0   ? line->all
         : std::strcmp(option, "--date") == 0  ? line->date
         : std::strcmp(option, "--geometry") == 0 ? line->geometry
                                               : line->name) = value;
        return true;
    }
    if (!parse_count(value, INT32_MAX, number)) {
        print_text("error: %s takes a number from 0, not '%s'\n", option, value);
        return false;
    }
    line->disk_given |= number == &line->disk;
    line->slot_given |= number == &line->slot;
    line->index_given |= number == &line->index;
    line->load_given |= number == &line->load;
    line->exec_given |= number == &line->exec;
    line->rpm_given |= number == &line->rpm;
    line->revs_given |= number == &line->revs;
    return true;
}

// The flag arg names, or null when it names none.
bool* find_flag(const char* arg, command_line* line)
{
    return std::strcmp(arg, "--overwrite") == 0  ? &line->overwrite
           : std::strcmp(arg, "--job") == 0      ? &line->job
           : std::strcmp(arg, "--force") == 0    ? &line->force
           : std::strcmp(arg, "--protect") == 0  ? &line->protect
           : std::strcmp(arg, "--writable") == 0 ? &line->writable
           : std::strcmp(arg, "--tracks") == 0   ? &line->tracks
           : std::strcmp(arg, "--json") == 0     ? &line->json
                                                 : nullptr;
}

// Sorts the arguments after the command into words and options.  A long
// option's value may follow it as the next word, or be attached to it with
// '=' (--disk=1), as GNU tools take them.
bool parse_command_line(int argc, char** argv, const command_help& command, command_line* line)
{
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] != '-' || arg[1] == '\0') {
            line->words[line->word_count++] = arg;
            continue;
        }
        char option[32];
        const char* equals = std::strchr(arg, '=');
        const size_t length = equals != nullptr ? static_cast<size_t>(equals - arg) : std::strlen(arg);
        std::snprintf(option, sizeof option, "%.*s", static_cast<int>(length), arg);
        if (length >= sizeof option || !accepts(command.options, option))
            return reject(arg, command);
        bool* flag = find_flag(option, line);
        if (flag != nullptr && equals != nullptr) {
            print_text("error: %s takes no value\n", option);
            return false;
        }
        if (flag != nullptr)
            *flag = true;
        else if (!read_option(argc, argv, &i, option, equals != nullptr ? equals + 1 : nullptr, line))
            return false;
    }
    if (line->word_count < command.words_min || (command.words_max >= 0 && line->word_count > command.words_max)) {
        print_text("error: usage: d88disk %s\n", command.usage);
        return false;
    }
    return true;
}

int run_command(const command_line& line)
{
    const char* name = line.command;
    return std::strcmp(name, "info") == 0     ? run_info(line)
           : std::strcmp(name, "create") == 0 ? run_create(line)
           : std::strcmp(name, "import") == 0 ? run_import(line)
           : std::strcmp(name, "export") == 0 ? run_export(line)
           : std::strcmp(name, "split") == 0  ? run_split(line)
           : std::strcmp(name, "join") == 0   ? run_join(line)
           : std::strcmp(name, "set") == 0    ? run_set(line)
           : std::strcmp(name, "check") == 0  ? run_check(line)
           : std::strcmp(name, "repair") == 0 ? run_repair(line)
           : std::strcmp(name, "convert") == 0 ? run_convert(line)
           : std::strcmp(name, "ls") == 0 || std::strcmp(name, "get") == 0 || std::strcmp(name, "put") == 0 ||
                   std::strcmp(name, "rm") == 0 || std::strcmp(name, "format") == 0
               ? run_files(line)
                                              : run_sample(line);
}

bool asks_for_help(int argc, char** argv)
{
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-?") == 0)
            return true;
    }
    return false;
}

}  // namespace

bool refuse_existing(const char* path, bool overwrite)
{
    if (overwrite || !path_exists(path))
        return false;
    print_text("'%s' already exists (give --overwrite to replace it)\n", path);
    return true;
}

namespace {

// The first disk of the bytes whose header, whole but for its size,
// claims more bytes than the file has left, counting from 0; or -1.
int32_t find_cut_disk(const uint8_t* bytes, int32_t size)
{
    int64_t at = 0;
    for (int32_t disk = 0; size - at >= D88_HEADER_SIZE_160; ++disk) {
        const int64_t left = size - at;
        const int64_t claimed = get_le32(bytes + at + D88_DISK_SIZE_AT);
        if (claimed < D88_HEADER_SIZE_160)
            return -1;
        if (claimed > left) {
            uint8_t header[D88_HEADER_SIZE] = {};
            std::memcpy(header, bytes + at, static_cast<size_t>(std::min<int64_t>(left, D88_HEADER_SIZE)));
            return claimed <= INT32_MAX && is_d88_header(header, static_cast<int32_t>(claimed)) ? disk : -1;
        }
        at += claimed;
    }
    return -1;
}

}  // namespace

void say_unreadable(const char* path, int32_t format)
{
    int32_t size = 0;
    const d88_message_route found = take_d88_messages([](const char*, void*) {}, nullptr);
    uint8_t* bytes = load_d88_file(path, &size);
    give_back_d88_messages(found);
    const bool as_d88 = bytes != nullptr && format == D88_FILE_D88;
    const int32_t content = as_d88 ? detect_d88_file_format(bytes, size) : -1;
    const int32_t cut = as_d88 ? find_cut_disk(bytes, size) : -1;
    if (bytes == nullptr)
        print_text("error: cannot open '%s': %s\n", path, describe_unreadable_file(path));
    else if (cut >= 0)
        print_text("error: '%s' is cut: its disk %d passes the end of the file\n", path, static_cast<int>(cut));
    else if (as_d88 && content >= 0 && content != D88_FILE_D88)
        print_text("error: '%s' holds no D88 disk: it is in %s format (d88disk convert reads it)\n", path,
                   d88_file_format_name(content));
    else if (as_d88 && content != D88_FILE_D88)
        print_text("error: '%s' holds no D88 disk\n", path);
    else if (format >= 0)
        print_text("error: read %s image '%s'\n", d88_file_format_name(format), path);
    else
        print_text("error: read image '%s'\n", path);
    std::free(bytes);
}

void say_unwritable(const char* path, int32_t format)
{
    const int reason = read_d88_store_error();
    if (reason != 0)
        print_text("error: cannot write '%s': %s\n", path, describe_store_error(reason));
    else if (format >= 0)
        print_text("error: write %s image '%s'\n", d88_file_format_name(format), path);
    else
        print_text("error: write '%s'\n", path);
}

bool make_output_folder(const char* path)
{
    const char* reason = nullptr;
    if (make_folder(path, &reason))
        return true;
    print_text("error: cannot make folder '%s': %s\n", path, reason);
    return false;
}

bool load_image(d88_image* image, const char* path)
{
    if (read_d88_image_file(image, path) > 0)
        return true;
    say_unreadable(path, D88_FILE_D88);
    return false;
}

bool write_image(const d88_image* image, const char* path)
{
    if (write_d88_image_file(image, path) < 0) {
        say_unwritable(path, D88_FILE_D88);
        return false;
    }
    print_text("wrote %s\n", path);
    return true;
}

bool write_disk(const d88_disk* disk, const char* path)
{
    const d88_image alone = {1, const_cast<d88_disk*>(disk)};
    return write_image(&alone, path);
}

namespace {

int run_command_line(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        print_text("d88disk %s\n", D88_VERSION_STRING);
        return 0;
    }
    if (argc < 2 || asks_for_help(1, argv + 1)) {
        print_help();
        return argc < 2 ? 1 : 0;
    }
    const command_help* command = find_command(argv[1]);
    if (command == nullptr) {
        print_text("error: unknown command '%s' (see d88disk --help)\n", argv[1]);
        return 1;
    }
    if (asks_for_help(argc - 2, argv + 2)) {
        print_command_help(*command);
        return 0;
    }
    command_line line = {};
    line.command = command->name;
    line.words = static_cast<const char**>(std::calloc(static_cast<size_t>(argc), sizeof(const char*)));
    if (line.words == nullptr) {
        print_text_line("error: memory exhausted!");
        return 1;
    }
    const int status = parse_command_line(argc - 2, argv + 2, *command, &line) ? run_command(line) : 1;
    std::free(line.words);
    return status;
}

}  // namespace

// The whole run; a line left without its end goes out with it.
int run_d88disk(int argc, char** argv)
{
    const int status = run_command_line(argc, argv);
    finish_text();
    return status;
}
