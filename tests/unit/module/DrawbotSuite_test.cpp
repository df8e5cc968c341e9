// The pen and path owners against a mocked supplier suite: what they make, give back and
// throw, and in which order.
#include "Headers/adobesdk/DrawbotSuite.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>

namespace {

using testing::_;
using testing::DoAll;
using testing::InSequence;
using testing::Return;
using testing::SetArgPointee;
using testing::StrictMock;

class MockSupplier {
public:
    MOCK_METHOD(SPErr, NewPen, (DRAWBOT_SupplierRef, const DRAWBOT_ColorRGBA*, float, DRAWBOT_PenRef*));
    MOCK_METHOD(SPErr, NewPath, (DRAWBOT_SupplierRef, DRAWBOT_PathRef*));
    MOCK_METHOD(SPErr, RetainObject, (DRAWBOT_ObjectRef));
    MOCK_METHOD(SPErr, ReleaseObject, (DRAWBOT_ObjectRef));
};

// The C table carries no user pointer, so its functions find the test's mock here.
MockSupplier* g_mock = nullptr;

SPErr NewPenThunk(DRAWBOT_SupplierRef s, const DRAWBOT_ColorRGBA* c, float size, DRAWBOT_PenRef* out) {
    return g_mock->NewPen(s, c, size, out);
}
SPErr NewPathThunk(DRAWBOT_SupplierRef s, DRAWBOT_PathRef* out) {
    return g_mock->NewPath(s, out);
}
SPErr RetainThunk(DRAWBOT_ObjectRef o) {
    return g_mock->RetainObject(o);
}
SPErr ReleaseThunk(DRAWBOT_ObjectRef o) {
    return g_mock->ReleaseObject(o);
}

DRAWBOT_SupplierSuite1 g_table = {NewPenThunk, NewPathThunk, RetainThunk, ReleaseThunk};

template <typename Ref>
Ref Fake(std::uintptr_t n) {
    return reinterpret_cast<Ref>(n);
}
DRAWBOT_ObjectRef Object(std::uintptr_t n) {
    return Fake<DRAWBOT_ObjectRef>(n);
}

const DRAWBOT_SupplierRef kSupplier = Fake<DRAWBOT_SupplierRef>(0x5000);
const DRAWBOT_ColorRGBA kYellow = {0.9f, 0.9f, 0.0f, 1.0f};

class DrawbotWrapperTest : public testing::Test {
protected:
    DrawbotWrapperTest() { g_mock = &m_mock; }
    ~DrawbotWrapperTest() override { g_mock = nullptr; }

