#include "Loader.h"

#include "LazyBinding.h"
#include "Text.h"

#include <algorithm>
#include <cstring>

#include "MachOFormat.h"

namespace device {

const char *const Device::kObjC = "/usr/lib/libobjc.A.dylib";
const char *const Device::kFoundation = "/System/Library/Frameworks/Foundation.framework/Foundation";
const char *const Device::kUIKit = "/System/Library/Frameworks/UIKit.framework/UIKit";
const char *const Device::kCoreFoundation = "/System/Library/Frameworks/CoreFoundation.framework/CoreFoundation";
const char *const Device::kSubstrate = "/Library/Frameworks/CydiaSubstrate.framework/CydiaSubstrate";
const char *const Device::kColorPicker = "/usr/lib/libcolorpicker.dylib";
const char *const Device::kSystem = "/usr/lib/libSystem.B.dylib";

namespace {

using macho::kModInitFuncPointers;
using macho::kSectionTypeMask;

uint64_t ImageBase(Arch arch) { return arch == Arch::arm64 ? 0x100000000ull : 0x10000000ull; }

bool IsObjCSection(const Section &s, const char *name) {
  return (s.segment == "__DATA" || s.segment == "__DATA_CONST") && s.name == name;
}

}  // namespace

Device::Device(const std::vector<uint8_t> &file, Arch arch, FileReader files)
    : slice_(ParseSlice(file, arch)), machine_(std::make_unique<Machine>(arch)), files_(std::move(files)) {
  runtime_ = std::make_unique<Runtime>(*machine_, trace_);
  InstallFoundation(*runtime_, files_);
  InstallUIKit(*runtime_);
  InstallImports();
}

void Device::InstallImports() {
  Runtime &rt = *runtime_;
  Machine &m = *machine_;
  auto add = [&](const std::string &symbol, const char *library, std::vector<Kind> args, Kind result,
                 std::function<Value(const std::vector<Value> &)> body) {
    const uint64_t address = m.AddTrap(symbol, [&m, args, result, body] {
      Value v = body(m.Arguments(args));
      if (result == Kind::none) v = Value::None();
      m.Return(v);
    });
    functionImports_[symbol] = ImportAnswer{library, address};
  };
  functionImports_["_objc_msgSend"] = ImportAnswer{kObjC, rt.MessageSendTrap()};
  add("_sel_registerName", kObjC, {Kind::word}, Kind::word, [&](const std::vector<Value> &a) {
    if (a[0].word == 0) throw RunError("sel_registerName(NULL)");
    return Value::Word(rt.Selector(m.ReadCString(a[0].word)));
  });
  add("_objc_getClass", kObjC, {Kind::word}, Kind::word, [&](const std::vector<Value> &a) {
    if (a[0].word == 0) throw RunError("objc_getClass(NULL)");
    const std::string name = m.ReadCString(a[0].word);
    ClassInfo *cls = rt.FindClass(name);
    record_.lookups.push_back(name);
    lookupAnswers_.push_back(cls != nullptr ? cls->handle : 0);
    trace_.Event("objc_getClass " + Trace::Quote(name) + " -> " + trace_.Class(cls != nullptr ? cls->handle : 0, rt));
    return Value::Word(cls != nullptr ? cls->handle : 0);
  });
  // Class references: looked up by name, not traced.
  add("_objc_lookUpClass", kObjC, {Kind::word}, Kind::word, [&](const std::vector<Value> &a) {
    if (a[0].word == 0) throw RunError("objc_lookUpClass(NULL)");
    ClassInfo *cls = rt.FindClass(m.ReadCString(a[0].word));
    return Value::Word(cls != nullptr ? cls->handle : 0);
  });
  add("_class_getInstanceVariable", kObjC, {Kind::word, Kind::word}, Kind::word, [&](const std::vector<Value> &a) {
    ClassInfo *cls = rt.ClassOfHandle(a[0].word);
    if (cls == nullptr) {
      if (a[0].word != 0) throw RunError("class_getInstanceVariable: not a class");
      return Value::Word(0);
    }
    const std::string name = a[1].word != 0 ? m.ReadCString(a[1].word) : std::string();
    uint64_t ivar = 0;
    for (ClassInfo *c = cls; c != nullptr && a[1].word != 0; c = c->superclass) {
      if (!c->ivars.count(name)) continue;
      uint64_t &handle = ivarHandles_[{c, name}];
      if (handle == 0) handle = rt.Allocate(3 * m.pointerSize());
      ivar = handle;
      break;
    }
    trace_.Event("class_getInstanceVariable " + trace_.Class(cls->handle, rt) + " " + Trace::Quote(name) + " -> " +
                 (ivar != 0 ? "found" : "NULL"));
    return Value::Word(ivar);
  });
  // The compiler's form of [x release]; the trace sees it as that message.
  add("_objc_release", kObjC, {Kind::word}, Kind::none, [&](const std::vector<Value> &a) {
    trace_.Open("send " + trace_.Object(a[0].word, rt) + " release");
    if (a[0].word != 0) rt.Send("", a[0].word, "release");
    trace_.Close(nullptr);
    return Value::None();
  });
  // Likewise the compiler's forms of [x retain] and [x autorelease].
  for (const char *message : {"retain", "autorelease"}) {
    const std::string name = message;
    add("_objc_" + name, kObjC, {Kind::word}, Kind::word, [&, name](const std::vector<Value> &a) {
      trace_.Open("send " + trace_.Object(a[0].word, rt) + " " + name);
      const Value result = a[0].word != 0 ? rt.Send("", a[0].word, name) : Value::Word(0);
      const std::string described = trace_.Object(result.word, rt);
      trace_.Close(&described);
      return result;
    });
  }
  // The library's local pools, written as the Linux build's NSAutoreleasePool is: `pool push` once
  // the pool is in place, `pool pop` before its drain (whose releases are the runtime's own).
  add("_objc_autoreleasePoolPush", kObjC, {}, Kind::word, [&](const std::vector<Value> &) {
    const uint64_t token = rt.PushPool();
    trace_.Event("pool push");
    return Value::Word(token);
  });
  add("_objc_autoreleasePoolPop", kObjC, {Kind::word}, Kind::none, [&](const std::vector<Value> &a) {
    trace_.Event("pool pop");
    rt.PopPool(a[0].word);
    return Value::None();
  });
  add("_MSHookMessageEx", kSubstrate, {Kind::word, Kind::word, Kind::word, Kind::word}, Kind::none,
      [&](const std::vector<Value> &a) {
        ClassInfo *cls = rt.ClassOfHandle(a[0].word);
        if (!rt.IsSelector(a[1].word)) throw RunError("MSHookMessageEx with something that is not a selector");
        const std::string selector = rt.SelectorName(a[1].word);
        LoadRecord::Install install;
        install.className = cls != nullptr ? cls->name : std::string();
        install.selector = selector;
        install.replacement = a[2].word;
        install.slot = a[3].word;
        for (size_t i = lookupAnswers_.size(); i-- > 0;) {
          if (lookupAnswers_[i] == a[0].word) {
            install.lookedUp = record_.lookups[i];
            break;
          }
        }
        record_.installs.push_back(install);
        ClassInfo *definer = cls != nullptr ? rt.Definer(cls, a[1].word) : nullptr;
        const Runtime::HookOutcome outcome = rt.HookMessage(a[0].word, a[1].word, a[2].word, a[3].word);
        std::string described = "none";
        LoadRecord::Install &recorded = record_.installs.back();
        if (outcome == Runtime::HookOutcome::own) {
          described = "own";
          recorded.outcome = LoadRecord::Install::Outcome::own;
        }
        if (outcome == Runtime::HookOutcome::inherited) {
          described = "inherited " + definer->name;
          recorded.outcome = LoadRecord::Install::Outcome::inherited;
          recorded.definer = definer->name;
        }
        trace_.Event("MSHookMessageEx " + trace_.Class(a[0].word, rt) + " " + selector + " -> " + described);
        return Value::None();
      });
  add("_LCPParseColorString", kColorPicker, {Kind::word, Kind::word}, Kind::word, [&](const std::vector<Value> &a) {
    const uint64_t color = ParseColorString(rt, a[0].word, a[1].word);
    trace_.Event("LCPParseColorString " + trace_.Object(a[0].word, rt) + " " + trace_.Object(a[1].word, rt) + " -> " +
                 trace_.Object(color, rt));
    return Value::Word(color);
  });
  add("___stack_chk_fail", kSystem, {}, Kind::none, [](const std::vector<Value> &) -> Value {
    throw RunError("__stack_chk_fail: the stack guard was overwritten");
  });
  functionImports_["dyld_stub_binder"] = ImportAnswer{kSystem, m.AddTrap("dyld_stub_binder", [this] { BindLazyPointer(); })};
  stackGuard_ = rt.Allocate(m.pointerSize(), m.pointerSize());
  m.WritePointer(stackGuard_, 0x5a17c0de5a17c0deull);
}

ImportAnswer Device::Resolve(const std::string &symbol) {
  auto function = functionImports_.find(symbol);
  if (function != functionImports_.end()) return function->second;
  if (symbol == "___CFConstantStringClassReference") {
    return ImportAnswer{kCoreFoundation, runtime_->FindClass("__NSCFConstantString")->handle};
  }
  if (symbol == "___stack_chk_guard") return ImportAnswer{kSystem, stackGuard_};
  for (const char *prefix : {"_OBJC_CLASS_$_", "_OBJC_METACLASS_$_"}) {
    if (symbol.rfind(prefix, 0) != 0) continue;
    const std::string name = symbol.substr(std::strlen(prefix));
    ClassInfo *cls = runtime_->FindClass(name);
    // Only the device's own libraries export classes; the host app's classes are looked up by name.
    if (cls == nullptr || !(name.rfind("NS", 0) == 0 || name.rfind("UI", 0) == 0) || name.rfind("__", 0) == 0) break;
    const char *library = name == "NSObject" ? kObjC : name.rfind("NS", 0) == 0 ? kFoundation : kUIKit;
    return ImportAnswer{library, prefix[6] == 'C' ? cls->handle : cls->metaHandle};
  }
  return ImportAnswer{};
}

void Device::MapSegments() {
  uint64_t lowest = UINT64_MAX;
  for (const Segment &s : slice_.segments) {
    if (s.memorySize != 0) lowest = std::min(lowest, s.address);
  }
  slide_ = ImageBase(slice_.arch) - lowest;
  uint64_t textBegin = UINT64_MAX, textEnd = 0;
  for (const Segment &s : slice_.segments) {
    if (s.memorySize == 0) continue;
    machine_->Map(Slid(s.address), s.memorySize, s.initialProtection);
    machine_->Write(Slid(s.address), slice_.bytes.data() + s.fileOffset, s.fileSize);
    if (s.initialProtection & macho::kProtExecute) {
      textBegin = std::min(textBegin, Slid(s.address));
      textEnd = std::max(textEnd, Slid(s.address + s.memorySize));
    }
  }
  if (textEnd == 0) throw LoadError("no executable segment");
  runtime_->SetImageRange(textBegin, textEnd);
}

void Device::ApplyRebases() {
  for (const Rebase &r : DecodeRebases(slice_, slice_.dyldInfo.rebase)) {
    const uint64_t at = Slid(r.address);
    machine_->WritePointer(at, machine_->ReadPointer(at) + slide_);
  }
}

ImportAnswer Device::AnswerFor(const Bind &b) {
  const std::string library = slice_.LibraryOf(b.ordinal);
  const ImportAnswer answer = Resolve(b.symbol);
  if (answer.library.empty()) {
    throw LoadError("import " + b.symbol + " from " + library + " is not known to the device model");
  }
  if (answer.library != library) {
    throw LoadError("import " + b.symbol + " is bound to " + library + ", but on the device it lives in " + answer.library);
  }
  return answer;
}

void Device::ApplyBinds() {
  if (!slice_.dyldInfo.weakBind.empty() && slice_.dyldInfo.weakBind[0] != 0) {
    throw LoadError("weak binds are not modelled");
  }
  for (const Bind &b : DecodeBinds(slice_, slice_.dyldInfo.bind, false)) {
    machine_->WritePointer(Slid(b.address), AnswerFor(b).value + static_cast<uint64_t>(b.addend));
  }
  // Lazy pointers keep what the file holds, their stub helper entries (slid): dyld_stub_binder binds
  // each at its first call. Each is checked here all the same, so that an import the model cannot
  // answer stops the load even when no scenario calls it.
  for (const Bind &b : DecodeBinds(slice_, slice_.dyldInfo.lazyBind, true)) {
    if (LazyPointerSection(slice_, b.address) == nullptr) {
      throw LoadError("lazy bind of " + b.symbol + ": pointer " + Hex(b.address) +
                      " lies outside every lazy symbol pointer section (__la_symbol_ptr)");
    }
    AnswerFor(b);
  }
}

void Device::RequireInImage(uint64_t address, uint64_t size, const std::string &field) const {
  if (slice_.SegmentHolding(address - slide_, size) == nullptr) {
    throw LoadError(field + " (" + std::to_string(size) + " bytes at " + Hex(address - slide_) + ") lies outside the image's segments");
  }
}

std::string Device::ImageString(uint64_t address, const std::string &field) const {
  RequireInImage(address, 1, field);
  const Segment &segment = *slice_.SegmentHolding(address - slide_, 1);
  // Selector and category names: a name longer than this is no name the device's runtime has.
  constexpr uint64_t kLongestName = 65536;
  const uint64_t room = std::min(segment.address + segment.memorySize - (address - slide_), kLongestName);
  std::string out;
  char chunk[64];
  for (uint64_t done = 0; done < room;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof chunk, room - done));
    machine_->Read(address + done, chunk, n);
    for (size_t i = 0; i < n; ++i) {
      if (chunk[i] == '\0') return out;
      out.push_back(chunk[i]);
    }
    done += n;
  }
  throw LoadError(field + ": the string at " + Hex(address - slide_) + " has no end within " + std::to_string(room) + " bytes");
}

