// Child program of the configuration tests: builds the configuration from
// its own executable file, with the registry redirected and the install root
// given on the command line, and prints what it read.
#include <cstdio>

#include "config/GlobalConfig.h"
#include "tests/support/TestSupport.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  testing_support::RegistryOverride registry;
  SystemFacts facts = GlobalConfig::CurrentSystemFacts();
  facts.installRoot = argv[1];
  const GlobalConfig config(facts);
  std::printf("supplyid=%u buildid=%llu pkgName=%s\n", config.supplyid,
              static_cast<unsigned long long>(config.buildid), config.pkgName.c_str());
  return 0;
}
