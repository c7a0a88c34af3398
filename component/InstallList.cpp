#include "base/Log.h"
#include "config/GlobalConfig.h"
#include "ui/MainWnd.h"

LOG_SOURCE("component");

void CMainWnd::GetNeedInstallComponentLocalInfo() {
  for (const ComponentId id : WantedComponents(config_)) {
    ComponentLocalInfo& info = localComponentInfo_[id];
    ReadComponentLocalInfo(id, info);
    LOG_INFO("MainWnd") << "get component id: " << static_cast<int>(id)
                        << " installed: " << (info.installed ? "true" : "false");
    if (info.installed) LOG_INFO("MainWnd") << "version :" << info.version << " path: " << info.path;
  }
}

void CMainWnd::GetNeedInstallComponentItems() {
  installList_.clear();
  for (const ComponentId id : WantedComponents(config_)) {
    const auto key = static_cast<std::int32_t>(id);
    const auto channel = channelComponentMap_.find(key);
    // A component the manifest lacks still goes on the list, as a default
    // record (id -1, empty texts), and the general map keeps that record.
    const ComponentItem& item = channel != channelComponentMap_.end() ? channel->second : componentMap_[key];
    installList_.push_back(item);
    LOG_INFO("Component") << "need install component: " << key;
  }
}