std::vector<uint64_t> Device::PointersIn(const Section &section) {
  std::vector<uint64_t> out;
  const unsigned p = machine_->pointerSize();
  if (section.zeroFill()) throw LoadError("section " + section.name + " is zero-fill: it holds no pointers");
  if (section.size % p != 0) throw LoadError("section " + section.name + " is not a whole number of pointers");
  for (uint64_t at = 0; at < section.size; at += p) out.push_back(machine_->ReadPointer(Slid(section.address + at)));
  return out;
}

void Device::FixUpSelectors() {
  // The runtime makes every selector reference point at the one selector of its name.
  for (const Section &s : slice_.sections) {
    if (!IsObjCSection(s, "__objc_selrefs")) continue;
    const unsigned p = machine_->pointerSize();
    for (uint64_t at = 0; at < s.size; at += p) {
      const uint64_t ref = Slid(s.address + at);
      const std::string name = ImageString(machine_->ReadPointer(ref), "selector reference at " + Hex(s.address + at));
      machine_->WritePointer(ref, runtime_->Selector(name));
    }
  }
}

void Device::CheckClassReferences() {
  for (const Section &s : slice_.sections) {
    if (IsObjCSection(s, "__objc_classlist") || IsObjCSection(s, "__objc_nlclslist") ||
        IsObjCSection(s, "__objc_nlcatlist") || IsObjCSection(s, "__objc_protolist")) {
      if (s.size != 0) throw LoadError("the image has " + s.name + ": classes, +load methods and protocols of its own are not modelled");
    }
    if (!IsObjCSection(s, "__objc_classrefs") && !IsObjCSection(s, "__objc_superrefs")) continue;
    for (uint64_t value : PointersIn(s)) {
      if (runtime_->ClassOfHandle(value) == nullptr) {
        throw LoadError(s.name + " holds " + Hex(value) + ", which is not a class the device has");
      }
    }
  }
}

