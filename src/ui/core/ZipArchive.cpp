#include "ui/core/ZipArchive.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "base/UniqueResource.h"

namespace Veneer {

namespace {

// Record layouts from PKWARE's application note (APPNOTE.TXT, sections 4.3.7, 4.3.12, 4.3.16).
constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kDirectoryEntrySignature = 0x02014b50;
constexpr uint32_t kEndRecordSignature = 0x06054b50;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kDirectoryEntrySize = 46;
constexpr size_t kEndRecordSize = 22;

// The end record sits before a comment of at most 65,535 bytes.
constexpr uint64_t kEndRecordSearchSpan = 0xFFFF;
constexpr size_t kEndRecordSearchBlock = 0x400;

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
// General-purpose flag bit 3: CRC and sizes follow the data instead of the local header.
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kExtraUnixTimes = 0x5455;  // "UT"
constexpr uint16_t kHostUnix = 3;

constexpr size_t kInputBufferSize = 16 * 1024;
// Stored names are compared over their first 255 bytes, and a query must fit MAX_PATH.
constexpr size_t kComparedNameBytes = 255;
constexpr size_t kLongestQuery = 255;
constexpr size_t kLongestReportedName = MAX_PATH - 1;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

FILETIME FromUnixTime(uint32_t seconds)
{
    // 100-ns intervals between 1601-01-01 and 1970-01-01.
    ULARGE_INTEGER value;
    value.QuadPart = static_cast<ULONGLONG>(seconds) * 10000000ULL + 116444736000000000ULL;
    FILETIME time;
    time.dwLowDateTime = value.LowPart;
    time.dwHighDateTime = value.HighPart;
    return time;
}

FILETIME FromDosTime(uint16_t date, uint16_t time)
{
    FILETIME local{}, utc{};
    if (!DosDateTimeToFileTime(date, time, &local) || !LocalFileTimeToFileTime(&local, &utc)) return FILETIME{};
    return utc;
}

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool NamesMatch(const std::string& stored, const std::string& wanted, bool ignoreCase)
{
    size_t length = std::min(stored.size(), kComparedNameBytes);
    if (length != wanted.size()) return false;
    for (size_t i = 0; i < length; ++i) {
        char a = stored[i], b = wanted[i];
        if (ignoreCase ? FoldAscii(a) != FoldAscii(b) : a != b) return false;
    }
    return true;
}

}  // namespace

// The bytes an archive is read from: a file or a caller's memory block.
class CZipArchive::Source {
public:
    static std::unique_ptr<Source> FromFile(const std::wstring& path)
    {
        UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER size;
        if (!file.Valid() || !GetFileSizeEx(file.Get(), &size)) return nullptr;
        std::unique_ptr<Source> source(new Source);
        source->file_ = std::move(file);
        source->size_ = static_cast<uint64_t>(size.QuadPart);
        return source;
    }

    static std::unique_ptr<Source> FromMemory(const void* bytes, size_t size)
    {
        if (!bytes) return nullptr;
        std::unique_ptr<Source> source(new Source);
        source->bytes_ = static_cast<const uint8_t*>(bytes);
        source->size_ = size;
        return source;
    }

    uint64_t Size() const { return size_; }
    bool Contains(uint64_t offset, uint64_t length) const { return offset <= size_ && length <= size_ - offset; }

    // All `length` bytes at `offset`, or false.
    bool ReadAt(uint64_t offset, void* buffer, size_t length)
    {
        if (!Contains(offset, length)) return false;
        if (bytes_) {
            if (length) memcpy(buffer, bytes_ + offset, length);
            return true;
        }
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(file_.Get(), position, nullptr, FILE_BEGIN)) return false;
        auto* out = static_cast<uint8_t*>(buffer);
        while (length > 0) {
            DWORD chunk = static_cast<DWORD>(std::min<size_t>(length, 1u << 30));
            DWORD got = 0;
            if (!ReadFile(file_.Get(), out, chunk, &got, nullptr) || got == 0) return false;
            out += got;
            length -= got;
        }
        return true;
    }

private:
    Source() = default;
    UniqueFileHandle file_;
    const uint8_t* bytes_ = nullptr;
    uint64_t size_ = 0;
};

// One central directory entry, as stored.
struct CZipArchive::Member {
    std::string storedName;
    uint16_t versionMadeBy = 0;
    uint16_t method = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint32_t externalAttributes = 0;
    uint32_t localHeaderOffset = 0;
    // Modification, access and creation times from the "UT" extra field.
    uint8_t unixTimesPresent = 0;
    uint32_t unixTimes[3] = {};
};

