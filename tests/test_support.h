// test_support.h -- folders, files and in-process runs of vorkast for the tests.
#ifndef TESTS_TEST_SUPPORT_H
#define TESTS_TEST_SUPPORT_H

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image_builder.h"

namespace fs = std::filesystem;

// A path from UTF-8 text, as the programs take their arguments everywhere.
inline fs::path u8(const std::string& path)
{
    return fs::u8path(path);
}

// A fresh folder, removed with everything in it at the end of the test.
struct temp_dir {
    std::string path = (fs::temp_directory_path() / ("vorkast-test-" + std::to_string(std::random_device{}()))).string();
    temp_dir() { fs::create_directories(path); }
    ~temp_dir() { fs::remove_all(path); }
    std::string file(const std::string& name) const { return path + "/" + name; }
};

inline void write_file(const std::string& path, const bytes& content)
{
    std::ofstream(u8(path), std::ios::binary).write(reinterpret_cast<const char*>(content.data()),
                                                static_cast<std::streamsize>(content.size()));
}

inline bytes read_file(const std::string& path)
{
    std::ifstream in(u8(path), std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What call prints on standard output.
template <class F>
std::string printed_by(F call)
{
    testing::internal::CaptureStdout();
    call();
    return testing::internal::GetCapturedStdout();
}

struct run_result {
    int status;
    std::string out;
};

// Calls run(argc, argv) inside folder dir with `input` as standard input,
// as a shell would start the program there.
template <class Run>
run_result run_in(const temp_dir& dir, const char* program, Run run, std::vector<std::string> args,
                  const std::string& input = "")
{
    write_file(dir.path + ".in", bytes(input.begin(), input.end()));
    EXPECT_NE(std::freopen((dir.path + ".in").c_str(), "rb", stdin), nullptr);
    const fs::path cwd = fs::current_path();
    fs::current_path(dir.path);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    run_result r{1, ""};
    r.out = printed_by([&] { r.status = run(static_cast<int>(args.size()), argv.data()); });
    fs::current_path(cwd);
#ifdef _WIN32
    std::freopen("NUL", "rb", stdin);  // an open file cannot be removed
#endif
    fs::remove(dir.path + ".in");
    return r;
}

#endif
