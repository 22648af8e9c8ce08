#include "ui/core/XmlMarkup.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "ui/core/WindowManager.h"

using Veneer::CXmlMarkup;
using Veneer::CXmlMarkupNode;

namespace {

std::string Narrow(const std::wstring& text) { return ToUtf8(text); }

// ---- every document's text ends against an inaccessible page ---------------------

// No input takes a second to parse; one that takes this long hangs.
constexpr DWORD kHangMs = 10000;

class GuardedTextEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        CXmlMarkup::SetTextStoreForTesting(AllocateGuardedText, ReleaseGuardedText);
    }
    void TearDown() override { CXmlMarkup::SetTextStoreForTesting(nullptr, nullptr); }
};
[[maybe_unused]] testing::Environment* const g_guardedText = testing::AddGlobalTestEnvironment(new GuardedTextEnvironment);

// ---- helpers ---------------------------------------------------------------------

const wchar_t* const kParseErrors[] = {
    L"Expected start tag",           L"Error parsing element name",     L"Expected start-tag closing",
    L"Expected end-tag start",       L"Unmatched closing tag",          L"Error while parsing attributes",
    L"Expected attribute value",     L"Error while parsing attribute string",
};

bool IsParseError(const std::wstring& message)
{
    for (const wchar_t* known : kParseErrors) {
        if (message == known) return true;
    }
    return false;
}

// name(attr=value;...)[children],... for whole-document comparisons.
std::wstring Dump(CXmlMarkupNode node)
{
    std::wstring out;
    for (; !node.IsNull(); node = node.NextSibling()) {
        out += node.Name();
        out += L"(";
        for (int i = 0; i < node.AttributeCount(); ++i) {
            out += node.AttributeNameAt(i);
            out += L"=";
            out += node.AttributeValueAt(i);
            out += L";";
        }
        out += L")";
        if (node.HasChildElements()) out += L"[" + Dump(node.FirstChild()) + L"]";
        out += L",";
    }
    return out;
}

std::wstring DumpText(const wchar_t* text)
{
    CXmlMarkup markup;
    if (!markup.ParseText(text)) return L"error: " + std::wstring(markup.LastErrorMessage());
    return Dump(markup.Root());
}

std::wstring Attribute(CXmlMarkupNode node, const wchar_t* name)
{
    wchar_t buffer[257] = {};
    return node.CopyAttribute(name, buffer, 256) ? buffer : L"<none>";
}

std::string DataFile(const wchar_t* relative) { return ReadFileBytes(TestDataPath(relative)); }

struct Failure {
    std::wstring message;
    std::wstring location;
};

Failure FailureOf(const wchar_t* text)
{
    CXmlMarkup markup;
    EXPECT_FALSE(markup.ParseText(text)) << Narrow(text);
    EXPECT_FALSE(markup.IsParsed());
    EXPECT_TRUE(markup.Root().IsNull());
    return {markup.LastErrorMessage(), markup.LastErrorLocation()};
}

#define EXPECT_FAILURE(text, expectedMessage, expectedLocation)                         \
    do {                                                                                 \
        Failure failure = FailureOf(text);                                               \
        EXPECT_EQ(std::wstring(expectedMessage), failure.message) << Narrow(text);       \
        EXPECT_EQ(std::wstring(expectedLocation), failure.location) << Narrow(text);     \
    } while (0)

// ---- the tree --------------------------------------------------------------------

TEST(MarkupTree, ElementsLinkToFirstChildAndNextSibling)
{
    CXmlMarkup markup(L"<Window><A><A1/><A2/></A><B/>\n<C></C></Window>");
    ASSERT_TRUE(markup.IsParsed());
    CXmlMarkupNode root = markup.Root();
    EXPECT_STREQ(L"Window", root.Name());
    EXPECT_TRUE(root.NextSibling().IsNull());
    CXmlMarkupNode a = root.FirstChild();
    EXPECT_STREQ(L"A", a.Name());
    EXPECT_STREQ(L"A1", a.FirstChild().Name());
    EXPECT_STREQ(L"A2", a.FirstChild().NextSibling().Name());
    EXPECT_TRUE(a.FirstChild().NextSibling().NextSibling().IsNull());
    EXPECT_STREQ(L"B", a.NextSibling().Name());
    EXPECT_FALSE(a.NextSibling().HasChildElements());
    EXPECT_STREQ(L"C", a.NextSibling().NextSibling().Name());
    EXPECT_TRUE(a.NextSibling().NextSibling().NextSibling().IsNull());
}

TEST(MarkupTree, LaterTopLevelElementsAreSiblingsOfTheRoot)
{
    EXPECT_EQ(L"a(),b()[c(),],d(),", DumpText(L"<a/><b><c/></b>  <d/>"));
}

