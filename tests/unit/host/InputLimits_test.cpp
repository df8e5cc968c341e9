// Inputs that must fail early and in bounded memory: raw streams that are empty or cut short,
// picture inputs that are not files, and values the module writes outside their range.
#include "core/Host.h"
#include "core/HostError.h"
#include "core/World.h"
#include <corvelle/streams.h>
#include "pictures/ImageFiles.h"

#include "CaseName.h"
#include "RenderTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include <sys/stat.h>

namespace corvelle {
namespace {

using testing_support::CaseName;
using testing_support::TempDir;

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(RawFrameReaderTest, AnEmptyStreamIsAtItsEndBeforeAnyFrame) {
    TempDir dir;
    WriteBytes(dir / "empty.raw", "");
    RawFrameReader reader(dir / "empty.raw");
    EXPECT_TRUE(reader.AtEnd());
    World world(PixelLayout::Argb8, 2, 2);
    EXPECT_FALSE(reader.Next(world.View()));
}

TEST(RawFrameReaderTest, ReadsWholeFramesIntoPaddedRowsAndRefusesAShortOne) {
    TempDir dir;
    WriteBytes(dir / "frames.raw", std::string(2 * 16, 'a') + std::string(15, 'b'));
    RawFrameReader reader(dir / "frames.raw");
    ASSERT_FALSE(reader.AtEnd());
    World world(PixelLayout::Argb8, 2, 2, 4);
    ASSERT_TRUE(reader.Next(world.View()));
    EXPECT_EQ(world.Row(1)[7], 'a');
    EXPECT_TRUE(world.PaddingIntact());
    ASSERT_TRUE(reader.Next(world.View()));
    try {
        reader.Next(world.View());
        FAIL() << "a frame one byte short was taken";
    } catch (const HostError& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::IO);
    }
}

struct PictureCase {
    const char* name;
    const char* path;
};

class RefusedPictureTest : public testing::TestWithParam<PictureCase> {};

// None of these can hang or take memory: they are refused before a byte is read.
TEST_P(RefusedPictureTest, IsAnIOError) {
    try {
        ReadImage(GetParam().path, PixelLayout::Argb8);
        FAIL() << GetParam().path << " was read";
    } catch (const HostError& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::IO);
    }
}

INSTANTIATE_TEST_SUITE_P(NotFiles, RefusedPictureTest,
                         testing::Values(PictureCase{"endless_device", "/dev/zero"},
                                         PictureCase{"folder", "/"},
                                         PictureCase{"missing", "/nonexistent.png"}),
                         CaseName());

TEST(ReadImageTest, APictureAboveThePixelLimitIsRefusedUnread) {
    TempDir dir;
    World world(PixelLayout::Argb8, 20, 10);
    WriteImage(dir / "wide.png", world);
    EXPECT_NO_THROW(ReadImage(dir / "wide.png", PixelLayout::Argb8, 200));
    try {
        ReadImage(dir / "wide.png", PixelLayout::Argb8, 199);
        FAIL() << "a picture of 200 pixels passed a limit of 199";
    } catch (const HostError& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::IO);
    }
}

TEST(ReadImageTest, AFifoIsRefusedWithoutWaitingForAWriter) {
    TempDir dir;
    ASSERT_EQ(0, mkfifo((dir / "pipe.png").c_str(), 0600));
    EXPECT_THROW(ReadImage(dir / "pipe.png", PixelLayout::Argb8), HostError);
}

TEST(WorldTest, MemoryThatCannotBeHadIsAnOutOfMemoryError) {
    try {
        World world(PixelLayout::BgraFloat, 32767, 32767, 0x7fffffff - 32767 * 16);
        FAIL() << "an 8 TiB world was made";
    } catch (const HostError& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::OutOfMemory);
    }
}

struct ClampCase {
    const char* name;
    PF_ParamType type;
    double written;
    double stored;
};

class ClampTest : public testing::TestWithParam<ClampCase> {};

TEST_P(ClampTest, StoresTheValueWithinTheValidRange) {
    const ClampCase& c = GetParam();
    PF_ParamDef registered{};
    registered.param_type = c.type;
    registered.u.fs_d.valid_min = 0.0f;
    registered.u.fs_d.valid_max = 15000.0f;
    PF_ParamDef param = registered;
    if (c.type == PF_Param_FLOAT_SLIDER) {
        param.u.fs_d.value = c.written;
        ClampToValidRange(registered, param);
        EXPECT_EQ(param.u.fs_d.value, c.stored);
    } else if (c.type == PF_Param_FIX_SLIDER) {
        registered.u.fd.valid_min = 0;
        registered.u.fd.valid_max = 100 << 16;
        param.u.fd.value = static_cast<PF_Fixed>(c.written * 65536.0);
        ClampToValidRange(registered, param);
        EXPECT_EQ(param.u.fd.value, static_cast<PF_Fixed>(c.stored * 65536.0));
    } else {
        registered.u.pd.num_choices = 3;
        param.u.pd.value = static_cast<A_long>(c.written);
        ClampToValidRange(registered, param);
        EXPECT_EQ(param.u.pd.value, static_cast<A_long>(c.stored));
    }
}

INSTANTIATE_TEST_SUITE_P(Params, ClampTest,
                         testing::Values(ClampCase{"width_past_the_corner", PF_Param_FLOAT_SLIDER, 16000.5,
                                                   15000.0},
                                         ClampCase{"negative_height", PF_Param_FLOAT_SLIDER, -3.0, 0.0},
                                         ClampCase{"within", PF_Param_FLOAT_SLIDER, 12.25, 12.25},
                                         ClampCase{"nan", PF_Param_FLOAT_SLIDER, std::nan(""), 0.0},
                                         ClampCase{"opacity_130", PF_Param_FIX_SLIDER, 130.0, 100.0},
                                         ClampCase{"popup_zero", PF_Param_POPUP, 0, 1},
                                         ClampCase{"popup_past_end", PF_Param_POPUP, 9, 3}),
                         CaseName());

}   // namespace
}   // namespace corvelle
