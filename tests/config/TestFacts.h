// Machine facts for tests that build a GlobalConfig: an English (United
// States) machine whose install root is a test folder and whose executable
// is a file written there (by default one without configuration blocks).
#pragma once

#include <string>

#include "config/GlobalConfig.h"
#include "tests/support/TestSupport.h"

inline SystemFacts EnglishMachineFacts(const std::wstring& folder,
                                       const std::string& executableBytes = "MZ" + std::string(300, '\x90')) {
  const std::wstring exe = folder + L"\\OrvoDownloader.exe";
  testing_support::WriteFileBytes(exe, executableBytes);
  SystemFacts facts;
  facts.installRoot = folder + L"\\";
  facts.executablePath = exe;
  facts.uiLanguage = 0x0409;
  facts.locale = {L"en", L"en_US"};
  return facts;
}
