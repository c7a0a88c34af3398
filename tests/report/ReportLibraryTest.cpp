// Our report library (reportlib/, copied next to the tests as dr.dll) against
// the report collector on 127.0.0.1.
#include <gtest/gtest.h>

#include "ReportLibraryDigest.h"
#include "base/utils.h"
#include "report/DataReport.h"
#include "report/MachineIdRules.h"
#include "report/ReportManager.h"
#include "tests/report/ReportCollector.h"
#include "tests/support/TestSupport.h"

using OrvoReportMgr::CReportManager;
using report_testing::ReportCollector;

namespace {

std::wstring LibraryPath() { return testing_support::TestBinaryDir() + L"\\dr.dll"; }

std::array<std::uint8_t, 16> TestMachineId() {
  std::array<std::uint8_t, 16> id{};
  for (int i = 0; i < 16; ++i) id[i] = static_cast<std::uint8_t>(0xF0 - i);
  return id;
}

std::string LibraryGuid() {
  HMODULE module = LoadLibraryW(LibraryPath().c_str());
  if (module == nullptr) return {};
  const auto getGuid = reinterpret_cast<ClientDataReport::GetGuidFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "GetGuid")));
  unsigned char out[16] = {};
  const bool ok = getGuid != nullptr && getGuid(out);
  FreeLibrary(module);
  if (!ok) return {};
  std::array<std::uint8_t, 16> id{};
  std::copy(out, out + 16, id.begin());
  return OrvoMacID::MachineIdText(id);
}

// The front as start-up leaves it, sending through manager.
struct Front {
  explicit Front(CReportManager& manager) : report(TestMachineId()) {
    report.SetSender([this, &manager](ReportEventJson event) { sent.push_back(manager.Report(report.LibraryRecord(event))); });
  }
  void Configure(CReportManager& manager) {
    report.client_version = 0x0000000100BADCAFull;
    report.supplyid = 1101;
    report.strcommon0 = "game-app";
    manager.clientVersion = report.client_version;
    manager.supplyId = static_cast<std::uint32_t>(report.supplyid);
    manager.guid = report.guid;
  }
  DataReport report;
  std::vector<bool> sent;
};

}  // namespace

TEST(ReportLibraryTest, EventArrivesWithItsFieldsAndHeader) {
  testing_support::ScratchDir dir;
  ReportCollector collector(dir.path());
  ASSERT_TRUE(collector.ready());
  CReportManager manager(collector.host());
  ASSERT_TRUE(manager.Load(LibraryPath()));
  Front front(manager);
  front.Configure(manager);
  front.report.SendEvent(202, 20, 3, 0);
  ASSERT_EQ(front.sent, std::vector<bool>{true});

  const auto requests = collector.WaitForRequests(1);
  ASSERT_EQ(requests.size(), 1u);
  const auto& r = requests[0];
  ASSERT_EQ(r["kind"], "library") << r.dump();
  EXPECT_EQ(r["method"], "POST");
  EXPECT_EQ(r["framing"], 1);
  EXPECT_EQ(r["header"], (nlohmann::json{{"magic", 0xD85C}, {"reserved0", 0}, {"version", 1}, {"application", 6949},
                                         {"reserved1", 0}, {"reserved2", 0}, {"reserved3", 0}}));
  const auto& env = r["environment"];
  EXPECT_EQ(env["guid"], "f0efeeedecebeae9e8e7e6e5e4e3e2e1");
  EXPECT_EQ(env["client_version"], 0x0000000100BADCAFull);
  EXPECT_EQ(env["supply_id"], 1101);
  EXPECT_EQ(env["os_major"], front.report.sys_major);
  EXPECT_EQ(env["os_build"], front.report.sys_build);
  EXPECT_EQ(env["system_language"], GetSystemDefaultLangID());
  ASSERT_EQ(r["events"].size(), 1u);
  const auto& event = r["events"][0];
  EXPECT_EQ(event["type"], 2);
  EXPECT_EQ(event["ireserve1"], 202);
  EXPECT_EQ(event["ireserve5"], 20);
  EXPECT_EQ(event["ireserve6"], 3);
  EXPECT_EQ(event["ireserve7"], 0);
  EXPECT_EQ(event["ireserve9"], 0x00BADCAF);
  EXPECT_EQ(event["ireserve0"], 0);
  EXPECT_EQ(event["strreserve0"], "game-app");
  EXPECT_EQ(event["strreserve1"], "");
  EXPECT_EQ(event["result_info"], "");
  EXPECT_TRUE(manager.Release());
}

