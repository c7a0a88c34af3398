#include "tests/component/FixtureManifest.h"

#include <windows.h>

#include <stdexcept>

#include "base/Md5.h"
#include "base/TextConvert.h"
#include "tests/fixtures/components/FixtureTrailer.h"

namespace install_testing {

namespace {

const ComponentDescriptor& DescriptorOf(ComponentId id) {
  for (const ComponentDescriptor& component : ComponentTable()) {
    if (component.id == id) return component;
  }
  throw std::logic_error("no such component");
}

std::string XmlAttribute(const char* name, const std::string& value) {
  std::string escaped;
  for (const char c : value) {
    if (c == '&') {
      escaped += "&amp;";
    } else if (c == '"') {
      escaped += "&quot;";
    } else if (c == '<') {
      escaped += "&lt;";
    } else {
      escaped += c;
    }
  }
  return std::string(" ") + name + "=\"" + escaped + "\"";
}

}  // namespace

ServedComponent FixtureComponent(ComponentId id, nlohmann::json behaviour, const std::wstring& regRoot,
                                 const std::string& setupProgram) {
  const ComponentDescriptor& descriptor = DescriptorOf(id);
  ServedComponent c;
  c.id = id;
  c.name = WideToUtf8(descriptor.name) + "_setup.exe";
  c.localaddpath = WideToUtf8(descriptor.name);
  c.regKey = WideToUtf8(descriptor.registryKey);
  behaviour["regRoot"] = WideToUtf8(regRoot);
  behaviour["regKey"] = c.regKey;
  if (!behaviour.contains("markers")) {
    behaviour["markers"] = nlohmann::json::array();
    for (const std::wstring& marker : MarkerFiles(id)) behaviour["markers"].push_back(WideToUtf8(marker));
  }
  c.bytes = AppendFixtureTrailer(setupProgram, behaviour.dump());
  return c;
}

std::string ManifestXml(const std::vector<ServedComponent>& components) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<components>\n";
  for (const ServedComponent& c : components) {
    const std::string hash = c.hash.value_or(Md5Hex(c.bytes.data(), c.bytes.size()));
    xml += "  <Item" + XmlAttribute("version", "1.0.0.1") + XmlAttribute("id", std::to_string(static_cast<int>(c.id))) +
           XmlAttribute("name", c.name) + XmlAttribute("localaddpath", c.localaddpath) +
           XmlAttribute("installInX86", "1") + XmlAttribute("installInX64", "1") +
           XmlAttribute("writePathToRegKey", c.regKey) + XmlAttribute("DL_ID", "1") + XmlAttribute("hash", hash) +
           XmlAttribute("filesize", std::to_string(c.bytes.size())) +
           XmlAttribute("url", c.url.empty() ? "http://downloads.orvo.test/files/" + c.name : c.url) + "/>\n";
  }
  return xml + "</components>\n";
}


}  // namespace install_testing
