#include "component/ComponentItem.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "component/XmlDocument.h"

namespace {

// The first <Item> of a document.
XmlDocument ItemDocument(const std::string& item) {
  XmlDocument document;
  EXPECT_TRUE(document.Parse("<root>" + item + "</root>"));
  return document;
}

std::pair<std::int32_t, ComponentItem> Parse(const std::string& item) {
  const XmlDocument document = ItemDocument(item);
  return ParseComponentItem(*document.Root()->Children().at(0));
}

// The text of the logic error a parse throws, or "" when it throws none.
std::string ParseError(const std::string& item) {
  try {
    Parse(item);
  } catch (const std::logic_error& error) {
    return error.what();
  }
  return "";
}

}  // namespace

TEST(DecimalNumberTest, ReadsLikeWcstoull) {
  struct Case {
    const wchar_t* text;
    std::uint64_t value;
  } const kCases[] = {
      {L"0", 0},
      {L"42", 42},
      {L"0305", 305},
      {L"  \t\r\n\v\f7", 7},
      {L"+9", 9},
      {L"-1", 0xFFFFFFFFFFFFFFFFull},
      {L"-18446744073709551615", 1},
      {L"12abc", 12},
      {L"3 4", 3},
      {L"18446744073709551615", 0xFFFFFFFFFFFFFFFFull},
      {L"4294967303", 4294967303ull},
  };
  for (const Case& c : kCases) EXPECT_EQ(ReadDecimalNumber(c.text), c.value) << c.text;

  for (const wchar_t* text : {L"", L"   ", L"abc", L"-", L"+-1", L"--1", L"- 1", L"x1", L"\u0661"}) {
    EXPECT_THROW(
        {
          try {
            ReadDecimalNumber(text);
          } catch (const std::invalid_argument& error) {
            EXPECT_STREQ(error.what(), "invalid stoull argument");
            throw;
          }
        },
        std::invalid_argument);
  }
  for (const wchar_t* text : {L"18446744073709551616", L"-18446744073709551616", L"123456789012345678901"}) {
    EXPECT_THROW(
        {
          try {
            ReadDecimalNumber(text);
          } catch (const std::out_of_range& error) {
            EXPECT_STREQ(error.what(), "stoull argument out of range");
            throw;
          }
        },
        std::out_of_range);
  }
}

TEST(DecimalNumberTest, PacksVersions) {
  EXPECT_EQ(PackVersionNumber(L"6.4.1782.202"), 0x0006000406F600CAull);
  EXPECT_EQ(PackVersionNumber(L"v6.4.1782.202-beta"), 0x0006000406F600CAull);
  EXPECT_EQ(PackVersionNumber(L"1.2.3"), 0u);
  EXPECT_EQ(PackVersionNumber(L"6.4"), 0u);
  EXPECT_EQ(PackVersionNumber(L""), 0u);
  EXPECT_EQ(PackVersionNumber(L"1.0.0.0"), 1ull << 48);
}

TEST(ComponentItemTest, ReadsEveryAttribute) {
  const auto [key, item] = Parse(
      "<Item version=\"6.4.1782.202\" id=\"7\" name=\"Portalis.exe\" localaddpath=\"UI\\\" installInX86=\"1\" "
      "installInX64=\"0\" writePathToRegKey=\"Software\\Quenlo\\Lumora\\Portalis\" DL_ID=\"99\" "
      "hash=\"ABCDEF0123456789abcdef0123456789\" filesize=\"1234567890123\" url=\"https://h/p.exe\"/>");
  EXPECT_EQ(key, 7);
  ComponentItem expected;
  expected.id = 7;
  expected.name = L"Portalis.exe";
  expected.localaddpath = L"UI\\";
  expected.installInX86 = true;
  expected.installInX64 = false;
  expected.writePathToRegKey = L"Software\\Quenlo\\Lumora\\Portalis";
  expected.DL_ID = 99;
  expected.hash = L"ABCDEF0123456789abcdef0123456789";
  expected.filesize = 1234567890123ull;
  expected.url = L"https://h/p.exe";
  expected.version = L"6.4.1782.202";
  expected.versionNumber = 0x0006000406F600CAull;
  EXPECT_EQ(item, expected);
}

