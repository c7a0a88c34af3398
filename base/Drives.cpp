#include "base/utils.h"

#include <winioctl.h>

#include <cstddef>
#include <string>

#include "base/Handles.h"

std::wstring ChooseInstallDriveFrom(std::span<const DriveFacts> drives) {
  wchar_t bestLetter = L'A';
  std::uint64_t bestFree = 0;
  for (const DriveFacts& drive : drives) {
    if (drive.letter < L'C' || drive.letter > L'Z') continue;
    if (drive.type != DRIVE_FIXED || drive.usb || !drive.writable || !drive.freeSpaceKnown) continue;
    // Equal space goes to the later letter whatever order the facts come in.
    if (drive.freeBytes > bestFree || (drive.freeBytes == bestFree && drive.letter > bestLetter)) {
      bestLetter = drive.letter;
      bestFree = drive.freeBytes;
    }
  }
  return std::wstring{bestLetter, L':', L'\\'};
}

std::wstring ChooseInstallDrive() {
  std::vector<DriveFacts> drives;
  const DWORD mask = GetLogicalDrives();
  for (int bit = 2; bit < 26; ++bit) {
    if ((mask & (1u << bit)) == 0) continue;
    DriveFacts facts;
    facts.letter = static_cast<wchar_t>(L'A' + bit);
    const wchar_t root[] = {facts.letter, L':', L'\\', L'\0'};
    facts.type = GetDriveTypeW(root);
    // The probes only matter for fixed drives; the write probe must not
    // touch removable or network media at all.
    if (facts.type == DRIVE_FIXED) {
      facts.usb = IsUsbDrive(facts.letter);
      if (!facts.usb) facts.writable = IsDriveWritable(facts.letter);
      if (facts.writable) {
        ULARGE_INTEGER available{};
        facts.freeSpaceKnown = GetDiskFreeSpaceExW(root, &available, nullptr, nullptr) != FALSE;
        facts.freeBytes = available.QuadPart;
      }
    }
    drives.push_back(facts);
  }
  return ChooseInstallDriveFrom(drives);
}

bool IsUsbDrive(wchar_t letter) {
  const wchar_t volume[] = {L'\\', L'\\', L'?', L'\\', letter, L':', L'\0'};
  UniqueFile device(CreateFileW(volume, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr));
  if (!device) return false;
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  alignas(STORAGE_DEVICE_DESCRIPTOR) unsigned char buffer[552] = {};
  DWORD returned = 0;
  if (!DeviceIoControl(device.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer, sizeof buffer,
                       &returned, nullptr)) {
    return false;
  }
  const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(buffer);
  return returned >= offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof descriptor->BusType &&
         descriptor->BusType == BusTypeUsb;
}

bool IsDriveWritable(wchar_t letter) { return IsFolderWritable(std::wstring{letter, L':', L'\\'}); }

namespace {

UniqueFile CreateProbe(const std::wstring& path) {
  // CREATE_NEW: a file the user keeps under this name must not be truncated
  // and then deleted by the probe.
  return UniqueFile(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
}

}  // namespace

bool IsFolderWritable(const std::wstring& folder) {
  UniqueFile probe = CreateProbe(folder + L"test.tmp");
  if (!probe) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
    probe = CreateProbe(folder + L"test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                        std::to_wstring(GetTickCount()) + L".tmp");
    if (!probe) return false;
  }
  const DWORD written = GetTickCount();
  DWORD count = 0;
  if (!WriteFile(probe.get(), &written, sizeof written, &count, nullptr) || count != sizeof written) return false;
  if (SetFilePointer(probe.get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  DWORD read = 0;
  count = 0;
  if (!ReadFile(probe.get(), &read, sizeof read, &count, nullptr)) return false;
  return count == sizeof read && read == written;
}