TEST(ReportLibraryTest, EnvironmentKeepsTheValuesOfTheFirstReport) {
  testing_support::ScratchDir dir;
  ReportCollector collector(dir.path());
  ASSERT_TRUE(collector.ready());
  CReportManager manager(collector.host());
  ASSERT_TRUE(manager.Load(LibraryPath()));
  Front front(manager);
  front.report.SendEvent(3, 0, 0, 0);  // while the configuration is being built
  front.Configure(manager);
  front.report.SendClickEvent(4);
  ASSERT_EQ(front.sent, (std::vector<bool>{true, true}));

  const auto requests = collector.WaitForRequests(2);
  ASSERT_EQ(requests.size(), 2u);
  const std::string libraryGuid = LibraryGuid();
  ASSERT_EQ(libraryGuid.size(), 32u);
  EXPECT_NE(libraryGuid, std::string(32, '0'));
  EXPECT_EQ(libraryGuid, LibraryGuid());  // stable
  for (const auto& r : requests) {
    EXPECT_EQ(r["environment"]["guid"], libraryGuid);
    EXPECT_EQ(r["environment"]["client_version"], 0);
    EXPECT_EQ(r["environment"]["supply_id"], 0);
  }
  EXPECT_EQ(requests[0]["events"][0]["ireserve1"], 3);
  EXPECT_EQ(requests[0]["events"][0]["ireserve9"], 0);
  EXPECT_EQ(requests[1]["events"][0]["ireserve0"], 4);
  EXPECT_EQ(requests[1]["events"][0]["ireserve9"], 0x00BADCAF);  // the event record itself is current
  EXPECT_TRUE(manager.Release());
}

TEST(ReportLibraryTest, NothingGoesOutAfterTheLastRelease) {
  testing_support::ScratchDir dir;
  ReportCollector collector(dir.path());
  ASSERT_TRUE(collector.ready());
  CReportManager manager(collector.host());
  ASSERT_TRUE(manager.Load(LibraryPath()));
  ASSERT_TRUE(manager.Load(LibraryPath()));
  Front front(manager);
  front.report.SendClickEvent(0);
  EXPECT_FALSE(manager.Release());
  front.report.SendClickEvent(1);  // still one user
  EXPECT_TRUE(manager.Release());
  EXPECT_EQ(GetModuleHandleW(LibraryPath().c_str()), nullptr);
  front.report.SendClickEvent(2);
  EXPECT_EQ(front.sent, (std::vector<bool>{true, true, false}));
  const auto requests = collector.WaitForRequests(2);
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1]["events"][0]["ireserve0"], 1);
}

TEST(ReportLibraryTest, UnreachableCollectorIsNotSent) {
  CReportManager manager("127.0.0.1:1");
  ASSERT_TRUE(manager.Load(LibraryPath()));
  EXPECT_FALSE(manager.Report(ReportEvent{}));
  EXPECT_TRUE(manager.Release());
}

TEST(ReportLibraryTest, FileCarriesItsVersionAndBuiltDigest) {
  EXPECT_TRUE(IsFileVersionAtLeast(LibraryPath(), L"6.4.1782.202"));
  EXPECT_EQ(GetFileHexMd5(LibraryPath()), std::wstring(ORVO_REPORT_LIBRARY_MD5));
}