TEST(MarkupTree, AClosingTagOutsideEveryElementEndsTheDocument)
{
    EXPECT_EQ(L"a(),", DumpText(L"<a/></b><c/>"));
}

TEST(MarkupTree, ThousandsOfElementsKeepTheirLinksAndAttributes)
{
    std::wstring text = L"<r>";
    for (int i = 0; i < 3000; ++i) text += L"<c i=\"" + std::to_wstring(i) + L"\"/>";
    text += L"</r>";
    CXmlMarkup markup(text.c_str());
    ASSERT_TRUE(markup.IsParsed());
    int count = 0;
    for (CXmlMarkupNode c = markup.Root().FirstChild(); !c.IsNull(); c = c.NextSibling(), ++count) {
        ASSERT_EQ(std::to_wstring(count), Attribute(c, L"i"));
    }
    EXPECT_EQ(3000, count);
}

TEST(MarkupTree, NullNodesGiveNeutralResults)
{
    CXmlMarkupNode node;
    wchar_t buffer[4] = {};
    EXPECT_TRUE(node.IsNull());
    EXPECT_STREQ(L"", node.Name());
    EXPECT_TRUE(node.FirstChild().IsNull());
    EXPECT_TRUE(node.NextSibling().IsNull());
    EXPECT_FALSE(node.HasChildElements());
    EXPECT_EQ(0, node.AttributeCount());
    EXPECT_FALSE(node.HasAnyAttribute());
    EXPECT_STREQ(L"", node.AttributeNameAt(0));
    EXPECT_STREQ(L"", node.AttributeValueAt(0));
    EXPECT_FALSE(node.CopyAttribute(L"x", buffer, 3));
}

TEST(MarkupTree, ClearAndFailedParsesLeaveNoTree)
{
    CXmlMarkup markup;
    EXPECT_FALSE(markup.IsParsed());
    EXPECT_TRUE(markup.Root().IsNull());
    ASSERT_TRUE(markup.ParseText(L"<a/>"));
    EXPECT_TRUE(markup.IsParsed());
    markup.Clear();
    EXPECT_FALSE(markup.IsParsed());
    EXPECT_TRUE(markup.Root().IsNull());
    ASSERT_TRUE(markup.ParseText(L"<a/>"));
    EXPECT_FALSE(markup.ParseText(L"<a></b>"));
    EXPECT_FALSE(markup.IsParsed());
    EXPECT_TRUE(markup.Root().IsNull());
}

TEST(MarkupTree, DeepNestingNeitherOverflowsTheStackNorLosesLinks)
{
    const int depth = 200000;
    std::wstring text;
    for (int i = 0; i < depth; ++i) text += L"<a>";
    for (int i = 0; i < depth; ++i) text += L"</a>";
    CXmlMarkup markup(text.c_str());
    ASSERT_TRUE(markup.IsParsed()) << Narrow(markup.LastErrorMessage());
    int levels = 0;
    for (CXmlMarkupNode n = markup.Root(); !n.IsNull(); n = n.FirstChild()) ++levels;
    EXPECT_EQ(depth, levels);

    text.resize(depth * 3);  // every element left open
    EXPECT_FAILURE(text.c_str(), L"Expected end-tag start", L"");
}

// ---- a document that ends inside elements -----------------------------------------

TEST(MarkupOpenAtEnd, AnUnclosedRootIsAcceptedWithItsNameAndAttributes)
{
    CXmlMarkup markup(L"<Window caption=\"0,0,0,30\">");
    ASSERT_TRUE(markup.IsParsed()) << Narrow(markup.LastErrorMessage());
    EXPECT_STREQ(L"Window", markup.Root().Name());
    EXPECT_EQ(L"0,0,0,30", Attribute(markup.Root(), L"caption"));
    EXPECT_EQ(L"Window(),", DumpText(L"<Window>text that never ends"));
    EXPECT_EQ(L"Window(),", DumpText(L"<Window>"));
}

TEST(MarkupOpenAtEnd, AnUnclosedDirectChildOfTheRootIsAccepted)
{
    EXPECT_EQ(L"Window()[Label(),],", DumpText(L"<Window><Label>still open"));
    EXPECT_EQ(L"Window()[Label(text=a;),],", DumpText(L"<Window><Label text=\"a\">"));
    EXPECT_EQ(L"Window()[Label(),],", DumpText(L"<Window><Label></Label>"));
    EXPECT_EQ(L"Window()[a(),b(),],", DumpText(L"<Window><a/><b>"));
}

