#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class PageFrameTest : public ::testing::Test
{
protected:
    Bytes frameBytes() const { return Bytes(engine.pageFrame.begin(), engine.pageFrame.end()); }

    void loadImage(const Bytes &image)
    {
        engine.imageData = QByteArray(reinterpret_cast<const char *>(image.data()), int(image.size()));
        engine.imageSize = int(image.size());
    }

    Bytes buildData(int imageBlock, int page)
    {
        engine.dataBlockIndex = std::int16_t(imageBlock);
        engine.pageInBlock = std::int8_t(page);
        engine.buildDataFrame();
        return frameBytes();
    }

    UpdateEngine engine;
};

struct CheckByteCase
{
    const char *name;
    std::vector<std::pair<int, std::uint8_t>> bytes; // every other byte of the sector is `fill`
    std::uint8_t fill;
    Bytes expected;
};

void PrintTo(const CheckByteCase &c, std::ostream *os)
{
    *os << c.name;
}

const CheckByteCase checkByteCases[] = {
    {"AllZero", {}, 0x00, {0x00, 0x00, 0x00, 0xFF}},
    {"AllOnes", {}, 0xFF, {0x00, 0x00, 0x00, 0xFF}},
    {"FirstByteOne", {{0, 0x01}}, 0x00, {0x01, 0x00, 0xFF, 0xFF}},
    {"ByteFiveSeven", {{5, 0x07}}, 0x00, {0x07, 0x05, 0xFA, 0xFF}},
    {"EvenParityByteLeavesPositionsAlone", {{0, 0x03}}, 0x00, {0x03, 0x00, 0x00, 0xFF}},
    {"TwoOddBytes", {{1, 0x01}, {2, 0x01}}, 0x00, {0x00, 0x03, 0x03, 0xFF}},
    {"LastByteHighBit", {{255, 0x80}}, 0x00, {0x80, 0xFF, 0x00, 0xFF}},
};

class CheckBytesTest : public PageFrameTest, public ::testing::WithParamInterface<CheckByteCase>
{
};

TEST_P(CheckBytesTest, EverySectorGetsTheCheckBytesOfItsOwnData)
{
    const CheckByteCase &c = GetParam();
    Bytes sector(expect::SectorBytes, c.fill);
    for (const auto &b : c.bytes)
        sector[b.first] = b.second;

    // The same sector in all eight places; head bytes and stale check bytes must not leak in.
    Bytes expected(expect::FrameBytes, 0x5A);
    for (int k = 0; k < 8; ++k) {
        std::copy(sector.begin(), sector.end(), expected.begin() + 16 + 260 * k);
        std::copy(c.expected.begin(), c.expected.end(), expected.begin() + 272 + 260 * k);
    }
    std::fill(engine.pageFrame.begin(), engine.pageFrame.end(), 0x5A);
    for (int k = 0; k < 8; ++k)
        std::copy(sector.begin(), sector.end(), engine.pageFrame.begin() + 16 + 260 * k);

    engine.addCheckBytes();
    EXPECT_EQ(frameBytes(), expected);
}

INSTANTIATE_TEST_SUITE_P(Vectors, CheckBytesTest, ::testing::ValuesIn(checkByteCases),
    [](const auto &info) { return std::string(info.param.name); });

struct DataFrameCase
{
    const char *name;
    std::size_t imageSize;
    int imageBlock;
    int page;
    bool holdsFinalByte;
};

void PrintTo(const DataFrameCase &c, std::ostream *os)
{
    *os << c.name;
}

const DataFrameCase dataFrameCases[] = {
    {"FirstPage", 3915344, 0, 0, false},
    {"PageInsideALaterBlock", 3915344, 5, 17, false},
    {"PageBeforeTheLast", 3915344, 29, 54, false},
    {"LastPageOfTheEmbeddedSizeIsPartlyErased", 3915344, 29, 55, true},
    {"PagePastTheEndIsAllErased", 3915344, 29, 56, true},
    {"ImageOfWholePagesEndsWithAFullPage", 4 * 2048, 0, 3, true},
    {"ImageOfWholePagesHasNoPageAfterIt", 4 * 2048, 0, 2, false},
    {"ImageEndingInsideASector", 2048 + 300, 0, 1, true},
    {"ImageOfOneByte", 1, 0, 0, true},
};

