#pragma once
// The analytics reporter: posts the three usage events of an installation, and one
// for each installation attempt that was lost, each carrying the machine's client
// GUID that the registry keeps.
//
// Thread contract: the singleton is created by the first GetGAInstance call, on the
// UI thread, and configured (SetCollectUrl, SetEventCategory) right after, before
// any event is sent. The sends only read the singleton's fields, so they may run on
// any threads, several at once; each blocks its thread for one HTTPS request.

#include <string>
#include <utility>
#include <vector>

class CGA {
public:
    static CGA* GetInstance();

    void SetCollectUrl(const std::wstring& url);
    void SetEventCategory(const std::wstring& category);

    bool SendStartInstall();
    bool SendDownloadFinished();
    bool SendInstallSucceed();
    // "Downloader_Failed": one installation attempt lost. reason is one of
    // "download", "low_space", "verify", "install_start", "install_exit",
    // "cancelled"; codeName ("result" or "exit_code"), when not null, adds the code
    // that says why as a parameter of that name.
    bool SendDownloaderFailed(const char* reason, const char* codeName, long long code);
    // False only when no HTTP client could be made; the request's outcome is logged.
    // params follow event_category and event_label in the event's parameters.
    bool SendGACommon(const std::string& eventName,
                      const std::vector<std::pair<std::string, std::string>>& params = {});

    // Reads the machine's client GUID, or makes and stores a new one when there is
    // none or the stored text is not valid. Empty when the key cannot be opened.
    static std::wstring LoadClientGuid();
    // The product's collection address, compiled in from the product data.
    static std::wstring ConfiguredCollectUrl();

private:
    CGA();

    std::wstring strCollectUrl;
    std::wstring strEventCategory;
    std::string strClientGuid;  // UTF-8
};

inline CGA* GetGAInstance() { return CGA::GetInstance(); }
