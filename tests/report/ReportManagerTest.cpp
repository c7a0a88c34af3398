// The report library host against a probe library that records the calls.
#include "report/ReportManager.h"

#include <gtest/gtest.h>

#include <thread>

#include "report/DataReport.h"
#include "tests/fixtures/ReportProbe.h"
#include "tests/support/TestSupport.h"

using namespace OrvoReportMgr;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::wstring ProbePath(const wchar_t* name) { return testing_support::TestBinaryDir() + L"\\" + name; }

// Holds the probe loaded for the test, so that its record outlives the
// manager's own reference.
class Probe {
 public:
  explicit Probe(const wchar_t* name = L"report_probe_library.dll") : path_(ProbePath(name)) {
    module_ = LoadLibraryW(path_.c_str());
    if (module_ == nullptr) return;
    const auto stateFn = reinterpret_cast<ProbeStateFn>(
        reinterpret_cast<void*>(GetProcAddress(module_, "ProbeStateForTesting")));
    if (stateFn != nullptr) state_ = stateFn();
  }
  ~Probe() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;

  const std::wstring& path() const { return path_; }
  ReportProbeState& state() { return *state_; }
  bool ready() const { return state_ != nullptr; }
  // Gives up the test's reference; true when nobody else holds the module.
  bool UnloadedAfterRelease() {
    FreeLibrary(module_);
    module_ = nullptr;
    state_ = nullptr;
    return GetModuleHandleW(path_.c_str()) == nullptr;
  }

 private:
  std::wstring path_;
  HMODULE module_ = nullptr;
  ReportProbeState* state_ = nullptr;
};

ReportEvent ClickEvent(std::int64_t code) {
  ReportEvent event;
  event.type = 2;
  event.ireserve[0] = code;
  return event;
}

ReportEnvironment ExpectedEnvironment(const std::string& guid, std::uint64_t clientVersion, std::uint32_t supplyId) {
  ReportEnvironment environment;
  environment.guid = guid;
  environment.clientVersion = clientVersion;
  environment.supplyId = supplyId;
  QuerySystemEnvironment(environment);
  return environment;
}

}  // namespace

