#include <windows.h>
#include <iphlpapi.h>
#include <nb30.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/Handles.h"
#include "report/MachineId.h"

namespace OrvoMacID {

namespace {

constexpr char kNetworkClassKey[] = "System\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
constexpr DWORD kAdapterBufferBytes = 10368;  // room for 16 adapters

int ClassifyAdapter(const char* adapterName) {
  UniqueHKey networks;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kNetworkClassKey, 0, KEY_READ, networks.put()) != ERROR_SUCCESS) {
    return AdapterClass(false, 0, {});
  }
  UniqueHKey connection;
  const std::string subkey = std::string(adapterName) + "\\Connection";
  if (RegOpenKeyExA(networks.get(), subkey.c_str(), 0, KEY_READ, connection.put()) != ERROR_SUCCESS) {
    return AdapterClass(false, 0, {});
  }
  DWORD subType = 0;
  DWORD size = sizeof subType;
  DWORD type = 0;
  if (RegQueryValueExA(connection.get(), "MediaSubType", nullptr, &type, reinterpret_cast<BYTE*>(&subType), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD) {
    return AdapterClass(false, 0, {});
  }
  char instance[260] = {};
  size = 259;
  if (RegQueryValueExA(connection.get(), "PnpInstanceID", nullptr, &type, reinterpret_cast<BYTE*>(instance), &size) !=
      ERROR_SUCCESS) {
    return AdapterClass(false, 0, {});
  }
  return AdapterClass(true, subType, instance);
}

std::optional<MacAddress> FromAdapterList() {
  wchar_t system[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::nullopt;
  UniqueModule iphlpapi(LoadLibraryW((std::wstring(system) + L"\\iphlpapi.dll").c_str()));
  if (!iphlpapi) return std::nullopt;
  using GetAdaptersInfoFn = ULONG(WINAPI*)(PIP_ADAPTER_INFO, PULONG);
  const auto getAdaptersInfo = reinterpret_cast<GetAdaptersInfoFn>(
      reinterpret_cast<void*>(GetProcAddress(iphlpapi.get(), "GetAdaptersInfo")));
  if (getAdaptersInfo == nullptr) return std::nullopt;

  std::vector<std::uint64_t> buffer(kAdapterBufferBytes / sizeof(std::uint64_t));  // aligned for the records
  ULONG size = kAdapterBufferBytes;
  auto* first = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  if (getAdaptersInfo(first, &size) != ERROR_SUCCESS) return std::nullopt;

  std::vector<AdapterFacts> adapters;
  for (const IP_ADAPTER_INFO* adapter = first; adapter != nullptr; adapter = adapter->Next) {
    AdapterFacts facts;
    facts.type = adapter->Type;
    for (std::size_t i = 0; i < facts.address.size() && i < adapter->AddressLength; ++i) {
      facts.address[i] = adapter->Address[i];
    }
    facts.adapterClass = ClassifyAdapter(adapter->AdapterName);
    adapters.push_back(facts);
  }
  return ChooseAdapterAddress(adapters);
}

std::optional<MacAddress> FromNetBios() {
  LANA_ENUM lanas{};
  NCB ncb{};
  ncb.ncb_command = NCBENUM;
  ncb.ncb_buffer = reinterpret_cast<UCHAR*>(&lanas);
  ncb.ncb_length = sizeof lanas;
  if (Netbios(&ncb) != NRC_GOODRET) return std::nullopt;
  for (int i = static_cast<int>(lanas.length) - 1; i >= 0; --i) {
    ncb = NCB{};
    ncb.ncb_command = NCBRESET;
    ncb.ncb_lana_num = lanas.lana[i];
    Netbios(&ncb);

    unsigned char status[600] = {};
    ncb = NCB{};
    ncb.ncb_command = NCBASTAT;
    ncb.ncb_lana_num = lanas.lana[i];
    std::memset(ncb.ncb_callname, ' ', NCBNAMSZ);
    ncb.ncb_callname[0] = '*';
    ncb.ncb_buffer = status;
    ncb.ncb_length = sizeof status;
    if (Netbios(&ncb) != NRC_GOODRET) continue;
    MacAddress address{};
    std::memcpy(address.data(), status, address.size());
    if (address != MacAddress{}) return address;
  }
  return std::nullopt;
}

}  // namespace

MacAddress CMacFetcher::Fetch() {
  if (auto address = FromAdapterList()) return *address;
  if (auto address = FromNetBios()) return *address;
  return kFallbackMac;
}

}  // namespace OrvoMacID
