#include "NandGeometry.h"
#include "UpdateEngine.h"

#include <benchmark/benchmark.h>

namespace {

void fillImage(UpdateEngine &engine, int size)
{
    engine.imageData = QByteArray(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        engine.imageData[i] = char(i * 131 + (i >> 8));
    engine.imageSize = size;
}

void CheckBytesPerSector(benchmark::State &state)
{
    UpdateEngine engine;
    for (std::size_t i = 0; i < engine.pageFrame.size(); ++i)
        engine.pageFrame[i] = std::uint8_t(i * 7);
    for (auto _ : state) {
        engine.addCheckBytes();
        benchmark::DoNotOptimize(engine.pageFrame.data());
    }
    state.SetItemsProcessed(state.iterations() * Nand::SectorsPerPage);
    state.SetBytesProcessed(state.iterations() * Nand::PageDataSize);
}
BENCHMARK(CheckBytesPerSector);

void DataFrameBuild(benchmark::State &state)
{
    UpdateEngine engine;
    fillImage(engine, 3915344);
    int page = 0;
    for (auto _ : state) {
        engine.dataBlockIndex = std::int16_t(page / Nand::PagesPerBlock);
        engine.pageInBlock = std::int8_t(page % Nand::PagesPerBlock);
        engine.buildDataFrame();
        benchmark::DoNotOptimize(engine.pageFrame.data());
        page = (page + 1) % 1912;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * Nand::PageDataSize);
}
BENCHMARK(DataFrameBuild);

void ListFrameBuild(benchmark::State &state)
{
    UpdateEngine engine;
    engine.badBlocks.fill(0);
    for (int b = 0; b < Nand::BlockCount; b += 9)
        engine.badBlocks[b] = 1;
    engine.factoryDefects = 3;
    for (auto _ : state) {
        engine.buildBblFrame();
        benchmark::DoNotOptimize(engine.pageFrame.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ListFrameBuild);

} // namespace
