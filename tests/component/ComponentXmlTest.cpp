#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "component/XmlDocument.h"
#include "tests/component/MainWndFixture.h"

using testing_support::LogCapture;

namespace {

class ComponentXmlTest : public MainWndFixture {
 protected:
  // Parses bytes as the manifest; the logic error's text, or "" when none.
  std::string ParseThrowing(CMainWnd& wnd, const std::string& bytes, bool* result = nullptr) {
    const std::wstring path = Manifest(bytes);
    try {
      const bool ok = wnd.ParseComponentXml(path);
      if (result != nullptr) *result = ok;
    } catch (const std::logic_error& error) {
      return error.what();
    }
    return "";
  }

  std::vector<std::int32_t> Keys(const ComponentMap& map) {
    std::vector<std::int32_t> keys;
    for (const auto& [key, item] : map) keys.push_back(key);
    return keys;
  }
};

const char kError[] = "[Error][Component][component][CMainWnd::ParseComponentXml] ";

}  // namespace

TEST_F(ComponentXmlTest, ReadsItemsInAnyCaseOnlyAtTheTopLevel) {
  CMainWnd wnd(*config);
  const std::wstring path = Manifest(
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<anything>\n  <!-- components -->\n  " + ItemXml(7, "name=\"a\"") +
      "\n  <ITEM id=\"1\" DL_ID=\"1\" filesize=\"2\"/><item id=\"3\" DL_ID=\"1\" filesize=\"2\"/>"
      "<Items id=\"4\"/><group>" +
      ItemXml(5) + "</group>" + ItemXml(7, "name=\"b\"") + "text</anything>");
  LogCapture log;
  EXPECT_TRUE(wnd.ParseComponentXml(path));
  EXPECT_EQ(Keys(wnd.componentMap()), (std::vector<std::int32_t>{1, 3, 7}));
  EXPECT_EQ(wnd.componentMap().at(7).name, L"a");  // the first record of an id wins
  EXPECT_EQ(wnd.installOutcome(), kOutcomeSuccess);
  EXPECT_TRUE(wnd.channelComponentMap().empty());
  EXPECT_TRUE(log.Lines().empty());
}

TEST_F(ComponentXmlTest, FailureRows) {
  struct Case {
    const char* name;
    std::wstring path;
    std::int32_t outcome;
    std::string line;
  };
  const std::vector<Case> kCases = {
      {"empty path", L"", kOutcomeCommon, "xml path is null!"},
      {"missing file", dir / L"missing.xml", kOutcomeManifestParse, "load component xml failed."},
      {"zero bytes", Manifest("", L"zero.xml"), kOutcomeManifestParse, "load component xml failed."},
      {"not well formed", Manifest("<root><Item id=\"1\"></root>", L"bad.xml"), kOutcomeManifestParse,
       "load component xml failed."},
      {"a folder", dir.path(), kOutcomeManifestParse, "load component xml failed."},
  };
  for (const Case& c : kCases) {
    CMainWnd wnd(*config);
    LogCapture log;
    EXPECT_FALSE(wnd.ParseComponentXml(c.path)) << c.name;
    EXPECT_EQ(wnd.installOutcome(), c.outcome) << c.name;
    EXPECT_EQ(log.Lines(), std::vector<std::string>{kError + c.line}) << c.name;
  }
}

