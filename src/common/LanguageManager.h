#pragma once
// LanguageManager: chooses the user's language, loads its texts over the built-in
// English table with the product, colour and brand placeholders filled, decides
// right to left and the font faces its texts want, and holds the product and
// address tables.
//
// Thread contract: filled once on the UI thread (Init) before any worker starts;
// only read afterwards, from any thread.

#include <windows.h>

#include <map>
#include <string>
#include <vector>

class LanguageManager {
public:
    using Table = std::map<std::wstring, std::wstring>;

    // The built-in English texts.
    static const Table& DefaultTexts();

    // languageFolder ends with a backslash (the unpacked language archive).
    void Init(const std::wstring& languageFolder);
    void InitCurrentLanguage();

    // The finished text, or an empty text for an unknown key.
    std::wstring GetText(const std::wstring& key) const;
    const std::wstring& GetLanguageName() const { return m_languageName; }
    bool IsRightToLeft() const { return m_rightToLeft; }
    const std::wstring& GetLanguageFolder() const { return m_languageFolder; }
    // The faces the language's texts want, best first, comma-separated (section FONT,
    // key STR_FONT_FACE of its text.ini); empty: the skin's face serves.
    const std::wstring& GetFontFaces() const { return m_fontFaces; }

    // Reads a whole private-profile section into a table: new keys are added,
    // existing ones get the new value. The buffer grows until the section fits.
    static void ReadSection(const std::wstring& file, const std::wstring& section, Table& table);

    // Every occurrence of `word` replaced, scanning on after each inserted text.
    static std::wstring ReplaceAll(const std::wstring& text, const std::wstring& word, const std::wstring& replacement);

    // Test seam: the UI language identifier to use instead of the user's. Empty: the user's.
    static void SetLanguageIdOverride(const std::wstring& id);

private:
    void LoadTexts();
    std::wstring ProductValue(const std::wstring& key) const;

    Table m_texts;
    Table m_addresses;
    Table m_product;
    std::wstring m_languageFolder;
    std::wstring m_languageName = L"English";
    std::wstring m_customKey;
    std::wstring m_fontFaces;
    bool m_rightToLeft = false;

    // ---- product and address settings (ProductSettings.cpp) -------------------
public:
    // Unpacks the language archive (RT_RCDATA 105 of `module`, by default the
    // program) into the folder, overwriting earlier copies. A missing resource
    // leaves the folder empty.
    static void LoadResZipFile(const std::wstring& languageFolder, HMODULE module = nullptr);
    // The custom key from the domain text (RT_RCDATA 106). Call it after Init,
    // which clears the key.
    void LoadDomainFile(HMODULE module = nullptr);
    // Writes the custom key into "domain" in the product's folder below installPath.
    void WriteDomainFile(const std::wstring& installPath) const;

    std::wstring GetProductName() const;
    // "Vantelo" when the product data names no brand.
    std::wstring GetBrandName() const;
    std::wstring GetLicenseColor() const;
    std::wstring GetGATitle() const;
    std::wstring GetExeName() const;
    // STR_DIR1_NAME and STR_DIR2_NAME, each followed by a backslash when not empty.
    std::wstring GetInstallSubFolder() const;
    std::wstring GetExeRelativePath() const;
    // False only for exactly "0".
    bool IsRunAsAdmin() const;
    // Whether lost installation attempts are reported ("Downloader_Failed"); off
    // only for exactly "0".
    bool IsFailureEventOn() const;
    // The publisher keys a downloaded installer must be signed with (STR_SIGNER_KEY_SHA256):
    // SHA-256 digests of SubjectPublicKeyInfo in hex, as the product data writes them.
    std::wstring GetSignerKeyPins() const;
    // The 64-bit installer's address on 64-bit Windows, also for a 32-bit process.
    std::wstring GetDownUrl() const;
    // The redirect service's address with the custom parameter; empty when absent.
    std::wstring GetDownUrlEx() const;
    // The hosts a redirect service's answer may name (productInfo.ini
    // STR_DOWN_HOSTS, separated by commas or blanks); empty: any host.
    std::vector<std::wstring> GetDownloadHosts() const;
    std::wstring GetLicenceUrl() const;
    std::wstring GetInstallUrl() const;
    const std::wstring& GetCustomKey() const { return m_customKey; }
    int GetDownloadRatio() const { return kDownloadRatio; }
    int GetReadFileTimeout() const { return kReadFileTimeoutMs; }

private:
    static constexpr int kDownloadRatio = 70;          // percent of the bar the download fills
    static constexpr int kReadFileTimeoutMs = 1500;  // progress-file read interval

    std::wstring AddressValue(const std::wstring& key) const;
    // Adds "&custom=<key>" to the maker's addresses (those with "key=").
    std::wstring WithCustomParameter(const std::wstring& address) const;
};
