#include "tool/SegmentPlan.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "TestSupport.h"

namespace {

constexpr long long kMiB = 1 << 20;
constexpr long long kPiece = 102400;

std::vector<ByteRange> Ranges(std::initializer_list<std::pair<long long, long long>> list)
{
    std::vector<ByteRange> ranges;
    for (auto& r : list) ranges.push_back({r.first, r.second});
    return ranges;
}

// Every byte of [0, size) is either written or missing, exactly once.
void ExpectCovers(long long size, const std::vector<ByteRange>& written, const std::vector<ByteRange>& missing)
{
    std::vector<ByteRange> all = written;
    all.insert(all.end(), missing.begin(), missing.end());
    std::sort(all.begin(), all.end(), [](const ByteRange& a, const ByteRange& b) { return a.llFirst < b.llFirst; });
    long long at = 0;
    for (const ByteRange& r : all) {
        if (r.Length() == 0) continue;
        ASSERT_EQ(at, r.llFirst) << "a gap or an overlap at " << at;
        at = r.llEnd;
    }
    EXPECT_EQ(size, at);
}

}  // namespace

TEST(EqualRanges, CutsTheFileAndTheLastTakesTheRemainder)
{
    EXPECT_EQ(Ranges({{0, 333}, {333, 666}, {666, 1000}}), CSegmentPlan::EqualRanges(1000, 3));
    EXPECT_EQ(Ranges({{0, 1}, {1, 2}, {2, 3}}), CSegmentPlan::EqualRanges(3, 3));
    EXPECT_TRUE(CSegmentPlan::EqualRanges(2, 3).empty()) << "never an empty range";
    EXPECT_TRUE(CSegmentPlan::EqualRanges(0, 1).empty());
    const long long big = 5 * 1024 * kMiB + 12345;
    auto five = CSegmentPlan::EqualRanges(big, 5);
    ASSERT_EQ(5u, five.size());
    EXPECT_EQ(big / 5 * 4, five[4].llFirst) << "64-bit offsets";
    EXPECT_EQ(big, five[4].llEnd);
}

TEST(Complement, GivesTheGapsBetweenRanges)
{
    EXPECT_EQ(Ranges({{0, 10}, {20, 30}, {40, 50}}), CSegmentPlan::Complement(50, Ranges({{10, 20}, {30, 40}})));
    EXPECT_EQ(Ranges({{0, 50}}), CSegmentPlan::Complement(50, {}));
    EXPECT_TRUE(CSegmentPlan::Complement(50, Ranges({{0, 50}})).empty());
}

TEST(SegmentPlan, WaitingRangesAreTakenInOrderBeforeAnythingIsTakenOver)
{
    CSegmentPlan plan(CSegmentPlan::EqualRanges(100 * kMiB, 3), 3, kMiB, kPiece, 1000);
    ByteRange range;
    bool takenOver = true;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(plan.Take(i, 0, range, takenOver));
        EXPECT_FALSE(takenOver);
        EXPECT_EQ(CSegmentPlan::EqualRanges(100 * kMiB, 3)[i], range);
    }
    EXPECT_EQ(100 * kMiB, plan.MissingBytes());
}

TEST(SegmentPlan, AFinishedSegmentTakesTheMiddleOfARangeGoingAtItsOwnSpeed)
{
    CSegmentPlan plan(Ranges({{0, 40 * kMiB}, {40 * kMiB, 80 * kMiB}}), 2, kMiB, kPiece, 1000);
    ByteRange range;
    bool takenOver = false;
    ASSERT_TRUE(plan.Take(0, 0, range, takenOver));
    ASSERT_TRUE(plan.Take(1, 0, range, takenOver));
    // Both go at 10 MiB in 1000 ms; segment 1 is done.
    plan.Advance(0, 10 * kMiB);
    plan.Advance(1, 40 * kMiB);
    plan.Release(1);
    ASSERT_TRUE(plan.Take(1, 1000, range, takenOver));
    EXPECT_TRUE(takenOver);
    ByteRange kept = plan.Current(0);
    EXPECT_EQ(10 * kMiB, kept.llFirst);
    EXPECT_EQ(kept.llEnd, range.llFirst) << "the two halves meet";
    EXPECT_EQ(40 * kMiB, range.llEnd);
    // Alike speeds (the taker is reckoned at the average, which the other is): within
    // a read piece of the middle.
    EXPECT_NEAR(25 * kMiB, range.llFirst, 2 * kPiece);
}

