// Throughput of the raster strip painter on 64 MiB of strip data, beside a
// plain read of the same bytes, which is the floor.
//   build/bench/raster_bench
// Each case paints strips that cover a 1024 x 768 canvas at its scale, again
// and again, until 64 MiB of data have been painted, all in one colour.
#include <benchmark/benchmark.h>
#include <string.h>

#include <random>
#include <vector>

#include "drawing/drawing_format.h"
#include "drawing/raster_paint.h"
#include "tests/fixtures/canvas.h"

namespace {

const size_t kDataBytes = 64u << 20;

enum Density { BLANK, SPARSE, DENSE };

const std::vector<unsigned char>& DataFor(Density density) {
    static std::vector<unsigned char> data[3];
    std::vector<unsigned char>& bytes = data[density];
    if (bytes.empty()) {
        bytes.resize(kDataBytes);
        std::mt19937 rng(7);
        for (unsigned char& b : bytes) {
            if (density == DENSE) {
                b = static_cast<unsigned char>(rng());  // half of the bits are ink
            } else if (density == SPARSE) {
                b = (rng() % 6) == 0 ? static_cast<unsigned char>(1u << (rng() % 8)) : 0;  // about 2 %
            } else {
                b = 0;
            }
        }
    }
    return bytes;
}

void PaintStrips(benchmark::State& state) {
    const float scale = static_cast<float>(state.range(0)) / 100.0f;
    const Density density = static_cast<Density>(state.range(1));
    const std::vector<unsigned char>& data = DataFor(density);
    Canvas canvas(1024, 768);
    BitBlt(canvas.dc, 0, 0, 1024, 768, nullptr, 0, 0, WHITENESS);
    RasterStrip strip;
    strip.left = 0;
    strip.first_row = 0;
    strip.bytes_per_row = static_cast<uint32_t>(1024 / scale / 8) + 1;
    strip.right_limit = static_cast<int32_t>(strip.bytes_per_row * 8);
    strip.colour = RGB(255, 0, 0);
    strip.ink = 1;
    strip.thinning = scale < THINNING_THRESHOLD;
    strip.scale = scale;
    strip.canvas_width = 1024;
    strip.canvas_height = 768;
    const uint32_t rows = static_cast<uint32_t>(768 / scale);
    const size_t strip_bytes = static_cast<size_t>(rows) * strip.bytes_per_row;
    // As the record loop paints them: the ink of strips of one colour in a
    // row gathered, and written at the end, which is timed with the rest.
    const int gathered = static_cast<int>(state.range(2));
    std::vector<unsigned char> block(RasterPendingSize(768));
    RasterPending pending;
    StartRasterPending(&pending, block.data(), 1024, 768);
    std::vector<unsigned char> scratch(RasterScratchSize(&strip));
    RasterLayout layout;
    PrepareRaster(canvas.dc, &strip, gathered ? &pending : nullptr, scratch.data(), &layout);
    for (auto _ : state) {
        for (size_t offset = 0; offset + strip_bytes <= data.size(); offset += strip_bytes)
            PaintRasterRows(&strip, &layout, data.data() + offset, 0, rows);
        FlushRasterPending(&pending);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(data.size() / strip_bytes * strip_bytes));
}

void PlainRead(benchmark::State& state) {
    const std::vector<unsigned char>& data = DataFor(DENSE);
    for (auto _ : state) {
        uint64_t sum = 0;
        for (size_t i = 0; i + 8 <= data.size(); i += 8) {
            uint64_t word;
            memcpy(&word, data.data() + i, 8);
            sum += word;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}

}  // namespace

BENCHMARK(PlainRead)->Unit(benchmark::kMillisecond);
// Arguments: scale in hundredths, density (0 blank, 1 sparse, 2 dense), and
// whether the strips' ink is gathered (1) as the record loop does, or each
// strip painted on its own (0).
BENCHMARK(PaintStrips)
    ->ArgNames({"scale_pct", "density", "gathered"})
    ->ArgsProduct({{100, 50, 20}, {BLANK, SPARSE, DENSE}, {1, 0}})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
