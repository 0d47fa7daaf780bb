// bench_micro -- the library's read, the 80-track transfer and the write,
// in bytes per second, on a 2D game disk and a 2D data disk; and the
// conversion of a PC-98 2HD disk (77 x 2 x 8 x 1024) to each format and
// back.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

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

// A PC-98 2HD disk to the format named by the argument, and back.
void BM_convert(benchmark::State& state)
{
    d88_disk* disk = create_d88_disk("BENCH", 3);
    const int32_t format = static_cast<int32_t>(state.range(0));
    const bool back = state.range(1) != 0;
    uint8_t* out = nullptr;
    int32_t size = 0;
    if (export_d88_disk(disk, format, nullptr, nullptr, nullptr, &out, &size) != 0)
        std::abort();
    for (auto _ : state) {
        if (back) {
            d88_image image = {};
            if (import_d88_image(&image, out, size, format) != 1)
                std::abort();
            free_d88_image(&image, 0);
        } else {
            uint8_t* again = nullptr;
            int32_t again_size = 0;
            export_d88_disk(disk, format, nullptr, nullptr, nullptr, &again, &again_size);
            benchmark::DoNotOptimize(again);
            std::free(again);
        }
    }
    state.SetLabel(std::string(d88_file_format_name(format)) + (back ? " to d88" : " from d88"));
    state.SetBytesProcessed(state.iterations() * 77 * 2 * 8 * 1024);
    std::free(out);
    free_d88_disk(disk, 1);
}

// A PC-98 2HD disk of random data as an SCP file of two revolutions a
// track (about 38 MB), decoded to D88; and the SCP written.
void BM_flux(benchmark::State& state)
{
    d88_disk* disk = create_d88_disk("BENCH", 3);
    uint32_t seed = 1;
    for (d88_track& track : disk->track) {
        for (int32_t i = 0; i < track.count; ++i) {
            for (int32_t b = 0; b < track.sectors[i].data_size; ++b, seed = seed * 1103515245 + 12345)
                track.sectors[i].data[b] = static_cast<uint8_t>(seed >> 16);
        }
    }
    uint8_t* out = nullptr;
    int32_t size = 0;
    if (export_d88_scp_disk(disk, nullptr, 2, nullptr, nullptr, &out, &size) != 0)
        std::abort();
    const bool back = state.range(0) != 0;
    for (auto _ : state) {
        if (back) {
            d88_image image = {};
            if (import_d88_image(&image, out, size, D88_FILE_SCP) != 1)
                std::abort();
            free_d88_image(&image, 0);
        } else {
            uint8_t* again = nullptr;
            int32_t again_size = 0;
            export_d88_scp_disk(disk, nullptr, 2, nullptr, nullptr, &again, &again_size);
            benchmark::DoNotOptimize(again);
            std::free(again);
        }
    }
    state.SetLabel(std::string(back ? "scp to d88, " : "d88 to scp, ") + std::to_string(size) + " bytes of flux");
    std::free(out);
    free_d88_disk(disk, 1);
}

}  // namespace

BENCHMARK(BM_flux)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_convert)->ArgsProduct({{D88_FILE_HFE, D88_FILE_IMD, D88_FILE_HDM, D88_FILE_FDI, D88_FILE_DIM, D88_FILE_NFD, D88_FILE_RAW}, {0, 1}});
BENCHMARK(BM_read);
BENCHMARK(BM_transfer);
BENCHMARK(BM_write);
BENCHMARK_MAIN();