TEST(MarkupOpenAtEnd, AnElementLeftOpenDeeperFails)
{
    EXPECT_FAILURE(L"<Window><Box><Label>still open", L"Expected end-tag start", L"");
    EXPECT_FAILURE(L"<Window><Box><Label/>", L"Expected start tag", L"");
    EXPECT_FAILURE(L"<Window><Box></Box><Box><Label>", L"Expected end-tag start", L"");
    // Only the first element is the root: a later top-level element's children must close.
    EXPECT_EQ(L"a(),b(),", DumpText(L"<a/><b>text"));
    EXPECT_FAILURE(L"<a/><b><c>text", L"Expected end-tag start", L"");
}

// ---- tags ------------------------------------------------------------------------

TEST(MarkupTags, ClosingTagsAreComparedCaseSensitively)
{
    EXPECT_FAILURE(L"<window></WINDOW>", L"Unmatched closing tag", L"WINDOW>");
    EXPECT_FAILURE(L"<a><b></a></b>", L"Unmatched closing tag", L"a></b>");
    EXPECT_FAILURE(L"<ab></a>", L"Unmatched closing tag", L"a>");
    EXPECT_FAILURE(L"<a></ab>", L"Unmatched closing tag", L">");
    EXPECT_EQ(L"Window(),", DumpText(L"<Window></Window>"));
}

TEST(MarkupTags, WhitespaceAfterTheOpeningBracketAndAroundClosingNamesIsAccepted)
{
    EXPECT_EQ(L"Window()[Label(x=1;),],", DumpText(L"<  Window >\r\n\t<\tLabel x=\"1\"/></ \t Window \r\n>"));
    EXPECT_EQ(L"a()[b(),],", DumpText(L"< a >< b ></b ></ a>"));
}

TEST(MarkupTags, EmptyElementsWithAndWithoutWhitespaceOrAttributesBeforeTheSlash)
{
    CXmlMarkup markup(L"<r><a/><b /><c x=\"1\"/><d x=\"1\" /><e\t/></r>");
    ASSERT_TRUE(markup.IsParsed());
    EXPECT_EQ(L"r()[a(),b(),c(x=1;),d(x=1;),e(),],", Dump(markup.Root()));
    for (CXmlMarkupNode n = markup.Root().FirstChild(); !n.IsNull(); n = n.NextSibling()) {
        EXPECT_FALSE(n.HasChildElements()) << Narrow(n.Name());
    }
}

TEST(MarkupTags, TextOutsideElementsFails)
{
    EXPECT_FAILURE(L"hello<a/>", L"Expected start tag", L"hello<a/>");
    EXPECT_FAILURE(L"<a><b/>tail</a>", L"Expected start tag", L"tail</a>");
    EXPECT_FAILURE(L"<a><b></b><!-- c -->tail</a>", L"Expected start tag", L"tail</a>");
    EXPECT_EQ(L"a()[b(),],", DumpText(L"<a>text before the first child<b/></a>"));
}

TEST(MarkupTags, StartTagsThatDoNotCloseFail)
{
    EXPECT_FAILURE(L"<abc", L"Error parsing element name", L"");
    EXPECT_FAILURE(L"<a x=\"1\" / >", L"Expected start-tag closing", L"/ >");
    EXPECT_FAILURE(L"<a x=\"1\"", L"Expected start-tag closing", L"");
    EXPECT_FAILURE(L"<a/x>", L"Error while parsing attributes", L">");
}

// ---- attributes ------------------------------------------------------------------

TEST(MarkupAttributes, AttributesNeedNoWhitespaceBetweenThem)
{
    CXmlMarkup markup(L"<Button name=\"close\"width=\"30\"hotimage=\"file='c.png'\"/>");
    ASSERT_TRUE(markup.IsParsed());
    CXmlMarkupNode button = markup.Root();
    ASSERT_EQ(3, button.AttributeCount());
    EXPECT_STREQ(L"name", button.AttributeNameAt(0));
    EXPECT_STREQ(L"close", button.AttributeValueAt(0));
    EXPECT_STREQ(L"width", button.AttributeNameAt(1));
    EXPECT_STREQ(L"30", button.AttributeValueAt(1));
    EXPECT_STREQ(L"hotimage", button.AttributeNameAt(2));
    EXPECT_STREQ(L"file='c.png'", button.AttributeValueAt(2));
    EXPECT_STREQ(L"", button.AttributeNameAt(3));
    EXPECT_STREQ(L"", button.AttributeValueAt(-1));
}

TEST(MarkupAttributes, WhitespaceAroundTheEqualsSignAndInsideValuesIsKept)
{
    CXmlMarkup markup(L"<a x = \"  two\tspaces \" y\r\n=\r\n\"\"/>");
    ASSERT_TRUE(markup.IsParsed());
    EXPECT_EQ(L"  two\tspaces ", Attribute(markup.Root(), L"x"));
    EXPECT_EQ(L"", Attribute(markup.Root(), L"y"));
    EXPECT_EQ(2, markup.Root().AttributeCount());
}

