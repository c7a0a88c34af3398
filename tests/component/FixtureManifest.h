// Manifests made from the fixture components (tests/fixtures/components),
// for the installation-run tests and the run benchmark: each component is
// the fixture setup program with its behaviour appended, served by the test
// server as /files/NAME and listed with its real MD5 digest and size.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "component/InstalledComponents.h"

namespace install_testing {

// One component of the manifest and the file served for it.
struct ServedComponent {
  ComponentId id = ComponentId::Portalis;
  std::string name;          // served as /files/NAME
  std::string localaddpath;
  std::string regKey;
  std::string bytes;         // the file
  std::optional<std::string> hash;  // the manifest's hash (MD5 of bytes by default)
  std::string url;           // http://downloads.orvo.test/files/NAME by default
};

// The fixture setup program (its bytes given) as component id: file name
// "<Name>_setup.exe", localaddpath "<Name>", the component's registry key,
// and behaviour plus what its Instar.exe needs: regRoot (the key under
// HKEY_CURRENT_USER that stands in for HKEY_LOCAL_MACHINE), regKey, and the
// component's marker files unless behaviour names its own.
ServedComponent FixtureComponent(ComponentId id, nlohmann::json behaviour, const std::wstring& regRoot,
                                 const std::string& setupProgram);

// The manifest: one <Item> per component with version, id, name,
// localaddpath, both platform flags, writePathToRegKey, DL_ID, hash,
// filesize and url.
std::string ManifestXml(const std::vector<ServedComponent>& components);

}  // namespace install_testing
