#include "tests/config/TestFacts.h"
#include "tests/component/InstallRunFixture.h"

#include <chrono>
#include <cstdio>

#include "base/Callback.h"
#include "base/TextConvert.h"
#include "base/WorkerPool.h"
#include "report/DataReport.h"

using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

namespace install_testing {

namespace {

constexpr wchar_t kWindowProperty[] = L"OrvoInstallRunTest";
constexpr auto kRunTimeout = std::chrono::seconds(90);

std::wstring Environment(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH);
  return n < MAX_PATH ? std::wstring(value, n) : std::wstring();
}

}  // namespace

void InstallRunTest::SetUp() {
  // The manifest goes to %TEMP%\OrvoDownload\: this test's own temp folder.
  savedTmp_ = Environment(L"TMP");
  savedTemp_ = Environment(L"TEMP");
  const std::wstring temp = testing_support::MakeDirectory(dir / L"temp");
  SetEnvironmentVariableW(L"TMP", temp.c_str());
  SetEnvironmentVariableW(L"TEMP", temp.c_str());

  config = std::make_unique<GlobalConfig>(EnglishMachineFacts(dir.path()));
  config->tempPath = dir / L"download\\";
  config->installPath = dir / L"install\\";
  Want({});

  DataReport::Instance().SetSender([this](ReportEventJson event) {
    Event e;
    e.code = event.value("ireserve1", 0);
    e.value5 = event.value("ireserve5", 0);
    e.value6 = event.value("ireserve6", 0);
    e.value7 = event.value("ireserve7", 0);
    e.thread = GetCurrentThreadId();
    std::lock_guard<std::mutex> lock(eventsMutex_);
    events_.push_back(e);
  });
}

void InstallRunTest::TearDown() {
  NewRun();
  SetEnvironmentVariableW(L"TMP", savedTmp_.c_str());
  SetEnvironmentVariableW(L"TEMP", savedTemp_.c_str());
  if (HasFailure()) {
    for (const std::string& line : log.Lines()) std::printf("log: %s\n", line.c_str());
  }
  DataReport::Instance().SetSender([](ReportEventJson) {});
  primary.reset();
  fallback.reset();
  proxy.reset();
}

void InstallRunTest::NewRun() {
  // A run that did not come back in time must not find its object gone.
  if (returned_ && !PumpUntil([this] { return returned_->load(); })) {
    ADD_FAILURE() << "the run did not return; its window object is left behind";
    (void)window_.release();
  }
  if (window_) window_->AttachWindowThread(nullptr);
  if (windowThread_) {
    SetWindowLongPtrW(windowThread_->hwnd(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(testWindowProc_));
    RemovePropW(windowThread_->hwnd(), kWindowProperty);
  }
  windowThread_.reset();
  window_.reset();
  returned_.reset();
  std::lock_guard<std::mutex> lock(eventsMutex_);
  events_.clear();
}

void InstallRunTest::StartServers(bool withFallback) {
  primary = std::make_unique<net_testing::LoopbackServer>(
      "test_server.py", testing_support::MakeDirectory(ServerDir()), std::vector<std::string>{"--tls", "--https-port", std::to_string(kManifestPort)});
  ASSERT_TRUE(primary->ready());
  if (withFallback) {
    fallback = std::make_unique<net_testing::LoopbackServer>(
        "test_server.py", testing_support::MakeDirectory(FallbackDir()),
        std::vector<std::string>{"--tls", "--https-port", std::to_string(kContentPort)});
    ASSERT_TRUE(fallback->ready());
  }
  proxy = std::make_unique<net_testing::LoopbackServer>(
      "test_proxy.py", testing_support::MakeDirectory(dir / L"proxy"),
      std::vector<std::string>{"--route downloads.orvo.test:80=127.0.0.1:" + std::to_string(primary->port("http"))});
  ASSERT_TRUE(proxy->ready());
  ASSERT_TRUE(net_testing::SetMachineWinHttpProxy("127.0.0.1:" + std::to_string(proxy->port("proxy")), "127.0.0.1"));
}

ServedComponent InstallRunTest::Fixture(ComponentId id, nlohmann::json behaviour) const {
  static const std::string program =
      ReadFileBytes(testing_support::TestBinaryDir() + L"\\..\\fixtures\\components\\fixture_setup.exe");
  EXPECT_FALSE(program.empty()) << "fixture_setup.exe not found";
  return FixtureComponent(id, std::move(behaviour), registry.machineKey(), program);
}

void InstallRunTest::Serve(const std::vector<ServedComponent>& components) {
  const std::wstring files = testing_support::MakeDirectory(ServerDir() + L"\\files");
  for (const ServedComponent& c : components) {
    ASSERT_TRUE(WriteFileBytes(files + L"\\" + Utf8ToWide(c.name), c.bytes));
  }
  const std::string xml = ManifestXml(components);
  WriteSite(ServerDir(), kManifestPath, xml);
}

void InstallRunTest::WriteSite(const std::wstring& serverDir, const std::string& path, const std::string& bytes) const {
  std::wstring file = serverDir + L"\\site\\" + Utf8ToWide(path);
  for (auto& c : file) {
    if (c == L'/') c = L'\\';
  }
  testing_support::MakeDirectoryTree(file.substr(0, file.rfind(L'\\')));
  ASSERT_TRUE(WriteFileBytes(file, bytes));
}

void InstallRunTest::Want(const std::vector<ComponentId>& ids) {
  for (const ComponentDescriptor& component : ComponentTable()) {
    config.get()->*component.flag = std::find(ids.begin(), ids.end(), component.id) != ids.end();
  }
}

RecordingMainWnd& InstallRunTest::Window() {
  if (!window_) {
    window_ = std::make_unique<RecordingMainWnd>(*config);
    windowThread_ = std::make_unique<testing_support::TestWindow>();
    const HWND hwnd = windowThread_->hwnd();
    SetPropW(hwnd, kWindowProperty, this);
    testWindowProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&InstallRunTest::WindowThreadProc)));
    window_->AttachWindowThread(hwnd);
  }
  return *window_;
}