class DataFrameTest : public PageFrameTest, public ::testing::WithParamInterface<DataFrameCase>
{
};

TEST_P(DataFrameTest, FrameCarriesTheImageBytesOfItsPageAndMarksTheEnd)
{
    const DataFrameCase &c = GetParam();
    const Bytes image = expect::patternImage(c.imageSize, 3);
    loadImage(image);
    engine.imageDone = !c.holdsFinalByte;

    EXPECT_EQ(buildData(c.imageBlock, c.page), expect::dataFrame(image, c.imageBlock, c.page));
    EXPECT_EQ(engine.imageDone, c.holdsFinalByte);
}

INSTANTIATE_TEST_SUITE_P(Pages, DataFrameTest, ::testing::ValuesIn(dataFrameCases),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(PageFrameTest, DataFrameHeadRepeatsTheLowByteOfTheImageBlock)
{
    loadImage(expect::patternImage(100));
    const Bytes frame = buildData(256, 0);
    const Bytes head(frame.begin(), frame.begin() + 16);
    EXPECT_EQ(head,
        Bytes({0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
            0xFF}));
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(
            Bytes(frame.begin() + 272 + 260 * k, frame.begin() + 276 + 260 * k), Bytes({0, 0, 0, 0xFF}));
}

TEST_F(PageFrameTest, EndMarkFollowsThePageLastBuiltWhenALastBlockIsRewound)
{
    const Bytes image = expect::patternImage(3915344, 5);
    loadImage(image);
    buildData(29, 55);
    EXPECT_TRUE(engine.imageDone);
    buildData(29, 0);
    EXPECT_FALSE(engine.imageDone);
    buildData(29, 55);
    EXPECT_TRUE(engine.imageDone);
}

TEST_F(PageFrameTest, ListFrameReadsBackAsAStoredList)
{
    engine.badBlocks.fill(0);
    engine.factoryDefects = 0x0203;
    for (int b : {0, 7, 300, 1023})
        engine.badBlocks[b] = 1;
    engine.buildBblFrame();
    EXPECT_EQ(frameBytes(), expect::listFrame(0x0203, {0, 7, 300, 1023}));

    const Bytes frame = frameBytes();
    const Bytes sectorStart(frame.begin() + 16, frame.begin() + 16 + 14);
    EXPECT_EQ(sectorStart,
        Bytes({0xA5, 0xA5, 0x03, 0x02, 0x00, 0x00, 0x07, 0x00, 0x2C, 0x01, 0xFF, 0x03, 0xFF, 0xFF}));
}

TEST_F(PageFrameTest, ListFrameWithoutBadBlocksHoldsOnlyTheHeader)
{
    engine.badBlocks.fill(0);
    engine.factoryDefects = 3;
    engine.buildBblFrame();
    EXPECT_EQ(frameBytes(), expect::listFrame(3, {}));
}

TEST_F(PageFrameTest, ListFrameKeepsTheLowestHundredAndOneBadBlocks)
{
    engine.badBlocks.fill(0);
    engine.factoryDefects = 2;
    std::set<int> bad;
    for (int i = 0; i < 150; ++i) {
        engine.badBlocks[1023 - 5 * i] = 1;
        bad.insert(1023 - 5 * i);
    }
    engine.buildBblFrame();
    std::set<int> lowest(bad.begin(), std::next(bad.begin(), 101));
    EXPECT_EQ(frameBytes(), expect::listFrame(2, lowest));
    EXPECT_EQ(frameBytes()[16 + 4 + 2 * 101], 0xFF);
}

} // namespace