// The member being read, with the inflate state that lets a read continue.
struct CZipArchive::OpenMember {
    OpenMember() : input(kInputBufferSize) {}
    ~OpenMember()
    {
        if (inflating) inflateEnd(&stream);
    }
    int index = -1;
    uint16_t method = kMethodStored;
    uint64_t dataPosition = 0;  // next compressed byte in the source
    uint64_t compressedLeft = 0;
    uint64_t uncompressedLeft = 0;
    z_stream stream{};
    bool inflating = false;
    std::vector<uint8_t> input;
};

CZipArchive::CZipArchive(std::unique_ptr<Source> source) : source_(std::move(source)) {}

CZipArchive::~CZipArchive() { Close(); }

std::unique_ptr<CZipArchive> CZipArchive::OpenFile(const std::wstring& path) { return Open(Source::FromFile(path)); }

std::unique_ptr<CZipArchive> CZipArchive::OpenMemory(const void* bytes, size_t size)
{
    return Open(Source::FromMemory(bytes, size));
}

std::unique_ptr<CZipArchive> CZipArchive::Open(std::unique_ptr<Source> source)
{
    if (!source) return nullptr;
    std::unique_ptr<CZipArchive> archive(new CZipArchive(std::move(source)));
    if (!archive->ReadDirectory()) return nullptr;
    return archive;
}

int CZipArchive::MemberCount() const { return static_cast<int>(members_.size()); }

void CZipArchive::Close()
{
    CloseOpenMember();
    members_.clear();
    source_.reset();
}

bool CZipArchive::ReadDirectory()
{
    const uint64_t size = source_->Size();
    if (size < kEndRecordSize) return false;

    // Backwards in 1 KiB blocks that overlap by 4 bytes, so a signature across a
    // block boundary is still seen; the last signature in the source wins.
    const uint64_t span = std::min(kEndRecordSearchSpan, size);
    uint8_t block[kEndRecordSearchBlock + 4];
    uint64_t back = 4;
    uint64_t endRecord = UINT64_MAX;
    while (back < span && endRecord == UINT64_MAX) {
        back = std::min(back + kEndRecordSearchBlock, span);
        const uint64_t start = size - back;
        const size_t length = static_cast<size_t>(std::min<uint64_t>(sizeof block, size - start));
        if (!source_->ReadAt(start, block, length)) return false;
        for (size_t i = length - 3; i-- > 0;) {
            if (Le32(block + i) == kEndRecordSignature) {
                endRecord = start + i;
                break;
            }
        }
    }
    uint8_t record[kEndRecordSize];
    if (endRecord == UINT64_MAX || !source_->ReadAt(endRecord, record, sizeof record)) return false;

    const uint16_t disk = Le16(record + 4);
    const uint16_t directoryDisk = Le16(record + 6);
    const uint16_t countOnDisk = Le16(record + 8);
    const uint16_t count = Le16(record + 10);
    const uint32_t directorySize = Le32(record + 12);
    const uint32_t directoryOffset = Le32(record + 16);
    if (disk != 0 || directoryDisk != 0 || countOnDisk != count) return false;
    const uint64_t statedEnd = static_cast<uint64_t>(directoryOffset) + directorySize;
    if (endRecord < statedEnd) return false;
    // The directory ends where the end record starts; whatever precedes the stated
    // offsets (a self-extracting stub) shifts every offset by the same amount.
    offsetCorrection_ = endRecord - statedEnd;

    std::vector<uint8_t> directory(directorySize);
    if (!source_->ReadAt(directoryOffset + offsetCorrection_, directory.data(), directory.size())) return false;

    members_.reserve(count);
    size_t position = 0;
    for (unsigned i = 0; i < count; ++i) {
        if (directory.size() - position < kDirectoryEntrySize) return false;
        const uint8_t* entry = directory.data() + position;
        if (Le32(entry) != kDirectoryEntrySignature) return false;
        const size_t nameLength = Le16(entry + 28);
        const size_t extraLength = Le16(entry + 30);
        const size_t commentLength = Le16(entry + 32);
        const size_t entryLength = kDirectoryEntrySize + nameLength + extraLength + commentLength;
        if (directory.size() - position < entryLength) return false;

        Member member;
        member.versionMadeBy = Le16(entry + 4);
        member.method = Le16(entry + 10);
        member.dosTime = Le16(entry + 12);
        member.dosDate = Le16(entry + 14);
        member.crc = Le32(entry + 16);
        member.compressedSize = Le32(entry + 20);
        member.uncompressedSize = Le32(entry + 24);
        member.externalAttributes = Le32(entry + 38);
        member.localHeaderOffset = Le32(entry + 42);
        member.storedName.assign(reinterpret_cast<const char*>(entry + kDirectoryEntrySize), nameLength);

        const uint8_t* extra = entry + kDirectoryEntrySize + nameLength;
        for (size_t at = 0; at + 4 <= extraLength;) {
            const uint16_t id = Le16(extra + at);
            const size_t length = std::min<size_t>(Le16(extra + at + 2), extraLength - at - 4);
            const uint8_t* data = extra + at + 4;
            if (id == kExtraUnixTimes && length >= 1) {
                size_t field = 1;
                for (int which = 0; which < 3; ++which) {
                    if (!(data[0] & (1 << which)) || field + 4 > length) continue;
                    member.unixTimes[which] = Le32(data + field);
                    member.unixTimesPresent |= static_cast<uint8_t>(1 << which);
                    field += 4;
                }
            }
            at += 4 + length;
        }
        members_.push_back(std::move(member));
        position += entryLength;
    }
    return true;
}

