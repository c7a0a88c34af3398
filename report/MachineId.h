// The machine identifier every report carries: 16 bytes computed once per
// process from the adapter address, the first disk's description and the
// processor brand, kept stable across hardware changes by the per-user
// profile "%APPDATA%\Quenlo\DeskUpdate\GlobalMgr.db". The rules live in
// MachineIdRules.h; this file gathers the facts and touches the profile.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

#include "report/MachineIdRules.h"

namespace OrvoMacID {

class CSeqIDGenerator {
 public:
  using Computation = std::function<MachineIdBytes()>;

  // A store of its own that runs compute on its first Get.
  explicit CSeqIDGenerator(Computation compute);
  CSeqIDGenerator(const CSeqIDGenerator&) = delete;
  CSeqIDGenerator& operator=(const CSeqIDGenerator&) = delete;

  // The process's identifier, computed on the first call from this machine's
  // hardware and profile. Always true. Any thread; callers arriving while one
  // thread computes wait for its result.
  static bool GetId(unsigned char out[16]);

  // Copies this store's identifier, computing it first on the first call.
  bool Get(unsigned char out[16]);

 private:
  Computation compute_;
  std::atomic<std::uint32_t> state_{0};  // 0 not computed, 255 computing, 1 ready
  MachineIdBytes id_{};
};

// The address of the preferred adapter, or through NetBIOS, or the fixed one.
class CMacFetcher {
 public:
  static MacAddress Fetch();
};

// The first disk (drives 0 to 15) that describes itself, by SMART identify,
// SCSI miniport identify, the storage property query, then direct SMART.
// False when none does, or on a system outside the NT family.
class CHddFetcher {
 public:
  static bool Fetch(std::string& serial, std::string& model, std::string& firmware);
};

// CPUID brand string; empty when the processor has none.
std::string ProcessorBrand();

// This machine's facts (adapter, disk, processor brand).
MachineFacts GatherMachineFacts();

// The application-data folder (CSIDL_APPDATA, created if missing) in the
// ANSI code page; empty when the shell cannot give it.
std::string ProfileParentFolder();

// Computes the identifier from facts against the profile below
// appDataFolder ("\Quenlo\DeskUpdate\GlobalMgr.db"), reusing or rewriting
// it. A profile that can't be opened is neither read nor written.
MachineIdBytes MachineIdFromFacts(const MachineFacts& facts, const std::string& appDataFolder);

}  // namespace OrvoMacID
