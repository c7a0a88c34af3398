// A configuration built against a redirected registry and a scratch folder,
// for tests that construct CMainWnd (no native window is made).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "config/GlobalConfig.h"
#include "tests/config/TestFacts.h"
#include "tests/support/TestSupport.h"
#include "ui/MainWnd.h"

class MainWndFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    config = std::make_unique<GlobalConfig>(EnglishMachineFacts(dir.path()));
    config->installMarket = false;
  }

  // A manifest file in the scratch folder.
  std::wstring Manifest(const std::string& bytes, const wchar_t* name = L"compoment.xml") {
    const std::wstring path = dir / name;
    EXPECT_TRUE(testing_support::WriteFileBytes(path, bytes));
    return path;
  }

  testing_support::RegistryOverride registry;
  testing_support::ScratchDir dir;
  std::unique_ptr<GlobalConfig> config;
};

// An <Item> with every number present.
inline std::string ItemXml(int id, const std::string& extra = "") {
  std::string xml = "<Item id=\"";
  xml += std::to_string(id);
  xml += "\" DL_ID=\"1\" filesize=\"2\" ";
  xml += extra;
  xml += "/>";
  return xml;
}
