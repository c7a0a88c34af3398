#include "base/Log.h"
#include "component/ChannelRange.h"
#include "component/XmlDocument.h"
#include "config/GlobalConfig.h"
#include "ui/MainWnd.h"

LOG_SOURCE("component");

bool CMainWnd::ParseChannelComponent(const XmlNode& otherConfig) {
  const std::uint32_t channel = config_.supplyid;
  bool usable = true;
  // The group replaces the channel map as a whole; a group that matches more
  // than once is merged each time, with the same result.
  const auto merge = [&](const XmlNode& group) {
    ComponentMap components;
    const std::vector<const XmlNode*> children = group.Children();
    for (const XmlNode* child : children) {
      if (!EqualsIgnoringCase(child->Name(), L"Item")) continue;
      auto [key, item] = ParseComponentItem(*child);
      if (!IsUsableComponentItem(item)) return false;
      components.try_emplace(key, std::move(item));
    }
    channelComponentMap_ = std::move(components);
    LOG_INFO("Component") << "get channel: " << channel << " " << static_cast<unsigned int>(children.size())
                          << " components.";
    return true;
  };
  for (const XmlNode* group : otherConfig.Children()) {
    if (!EqualsIgnoringCase(group->Name(), L"ChannelComponents")) continue;
    ForEachChannelHit(group->Attribute(L"ChannelRange"), channel, [&] {
      if (usable) usable = merge(*group);
    });
    if (!usable) return false;
  }
  return true;
}