LRESULT CALLBACK InstallRunTest::WindowThreadProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<InstallRunTest*>(GetPropW(hwnd, kWindowProperty));
  if (message == WM_POSTED_CALL && self != nullptr && self->window_) {
    self->window_->RunPostedCall();
    return 0;
  }
  return CallWindowProcW(self != nullptr ? self->testWindowProc_ : DefWindowProcW, hwnd, message, wParam, lParam);
}

void InstallRunTest::Run() {
  RecordingMainWnd& window = Window();
  returned_ = std::make_shared<std::atomic<bool>>(false);
  auto returned = returned_;
  minilib::WorkerPool::Instance().Post(minilib::Callback<void()>([&window, returned] {
    window.DoInstallComponent();
    returned->store(true);
  }));
  ASSERT_TRUE(PumpUntil([&] { return returned->load() && (window.completeShown || ErrorPageShown()); }))
      << "no result within the time limit";
}

bool InstallRunTest::PumpUntil(const std::function<bool()>& done) {
  if (!windowThread_) return done();
  return windowThread_->PumpUntil(done, kRunTimeout);
}

std::vector<Event> InstallRunTest::Events() const {
  std::lock_guard<std::mutex> lock(eventsMutex_);
  return events_;
}

std::vector<std::string> InstallRunTest::EventLines() const {
  std::vector<std::string> lines;
  for (const Event& e : Events()) {
    lines.push_back(std::to_string(e.code) + "/" + std::to_string(e.value5) + "/" + std::to_string(e.value6) + "/" +
                    std::to_string(e.value7));
  }
  return lines;
}

bool InstallRunTest::ErrorPageShown() const {
  for (const Event& e : Events()) {
    if (e.code == 1001) return true;
  }
  return false;
}

std::wstring InstallRunTest::DownloadDir(const ServedComponent& c) const {
  return config->tempPath + Utf8ToWide(c.localaddpath) + L"\\";
}

std::wstring InstallRunTest::InstallFolder(const ServedComponent& c) const {
  return config->installPath + Utf8ToWide(c.localaddpath);
}

std::optional<std::wstring> InstallRunTest::ReadMachineString(const std::wstring& key, const wchar_t* name) {
  wchar_t value[512] = {};
  DWORD size = sizeof value - sizeof(wchar_t), type = 0;
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return std::nullopt;
  const LSTATUS status = RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
  return std::wstring(value);
}

}  // namespace install_testing
