// The owners: each closes its handle once, with its own function, and leaves the
// caller's last error as it was.
#include "base/UniqueResource.h"

#include <gtest/gtest.h>

#include <utility>

#include "TestSupport.h"

namespace {

// A handle is closed when the system no longer knows it.
bool IsOpen(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

}  // namespace

TEST(UniqueResource, ClosesOnceAndMovesOwnership)
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    {
        UniqueKernelHandle first(event);
        UniqueKernelHandle second(std::move(first));
        EXPECT_FALSE(first.Valid());
        EXPECT_EQ(event, second.Get());
        UniqueKernelHandle third;
        third = std::move(second);
        EXPECT_FALSE(second);
        EXPECT_TRUE(IsOpen(event));
    }
    EXPECT_FALSE(IsOpen(event));

    HANDLE kept = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    UniqueKernelHandle owner(kept);
    EXPECT_EQ(kept, owner.Release());
    owner.Reset();
    EXPECT_TRUE(IsOpen(kept));
    CloseHandle(kept);
}

TEST(UniqueResource, ClosingKeepsTheCallersLastError)
{
    UniqueKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.Receive()));
    TempFolder folder;
    UniqueFileHandle file(CreateFileW((folder.Path() + L"\\f").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                      nullptr));
    ASSERT_TRUE(file.Valid());
    SetLastError(ERROR_DISK_FULL);
    event.Reset();
    key.Reset();
    file.Reset();
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), GetLastError());
}

TEST(UniqueResource, EachKindKnowsItsOwnFailureValue)
{
    UniqueFileHandle missing(CreateFileW(L"C:\\no\\such\\folder\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                         nullptr));
    EXPECT_FALSE(missing.Valid()) << "CreateFile fails with INVALID_HANDLE_VALUE";
    UniqueKernelHandle none(OpenEventW(EVENT_ALL_ACCESS, FALSE, L"vantelo-no-such-event"));
    EXPECT_FALSE(none.Valid()) << "OpenEvent fails with null";
    UniqueFindHandle search(FindFirstFileW(L"C:\\no\\such\\folder\\*", nullptr));
    EXPECT_FALSE(search.Valid());
    UniqueKernelHandle receiving;
    HANDLE* slot = receiving.Receive();
    EXPECT_EQ(nullptr, *slot);
}

TEST(UniqueResource, TheDeviceContextAndGdiOwnersFreeTheirObjects)
{
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    {
        UniqueDeviceContext memory(CreateCompatibleDC(nullptr));
        UniqueGdiObject<HBITMAP> surface(CreateCompatibleBitmap(memory.Get(), 4, 4));
        ASSERT_TRUE(memory && surface);
        dc = memory.Get();
        bitmap = surface.Get();
        EXPECT_NE(0, GetObjectType(bitmap));
    }
    EXPECT_EQ(0u, GetObjectType(bitmap));
    EXPECT_EQ(0u, GetObjectType(dc));
}
