#pragma once
// The small file beside a partial download that lets Retry, or a later start of the
// installer, continue it: the file's size, its validator, the address and the byte
// ranges already written and flushed. It is only kept for a file with a validator,
// so a continued download provably continues the same file.
//
// The text format, one item per line, UTF-8:
//     vantelo-download-state 1
//     size <bytes>
//     etag <strong entity tag>          or   last-modified <HTTP date>
//     url <address>
//     done <first> <end>                (zero or more: bytes [first, end), ascending)
//     check <FNV-1a 64 of everything above, 16 hexadecimal digits>
// The check finds a torn or edited file; it is no protection against someone who can
// write the work folder, who could change the partial file as well.
//
// Thread contract: a plain value; the download saves it from one thread at a time.

#include <string>
#include <vector>

#include "tool/SegmentPlan.h"

struct CDownloadState {
    long long llFileSize = 0;
    bool bETag = false;        // strValidator is an entity tag, else a Last-Modified date
    std::wstring strValidator;  // empty: the server gave none
    std::wstring strUrl;
    std::vector<ByteRange> done;

    // "<save path>.state".
    static std::wstring PathFor(const std::wstring& strSavePath);

    std::string Serialize() const;
    // Strict: any line out of place, range out of order or out of the file, or a
    // wrong check leaves the state unchanged and answers false.
    bool Parse(const std::string& strText);

    // False when there is no valid state file (a link at its place is removed).
    bool Load(const std::wstring& strPath);
    // Written through a new file moved into place; false (logged) when not written.
    bool Save(const std::wstring& strPath) const;

    long long DoneBytes() const;
};