TEST_F(ComponentXmlTest, AnUtf16ManifestWithAByteOrderMarkParses) {
  const std::wstring text = L"<?xml version=\"1.0\" encoding=\"UTF-16\"?><root>"
                            L"<Item id=\"7\" DL_ID=\"1\" filesize=\"2\" name=\"\u5929.exe\"/></root>";
  std::string bytes = "\xFF\xFE";
  for (const wchar_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  CMainWnd wnd(*config);
  ASSERT_TRUE(wnd.ParseComponentXml(Manifest(bytes)));
  ASSERT_EQ(wnd.componentMap().count(7), 1u);
  EXPECT_EQ(wnd.componentMap().at(7).name, L"\u5929.exe");
}

TEST_F(ComponentXmlTest, NumberErrorsPassUpAndKeepEarlierRecords) {
  struct Case {
    const char* items;
    const char* error;
    std::vector<std::int32_t> keys;
  } const kCases[] = {
      {"<Item ID=\"7\" DL_ID=\"1\" filesize=\"2\"/>", "invalid stoull argument", {}},
      {"<Item id=\"1\" DL_ID=\"1\" filesize=\"2\"/><Item id=\"7\" filesize=\"2\"/>", "invalid stoull argument", {1}},
      {"<Item id=\"7\" DL_ID=\"1\"/>", "invalid stoull argument", {}},
      {"<Item id=\"123456789012345678901\" DL_ID=\"1\" filesize=\"2\"/>", "stoull argument out of range", {}},
  };
  for (const Case& c : kCases) {
    CMainWnd wnd(*config);
    const int before = wnd.installOutcome();
    EXPECT_EQ(ParseThrowing(wnd, std::string("<root>") + c.items + "</root>"), c.error) << c.items;
    EXPECT_EQ(Keys(wnd.componentMap()), c.keys) << c.items;
    EXPECT_EQ(wnd.installOutcome(), before) << c.items;
  }
}

TEST_F(ComponentXmlTest, OtherWithoutExactOtherConfigContributesNothing) {
  config->supplyid = 305;
  for (const char* other : {"<other/>", "<other><otherconfig><ChannelComponents ChannelRange=\"305\">"
                                        "<Item id=\"7\" DL_ID=\"1\" filesize=\"2\"/></ChannelComponents>"
                                        "</otherconfig></other>"}) {
    CMainWnd wnd(*config);
    bool result = false;
    EXPECT_EQ(ParseThrowing(wnd, std::string("<root>") + other + "</root>", &result), "") << other;
    EXPECT_TRUE(result) << other;
    EXPECT_TRUE(wnd.channelComponentMap().empty()) << other;
  }
}

TEST_F(ComponentXmlTest, ItemsThatWouldLeaveTheirFoldersRejectTheManifest) {
  config->supplyid = 305;
  struct Case {
    std::string item;
    std::string logged;
  } const kCases[] = {
      {ItemXml(7, "name=\"..\\..\\Windows\\evil.exe\""), "unsafe name: [..\\..\\Windows\\evil.exe]"},
      {ItemXml(7, "name=\"C:evil.exe\""), "unsafe name: [C:evil.exe]"},
      {ItemXml(7, "name=\"..\""), "unsafe name: [..]"},
      {ItemXml(7, "name=\"a.exe\" localaddpath=\"..\\\""), "unsafe localaddpath: [..\\]"},
      {ItemXml(7, "name=\"a.exe\" localaddpath=\"C:\\Windows\\\""), "unsafe localaddpath: [C:\\Windows\\]"},
      {ItemXml(7, "name=\"a.exe\" localaddpath=\"\\\\host\\share\\\""), "unsafe localaddpath: [\\\\host\\share\\]"},
      {ItemXml(7, "name=\"a.exe\" localaddpath=\"UI\\..\\..\\\""), "unsafe localaddpath: [UI\\..\\..\\]"},
  };
  for (const Case& c : kCases) {
    for (const bool inChannel : {false, true}) {
      const std::string manifest =
          inChannel ? "<root><other><OtherConfig><ChannelComponents ChannelRange=\"305\">" + c.item +
                          "</ChannelComponents></OtherConfig></other></root>"
                    : "<root>" + c.item + "</root>";
      CMainWnd wnd(*config);
      LogCapture log;
      bool result = true;
      EXPECT_EQ(ParseThrowing(wnd, manifest, &result), "") << c.item;
      EXPECT_FALSE(result) << c.item;
      EXPECT_EQ(wnd.installOutcome(), kOutcomeManifestParse) << c.item;
      EXPECT_TRUE(wnd.componentMap().empty()) << c.item;
      EXPECT_TRUE(wnd.channelComponentMap().empty()) << c.item;
      ASSERT_EQ(log.Lines().size(), 1u) << c.item;
      EXPECT_EQ(log.Lines()[0],
                "[Error][Component][component][CMainWnd::IsUsableComponentItem] component item 7 rejected, " +
                    c.logged)
          << c.item;
    }
  }
  // Sub-folders and an empty name stay allowed.
  CMainWnd wnd(*config);
  EXPECT_TRUE(wnd.ParseComponentXml(Manifest("<root>" + ItemXml(1, "name=\"Corrin.exe\" localaddpath=\"UI\\\"") +
                                             ItemXml(2, "localaddpath=\"a\\b\\\"") + ItemXml(3) + "</root>")));
  EXPECT_EQ(Keys(wnd.componentMap()), (std::vector<std::int32_t>{1, 2, 3}));
  EXPECT_EQ(wnd.installOutcome(), kOutcomeSuccess);
}

// ---- Channel selection ----

namespace {

std::string Group(const std::string& range, const std::string& items) {
  return "<ChannelComponents ChannelRange=\"" + range + "\">" + items + "</ChannelComponents>";
}

std::string ChannelManifest(const std::string& groups) {
  return "<root>" + ItemXml(7, "name=\"general\"") + "<other><OtherConfig>" + groups +
         "</OtherConfig></other></root>";
}

}  // namespace

TEST_F(ComponentXmlTest, TheChannelPicksTheLastMatchingGroup) {
  struct Case {
    std::uint32_t channel;
    std::string groups;
    std::string expectedName;  // of id 7 in the channel map; "" for an empty map
    int merges;
  };
  const std::vector<Case> kCases = {
      {305, Group("300-310", ItemXml(7, "name=\"r\"")), "r", 1},
      {305, Group("306-400", ItemXml(7, "name=\"r\"")), "", 0},
      {305, Group("300-310", ItemXml(7, "name=\"first\"")) + Group("305", ItemXml(7, "name=\"second\"")), "second",
       2},
      {305, Group("305", ItemXml(7, "name=\"match\"")) + Group("1-2", ItemXml(7, "name=\"other\"")), "match", 1},
      {305, Group("300-310,305", ItemXml(7, "name=\"twice\"")), "twice", 2},
      {305, "<channelcomponents ChannelRange=\"305\">" + ItemXml(7, "name=\"case\"") + "</channelcomponents>", "case",
       1},
      {305, "<ChannelComponents channelrange=\"305\">" + ItemXml(7, "name=\"x\"") + "</ChannelComponents>", "", 0},
      {305, "<ChannelComponents>" + ItemXml(7, "name=\"x\"") + "</ChannelComponents>", "", 0},
      {0, Group("0-5", ItemXml(7, "name=\"zero\"")), "zero", 1},
      {305, Group("305", ItemXml(7, "name=\"a\"") + ItemXml(7, "name=\"b\"")), "a", 1},
  };
  for (const Case& c : kCases) {
    config->supplyid = c.channel;
    CMainWnd wnd(*config);
    LogCapture log;
    ASSERT_TRUE(wnd.ParseComponentXml(Manifest(ChannelManifest(c.groups)))) << c.groups;
    EXPECT_EQ(wnd.componentMap().at(7).name, L"general") << c.groups;
    if (c.expectedName.empty()) {
      EXPECT_TRUE(wnd.channelComponentMap().empty()) << c.groups;
    } else {
      ASSERT_EQ(wnd.channelComponentMap().count(7), 1u) << c.groups;
      EXPECT_EQ(wnd.channelComponentMap().at(7).name, std::wstring(c.expectedName.begin(), c.expectedName.end()))
          << c.groups;
    }
    EXPECT_EQ(static_cast<int>(log.Lines().size()), c.merges) << c.groups;
  }
}

TEST_F(ComponentXmlTest, AMergeReplacesTheMapAndCountsEveryElementChild) {
  config->supplyid = 305;
  CMainWnd wnd(*config);
  LogCapture log;
  ASSERT_TRUE(wnd.ParseComponentXml(
      Manifest(ChannelManifest(Group("300-310", ItemXml(7) + ItemXml(1)) + Group("305", "<note/>text<x/><!--c-->")))));
  EXPECT_TRUE(wnd.channelComponentMap().empty());
  const std::string line = "[Info][Component][component][CMainWnd::ParseChannelComponent] get channel: 305 ";
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{line + "2 components.", line + "2 components."}));
}

TEST_F(ComponentXmlTest, ChannelNumberAndItemErrorsPassUp) {
  config->supplyid = 305;
  struct Case {
    std::string groups;
    const char* error;
    bool channelMapKept;
  } const kCases[] = {
      {Group("123456789012345678901", ItemXml(7)), "stoull argument out of range", false},
      {Group("305", "<Item id=\"8\" DL_ID=\"1\"/>"), "invalid stoull argument", false},
      {Group("305", ItemXml(1)) + Group("305", "<Item id=\"x\"/>"), "invalid stoull argument", true},
      {Group("1-2", "<Item id=\"x\"/>"), "", false},  // a group that does not match is never read
  };
  for (const Case& c : kCases) {
    CMainWnd wnd(*config);
    EXPECT_EQ(ParseThrowing(wnd, ChannelManifest(c.groups)), c.error) << c.groups;
    EXPECT_EQ(wnd.channelComponentMap().count(1), c.channelMapKept ? 1u : 0u) << c.groups;
  }
}