ZipResult CZipArchive::FindMember(const std::wstring& name, bool ignoreCase, int& index, ZipMemberInfo& info)
{
    if (!source_) return kZipNoFile;
    // A lookup starts a new read: a member left half-read must not continue.
    CloseOpenMember();
    if (name.size() > kLongestQuery) return kZipNotFound;
    char converted[MAX_PATH] = {};
    const int length = name.empty() ? 0
                                    : WideCharToMultiByte(CP_ACP, 0, name.data(), static_cast<int>(name.size()),
                                                          converted, MAX_PATH - 1, nullptr, nullptr);
    if (length == 0 && !name.empty()) return kZipNotFound;
    std::string wanted(converted, static_cast<size_t>(length));
    std::replace(wanted.begin(), wanted.end(), '\\', '/');

    for (size_t i = 0; i < members_.size(); ++i) {
        if (NamesMatch(members_[i].storedName, wanted, ignoreCase)) {
            index = static_cast<int>(i);
            return GetMember(index, info);
        }
    }
    return kZipNotFound;
}

ZipResult CZipArchive::GetMember(int index, ZipMemberInfo& info) const
{
    if (!source_) return kZipNoFile;
    if (index == -1) {
        info = ZipMemberInfo{};
        info.index = MemberCount();
        return kZipOk;
    }
    if (index < 0 || index >= MemberCount()) return kZipArgs;
    const Member& member = members_[static_cast<size_t>(index)];

    info = ZipMemberInfo{};
    info.index = index;
    if (!member.storedName.empty()) {
        const int stored = static_cast<int>(member.storedName.size());
        const int length = MultiByteToWideChar(CP_ACP, 0, member.storedName.data(), stored, nullptr, 0);
        info.name.resize(static_cast<size_t>(length));
        if (length > 0) MultiByteToWideChar(CP_ACP, 0, member.storedName.data(), stored, &info.name[0], length);
        if (info.name.size() > kLongestReportedName) info.name.resize(kLongestReportedName);
    }

    // The low byte carries MS-DOS attributes; Unix zippers put st_mode in the high half.
    info.attributes = member.externalAttributes &
                      (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                       FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE);
    if ((member.versionMadeBy >> 8) == kHostUnix) {
        const uint32_t mode = member.externalAttributes >> 16;
        if ((mode & 0170000) == 0040000) info.attributes |= FILE_ATTRIBUTE_DIRECTORY;
        if (mode != 0 && !(mode & 0200)) info.attributes |= FILE_ATTRIBUTE_READONLY;
    }
    if (info.attributes == 0) info.attributes = FILE_ATTRIBUTE_NORMAL;

    const FILETIME dosTime = FromDosTime(member.dosDate, member.dosTime);
    info.writeTime = info.accessTime = info.creationTime = dosTime;
    FILETIME* slots[3] = {&info.writeTime, &info.accessTime, &info.creationTime};
    for (int which = 0; which < 3; ++which) {
        if (member.unixTimesPresent & (1 << which)) *slots[which] = FromUnixTime(member.unixTimes[which]);
    }
    info.compressedSize = member.compressedSize;
    info.uncompressedSize = member.uncompressedSize;
    return kZipOk;
}

