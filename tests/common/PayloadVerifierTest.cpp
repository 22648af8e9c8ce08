#include "common/PayloadVerifier.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "TestSupport.h"

// The sample installer signed each way tools/release/sign-variants.py knows, made by
// the build with the throwaway material of tools/release/make-test-codesign; the
// publisher's pin comes from the same place.
namespace {

std::wstring Variant(const char* name) { return BuildPath(L"payload-variants\\" + ToWide(name) + L".exe"); }

std::vector<SignerKeyPin> PublisherPins()
{
    std::string text = ReadFileBytes(HostPathToWindows(VANTELO_CODESIGN_DIR "/signer.pin"));
    std::vector<SignerKeyPin> pins = ParseSignerKeyPins(ToWide(text), nullptr);
    EXPECT_EQ(1u, pins.size()) << "build/codesign/signer.pin: run tools/setup";
    return pins;
}

// A copy the check may delete.
std::wstring CopyOf(const TempFolder& folder, const char* name)
{
    std::wstring copy = folder.Path() + L"\\" + ToWide(name) + L".exe";
    EXPECT_TRUE(CopyFileW(Variant(name).c_str(), copy.c_str(), FALSE)) << name;
    return copy;
}

struct Refusal {
    const char* variant;
    const char* reason;  // part of the own check's reason
};

const Refusal kRefusals[] = {
    {"unsigned", "the file is not signed"},
    {"flipped-code-byte", "the image digest does not match the signed digest"},
    {"other-key", "the signer's key is not one of the pinned keys"},
    {"expired", "the signer's certificate chain has error status 0x00000001"},  // not time valid
    {"expired-late-timestamp", "the signer's certificate chain has error status 0x00000001"},
    {"untrusted-root", "the signer's certificate chain has error status 0x00000020"},  // untrusted root
    {"copied-signature", "the signed digest does not match the signed content"},
    {"data-after-signature", "the certificate table does not end the file"},
    {"broken-signature", "has a signature that does not verify"},
};

PayloadVerdict OwnCheck(const std::wstring& path, const std::vector<SignerKeyPin>& pins, LONG* trust = nullptr)
{
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_NE(INVALID_HANDLE_VALUE, file.Get()) << ToUtf8(path);
    PayloadVerdict verdict = CheckAuthenticode(file.Get(), pins);
    if (trust) *trust = WinVerifyTrustFile(file.Get(), path);
    return verdict;
}

TEST(SignerKeyPins, HexPinsSeparatedByCommasSemicolonsOrBlanks)
{
    std::wstring a(64, L'a'), b = L"0123456789ABCDEF0123456789abcdef0123456789ABCDEF0123456789abcdef";
    std::vector<std::wstring> rejected;
    std::vector<SignerKeyPin> pins = ParseSignerKeyPins(L" " + a + L",\t" + b + L" ; short, " + a + L"00", &rejected);
    ASSERT_EQ(2u, pins.size());
    EXPECT_EQ(0xAA, pins[0][0]);
    EXPECT_EQ(0x01, pins[1][0]);
    EXPECT_EQ(0xEF, pins[1][31]);
    ASSERT_EQ(2u, rejected.size());
    EXPECT_EQ(L"short", rejected[0]);
    EXPECT_TRUE(ParseSignerKeyPins(L"", nullptr).empty());
    EXPECT_TRUE(ParseSignerKeyPins(std::wstring(63, L'a') + L"g", nullptr).empty());
}

TEST(OwnCheck, TheSignedSampleAndAnExpiredSignerTimestampedInItsValidityAreTrusted)
{
    std::vector<SignerKeyPin> pins = PublisherPins();
    for (const char* name : {"signed", "expired-timestamped"}) {
        LONG trust = -1;
        PayloadVerdict verdict = OwnCheck(Variant(name), pins, &trust);
        EXPECT_TRUE(verdict.trusted) << name << ": " << verdict.reason;
        EXPECT_EQ(0, trust) << name;
    }
}

TEST(OwnCheck, EachFlawIsRefusedForItsOwnReason)
{
    std::vector<SignerKeyPin> pins = PublisherPins();
    for (const Refusal& refusal : kRefusals) {
        LONG trust = 0;
        PayloadVerdict verdict = OwnCheck(Variant(refusal.variant), pins, &trust);
        EXPECT_FALSE(verdict.trusted) << refusal.variant;
        EXPECT_NE(std::string::npos, verdict.reason.find(refusal.reason))
            << refusal.variant << ": " << verdict.reason;
        // What WinVerifyTrust says of the same file: under Wine most flaws pass it.
        printf("WinVerifyTrust %-24s 0x%08lX\n", refusal.variant, static_cast<unsigned long>(trust));
    }
}

TEST(OwnCheck, AKeyIsTrustedOnlyWhenPinned)
{
    PayloadVerdict none = OwnCheck(Variant("signed"), {});
    EXPECT_FALSE(none.trusted);
    EXPECT_EQ("no signer key is pinned", none.reason);
    std::vector<SignerKeyPin> pins = ParseSignerKeyPins(std::wstring(64, L'0'), nullptr);
    for (const SignerKeyPin& publisher : PublisherPins()) pins.push_back(publisher);
    EXPECT_TRUE(OwnCheck(Variant("signed"), pins).trusted) << "one of several pins";
}

TEST(WinVerifyTrust, RefusesWhatWineChecks)
{
    // Wine compares the image digest and finds a missing signature; the chain, the
    // signer's validity and a copied signature it does not judge (see the report above).
    EXPECT_NE(0, WinVerifyTrustFile(nullptr, Variant("flipped-code-byte")));
    EXPECT_NE(0, WinVerifyTrustFile(nullptr, Variant("unsigned")));
}

TEST(VerifyAndHold, ARefusedFileIsDeletedAndNeverHeld)
{
    TempFolder folder;
    std::vector<SignerKeyPin> pins = PublisherPins();
    for (const Refusal& refusal : kRefusals) {
        std::wstring copy = CopyOf(folder, refusal.variant);
        PayloadCheck check = VerifyAndHoldPayload(copy, pins);
        EXPECT_FALSE(check.verdict.trusted) << refusal.variant;
        EXPECT_FALSE(check.held) << refusal.variant;
        EXPECT_FALSE(FileExistsW(copy)) << refusal.variant << " was left behind";
    }
    PayloadCheck missing = VerifyAndHoldPayload(folder.Path() + L"\\missing.exe", pins);
    EXPECT_FALSE(missing.verdict.trusted);
    EXPECT_NE(std::string::npos, missing.verdict.reason.find("cannot be held")) << missing.verdict.reason;
}

TEST(VerifyAndHold, ACancelledCheckTrustsNothingAndDeletesTheFile)
{
    TempFolder folder;
    std::vector<SignerKeyPin> pins = PublisherPins();
    int asks = 0;
    {
        // Asked once a megabyte, and once more before WinVerifyTrust reads the file again.
        std::wstring copy = CopyOf(folder, "signed");
        PayloadCheck check = VerifyAndHoldPayload(copy, pins, [&] { return ++asks, false; });
        ASSERT_TRUE(check.verdict.trusted) << check.verdict.reason;
        ASSERT_GT(asks, 2);
    }
    // Cancelled at the first piece, in the middle, and at the last question.
    for (int cancelAt : {1, asks / 2, asks}) {
        std::wstring copy = CopyOf(folder, "signed");
        int asked = 0;
        PayloadCheck check = VerifyAndHoldPayload(copy, pins, [&] { return ++asked >= cancelAt; });
        EXPECT_FALSE(check.verdict.trusted) << cancelAt;
        EXPECT_EQ("the check was cancelled", check.verdict.reason) << cancelAt;
        EXPECT_FALSE(check.held);
        EXPECT_FALSE(FileExistsW(copy)) << "left behind when cancelled at " << cancelAt;
        EXPECT_EQ(cancelAt, asked) << "asked on after the cancel";
    }
}

TEST(VerifyAndHold, AHeldFileCannotChangeOrGoButStartsAProcess)
{
    TempFolder folder;
    std::wstring copy = CopyOf(folder, "signed");
    PayloadCheck check = VerifyAndHoldPayload(copy, PublisherPins());
    ASSERT_TRUE(check.verdict.trusted) << check.verdict.reason;
    ASSERT_TRUE(check.held);

    UniqueFileHandle writer(CreateFileW(copy.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        0, nullptr));
    EXPECT_EQ(INVALID_HANDLE_VALUE, writer.Get());
    EXPECT_FALSE(DeleteFileW(copy.c_str()));
    EXPECT_FALSE(MoveFileW(copy.c_str(), (copy + L".moved").c_str()));

    // CreateProcess opens the file for reading and execution and shares deletion.
    std::wstring commandLine = L"\"" + copy + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(copy.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                               nullptr, &startup, &process))
        << GetLastError();
    UniqueProcessInformation started(process);
    TerminateProcess(started.process.Get(), 0);
    WaitForSingleObject(started.process.Get(), 10000);

    check.held->Release();
    EXPECT_TRUE(DeleteFileW(copy.c_str())) << "released: " << GetLastError();
}

}  // namespace
