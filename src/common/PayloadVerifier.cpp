#include "common/PayloadVerifier.h"

// wincrypt.h before wintrust.h and softpub.h, which build on it.
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>
#include <bcrypt.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

using Digest = std::array<BYTE, 32>;

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr char kSha256Oid[] = "2.16.840.1.101.3.4.2.1";
constexpr char kTstInfoOid[] = "1.2.840.113549.1.9.16.1.4";          // id-ct-TSTInfo (RFC 3161)
constexpr char kRfc3161TimestampOid[] = "1.3.6.1.4.1.311.3.3.1";     // where signtool /tr puts the token
constexpr DWORD kMaxHeaderBytes = 64 * 1024;
// A signature with its certificates and a timestamp is a few KiB.
constexpr DWORD kMaxCertificateTable = 1024 * 1024;
constexpr DWORD kReadChunk = 1024 * 1024;
constexpr char kCancelledReason[] = "the check was cancelled";
// A timestamp from the future is no evidence of the past; allow for clock skew.
constexpr ULONGLONG kTimestampSkew = 5ULL * 60 * 10000000;  // 5 minutes in 100 ns units

std::string Format(const char* format, unsigned long value)
{
    char text[160];
    snprintf(text, sizeof text, format, value);
    return text;
}

class Sha256 {
public:
    Sha256()
    {
        BCRYPT_ALG_HANDLE algorithm = nullptr;
        if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return;
        m_algorithm.Reset(algorithm);
        BCRYPT_HASH_HANDLE hash = nullptr;
        if (BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0) m_hash.Reset(hash);
    }
    bool Update(const BYTE* data, size_t size)
    {
        return m_hash.Valid() &&
               BCryptHashData(m_hash.Get(), const_cast<PUCHAR>(data), static_cast<ULONG>(size), 0) == 0;
    }
    bool Finish(Digest& digest)
    {
        return m_hash.Valid() && BCryptFinishHash(m_hash.Get(), digest.data(), static_cast<ULONG>(digest.size()), 0) == 0;
    }

private:
    UniqueBCryptAlgorithm m_algorithm;  // declared first: the hash goes before its provider
    UniqueBCryptHash m_hash;
};

bool Sha256Of(const BYTE* data, size_t size, Digest& digest)
{
    Sha256 hash;
    return hash.Update(data, size) && hash.Finish(digest);
}

bool SameBytes(const BYTE* data, size_t size, const Digest& digest)
{
    return size == digest.size() && memcmp(data, digest.data(), size) == 0;
}

bool ReadAt(HANDLE file, ULONGLONG offset, void* buffer, DWORD size)
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    return ReadFile(file, buffer, size, &got, &at) && got == size;
}

bool HashRange(HANDLE file, ULONGLONG begin, ULONGLONG end, std::vector<BYTE>& buffer, Sha256& hash,
               const PayloadCheckCancelled& cancelled)
{
    while (begin < end) {
        if (cancelled && cancelled()) return false;
        DWORD piece = static_cast<DWORD>(end - begin < kReadChunk ? end - begin : kReadChunk);
        if (!ReadAt(file, begin, buffer.data(), piece) || !hash.Update(buffer.data(), piece)) return false;
        begin += piece;
    }
    return true;
}

DWORD ReadLe32(const BYTE* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<DWORD>(p[3]) << 24; }
WORD ReadLe16(const BYTE* p) { return static_cast<WORD>(p[0] | p[1] << 8); }

// ---- DER, only as far as the checks need it --------------------------------------

// Reads one element with a definite length from [p, p + size); its contents follow.
struct DerElement {
    BYTE tag = 0;
    const BYTE* contents = nullptr;
    size_t length = 0;
    size_t total = 0;  // header and contents
};

bool ReadDer(const BYTE* p, size_t size, DerElement& element)
{
    if (size < 2) return false;
    element.tag = p[0];
    size_t header = 2;
    size_t length = p[1];
    if (length & 0x80) {
        size_t bytes = length & 0x7F;
        if (bytes == 0 || bytes > 4 || size < 2 + bytes) return false;  // indefinite or absurd lengths
        length = 0;
        for (size_t i = 0; i < bytes; ++i) length = length << 8 | p[2 + i];
        header += bytes;
    }
    if (length > size - header) return false;
    element.contents = p + header;
    element.length = length;
    element.total = header + length;
    return true;
}

