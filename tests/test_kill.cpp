// vorkast killed at random moments while it replaces a large output: the
// folder then holds the old output or the complete new one, and no other
// file.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "test_support.h"

namespace {

// Starts vorkast in dir with args; its process id.
pid_t start_vorkast(const temp_dir& dir, std::vector<std::string> args)
{
    args.insert(args.begin(), VORKAST_PROGRAM);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.path.c_str()) == 0 && freopen("/dev/null", "w", stdout) != nullptr)
            execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// Whether the stopped process pid has a new file of folder open: one
// under no name yet, or under a hidden temporary name.
bool writes_new_file(pid_t pid, const std::string& folder)
{
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(fds, error)) {
        const std::string target = fs::read_symlink(entry.path(), error).string();
        const std::string name = target.rfind(folder + "/", 0) == 0 ? target.substr(folder.size() + 1) : "";
        if (!name.empty() && (name[0] == '#' || name[0] == '.'))
            return true;
    }
    return false;
}

// Waits until the running process pid has a new file of folder open, or
// has ended.
void wait_for_new_file(pid_t pid, const std::string& folder)
{
    for (;;) {
        siginfo_t ended = {};
        if (writes_new_file(pid, folder) || waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOHANG | WNOWAIT) != 0 ||
            ended.si_pid != 0)
            return;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
}

}  // namespace

TEST(Kill, AtAnyMomentLeavesTheOldOutputOrTheNew)
{
    temp_dir dir;
    std::vector<bytes> disks(30, build_disk(filled_disk("GAME")));  // about 10 MB to write
    write_file(dir.file("GAME.D88"), concat(disks));
    write_file(dir.file("DATA1.D88"), build_disk(filled_disk("DATA1")));
    write_file(dir.file("DATA2.D88"), build_disk(filled_disk("DATA2")));
    const std::vector<std::string> args = {"--overwrite", "GAME.D88", "DATA1.D88", "DATA2.D88"};
    const bytes old = {'o', 'l', 'd'};

    // How long a whole run takes, once the files are in the cache.
    int status = 0;
    auto run_time = std::chrono::steady_clock::duration::max();
    for (int run = 0; run < 2; ++run) {
        const auto started = std::chrono::steady_clock::now();
        waitpid(start_vorkast(dir, args), &status, 0);
        run_time = std::min(run_time, std::chrono::steady_clock::now() - started);
    }
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const bytes done = read_file(dir.file("GAME.NEW.D88"));

    // Kills at moments drawn from the length of a run, until 40 kills have
    // met it running; a run that ended first shortens the span, as the
    // machine may be busier or idler than when it was measured.
    std::mt19937 random(12345);
    long long span = std::chrono::duration_cast<std::chrono::microseconds>(run_time).count();
    int killed_while_running = 0, killed_while_writing = 0;
    const std::string folder = fs::canonical(dir.path).string();
    for (int attempt = 0; attempt < 400 && killed_while_running < 40; ++attempt) {
        write_file(dir.file("GAME.NEW.D88"), old);
        const std::map<std::string, bytes> before = files_below(dir.path);
        const pid_t pid = start_vorkast(dir, args);
        if (attempt % 4 == 3)  // every fourth kill waits for the new file, however busy the machine
            wait_for_new_file(pid, folder);
        else
            std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<long long>(0, span)(random)));
        kill(pid, SIGSTOP);  // held still while its open files are looked at
        waitpid(pid, &status, WUNTRACED);
        if (WIFSTOPPED(status)) {  // else it ended first, and is gone
            killed_while_writing += writes_new_file(pid, folder);
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        killed_while_running += WIFSIGNALED(status);
        if (!WIFSIGNALED(status))
            span = span * 4 / 5;
        std::map<std::string, bytes> after = files_below(dir.path);
        const bytes output = after["GAME.NEW.D88"];
        EXPECT_TRUE(output == old || output == done) << attempt;
        after["GAME.NEW.D88"] = old;
        EXPECT_TRUE(after == before) << attempt << ": a file other than the output changed or was left";
    }
    EXPECT_EQ(killed_while_running, 40);
    EXPECT_GT(killed_while_writing, 0) << "no kill landed while the new file was being written";
    RecordProperty("killed_while_writing", killed_while_writing);
}