TEST(MarkupAttributes, OnlyDoubleQuotesDelimitValues)
{
    EXPECT_FAILURE(L"<a x='1'/>", L"Expected attribute value", L"1'/>");
    EXPECT_EQ(L"a(x=it's <b> & 'q';),", DumpText(L"<a x=\"it's <b> & 'q'\"/>"));
}

TEST(MarkupAttributes, BrokenAttributesFailWithTheirMessage)
{
    EXPECT_FAILURE(L"<a x y=\"1\"/>", L"Error while parsing attributes", L"y=\"1\"/>");
    EXPECT_FAILURE(L"<a x=\"1\" y>", L"Error while parsing attributes", L">");
    EXPECT_FAILURE(L"<a x=\"unterminated/>", L"Error while parsing attribute string", L"");
    EXPECT_FAILURE(L"<a x=1/>", L"Expected attribute value", L"/>");
}

TEST(MarkupAttributes, OnlyTheFirst64AttributesAreSeen)
{
    std::wstring text = L"<a";
    for (int i = 0; i < 70; ++i) text += L" a" + std::to_wstring(i) + L"=\"" + std::to_wstring(i) + L"\"";
    text += L"/>";
    CXmlMarkup markup(text.c_str());
    ASSERT_TRUE(markup.IsParsed());
    CXmlMarkupNode a = markup.Root();
    EXPECT_EQ(64, a.AttributeCount());
    EXPECT_STREQ(L"a63", a.AttributeNameAt(63));
    EXPECT_STREQ(L"63", a.AttributeValueAt(63));
    EXPECT_STREQ(L"", a.AttributeNameAt(64));
    EXPECT_EQ(L"63", Attribute(a, L"a63"));
    EXPECT_EQ(L"<none>", Attribute(a, L"a64"));
}

TEST(MarkupAttributes, CopyAttributeFindsTheFirstExactName)
{
    CXmlMarkup markup(L"<a Name=\"upper\" name=\"first\" name=\"second\"/>");
    ASSERT_TRUE(markup.IsParsed());
    EXPECT_EQ(L"first", Attribute(markup.Root(), L"name"));
    EXPECT_EQ(L"upper", Attribute(markup.Root(), L"Name"));
    EXPECT_EQ(L"<none>", Attribute(markup.Root(), L"NAME"));
}

TEST(MarkupAttributes, CopyAttributeCutsAtItsCapacity)
{
    CXmlMarkup markup(L"<a x=\"abcdef\"/>");
    ASSERT_TRUE(markup.IsParsed());
    CXmlMarkupNode a = markup.Root();
    wchar_t buffer[8];
    wmemset(buffer, L'#', 8);
    buffer[3] = 0;
    EXPECT_TRUE(a.CopyAttribute(L"x", buffer, 3));
    EXPECT_STREQ(L"abc", buffer);
    wmemset(buffer, L'#', 8);
    EXPECT_TRUE(a.CopyAttribute(L"x", buffer, 6));
    EXPECT_EQ(std::wstring(L"abcdef##"), std::wstring(buffer, 8)) << "nothing written past the capacity";
    wmemset(buffer, L'#', 8);
    EXPECT_TRUE(a.CopyAttribute(L"x", buffer, 7));
    EXPECT_STREQ(L"abcdef", buffer);
    wmemset(buffer, L'#', 8);
    EXPECT_TRUE(a.CopyAttribute(L"x", buffer, 0));
    EXPECT_EQ(L'#', buffer[0]);
}

TEST(MarkupAttributes, AttributesOfElementsWithContentStopAtTheTagEnd)
{
    CXmlMarkup markup(L"<a x=\"1\">\"y\" z=\"2\"<b q=\"3\">\"</b></a>");
    ASSERT_TRUE(markup.IsParsed());
    EXPECT_EQ(L"a(x=1;)[b(q=3;),],", Dump(markup.Root()));
}

// ---- entities --------------------------------------------------------------------

TEST(MarkupEntities, ThePredefinedEntitiesAreDecodedOnceInValues)
{
    EXPECT_EQ(L"a(x=\"'<>&;),", DumpText(L"<a x=\"&quot;&apos;&lt;&gt;&amp;\"/>"));
    EXPECT_EQ(L"a(x=&lt;;),", DumpText(L"<a x=\"&amp;lt;\"/>"));
    EXPECT_EQ(L"a(x=&amp;;),", DumpText(L"<a x=\"&amp;amp;\"/>"));
    EXPECT_EQ(L"a(x=&#65; &#x41;;),", DumpText(L"<a x=\"&#65; &#x41;\"/>"));
    EXPECT_EQ(L"a(x=a & b &am; &;),", DumpText(L"<a x=\"a & b &am; &\"/>"));
}