// Walks the elements inside one constructed element.
class DerCursor {
public:
    DerCursor(const BYTE* p, size_t size) : m_p(p), m_left(size) {}
    explicit DerCursor(const DerElement& parent) : m_p(parent.contents), m_left(parent.length) {}
    bool Next(BYTE tag, DerElement& element)
    {
        if (!ReadDer(m_p, m_left, element) || element.tag != tag) return false;
        m_p += element.total;
        m_left -= element.total;
        return true;
    }

private:
    const BYTE* m_p;
    size_t m_left;
};

constexpr BYTE kDerSequence = 0x30;
constexpr BYTE kDerInteger = 0x02;
constexpr BYTE kDerOid = 0x06;
constexpr BYTE kDerOctetString = 0x04;
constexpr BYTE kDerGeneralizedTime = 0x18;
// The DER contents of SHA-256's object identifier, 2.16.840.1.101.3.4.2.1.
constexpr BYTE kSha256OidContents[] = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};

// "YYYYMMDDhhmmss[.fraction]Z", as RFC 3161 requires genTime to be written.
bool ParseGeneralizedTime(const DerElement& element, FILETIME& time)
{
    const char* text = reinterpret_cast<const char*>(element.contents);
    size_t length = element.length;
    if (length < 15 || text[length - 1] != 'Z') return false;
    for (size_t i = 0; i < 14; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    auto number = [text](size_t at, size_t digits) {
        WORD value = 0;
        for (size_t i = 0; i < digits; ++i) value = static_cast<WORD>(value * 10 + (text[at + i] - '0'));
        return value;
    };
    SYSTEMTIME system{};
    system.wYear = number(0, 4);
    system.wMonth = number(4, 2);
    system.wDay = number(6, 2);
    system.wHour = number(8, 2);
    system.wMinute = number(10, 2);
    system.wSecond = number(12, 2);
    return SystemTimeToFileTime(&system, &time) != FALSE;
}

// ---- the PE file ---------------------------------------------------------------------

// Where Authenticode's gaps lie: the checksum, the certificate-table entry and the table.
struct PeLayout {
    DWORD checksumOffset = 0;
    DWORD securityEntryOffset = 0;
    DWORD tableOffset = 0;
    DWORD tableSize = 0;
};

bool ReadPeLayout(HANDLE file, ULONGLONG fileSize, PeLayout& pe, std::string& reason)
{
    reason = "the file is not a Windows program";
    DWORD size = static_cast<DWORD>(fileSize < kMaxHeaderBytes ? fileSize : kMaxHeaderBytes);
    std::vector<BYTE> head(size);
    if (size < 0x40 || !ReadAt(file, 0, head.data(), size) || head[0] != 'M' || head[1] != 'Z') return false;
    DWORD peOffset = ReadLe32(&head[0x3C]);
    if (peOffset > size - 24 || memcmp(&head[peOffset], "PE\0\0", 4) != 0) return false;
    DWORD coff = peOffset + 4;
    DWORD optional = coff + 20;
    DWORD optionalSize = ReadLe16(&head[coff + 16]);
    if (optionalSize > size - optional || optionalSize < 2) return false;
    WORD magic = ReadLe16(&head[optional]);
    DWORD countOffset, directories;
    if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        countOffset = 92;
        directories = 96;
    } else if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        countOffset = 108;
        directories = 112;
    } else {
        return false;
    }
    pe.checksumOffset = optional + 64;
    pe.securityEntryOffset = optional + directories + 8 * IMAGE_DIRECTORY_ENTRY_SECURITY;
    if (countOffset + 4 > optionalSize || pe.securityEntryOffset + 8 > optional + optionalSize ||
        ReadLe32(&head[optional + countOffset]) <= IMAGE_DIRECTORY_ENTRY_SECURITY) {
        reason = "the file is not signed";
        return false;
    }
    pe.tableOffset = ReadLe32(&head[pe.securityEntryOffset]);
    pe.tableSize = ReadLe32(&head[pe.securityEntryOffset + 4]);
    if (pe.tableOffset == 0 || pe.tableSize == 0) {
        reason = "the file is not signed";
        return false;
    }
    // Bytes after the table are covered by no digest: they could carry anything.
    if (static_cast<ULONGLONG>(pe.tableOffset) + pe.tableSize != fileSize) {
        reason = "the certificate table does not end the file";
        return false;
    }
    if (pe.tableOffset < pe.securityEntryOffset + 8 || pe.tableSize < 8 || pe.tableSize > kMaxCertificateTable) {
        reason = "the certificate table is malformed";
        return false;
    }
    return true;
}