ZipResult CZipArchive::ExtractToMemory(int index, void* buffer, size_t size)
{
    if (!source_) return kZipNoFile;
    if (index < 0 || index >= MemberCount() || (!buffer && size > 0)) return kZipArgs;
    if (!open_ || open_->index != index) {
        const ZipResult opened = OpenForReading(index);
        if (opened != kZipOk) return opened;
    }
    const ZipResult result = ReadOpenMember(static_cast<uint8_t*>(buffer), size);
    if (result != kZipMore) CloseOpenMember();
    return result;
}

ZipResult CZipArchive::OpenForReading(int index)
{
    CloseOpenMember();
    const Member& member = members_[static_cast<size_t>(index)];
    if (member.method != kMethodStored && member.method != kMethodDeflated) return kZipCorrupt;
    if (member.method == kMethodStored && member.compressedSize != member.uncompressedSize) return kZipCorrupt;

    const uint64_t headerPosition = member.localHeaderOffset + offsetCorrection_;
    if (!source_->Contains(headerPosition, kLocalHeaderSize)) return kZipCorrupt;
    uint8_t header[kLocalHeaderSize];
    if (!source_->ReadAt(headerPosition, header, sizeof header)) return kZipRead;
    if (Le32(header) != kLocalHeaderSignature) return kZipCorrupt;
    const uint16_t flags = Le16(header + 6);
    if (Le16(header + 8) != member.method) return kZipCorrupt;
    if (!(flags & kFlagDataDescriptor) &&
        (Le32(header + 14) != member.crc || Le32(header + 18) != member.compressedSize ||
         Le32(header + 22) != member.uncompressedSize)) {
        return kZipCorrupt;
    }
    const uint64_t dataPosition = headerPosition + kLocalHeaderSize + Le16(header + 26) + Le16(header + 28);
    // A truncated archive: the data would run past the end of the source.
    if (!source_->Contains(dataPosition, member.compressedSize)) return kZipCorrupt;

    auto open = std::make_unique<OpenMember>();
    open->index = index;
    open->method = member.method;
    open->dataPosition = dataPosition;
    open->compressedLeft = member.compressedSize;
    open->uncompressedLeft = member.uncompressedSize;
    if (member.method == kMethodDeflated) {
        // Negative window bits: raw deflate data without a zlib header.
        if (inflateInit2(&open->stream, -MAX_WBITS) != Z_OK) return kZipInflate;
        open->inflating = true;
    }
    open_ = std::move(open);
    return kZipOk;
}

ZipResult CZipArchive::ReadOpenMember(uint8_t* buffer, size_t size)
{
    OpenMember& member = *open_;
    size_t produced = 0;
    // The stated uncompressed size bounds every read: data beyond it is never delivered.
    while (produced < size && member.uncompressedLeft > 0) {
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(size - produced, member.uncompressedLeft));
        if (member.method == kMethodStored) {
            if (!source_->ReadAt(member.dataPosition, buffer + produced, wanted)) return kZipRead;
            member.dataPosition += wanted;
            member.compressedLeft -= wanted;
            member.uncompressedLeft -= wanted;
            produced += wanted;
            continue;
        }

        z_stream& stream = member.stream;
        bool refilled = false;
        if (stream.avail_in == 0 && member.compressedLeft > 0) {
            const size_t chunk = static_cast<size_t>(std::min<uint64_t>(member.input.size(), member.compressedLeft));
            if (!source_->ReadAt(member.dataPosition, member.input.data(), chunk)) return kZipRead;
            member.dataPosition += chunk;
            member.compressedLeft -= chunk;
            stream.next_in = member.input.data();
            stream.avail_in = static_cast<uInt>(chunk);
            refilled = true;
        }
        const uInt inputBefore = stream.avail_in;
        const uInt outputChunk = static_cast<uInt>(std::min<size_t>(wanted, 1u << 30));
        stream.next_out = buffer + produced;
        stream.avail_out = outputChunk;
        const int status = inflate(&stream, Z_SYNC_FLUSH);
        const size_t got = outputChunk - stream.avail_out;
        produced += got;
        member.uncompressedLeft -= got;
        if (status == Z_STREAM_END) {
            // The stream ended before the stated size: the data is cut short.
            if (member.uncompressedLeft > 0) return kZipCorrupt;
            break;
        }
        if (status != Z_OK && status != Z_BUF_ERROR) return kZipInflate;
        if (!refilled && got == 0 && stream.avail_in == inputBefore) return kZipCorrupt;
    }
    return member.uncompressedLeft == 0 ? kZipOk : kZipMore;
}

void CZipArchive::CloseOpenMember() { open_.reset(); }

}  // namespace Veneer