TEST(SegmentPlan, ASlowSegmentKeepsOnlyWhatItCanFinishWhileTheOthersFetchTheRest)
{
    CSegmentPlan plan(CSegmentPlan::EqualRanges(50 * kMiB, 5), 5, kMiB, kPiece, 1000);
    ByteRange range;
    bool takenOver = false;
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(plan.Take(i, 0, range, takenOver));
    // Segment 0 goes at a tenth of the others' speed; 1 finishes first.
    plan.Advance(0, kMiB);
    for (int i = 1; i < 5; ++i) plan.Advance(i, 8 * kMiB);
    plan.Advance(1, 2 * kMiB);
    plan.Release(1);
    ASSERT_TRUE(plan.Take(1, 1000, range, takenOver));
    ASSERT_TRUE(takenOver);
    ByteRange kept = plan.Current(0);
    EXPECT_EQ(kMiB, kept.llFirst);
    EXPECT_EQ(10 * kMiB, range.llEnd) << "taken from the slow segment, not from the larger fast ones";
    // The slow one keeps about a ninth of its 9 MiB.
    EXPECT_LT(kept.Length(), 2 * kMiB);
    EXPECT_GE(kept.Length(), kMiB) << "never below the minimum piece";
}

TEST(SegmentPlan, NothingIsTakenBelowTwoMinimumPiecesOrFromARangeDueWithinTheLimit)
{
    CSegmentPlan plan(Ranges({{0, 2 * kMiB - 1}, {2 * kMiB, 100 * kMiB}}), 3, kMiB, kPiece, 1000);
    ByteRange range;
    bool takenOver = false;
    ASSERT_TRUE(plan.Take(0, 0, range, takenOver));
    ASSERT_TRUE(plan.Take(1, 0, range, takenOver));
    // Segment 1 goes at 98 MiB per second: due in well under a second.
    plan.Advance(1, 49 * kMiB);
    EXPECT_FALSE(plan.Take(2, 500, range, takenOver)) << "too small, and due too soon";
    // Segment 1 stalls: after 10 s its rest is due late.
    EXPECT_TRUE(plan.Take(2, 10000, range, takenOver));
    EXPECT_TRUE(takenOver);
    EXPECT_GT(range.llFirst, 51 * kMiB);
}

TEST(SegmentPlan, AReleasedRangeWaitsForTheNextTakerAndMissingStaysExact)
{
    CSegmentPlan plan(CSegmentPlan::EqualRanges(30 * kMiB, 3), 3, kMiB, kPiece, 1000);
    ByteRange range;
    bool takenOver = false;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(plan.Take(i, 0, range, takenOver));
    plan.Advance(0, 4 * kMiB);
    plan.Release(0);  // failed: its rest waits
    EXPECT_EQ(Ranges({{4 * kMiB, 10 * kMiB}, {10 * kMiB, 20 * kMiB}, {20 * kMiB, 30 * kMiB}}), plan.Missing());
    plan.Advance(2, 10 * kMiB);
    plan.Release(2);
    ASSERT_TRUE(plan.Take(2, 100, range, takenOver));
    EXPECT_FALSE(takenOver);
    EXPECT_EQ((ByteRange{4 * kMiB, 10 * kMiB}), range);
}

TEST(SegmentPlan, ARandomRunNeverLosesOrDoublesAByteAndNeverExceedsItsSegments)
{
    TestRandom random(16);
    for (int round = 0; round < 50; ++round) {
        const long long size = 1 + static_cast<long long>(random.Below(400 * kMiB));
        const int segments = 1 + static_cast<int>(random.Below(8));
        CSegmentPlan plan(CSegmentPlan::EqualRanges(size, static_cast<int>(std::min<long long>(segments, size))),
                          segments, 64 * 1024, kPiece, 100);
        std::vector<ByteRange> written;
        unsigned long long now = 0;
        ByteRange range;
        bool takenOver = false;
        for (int i = 0; i < segments; ++i) plan.Take(i, now, range, takenOver);
        for (int step = 0; step < 20000 && plan.MissingBytes() > 0; ++step) {
            now += random.Below(50);
            int i = static_cast<int>(random.Below(segments));
            ByteRange current = plan.Current(i);
            if (current.Length() == 0) {
                plan.Release(i);
                plan.Take(i, now, range, takenOver);
                continue;
            }
            if (random.Below(50) == 0) {
                plan.Release(i);  // a segment fails; another takes its rest later
                continue;
            }
            long long bytes = std::min<long long>(current.Length(), 1 + random.Below(3 * kPiece) * (1 + i % 3));
            written.push_back({current.llFirst, current.llFirst + bytes});
            plan.Advance(i, bytes);
            if (step % 500 == 0) ExpectCovers(size, written, plan.Missing());
            if (HasFatalFailure()) return;
        }
        ExpectCovers(size, written, plan.Missing());
        EXPECT_EQ(0, plan.MissingBytes()) << "round " << round;
    }
}
