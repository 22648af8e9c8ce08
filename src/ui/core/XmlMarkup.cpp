#include "ui/core/XmlMarkup.h"

#include <windows.h>

#include <climits>
#include <cwchar>
#include <cwctype>
#include <new>
#include <string>

#include "log/Log.h"
#include "ui/core/ResourceLoader.h"

namespace Veneer {

namespace {

const wchar_t kExpectedStartTag[] = L"Expected start tag";
const wchar_t kErrorElementName[] = L"Error parsing element name";
const wchar_t kExpectedStartTagClosing[] = L"Expected start-tag closing";
const wchar_t kExpectedEndTagStart[] = L"Expected end-tag start";
const wchar_t kUnmatchedClosingTag[] = L"Unmatched closing tag";
const wchar_t kErrorAttributes[] = L"Error while parsing attributes";
const wchar_t kExpectedAttributeValue[] = L"Expected attribute value";
const wchar_t kErrorAttributeString[] = L"Error while parsing attribute string";
const wchar_t kOutOfMemory[] = L"Out of memory";

// Combining marks begin at U+0300; before one of them CharNextW moves by exactly one
// character, so the call is only made where it can differ.
constexpr wchar_t kFirstCombiningMark = 0x300;

template <typename Char>
inline Char* Next(Char* p)
{
    if (*p == 0) return p;
    if (p[1] < kFirstCombiningMark) return p + 1;
    return const_cast<Char*>(CharNextW(p));
}

inline bool IsWhitespace(wchar_t c) { return c != 0 && c <= L' '; }

template <typename Char>
inline Char* SkipWhitespace(Char* p)
{
    while (IsWhitespace(*p)) p = Next(p);
    return p;
}

inline bool IsNameCharacter(wchar_t c)
{
    if (c < 0x80) {
        return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_' ||
               c == L':';
    }
    return iswalnum(c) != 0;
}

inline wchar_t* SkipName(wchar_t* p)
{
    while (IsNameCharacter(*p)) p = Next(p);
    return p;
}

// Comments, declarations and processing instructions end at "->" or "?>" (the search
// starts at the "!" or "?" itself); without one they run to the end of the text.
wchar_t* SkipDeclaration(wchar_t* p)
{
    const wchar_t closing = *p == L'!' ? L'-' : L'?';
    for (; *p; ++p) {
        if (p[0] == closing && p[1] == L'>') return p + 2;
    }
    return p;
}

// Length of the predefined entity at p (0 if there is none) and the character it stands for.
size_t MatchEntity(const wchar_t* p, wchar_t* decoded)
{
    static const struct {
        const wchar_t* text;
        size_t length;
        wchar_t character;
    } kEntities[] = {
        {L"&amp;", 5, L'&'}, {L"&lt;", 4, L'<'}, {L"&gt;", 4, L'>'}, {L"&quot;", 6, L'"'}, {L"&apos;", 6, L'\''},
    };
    for (const auto& entity : kEntities) {
        if (wcsncmp(p, entity.text, entity.length) == 0) {
            *decoded = entity.character;
            return entity.length;
        }
    }
    return 0;
}

// Decodes character data in place from `read` up to the stop character or the end of
// the text; `read` is left there. What the decoding freed becomes spaces. Returns where
// the decoded data ends, for the caller's terminator. Neither the stop character, "&"
// nor the terminator is ever a combining mark, so stepping by whole characters would
// find the same places: the scan steps by units.
wchar_t* ParseCharacterData(wchar_t*& read, wchar_t stop)
{
    wchar_t* r = read;
    while (*r != stop && *r != L'&' && *r != 0) ++r;
    wchar_t* w = r;
    while (*r != stop && *r != 0) {
        wchar_t decoded;
        size_t length = *r == L'&' ? MatchEntity(r, &decoded) : 0;
        if (length) {
            *w++ = decoded;
            r += length;
        } else {
            *w++ = *r++;
        }
    }
    for (wchar_t* s = w; s < r; ++s) *s = L' ';
    read = r;
    return w;
}

wchar_t* AllocateHeapText(size_t characters) { return new wchar_t[characters]; }
void ReleaseHeapText(wchar_t* text) { delete[] text; }

CXmlMarkup::TextAllocate g_allocateText = AllocateHeapText;
CXmlMarkup::TextRelease g_releaseText = ReleaseHeapText;

}  // namespace

// ---- CXmlMarkupNode ------------------------------------------------------------

const wchar_t* CXmlMarkupNode::Name() const
{
    if (IsNull()) return L"";
    return document_->text_.get() + document_->elements_[index_].name;
}

CXmlMarkupNode CXmlMarkupNode::FirstChild() const
{
    if (IsNull()) return {};
    uint32_t child = document_->elements_[index_].firstChild;
    return child ? CXmlMarkupNode(document_, child) : CXmlMarkupNode();
}

CXmlMarkupNode CXmlMarkupNode::NextSibling() const
{
    if (IsNull()) return {};
    uint32_t sibling = document_->elements_[index_].nextSibling;
    return sibling ? CXmlMarkupNode(document_, sibling) : CXmlMarkupNode();
}

bool CXmlMarkupNode::HasChildElements() const
{
    return !IsNull() && document_->elements_[index_].firstChild != 0;
}

int CXmlMarkupNode::AttributeCount()
{
    if (IsNull()) return 0;
    if (attributeCount_ == 0) FindAttributes();
    return attributeCount_;
}

const wchar_t* CXmlMarkupNode::AttributeNameAt(int index)
{
    if (index < 0 || index >= AttributeCount()) return L"";
    return document_->text_.get() + attributes_[index].name;
}

const wchar_t* CXmlMarkupNode::AttributeValueAt(int index)
{
    if (index < 0 || index >= AttributeCount()) return L"";
    return document_->text_.get() + attributes_[index].value;
}

bool CXmlMarkupNode::CopyAttribute(const wchar_t* name, wchar_t* buffer, size_t capacity)
{
    int count = AttributeCount();
    const wchar_t* text = count ? document_->text_.get() : nullptr;
    for (int i = 0; i < count; ++i) {
        if (wcscmp(text + attributes_[i].name, name) != 0) continue;
        const wchar_t* value = text + attributes_[i].value;
        size_t length = wcslen(value);
        if (length > capacity) length = capacity;
        wmemcpy(buffer, value, length);
        // At capacity the caller's extra zero terminates it.
        if (length < capacity) buffer[length] = 0;
        return true;
    }
    return false;
}

// The parse left every attribute as: name, terminator, whitespace, quote, value,
// terminator. The scan never passes the element's data offset, so it cannot run into
// the element's text or past the end of a document that ends inside a start tag.
void CXmlMarkupNode::FindAttributes()
{
    const wchar_t* text = document_->text_.get();
    const auto& element = document_->elements_[index_];
    const wchar_t* end = text + element.data;
    const wchar_t* p = text + element.name;
    p += wcslen(p) + 1;
    int count = 0;
    while (p < end && count < kMaxAttributes) {
        while (p < end && IsWhitespace(*p)) p = Next(p);
        if (p >= end) break;
        const wchar_t* name = p;
        while (p < end && *p) ++p;
        if (p >= end) break;
        ++p;
        while (p < end && IsWhitespace(*p)) p = Next(p);
        if (p >= end || *p != L'"') break;
        ++p;
        attributes_[count].name = static_cast<uint32_t>(name - text);
        attributes_[count].value = static_cast<uint32_t>(p - text);
        ++count;
        while (p < end && *p) ++p;
        ++p;
    }
    attributeCount_ = count;
}

// ---- CXmlMarkup ----------------------------------------------------------------

CXmlMarkup::CXmlMarkup(const wchar_t* text) { ParseText(text); }

void CXmlMarkup::SetTextStoreForTesting(TextAllocate allocate, TextRelease release)
{
    g_allocateText = allocate && release ? allocate : AllocateHeapText;
    g_releaseText = allocate && release ? release : ReleaseHeapText;
}

void CXmlMarkup::Clear()
{
    text_.reset();
    std::vector<Element>().swap(elements_);
}

CXmlMarkupNode CXmlMarkup::Root() const
{
    return elements_.size() > 1 ? CXmlMarkupNode(this, 1) : CXmlMarkupNode();
}

void CXmlMarkup::StartLoad()
{
    Clear();
    errorMessage_[0] = errorLocation_[0] = 0;
}

bool CXmlMarkup::AllocateText(size_t characters)
{
    TextRelease release = g_releaseText;
    wchar_t* text = nullptr;
    try {
        text = g_allocateText(characters);
    } catch (const std::bad_alloc&) {
    }
    if (!text) return Fail(kOutOfMemory, nullptr);
    text_ = Text(text, release);
    return true;
}

bool CXmlMarkup::ParseText(const wchar_t* text)
{
    StartLoad();
    if (!text) return false;
    size_t length = wcslen(text);
    if (!AllocateText(length + 1)) return false;
    wmemcpy(text_.get(), text, length + 1);
    return ParseLoadedText();
}

bool CXmlMarkup::ParseBytes(const void* bytes, size_t size, MarkupEncoding encoding)
{
    StartLoad();
    const auto* data = static_cast<const unsigned char*>(bytes);
    if (encoding == kUtf16) {
        if (size < 2) return false;
        bool littleEndian = data[0] == 0xFF && data[1] == 0xFE;
        bool bigEndian = data[0] == 0xFE && data[1] == 0xFF;
        if (!littleEndian && !bigEndian) return false;
        size_t units = size / 2 - 1;
        if (!AllocateText(units + 1)) return false;
        wchar_t* text = text_.get();
        const unsigned char* in = data + 2;
        for (size_t i = 0; i < units; ++i, in += 2) {
            text[i] = static_cast<wchar_t>(littleEndian ? in[0] | in[1] << 8 : in[0] << 8 | in[1]);
        }
        text[units] = 0;
        return ParseLoadedText();
    }
    if (encoding != kUtf8 && encoding != kAnsi) return false;
    UINT codePage = CP_ACP;
    if (encoding == kUtf8) {
        codePage = CP_UTF8;
        if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
            data += 3;
            size -= 3;
        }
    }
    if (size > INT_MAX) return Fail(kOutOfMemory, nullptr);
    // Neither code page makes more UTF-16 units than it has bytes.
    if (!AllocateText(size + 1)) return false;
    int length = 0;
    if (size > 0) {
        length = MultiByteToWideChar(codePage, 0, reinterpret_cast<const char*>(data), static_cast<int>(size),
                                     text_.get(), static_cast<int>(size));
        if (length == 0) {
            Clear();
            return false;
        }
    }
    text_[length] = 0;
    return ParseLoadedText();
}