TEST(MarkupEntities, DecodedValuesKeepTheFollowingAttributesApart)
{
    EXPECT_EQ(L"a(x=\";y=<>;z=3;),", DumpText(L"<a x=\"&quot;\"y=\"&lt;&gt;\" z=\"3\"/>"));
}

TEST(MarkupEntities, EntitiesInTextNeverMakeTags)
{
    EXPECT_EQ(L"a(),", DumpText(L"<a>&lt;b&gt;&lt;/a&gt;</a>"));
    EXPECT_EQ(L"a()[c(),],", DumpText(L"<a>1 &lt; 2 &amp;&amp; &#60; &<c/></a>"));
}

// ---- comments and declarations ---------------------------------------------------

TEST(MarkupDeclarations, CommentsAndDeclarationsOnlyParseWithNoRoot)
{
    CXmlMarkup markup(L"<?xml version=\"1.0\"?>\r\n<!-- one -->  <!-- two -- still two -->\n");
    EXPECT_TRUE(markup.IsParsed());
    EXPECT_TRUE(markup.Root().IsNull());
    EXPECT_TRUE(markup.ParseText(L""));
    EXPECT_TRUE(markup.Root().IsNull());
    EXPECT_TRUE(markup.ParseText(L" \r\n\t "));
    EXPECT_TRUE(markup.Root().IsNull());
}

TEST(MarkupDeclarations, CommentsAndInstructionsMakeNoElements)
{
    EXPECT_EQ(L"a()[b(),c(),],", DumpText(L"<?xml?><!--x--><a><!-- <z/> --><b/><?pi <y/> ?>< !-- spaced --><c/></a>"));
    EXPECT_EQ(L"a(),", DumpText(L"<!-->< a/>"));
}

TEST(MarkupDeclarations, ADocumentTypeSwallowsTheRest)
{
    CXmlMarkup markup(L"<!DOCTYPE Window SYSTEM \"skin.dtd\">\n<Window><Label/></Window>");
    EXPECT_TRUE(markup.IsParsed());
    EXPECT_TRUE(markup.Root().IsNull());
    EXPECT_EQ(L"a(),", DumpText(L"<a/><!DOCTYPE x><b/>"));
    EXPECT_EQ(L"a(),", DumpText(L"<a/><?never closed <b/>"));
}

// ---- encodings -------------------------------------------------------------------

std::wstring DumpBytes(const std::string& bytes, Veneer::MarkupEncoding encoding)
{
    CXmlMarkup markup;
    if (!markup.ParseBytes(bytes.data(), bytes.size(), encoding)) {
        return L"error: " + std::wstring(markup.LastErrorMessage());
    }
    return Dump(markup.Root());
}

const wchar_t kEncodedDump[] =
    L"Window(title=Vantelo \u5B89\u88C5 \u2013 \u00C4\u00D6\u00DC \xD83D\xDE00;)"
    L"[Label(text=\u062C\u0627\u0631\u064D & ok;),],";

TEST(MarkupEncoding, Utf8ReadsTheSameWithAndWithoutAByteOrderMark)
{
    EXPECT_EQ(kEncodedDump, DumpBytes(DataFile(L"markup\\encoding\\utf8.xml"), Veneer::kUtf8));
    EXPECT_EQ(kEncodedDump, DumpBytes(DataFile(L"markup\\encoding\\utf8-bom.xml"), Veneer::kUtf8));
    EXPECT_EQ(L"a(),", DumpBytes("\xEF\xBB\xBF<a/>", Veneer::kUtf8));
    EXPECT_EQ(L"", DumpBytes("\xEF\xBB\xBF", Veneer::kUtf8));
    EXPECT_EQ(L"", DumpBytes("", Veneer::kUtf8));
}

TEST(MarkupEncoding, InvalidUtf8BecomesReplacementCharacters)
{
    EXPECT_EQ(L"a(x=\xFFFD;),", DumpBytes("<a x=\"\xFF\"/>", Veneer::kUtf8));
}

TEST(MarkupEncoding, Utf16ReadsTheSameInBothByteOrders)
{
    EXPECT_EQ(kEncodedDump, DumpBytes(DataFile(L"markup\\encoding\\utf16le.xml"), Veneer::kUtf16));
    EXPECT_EQ(kEncodedDump, DumpBytes(DataFile(L"markup\\encoding\\utf16be.xml"), Veneer::kUtf16));
    std::string odd = DataFile(L"markup\\encoding\\utf16le.xml") + "<";
    EXPECT_EQ(kEncodedDump, DumpBytes(odd, Veneer::kUtf16)) << "an odd last byte is dropped";
    EXPECT_EQ(L"", DumpBytes("\xFF\xFE", Veneer::kUtf16));
}

