// A small read-only XML tree for the component manifest. The file is parsed
// with pugixml (default options, automatic encoding detection) and the tree
// is copied out at once, so nothing of pugixml outlives Load/Parse: each
// element keeps its name, its own character data, its attributes in order
// and its element children in order; text, comments and other node kinds
// are not kept.
//
// XmlDocument.cpp is portable code (no Windows headers), so the byte-level
// parser builds natively for fuzzing; XmlDocumentFile.cpp reads the file.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class XmlNode {
 public:
  XmlNode() = default;
  explicit XmlNode(std::wstring name) : name_(std::move(name)) {}
  // Tears the subtree down without recursion, so a deep tree cannot exhaust
  // the stack.
  ~XmlNode();
  XmlNode(const XmlNode&) = delete;
  XmlNode& operator=(const XmlNode&) = delete;

  std::wstring Name() const { return name_; }
  const std::wstring& Text() const { return text_; }
  const std::vector<std::pair<std::wstring, std::wstring>>& Attributes() const { return attributes_; }

  // The value of the attribute named exactly name, or empty text.
  std::wstring Attribute(std::wstring_view name) const;
  // The child elements in document order; the nodes stay owned by this one.
  std::vector<const XmlNode*> Children() const;
  // The first child whose name equals name exactly, or nullptr.
  const XmlNode* ChildByName(std::wstring_view name) const;

  void SetText(std::wstring text) { text_ = std::move(text); }
  // Adds the attribute, or replaces the value when the name is already there.
  void SetAttribute(std::wstring name, std::wstring value);
  XmlNode& AddChild(std::wstring name);

 private:
  std::wstring name_;
  std::wstring text_;
  std::vector<std::pair<std::wstring, std::wstring>> attributes_;
  std::vector<std::unique_ptr<XmlNode>> children_;
};

class XmlDocument {
 public:
  // Reads the file whole (opened for reading, sharing read and write) and
  // parses it. False when the file cannot be opened or read, or the parse
  // fails; the previous tree is kept then.
  bool Load(const std::wstring& path);
  // Parses the bytes (any encoding pugixml detects). False, keeping the
  // previous tree, when they are not a well-formed document with a root.
  bool Parse(std::string_view bytes);

  // The document element, or nullptr before the first successful load.
  const XmlNode* Root() const { return root_.get(); }

 private:
  std::unique_ptr<XmlNode> root_;
};
