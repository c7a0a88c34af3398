// CMainWnd: the installer window and the owner of one installation run.
//
// The run's state lives here: the phase and the outcome code (atomics, shared
// between the run's worker thread and the window thread), the installed state
// of the wanted components, the manifest's general and channel component maps
// and the install list. The installation operations are defined in
// component/ (one file per concept) and touch no control, so an object can be
// constructed and its operations run without a native window.
//
// The posted-call queue is here already: the run reaches the window thread
// only through PostToWindowThread, and the operations it posts there (progress,
// the installing animation, the two result pages) are virtual so that the
// window, and tests, give them their effect. The rest of the window side (the
// toolkit base WindowImplBase, layout, controls, timers, the pages) joins this
// class in ui/ and keeps the member order below: the window members take the
// places marked.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/PostedCallQueue.h"

#include "component/ComponentItem.h"
#include "component/InstallOutcome.h"
#include "component/InstalledComponents.h"

class GlobalConfig;
class XmlNode;

class CMainWnd {
 public:
  // Phase and outcome start at 0; then the installed state of every
  // component the configuration selects is read (window thread, after the
  // configuration exists).
  explicit CMainWnd(GlobalConfig& config) : config_(config) { GetNeedInstallComponentLocalInfo(); }
  // Calls still queued for the window thread are dropped unrun.
  virtual ~CMainWnd();
  CMainWnd(const CMainWnd&) = delete;
  CMainWnd& operator=(const CMainWnd&) = delete;

  // ---- Manifest (component/ComponentXml.cpp, component/ChannelSelection.cpp) ----

  // Reads the manifest at path into the general component map and hands each
  // other/OtherConfig section to ParseChannelComponent. False with outcome 1
  // for an empty path, with outcome 3 when the file cannot be loaded as XML
  // or names a file or folder outside the download and install folders. The
  // number errors of ParseComponentItem pass up as exceptions; records
  // inserted before the failure stay.
  bool ParseComponentXml(const std::wstring& path);

  // Makes the last ChannelComponents group of otherConfig whose ChannelRange
  // holds this executable's channel the channel component map. True, except
  // for a matched group with an unusable item (outcome 3). May throw the
  // number errors.
  bool ParseChannelComponent(const XmlNode& otherConfig);

  // ---- Installed state and install list (component/InstallList.cpp) ----

  // Fills the local component info for every wanted component. Called once,
  // by the constructor.
  void GetNeedInstallComponentLocalInfo();
  // True when every wanted component is installed (also when none is wanted).
  bool IsAllComponentInstalled() const { return AllComponentsInstalled(localComponentInfo_); }
  // Rebuilds the install list: every wanted component in table order, the
  // channel record before the general one, a default record (added to the
  // general map) when the manifest has neither. Worker thread, after the
  // manifest was parsed.
  void GetNeedInstallComponentItems();

  // ---- The run (component/InstallDriver.cpp and the files it names) ----

  // One installation run, on a worker thread: fetch and parse the manifest,
  // build the install list, download and verify, install. Ends with exactly
  // one result on the window thread: ShowCompletePage (phase 10) or, through
  // PostShowErrorPage, the error page (phase 11, outcome code set).
  void DoInstallComponent();

  // Fetches the manifest into a new file in %TEMP%\OrvoDownload\, from the
  // manifest server or else from the content server. The file's path, or
  // empty text with outcome 18 (no temporary file) or 2 (neither source).
  // Throws std::filesystem::filesystem_error when the folder can't be made.
  std::wstring DownloadComponentXml();

  // Brings every record of the install list onto disk, verified by its MD5
  // digest (a file already there with the right digest is kept). False at
  // the first failure, with the downloader's failure kind or 20 (digest) as
  // outcome. Throws std::filesystem::filesystem_error when a download folder
  // can't be made.
  bool DownloadComponent();

  // Runs every record's setup program and then its component installer, with
  // the install folder recorded in the component's registry key. False at the
  // first failure (outcome 14 to 17 or 19), or after all of them when the
  // product key could not be created (17). Throws
  // std::filesystem::filesystem_error when an install folder can't be made.
  bool InstallComponent();

  // ---- Window thread ----

  // Any thread: queues call for the window thread. Calls run one per
  // WM_POSTED_CALL, in posting order; without an attached window they are
  // dropped.
  void PostToWindowThread(std::function<void()> call);
  // Window thread: the window whose procedure answers WM_POSTED_CALL with
  // RunPostedCall; nullptr detaches (queued and later calls are dropped).
  void AttachWindowThread(HWND window);
  void RunPostedCall() { postedCalls_.RunOne(); }

  // Window thread, after a component's download succeeded: the mean of the
  // speed samples into HKCU "...\GameDownload" "DownloadSpeed" (REG_DWORD).
  // Nothing without samples.
  void RecordDownloadAverageSpeed();

  // ---- State the run shares with the window ----

  std::int32_t installPhase() const { return installPhase_.load(); }
  std::int32_t installOutcome() const { return installOutcome_.load(); }
  const ComponentLocalInfoMap& localComponentInfo() const { return localComponentInfo_; }
  const ComponentMap& componentMap() const { return componentMap_; }
  const ComponentMap& channelComponentMap() const { return channelComponentMap_; }
  const std::vector<ComponentItem>& installList() const { return installList_; }
  // Window thread.
  const std::vector<std::uint32_t>& speedSamples() const { return speedSamples_; }

 protected:
  // ---- Operations the run posts to the window thread ----
  // They run on the window thread only. The window gives them their
  // controls; the base keeps what is not a control.

  // Progress of the current file. The base keeps speed as a sample (at most
  // kMaxSpeedSamples) for RecordDownloadAverageSpeed.
  virtual void OnDownloadProgress(std::uint32_t percent, std::uint32_t speedKbps);
  // The progress bar alone (100 once every component is present).
  virtual void SetProgressValue(std::uint32_t /*percent*/) {}
  // Timer 1 (every 1000 ms) on the status label while the installers run.
  virtual void StartInstallingAnimation() {}
  virtual void StopInstallingAnimation() {}
  // The error page for the outcome code; the base sends event 1001.
  void ShowErrorPage();

 public:
  // The two result operations, the last two virtual operations of the class.
  // ShowCompletePage runs on the window thread (the run posts it);
  // PostShowErrorPage may be called on any thread and posts ShowErrorPage.
  virtual void ShowCompletePage() {}
  virtual void PostShowErrorPage();

  static constexpr size_t kMaxSpeedSamples = 3000;

 protected:
  // Logs and sets outcome 3 when the item's name or localaddpath could lead
  // its files out of the download or install folder.
  bool IsUsableComponentItem(const ComponentItem& item);

  std::atomic<std::int32_t> installPhase_{kPhaseNotStarted};
  ComponentLocalInfoMap localComponentInfo_;
  // (window: progress bar and status label controls)
  std::atomic<std::int32_t> installOutcome_{kOutcomeSuccess};
  PostedCallQueue postedCalls_;  // with its own lock
  ComponentMap componentMap_;
  ComponentMap channelComponentMap_;
  std::vector<ComponentItem> installList_;
  // (window: background layout, default-background flag)
  std::vector<std::uint32_t> speedSamples_;  // window thread only

  GlobalConfig& config_;
};
