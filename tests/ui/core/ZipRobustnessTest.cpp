// Deterministic mutation test: damaged copies of every archive under tests/data/zip
// are opened, searched, extracted and unpacked. Nothing may crash, hang, read past
// the archive's block or write past a buffer, and every failure must be one of the
// reader's codes or the markup loader's texts.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "ui/core/ResourceLoader.h"
#include "ui/core/WindowManager.h"
#include "ui/core/ZipArchive.h"

using namespace Veneer;

namespace {

constexpr int kMutatedArchives = 10000;
constexpr size_t kChunk = 4096;
constexpr size_t kExtractBudget = 64 * 1024;  // per member, to keep the run short
constexpr size_t kGuard = 16;

// Offsets of "PK" signatures, where header fields are worth damaging.
std::vector<size_t> Signatures(const std::string& bytes)
{
    std::vector<size_t> found;
    for (size_t i = 0; i + 1 < bytes.size(); ++i) {
        if (bytes[i] == 'P' && bytes[i + 1] == 'K') found.push_back(i);
    }
    return found;
}

std::string Mutate(std::string bytes, TestRandom& random)
{
    static const uint32_t interesting[] = {0, 1, 0x7F, 0x80, 0xFF, 0xFFFF, 0x10000, 0x7FFFFFFF, 0xFFFFFFFF};
    const std::vector<size_t> signatures = Signatures(bytes);
    const size_t operations = 1 + random.Below(4);
    for (size_t n = 0; n < operations && !bytes.empty(); ++n) {
        const size_t at = random.Below(bytes.size());
        switch (random.Below(7)) {
        case 0: bytes[at] = static_cast<char>(bytes[at] ^ (1 << random.Below(8))); break;
        case 1: bytes[at] = static_cast<char>(random.Next()); break;
        case 2: bytes[at] = static_cast<char>(interesting[random.Below(5)]); break;
        case 3: {
            // A header field: 2 or 4 bytes within the first 46 after a signature.
            if (signatures.empty()) break;
            const size_t field = signatures[random.Below(signatures.size())] + random.Below(46);
            const uint32_t value = interesting[random.Below(sizeof interesting / sizeof interesting[0])] +
                                   static_cast<uint32_t>(random.Below(3)) - 1;
            const size_t width = random.Below(2) ? 4 : 2;
            for (size_t b = 0; b < width && field + b < bytes.size(); ++b) {
                bytes[field + b] = static_cast<char>(value >> (8 * b));
            }
            break;
        }
        case 4: bytes.resize(at); break;
        case 5: bytes.erase(at, 1 + random.Below(64)); break;
        case 6: bytes.insert(at, bytes.substr(random.Below(bytes.size()), 1 + random.Below(64))); break;
        }
    }
    return bytes;
}

bool IsReaderCode(ZipResult result)
{
    switch (result) {
    case kZipOk:
    case kZipMore:
    case kZipNotFound:
    case kZipArgs:
    case kZipCorrupt:
    case kZipRead:
    case kZipNoFile:
    case kZipInflate: return true;
    }
    return false;
}

struct Tally {
    int opened = 0;
    int extracted = 0;
    int failedExtractions = 0;
};

void Exercise(CZipArchive& archive, Tally& tally)
{
    ZipMemberInfo count;
    ASSERT_EQ(kZipOk, archive.GetMember(-1, count));
    ASSERT_EQ(archive.MemberCount(), count.index);
    std::vector<uint8_t> buffer(kChunk + kGuard);
    for (int index = 0; index < std::min(count.index, 64); ++index) {
        ZipMemberInfo info;
        ASSERT_EQ(kZipOk, archive.GetMember(index, info));
        ASSERT_LE(info.name.size(), 259u);
        int found = -1;
        ZipMemberInfo foundInfo;
        ZipResult search = archive.FindMember(info.name, index % 2 == 0, found, foundInfo);
        ASSERT_TRUE(search == kZipOk || search == kZipNotFound) << std::hex << search;
        if (search == kZipOk) {
            ASSERT_LE(found, index);
        }

        size_t extracted = 0;
        ZipResult result = kZipMore;
        while (result == kZipMore && extracted < kExtractBudget) {
            std::fill(buffer.begin(), buffer.end(), 0xA5);
            result = archive.ExtractToMemory(index, buffer.data(), kChunk);
            ASSERT_TRUE(IsReaderCode(result)) << std::hex << result;
            for (size_t g = kChunk; g < buffer.size(); ++g) ASSERT_EQ(0xA5, buffer[g]) << "wrote past the buffer";
            extracted += kChunk;
        }
        if (ZipSucceeded(result)) {
            ++tally.extracted;
        } else {
            ++tally.failedExtractions;
        }
    }
}

const std::set<std::wstring>& MarkupTexts()
{
    static const std::set<std::wstring> texts = {
        L"Error opening file", L"File is empty", L"File too large", L"Could not read file",
        L"Error opening zip file", L"Could not find ziped file", L"Could not unzip file"};
    return texts;
}

// Only the folder itself, nothing beside it.
std::vector<std::wstring> Entries(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

}  // namespace

TEST(ZipRobustness, MutatedArchivesFailOnlyWithTheirCodes)
{
    const std::vector<std::string> archives = ReadFolderFiles(TestDataPath(L"zip"), L"*.zip");
    ASSERT_GE(archives.size(), 10u);
    TempFolder work;
    const std::wstring unpackParent = work.Path() + L"\\parent";
    CWindowManagerUI::SetResourceFolder(work.Path());
    CWindowManagerUI::SetResourceArchive(L"mutated.zip", false);

    TestRandom random(20240517);
    Tally tally;
    int markupLoads = 0;
    for (int n = 0; n < kMutatedArchives; ++n) {
        const std::string& original = archives[static_cast<size_t>(n) % archives.size()];
        const std::string mutated = Mutate(original, random);
        GuardedBlock block(mutated, n % 2 == 0);
        auto archive = CZipArchive::OpenMemory(block.Data(), block.Size());
        if (archive) {
            ++tally.opened;
            Exercise(*archive, tally);
            if (HasFatalFailure()) {
                WriteFileBytes(BuildPath(L"zip-robustness-failure.zip"), mutated);
                FAIL() << "mutation " << n << " saved as zip-robustness-failure.zip in the build folder";
            }
        }

        if (n % 25 == 0) {
            // The markup loader on the same bytes, read from a file for this load.
            ASSERT_TRUE(WriteFileBytes(work.Path() + L"\\mutated.zip", mutated));
            std::string bytes;
            std::wstring error;
            for (const wchar_t* name : {L"skin.xml", L"readme.txt", L"English/text.ini", L"exact.bin"}) {
                if (!LoadMarkupBytes(name, bytes, error)) {
                    ASSERT_EQ(1u, MarkupTexts().count(error)) << n;
                } else {
                    ASSERT_LE(bytes.size(), kMaxMarkupBytes);
                }
                ++markupLoads;
            }
        }
        if (n % 40 == 1) {
            CreateDirectoryW(unpackParent.c_str(), nullptr);
            ASSERT_TRUE(UnpackArchiveToFolder(block.Data(), block.Size(), unpackParent + L"\\target"));
            std::vector<std::wstring> beside = Entries(unpackParent);
            ASSERT_LE(beside.size(), 1u) << "mutation " << n << " wrote beside the target folder";
            RemoveTree(unpackParent);
        }
    }
    std::printf("mutated %d archives: %d opened, %d member extractions succeeded, %d failed; %d markup loads\n",
                kMutatedArchives, tally.opened, tally.extracted, tally.failedExtractions, markupLoads);
    // The mutations must leave enough intact to reach the member reader.
    EXPECT_GT(tally.opened, kMutatedArchives / 10);
    EXPECT_GT(tally.failedExtractions, 100);
    EXPECT_GT(tally.extracted, 1000);
}
