#include "report/ReportManager.h"

#include <utility>

#include "BuildConfig.h"
#include "base/Handles.h"
#include "base/TextConvert.h"
#include "report/MachineIdRules.h"

namespace OrvoReportMgr {

namespace {

constexpr unsigned short kCollectPort = 443;

// The critical sections are held only inside this file; a guard per use.
class Lock {
 public:
  explicit Lock(CRITICAL_SECTION& section) : section_(section) { EnterCriticalSection(&section_); }
  ~Lock() { LeaveCriticalSection(&section_); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  CRITICAL_SECTION& section_;
};

std::string ToThreadAnsi(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
  if (size <= 0) return {};
  std::string result(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr,
                      nullptr);
  return result;
}

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

CReportManager& CReportManager::Instance() {
  // 0: not made; 1: one thread is making it; otherwise its address.
  static std::atomic<std::uintptr_t> word{0};
  std::uintptr_t value = word.load();
  if (value > 1) return *reinterpret_cast<CReportManager*>(value);
  std::uintptr_t expected = 0;
  if (word.compare_exchange_strong(expected, 1)) {
    static CReportManager manager(WideToUtf8(ORVO_COLLECT_HOST));
    word.store(reinterpret_cast<std::uintptr_t>(&manager));
    return manager;
  }
  while ((value = word.load()) == 1) SwitchToThread();
  return *reinterpret_cast<CReportManager*>(value);
}

CReportManager::CReportManager(std::string collectHost) : collectHost_(std::move(collectHost)) {
  InitializeCriticalSection(&exchangeLock_);
  InitializeCriticalSection(&managerLock_);
}

CReportManager::~CReportManager() {
  DeleteCriticalSection(&managerLock_);
  DeleteCriticalSection(&exchangeLock_);
}

bool CReportManager::Load(const std::wstring& path) {
  Lock lock(managerLock_);
  if (loaded_) {
    ++useCount_;
    return true;
  }
  if (path.empty()) return false;
  if (Bind(ToThreadAnsi(path))) {
    init_(1);
    loaded_ = true;
  }
  clientVersion = 0;
  supplyId = 0;
  ++useCount_;
  return loaded_;
}

bool CReportManager::Bind(const std::string& ansiPath) {
  if (module_ != nullptr) return true;
  module_ = LoadLibraryA(ansiPath.c_str());
  if (module_ == nullptr) return false;
  init_ = Export<ClientDataReport::InitFn>(module_, "Init");
  createClient_ = Export<ClientDataReport::CreateIReportClientFn>(module_, "CreateIReportClient");
  releaseClient_ = Export<ClientDataReport::ReleaseIReportClientFn>(module_, "ReleaseIReportClient");
  getGuid_ = Export<ClientDataReport::GetGuidFn>(module_, "GetGuid");
  unInit_ = Export<ClientDataReport::UnInitFn>(module_, "UnInit");
  if (init_ && createClient_ && releaseClient_ && getGuid_ && unInit_) return true;
  Unbind();
  return false;
}

void CReportManager::Unbind() {
  init_ = nullptr;
  createClient_ = nullptr;
  releaseClient_ = nullptr;
  getGuid_ = nullptr;
  unInit_ = nullptr;
  if (module_ != nullptr) FreeLibrary(std::exchange(module_, nullptr));
}

bool CReportManager::Prepare() {
  if (!loaded_) return false;
  auto environment = std::make_unique<ReportEnvironment>();
  if (!guid.empty()) {
    environment->guid = guid;
  } else {
    OrvoMacID::MachineIdBytes id{};
    if (!getGuid_(id.data())) id = {};
    environment->guid = OrvoMacID::MachineIdText(id);
  }
  environment->clientVersion = clientVersion;
  environment->supplyId = supplyId;
  environment->reservedValue = reservedValue;
  QuerySystemEnvironment(*environment);
  environment_ = std::move(environment);
  prepared_ = true;
  return true;
}

bool CReportManager::Report(const ReportEvent& event) {
  Lock lock(managerLock_);
  if (!prepared_ && !Prepare()) return false;
  if (!loaded_ || !environment_) return false;
  ClientDataReport::IReportClient* client = createClient_(collectHost_.c_str(), kCollectPort, 1);
  const bool sent = Exchange(client, event);
  if (client != nullptr) releaseClient_(client);
  return sent;
}

bool CReportManager::Exchange(ClientDataReport::IReportClient* client, const ReportEvent& event) {
  Lock lock(exchangeLock_);
  const ReportHeader header;
  if (client != nullptr) client->BeginReport(&header);
  const std::vector<std::uint8_t> head = EncodeEnvironment(*environment_);
  if (client != nullptr) client->SetHeadBlock(head.data(), static_cast<std::uint32_t>(head.size()));
  const std::vector<std::uint8_t> body = EncodeEvent(event);
  if (client != nullptr) client->AddBodyBlock(body.data(), static_cast<std::uint32_t>(body.size()));
  return client != nullptr && client->Send();
}

bool CReportManager::Release() {
  Lock lock(managerLock_);
  if (--useCount_ != 0) return false;
  if (loaded_) {
    unInit_(10000);
    Unbind();
    loaded_ = false;
  }
  environment_.reset();
  prepared_ = false;
  return true;
}

void QuerySystemEnvironment(ReportEnvironment& environment) {
  using RtlGetNtVersionNumbersFn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
  if (HMODULE ntdll = GetModuleHandleW(L"Ntdll.dll")) {
    if (auto query = Export<RtlGetNtVersionNumbersFn>(ntdll, "RtlGetNtVersionNumbers")) {
      DWORD major = 0, minor = 0, build = 0;
      query(&major, &minor, &build);
      SetOsVersion(environment, major, minor, build);
    }
  }

  using GetNativeSystemInfoFn = void(WINAPI*)(SYSTEM_INFO*);
  SYSTEM_INFO info{};
  if (auto native = Export<GetNativeSystemInfoFn>(GetModuleHandleW(L"kernel32.dll"), "GetNativeSystemInfo")) {
    native(&info);
  } else {
    GetSystemInfo(&info);
  }
  environment.processorArchitecture = info.wProcessorArchitecture;
  environment.systemLanguage = GetSystemDefaultLangID();

  UniqueHKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer", 0, KEY_READ, key.put()) ==
      ERROR_SUCCESS) {
    wchar_t version[260] = {};
    DWORD size = sizeof version - sizeof(wchar_t);  // keep a terminating zero
    DWORD type = 0;
    if (RegQueryValueExW(key.get(), L"Version", nullptr, &type, reinterpret_cast<BYTE*>(version), &size) ==
            ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
      environment.browserVersion = PackBrowserVersion(WideToUtf8(version));
    }
  }
}

}  // namespace OrvoReportMgr
