// The connection slot array: creation and resizing.
#include "engine/run_state.h"

#include <gtest/gtest.h>

class ConnectionSlotsTest : public testing::Test {
protected:
    void TearDown() override { FreeConnectionSlots(); }
};

TEST_F(ConnectionSlotsTest, NewArrayIsZeroedWithItsNumbers) {
    ASSERT_TRUE(AllocateConnectionSlots(5));
    ASSERT_EQ(gConnectionSlots.size(), 5u);
    for (int index = 0; index < 5; ++index) {
        const ConnectionSlot& slot = gConnectionSlots[index];
        EXPECT_EQ(slot.number, index);
        EXPECT_EQ(slot.busy, 0);
        EXPECT_EQ(slot.heap, nullptr);
        EXPECT_EQ(slot.buffer, nullptr);
        EXPECT_TRUE(slot.downloadLog.empty());
        EXPECT_TRUE(slot.cancelLog.empty());
        EXPECT_TRUE(slot.errorLog.empty());
    }
    EXPECT_FALSE(IsRunActive());
}

TEST_F(ConnectionSlotsTest, GrowingKeepsRecordsAndAddsZeroedOnes) {
    ASSERT_TRUE(AllocateConnectionSlots(5));
    for (ConnectionSlot& slot : gConnectionSlots) {
        slot.heap = reinterpret_cast<HANDLE>(0x50 + slot.number);
        slot.errorLog.Add(L"http://example.com/" + std::to_wstring(slot.number));
    }
    ASSERT_TRUE(AllocateConnectionSlots(8));
    ASSERT_EQ(gConnectionSlots.size(), 8u);
    for (int index = 0; index < 8; ++index) {
        const ConnectionSlot& slot = gConnectionSlots[index];
        EXPECT_EQ(slot.number, index);
        EXPECT_EQ(slot.heap, index < 5 ? reinterpret_cast<HANDLE>(0x50 + index) : nullptr);
        EXPECT_EQ(slot.errorLog.size(), index < 5 ? 1u : 0u);
    }
}

TEST_F(ConnectionSlotsTest, ShrinkingKeepsTheFirstRecords) {
    ASSERT_TRUE(AllocateConnectionSlots(8));
    gConnectionSlots[1].buffer = &gConnectionSlots;
    ASSERT_TRUE(AllocateConnectionSlots(2));
    ASSERT_EQ(gConnectionSlots.size(), 2u);
    EXPECT_EQ(gConnectionSlots[1].buffer, &gConnectionSlots);
}

TEST_F(ConnectionSlotsTest, FailedAllocationChangesNothing) {
    ASSERT_TRUE(AllocateConnectionSlots(3));
    EXPECT_FALSE(AllocateConnectionSlots(0));
    EXPECT_FALSE(AllocateConnectionSlots(0x7FFFFFFF));
    EXPECT_EQ(gConnectionSlots.size(), 3u);
}

TEST_F(ConnectionSlotsTest, RunIsActiveExactlyWhileSlotZeroIsBusy) {
    EXPECT_FALSE(IsRunActive());  // no array at all
    ASSERT_TRUE(AllocateConnectionSlots(2));
    WriteSlotBusy(gConnectionSlots[1], 1);
    EXPECT_FALSE(IsRunActive());
    SetRunActive(true);
    EXPECT_TRUE(IsRunActive());
    EXPECT_EQ(ReadSlotBusy(gConnectionSlots[0]), 1);
    SetRunActive(false);
    EXPECT_FALSE(IsRunActive());
}
