#pragma once
// CZipArchive: a read-only zip archive (single volume, stored or deflated members)
// read from a file or from a memory block in place.
//
// Thread contract: one thread at a time. The open member's reading position is
// state of the archive, so two readers must not share one archive concurrently.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Veneer {

// Result codes of the reader. kZipOk and kZipMore both mean success.
enum ZipResult : unsigned {
    kZipOk = 0,              // the member's data ended within the buffer
    kZipNoFile = 0x200,      // no archive is open
    kZipNotFound = 0x500,    // no member of that name
    kZipMore = 0x600,        // the buffer was filled; the member may continue
    kZipCorrupt = 0x700,     // the archive's structures contradict themselves
    kZipRead = 0x800,        // the source could not be read
    kZipArgs = 0x10000,      // a bad argument or index
    kZipInflate = 0x5000000  // the deflated data could not be inflated
};

inline bool ZipSucceeded(ZipResult result) { return result == kZipOk || result == kZipMore; }

struct ZipMemberInfo {
    int index = 0;  // for GetMember(-1): the number of members
    std::wstring name;
    DWORD attributes = 0;
    FILETIME accessTime{};
    FILETIME creationTime{};
    FILETIME writeTime{};
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
};

class CZipArchive {
public:
    // None when the file cannot be opened or holds no readable single-volume archive.
    static std::unique_ptr<CZipArchive> OpenFile(const std::wstring& path);
    // Reads the block in place: the caller keeps it alive while the archive is open.
    static std::unique_ptr<CZipArchive> OpenMemory(const void* bytes, size_t size);

    ~CZipArchive();
    CZipArchive(const CZipArchive&) = delete;
    CZipArchive& operator=(const CZipArchive&) = delete;

    void Close();

    // The first member in directory order whose stored name matches; "\" in `name`
    // matches "/", and `ignoreCase` folds ASCII letters only. Ends any read in progress.
    ZipResult FindMember(const std::wstring& name, bool ignoreCase, int& index, ZipMemberInfo& info);
    // Index -1 reports the member count in info.index.
    ZipResult GetMember(int index, ZipMemberInfo& info) const;
    // Fills `buffer` with up to `size` bytes of the member's data. After kZipMore the
    // next call for the same index continues where this one stopped.
    ZipResult ExtractToMemory(int index, void* buffer, size_t size);

    int MemberCount() const;

private:
    class Source;
    struct Member;
    struct OpenMember;

    explicit CZipArchive(std::unique_ptr<Source> source);
    static std::unique_ptr<CZipArchive> Open(std::unique_ptr<Source> source);
    bool ReadDirectory();
    ZipResult OpenForReading(int index);
    ZipResult ReadOpenMember(uint8_t* buffer, size_t size);
    void CloseOpenMember();

    std::unique_ptr<Source> source_;
    std::vector<Member> members_;
    // Added to every offset the archive states: the length of data preceding the
    // archive, such as a self-extracting stub.
    uint64_t offsetCorrection_ = 0;
    std::unique_ptr<OpenMember> open_;
};

}  // namespace Veneer
