// What the installation-run tests share: a CMainWnd without a native window
// whose window-thread operations are recorded, a real window thread (this
// test's) that runs its posted calls, the report events, the test servers
// and a manifest made from the fixture components.
//
// The manifest servers take the fixed ports of this build's manifest and
// content hosts (127.0.0.1:47101 and :47102), so these tests hold the
// "manifest_ports" lock. Component downloads use the scheme's own port; they
// reach the test server through the machine-wide WinHTTP proxy (in the
// redirected registry), a loopback proxy routing downloads.orvo.test to it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "component/InstalledComponents.h"
#include "config/GlobalConfig.h"
#include "tests/component/FixtureManifest.h"
#include "tests/net/LoopbackServer.h"
#include "tests/support/TestSupport.h"
#include "ui/MainWnd.h"

namespace install_testing {

inline constexpr int kManifestPort = 47101;
inline constexpr int kContentPort = 47102;
inline constexpr char kManifestPath[] = "downloads/xml/compoment.xml";
inline constexpr char kFallbackManifestPath[] = "open/vela/xml/compoment.xml";

// A report event as the sender received it, with the thread it came from.
struct Event {
  int code = 0;
  int value5 = 0;
  int value6 = 0;
  int value7 = 0;
  DWORD thread = 0;
};

// An event as EventLines() writes it.
inline std::string EventLine(int code, int value5 = 0, int value6 = 0, int value7 = 0) {
  return std::to_string(code) + "/" + std::to_string(value5) + "/" + std::to_string(value6) + "/" +
         std::to_string(value7);
}

// CMainWnd with every window-thread operation written down, as one line per
// change ("progress 37", "bar 100", "animation on", "animation off",
// "complete"); a repeated progress line is kept once.
class RecordingMainWnd : public CMainWnd {
 public:
  explicit RecordingMainWnd(GlobalConfig& config) : CMainWnd(config), owner_(GetCurrentThreadId()) {}

  std::vector<std::string> screen;
  int progressCalls = 0;  // every OnDownloadProgress, repeats included
  bool completeShown = false;
  bool ranOffWindowThread = false;

 protected:
  void OnDownloadProgress(std::uint32_t percent, std::uint32_t speedKbps) override {
    ++progressCalls;
    Note("progress " + std::to_string(percent));
    CMainWnd::OnDownloadProgress(percent, speedKbps);
  }
  void SetProgressValue(std::uint32_t percent) override { Note("bar " + std::to_string(percent)); }
  void StartInstallingAnimation() override { Note("animation on"); }
  void StopInstallingAnimation() override { Note("animation off"); }

 public:
  void ShowCompletePage() override {
    Note("complete");
    completeShown = true;
  }

 private:
  void Note(const std::string& line) {
    if (GetCurrentThreadId() != owner_) ranOffWindowThread = true;
    if (screen.empty() || screen.back() != line) screen.push_back(line);
  }
  DWORD owner_;
};

class InstallRunTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The primary server (manifest host, component files) and the proxy; the
  // content host's server only with fallback.
  void StartServers(bool fallback = false);
  std::wstring ServerDir() const { return dir / L"primary"; }
  std::wstring FallbackDir() const { return dir / L"fallback"; }

  // The fixture setup program of id, its behaviour given by behaviour plus
  // the registry and marker keys its Instar.exe needs.
  ServedComponent Fixture(ComponentId id, nlohmann::json behaviour = nlohmann::json::object()) const;
  // Puts the components' files in the primary's files/ folder and their
  // manifest at the primary's manifest path.
  void Serve(const std::vector<ServedComponent>& components);
  void WriteSite(const std::wstring& serverDir, const std::string& path, const std::string& bytes) const;

  // Wants exactly the given components.
  void Want(const std::vector<ComponentId>& ids);

  // Constructs the window object (after the registry and configuration are
  // as the test wants them) and attaches this thread's window to it.
  RecordingMainWnd& Window();

  // Forgets the window object and the events so far: the next Window() or
  // Run() starts afresh (one run per window object).
  void NewRun();

  // DoInstallComponent on the worker pool; pumps this thread until it has
  // returned and its result reached the window thread.
  void Run();
  // Pumps this thread until done or a bounded wait ends.
  bool PumpUntil(const std::function<bool()>& done);

  std::vector<Event> Events() const;
  // The events as "code/value5/value6/value7".
  std::vector<std::string> EventLines() const;
  bool ErrorPageShown() const;

  // Download folder (ends in "\") and install folder of a served component.
  std::wstring DownloadDir(const ServedComponent& c) const;
  std::wstring InstallFolder(const ServedComponent& c) const;
  static std::optional<std::wstring> ReadMachineString(const std::wstring& key, const wchar_t* name);

  testing_support::RegistryOverride registry;
  testing_support::ScratchDir dir;
  testing_support::LogCapture log;
  std::unique_ptr<GlobalConfig> config;
  std::unique_ptr<net_testing::LoopbackServer> primary;
  std::unique_ptr<net_testing::LoopbackServer> fallback;
  std::unique_ptr<net_testing::LoopbackServer> proxy;

 private:
  static LRESULT CALLBACK WindowThreadProc(HWND, UINT, WPARAM, LPARAM);

  std::wstring savedTmp_;
  std::wstring savedTemp_;
  mutable std::mutex eventsMutex_;
  std::vector<Event> events_;
  std::unique_ptr<RecordingMainWnd> window_;
  std::unique_ptr<testing_support::TestWindow> windowThread_;
  WNDPROC testWindowProc_ = nullptr;
  std::shared_ptr<std::atomic<bool>> returned_;
};

}  // namespace install_testing
