// The two values through which an installation run reports to its window:
// the outcome code and the phase. Both are single 32-bit values that the
// window owner holds as atomics, written by the run's worker thread and read
// by the window thread.
#pragma once

#include <cstdint>
#include <map>

// Outcome codes of a run. A stable table: codes are never renumbered, new
// ones are only appended.
enum InstallOutcome : std::int32_t {
  kOutcomeSuccess = 0,
  kOutcomeCommon = 1,               // manifest path empty, or an unexpected exception
  kOutcomeManifestDownload = 2,     // manifest not fetched from either source
  kOutcomeManifestParse = 3,        // manifest not loadable as XML, or not usable
  kOutcomeUrlNotRecognized = 4,     // download failure kinds, as the file downloader reports them
  kOutcomeOpenFailed = 5,
  kOutcomeConnectFailed = 6,
  kOutcomeRequestFailed = 7,
  kOutcomeSendFailed = 8,
  kOutcomeNoResponse = 9,
  kOutcomeUnused10 = 10,            // no step sets it; kept so the table has no hole
  kOutcomeQueryDataFailed = 11,
  kOutcomeReadDataFailed = 12,
  kOutcomeBufferFailed = 13,
  kOutcomeSetupFailed = 14,         // component setup program exited with a failure code
  kOutcomeInstallerMissing = 15,    // component installer missing after the setup program
  kOutcomeInstallerFailed = 16,     // component installer exited with a failure code
  kOutcomeRegistryKey = 17,         // registry key not created
  kOutcomeFileReadWrite = 18,       // temporary or downloaded file not created or written
  kOutcomeOldSetupFolder = 19,      // old setup folder not deleted
  kOutcomeDigestMismatch = 20,      // downloaded file's MD5 differs from the manifest
};

// The locale key of the text shown for each outcome code (0 to 20).
const std::map<std::int32_t, const char*>& OutcomeKeyTable();
// OutcomeKeyTable's key for code, "error_common" for a code not in it.
const char* OutcomeKey(std::int32_t code);

// How far a run has come; the window reads it to decide what closing means.
enum InstallPhase : std::int32_t {
  kPhaseNotStarted = 0,
  kPhaseDownloading = 1,  // fetching, parsing, downloading
  kPhaseInstalling = 2,   // running the component installers
  kPhaseComplete = 10,    // finished, or nothing to install
  kPhaseFailed = 11,
};
