// test_support.h -- files, folders and tool runs for the tests.
#ifndef TESTS_TEST_SUPPORT_H
#define TESTS_TEST_SUPPORT_H

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "d88.h"
#include "image_builder.h"

// A fresh folder, removed with everything in it at the end of the test.
struct temp_dir {
    std::string path;
    temp_dir()
    {
        char pattern[] = "/tmp/vorkast-test-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~temp_dir() { std::filesystem::remove_all(path); }
    std::string file(const std::string& name) const { return path + "/" + name; }
};

inline void write_file(const std::string& path, const bytes& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
}

inline bytes read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool file_exists(const std::string& path)
{
    return std::filesystem::exists(std::filesystem::symlink_status(path));
}

inline std::vector<std::string> list_dir(const std::string& path)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    return names;
}

// What call prints on standard output.
template <class F>
std::string printed_by(F call)
{
    testing::internal::CaptureStdout();
    call();
    return testing::internal::GetCapturedStdout();
}

// An image read from bytes that the reader must accept silently; released
// at the end of the test.
struct loaded_image {
    d88_image image = {};
    explicit loaded_image(const bytes& b)
    {
        EXPECT_EQ(printed_by([&] { read_d88_image_from_buffer(&image, b.data(), static_cast<int32_t>(b.size())); }), "");
    }
    ~loaded_image() { free_d88_image(&image, 0); }
    d88_disk* disk() { return image.disks; }
};

struct tool_run {
    int status;
    std::string out;
};

// Runs the vorkast binary in folder cwd with the given arguments, feeding
// input on its standard input and then closing it; returns the exit status
// and everything printed on standard output.  A file_limit of 0 or more
// caps the size of any file the tool writes, to make a write fail.
inline tool_run run_tool(const std::vector<std::string>& args, const std::string& cwd = ".",
                         const std::string& input = "", long file_limit = -1, const char* binary = VORKAST_BINARY)
{
    int to_child[2], from_child[2];
    if (pipe(to_child) != 0 || pipe(from_child) != 0)
        return {-1, "pipe failed"};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(to_child[0], 0);
        dup2(from_child[1], 1);
        close(to_child[1]);
        close(from_child[0]);
        if (chdir(cwd.c_str()) != 0)
            _exit(127);
        if (file_limit >= 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit = {static_cast<rlim_t>(file_limit), static_cast<rlim_t>(file_limit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(binary));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(binary, argv.data());
        _exit(127);
    }
    close(to_child[0]);
    close(from_child[1]);
    if (!input.empty()) {
        const ssize_t written = write(to_child[1], input.data(), input.size());
        (void)written;
    }
    close(to_child[1]);
    std::string out;
    char chunk[4096];
    ssize_t n;
    while ((n = read(from_child[0], chunk, sizeof chunk)) > 0)
        out.append(chunk, static_cast<size_t>(n));
    close(from_child[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), out};
}

#endif