TEST(MarkupEncoding, Utf16WithoutAByteOrderMarkFails)
{
    CXmlMarkup markup;
    std::string bytes = DataFile(L"markup\\encoding\\utf16-nomark.xml");
    ASSERT_FALSE(bytes.empty());
    EXPECT_FALSE(markup.ParseBytes(bytes.data(), bytes.size(), Veneer::kUtf16));
    EXPECT_FALSE(markup.IsParsed());
    EXPECT_FALSE(markup.ParseBytes("\xFF", 1, Veneer::kUtf16));
    EXPECT_FALSE(markup.ParseBytes(bytes.data(), 0, Veneer::kUtf16));
    EXPECT_FALSE(markup.ParseBytes(bytes.data(), bytes.size(), static_cast<Veneer::MarkupEncoding>(7)));
}

TEST(MarkupEncoding, AnsiUsesTheSystemCodePageAndKeepsAByteOrderMark)
{
    std::string bytes = "<a x=\"\xE9\"/>";
    wchar_t expected[2] = {};
    MultiByteToWideChar(CP_ACP, 0, "\xE9", 1, expected, 1);
    EXPECT_EQ(L"a(x=" + std::wstring(expected) + L";),", DumpBytes(bytes, Veneer::kAnsi));
    EXPECT_EQ(L"error: Expected start tag", DumpBytes("\xEF\xBB\xBF<a/>", Veneer::kAnsi));
}

TEST(MarkupEncoding, ReusingADocumentReplacesItsTree)
{
    CXmlMarkup markup;
    ASSERT_TRUE(markup.ParseBytes("<a/>", 4, Veneer::kUtf8));
    ASSERT_TRUE(markup.ParseBytes("<b><c/></b>", 11, Veneer::kUtf8));
    EXPECT_EQ(L"b()[c(),],", Dump(markup.Root()));
}

// ---- files from the resource location ---------------------------------------------

// Points the process-wide resource location somewhere for one test and back to nothing after it.
class MarkupFile : public testing::Test {
protected:
    void TearDown() override
    {
        Veneer::CWindowManagerUI::SetResourceArchive(L"", false);
        Veneer::CWindowManagerUI::SetResourceFolder(L"");
    }
};

TEST_F(MarkupFile, AFileInTheResourceFolderParsesInTheGivenEncoding)
{
    Veneer::CWindowManagerUI::SetResourceFolder(TestDataPath(L"markup\\encoding"));
    CXmlMarkup markup;
    ASSERT_TRUE(markup.ParseFile(L"utf8-bom.xml"));
    EXPECT_EQ(kEncodedDump, Dump(markup.Root()));
    ASSERT_TRUE(markup.ParseFile(L"utf16be.xml", Veneer::kUtf16));
    EXPECT_EQ(kEncodedDump, Dump(markup.Root()));
    EXPECT_FALSE(markup.ParseFile(L"utf16-nomark.xml", Veneer::kUtf16));
    EXPECT_FALSE(markup.IsParsed());
}

TEST_F(MarkupFile, AMemberOfTheResourceArchiveParses)
{
    Veneer::CWindowManagerUI::SetResourceFolder(TestDataPath(L"zip"));
    Veneer::CWindowManagerUI::SetResourceArchive(L"basic.zip", false);
    CXmlMarkup markup;
    ASSERT_TRUE(markup.ParseFile(L"SKIN.xml")) << Narrow(markup.LastErrorMessage());
    EXPECT_STREQ(L"Window", markup.Root().Name());
    EXPECT_EQ(L"650,360", Attribute(markup.Root(), L"size"));
    int buttons = 0;
    for (CXmlMarkupNode b = markup.Root().FirstChild(); !b.IsNull(); b = b.NextSibling()) ++buttons;
    EXPECT_EQ(40, buttons);
}

TEST_F(MarkupFile, AFailureToReadIsTheLastErrorWithNoLocation)
{
    Veneer::CWindowManagerUI::SetResourceFolder(TestDataPath(L"markup\\corpus"));
    CXmlMarkup markup;
    ASSERT_TRUE(markup.ParseFile(L"skin.xml"));
    EXPECT_FALSE(markup.ParseFile(L"missing.xml"));
    EXPECT_FALSE(markup.IsParsed());
    EXPECT_STREQ(L"Error opening file", markup.LastErrorMessage());
    EXPECT_STREQ(L"", markup.LastErrorLocation());

    Veneer::CWindowManagerUI::SetResourceFolder(TestDataPath(L"zip"));
    Veneer::CWindowManagerUI::SetResourceArchive(L"basic.zip", false);
    EXPECT_FALSE(markup.ParseFile(L"empty.xml"));
    EXPECT_STREQ(L"File is empty", markup.LastErrorMessage());
    EXPECT_FALSE(markup.ParseFile(L"missing.xml"));
    EXPECT_STREQ(L"Could not find ziped file", markup.LastErrorMessage());
    EXPECT_STREQ(L"", markup.LastErrorLocation());
}

