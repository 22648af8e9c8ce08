// The work folder under Program Files. Runs in the settings program, whose name
// the folder takes.
#include "common/WorkFolder.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "common/SystemUtil.h"

TEST(WorkFolder, IsProgramFilesThenVanteloDownThenTheProgramsBaseName)
{
    EXPECT_EQ(GetProgramFilesFolder() + L"vantelo_down\\test_settings\\", GetWorkFolder());
    EXPECT_EQ(L"D:\\Apps\\vantelo_down\\Setup\\", WorkFolderUnder(L"D:\\Apps\\", L"Setup"));
}

TEST(WorkFolder, IsNoneWhenProgramFilesIsUnknownInsteadOfTheDriveRoot)
{
    // GetProgramFilesFolder answers a lone backslash when the shell knows no folder.
    for (const wchar_t* unknown : {L"\\", L"", L"Program Files\\", L"\\\\server\\share\\", L"1:\\"}) {
        EXPECT_EQ(L"", WorkFolderUnder(unknown, L"Setup")) << ToUtf8(unknown);
    }
}