TEST(ReportManagerTest, ReportHandsHeaderAndBlocksToAFreshClient) {
  Probe probe;
  ASSERT_TRUE(probe.ready());
  CReportManager manager("collect.example.test:8443");
  ASSERT_TRUE(manager.Load(probe.path()));
  EXPECT_EQ(probe.state().initCalls, 1);
  EXPECT_EQ(probe.state().initArgument, 1);
  manager.clientVersion = 190912001;
  manager.supplyId = 4711;

  const ReportEvent event = ClickEvent(6);
  EXPECT_TRUE(manager.Report(event));
  EXPECT_EQ(probe.state().host, "collect.example.test:8443");
  EXPECT_EQ(probe.state().port, 443);
  EXPECT_EQ(probe.state().flag, 1);
  EXPECT_EQ(probe.state().header, (Bytes{0x5C, 0xD8, 0, 0, 1, 0, 0x25, 0x1B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(probe.state().head, EncodeEnvironment(ExpectedEnvironment(kProbeGuidText, 190912001, 4711)));
  ASSERT_EQ(probe.state().bodies.size(), 1u);
  EXPECT_EQ(probe.state().bodies[0], EncodeEvent(event));
  EXPECT_EQ(probe.state().created, 1);
  EXPECT_EQ(probe.state().released, 1);

  probe.state().sendResult = false;
  EXPECT_FALSE(manager.Report(event));  // the client's answer is the result
  EXPECT_EQ(probe.state().released, 2);
  probe.state().createNull = true;
  EXPECT_FALSE(manager.Report(event));  // no client: dropped
  EXPECT_EQ(probe.state().released, 2);
  EXPECT_TRUE(manager.Release());
}

TEST(ReportManagerTest, EnvironmentIsFixedAtTheFirstReport) {
  Probe probe;
  ASSERT_TRUE(probe.ready());
  CReportManager manager("collect.example.test");
  ASSERT_TRUE(manager.Load(probe.path()));
  // An event before the configuration filled the manager.
  ASSERT_TRUE(manager.Report(ClickEvent(3)));
  const Bytes first = probe.state().head;
  EXPECT_EQ(first, EncodeEnvironment(ExpectedEnvironment(kProbeGuidText, 0, 0)));
  manager.clientVersion = 5;
  manager.supplyId = 6;
  manager.guid = "ffffffffffffffffffffffffffffffff";
  ASSERT_TRUE(manager.Report(ClickEvent(4)));
  EXPECT_EQ(probe.state().head, first);
  EXPECT_EQ(probe.state().getGuidCalls, 1);
  EXPECT_TRUE(manager.Release());
}

TEST(ReportManagerTest, GuidOfTheConfigurationOrZeros) {
  Probe probe;
  ASSERT_TRUE(probe.ready());
  {
    CReportManager manager("h");
    ASSERT_TRUE(manager.Load(probe.path()));
    manager.guid = "0123456789abcdef0123456789abcdef";
    ASSERT_TRUE(manager.Report(ClickEvent(1)));
    EXPECT_EQ(probe.state().head, EncodeEnvironment(ExpectedEnvironment(manager.guid, 0, 0)));
    EXPECT_EQ(probe.state().getGuidCalls, 0);
    EXPECT_TRUE(manager.Release());
  }
  probe.state().getGuidResult = false;
  CReportManager manager("h");
  ASSERT_TRUE(manager.Load(probe.path()));
  ASSERT_TRUE(manager.Report(ClickEvent(1)));
  EXPECT_EQ(probe.state().head, EncodeEnvironment(ExpectedEnvironment(std::string(32, '0'), 0, 0)));
  EXPECT_TRUE(manager.Release());
}

TEST(ReportManagerTest, EachLoadNeedsItsRelease) {
  Probe probe;
  ASSERT_TRUE(probe.ready());
  CReportManager manager("h");
  EXPECT_TRUE(manager.Load(probe.path()));
  EXPECT_TRUE(manager.Load(probe.path()));
  EXPECT_TRUE(manager.Load(L""));  // already loaded: the path is not looked at
  EXPECT_EQ(probe.state().initCalls, 1);
  EXPECT_FALSE(manager.Release());
  EXPECT_FALSE(manager.Release());
  EXPECT_EQ(probe.state().unInitCalls, 0);
  EXPECT_TRUE(manager.Report(ClickEvent(1)));
  EXPECT_TRUE(manager.Release());
  EXPECT_EQ(probe.state().unInitCalls, 1);
  EXPECT_EQ(probe.state().unInitArgument, 10000);

  // Released: nothing goes out any more.
  const int created = probe.state().created;
  EXPECT_FALSE(manager.Report(ClickEvent(2)));
  EXPECT_EQ(probe.state().created, created);
  EXPECT_TRUE(probe.UnloadedAfterRelease());
}

TEST(ReportManagerTest, LibraryLackingAnExportIsUnloaded) {
  Probe probe(L"report_probe_without_getguid.dll");
  ASSERT_TRUE(probe.ready());
  CReportManager manager("h");
  EXPECT_FALSE(manager.Load(probe.path()));
  EXPECT_EQ(probe.state().initCalls, 0);
  EXPECT_FALSE(manager.Report(ClickEvent(1)));
  EXPECT_EQ(probe.state().created, 0);
  EXPECT_TRUE(probe.UnloadedAfterRelease());  // the manager kept no reference
  EXPECT_TRUE(manager.Release());
}

TEST(ReportManagerTest, MissingLibrary) {
  CReportManager manager("h");
  EXPECT_FALSE(manager.Load(L""));
  EXPECT_FALSE(manager.Load(ProbePath(L"no_such_library.dll")));
  EXPECT_FALSE(manager.Report(ClickEvent(1)));
  EXPECT_TRUE(manager.Release());
}

TEST(ReportManagerTest, OneManagerPerProcess) {
  CReportManager* seen[2] = {};
  std::thread a([&] { seen[0] = &CReportManager::Instance(); });
  std::thread b([&] { seen[1] = &CReportManager::Instance(); });
  a.join();
  b.join();
  EXPECT_EQ(seen[0], seen[1]);
  EXPECT_EQ(seen[0], &CReportManager::Instance());
}

// The front's default sender goes to the process's manager, with the record
// the library sender makes.
TEST(ReportManagerTest, FrontSendsThroughTheLibraryByDefault) {
  Probe probe;
  ASSERT_TRUE(probe.ready());
  ASSERT_TRUE(CReportManager::Instance().Load(probe.path()));
  DataReport front(std::array<std::uint8_t, 16>{});
  front.client_version = 0x1234567890ull;
  front.strcommon0 = "app-id";
  front.SendClickEvent(6);
  ASSERT_EQ(probe.state().bodies.size(), 1u);
  ReportEvent expected;
  expected.type = 2;
  expected.ireserve[0] = 6;
  expected.ireserve[9] = 0x34567890;
  expected.strreserve[0] = "app-id";
  EXPECT_EQ(probe.state().bodies[0], EncodeEvent(expected));
  EXPECT_TRUE(CReportManager::Instance().Release());
}