// The PKCS#7 signature: the certificate table's only entry, without its padding.
bool ReadSignatureBlob(HANDLE file, const PeLayout& pe, std::vector<BYTE>& blob, std::string& reason)
{
    std::vector<BYTE> table(pe.tableSize);
    if (!ReadAt(file, pe.tableOffset, table.data(), pe.tableSize)) {
        reason = "the certificate table cannot be read";
        return false;
    }
    DWORD length = ReadLe32(&table[0]);
    WORD revision = ReadLe16(&table[4]);
    WORD type = ReadLe16(&table[6]);
    if (length < 8 || length > pe.tableSize || ((length + 7) & ~7u) != pe.tableSize) {
        reason = "the certificate table holds other entries besides the signature";
        return false;
    }
    if (revision != WIN_CERT_REVISION_2_0 || type != WIN_CERT_TYPE_PKCS_SIGNED_DATA) {
        reason = "the certificate table holds no Authenticode signature";
        return false;
    }
    DerElement outer;
    if (!ReadDer(&table[8], length - 8, outer) || outer.tag != kDerSequence) {
        reason = "the signature is malformed";
        return false;
    }
    for (size_t i = 8 + outer.total; i < length; ++i) {
        if (table[i] != 0) {
            reason = "the certificate table holds data after the signature";
            return false;
        }
    }
    blob.assign(table.begin() + 8, table.begin() + 8 + outer.total);
    return true;
}

// Authenticode's image digest: the whole file but the checksum, the certificate-table
// entry and the table itself (which ends the file).
bool ImageDigest(HANDLE file, const PeLayout& pe, Digest& digest, const PayloadCheckCancelled& cancelled)
{
    std::vector<BYTE> buffer(kReadChunk);
    Sha256 hash;
    return HashRange(file, 0, pe.checksumOffset, buffer, hash, cancelled) &&
           HashRange(file, pe.checksumOffset + 4, pe.securityEntryOffset, buffer, hash, cancelled) &&
           HashRange(file, pe.securityEntryOffset + 8, pe.tableOffset, buffer, hash, cancelled) &&
           hash.Finish(digest);
}

// ---- signed messages -----------------------------------------------------------------

std::vector<BYTE> MessageParam(HCRYPTMSG message, DWORD type, DWORD index = 0)
{
    DWORD size = 0;
    if (!CryptMsgGetParam(message, type, index, nullptr, &size) || size == 0) return {};
    std::vector<BYTE> value(size);
    if (!CryptMsgGetParam(message, type, index, value.data(), &size)) return {};
    value.resize(size);
    return value;
}

std::vector<BYTE> DecodeObject(LPCSTR structType, const BYTE* data, DWORD size)
{
    DWORD length = 0;
    if (!CryptDecodeObjectEx(kEncoding, structType, data, size, 0, nullptr, nullptr, &length)) return {};
    std::vector<BYTE> value(length);
    if (!CryptDecodeObjectEx(kEncoding, structType, data, size, 0, nullptr, value.data(), &length)) return {};
    return value;
}

bool IsSha256(const CRYPT_ALGORITHM_IDENTIFIER& algorithm)
{
    return algorithm.pszObjId && strcmp(algorithm.pszObjId, kSha256Oid) == 0;
}

// One decoded signed message with exactly one signer, whose certificate it carries
// and whose signature over the signed attributes verifies.
struct SignedMessage {
    UniqueCryptMsg message;
    UniqueCertStore store;
    UniqueCertContext signer;
    std::vector<BYTE> signerInfoBytes;
    std::vector<BYTE> content;  // the inner content as the message holds it

