#include "LinkEdit.h"

#include <algorithm>
#include <tuple>

#include "MachOFormat.h"

namespace dwl {

using namespace macho;

Bytes RebaseOpcodes(std::vector<SegmentOffset> locations, uint32_t pointer_size) {
  std::sort(locations.begin(), locations.end(), [](const SegmentOffset &a, const SegmentOffset &b) {
    return std::tie(a.segment, a.offset) < std::tie(b.segment, b.offset);
  });
  Bytes out;
  if (!locations.empty()) out.push_back(kRebaseSetTypeImm | kRebaseTypePointer);
  for (size_t i = 0; i < locations.size();) {
    size_t run = 1;
    while (i + run < locations.size() && locations[i + run].segment == locations[i].segment &&
           locations[i + run].offset == locations[i].offset + run * pointer_size)
      ++run;
    out.push_back(static_cast<uint8_t>(kRebaseSetSegmentAndOffsetUleb | locations[i].segment));
    AppendUleb(out, locations[i].offset);
    if (run < 16) {
      out.push_back(static_cast<uint8_t>(kRebaseDoRebaseImmTimes | run));
    } else {
      out.push_back(kRebaseDoRebaseUlebTimes);
      AppendUleb(out, run);
    }
    i += run;
  }
  out.push_back(kRebaseDone);
  PadTo(out, pointer_size);
  return out;
}

Bytes BindOpcodes(std::vector<BindEntry> binds, uint32_t pointer_size) {
  std::sort(binds.begin(), binds.end(), [](const BindEntry &a, const BindEntry &b) {
    return std::tie(a.library, a.symbol, a.addend, a.where.segment, a.where.offset) <
           std::tie(b.library, b.symbol, b.addend, b.where.segment, b.where.offset);
  });
  Bytes out;
  if (!binds.empty()) out.push_back(kBindSetTypeImm | kBindTypePointer);
  const BindEntry *previous = nullptr;
  for (const BindEntry &bind : binds) {
    if (previous == nullptr || bind.library != previous->library) {
      if (bind.library < 16) {
        out.push_back(static_cast<uint8_t>(kBindSetDylibOrdinalImm | bind.library));
      } else {
        out.push_back(kBindSetDylibOrdinalUleb);
        AppendUleb(out, bind.library);
      }
    }
    if (previous == nullptr || bind.symbol != previous->symbol || bind.library != previous->library) {
      out.push_back(kBindSetSymbolTrailingFlagsImm);
      AppendString(out, bind.symbol);
    }
    if ((previous == nullptr && bind.addend != 0) || (previous != nullptr && bind.addend != previous->addend)) {
      out.push_back(kBindSetAddendSleb);
      AppendSleb(out, bind.addend);
    }
    out.push_back(static_cast<uint8_t>(kBindSetSegmentAndOffsetUleb | bind.where.segment));
    AppendUleb(out, bind.where.offset);
    out.push_back(kBindDoBind);
    previous = &bind;
  }
  out.push_back(kBindDone);
  PadTo(out, pointer_size);
  return out;
}

namespace {

struct TrieNode {
  bool terminal = false;
  uint64_t address = 0;
  std::vector<std::pair<std::string, size_t>> children;  // edge label, node index
  uint64_t offset = 0;
};

// Builds the node for the names in [begin, end), all of which start with the first `depth` characters.
size_t BuildNode(std::vector<TrieNode> &nodes, const std::vector<ExportEntry> &sorted, size_t begin, size_t end, size_t depth) {
  size_t index = nodes.size();
  nodes.emplace_back();
  if (begin < end && sorted[begin].name.size() == depth) {
    nodes[index].terminal = true;
    nodes[index].address = sorted[begin].address;
    ++begin;
  }
  while (begin < end) {
    // The names sharing the next character form one edge, labelled with their longest common prefix.
    size_t group_end = begin + 1;
    while (group_end < end && sorted[group_end].name[depth] == sorted[begin].name[depth]) ++group_end;
    size_t common = sorted[begin].name.size();
    for (size_t i = begin + 1; i < group_end; ++i) {
      size_t n = depth;
      while (n < common && n < sorted[i].name.size() && sorted[i].name[n] == sorted[begin].name[n]) ++n;
      common = n;
    }
    std::string label = sorted[begin].name.substr(depth, common - depth);
    size_t child = BuildNode(nodes, sorted, begin, group_end, common);
    nodes[index].children.emplace_back(label, child);
    begin = group_end;
  }
  return index;
}

Bytes SerializeNode(const TrieNode &node, const std::vector<TrieNode> &nodes) {
  Bytes out;
  if (node.terminal) {
    Bytes info;
    AppendUleb(info, 0);  // flags: a regular symbol
    AppendUleb(info, node.address);
    AppendUleb(out, info.size());
    AppendBytes(out, info);
  } else {
    out.push_back(0);
  }
  out.push_back(static_cast<uint8_t>(node.children.size()));
  for (const auto &[label, child] : node.children) {
    AppendString(out, label);
    AppendUleb(out, nodes[child].offset);
  }
  return out;
}

}  // namespace

Bytes ExportTrie(std::vector<ExportEntry> exports, uint32_t pointer_size) {
  std::sort(exports.begin(), exports.end(), [](const ExportEntry &a, const ExportEntry &b) { return a.name < b.name; });
  for (size_t i = 1; i < exports.size(); ++i)
    if (exports[i].name == exports[i - 1].name) throw LinkError("symbol " + exports[i].name + " is exported twice");
  if (exports.empty()) return Bytes();
  std::vector<TrieNode> nodes;
  BuildNode(nodes, exports, 0, exports.size(), 0);
  for (const TrieNode &node : nodes)
    if (node.children.size() > 255) throw LinkError("too many exports share one prefix");
  // Offsets are ULEB128 and change the nodes' sizes: settle them by repeating until they hold still.
  bool moved = true;
  while (moved) {
    moved = false;
    uint64_t offset = 0;
    for (TrieNode &node : nodes) {
      if (node.offset != offset) {
        node.offset = offset;
        moved = true;
      }
      offset += SerializeNode(node, nodes).size();
    }
  }
  Bytes out;
  for (const TrieNode &node : nodes) AppendBytes(out, SerializeNode(node, nodes));
  PadTo(out, pointer_size);
  return out;
}

}  // namespace dwl
