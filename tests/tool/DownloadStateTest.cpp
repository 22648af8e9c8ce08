#include "tool/DownloadState.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

std::string Fixture(const std::string& name)
{
    return ReadFileBytes(TestDataPath(L"download-state\\" + ToWide(name)));
}

}  // namespace

TEST(DownloadState, ReadsAValidFileBeyondFourGibibytes)
{
    CDownloadState state;
    ASSERT_TRUE(state.Parse(Fixture("valid.state")));
    EXPECT_EQ(5368721465LL, state.llFileSize);
    EXPECT_TRUE(state.bETag);
    EXPECT_EQ(L"\"140003039-6b1809fe-1\"", state.strValidator);
    EXPECT_EQ(L"https://localhost:443/files/big.bin", state.strUrl);
    ASSERT_EQ(3u, state.done.size());
    EXPECT_EQ(4295267296LL, state.done[2].llFirst);
    EXPECT_EQ(5368421465LL, state.done[2].llEnd);
    EXPECT_EQ(5368721465LL - 1500000, state.DoneBytes());
    EXPECT_EQ(Fixture("valid.state"), state.Serialize()) << "written as it is read";

    CDownloadState dated;
    ASSERT_TRUE(dated.Parse(Fixture("valid-date.state")));
    EXPECT_FALSE(dated.bETag);
    EXPECT_EQ(L"Tue, 08 Dec 2026 13:17:35 GMT", dated.strValidator);
    EXPECT_TRUE(dated.done.empty());
}

TEST(DownloadState, RefusesEveryMalformedFileAndKeepsWhatItHad)
{
    for (const char* name : {"wrong-check.state", "no-check.state", "truncated.state", "overlapping.state",
                             "descending.state", "beyond-size.state", "empty-range.state", "negative.state",
                             "huge-number.state", "other-version.state", "unknown-line.state", "no-url.state",
                             "control-character.state", "crlf.state", "blank-validator.state"}) {
        CDownloadState state;
        state.llFileSize = 7;
        EXPECT_FALSE(state.Parse(Fixture(name))) << name;
        EXPECT_EQ(7, state.llFileSize) << name;
    }
    CDownloadState state;
    EXPECT_FALSE(state.Parse(std::string(300 * 1024, 'x'))) << "oversized";
    EXPECT_FALSE(state.Parse(""));
}

TEST(DownloadState, SavesAndLoadsThroughAFileAndRefusesLinesThatWouldBreakIt)
{
    TempFolder folder;
    std::wstring path = CDownloadState::PathFor(folder.Path() + L"\\vantelo-download.exe");
    EXPECT_EQ(folder.Path() + L"\\vantelo-download.exe.state", path);
    CDownloadState state;
    state.llFileSize = 1048579;
    state.bETag = true;
    state.strValidator = L"\"abc\"";
    state.strUrl = L"https://h\u00e9st.example/\u6587\u4ef6.exe";
    state.done = {{0, 1000}, {5000, 6000}};
    ASSERT_TRUE(state.Save(path));
    EXPECT_FALSE(FileExistsW(path + L".new")) << "the temporary file is moved into place";
    CDownloadState loaded;
    ASSERT_TRUE(loaded.Load(path));
    EXPECT_EQ(state.Serialize(), loaded.Serialize());
    EXPECT_EQ(state.strUrl, loaded.strUrl) << "UTF-8 round trip";

    state.strValidator = L"\"a\r\ndone 0 1048579\"";
    EXPECT_FALSE(state.Save(path)) << "a validator with a line break";
    ASSERT_TRUE(loaded.Load(path));
    EXPECT_EQ(2u, loaded.done.size()) << "the file on disk is the last good one";
    EXPECT_FALSE(CDownloadState().Load(folder.Path() + L"\\missing.state"));
}
