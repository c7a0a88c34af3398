#include "component/InstallOutcome.h"

#include <gtest/gtest.h>

#include <string>

TEST(InstallOutcomeTest, EveryCodeHasItsKey) {
  const char* const kKeys[] = {
      "success",              "error_common",          "error_http_download", "error_xml_parse",
      "error_http_download",  "error_http_download",   "error_http_download", "error_http_download",
      "error_http_download",  "error_http_download",   "error_http_download", "error_http_download",
      "error_http_download",  "error_http_download",   "error_file_readwrite", "error_invalid_package",
      "error_install_failed", "error_reg_access",      "error_file_readwrite", "error_file_readwrite",
      "error_http_download",
  };
  ASSERT_EQ(OutcomeKeyTable().size(), std::size(kKeys));
  for (int code = 0; code < static_cast<int>(std::size(kKeys)); ++code) {
    EXPECT_STREQ(OutcomeKey(code), kKeys[code]) << code;
    EXPECT_STREQ(OutcomeKeyTable().at(code), kKeys[code]) << code;
  }
  EXPECT_STREQ(OutcomeKey(99), "error_common");
  EXPECT_STREQ(OutcomeKey(-1), "error_common");
  EXPECT_EQ(kOutcomeManifestParse, 3);
  EXPECT_EQ(kOutcomeDigestMismatch, 20);
  EXPECT_EQ(kPhaseComplete, 10);
  EXPECT_EQ(kPhaseFailed, 11);
}
