#include "MainWindow.h"
#include "NandGeometry.h"

#include <benchmark/benchmark.h>

namespace {

void fillImage(MainWindow &window, int size)
{
    window.imageData = QByteArray(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        window.imageData[i] = char(i * 131 + (i >> 8));
    window.imageSize = size;
}

void CheckBytesPerSector(benchmark::State &state)
{
    MainWindow window;
    for (std::size_t i = 0; i < window.pageFrame.size(); ++i)
        window.pageFrame[i] = std::uint8_t(i * 7);
    for (auto _ : state) {
        window.addCheckBytes();
        benchmark::DoNotOptimize(window.pageFrame.data());
    }
    state.SetItemsProcessed(state.iterations() * Nand::SectorsPerPage);
    state.SetBytesProcessed(state.iterations() * Nand::PageDataSize);
}
BENCHMARK(CheckBytesPerSector);

void DataFrameBuild(benchmark::State &state)
{
    MainWindow window;
    fillImage(window, 3915344);
    int page = 0;
    for (auto _ : state) {
        window.dataBlockIndex = std::int16_t(page / Nand::PagesPerBlock);
        window.pageInBlock = std::int8_t(page % Nand::PagesPerBlock);
        window.buildDataFrame();
        benchmark::DoNotOptimize(window.pageFrame.data());
        page = (page + 1) % 1912;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * Nand::PageDataSize);
}
BENCHMARK(DataFrameBuild);

void ListFrameBuild(benchmark::State &state)
{
    MainWindow window;
    window.badBlocks.fill(0);
    for (int b = 0; b < Nand::BlockCount; b += 9)
        window.badBlocks[b] = 1;
    window.factoryDefects = 3;
    for (auto _ : state) {
        window.buildBblFrame();
        benchmark::DoNotOptimize(window.pageFrame.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ListFrameBuild);

} // namespace