    StrictMock<MockSupplier> m_mock;
};

TEST_F(DrawbotWrapperTest, PenMadeAndDroppedCallsHostOnceEach) {
    InSequence order;
    EXPECT_CALL(m_mock, NewPen(kSupplier, &kYellow, 1.0f, _))
        .WillOnce(DoAll(SetArgPointee<3>(Fake<DRAWBOT_PenRef>(0x10)), Return(kSPNoError)));
    EXPECT_CALL(m_mock, ReleaseObject(Object(0x10))).WillOnce(Return(kSPNoError));
    {
        DRAWBOT_PenP pen(&g_table, kSupplier, &kYellow, 1.0f);
        EXPECT_EQ(pen.Get(), Fake<DRAWBOT_PenRef>(0x10));
    }
}

TEST_F(DrawbotWrapperTest, RenewingGivesEachOldPathBackRightAfterItsSuccessor) {
    InSequence order;
    EXPECT_CALL(m_mock, NewPath(kSupplier, _))
        .WillOnce(DoAll(SetArgPointee<1>(Fake<DRAWBOT_PathRef>(1)), Return(kSPNoError)));
    for (std::uintptr_t n = 2; n <= 4; ++n) {
        EXPECT_CALL(m_mock, NewPath(kSupplier, _))
            .WillOnce(DoAll(SetArgPointee<1>(Fake<DRAWBOT_PathRef>(n)), Return(kSPNoError)));
        EXPECT_CALL(m_mock, ReleaseObject(Object(n - 1))).WillOnce(Return(kSPNoError));
    }
    EXPECT_CALL(m_mock, ReleaseObject(Object(4))).WillOnce(Return(kSPNoError));

    DRAWBOT_PathP path(&g_table, kSupplier);
    for (int i = 0; i < 3; ++i) {
        path.New(&g_table, kSupplier);
    }
    EXPECT_EQ(path.Get(), Fake<DRAWBOT_PathRef>(4));
}

TEST_F(DrawbotWrapperTest, ReleasingEmptyOrTwiceMakesNoHostCall) {
    InSequence order;
    EXPECT_CALL(m_mock, NewPath(kSupplier, _))
        .WillOnce(DoAll(SetArgPointee<1>(Fake<DRAWBOT_PathRef>(7)), Return(kSPNoError)));
    EXPECT_CALL(m_mock, ReleaseObject(Object(7))).WillOnce(Return(kSPNoError));

    DRAWBOT_PathP path(&g_table, kSupplier);
    path.ReleaseObject();
    path.ReleaseObject();
    EXPECT_EQ(path.Get(), nullptr);
    // Nothing held: retaining asks nothing of the host either, nor does destruction.
    path.RetainObject();
}

TEST_F(DrawbotWrapperTest, SameReferenceFromNewIsNotReleased) {
    EXPECT_CALL(m_mock, NewPath(kSupplier, _))
        .Times(2)
        .WillRepeatedly(DoAll(SetArgPointee<1>(Fake<DRAWBOT_PathRef>(9)), Return(kSPNoError)));
    EXPECT_CALL(m_mock, ReleaseObject(Object(9))).WillOnce(Return(kSPNoError));

    DRAWBOT_PathP path(&g_table, kSupplier);
    path.New(&g_table, kSupplier);
}

TEST_F(DrawbotWrapperTest, RefusedNewPathInConstructorThrowsHostCodeAndHoldsNothing) {
    EXPECT_CALL(m_mock, NewPath(kSupplier, _)).WillOnce(Return(SPErr{512}));
    try {
        DRAWBOT_PathP path(&g_table, kSupplier);
        ADD_FAILURE() << "no exception";
    } catch (const DRAWBOT_Exception& e) {
        EXPECT_EQ(e.ErrorCode(), 512);
    }
}

TEST_F(DrawbotWrapperTest, RefusedNewKeepsTheOldObject) {
    InSequence order;
    EXPECT_CALL(m_mock, NewPath(kSupplier, _))
        .WillOnce(DoAll(SetArgPointee<1>(Fake<DRAWBOT_PathRef>(3)), Return(kSPNoError)));
    EXPECT_CALL(m_mock, NewPath(kSupplier, _)).WillOnce(Return(SPErr{4}));
    EXPECT_CALL(m_mock, ReleaseObject(Object(3))).WillOnce(Return(kSPNoError));

    DRAWBOT_PathP path(&g_table, kSupplier);
    EXPECT_THROW(path.New(&g_table, kSupplier), DRAWBOT_Exception);
    EXPECT_EQ(path.Get(), Fake<DRAWBOT_PathRef>(3));
}

TEST_F(DrawbotWrapperTest, FailedExplicitReleaseThrowsAndKeepsHolding) {
    InSequence order;
    EXPECT_CALL(m_mock, NewPen(kSupplier, _, 2.0f, _))
        .WillOnce(DoAll(SetArgPointee<3>(Fake<DRAWBOT_PenRef>(5)), Return(kSPNoError)));
    EXPECT_CALL(m_mock, ReleaseObject(Object(5))).WillOnce(Return(SPErr{516}));
    // The destructor tries once more and drops that failure too.
    EXPECT_CALL(m_mock, ReleaseObject(Object(5))).WillOnce(Return(SPErr{516}));

    DRAWBOT_PenP pen(&g_table, kSupplier, &kYellow, 2.0f);
    EXPECT_THROW(pen.ReleaseObject(), DRAWBOT_Exception);
    EXPECT_EQ(pen.Get(), Fake<DRAWBOT_PenRef>(5));
}

// The path just made would otherwise belong to nobody and stay with the host for good.
TEST_F(DrawbotWrapperTest, FailedReleaseOfTheOldObjectInNewGivesTheNewOneBack) {
    InSequence order;
    EXPECT_CALL(m_mock, NewPath(kSupplier, _))
        .WillOnce(DoAll(SetArgPointee<1>(Fake<DRAWBOT_PathRef>(3)), Return(kSPNoError)));
    EXPECT_CALL(m_mock, NewPath(kSupplier, _))
        .WillOnce(DoAll(SetArgPointee<1>(Fake<DRAWBOT_PathRef>(4)), Return(kSPNoError)));
    EXPECT_CALL(m_mock, ReleaseObject(Object(3))).WillOnce(Return(SPErr{516}));
    EXPECT_CALL(m_mock, ReleaseObject(Object(4))).WillOnce(Return(kSPNoError));
    // Still held, so the destructor tries the old one once more.
    EXPECT_CALL(m_mock, ReleaseObject(Object(3))).WillOnce(Return(kSPNoError));

    DRAWBOT_PathP path(&g_table, kSupplier);
    try {
        path.New(&g_table, kSupplier);
        ADD_FAILURE() << "no exception";
    } catch (const DRAWBOT_Exception& e) {
        EXPECT_EQ(e.ErrorCode(), 516);
    }
    EXPECT_EQ(path.Get(), Fake<DRAWBOT_PathRef>(3));
}

TEST_F(DrawbotWrapperTest, FailedReleaseInDestructorDoesNotTerminate) {
    InSequence order;
    EXPECT_CALL(m_mock, NewPath(kSupplier, _))
        .WillOnce(DoAll(SetArgPointee<1>(Fake<DRAWBOT_PathRef>(6)), Return(kSPNoError)));
    EXPECT_CALL(m_mock, ReleaseObject(Object(6))).WillOnce(Return(SPErr{512}));
    { DRAWBOT_PathP path(&g_table, kSupplier); }
}

TEST_F(DrawbotWrapperTest, FailedReleaseWhileUnwindingLetsTheFirstExceptionThrough) {
    InSequence order;
    EXPECT_CALL(m_mock, NewPath(kSupplier, _))
        .WillOnce(DoAll(SetArgPointee<1>(Fake<DRAWBOT_PathRef>(8)), Return(kSPNoError)));
    EXPECT_CALL(m_mock, ReleaseObject(Object(8))).WillOnce(Return(SPErr{512}));
    try {
        DRAWBOT_PathP path(&g_table, kSupplier);
        throw 516;
    } catch (int thrown) {
        EXPECT_EQ(thrown, 516);
    }
}

TEST_F(DrawbotWrapperTest, RetainForwardsHeldObjectAndThrowsOnRefusal) {
    InSequence order;
    EXPECT_CALL(m_mock, NewPath(kSupplier, _))
        .WillOnce(DoAll(SetArgPointee<1>(Fake<DRAWBOT_PathRef>(2)), Return(kSPNoError)));
    EXPECT_CALL(m_mock, RetainObject(Object(2))).WillOnce(Return(kSPNoError));
    EXPECT_CALL(m_mock, RetainObject(Object(2))).WillOnce(Return(SPErr{7}));
    EXPECT_CALL(m_mock, ReleaseObject(Object(2))).WillOnce(Return(kSPNoError));

    DRAWBOT_PathP path(&g_table, kSupplier);
    path.RetainObject();
    try {
        path.RetainObject();
        ADD_FAILURE() << "no exception";
    } catch (const DRAWBOT_Exception& e) {
        EXPECT_EQ(e.ErrorCode(), 7);
    }
}

}   // namespace