TEST_F(MarkupFile, AFileThatDoesNotParseKeepsTheParseError)
{
    Veneer::CWindowManagerUI::SetResourceFolder(TestDataPath(L"markup\\regressions"));
    CXmlMarkup markup;
    EXPECT_FALSE(markup.ParseFile(L"closing-tag-cut-before-bracket.xml"));
    EXPECT_STREQ(L"Unmatched closing tag", markup.LastErrorMessage());
}

// ---- failures --------------------------------------------------------------------

TEST(MarkupErrors, LocationsNeverReachPastTheEndOfTheText)
{
    EXPECT_FAILURE(L"<a></a", L"Unmatched closing tag", L"");
    EXPECT_FAILURE(L"<a></a  ", L"Unmatched closing tag", L"");
    EXPECT_FAILURE(L"<a></a x", L"Unmatched closing tag", L"");
    EXPECT_FAILURE(L"<a></", L"Unmatched closing tag", L"");
    EXPECT_FAILURE(L"<a x=", L"Expected attribute value", L"");
    EXPECT_FAILURE(L"<a x=  ", L"Expected attribute value", L"");
    EXPECT_FAILURE(L"<a x=\"", L"Error while parsing attribute string", L"");
}

TEST(MarkupErrors, TheLocationHoldsAtMost49Characters)
{
    std::wstring tail(80, L'x');
    Failure failure = FailureOf((L"<a></" + tail + L">").c_str());
    EXPECT_EQ(L"Unmatched closing tag", failure.message);
    EXPECT_EQ(tail.substr(0, 49), failure.location);
}

TEST(MarkupErrors, EveryParseStartsWithoutTheLastError)
{
    CXmlMarkup markup;
    EXPECT_FALSE(markup.ParseText(L"text"));
    EXPECT_STREQ(L"Expected start tag", markup.LastErrorMessage());
    EXPECT_STREQ(L"text", markup.LastErrorLocation());
    EXPECT_TRUE(markup.ParseText(L"<a/>"));
    EXPECT_STREQ(L"", markup.LastErrorMessage());
    EXPECT_STREQ(L"", markup.LastErrorLocation());
    EXPECT_FALSE(markup.ParseText(L"text"));
    EXPECT_FALSE(markup.ParseBytes("\x00\x01", 2, Veneer::kUtf16));
    EXPECT_STREQ(L"", markup.LastErrorMessage());
}

TEST(MarkupErrors, NoTextIsAFailureNotACrash)
{
    CXmlMarkup markup;
    ASSERT_TRUE(markup.ParseText(L"<a/>"));
    EXPECT_FALSE(markup.ParseText(nullptr));
    EXPECT_FALSE(markup.IsParsed());
}

wchar_t* FailToAllocate(size_t) { return nullptr; }

TEST(MarkupErrors, ATextThatCannotBeStoredFailsWithoutATree)
{
    CXmlMarkup::SetTextStoreForTesting(FailToAllocate, ReleaseGuardedText);
    CXmlMarkup markup;
    bool parsed = markup.ParseText(L"<a/>");
    CXmlMarkup::SetTextStoreForTesting(AllocateGuardedText, ReleaseGuardedText);
    EXPECT_FALSE(parsed);
    EXPECT_FALSE(markup.IsParsed());
    EXPECT_STREQ(L"Out of memory", markup.LastErrorMessage());
}

// ---- robustness ------------------------------------------------------------------

// Walks a parsed document the way the skin builder does, touching every name and attribute.
void WalkDocument(CXmlMarkup& markup, size_t textLength)
{
    std::vector<CXmlMarkupNode> pending{markup.Root()};
    size_t visited = 0;
    wchar_t buffer[17] = {};
    while (!pending.empty()) {
        CXmlMarkupNode node = pending.back();
        pending.pop_back();
        for (; !node.IsNull(); node = node.NextSibling()) {
            ASSERT_LE(++visited, textLength) << "the links form a cycle";
            ASSERT_LE(wcslen(node.Name()), textLength);
            int count = node.AttributeCount();
            ASSERT_LE(count, CXmlMarkupNode::kMaxAttributes);
            for (int i = 0; i < count; ++i) {
                ASSERT_LE(wcslen(node.AttributeNameAt(i)) + wcslen(node.AttributeValueAt(i)), textLength);
                ASSERT_TRUE(node.CopyAttribute(node.AttributeNameAt(i), buffer, 16));
            }
            if (node.HasChildElements()) pending.push_back(node.FirstChild());
        }
    }
}

