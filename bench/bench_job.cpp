// bench_job -- times whole runs of vorkast against the floor of plain file
// copying, and reports vorkast's peak resident memory.
//
//   bench_job VORKAST DIR [RUNS]
//
// Writes the inputs into DIR (a standard job and game images of 1, 30 and
// 300 disks), then for each set runs, RUNS times and interleaved,
//   A: vorkast --overwrite -o DIR/out.d88 GAME DATA1 DATA2
//   B: cat GAME DATA1 DATA2 > DIR/floor.d88 && sync DIR/floor.d88
// and prints the median wall time of both, their ratio and the peak RSS.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "d88.h"

namespace {

struct input_set {
    const char* name;
    int game_disks;
};

constexpr input_set SETS[] = {{"standard", 1}, {"scale-1", 1}, {"scale-30", 30}, {"scale-300", 300}};

// A 2D disk whose every sector carries the given byte pattern.
d88_disk* make_disk(const char* name, uint8_t seed)
{
    d88_disk* disk = create_d88_disk(name, 0);
    for (d88_track& track : disk->track)
        for (int32_t i = 0; i < track.count; ++i)
            for (int32_t b = 0; b < track.sectors[i].data_size; ++b)
                track.sectors[i].data[b] = static_cast<uint8_t>(seed + i * 7 + b);
    return disk;
}

// Writes copies disks of one disk's bytes back to back into path.
bool write_copies(const std::string& path, d88_disk* disk, int copies)
{
    const int32_t size = calc_d88_disk_size(disk);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    uint8_t* next = nullptr;
    write_d88_disk_to_buffer(disk, bytes.data(), &next, size);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    bool ok = file != nullptr;
    for (int i = 0; ok && i < copies; ++i)
        ok = std::fwrite(bytes.data(), bytes.size(), 1, file) == 1;
    ok = file != nullptr && std::fclose(file) == 0 && ok;
    return ok;
}

bool make_inputs(const std::string& dir)
{
    mkdir(dir.c_str(), 0777);
    d88_disk* game = make_disk("BENCH GAME", 1);
    d88_disk* data = make_disk("BENCH DATA", 2);
    bool ok = write_copies(dir + "/DATA1.D88", data, 1) && write_copies(dir + "/DATA2.D88", data, 1);
    for (const input_set& set : SETS)
        ok = ok && write_copies(dir + "/" + set.name + ".D88", game, set.game_disks);
    free_d88_disk(game, 1);
    free_d88_disk(data, 1);
    return ok;
}

struct measured {
    double seconds;
    long max_rss_kb;
};

// Runs argv to its end; wall time and the child's peak resident memory.
measured run(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage = {};
    wait4(pid, &status, 0, &usage);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "failed: %s\n", args[0].c_str());
        std::exit(1);
    }
    return {took.count(), usage.ru_maxrss};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::puts("usage: bench_job VORKAST DIR [RUNS]");
        return 1;
    }
    const std::string vorkast = argv[1], dir = argv[2];
    const int runs = argc > 3 ? std::atoi(argv[3]) : 9;
    if (!make_inputs(dir)) {
        std::printf("cannot write the inputs into '%s'\n", dir.c_str());
        return 1;
    }
    std::printf("%-10s %10s %12s %12s %7s %12s %9s\n", "set", "game MB", "vorkast ms", "floor ms", "ratio",
                "peak RSS MB", "RSS/game");
    for (const input_set& set : SETS) {
        const std::string game = dir + "/" + set.name + ".D88", data1 = dir + "/DATA1.D88", data2 = dir + "/DATA2.D88";
        const std::string floor_cmd = "cat '" + game + "' '" + data1 + "' '" + data2 + "' > '" + dir +
                                      "/floor.d88' && sync '" + dir + "/floor.d88'";
        std::vector<double> tool_times, floor_times;
        long rss = 0;
        for (int i = 0; i < runs; ++i) {
            const measured a = run({vorkast, "--overwrite", "-o", dir + "/out.d88", game, data1, data2});
            const measured b = run({"sh", "-c", floor_cmd});
            tool_times.push_back(a.seconds);
            floor_times.push_back(b.seconds);
            rss = std::max(rss, a.max_rss_kb);
        }
        struct stat st;
        stat(game.c_str(), &st);
        const double game_mb = static_cast<double>(st.st_size) / 1e6, tool_ms = median(tool_times) * 1e3,
                     floor_ms = median(floor_times) * 1e3, rss_mb = static_cast<double>(rss) * 1024 / 1e6;
        std::printf("%-10s %10.1f %12.1f %12.1f %7.2f %12.1f %9.2f\n", set.name, game_mb, tool_ms, floor_ms,
                    tool_ms / floor_ms, rss_mb, rss_mb / game_mb);
    }
    return 0;
}
