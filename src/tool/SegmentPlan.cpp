#include "tool/SegmentPlan.h"

#include <algorithm>

std::vector<ByteRange> CSegmentPlan::EqualRanges(long long llSize, int nCount)
{
    std::vector<ByteRange> ranges;
    if (nCount < 1 || llSize < nCount) return ranges;
    long long length = llSize / nCount;
    for (int i = 0; i < nCount; ++i) {
        long long first = i * length;
        ranges.push_back({first, i == nCount - 1 ? llSize : first + length});
    }
    return ranges;
}

std::vector<ByteRange> CSegmentPlan::Complement(long long llSize, const std::vector<ByteRange>& ranges)
{
    std::vector<ByteRange> gaps;
    long long at = 0;
    for (const ByteRange& range : ranges) {
        if (range.llFirst > at) gaps.push_back({at, range.llFirst});
        at = std::max(at, range.llEnd);
    }
    if (at < llSize) gaps.push_back({at, llSize});
    return gaps;
}

CSegmentPlan::CSegmentPlan(std::vector<ByteRange> missing, int nSegments, long long llMinPiece,
                           long long llReadPiece, double dMinRemainingMs)
    : m_waiting(std::move(missing)),
      m_segments(nSegments > 0 ? nSegments : 0),
      m_llMinPiece(llMinPiece),
      m_llReadPiece(llReadPiece),
      m_dMinRemainingMs(dMinRemainingMs)
{
}

double CSegmentPlan::SpeedOf(const Segment& segment, unsigned long long ullNowMs) const
{
    unsigned long long elapsed = ullNowMs > segment.ullTakenMs ? ullNowMs - segment.ullTakenMs : 1;
    return static_cast<double>(segment.llWritten + m_llReadPiece) / static_cast<double>(elapsed);
}

bool CSegmentPlan::Take(int nSegment, unsigned long long ullNowMs, ByteRange& range, bool& bTakenOver)
{
    bTakenOver = false;
    Segment& taker = m_segments[nSegment];
    if (!m_waiting.empty()) {
        range = m_waiting.front();
        m_waiting.erase(m_waiting.begin());
        taker = {range, ullNowMs, 0};
        return true;
    }
    // The taker is expected to go as fast as the others do on average.
    double total = 0;
    int running = 0;
    for (int i = 0; i < static_cast<int>(m_segments.size()); ++i) {
        if (i == nSegment || m_segments[i].range.Length() <= 0) continue;
        total += SpeedOf(m_segments[i], ullNowMs);
        ++running;
    }
    double average = running > 0 ? total / running : 1;
    int slowest = -1;
    double longest = 0;
    for (int i = 0; i < static_cast<int>(m_segments.size()); ++i) {
        const Segment& segment = m_segments[i];
        if (i == nSegment || segment.range.Length() < 2 * m_llMinPiece) continue;
        double time = segment.range.Length() / SpeedOf(segment, ullNowMs);
        if (time >= m_dMinRemainingMs && (slowest < 0 || time > longest)) slowest = i, longest = time;
    }
    if (slowest < 0) return false;
    Segment& other = m_segments[slowest];
    double otherSpeed = SpeedOf(other, ullNowMs);
    // Both finish together when the other keeps its share of the two speeds.
    long long remaining = other.range.Length();
    long long kept = static_cast<long long>(remaining * (otherSpeed / (otherSpeed + average)));
    kept = std::max(m_llMinPiece, std::min(remaining - m_llMinPiece, kept));
    long long cut = other.range.llFirst + kept;
    range = {cut, other.range.llEnd};
    other.range.llEnd = cut;
    taker = {range, ullNowMs, 0};
    bTakenOver = true;
    return true;
}

ByteRange CSegmentPlan::Current(int nSegment) const { return m_segments[nSegment].range; }

void CSegmentPlan::Advance(int nSegment, long long llBytes)
{
    Segment& segment = m_segments[nSegment];
    long long step = std::min(segment.range.Length(), llBytes);
    segment.range.llFirst += step;
    segment.llWritten += step;
}

void CSegmentPlan::Release(int nSegment)
{
    ByteRange& range = m_segments[nSegment].range;
    if (range.Length() > 0) {
        auto at = std::lower_bound(m_waiting.begin(), m_waiting.end(), range,
                                   [](const ByteRange& a, const ByteRange& b) { return a.llFirst < b.llFirst; });
        m_waiting.insert(at, range);
    }
    m_segments[nSegment] = {};
}

std::vector<ByteRange> CSegmentPlan::Missing() const
{
    std::vector<ByteRange> all = m_waiting;
    for (const Segment& segment : m_segments) {
        if (segment.range.Length() > 0) all.push_back(segment.range);
    }
    std::sort(all.begin(), all.end(), [](const ByteRange& a, const ByteRange& b) { return a.llFirst < b.llFirst; });
    return all;
}

long long CSegmentPlan::MissingBytes() const
{
    long long total = 0;
    for (const ByteRange& range : Missing()) total += range.Length();
    return total;
}