    const CMSG_SIGNER_INFO& SignerInfo() const
    {
        return *reinterpret_cast<const CMSG_SIGNER_INFO*>(signerInfoBytes.data());
    }
};

bool OpenSignedMessage(const BYTE* data, DWORD size, const char* contentType, SignedMessage& signed_,
                       std::string& reason)
{
    signed_.message.Reset(CryptMsgOpenToDecode(kEncoding, 0, 0, 0, nullptr, nullptr));
    if (!signed_.message.Valid() || !CryptMsgUpdate(signed_.message.Get(), data, size, TRUE)) {
        reason = Format("cannot be decoded (error %lu)", GetLastError());
        return false;
    }
    std::vector<BYTE> type = MessageParam(signed_.message.Get(), CMSG_TYPE_PARAM);
    if (type.size() != sizeof(DWORD) || *reinterpret_cast<DWORD*>(type.data()) != CMSG_SIGNED) {
        reason = "is not a signed message";
        return false;
    }
    std::vector<BYTE> count = MessageParam(signed_.message.Get(), CMSG_SIGNER_COUNT_PARAM);
    if (count.size() != sizeof(DWORD) || *reinterpret_cast<DWORD*>(count.data()) != 1) {
        reason = "does not have exactly one signer";
        return false;
    }
    std::vector<BYTE> inner = MessageParam(signed_.message.Get(), CMSG_INNER_CONTENT_TYPE_PARAM);
    if (inner.empty() || strncmp(reinterpret_cast<char*>(inner.data()), contentType, inner.size()) != 0 ||
        strlen(contentType) + 1 != inner.size()) {
        reason = "signs content of an unexpected type";
        return false;
    }
    signed_.content = MessageParam(signed_.message.Get(), CMSG_CONTENT_PARAM);
    signed_.signerInfoBytes = MessageParam(signed_.message.Get(), CMSG_SIGNER_INFO_PARAM);
    if (signed_.content.empty() || signed_.signerInfoBytes.size() < sizeof(CMSG_SIGNER_INFO)) {
        reason = "lacks its content or its signer";
        return false;
    }
    if (!IsSha256(signed_.SignerInfo().HashAlgorithm)) {
        reason = "is not signed with SHA-256";
        return false;
    }
    signed_.store.Reset(CertOpenStore(CERT_STORE_PROV_MSG, kEncoding, 0, 0, signed_.message.Get()));
    std::vector<BYTE> certInfo = MessageParam(signed_.message.Get(), CMSG_SIGNER_CERT_INFO_PARAM);
    if (!signed_.store.Valid() || certInfo.size() < sizeof(CERT_INFO)) {
        reason = "does not name its signer's certificate";
        return false;
    }
    signed_.signer.Reset(CertGetSubjectCertificateFromStore(signed_.store.Get(), kEncoding,
                                                            reinterpret_cast<PCERT_INFO>(certInfo.data())));
    if (!signed_.signer.Valid()) {
        reason = "does not carry its signer's certificate";
        return false;
    }
    CMSG_CTRL_VERIFY_SIGNATURE_EX_PARA verify{};
    verify.cbSize = sizeof verify;
    verify.dwSignerIndex = 0;
    verify.dwSignerType = CMSG_VERIFY_SIGNER_CERT;
    verify.pvSigner = const_cast<CERT_CONTEXT*>(signed_.signer.Get());
    if (!CryptMsgControl(signed_.message.Get(), 0, CMSG_CTRL_VERIFY_SIGNATURE_EX, &verify)) {
        reason = Format("has a signature that does not verify (error 0x%08lX)", GetLastError());
        return false;
    }
    return true;
}

