// bench_micro -- the library's read, the 80-track transfer and the write,
// in bytes per second, on a 2D game disk and a 2D data disk.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "d88.h"
#include "vorkast.h"

namespace {

struct image_bytes {
    uint8_t* data = nullptr;
    int32_t size = 0;
};

image_bytes make_image_bytes()
{
    d88_disk* disk = create_d88_disk("BENCH", 0);
    d88_image image = {1, disk};
    image_bytes out;
    write_d88_image_to_buffer(&image, &out.data, &out.size);
    free_d88_image(&image, 0);
    return out;
}

void read_into(d88_image* image, const image_bytes& bytes)
{
    if (read_d88_image_from_buffer(image, bytes.data, bytes.size) != 1)
        std::abort();
}

void BM_read(benchmark::State& state)
{
    const image_bytes bytes = make_image_bytes();
    for (auto _ : state) {
        d88_image image = {};
        read_into(&image, bytes);
        free_d88_image(&image, 0);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size);
    std::free(bytes.data);
}

void BM_transfer(benchmark::State& state)
{
    const image_bytes bytes = make_image_bytes();
    d88_image data = {};
    read_into(&data, bytes);
    uint8_t buffer[TRACK_DATA_SIZE];
    for (auto _ : state) {
        state.PauseTiming();
        d88_image game = {};
        read_into(&game, bytes);
        state.ResumeTiming();
        if (transfer_tracks(game.disks, data.disks, data.disks, -1, buffer) != 0)
            std::abort();
        state.PauseTiming();
        free_d88_image(&game, 0);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * TRACK_NUMBER_COUNT * TRACK_DATA_SIZE);
    free_d88_image(&data, 0);
    std::free(bytes.data);
}

void BM_write(benchmark::State& state)
{
    const image_bytes bytes = make_image_bytes();
    d88_image image = {};
    read_into(&image, bytes);
    for (auto _ : state) {
        uint8_t* out = nullptr;
        int32_t size = 0;
        write_d88_image_to_buffer(&image, &out, &size);
        benchmark::DoNotOptimize(out);
        std::free(out);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size);
    free_d88_image(&image, 0);
    std::free(bytes.data);
}

}  // namespace

BENCHMARK(BM_read);
BENCHMARK(BM_transfer);
BENCHMARK(BM_write);
BENCHMARK_MAIN();