bool CXmlMarkup::ParseFile(const wchar_t* name, MarkupEncoding encoding)
{
    StartLoad();
    std::string bytes;
    std::wstring errorText;
    if (!LoadMarkupBytes(name, bytes, errorText)) {
        LOG_W(L"cannot load the markup file %s: %s", name, errorText.c_str());
        return Fail(errorText.c_str(), nullptr);
    }
    if (!ParseBytes(bytes.data(), bytes.size(), encoding)) {
        LOG_W(L"the markup file %s does not parse: %s at \"%s\"", name, errorMessage_, errorLocation_);
        return false;
    }
    LOG_W(L"parsed the markup file %s (%u bytes, %u elements)", name, static_cast<unsigned>(bytes.size()),
          static_cast<unsigned>(elements_.size() - 1));
    return true;
}

bool CXmlMarkup::ParseLoadedText()
{
    bool parsed = false;
    try {
        parsed = Parse();
    } catch (const std::bad_alloc&) {
        Fail(kOutOfMemory, nullptr);
    }
    if (!parsed) Clear();
    return parsed;
}

uint32_t CXmlMarkup::AppendElement(const wchar_t* name, uint32_t parent)
{
    if (elements_.size() == elements_.capacity()) {
        size_t capacity = elements_.capacity();
        elements_.reserve(capacity + capacity / 2 + 500);
    }
    elements_.push_back({static_cast<uint32_t>(name - text_.get()), 0, 0, parent, 0});
    return static_cast<uint32_t>(elements_.size() - 1);
}

