// Pixel memory: zeroed at every size, whole through copies and moves, and page aligned where
// frames are large enough for the kernel's copies in and out to care.
#include "core/World.h"

#include "CaseName.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <utility>

namespace corvelle {
namespace {

struct SizeCase {
    const char* name;
    std::size_t size;
    bool pageAligned;
};

class PixelBufferTest : public testing::TestWithParam<SizeCase> {};

TEST_P(PixelBufferTest, IsZeroedWritableAndSurvivesCopiesAndMoves) {
    const SizeCase& c = GetParam();
    PixelBuffer bytes(c.size);
    ASSERT_EQ(bytes.size(), c.size);
    const std::size_t places[] = {0, c.size / 2, c.size - 1};
    for (const std::size_t at : places) {
        ASSERT_EQ(bytes.data()[at], 0) << "byte " << at;
    }
    for (const std::size_t at : places) {
        bytes.data()[at] = static_cast<uint8_t>(at | 1);
    }
    if (c.pageAligned) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(bytes.data()) %
                      static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE)),
                  0u);
    }
    const PixelBuffer copy(bytes);
    ASSERT_EQ(copy.size(), c.size);
    EXPECT_EQ(0, std::memcmp(copy.data(), bytes.data(), c.size));
    PixelBuffer moved(std::move(bytes));
    EXPECT_EQ(0, std::memcmp(copy.data(), moved.data(), c.size));
    // What is moved from is empty, so copying or comparing it never reads through null.
    EXPECT_TRUE(bytes.empty());   // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(PixelBuffer(bytes), PixelBuffer());
    moved = copy;   // the mapped block it held is released, the copy's bytes taken
    EXPECT_EQ(0, std::memcmp(copy.data(), moved.data(), c.size));
}

INSTANTIATE_TEST_SUITE_P(Sizes, PixelBufferTest,
                         testing::Values(SizeCase{"one_byte", 1, false},
                                         SizeCase{"a_small_picture", 64 * 36 * 4, false},
                                         SizeCase{"just_under_a_block", (std::size_t{256} << 10) - 1, false},
                                         SizeCase{"a_block", std::size_t{256} << 10, true},
                                         SizeCase{"a_1080p_frame_and_a_bit", 1920 * 1080 * 4 + 3, true}),
                         testing_support::CaseName());

}   // namespace
}   // namespace corvelle