// The signed messageDigest attribute must be the hash of what the message signs.
bool SignedDigestMatches(const SignedMessage& signed_, const BYTE* content, size_t size)
{
    const CMSG_SIGNER_INFO& info = signed_.SignerInfo();
    PCRYPT_ATTRIBUTE attribute = CertFindAttribute(szOID_PKCS_9_MESSAGE_DIGEST, info.AuthAttrs.cAttr, info.AuthAttrs.rgAttr);
    if (!attribute || attribute->cValue != 1) return false;
    std::vector<BYTE> value =
        DecodeObject(X509_OCTET_STRING, attribute->rgValue[0].pbData, attribute->rgValue[0].cbData);
    Digest digest;
    if (value.size() < sizeof(CRYPT_DATA_BLOB) || !Sha256Of(content, size, digest)) return false;
    const auto* blob = reinterpret_cast<const CRYPT_DATA_BLOB*>(value.data());
    return SameBytes(blob->pbData, blob->cbData, digest);
}

bool ChainIsTrusted(PCCERT_CONTEXT certificate, HCERTSTORE extra, const char* usage, FILETIME* at, DWORD& status)
{
    LPSTR usages[] = {const_cast<LPSTR>(usage)};
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CertGetCertificateChain(nullptr, certificate, at, extra, &para, 0, nullptr, &chain)) {
        status = GetLastError();
        return false;
    }
    UniqueCertChain owner(chain);
    status = chain->TrustStatus.dwErrorStatus;
    return status == CERT_TRUST_NO_ERROR;
}

// The time of a valid RFC 3161 timestamp over the signer's signature. False with an
// empty `why` when there is none, with the reason when there is one that is not valid.
bool TimestampTime(const CMSG_SIGNER_INFO& signer, FILETIME& time, std::string& why)
{
    why.clear();
    PCRYPT_ATTRIBUTE attribute = CertFindAttribute(kRfc3161TimestampOid, signer.UnauthAttrs.cAttr, signer.UnauthAttrs.rgAttr);
    if (!attribute) return false;
    if (attribute->cValue != 1) {
        why = "the timestamp attribute holds more than one token";
        return false;
    }
    SignedMessage token;
    std::string reason;
    if (!OpenSignedMessage(attribute->rgValue[0].pbData, attribute->rgValue[0].cbData, kTstInfoOid, token, reason)) {
        why = "the timestamp " + reason;
        return false;
    }
    // The token's content is the TSTInfo, inside an OCTET STRING as CMS writes it.
    const BYTE* tst = token.content.data();
    size_t tstSize = token.content.size();
    DerElement element;
    if (ReadDer(tst, tstSize, element) && element.tag == kDerOctetString && element.total == tstSize) {
        tst = element.contents;
        tstSize = element.length;
    }
    if (!SignedDigestMatches(token, tst, tstSize)) {
        why = "the timestamp's signed digest does not match its content";
        return false;
    }
    DerElement info, version, policy, imprint, algorithm, algorithmOid, hashed, serial, genTime;
    DerCursor top(tst, tstSize);
    if (!top.Next(kDerSequence, info)) {
        why = "the timestamp is malformed";
        return false;
    }
    DerCursor fields(info);
    if (!fields.Next(kDerInteger, version) || !fields.Next(kDerOid, policy) || !fields.Next(kDerSequence, imprint) ||
        !fields.Next(kDerInteger, serial) || !fields.Next(kDerGeneralizedTime, genTime)) {
        why = "the timestamp is malformed";
        return false;
    }
    DerCursor imprintFields(imprint);
    if (!imprintFields.Next(kDerSequence, algorithm) || !imprintFields.Next(kDerOctetString, hashed)) {
        why = "the timestamp is malformed";
        return false;
    }
    DerCursor algorithmFields(algorithm);
    if (!algorithmFields.Next(kDerOid, algorithmOid) || algorithmOid.length != sizeof kSha256OidContents ||
        memcmp(algorithmOid.contents, kSha256OidContents, sizeof kSha256OidContents) != 0) {
        why = "the timestamp does not use SHA-256";
        return false;
    }
    Digest signatureDigest;
    if (!Sha256Of(signer.EncryptedHash.pbData, signer.EncryptedHash.cbData, signatureDigest) ||
        !SameBytes(hashed.contents, hashed.length, signatureDigest)) {
        why = "the timestamp is not over this signature";
        return false;
    }
    if (!ParseGeneralizedTime(genTime, time)) {
        why = "the timestamp's time is malformed";
        return false;
    }
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER stamped{{time.dwLowDateTime, time.dwHighDateTime}};
    ULARGE_INTEGER current{{now.dwLowDateTime, now.dwHighDateTime}};
    if (stamped.QuadPart > current.QuadPart + kTimestampSkew) {
        why = "the timestamp lies in the future";
        return false;
    }
    DWORD status = 0;
    if (!ChainIsTrusted(token.signer.Get(), token.store.Get(), szOID_PKIX_KP_TIMESTAMP_SIGNING, &time, status)) {
        why = Format("the timestamp authority's certificate chain has error status 0x%08lX", status);
        return false;
    }
    return true;
}