// Parses one input as text and, now and then, as UTF-8 and UTF-16 bytes; every outcome
// must be a tree or one of the parse errors. The watch saves an input that crashes or hangs.
void CheckInput(MutationInputWatch& watch, const std::string& bytes, unsigned round, unsigned* parsed)
{
    watch.Begin(bytes);
    std::wstring text = ToWide(bytes);
    CXmlMarkup markup;
    if (markup.ParseText(text.c_str())) {
        ++*parsed;
        WalkDocument(markup, text.size());
    } else {
        ASSERT_TRUE(IsParseError(markup.LastErrorMessage())) << Narrow(markup.LastErrorMessage());
        ASSERT_LE(wcslen(markup.LastErrorLocation()), 49u);
    }
    if (round % 8 == 0) {
        if (markup.ParseBytes(bytes.data(), bytes.size(), Veneer::kUtf8)) {
            WalkDocument(markup, bytes.size());
        } else {
            ASSERT_TRUE(IsParseError(markup.LastErrorMessage()));
        }
    }
    if (round % 8 == 4) {
        std::string utf16 = "\xFF\xFE";
        utf16.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
        if (round % 16 == 4 && !text.empty()) utf16.pop_back();  // an odd last byte
        if (markup.ParseBytes(utf16.data(), utf16.size(), Veneer::kUtf16)) {
            WalkDocument(markup, text.size());
        } else {
            ASSERT_TRUE(IsParseError(markup.LastErrorMessage()));
        }
    }
}

void Mutate(std::string& bytes, TestRandom& random)
{
    // Bytes that steer the parser, tried more often than chance would.
    static const char kSyntax[] = "<>/=\"'&!?-; \t\r\n\0amp;lt;quot;";
    switch (random.Below(5)) {
    case 0:  // a byte replaced
        if (!bytes.empty()) {
            char& c = bytes[random.Below(bytes.size())];
            c = random.Below(2) ? kSyntax[random.Below(sizeof kSyntax - 1)] : static_cast<char>(random.Next());
        }
        break;
    case 1:  // a bit flipped
        if (!bytes.empty()) bytes[random.Below(bytes.size())] ^= static_cast<char>(1u << random.Below(8));
        break;
    case 2:  // cut short
        bytes.resize(random.Below(bytes.size() + 1));
        break;
    case 3: {  // a span duplicated somewhere
        size_t from = random.Below(bytes.size() + 1);
        std::string span = bytes.substr(from, 1 + random.Below(64));
        bytes.insert(random.Below(bytes.size() + 1), span);
        break;
    }
    default: {  // a span deleted
        size_t from = random.Below(bytes.size() + 1);
        bytes.erase(from, 1 + random.Below(64));
        break;
    }
    }
}

TEST(MarkupRobustness, TheCorpusParses)
{
    std::vector<std::string> corpus = ReadFolderFiles(TestDataPath(L"markup\\corpus"), L"*.xml");
    ASSERT_GE(corpus.size(), 3u);
    for (const auto& bytes : corpus) {
        CXmlMarkup markup;
        ASSERT_TRUE(markup.ParseBytes(bytes.data(), bytes.size(), Veneer::kUtf8))
            << Narrow(markup.LastErrorMessage()) << " at " << Narrow(markup.LastErrorLocation());
        ASSERT_FALSE(markup.Root().IsNull());
    }
}

TEST(MarkupRobustness, RegressionInputsParseOrFailCleanly)
{
    std::vector<std::string> inputs = ReadFolderFiles(TestDataPath(L"markup\\regressions"), L"*.xml");
    ASSERT_FALSE(inputs.empty());
    unsigned parsed = 0;
    MutationInputWatch watch(kHangMs, BuildPath(L"markup-crash-input.xml"));
    for (size_t i = 0; i < inputs.size(); ++i) {
        for (unsigned round : {0u, 1u, 4u, 12u}) CheckInput(watch, inputs[i], round, &parsed);
    }
}

TEST(MarkupRobustness, MutatedSkinsParseOrFailWithAParseError)
{
    constexpr unsigned kInputs = 100000;
    std::vector<std::string> corpus = ReadFolderFiles(TestDataPath(L"markup\\corpus"), L"*.xml");
    ASSERT_FALSE(corpus.empty());
    TestRandom random(20261208);
    unsigned parsed = 0;
    MutationInputWatch watch(kHangMs, BuildPath(L"markup-crash-input.xml"));
    for (unsigned round = 0; round < kInputs; ++round) {
        std::string bytes = corpus[round % corpus.size()];
        for (size_t n = 1 + random.Below(4); n > 0; --n) Mutate(bytes, random);
        CheckInput(watch, bytes, round, &parsed);
        if (HasFatalFailure()) {
            WriteFileBytes(BuildPath(L"markup-failing-input.xml"), bytes);
            break;
        }
    }
    // Both outcomes must be common, or the mutations test nothing.
    EXPECT_GT(parsed, kInputs / 10);
    EXPECT_LT(parsed, kInputs - kInputs / 10);
}

}  // namespace
