#pragma once
// LanguageManager: chooses the user's language, loads its texts over the built-in
// English table with the product, colour and brand placeholders filled, decides
// right to left, and holds the product and address tables.
//
// Thread contract: filled once on the UI thread (Init) before any worker starts;
// only read afterwards, from any thread.

#include <map>
#include <string>

class LanguageManager {
public:
    using Table = std::map<std::wstring, std::wstring>;

    // The 18 built-in English texts.
    static const Table& DefaultTexts();

    // languageFolder ends with a backslash (the unpacked language archive).
    void Init(const std::wstring& languageFolder);
    void InitCurrentLanguage();

    // The finished text, or an empty text for an unknown key.
    std::wstring GetText(const std::wstring& key) const;
    const std::wstring& GetLanguageName() const { return m_languageName; }
    bool IsRightToLeft() const { return m_rightToLeft; }
    const std::wstring& GetLanguageFolder() const { return m_languageFolder; }

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
    bool m_rightToLeft = false;
};