bool SubjectKeyPin(PCCERT_CONTEXT certificate, SignerKeyPin& pin)
{
    DWORD size = 0;
    CERT_PUBLIC_KEY_INFO* key = &certificate->pCertInfo->SubjectPublicKeyInfo;
    if (!CryptEncodeObject(kEncoding, X509_PUBLIC_KEY_INFO, key, nullptr, &size)) return false;
    std::vector<BYTE> der(size);
    if (!CryptEncodeObject(kEncoding, X509_PUBLIC_KEY_INFO, key, der.data(), &size)) return false;
    return Sha256Of(der.data(), size, pin);
}

int HexValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

PayloadVerdict Refuse(std::string reason) { return PayloadVerdict{false, std::move(reason)}; }

}  // namespace

std::vector<SignerKeyPin> ParseSignerKeyPins(const std::wstring& text, std::vector<std::wstring>* rejected)
{
    std::vector<SignerKeyPin> pins;
    size_t at = 0;
    const wchar_t* separators = L", ;\t\r\n";
    while ((at = text.find_first_not_of(separators, at)) != std::wstring::npos) {
        size_t end = text.find_first_of(separators, at);
        std::wstring entry = text.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at);
        at = end == std::wstring::npos ? text.size() : end;
        SignerKeyPin pin{};
        bool valid = entry.size() == 2 * pin.size();
        for (size_t i = 0; valid && i < pin.size(); ++i) {
            int high = HexValue(entry[2 * i]), low = HexValue(entry[2 * i + 1]);
            valid = high >= 0 && low >= 0;
            pin[i] = static_cast<BYTE>(high << 4 | low);
        }
        if (valid) {
            pins.push_back(pin);
        } else if (rejected) {
            rejected->push_back(entry);
        }
    }
    return pins;
}

std::unique_ptr<CHeldPayload> CHeldPayload::Open(const std::wstring& path, DWORD* error)
{
    // No FILE_SHARE_WRITE or FILE_SHARE_DELETE: the file cannot change or be renamed
    // while held. Read access alone, so CreateProcess need not share anything more.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (error) *error = GetLastError();
        return nullptr;
    }
    std::unique_ptr<CHeldPayload> held(new CHeldPayload(path, file));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
        // A link would let the program started later be another file than the one checked.
        if (error) *error = ERROR_CANT_ACCESS_FILE;
        return nullptr;
    }
    return held;
}

bool CHeldPayload::Delete()
{
    m_file.Reset();
    return DeleteFileW(m_path.c_str()) != FALSE;
}

