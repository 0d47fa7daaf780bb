// make_seeds -- writes the seed inputs of both fuzz targets into a folder:
// make_seeds DIR creates DIR/read and DIR/job.
#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "fuzz_targets.h"

namespace {

bool write_seeds(const std::string& folder, const std::vector<std::vector<uint8_t>>& seeds)
{
    mkdir(folder.c_str(), 0777);
    for (size_t i = 0; i < seeds.size(); ++i) {
        const std::string path = folder + "/seed-" + std::to_string(i);
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr || std::fwrite(seeds[i].data(), 1, seeds[i].size(), file) != seeds[i].size()) {
            std::printf("cannot write '%s'\n", path.c_str());
            return false;
        }
        std::fclose(file);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::puts("usage: make_seeds DIR");
        return 1;
    }
    const std::string dir = argv[1];
    mkdir(dir.c_str(), 0777);
    return write_seeds(dir + "/read", make_read_seeds()) && write_seeds(dir + "/job", make_job_seeds()) ? 0 : 1;
}