void Device::RegisterConstantStrings() {
  const Section *s = slice_.FindSection("__DATA", "__cfstring");
  if (s == nullptr) return;
  const unsigned p = machine_->pointerSize();
  const uint64_t entry = 4 * p;  // isa, flags (padded), characters, length
  if (s->size % entry != 0) throw LoadError("__cfstring is not a whole number of constant strings");
  const uint64_t stringClass = runtime_->FindClass("__NSCFConstantString")->handle;
  for (uint64_t at = Slid(s->address); at < Slid(s->address + s->size); at += entry) {
    if (machine_->ReadPointer(at) != stringClass) {
      throw LoadError("constant string at " + Hex(at - slide_) + " is not bound to __CFConstantStringClassReference");
    }
    const uint32_t flags = machine_->Read32(at + p);
    const uint64_t characters = machine_->ReadPointer(at + 2 * p);
    const uint64_t length = machine_->ReadPointer(at + 3 * p);
    const std::string where = "constant string at " + Hex(at - slide_);
    if (flags != 0x7c8 && flags != 0x7d0) throw LoadError(where + " has unknown flags " + Hex(flags));
    const uint64_t unit = flags == 0x7c8 ? 1 : 2;  // 8-bit or UTF-16 characters
    if (length > kMaxImageSpan / unit) throw LoadError(where + ": length " + std::to_string(length) + " is larger than the image");
    RequireInImage(characters, length * unit, where + ": its " + std::to_string(length) + " characters");
    std::u16string text;
    if (flags == 0x7c8) {
      std::string bytes(length, '\0');
      machine_->Read(characters, bytes.data(), length);
      for (unsigned char c : bytes) text.push_back(c);  // the 8-bit form holds ASCII
    } else {
      text.resize(length);
      machine_->Read(characters, text.data(), length * 2);
    }
    runtime_->ConstantString(at, text);
  }
}

