#include "TextStub.h"

#include <cstdint>
#include <sstream>

#include "Bytes.h"

namespace dwl {

namespace {

std::string Trim(const std::string &s) {
  size_t begin = s.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return "";
  size_t end = s.find_last_not_of(" \t\r");
  return s.substr(begin, end - begin + 1);
}

std::string Unquote(const std::string &s) {
  if (s.size() >= 2 && (s.front() == '\'' || s.front() == '"') && s.back() == s.front()) return s.substr(1, s.size() - 2);
  return s;
}

// "[ a, b ]" into its items.
std::vector<std::string> FlowList(const std::string &value, const std::string &where) {
  if (value.size() < 2 || value.front() != '[' || value.back() != ']') throw LinkError(where + ": expected a [ ... ] list");
  std::vector<std::string> items;
  std::stringstream inner(value.substr(1, value.size() - 2));
  std::string item;
  while (std::getline(inner, item, ',')) {
    item = Unquote(Trim(item));
    if (!item.empty()) items.push_back(item);
  }
  return items;
}

struct Line {
  int number;
  size_t indent;
  bool dash;        // the line starts a list item ("- key: value")
  std::string key;
  std::string value;
};

// Logical lines: comments dropped, a [ ... ] list that spans several lines joined into one.
std::vector<Line> Lines(const std::string &path, const std::string &text) {
  std::vector<Line> lines;
  std::stringstream in(text);
  std::string raw;
  int number = 0;
  while (std::getline(in, raw)) {
    ++number;
    size_t hash = raw.find('#');
    if (hash != std::string::npos) raw.erase(hash);
    if (Trim(raw).empty()) continue;
    if (!lines.empty() && lines.back().value.size() > 0 && lines.back().value.front() == '[' &&
        lines.back().value.find(']') == std::string::npos) {
      lines.back().value += " " + Trim(raw);
      continue;
    }
    Line line{number, raw.find_first_not_of(' '), false, "", ""};
    std::string body = Trim(raw);
    if (body.rfind("---", 0) == 0 || body == "...") {
      line.key = body.substr(0, 3);
      lines.push_back(line);
      continue;
    }
    if (body.rfind("- ", 0) == 0) {
      line.dash = true;
      body = Trim(body.substr(2));
    }
    size_t colon = body.find(':');
    if (colon == std::string::npos) throw LinkError(path + ":" + std::to_string(number) + ": expected 'key: value'");
    line.key = Trim(body.substr(0, colon));
    line.value = Trim(body.substr(colon + 1));
    lines.push_back(line);
  }
  return lines;
}

void AddExports(DylibStub &stub, const std::string &key, const std::vector<std::string> &names, const std::string &where) {
  for (const std::string &name : names) {
    if (key == "symbols" || key == "weak-symbols") {
      stub.symbols.insert(name);
    } else if (key == "objc-classes") {
      stub.symbols.insert("_OBJC_CLASS_$_" + name);
      stub.symbols.insert("_OBJC_METACLASS_$_" + name);
    } else if (key == "objc-eh-types") {
      stub.symbols.insert("_OBJC_EHTYPE_$_" + name);
    } else if (key == "objc-ivars") {
      stub.symbols.insert("_OBJC_IVAR_$_" + name);
    } else {
      throw LinkError(where + ": '" + key + "' is not supported in an export list");
    }
  }
}

}  // namespace

uint32_t PackVersion(const std::string &text, const std::string &what) {
  uint32_t parts[3] = {0, 0, 0};
  int count = 0;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, '.')) {
    if (count == 3 || part.empty() || part.find_first_not_of("0123456789") != std::string::npos || part.size() > 5)
      throw LinkError(what + ": '" + text + "' is not a version such as 9.2 or 1.0.0");
    parts[count++] = static_cast<uint32_t>(std::stoul(part));
  }
  if (count == 0 || parts[0] > 0xffff || parts[1] > 0xff || parts[2] > 0xff)
    throw LinkError(what + ": '" + text + "' is not a version such as 9.2 or 1.0.0");
  return (parts[0] << 16) | (parts[1] << 8) | parts[2];
}

std::vector<DylibStub> ReadTextStub(const std::string &path, const std::string &text, const std::string &target) {
  std::vector<DylibStub> stubs;
  DylibStub *current = nullptr;
  bool in_exports = false;
  bool block_matches = false;
  std::vector<std::pair<std::string, std::vector<std::string>>> pending;  // a block's lists, until its targets are known
  auto flush = [&]() {
    if (block_matches)
      for (auto &[key, names] : pending) AddExports(*current, key, names, path);
    pending.clear();
    block_matches = false;
  };
  for (const Line &line : Lines(path, text)) {
    std::string where = path + ":" + std::to_string(line.number);
    if (line.key == "---") {
      if (line.value.empty() && text.find("!tapi-tbd") == std::string::npos)
        throw LinkError(where + ": not a version 4 text stub (no '--- !tapi-tbd')");
      stubs.emplace_back();
      stubs.back().path = path;
      current = &stubs.back();
      in_exports = false;
      continue;
    }
    if (line.key == "...") {
      if (current != nullptr) flush();
      current = nullptr;
      continue;
    }
    if (current == nullptr) throw LinkError(where + ": text outside a '--- !tapi-tbd' document");
    if (line.indent == 0 && !line.dash) {
      if (in_exports) flush();
      in_exports = false;
      if (line.key == "tbd-version") {
        if (line.value != "4") throw LinkError(where + ": tbd-version " + line.value + " is not supported (only 4)");
      } else if (line.key == "install-name") {
        current->install_name = Unquote(line.value);
      } else if (line.key == "current-version") {
        current->current_version = PackVersion(line.value, where);
      } else if (line.key == "compatibility-version") {
        current->compatibility_version = PackVersion(line.value, where);
      } else if (line.key == "exports") {
        if (!line.value.empty()) throw LinkError(where + ": exports must be a list of blocks");
        in_exports = true;
      } else if (line.key == "targets" || line.key == "uuids" || line.key == "flags" || line.key == "swift-abi-version" ||
                 line.key == "parent-umbrella" || line.key == "allowable-clients") {
        // Nothing the link needs.
      } else {
        throw LinkError(where + ": '" + line.key + "' is not supported");
      }
      continue;
    }
    if (!in_exports) throw LinkError(where + ": unexpected indented '" + line.key + "'");
    if (line.dash) flush();
    if (line.key == "targets") {
      for (const std::string &t : FlowList(line.value, where))
        if (t == target) block_matches = true;
    } else {
      pending.emplace_back(line.key, FlowList(line.value, where));
    }
  }
  if (current != nullptr) throw LinkError(path + ": the last document does not end with '...'");
  if (stubs.empty()) throw LinkError(path + ": no '--- !tapi-tbd' document");
  for (const DylibStub &stub : stubs)
    if (stub.install_name.empty()) throw LinkError(path + ": a document has no install-name");
  return stubs;
}

}  // namespace dwl
