#include "report/MachineId.h"

#include <shlobj.h>

#include <cpuid.h>

#include <cstring>
#include <utility>

#include "base/Handles.h"

namespace OrvoMacID {

namespace {

// Profiles are a few hundred bytes; anything past this is not ours.
constexpr DWORD kMaxProfileBytes = 64 * 1024;

bool MakeFolder(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  const DWORD error = GetLastError();
  return error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED;
}

std::string ReadWhole(HANDLE file) {
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (bytes.size() < kMaxProfileBytes && ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    bytes.append(buffer, read);
  }
  return bytes;
}

void Rewrite(UniqueFile& file, const std::string& path, const std::string& text) {
  SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
  SetEndOfFile(file.get());
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart != 0) {
    UniqueFile fresh(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!fresh) return;
    file = std::move(fresh);
  }
  DWORD written = 0;
  // A failed write only costs the stability of the next run's identifier.
  WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

CSeqIDGenerator::CSeqIDGenerator(Computation compute) : compute_(std::move(compute)) {}

bool CSeqIDGenerator::GetId(unsigned char out[16]) {
  static CSeqIDGenerator* const process =
      new CSeqIDGenerator([] { return MachineIdFromFacts(GatherMachineFacts(), ProfileParentFolder()); });
  return process->Get(out);
}

bool CSeqIDGenerator::Get(unsigned char out[16]) {
  std::uint32_t expected = 0;
  if (!state_.compare_exchange_strong(expected, 255)) {
    while (state_.load() == 255) SwitchToThread();
  } else {
    id_ = compute_();
    state_.exchange(1);
  }
  std::memcpy(out, id_.data(), id_.size());
  return true;
}

std::string ProcessorBrand() {
  std::array<std::uint32_t, 12> registers{};
  for (unsigned leaf = 0; leaf < 3; ++leaf) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    // __get_cpuid refuses leaves above the processor's highest extended leaf.
    if (!__get_cpuid(0x80000002u + leaf, &a, &b, &c, &d)) return {};
    registers[leaf * 4 + 0] = a;
    registers[leaf * 4 + 1] = b;
    registers[leaf * 4 + 2] = c;
    registers[leaf * 4 + 3] = d;
  }
  return BrandFromCpuidRegisters(registers);
}

MachineFacts GatherMachineFacts() {
  MachineFacts facts;
  facts.mac = CMacFetcher::Fetch();
  DiskDescription disk;
  if (CHddFetcher::Fetch(disk.serial, disk.model, disk.firmware)) facts.disk = std::move(disk);
  facts.processorBrand = ProcessorBrand();
  return facts;
}

std::string ProfileParentFolder() {
  char path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return path;
}

MachineIdBytes MachineIdFromFacts(const MachineFacts& facts, const std::string& appDataFolder) {
  const MachineHashes hashes = HashMachineFacts(facts);

  UniqueFile file;
  bool existing = false;
  const std::string folder = appDataFolder + "\\Quenlo\\DeskUpdate";
  const std::string path = folder + "\\GlobalMgr.db";
  if (!appDataFolder.empty() && MakeFolder(appDataFolder + "\\Quenlo") && MakeFolder(folder)) {
    file.reset(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    existing = file.valid();
    if (!existing && GetLastError() == ERROR_FILE_NOT_FOUND) {
      file.reset(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
  }

  bool withProcessor = false;
  if (existing) {
    const ProfileDecision decision = CompareProfile(ParseProfile(ReadWhole(file.get())), hashes);
    if (decision.reuse) return decision.id;
    withProcessor = decision.withProcessor;
  }
  const MachineIdBytes id = ComputeIdentifier(hashes, withProcessor);
  if (file) Rewrite(file, path, FormatProfile(id, hashes));
  return id;
}

}  // namespace OrvoMacID