void Device::AttachCategories() {
  const unsigned p = machine_->pointerSize();
  for (const Section &s : slice_.sections) {
    if (!IsObjCSection(s, "__objc_catlist")) continue;
    for (uint64_t category : PointersIn(s)) {
      const std::string entry = "category at " + Hex(category - slide_);
      RequireInImage(category, 4 * p, entry);  // name, class, instance and class methods
      const std::string name = ImageString(machine_->ReadPointer(category), entry + ": its name");
      const uint64_t clsHandle = machine_->ReadPointer(category + p);
      ClassInfo *cls = runtime_->ClassOfHandle(clsHandle);
      if (cls == nullptr) throw LoadError("category " + name + " names " + Hex(clsHandle) + ", not a class the device has");
      for (int side = 0; side < 2; ++side) {
        const uint64_t list = machine_->ReadPointer(category + (2 + side) * p);
        if (list == 0) continue;
        RequireInImage(list, 8, "category " + name + "'s method list");
        const uint32_t entsizeAndFlags = machine_->Read32(list);
        const uint32_t count = machine_->Read32(list + 4);
        if (entsizeAndFlags & 0x80000000u) throw LoadError("category " + name + ": relative method lists are not modelled");
        const uint32_t entsize = entsizeAndFlags & ~3u;
        if (entsize != 3 * p) throw LoadError("category " + name + ": method entries of " + std::to_string(entsize) + " bytes");
        RequireInImage(list + 8, uint64_t(count) * entsize, "category " + name + "'s " + std::to_string(count) + " methods");
        for (uint32_t i = 0; i < count; ++i) {
          const uint64_t method = list + 8 + uint64_t(i) * entsize;
          const uint64_t selector = runtime_->Selector(
              ImageString(machine_->ReadPointer(method), "category " + name + ": method " + std::to_string(i) + "'s name"));
          const uint64_t imp = machine_->ReadPointer(method + 2 * p);
          if (!runtime_->IsImageCode(imp)) {
            throw LoadError("category " + name + ": method " + runtime_->SelectorName(selector) + " is not in the image's code");
          }
          runtime_->AddImageMethod(*cls, side == 1, selector, imp);
        }
      }
    }
  }
}

void Device::RunInitializers() {
  for (const Section &s : slice_.sections) {
    if ((s.flags & kSectionTypeMask) != kModInitFuncPointers) continue;
    for (uint64_t initializer : PointersIn(s)) {
      if (!runtime_->IsImageCode(initializer)) throw LoadError("initialiser " + Hex(initializer) + " is not in the image's code");
      machine_->Call(initializer, {}, Kind::none);
    }
  }
}

void Device::Load() {
  MapSegments();
  ApplyRebases();
  ApplyBinds();
  FixUpSelectors();
  CheckClassReferences();
  RegisterConstantStrings();
  AttachCategories();
  RunInitializers();
}

}  // namespace device
