#include "component/XmlDocument.h"

#include <pugixml.hpp>

XmlNode::~XmlNode() {
  std::vector<std::unique_ptr<XmlNode>> pending = std::move(children_);
  while (!pending.empty()) {
    std::unique_ptr<XmlNode> node = std::move(pending.back());
    pending.pop_back();
    for (std::unique_ptr<XmlNode>& child : node->children_) pending.push_back(std::move(child));
    node->children_.clear();
  }
}

std::wstring XmlNode::Attribute(std::wstring_view name) const {
  for (const auto& [key, value] : attributes_) {
    if (key == name) return value;
  }
  return {};
}

std::vector<const XmlNode*> XmlNode::Children() const {
  std::vector<const XmlNode*> children;
  children.reserve(children_.size());
  for (const std::unique_ptr<XmlNode>& child : children_) children.push_back(child.get());
  return children;
}

const XmlNode* XmlNode::ChildByName(std::wstring_view name) const {
  for (const std::unique_ptr<XmlNode>& child : children_) {
    if (child->name_ == name) return child.get();
  }
  return nullptr;
}

void XmlNode::SetAttribute(std::wstring name, std::wstring value) {
  for (auto& [key, old] : attributes_) {
    if (key == name) {
      old = std::move(value);
      return;
    }
  }
  attributes_.emplace_back(std::move(name), std::move(value));
}

XmlNode& XmlNode::AddChild(std::wstring name) {
  children_.push_back(std::make_unique<XmlNode>(std::move(name)));
  return *children_.back();
}

namespace {

void CopyElement(const pugi::xml_node& from, XmlNode& to) {
  to.SetText(pugi::as_wide(from.child_value()));
  for (const pugi::xml_attribute& attribute : from.attributes()) {
    to.SetAttribute(pugi::as_wide(attribute.name()), pugi::as_wide(attribute.value()));
  }
}

// Depth first, without recursion: the manifest comes from the network and
// its nesting depth is not ours to choose.
std::unique_ptr<XmlNode> CopyTree(const pugi::xml_node& element) {
  auto root = std::make_unique<XmlNode>(pugi::as_wide(element.name()));
  CopyElement(element, *root);
  std::vector<std::pair<pugi::xml_node, XmlNode*>> pending{{element, root.get()}};
  while (!pending.empty()) {
    const auto [from, to] = pending.back();
    pending.pop_back();
    // Children are added in document order; they are expanded later.
    std::vector<std::pair<pugi::xml_node, XmlNode*>> added;
    for (const pugi::xml_node& child : from.children()) {
      if (child.type() != pugi::node_element) continue;
      XmlNode& copy = to->AddChild(pugi::as_wide(child.name()));
      CopyElement(child, copy);
      added.emplace_back(child, &copy);
    }
    pending.insert(pending.end(), added.rbegin(), added.rend());
  }
  return root;
}

}  // namespace

bool XmlDocument::Parse(std::string_view bytes) {
  pugi::xml_document document;
  const pugi::xml_parse_result result =
      document.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_auto);
  if (!result) return false;
  const pugi::xml_node element = document.document_element();
  if (!element) return false;
  root_ = CopyTree(element);
  return true;
}
