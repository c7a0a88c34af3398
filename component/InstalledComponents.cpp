#include "component/InstalledComponents.h"

#include <windows.h>

#include <optional>

#include "base/Handles.h"
#include "config/GlobalConfig.h"

namespace {

constexpr ComponentDescriptor kComponents[] = {
    {&GlobalConfig::installMarket, ComponentId::Portalis, L"Portalis", L"Software\\Quenlo\\Lumora\\Portalis"},
    {&GlobalConfig::installUI, ComponentId::UI, L"UI", L"Software\\Quenlo\\Lumora\\UI"},
    {&GlobalConfig::installVDI, ComponentId::VDI_0, L"VDI_0", L"Software\\Quenlo\\Lumora\\VDI_0"},
    {&GlobalConfig::installVDI71, ComponentId::VDI_100, L"VDI_100", L"Software\\Quenlo\\Lumora\\VDI_100"},
    {&GlobalConfig::installRootfs, ComponentId::Rusk_Rootfs, L"Rusk_Rootfs",
     L"Software\\Quenlo\\Lumora\\Rusk_Rootfs"},
    {&GlobalConfig::installCabin, ComponentId::Cabin, L"Cabin", L"Software\\AndroidCabin"},
};

const ComponentDescriptor* FindComponent(ComponentId id) {
  for (const ComponentDescriptor& component : kComponents) {
    if (component.id == id) return &component;
  }
  return nullptr;
}

// A string value of at most 259 characters and its terminator. Values of
// another type, without a terminator, or longer do not count.
std::optional<std::wstring> ReadShortString(HKEY key, const wchar_t* name) {
  wchar_t buffer[MAX_PATH] = {};
  DWORD type = 0;
  DWORD size = sizeof buffer;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  const DWORD count = size / sizeof(wchar_t);
  if (size % sizeof(wchar_t) != 0 || count == 0 || buffer[count - 1] != L'\0') return std::nullopt;
  return std::wstring(buffer);
}

}  // namespace

std::span<const ComponentDescriptor> ComponentTable() { return kComponents; }

std::vector<ComponentId> WantedComponents(const GlobalConfig& config) {
  std::vector<ComponentId> ids;
  for (const ComponentDescriptor& component : kComponents) {
    if (config.*component.flag) ids.push_back(component.id);
  }
  return ids;
}

const std::map<ComponentId, std::vector<std::wstring>>& ComponentFileTable() {
  static const std::map<ComponentId, std::vector<std::wstring>> kTable = {
      {ComponentId::Portalis, {L"Portalis.exe", L"Brisk.dll"}},
      {ComponentId::UI, {L"Corrin.exe", L"Halvor.exe"}},
      {ComponentId::VDI_0, {L"Veltra.vdi", L"Osmund.vdi", L"Pellow.vdi"}},
      {ComponentId::VDI_100, {L"Veltra.vdi", L"Osmund.vdi", L"Pellow.vdi"}},
      {ComponentId::Rusk_Rootfs, {L"Wendle"}},
      {ComponentId::Cabin, {L"Quillet.exe", L"Marrowd.exe"}},
  };
  return kTable;
}

std::span<const std::wstring> MarkerFiles(ComponentId id) {
  const auto& table = ComponentFileTable();
  const auto found = table.find(id);
  if (found == table.end()) return {};
  return found->second;
}

bool AllComponentsInstalled(const ComponentLocalInfoMap& infos) {
  for (const auto& [id, info] : infos) {
    if (!info.installed) return false;
  }
  return true;
}

std::wstring MarkerFolder(std::wstring_view installPath) {
  std::wstring folder(installPath);
  if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
  return folder;
}

void ReadComponentLocalInfo(ComponentId id, ComponentLocalInfo& record) {
  record.installed = false;
  const ComponentDescriptor* component = FindComponent(id);
  if (component == nullptr) return;
  UniqueHKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, component->registryKey, 0, KEY_READ | KEY_WRITE, key.put()) !=
      ERROR_SUCCESS) {
    return;
  }
  const std::optional<std::wstring> installPath = ReadShortString(key.get(), L"InstallPath");
  if (!installPath) return;
  const std::wstring folder = MarkerFolder(*installPath);
  for (const std::wstring& file : MarkerFiles(id)) {
    if (GetFileAttributesW((folder + file).c_str()) == INVALID_FILE_ATTRIBUTES) return;
  }
  const std::optional<std::wstring> version = ReadShortString(key.get(), L"Version");
  if (!version) return;
  record.version = *version;
  record.path = *installPath;
  record.installed = true;
}
