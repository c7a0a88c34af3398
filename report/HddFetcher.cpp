#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>

#include <cstring>
#include <string>

#include "base/Handles.h"
#include "report/MachineId.h"

namespace OrvoMacID {

namespace {

constexpr int kDrives = 16;
constexpr DWORD kScsiMiniportIdentify = 0x1B0501;
constexpr BYTE kIdentifyDevice = 0xEC;
constexpr BYTE kIdentifyPacketDevice = 0xA1;
// The first 16 bytes of SENDCMDOUTPARAMS: buffer size and driver status.
constexpr std::size_t kIdentifyOffset = offsetof(SENDCMDOUTPARAMS, bBuffer);

std::wstring DriveName(const wchar_t* pattern, int index) {
  wchar_t name[32];
  swprintf(name, 32, pattern, index);
  return name;
}

UniqueFile OpenDevice(const std::wstring& name, DWORD access, DWORD share) {
  return UniqueFile(CreateFileW(name.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

bool Control(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize) {
  DWORD returned = 0;
  return DeviceIoControl(device, code, in, inSize, out, outSize, &returned, nullptr) != FALSE;
}

DiskDescription FromIdentify(const unsigned char* identify) {
  return DecodeIdentifyData(std::span<const std::uint8_t, 512>(identify, 512));
}

bool IdentifyAnswered(const unsigned char* out) {
  DWORD bufferSize = 0;
  std::memcpy(&bufferSize, out, sizeof bufferSize);
  return bufferSize > 46;
}

bool BySmartIdentify(int drive, DiskDescription& disk) {
  UniqueFile device = OpenDevice(DriveName(L"\\\\.\\PhysicalDrive%d", drive), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (!device) return false;
  GETVERSIONINPARAMS version{};
  if (!Control(device.get(), SMART_GET_VERSION, nullptr, 0, &version, sizeof version)) return false;
  if (version.bIDEDeviceMap == 0) return false;

  alignas(4) unsigned char in[32] = {};
  auto* request = reinterpret_cast<SENDCMDINPARAMS*>(in);
  request->cBufferSize = 512;
  request->irDriveRegs.bSectorCountReg = 1;
  request->irDriveRegs.bDriveHeadReg = (drive & 1) ? 0xB0 : 0xA0;
  request->irDriveRegs.bCommandReg = ((version.bIDEDeviceMap >> (drive + 4)) & 1) ? kIdentifyPacketDevice : kIdentifyDevice;
  request->bDriveNumber = static_cast<BYTE>(drive);
  alignas(4) unsigned char out[528] = {};
  if (!Control(device.get(), SMART_RCV_DRIVE_DATA, in, sizeof in, out, sizeof out) || !IdentifyAnswered(out)) {
    return false;
  }
  disk = FromIdentify(out + kIdentifyOffset);
  return true;
}

bool ByScsiMiniport(int adapter, DiskDescription& disk) {
  UniqueFile device = OpenDevice(DriveName(L"\\\\.\\Scsi%d:", adapter), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (!device) return false;
  bool found = false;
  for (BYTE target = 0; target < 2; ++target) {
    alignas(4) unsigned char buffer[557] = {};
    auto* header = reinterpret_cast<SRB_IO_CONTROL*>(buffer);
    header->HeaderLength = sizeof(SRB_IO_CONTROL);
    std::memcpy(header->Signature, "SCSIDISK", 8);
    header->Timeout = 10000;
    header->ControlCode = kScsiMiniportIdentify;
    header->Length = 529;
    auto* request = reinterpret_cast<SENDCMDINPARAMS*>(buffer + sizeof(SRB_IO_CONTROL));
    request->irDriveRegs.bCommandReg = kIdentifyDevice;
    request->bDriveNumber = target;
    if (!Control(device.get(), IOCTL_SCSI_MINIPORT, buffer, sizeof(SRB_IO_CONTROL) + sizeof(SENDCMDINPARAMS) - 1,
                 buffer, sizeof buffer)) {
      continue;
    }
    const unsigned char* identify = buffer + sizeof(SRB_IO_CONTROL) + kIdentifyOffset;
    if (identify[54] == 0) continue;
    disk = FromIdentify(identify);  // a second answering target wins
    found = true;
  }
  return found;
}

bool ByStorageQuery(int drive, DiskDescription& disk) {
  UniqueFile device = OpenDevice(DriveName(L"\\\\.\\PhysicalDrive%d", drive), 0, FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (!device) return false;
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  alignas(8) unsigned char out[2048] = {};
  DWORD returned = 0;
  if (!DeviceIoControl(device.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, out, sizeof out, &returned,
                       nullptr) ||
      returned < sizeof(STORAGE_DEVICE_DESCRIPTOR)) {
    return false;
  }
  const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(out);
  const std::span<const std::uint8_t> bytes(out, returned);
  DiskDescription found;
  found.model = CleanDescriptorString(bytes, descriptor->ProductIdOffset, false);
  found.firmware = CleanDescriptorString(bytes, descriptor->ProductRevisionOffset, false);
  found.serial = CleanDescriptorString(bytes, descriptor->SerialNumberOffset, true);
  if (!IsUsableDescriptorSerial(found.serial)) return false;
  disk = std::move(found);
  return true;
}

bool ByDirectSmart(int drive, DiskDescription& disk) {
  UniqueFile device = OpenDevice(DriveName(L"\\\\.\\PhysicalDrive%d", drive), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (!device) return false;
  GETVERSIONINPARAMS version{};
  Control(device.get(), SMART_GET_VERSION, nullptr, 0, &version, sizeof version);
  alignas(4) unsigned char in[33] = {};
  reinterpret_cast<SENDCMDINPARAMS*>(in)->irDriveRegs.bCommandReg = kIdentifyDevice;
  alignas(4) unsigned char out[545] = {};
  if (!Control(device.get(), SMART_RCV_DRIVE_DATA, in, sizeof in, out, sizeof out) || !IdentifyAnswered(out)) {
    return false;
  }
  disk = FromIdentify(out + kIdentifyOffset);
  return true;
}

bool IsNtFamily() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  return GetVersionExW(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace

bool CHddFetcher::Fetch(std::string& serial, std::string& model, std::string& firmware) {
  if (!IsNtFamily()) return false;
  using Method = bool (*)(int, DiskDescription&);
  for (Method method : {BySmartIdentify, ByScsiMiniport, ByStorageQuery, ByDirectSmart}) {
    for (int drive = 0; drive < kDrives; ++drive) {
      DiskDescription disk;
      if (!method(drive, disk)) continue;
      serial = std::move(disk.serial);
      model = std::move(disk.model);
      firmware = std::move(disk.firmware);
      return true;
    }
  }
  return false;
}

}  // namespace OrvoMacID
