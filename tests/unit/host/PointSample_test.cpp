// Point sampling to the size of a downsampled render.
#include "pixels/PointSample.h"

#include "CaseName.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvelle {
namespace {

using testing_support::CaseName;

struct SampleCase {
    const char* name;
    A_long width;
    PF_RationalScale factor;
    std::vector<uint8_t> expectedColumns;   // which source column each output column took
};

class PointSampleTest : public testing::TestWithParam<SampleCase> {};

TEST_P(PointSampleTest, TakesTheTopLeftPixelOfEachBlock) {
    const SampleCase& c = GetParam();
    World source(PixelLayout::Argb8, c.width, 2);
    for (A_long y = 0; y < 2; ++y) {
        for (A_long x = 0; x < c.width; ++x) {
            uint8_t* p = source.PixelAt(x, y);
            p[0] = static_cast<uint8_t>(y);
            p[1] = static_cast<uint8_t>(x);
        }
    }
    const World sampled = PointSample(source, c.factor, PF_RationalScale{1, 1});
    ASSERT_EQ(sampled.Width(), static_cast<A_long>(c.expectedColumns.size()));
    ASSERT_EQ(sampled.Height(), 2);
    for (A_long x = 0; x < sampled.Width(); ++x) {
        EXPECT_EQ(sampled.PixelAt(x, 1)[1], c.expectedColumns[static_cast<std::size_t>(x)]) << "column " << x;
        EXPECT_EQ(sampled.PixelAt(x, 1)[0], 1) << "row kept";
    }
}

INSTANTIATE_TEST_SUITE_P(Downsample, PointSampleTest,
                         testing::Values(SampleCase{"full", 3, {1, 1}, {0, 1, 2}},
                                         SampleCase{"half_even", 4, {1, 2}, {0, 2}},
                                         SampleCase{"half_odd_keeps_last", 5, {1, 2}, {0, 2, 4}},
                                         SampleCase{"third", 7, {1, 3}, {0, 3, 6}},
                                         SampleCase{"two_thirds", 6, {2, 3}, {0, 1, 3, 4}},
                                         SampleCase{"quarter_of_one", 1, {1, 4}, {0}}),
                         CaseName());

TEST(PointSample, SidesRoundUp) {
    EXPECT_EQ(DownsampledSide(1920, PF_RationalScale{1, 2}), 960);
    EXPECT_EQ(DownsampledSide(1081, PF_RationalScale{1, 2}), 541);
    EXPECT_EQ(DownsampledSide(1080, PF_RationalScale{1, 7}), 155);   // 154.29
    EXPECT_EQ(DownsampledSide(32767, PF_RationalScale{1, 1}), 32767);
}

}   // namespace
}   // namespace corvelle
