#pragma once
// CXmlMarkup: the skin markup parser, a non-validating single pass over one wide copy
// of the text. Names, values and text are terminated in place; each element is one
// fixed-size record linked to the others by index. CXmlMarkupNode: a copyable handle
// on one element that finds its attributes in the text when first asked.
//
// Thread contract: a document and its nodes are used by one thread at a time.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Veneer {

// How a byte buffer becomes text.
enum MarkupEncoding { kUtf8 = 0, kUtf16 = 1, kAnsi = 2 };

class CXmlMarkup;

class CXmlMarkupNode {
public:
    // The most attributes a node reports; later ones are not seen.
    static constexpr int kMaxAttributes = 64;

    CXmlMarkupNode() = default;

    bool IsNull() const { return document_ == nullptr; }
    const wchar_t* Name() const;
    CXmlMarkupNode FirstChild() const;
    CXmlMarkupNode NextSibling() const;
    bool HasChildElements() const;

    int AttributeCount();
    bool HasAnyAttribute() { return AttributeCount() > 0; }
    const wchar_t* AttributeNameAt(int index);
    const wchar_t* AttributeValueAt(int index);
    // Copies at most `capacity` characters of the first attribute named exactly `name`;
    // the caller's buffer is zero-filled and one character longer.
    bool CopyAttribute(const wchar_t* name, wchar_t* buffer, size_t capacity);

private:
    friend class CXmlMarkup;
    CXmlMarkupNode(const CXmlMarkup* document, uint32_t index) : document_(document), index_(index) {}
    void FindAttributes();

    struct Attribute {
        uint32_t name;
        uint32_t value;
    };

    const CXmlMarkup* document_ = nullptr;
    uint32_t index_ = 0;
    int attributeCount_ = 0;  // 0 also means "not looked up yet"
    Attribute attributes_[kMaxAttributes];
};

class CXmlMarkup {
public:
    CXmlMarkup() = default;
    explicit CXmlMarkup(const wchar_t* text);
    CXmlMarkup(const CXmlMarkup&) = delete;
    CXmlMarkup& operator=(const CXmlMarkup&) = delete;

    bool ParseText(const wchar_t* text);
    // Callers clear the document first when they reuse it.
    bool ParseBytes(const void* bytes, size_t size, MarkupEncoding encoding = kUtf8);
    // Reads the named file from the current resource location; a failure to read is
    // the last error, with an empty location.
    bool ParseFile(const wchar_t* name, MarkupEncoding encoding = kUtf8);
    void Clear();
    bool IsParsed() const { return !elements_.empty(); }
    CXmlMarkupNode Root() const;

    const wchar_t* LastErrorMessage() const { return errorMessage_; }
    const wchar_t* LastErrorLocation() const { return errorLocation_; }

    // Test seam: where documents keep their text. Tests put it against an
    // inaccessible page, so that a read past the terminator faults. Null functions
    // restore the heap. Documents release their text with the function they got it with.
    using TextAllocate = wchar_t* (*)(size_t characters);
    using TextRelease = void (*)(wchar_t* text);
    static void SetTextStoreForTesting(TextAllocate allocate, TextRelease release);

private:
    friend class CXmlMarkupNode;

    struct Element {
        uint32_t name;
        uint32_t firstChild;
        uint32_t nextSibling;
        uint32_t parent;
        uint32_t data;
    };

    using Text = std::unique_ptr<wchar_t[], TextRelease>;

    void StartLoad();
    bool AllocateText(size_t characters);
    bool ParseLoadedText();
    bool Parse();
    uint32_t AppendElement(const wchar_t* name, uint32_t parent);
    bool Fail(const wchar_t* message, const wchar_t* location);

    Text text_{nullptr, nullptr};
    std::vector<Element> elements_;
    wchar_t errorMessage_[100] = {};
    wchar_t errorLocation_[50] = {};
};

}  // namespace Veneer