PayloadVerdict CheckAuthenticode(HANDLE file, const std::vector<SignerKeyPin>& pins,
                                 const PayloadCheckCancelled& cancelled)
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0) return Refuse(Format("the file size is unknown (error %lu)", GetLastError()));
    if (size.QuadPart > 0xFFFFFFFFLL) return Refuse("the file is too large to carry a signature at its end");
    PeLayout pe;
    std::string reason;
    if (!ReadPeLayout(file, static_cast<ULONGLONG>(size.QuadPart), pe, reason)) return Refuse(reason);
    std::vector<BYTE> blob;
    if (!ReadSignatureBlob(file, pe, blob, reason)) return Refuse(reason);

    SignedMessage signature;
    if (!OpenSignedMessage(blob.data(), static_cast<DWORD>(blob.size()), SPC_INDIRECT_DATA_OBJID, signature, reason)) {
        return Refuse("the signature " + reason);
    }
    // Authenticode signs the contents of the SpcIndirectDataContent, without its own tag and length.
    DerElement content;
    if (!ReadDer(signature.content.data(), signature.content.size(), content) || content.tag != kDerSequence ||
        content.total != signature.content.size()) {
        return Refuse("the signed content is malformed");
    }
    if (!SignedDigestMatches(signature, content.contents, content.length)) {
        return Refuse("the signed digest does not match the signed content");
    }
    std::vector<BYTE> indirectBytes = DecodeObject(SPC_INDIRECT_DATA_CONTENT_STRUCT, signature.content.data(),
                                                   static_cast<DWORD>(signature.content.size()));
    if (indirectBytes.size() < sizeof(SPC_INDIRECT_DATA_CONTENT)) return Refuse("the signed content is malformed");
    const auto& indirect = *reinterpret_cast<const SPC_INDIRECT_DATA_CONTENT*>(indirectBytes.data());
    if (!indirect.Data.pszObjId || strcmp(indirect.Data.pszObjId, SPC_PE_IMAGE_DATA_OBJID) != 0) {
        return Refuse("the signature is not over a program image");
    }
    if (!IsSha256(indirect.DigestAlgorithm)) return Refuse("the image digest is not SHA-256");

    Digest image;
    bool stopped = false;
    auto stop = [&] { return stopped = cancelled && cancelled(); };
    if (!ImageDigest(file, pe, image, stop)) {
        if (stopped) return Refuse(kCancelledReason);
        return Refuse(Format("the file cannot be read (error %lu)", GetLastError()));
    }
    if (!SameBytes(indirect.Digest.pbData, indirect.Digest.cbData, image)) {
        return Refuse("the image digest does not match the signed digest");
    }

    FILETIME stamped{};
    std::string why;
    bool timestamped = TimestampTime(signature.SignerInfo(), stamped, why);
    if (!why.empty()) {
        // Judged as if unstamped: the signer's certificate must be valid now.
        reason = "; timestamp ignored: " + why;
    }
    DWORD status = 0;
    if (!ChainIsTrusted(signature.signer.Get(), signature.store.Get(), szOID_PKIX_KP_CODE_SIGNING,
                        timestamped ? &stamped : nullptr, status)) {
        return Refuse(Format("the signer's certificate chain has error status 0x%08lX", status) + reason);
    }

    SignerKeyPin key;
    if (!SubjectKeyPin(signature.signer.Get(), key)) return Refuse("the signer's key cannot be read");
    for (const SignerKeyPin& pin : pins) {
        if (pin == key) return PayloadVerdict{true, std::string()};
    }
    return Refuse(pins.empty() ? "no signer key is pinned" : "the signer's key is not one of the pinned keys");
}

LONG WinVerifyTrustFile(HANDLE file, const std::wstring& path)
{
    WINTRUST_FILE_INFO fileInfo{};
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = path.c_str();
    fileInfo.hFile = file;
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return result;
}

PayloadCheck VerifyAndHoldPayload(const std::wstring& path, const std::vector<SignerKeyPin>& pins,
                                  const PayloadCheckCancelled& cancelled)
{
    PayloadCheck check;
    DWORD error = 0;
    std::unique_ptr<CHeldPayload> held = CHeldPayload::Open(path, &error);
    if (!held) {
        check.verdict = Refuse(Format("the file cannot be held for its check (error %lu)", error));
        DeleteFileW(path.c_str());
        return check;
    }
    check.verdict = CheckAuthenticode(held->Handle(), pins, cancelled);
    if (check.verdict.trusted && cancelled && cancelled()) check.verdict = Refuse(kCancelledReason);
    if (check.verdict.trusted) {
        LONG trust = WinVerifyTrustFile(held->Handle(), path);
        if (trust != 0) check.verdict = Refuse(Format("WinVerifyTrust refused it (0x%08lX)", static_cast<unsigned long>(trust)));
    }
    if (!check.verdict.trusted) {
        if (!held->Delete()) check.verdict.reason += Format("; it could not be deleted (error %lu)", GetLastError());
        return check;
    }
    check.held = std::move(held);
    return check;
}
