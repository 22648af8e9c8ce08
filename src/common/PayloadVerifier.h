#pragma once
// Verification of the downloaded product installer before it runs elevated: its
// Authenticode signature, judged by WinVerifyTrust and by this program's own
// check, and the signer's public key against the keys the product data pins.
// Wine's WinVerifyTrust compares the image digest but skips the chain policy for
// SHA-256 certificates and accepts a signature copied onto another file, so it
// cannot decide alone; on Windows both must agree too.
//
// Thread contract: free functions and move-only owners without shared state; any
// thread. A check reads the whole file, so it belongs on a worker thread.
// Lifetime: a CHeldPayload owns its file handle; whoever holds it decides when the
// file may change again (Release, after the process started from it) or goes
// (Delete).

#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/UniqueResource.h"

// SHA-256 of a certificate's DER-encoded SubjectPublicKeyInfo.
using SignerKeyPin = std::array<BYTE, 32>;

// Pins as product data writes them: 64 hex digits each, separated by commas,
// semicolons or blanks. Entries that are not 64 hex digits go to `rejected`.
std::vector<SignerKeyPin> ParseSignerKeyPins(const std::wstring& text, std::vector<std::wstring>* rejected);

// The downloaded file, open from its check until a process has been started from
// it. The share mode lets others read and execute it (as CreateProcess opens it)
// but nobody can write, rename or delete it meanwhile; a link in its place is never
// followed.
class CHeldPayload {
public:
    // Null, with the Windows error in `error`, when the file cannot be held.
    static std::unique_ptr<CHeldPayload> Open(const std::wstring& path, DWORD* error);

    HANDLE Handle() const { return m_file.Get(); }
    const std::wstring& Path() const { return m_path; }
    // Lets the file go as it is: for after the process started from it.
    void Release() { m_file.Reset(); }
    // Lets the file go and deletes it.
    bool Delete();

private:
    CHeldPayload(std::wstring path, HANDLE file) : m_path(std::move(path)), m_file(file) {}

    std::wstring m_path;
    UniqueFileHandle m_file;
};

struct PayloadVerdict {
    bool trusted = false;
    std::string reason;  // why not, for the log; empty when trusted
};

// Asked between the pieces of a check's reading: true ends the check, refused.
using PayloadCheckCancelled = std::function<bool()>;

// This program's own Authenticode check of an open PE file: a single SHA-256
// signer; the signature verifies; the signed digest matches the signed content;
// the image digest computed here matches the signed one; the certificate table
// ends the file; the chain builds to a trusted root with no error status, at the
// time of a valid RFC 3161 timestamp when there is one, else now; the signer's
// key is pinned.
PayloadVerdict CheckAuthenticode(HANDLE file, const std::vector<SignerKeyPin>& pins,
                                 const PayloadCheckCancelled& cancelled = {});

// WinVerifyTrust's generic Authenticode verdict on the open file (0: trusted),
// without user interface and without revocation checks.
LONG WinVerifyTrustFile(HANDLE file, const std::wstring& path);

struct PayloadCheck {
    PayloadVerdict verdict;
    std::unique_ptr<CHeldPayload> held;  // set when trusted
};

// Holds the file, then runs both checks on it. A refused file is deleted through
// the hold before this returns; so is a file whose check was cancelled, which
// ends within a megabyte of reading, or before WinVerifyTrust reads it again.
PayloadCheck VerifyAndHoldPayload(const std::wstring& path, const std::vector<SignerKeyPin>& pins,
                                  const PayloadCheckCancelled& cancelled = {});
