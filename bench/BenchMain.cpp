// The one main of the benchmark binary; every bench/*.cpp only registers its cases.
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
