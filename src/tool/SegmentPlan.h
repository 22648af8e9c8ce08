#pragma once
// Which bytes of a download each segment fetches. A segment works on one range at a
// time and writes it from its start upwards; a segment without work takes a waiting
// range, or else the tail of the range that would take another segment longest to
// finish, so one slow connection does not set the finish time. The cut falls where
// both would finish together at the speeds measured so far: the middle when they are
// alike. Every byte belongs to exactly one range at any time, so no byte is fetched
// twice.
//
// Thread contract: none of its own; the download calls it under its file lock.

#include <string>
#include <vector>

// Bytes [llFirst, llEnd).
struct ByteRange {
    long long llFirst = 0;
    long long llEnd = 0;
    long long Length() const { return llEnd - llFirst; }
    bool operator==(const ByteRange& other) const { return llFirst == other.llFirst && llEnd == other.llEnd; }
};

class CSegmentPlan {
public:
    // The first cut of a new download: nCount contiguous ranges of equal length,
    // the last one taking the remainder. nCount must be between 1 and llSize.
    static std::vector<ByteRange> EqualRanges(long long llSize, int nCount);
    // [0, llSize) without the given ranges (sorted, disjoint, within the file).
    static std::vector<ByteRange> Complement(long long llSize, const std::vector<ByteRange>& ranges);

    // missing: what is still to fetch, sorted and disjoint; nSegments segments share
    // it; a range taken over from another segment keeps at least llMinPiece bytes on
    // both sides. Bytes arrive in reads of up to llReadPiece, so a segment is taken
    // to go at most (written + llReadPiece) / time: one that has not written anything
    // for long is known to be slow, one that has just started is not. A range that
    // its segment would finish within dMinRemainingMs is left to it: a new connection
    // would hardly be sooner, and the bytes already on their way would come twice.
    CSegmentPlan(std::vector<ByteRange> missing, int nSegments, long long llMinPiece, long long llReadPiece,
                 double dMinRemainingMs);

    // Gives the segment, which must have no range, its next range. bTakenOver tells
    // whether it was cut off another segment's range. False when no work is left.
    // Times are milliseconds of any steady clock.
    bool Take(int nSegment, unsigned long long ullNowMs, ByteRange& range, bool& bTakenOver);
    // The segment's current range: its first byte not yet written and its end, which
    // may have moved down since it was taken. Empty when the segment has no range.
    ByteRange Current(int nSegment) const;
    // Bytes written at the start of the segment's current range.
    void Advance(int nSegment, long long llBytes);
    // The segment stops; what it did not write waits for another taker.
    void Release(int nSegment);

    // Every byte not yet written, sorted and disjoint.
    std::vector<ByteRange> Missing() const;
    long long MissingBytes() const;

private:
    struct Segment {
        ByteRange range;  // empty when it has none
        unsigned long long ullTakenMs = 0;
        long long llWritten = 0;  // of the current range
    };
    // The most bytes per millisecond the segment can be making on its current range.
    double SpeedOf(const Segment& segment, unsigned long long ullNowMs) const;

    std::vector<ByteRange> m_waiting;  // sorted
    std::vector<Segment> m_segments;
    long long m_llMinPiece;
    long long m_llReadPiece;
    double m_dMinRemainingMs;
};
