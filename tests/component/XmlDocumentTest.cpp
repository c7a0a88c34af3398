#include "component/XmlDocument.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/TestSupport.h"

using testing_support::ScratchDir;

namespace {

std::vector<std::wstring> Names(const std::vector<const XmlNode*>& nodes) {
  std::vector<std::wstring> names;
  for (const XmlNode* node : nodes) names.push_back(node->Name());
  return names;
}

}  // namespace

TEST(XmlDocumentTest, CopiesElementsTheirOwnTextAndAttributesInOrder) {
  XmlDocument document;
  ASSERT_TRUE(document.Parse(
      "<?xml version=\"1.0\"?><!-- lead --><root b=\"2\" a=\"1\" b=\"3\">head<!-- c --><x/>tail<y k=\"&amp;\">"
      "<z>deep</z></y><![CDATA[cd]]></root>"));
  const XmlNode* root = document.Root();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->Name(), L"root");
  EXPECT_EQ(root->Text(), L"head");
  const std::vector<std::pair<std::wstring, std::wstring>> attributes = {{L"b", L"3"}, {L"a", L"1"}};
  EXPECT_EQ(root->Attributes(), attributes);
  EXPECT_EQ(root->Attribute(L"b"), L"3");
  EXPECT_EQ(root->Attribute(L"B"), L"");
  EXPECT_EQ(root->Attribute(L"missing"), L"");
  EXPECT_EQ(Names(root->Children()), (std::vector<std::wstring>{L"x", L"y"}));
  const XmlNode* y = root->ChildByName(L"y");
  ASSERT_NE(y, nullptr);
  EXPECT_EQ(y->Attribute(L"k"), L"&");
  EXPECT_EQ(root->ChildByName(L"Y"), nullptr);
  ASSERT_EQ(y->Children().size(), 1u);
  EXPECT_EQ(y->Children()[0]->Text(), L"deep");
}

TEST(XmlDocumentTest, DetectsTheEncoding) {
  // "<r n="é天"/>" as UTF-16 little-endian with a byte order mark, and as UTF-8.
  const std::wstring text = L"<r n=\"\u00e9\u5929\"/>";
  std::string utf16 = "\xFF\xFE";
  for (const wchar_t c : text) {
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  for (const std::string& bytes : {utf16, std::string("\xEF\xBB\xBF<r n=\"\xC3\xA9\xE5\xA4\xA9\"/>")}) {
    XmlDocument document;
    ASSERT_TRUE(document.Parse(bytes));
    EXPECT_EQ(document.Root()->Attribute(L"n"), L"\u00e9\u5929");
  }
}

TEST(XmlDocumentTest, RejectsWhatIsNotADocumentAndKeepsThePreviousTree) {
  XmlDocument document;
  ASSERT_TRUE(document.Parse("<first/>"));
  for (const char* bytes : {"", "   ", "<!-- only a comment -->", "<a><b></a>", "<a>", "text"}) {
    EXPECT_FALSE(document.Parse(bytes)) << bytes;
    ASSERT_NE(document.Root(), nullptr);
    EXPECT_EQ(document.Root()->Name(), L"first") << bytes;
  }
}

TEST(XmlDocumentTest, DeepNestingNeitherOverflowsTheStackNorLosesNodes) {
  constexpr int kDepth = 200000;
  std::string bytes;
  for (int i = 0; i < kDepth; ++i) bytes += "<a>";
  for (int i = 0; i < kDepth; ++i) bytes += "</a>";
  XmlDocument document;
  ASSERT_TRUE(document.Parse(bytes));
  int depth = 1;
  for (const XmlNode* node = document.Root(); !node->Children().empty(); node = node->Children()[0]) ++depth;
  EXPECT_EQ(depth, kDepth);
}

TEST(XmlDocumentTest, LoadsAFileOpenForWritingAndKeepsTheTreeWhenAFileFails) {
  ScratchDir dir;
  const std::wstring path = dir / L"manifest.xml";
  ASSERT_TRUE(testing_support::WriteFileBytes(path, "<root><Item id=\"1\"/></root>"));
  HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  XmlDocument document;
  EXPECT_TRUE(document.Load(path));
  CloseHandle(writer);
  ASSERT_NE(document.Root(), nullptr);
  EXPECT_EQ(document.Root()->Children().size(), 1u);

  const std::wstring empty = dir / L"empty.xml";
  ASSERT_TRUE(testing_support::WriteFileBytes(empty, ""));
  EXPECT_FALSE(document.Load(empty));
  EXPECT_FALSE(document.Load(dir / L"missing.xml"));
  EXPECT_FALSE(document.Load(dir.path()));
  ASSERT_NE(document.Root(), nullptr);
  EXPECT_EQ(document.Root()->Name(), L"root");
}
