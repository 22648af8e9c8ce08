/* Adds a DER certificate to the local machine's Root store of the current Wine
   prefix, so WinHTTP and WinINet trust the test servers' certificates. */
#include <windows.h>
#include <wincrypt.h>
#include <stdio.h>

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2) {
        fwprintf(stderr, L"usage: trust-ca file.der\n");
        return 2;
    }
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        fwprintf(stderr, L"trust-ca: cannot open %ls (%lu)\n", argv[1], GetLastError());
        return 1;
    }
    BYTE der[16384];
    DWORD size = 0;
    BOOL read = ReadFile(file, der, sizeof der, &size, NULL);
    CloseHandle(file);
    if (!read || size == 0 || size == sizeof der) {
        fwprintf(stderr, L"trust-ca: cannot read the certificate\n");
        return 1;
    }
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!store) {
        fwprintf(stderr, L"trust-ca: cannot open the Root store (%lu)\n", GetLastError());
        return 1;
    }
    BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der, size, CERT_STORE_ADD_REPLACE_EXISTING, NULL);
    DWORD error = GetLastError();
    CertCloseStore(store, 0);
    if (!added) {
        fwprintf(stderr, L"trust-ca: cannot add the certificate (%lu)\n", error);
        return 1;
    }
    return 0;
}