TEST(ComponentItemTest, AttributeRules) {
  const std::string numbers = " DL_ID=\"1\" filesize=\"2\"";
  struct Case {
    std::string item;
    std::int32_t key;
    bool x86;
  } const kCases[] = {
      {"<Item id=\"4294967303\"" + numbers + "/>", 7, false},
      {"<Item id=\"-1\"" + numbers + "/>", -1, false},
      {"<Item id=\"12abc\"" + numbers + "/>", 12, false},
      {"<Item id=\"1\" id=\"5\"" + numbers + "/>", 5, false},  // a repeated attribute: the later value
      {"<Item id=\"1\" installInX86=\"TRUE\"" + numbers + "/>", 1, false},
      {"<Item id=\"1\" installInX86=\" 1\"" + numbers + "/>", 1, false},
      {"<Item id=\"1\" installInX86=\"1\"" + numbers + "/>", 1, true},
  };
  for (const Case& c : kCases) {
    const auto [key, item] = Parse(c.item);
    EXPECT_EQ(key, c.key) << c.item;
    EXPECT_EQ(item.id, c.key) << c.item;
    EXPECT_EQ(item.installInX86, c.x86) << c.item;
    EXPECT_FALSE(item.installInX64) << c.item;
  }
}

TEST(ComponentItemTest, FirstBadNumberInReadingOrderIsThrown) {
  struct Case {
    const char* item;
    const char* error;
  } const kCases[] = {
      {"<Item ID=\"7\" DL_ID=\"1\" filesize=\"2\"/>", "invalid stoull argument"},
      {"<Item id=\"7\" filesize=\"2\"/>", "invalid stoull argument"},
      {"<Item id=\"7\" DL_ID=\"1\"/>", "invalid stoull argument"},
      {"<Item id=\"7\" DL_ID=\"1\" filesize=\"\"/>", "invalid stoull argument"},
      {"<Item id=\"99999999999999999999\" DL_ID=\"x\" filesize=\"2\"/>", "stoull argument out of range"},
      {"<Item id=\"x\" DL_ID=\"99999999999999999999\"/>", "invalid stoull argument"},
      {"<Item id=\"1\" DL_ID=\"99999999999999999999\"/>", "stoull argument out of range"},
      {"<Item id=\"1\" DL_ID=\"1\" filesize=\"2\"/>", ""},
  };
  for (const Case& c : kCases) EXPECT_EQ(ParseError(c.item), c.error) << c.item;
}

TEST(ComponentItemTest, UnsafePathsAreNamed) {
  struct Case {
    const wchar_t* name;
    const wchar_t* localaddpath;
    const wchar_t* attribute;  // nullptr when the item is safe
  } const kCases[] = {
      {L"", L"", nullptr},
      {L"Portalis.exe", L"", nullptr},
      {L"setup.exe", L"UI", nullptr},
      {L"setup.exe", L"UI\\", nullptr},
      {L"setup.exe", L"a\\b\\", nullptr},
      {L"setup.exe", L".\\a", nullptr},
      {L"..setup.exe", L"a..b\\", nullptr},
      {L"..\\setup.exe", L"", L"name"},
      {L"a/b.exe", L"", L"name"},
      {L"C:evil.exe", L"", L"name"},
      {L"setup.exe:stream", L"", L"name"},
      {L".", L"", L"name"},
      {L"..", L"", L"name"},
      {L"setup.exe", L"..", L"localaddpath"},
      {L"setup.exe", L"..\\", L"localaddpath"},
      {L"setup.exe", L"a\\..\\..\\b", L"localaddpath"},
      {L"setup.exe", L"a/../b", L"localaddpath"},
      {L"setup.exe", L"\\Windows\\", L"localaddpath"},
      {L"setup.exe", L"/tmp", L"localaddpath"},
      {L"setup.exe", L"\\\\server\\share\\", L"localaddpath"},
      {L"setup.exe", L"C:\\Windows\\", L"localaddpath"},
      {L"setup.exe", L"C:Windows", L"localaddpath"},
  };
  for (const Case& c : kCases) {
    ComponentItem item;
    item.name = c.name;
    item.localaddpath = c.localaddpath;
    const auto unsafe = FindUnsafeItemPath(item);
    if (c.attribute == nullptr) {
      EXPECT_FALSE(unsafe.has_value()) << c.name << " | " << c.localaddpath;
    } else {
      ASSERT_TRUE(unsafe.has_value()) << c.name << " | " << c.localaddpath;
      EXPECT_EQ(unsafe->first, c.attribute);
      EXPECT_EQ(unsafe->second, std::wstring(c.attribute) == L"name" ? c.name : c.localaddpath);
    }
  }
}
