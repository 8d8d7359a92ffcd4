// Ground queries over random points of a synthetic 1025 x 1025 field: the
// height, the triangle normal, the smoothed normal, the tile under a point
// and the friction lookup that follows it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

#include "base/mem.h"
#include "track/terrain.h"

namespace {

enum { point_count = 4096 };

struct ground_fixture {
    terrain t = {};
    float x[point_count], z[point_count];

    ground_fixture() {
        terrain_create(&t, 9, 4.0f, nullptr);  // 1025 samples, 4096 ft
        for (int j = 0; j < t.size; j++)
            for (int i = 0; i < t.size; i++)
                t.heights[i + j * t.size] = 20.0f * std::sin(i * 0.05f) * std::cos(j * 0.031f) + 0.01f * (float)((i * 7919 + j * 104729) % 97);
        terrain_update_range(&t);
        uint32_t seed = 12345;
        auto next = [&seed]() {
            seed = seed * 1664525u + 1013904223u;
            return (float)(seed >> 8) / 16777216.0f;
        };
        // 16 tiles scattered over the map, each with a four-point friction curve.
        mem_free(t.tiles.tiles);
        t.tiles.tiles = (tile*)mem_calloc_or_die(16, sizeof(tile));
        t.tiles.tile_count = 16;
        for (int k = 0; k < 16; k++) {
            tile_defaults(&t.tiles.tiles[k]);
            for (int p = 0; p < 4; p++) t.tiles.tiles[k].friction[p] = {0.6f + 0.1f * p, 2.0f + 5.0f * p};
        }
        int squares = t.tiles.map_side * t.tiles.map_side;
        for (int q = 0; q < squares; q++) t.tiles.map[q] = (uint8_t)(next() * 16.0f);
        // Mostly inside the field, a few beyond its borders.
        for (int k = 0; k < point_count; k++) {
            x[k] = (next() * 1.02f - 0.01f) * t.world_size;
            z[k] = (next() * 1.02f - 0.01f) * t.world_size;
        }
    }
    ~ground_fixture() { terrain_free(&t); }
};

ground_fixture& fixture() {
    static ground_fixture f;
    return f;
}

void BM_height(benchmark::State& state) {
    ground_fixture& f = fixture();
    int k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(terrain_height(&f.t, f.x[k], f.z[k]));
        k = (k + 1) & (point_count - 1);
    }
}
BENCHMARK(BM_height);

void BM_face_normal(benchmark::State& state) {
    ground_fixture& f = fixture();
    int k = 0;
    float n[3];
    for (auto _ : state) {
        terrain_face_normal(&f.t, f.x[k], f.z[k], n);
        benchmark::DoNotOptimize(n);
        k = (k + 1) & (point_count - 1);
    }
}
BENCHMARK(BM_face_normal);

void BM_vertex_normal(benchmark::State& state) {
    ground_fixture& f = fixture();
    int k = 0;
    float n[3];
    for (auto _ : state) {
        terrain_vertex_normal(&f.t, (int)(f.x[k] * f.t.inv_spacing), (int)(f.z[k] * f.t.inv_spacing), n);
        benchmark::DoNotOptimize(n);
        k = (k + 1) & (point_count - 1);
    }
}
BENCHMARK(BM_vertex_normal);

void BM_tile_and_friction(benchmark::State& state) {
    ground_fixture& f = fixture();
    int k = 0;
    for (auto _ : state) {
        const tile* t = terrain_tile(&f.t, f.x[k], f.z[k]);
        benchmark::DoNotOptimize(tile_friction(t, (float)(k & 31)));
        k = (k + 1) & (point_count - 1);
    }
}
BENCHMARK(BM_tile_and_friction);

// One tick's worth of wheel work for a full field of riders: 160 bikes, two
// wheels, a height, a normal and a tile each.
void BM_tick_of_wheels(benchmark::State& state) {
    ground_fixture& f = fixture();
    float n[3];
    for (auto _ : state) {
        float sum = 0.0f;
        for (int k = 0; k < 320; k++) {
            sum += terrain_height(&f.t, f.x[k], f.z[k]);
            terrain_face_normal(&f.t, f.x[k], f.z[k], n);
            sum += n[1] + (float)terrain_tile_at(&f.t, f.x[k], f.z[k]);
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_tick_of_wheels);

}  // namespace

BENCHMARK_MAIN();
