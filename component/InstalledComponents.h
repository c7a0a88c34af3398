// The six product components, the install flags that select them, where the
// registry records their install folder, and the files that must be there
// for a component to count as installed.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class GlobalConfig;

enum class ComponentId : std::int32_t {
  Portalis = 7,
  UI = 1,
  VDI_0 = 3,
  VDI_100 = 8,
  Rusk_Rootfs = 10,
  Cabin = 2,
};

struct ComponentDescriptor {
  bool GlobalConfig::*flag;  // the install flag that selects the component
  ComponentId id;
  const wchar_t* name;
  const wchar_t* registryKey;  // under HKEY_LOCAL_MACHINE
};

// In the order the flags are evaluated, which is also the install order.
std::span<const ComponentDescriptor> ComponentTable();

// The ids whose install flag is set in config, in table order.
std::vector<ComponentId> WantedComponents(const GlobalConfig& config);

// Marker files by id (read-only, built on first use). An id without a row
// has no marker files.
const std::map<ComponentId, std::vector<std::wstring>>& ComponentFileTable();
std::span<const std::wstring> MarkerFiles(ComponentId id);

struct ComponentLocalInfo {
  std::wstring version;
  std::wstring path;  // the install folder as read from the registry
  bool installed = false;

  bool operator==(const ComponentLocalInfo&) const = default;
};

using ComponentLocalInfoMap = std::map<ComponentId, ComponentLocalInfo>;

// True when every record is installed; true for an empty map.
bool AllComponentsInstalled(const ComponentLocalInfoMap& infos);

// The folder the marker files are looked for in: installPath with a
// backslash appended unless it is empty or already ends in one.
std::wstring MarkerFolder(std::wstring_view installPath);

// Reads the component's key under HKEY_LOCAL_MACHINE: "InstallPath" and
// "Version" (REG_SZ or REG_EXPAND_SZ, not expanded, at most 259 characters)
// and checks the marker files in the folder. On success sets version, path
// (as read) and installed; otherwise only clears installed. Never fails
// outward, never logs.
void ReadComponentLocalInfo(ComponentId id, ComponentLocalInfo& record);
