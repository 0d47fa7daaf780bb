// test_support.h -- folders, files and in-process runs of vorkast for the tests.
#ifndef TESTS_TEST_SUPPORT_H
#define TESTS_TEST_SUPPORT_H

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "d88.h"
#include "image_builder.h"

namespace fs = std::filesystem;

// The library's bytes of an image, as it writes it.
inline bytes d88_bytes(const d88_image& image)
{
    uint8_t* out = nullptr;
    int32_t size = 0;
    EXPECT_EQ(write_d88_image_to_buffer(&image, &out, &size), 0);
    bytes b(out, out + size);
    std::free(out);
    return b;
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
    std::ofstream(fs::u8path(path), std::ios::binary).write(reinterpret_cast<const char*>(content.data()),
                                                static_cast<std::streamsize>(content.size()));
}

inline bytes read_file(const std::string& path)
{
    std::ifstream in(fs::u8path(path), std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every file below folder by its path from there: a regular file's bytes
// (a huge one's size), a link's target.  Folders show through their files.
inline std::map<std::string, bytes> files_below(const std::string& folder)
{
    std::map<std::string, bytes> files;
    for (const auto& entry : fs::recursive_directory_iterator(fs::u8path(folder))) {
        const std::string name = entry.path().lexically_relative(fs::u8path(folder)).generic_u8string();
        if (entry.is_symlink()) {
            const std::string target = "-> " + fs::read_symlink(entry).u8string();
            files[name] = bytes(target.begin(), target.end());
        } else if (entry.is_regular_file()) {
            files[name] = entry.file_size() > (64u << 20) ? bytes(8, 0xFF) : read_file(entry.path().u8string());
        }
    }
    return files;
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
