#include "platform/version_block_format.h"

#include "platform/ascii_case.h"

namespace platform::version_format {

namespace {

struct Node {
  std::size_t start = 0;
  std::size_t end = 0;  // start + wLength, within the parent
  std::uint16_t valueLength = 0;
  bool text = false;
  std::string key;
  std::size_t valueStart = 0;
  std::size_t childrenStart = 0;
};

std::uint16_t Word(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::size_t AlignUp(std::size_t at) { return (at + 3) & ~std::size_t{3}; }

// Reads the node at start, which must end by limit; nullopt when it is
// malformed (lengths beyond the limit, unterminated key).
std::optional<Node> ReadNode(std::span<const std::uint8_t> b, std::size_t start,
                             std::size_t limit) {
  if (start + 6 > limit) return std::nullopt;
  Node node;
  node.start = start;
  const std::uint16_t length = Word(b, start);
  node.end = start + length;
  if (length < 6 || node.end > limit) return std::nullopt;
  node.valueLength = Word(b, start + 2);
  node.text = Word(b, start + 4) == 1;
  std::size_t at = start + 6;
  for (;; at += 2) {
    if (at + 2 > node.end) return std::nullopt;
    const std::uint16_t c = Word(b, at);
    if (c == 0) break;
    node.key.push_back(c < 0x100 ? static_cast<char>(c) : '?');
  }
  node.valueStart = AlignUp(at + 2);
  const std::size_t valueBytes = node.text ? node.valueLength * std::size_t{2} : node.valueLength;
  if (node.valueStart + valueBytes > node.end) {
    // An empty node may end right after its key, before any padding.
    if (valueBytes != 0) return std::nullopt;
    node.valueStart = node.end;
  }
  node.childrenStart = AlignUp(node.valueStart + valueBytes);
  return node;
}

std::optional<Node> FindChild(std::span<const std::uint8_t> b, const Node& parent,
                              std::string_view key) {
  for (std::size_t at = parent.childrenStart; at + 6 <= parent.end;) {
    std::optional<Node> child = ReadNode(b, at, parent.end);
    if (!child) return std::nullopt;
    if (EqualIgnoringAsciiCase(child->key, key)) return child;
    at = AlignUp(child->end);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> FindString(std::span<const std::uint8_t> block,
                                      std::string_view subBlock) {
  std::optional<Node> node = ReadNode(block, 0, block.size());
  if (!node) return std::nullopt;
  while (!subBlock.empty()) {
    if (subBlock.front() == '\\') {
      subBlock.remove_prefix(1);
      continue;
    }
    const std::size_t cut = subBlock.find('\\');
    const std::string_view key = subBlock.substr(0, cut);
    subBlock = cut == std::string_view::npos ? std::string_view() : subBlock.substr(cut);
    node = FindChild(block, *node, key);
    if (!node) return std::nullopt;
  }
  if (!node->text) return std::nullopt;
  std::string value;
  for (std::size_t i = 0; i < node->valueLength; ++i) {
    const std::size_t at = node->valueStart + 2 * i;
    if (at + 2 > node->end) break;
    const std::uint16_t c = Word(block, at);
    if (c == 0) break;
    value.push_back(c < 0x100 ? static_cast<char>(c) : '?');
  }
  return value;
}

}  // namespace platform::version_format
