// CMainWnd: the installer window and the owner of one installation run.
//
// The run's state lives here: the phase and the outcome code (atomics, shared
// between the run's worker thread and the window thread), the installed state
// of the wanted components, the manifest's general and channel component maps
// and the install list. The installation operations are defined in
// component/ (one file per concept) and touch no control, so an object can be
// constructed and its operations run without a native window.
//
// The window side (the toolkit base WindowImplBase, layout, controls, the
// posted-call queue, timers, the result pages) joins this class in ui/ and
// keeps the member order below: the window members take the places marked.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

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
  virtual ~CMainWnd() = default;
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

  // ---- State the run shares with the window ----

  std::int32_t installPhase() const { return installPhase_.load(); }
  std::int32_t installOutcome() const { return installOutcome_.load(); }
  const ComponentLocalInfoMap& localComponentInfo() const { return localComponentInfo_; }
  const ComponentMap& componentMap() const { return componentMap_; }
  const ComponentMap& channelComponentMap() const { return channelComponentMap_; }
  const std::vector<ComponentItem>& installList() const { return installList_; }

 protected:
  // Logs and sets outcome 3 when the item's name or localaddpath could lead
  // its files out of the download or install folder.
  bool IsUsableComponentItem(const ComponentItem& item);

  std::atomic<std::int32_t> installPhase_{kPhaseNotStarted};
  ComponentLocalInfoMap localComponentInfo_;
  // (window: progress bar and status label controls)
  std::atomic<std::int32_t> installOutcome_{kOutcomeSuccess};
  // (window: posted-call queue and its lock)
  ComponentMap componentMap_;
  ComponentMap channelComponentMap_;
  std::vector<ComponentItem> installList_;
  // (window: background layout, default-background flag, speed samples)

  GlobalConfig& config_;
};
