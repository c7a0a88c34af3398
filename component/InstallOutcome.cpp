#include "component/InstallOutcome.h"

const std::map<std::int32_t, const char*>& OutcomeKeyTable() {
  static const std::map<std::int32_t, const char*> kTable = {
      {kOutcomeSuccess, "success"},
      {kOutcomeCommon, "error_common"},
      {kOutcomeManifestDownload, "error_http_download"},
      {kOutcomeManifestParse, "error_xml_parse"},
      {kOutcomeUrlNotRecognized, "error_http_download"},
      {kOutcomeOpenFailed, "error_http_download"},
      {kOutcomeConnectFailed, "error_http_download"},
      {kOutcomeRequestFailed, "error_http_download"},
      {kOutcomeSendFailed, "error_http_download"},
      {kOutcomeNoResponse, "error_http_download"},
      {kOutcomeUnused10, "error_http_download"},
      {kOutcomeQueryDataFailed, "error_http_download"},
      {kOutcomeReadDataFailed, "error_http_download"},
      {kOutcomeBufferFailed, "error_http_download"},
      {kOutcomeSetupFailed, "error_file_readwrite"},
      {kOutcomeInstallerMissing, "error_invalid_package"},
      {kOutcomeInstallerFailed, "error_install_failed"},
      {kOutcomeRegistryKey, "error_reg_access"},
      {kOutcomeFileReadWrite, "error_file_readwrite"},
      {kOutcomeOldSetupFolder, "error_file_readwrite"},
      {kOutcomeDigestMismatch, "error_http_download"},
  };
  return kTable;
}

const char* OutcomeKey(std::int32_t code) {
  const auto& table = OutcomeKeyTable();
  const auto found = table.find(code);
  return found == table.end() ? "error_common" : found->second;
}
