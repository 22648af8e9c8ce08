#include "common/LanguageManager.h"

#include <windows.h>

#include <vector>

#include "common/SystemUtil.h"
#include "log/Log.h"

namespace {

std::wstring& LanguageIdOverride()
{
    static std::wstring id;
    return id;
}

}  // namespace

const LanguageManager::Table& LanguageManager::DefaultTexts()
{
    static const Table texts = {
        {L"STR_INSTALL", L"Install"},
        {L"STR_BROWSE", L"Browse"},
        {L"STR_LISENCE", L"I've read and agreed to {c COLOR}BRAND License Agreement{/c}"},
        {L"STR_CUSTOMIZE_INSTALL", L"Customize Installation"},
        {L"STR_INSTALL_PATH", L"Installation Path"},
        {L"STR_SELECT_FOLDER", L"Select a location to install the program"},
        {L"STR_STORAGE", L"Insuficient storage. Storage required:"},
        {L"STR_PATH_INVALID", L"The installation path is invalid."},
        {L"STR_INSTALLING", L"Installing..."},
        {L"STR_HIDE", L"Hide"},
        {L"STR_MESSAGEBOX_TITLE", L"PRODUCT Setup"},
        {L"STR_NETWORK_ERROR", L"Network error. Please check your network settings."},
        {L"STR_OPERATE_TIP", L"Click Abort to cancel installation, Retry to try again, or Ignore to download via browser."},
        {L"STR_SOFT_RUN", L"PRODUCT is running. Continuing installation will forcely quit the program. Are you sure to install?"},
        {L"STR_INSTALL_FAILED", L"The installation of PRODUCT did not complete. Click Retry to run it again, or Cancel to quit."},
        {L"STR_SOFT_STOP_FAILED", L"PRODUCT could not be closed. Close it yourself, then click Retry to continue, or click Cancel to quit."},
        {L"STR_CLOSE_TIP1", L"Are you sure you want to quit?"},
        {L"STR_CLOSE_TIP2", L"Installation is in progress. Are you sure you want to quit?"},
        {L"STR_START", L"Start\u00A0Now"},
        {L"STR_PROXY_LOGIN", L"Your proxy server asks for a user name and password to download the installer."},
        {L"STR_MB", L"MB"},
    };
    return texts;
}

void LanguageManager::SetLanguageIdOverride(const std::wstring& id) { LanguageIdOverride() = id; }

void LanguageManager::Init(const std::wstring& languageFolder)
{
    m_customKey.clear();
    m_rightToLeft = false;
    m_languageFolder = languageFolder;
    InitCurrentLanguage();
    m_product.clear();
    ReadSection(m_languageFolder + L"productInfo.ini", L"PRODUCT", m_product);
    m_addresses.clear();
    ReadSection(m_languageFolder + m_languageName + L"\\UrlInfo.ini", L"URL", m_addresses);
    LoadTexts();
}

void LanguageManager::InitCurrentLanguage()
{
    m_languageName = L"English";
    std::wstring id = LanguageIdOverride().empty() ? GetUserUiLanguageId() : LanguageIdOverride();
    LOG_W(L"Language Code:%s", id.c_str());
    std::wstring name = ReadIniString(m_languageFolder + L"language.ini", L"Language", id);
    if (!name.empty()) m_languageName = name;
    if (m_languageName == L"Arabic") m_rightToLeft = true;
}

std::wstring LanguageManager::GetText(const std::wstring& key) const
{
    auto it = m_texts.find(key);
    return it == m_texts.end() ? std::wstring() : it->second;
}

void LanguageManager::ReadSection(const std::wstring& file, const std::wstring& section, Table& table)
{
    // A section that does not fit comes back cut at size - 2; grow until it fits so
    // that no text is lost.
    std::vector<wchar_t> buffer(4096);
    DWORD length = 0;
    for (;;) {
        length = GetPrivateProfileSectionW(section.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                           file.c_str());
        if (length + 2 < buffer.size() || buffer.size() >= (1u << 24)) break;
        buffer.assign(buffer.size() * 2, L'\0');
    }
    const wchar_t* entry = buffer.data();
    const wchar_t* end = buffer.data() + length;
    while (entry < end && *entry) {
        std::wstring line = entry;
        entry += line.size() + 1;
        size_t equals = line.find(L'=');
        std::wstring key = equals == std::wstring::npos ? line : line.substr(0, equals);
        std::wstring value = equals == std::wstring::npos ? std::wstring() : line.substr(equals + 1);
        table[key] = value;
    }
}

std::wstring LanguageManager::ReplaceAll(const std::wstring& text, const std::wstring& word,
                                         const std::wstring& replacement)
{
    if (word.empty()) return text;
    std::wstring result = text;
    size_t position = 0;
    while ((position = result.find(word, position)) != std::wstring::npos) {
        result.replace(position, word.size(), replacement);
        position += replacement.size();
    }
    return result;
}

std::wstring LanguageManager::ProductValue(const std::wstring& key) const
{
    auto it = m_product.find(key);
    return it == m_product.end() ? std::wstring() : it->second;
}

void LanguageManager::LoadTexts()
{
    m_texts = DefaultTexts();
    std::wstring file = m_languageFolder + m_languageName + L"\\text.ini";
    ReadSection(file, L"LANSTR", m_texts);
    m_fontFaces = ReadIniString(file, L"FONT", L"STR_FONT_FACE");
    std::wstring product = ProductValue(L"STR_PRODUCT_NAME");
    std::wstring color = ProductValue(L"STR_LISENCE_COLOR");
    std::wstring brand = GetBrandName();
    for (auto& entry : m_texts) {
        std::wstring text = ReplaceAll(entry.second, L"PRODUCT", product);
        text = ReplaceAll(text, L"COLOR", color);
        entry.second = ReplaceAll(text, L"BRAND", brand);
    }
}
