#include "base/Log.h"
#include "component/XmlDocument.h"
#include "ui/MainWnd.h"

LOG_SOURCE("component");

bool CMainWnd::IsUsableComponentItem(const ComponentItem& item) {
  const auto unsafe = FindUnsafeItemPath(item);
  if (!unsafe) return true;
  LOG_ERROR("Component") << "component item " << item.id << " rejected, unsafe " << unsafe->first << ": ["
                         << unsafe->second << "]";
  installOutcome_ = kOutcomeManifestParse;
  return false;
}

bool CMainWnd::ParseComponentXml(const std::wstring& path) {
  if (path.empty()) {
    LOG_ERROR("Component") << "xml path is null!";
    installOutcome_ = kOutcomeCommon;
    return false;
  }
  XmlDocument document;
  if (!document.Load(path)) {
    LOG_ERROR("Component") << "load component xml failed.";
    installOutcome_ = kOutcomeManifestParse;
    return false;
  }
  for (const XmlNode* child : document.Root()->Children()) {
    if (EqualsIgnoringCase(child->Name(), L"Item")) {
      auto [key, item] = ParseComponentItem(*child);
      if (!IsUsableComponentItem(item)) return false;
      componentMap_.try_emplace(key, std::move(item));
    } else if (EqualsIgnoringCase(child->Name(), L"other")) {
      const XmlNode* otherConfig = child->ChildByName(L"OtherConfig");
      if (otherConfig != nullptr && !ParseChannelComponent(*otherConfig)) return false;
    }
  }
  return true;
}