// One loop over the text, with the open element as the parent of what follows, rather
// than a call per nesting level: a deeply nested skin cannot exhaust the stack.
bool CXmlMarkup::Parse()
{
    wchar_t* const text = text_.get();
    wchar_t* p = text;
    uint32_t parent = 0;
    uint32_t previous = 0;  // the last element made under `parent`
    AppendElement(text, 0);  // entry 0: "no element" in the links

    for (;;) {
        p = SkipWhitespace(p);
        if (*p == 0) return parent <= 1 || Fail(kExpectedStartTag, p);
        if (*p != L'<') return Fail(kExpectedStartTag, p);

        if (p[1] == L'/') {
            // A closing tag outside every element ends the document.
            if (parent == 0) return true;
            wchar_t* q = SkipWhitespace(Next(p + 1));
            *p = 0;
            const wchar_t* name = text + elements_[parent].name;
            size_t length = wcslen(name);
            if (wcsncmp(q, name, length) != 0) return Fail(kUnmatchedClosingTag, q);
            q = SkipWhitespace(q + length);
            if (*q != L'>') return Fail(kUnmatchedClosingTag, Next(q));
            p = Next(q);
            previous = parent;
            parent = elements_[parent].parent;
            continue;
        }

        wchar_t* next = Next(p);
        *p = 0;
        p = SkipWhitespace(next);
        if (*p == L'!' || *p == L'?') {
            p = SkipDeclaration(p);
            continue;
        }

        uint32_t element = AppendElement(p, parent);
        if (previous != 0) {
            elements_[previous].nextSibling = element;
        } else if (parent != 0) {
            elements_[parent].firstChild = element;
        }
        previous = element;

        wchar_t* nameEnd = SkipName(p);
        p = nameEnd;
        if (*p == 0) return Fail(kErrorElementName, p);

        // Attributes. A name followed by ">" or "/>" keeps that character for the tag's end.
        if (*p != L'>' && !(p[0] == L'/' && p[1] == L'>')) {
            next = Next(p);
            *p = 0;
            p = next;
            for (;;) {
                p = SkipWhitespace(p);
                if (*p == 0 || *p == L'>' || *p == L'/') break;
                wchar_t* attributeEnd = SkipName(p);
                p = SkipWhitespace(attributeEnd);
                if (*p != L'=') return Fail(kErrorAttributes, p);
                next = Next(p);
                *p = L' ';
                *attributeEnd = 0;
                p = SkipWhitespace(next);
                if (*p != L'"') return Fail(kExpectedAttributeValue, Next(p));
                p = Next(p);
                wchar_t* valueEnd = ParseCharacterData(p, L'"');
                if (*p == 0) return Fail(kErrorAttributeString, p);
                next = Next(p);
                if (p > valueEnd) *p = L' ';
                *valueEnd = 0;
                p = next;
            }
        }

        p = SkipWhitespace(p);
        if (p[0] == L'/' && p[1] == L'>') {
            elements_[element].data = static_cast<uint32_t>(p - text);
            *p = 0;
            *nameEnd = 0;
            p += 2;
            continue;
        }
        if (*p != L'>') return Fail(kExpectedStartTagClosing, p);
        // Terminated now (not after the closing tag): an element left open at the end
        // of the text keeps a name of its own.
        next = Next(p);
        *nameEnd = 0;
        p = next;
        elements_[element].data = static_cast<uint32_t>(p - text);
        wchar_t* dataEnd = ParseCharacterData(p, L'<');
        if (dataEnd < p) *dataEnd = 0;
        if (*p == 0) return parent <= 1 || Fail(kExpectedEndTagStart, p);
        // The data stopped at "<": what follows belongs to this element.
        parent = element;
        previous = 0;
    }
}

bool CXmlMarkup::Fail(const wchar_t* message, const wchar_t* location)
{
    constexpr size_t kMessageLength = sizeof errorMessage_ / sizeof errorMessage_[0] - 1;
    constexpr size_t kLocationLength = sizeof errorLocation_ / sizeof errorLocation_[0] - 1;
    wcsncpy(errorMessage_, message, kMessageLength);
    errorMessage_[kMessageLength] = 0;
    size_t length = 0;
    if (location) {
        while (length < kLocationLength && location[length]) ++length;
        wmemcpy(errorLocation_, location, length);
    }
    errorLocation_[length] = 0;
    return false;
}

}  // namespace Veneer
