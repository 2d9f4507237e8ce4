#include "Machine.h"
#include "Text.h"

#include <unicorn/unicorn.h>

#include <cstring>
#include <memory>

#include "MachOFormat.h"

namespace device {

namespace {

// Where the machine keeps its own pages, away from where the image is loaded.
struct MemoryPlan {
  uint64_t trapBase, stackBase;
};
constexpr uint64_t kTrapRegionSize = 0x10000;  // 16384 traps of 4 bytes
constexpr uint64_t kStackSize = 0x100000;
constexpr uint64_t kRedZone = 128;  // Apple arm64 leaves 128 bytes below sp to leaf functions

MemoryPlan PlanFor(Arch arch) {
  if (arch == Arch::arm64) return {0x200000000ull, 0x400000000ull};
  return {0x70000000ull, 0x60000000ull};
}

void Check(uc_err err, const std::string &what) {
  if (err != UC_ERR_OK) throw RunError(what + ": " + uc_strerror(err));
}

uint32_t ProtectionFlags(uint32_t vmProtection) {
  uint32_t perms = 0;
  if (vmProtection & macho::kProtRead) perms |= UC_PROT_READ;
  if (vmProtection & macho::kProtWrite) perms |= UC_PROT_WRITE;
  if (vmProtection & macho::kProtExecute) perms |= UC_PROT_EXEC;
  return perms;
}

uint64_t AlignUp(uint64_t value, uint64_t alignment) { return (value + alignment - 1) / alignment * alignment; }

}  // namespace

std::vector<Location> ArgumentLayout(Arch arch, const std::vector<Kind> &kinds) {
  std::vector<Location> out;
  unsigned core = 0, fp = 0, stack = 0;
  for (Kind kind : kinds) {
    Location loc;
    if (arch == Arch::arm64) {
      if (kind == Kind::cgfloat && fp < 8) {
        loc.place = Location::floatRegister;
        loc.index = fp++;
      } else if (kind != Kind::cgfloat && core < 8) {
        loc.place = Location::coreRegister;
        loc.index = core++;
      } else {
        // Apple arm64: stack arguments take their own size and alignment, not 8 bytes each.
        const unsigned size = kind == Kind::boolean ? 1 : 8;
        stack = static_cast<unsigned>(AlignUp(stack, size));
        loc.place = Location::stack;
        loc.index = stack;
        loc.size = size;
        stack += size;
      }
    } else {
      if (core < 4) {
        loc.place = Location::coreRegister;
        loc.index = core++;
      } else {
        loc.place = Location::stack;
        loc.index = stack;
        loc.size = 4;
        stack += 4;
      }
    }
    out.push_back(loc);
  }
  return out;
}

Machine::Machine(Arch arch) : arch_(arch) {
  const uc_arch ucArch = arch == Arch::arm64 ? UC_ARCH_ARM64 : UC_ARCH_ARM;
  Check(uc_open(ucArch, UC_MODE_ARM, &uc_), "cannot start the emulator");
  if (arch == Arch::armv7) {
    // An armv7 core of the devices' generation, with VFP and NEON switched on.
    Check(uc_ctl_set_cpu_model(uc_, UC_CPU_ARM_CORTEX_A8), "cannot select the armv7 core");
    uint32_t cpacr = 0xf << 20;
    Check(uc_reg_write(uc_, UC_ARM_REG_C1_C0_2, &cpacr), "cannot enable VFP access");
    uint32_t fpexc = 0x40000000;
    Check(uc_reg_write(uc_, UC_ARM_REG_FPEXC, &fpexc), "cannot enable VFP");
  } else {
    uint64_t cpacr = 3 << 20;
    Check(uc_reg_write(uc_, UC_ARM64_REG_CPACR_EL1, &cpacr), "cannot enable floating point");
  }
  const MemoryPlan plan = PlanFor(arch);
  trapBase_ = plan.trapBase;
  trapLimit_ = plan.trapBase + kTrapRegionSize;
  Map(trapBase_, kTrapRegionSize, 1 | 4);
  // Every trap word is a return instruction, so that a trap without a handler still returns.
  std::vector<uint32_t> fill(kTrapRegionSize / 4, arch == Arch::arm64 ? 0xd65f03c0u : 0xe12fff1eu);
  Write(trapBase_, fill.data(), kTrapRegionSize);
  stackBase_ = plan.stackBase;
  stackTop_ = plan.stackBase + kStackSize;
  Map(stackBase_, kStackSize, 1 | 2);
  returnTrap_ = AddTrap("(return to the host side)", [] {});

  uc_hook hook;
  Check(uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void *>(&Machine::OnCode), this, trapBase_,
                    trapLimit_ - 1),
        "cannot install the trap hook");
  Check(uc_hook_add(uc_, &hook, UC_HOOK_MEM_INVALID, reinterpret_cast<void *>(&Machine::OnInvalidMemory), this, 1, 0),
        "cannot install the memory hook");
}

Machine::~Machine() {
  if (uc_ != nullptr) uc_close(uc_);
}

void Machine::Map(uint64_t address, uint64_t size, uint32_t protection) {
  Check(uc_mem_map(uc_, address, AlignUp(size, 0x1000), ProtectionFlags(protection)),
        "cannot map " + Hex(address) + "+" + Hex(size));
}

void Machine::Write(uint64_t address, const void *bytes, size_t size) {
  if (size == 0) return;
  if (uc_mem_write(uc_, address, bytes, size) != UC_ERR_OK) {
    throw RunError("write of " + std::to_string(size) + " bytes to unmapped memory at " + Hex(address));
  }
}

void Machine::Read(uint64_t address, void *bytes, size_t size) const {
  if (size == 0) return;
  if (uc_mem_read(uc_, address, bytes, size) != UC_ERR_OK) {
    throw RunError("read of " + std::to_string(size) + " bytes from unmapped memory at " + Hex(address));
  }
}

uint64_t Machine::ReadPointer(uint64_t address) const {
  if (pointerSize() == 8) {
    uint64_t v;
    Read(address, &v, 8);
    return v;
  }
  return Read32(address);
}

void Machine::WritePointer(uint64_t address, uint64_t value) {
  if (pointerSize() == 8) {
    Write(address, &value, 8);
  } else {
    Write32(address, static_cast<uint32_t>(value));
  }
}

uint32_t Machine::Read32(uint64_t address) const {
  uint32_t v;
  Read(address, &v, 4);
  return v;
}

void Machine::Write32(uint64_t address, uint32_t value) { Write(address, &value, 4); }

std::string Machine::ReadCString(uint64_t address, size_t limit) const {
  std::string out;
  char chunk[64];
  while (out.size() < limit) {
    // Read byte by byte near the end of a mapping; in chunks elsewhere.
    if (uc_mem_read(uc_, address, chunk, sizeof chunk) != UC_ERR_OK) {
      Read(address, chunk, 1);
      if (chunk[0] == '\0') return out;
      out.push_back(chunk[0]);
      ++address;
      continue;
    }
    for (char c : chunk) {
      if (c == '\0') return out;
      out.push_back(c);
    }
    address += sizeof chunk;
  }
  throw RunError("string at " + Hex(address) + " has no end");
}

double Machine::ToCGFloat(double value) const {
  return arch_ == Arch::arm64 ? value : static_cast<double>(static_cast<float>(value));
}

void Machine::WriteCGFloat(uint64_t address, double value) {
  if (arch_ == Arch::arm64) {
    Write(address, &value, 8);
  } else {
    float f = static_cast<float>(value);
    Write(address, &f, 4);
  }
}

double Machine::ReadCGFloat(uint64_t address) const {
  if (arch_ == Arch::arm64) {
    double d;
    Read(address, &d, 8);
    return d;
  }
  float f;
  Read(address, &f, 4);
  return f;
}

uint64_t Machine::AddTrap(const std::string &name, TrapHandler handler) {
  const uint64_t address = trapBase_ + trapNames_.size() * 4;
  if (address >= trapLimit_) throw RunError("too many traps");
  trapNames_.push_back(name);
  trapHandlers_.push_back(std::move(handler));
  return address;
}

bool Machine::IsTrap(uint64_t address) const {
  return address >= trapBase_ && address < trapBase_ + trapNames_.size() * 4 && (address & 3) == 0;
}

const std::string &Machine::TrapName(uint64_t address) const {
  static const std::string none;
  return IsTrap(address) ? trapNames_[(address - trapBase_) / 4] : none;
}

int Machine::Named(Register reg) const {
  const bool a64 = arch_ == Arch::arm64;
  switch (reg) {
    case Register::sp: return a64 ? static_cast<int>(UC_ARM64_REG_SP) : static_cast<int>(UC_ARM_REG_SP);
    case Register::lr: return a64 ? static_cast<int>(UC_ARM64_REG_LR) : static_cast<int>(UC_ARM_REG_LR);
    case Register::pc: return a64 ? static_cast<int>(UC_ARM64_REG_PC) : static_cast<int>(UC_ARM_REG_PC);
  }
  return 0;
}

uint64_t Machine::Reg(int reg) const {
  uint64_t v = 0;
  if (arch_ == Arch::arm64) {
    uc_reg_read(uc_, reg, &v);
  } else {
    uint32_t w = 0;
    uc_reg_read(uc_, reg, &w);
    v = w;
  }
  return v;
}

void Machine::SetReg(int reg, uint64_t value) {
  if (arch_ == Arch::arm64) {
    uc_reg_write(uc_, reg, &value);
  } else {
    uint32_t w = static_cast<uint32_t>(value);
    uc_reg_write(uc_, reg, &w);
  }
}

uint64_t Machine::CoreRegister(unsigned index) const {
  return Reg(arch_ == Arch::arm64 ? static_cast<int>(UC_ARM64_REG_X0) + static_cast<int>(index)
                                 : static_cast<int>(UC_ARM_REG_R0) + static_cast<int>(index));
}

void Machine::SetCoreRegister(unsigned index, uint64_t value) {
  SetReg(arch_ == Arch::arm64 ? static_cast<int>(UC_ARM64_REG_X0) + static_cast<int>(index)
                              : static_cast<int>(UC_ARM_REG_R0) + static_cast<int>(index),
         value);
}

double Machine::FloatRegister(unsigned index) const {
  uint64_t bits = 0;
  uc_reg_read(uc_, UC_ARM64_REG_D0 + static_cast<int>(index), &bits);
  double d;
  std::memcpy(&d, &bits, 8);
  return d;
}

void Machine::SetFloatRegister(unsigned index, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, 8);
  uc_reg_write(uc_, UC_ARM64_REG_D0 + static_cast<int>(index), &bits);
}

uint64_t Machine::StackPointer() const { return Reg(Named(Register::sp)); }
void Machine::SetStackPointer(uint64_t value) { SetReg(Named(Register::sp), value); }
uint64_t Machine::LinkRegister() const { return Reg(Named(Register::lr)); }
void Machine::SetLinkRegister(uint64_t value) { SetReg(Named(Register::lr), value); }
void Machine::SetPC(uint64_t value) { SetReg(Named(Register::pc), value); }

Value Machine::ReadArgument(const Location &loc, Kind kind, uint64_t sp) const {
  uint64_t raw = 0;
  double real = 0;
  switch (loc.place) {
    case Location::coreRegister:
      raw = CoreRegister(loc.index);
      break;
    case Location::floatRegister:
      real = FloatRegister(loc.index);
      break;
    case Location::stack:
      Read(sp + loc.index, &raw, loc.size);
      break;
  }
  switch (kind) {
    case Kind::boolean:
      return Value::Bool((raw & 0xff) != 0);
    case Kind::cgfloat:
      if (loc.place == Location::floatRegister) return Value::Real(real);
      if (arch_ == Arch::arm64) {
        std::memcpy(&real, &raw, 8);
        return Value::Real(real);
      } else {
        float f;
        uint32_t bits = static_cast<uint32_t>(raw);
        std::memcpy(&f, &bits, 4);
        return Value::Real(f);
      }
    case Kind::word:
      return Value::Word(arch_ == Arch::arm64 ? raw : (raw & 0xffffffffu));
    case Kind::none:
      break;
  }
  return Value::None();
}

std::vector<Value> Machine::Arguments(const std::vector<Kind> &kinds) const {
  const std::vector<Location> layout = ArgumentLayout(arch_, kinds);
  const uint64_t sp = StackPointer();
  std::vector<Value> out;
  for (size_t i = 0; i < kinds.size(); ++i) out.push_back(ReadArgument(layout[i], kinds[i], sp));
  return out;
}

void Machine::Return(Value result) {
  switch (result.kind) {
    case Kind::none:
      break;
    case Kind::word:
      SetCoreRegister(0, result.word);
      break;
    case Kind::boolean:
      SetCoreRegister(0, result.word != 0 ? 1 : 0);
      break;
    case Kind::cgfloat:
      if (arch_ == Arch::arm64) {
        SetFloatRegister(0, result.real);
      } else {
        float f = static_cast<float>(result.real);
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        SetCoreRegister(0, bits);
      }
      break;
  }
  SetPC(LinkRegister());
  trapDone_ = true;
}

void Machine::ReturnFromNilMessage() {
  SetCoreRegister(0, 0);
  SetCoreRegister(1, 0);
  if (arch_ == Arch::arm64) {
    const uint64_t zero[2] = {0, 0};
    for (int v = 0; v < 4; ++v) uc_reg_write(uc_, UC_ARM64_REG_Q0 + v, zero);
  }
  SetPC(LinkRegister());
  trapDone_ = true;
}

void Machine::ContinueAt(uint64_t address) {
  SetPC(address);
  trapDone_ = true;
}

void Machine::Fail(const std::string &message) {
  if (failure_.empty()) failure_ = message;
  uc_emu_stop(uc_);
}

void Machine::LimitBlocks(uint64_t blocks) {
  if (!limited_) {
    uc_hook hook;
    Check(uc_hook_add(uc_, &hook, UC_HOOK_BLOCK, reinterpret_cast<void *>(&Machine::OnBlock), this, 1, 0),
          "cannot install the block hook");
    limited_ = true;
  }
  blocksLeft_ = blockLimit_ = blocks;
}

void Machine::OnBlock(uc_struct *, uint64_t, uint32_t, void *opaque) {
  Machine &m = *static_cast<Machine *>(opaque);
  if (m.blocksLeft_ == 0) {
    m.Fail("the emulated code ran more than " + std::to_string(m.blockLimit_) + " basic blocks");
    return;
  }
  --m.blocksLeft_;
}

void Machine::OnCode(uc_struct *, uint64_t address, uint32_t, void *opaque) {
  Machine &m = *static_cast<Machine *>(opaque);
  if (!m.failure_.empty()) {
    uc_emu_stop(m.uc_);
    return;
  }
  if (address == m.returnTrap_) return;  // the end of a Call; the run stops here by itself
  const uint64_t index = (address - m.trapBase_) / 4;
  if ((address & 3) != 0 || index >= m.trapHandlers_.size()) {
    m.Fail("emulated code jumped to " + Hex(address) + " in the trap page, where nothing answers");
    return;
  }
  m.trapDone_ = false;
  try {
    m.trapHandlers_[index]();
  } catch (const std::exception &e) {
    m.Fail(e.what());
    return;
  }
  if (!m.trapDone_ && m.failure_.empty()) m.Fail("the host side of " + m.trapNames_[index] + " did not return");
}

bool Machine::OnInvalidMemory(uc_struct *, int type, uint64_t address, int size, int64_t, void *opaque) {
  Machine &m = *static_cast<Machine *>(opaque);
  const char *what = "access";
  switch (type) {
    case UC_MEM_READ_UNMAPPED: what = "read of unmapped memory"; break;
    case UC_MEM_WRITE_UNMAPPED: what = "write to unmapped memory"; break;
    case UC_MEM_FETCH_UNMAPPED: what = "instruction fetch from unmapped memory"; break;
    case UC_MEM_WRITE_PROT: what = "write to read-only memory"; break;
    case UC_MEM_READ_PROT: what = "read of unreadable memory"; break;
    case UC_MEM_FETCH_PROT: what = "instruction fetch from non-executable memory"; break;
    default: break;
  }
  uint64_t pc = m.Reg(m.Named(Register::pc));
  m.Fail(std::string(what) + " at " + Hex(address) + " (" + std::to_string(size) + " bytes), pc " + Hex(pc));
  return false;
}

Value Machine::Result(Kind kind) const {
  Value out;
  out.kind = kind;
  switch (kind) {
    case Kind::none:
      break;
    case Kind::word:
      out.word = CoreRegister(0);
      if (arch_ == Arch::armv7) out.word &= 0xffffffffu;
      break;
    case Kind::boolean:
      out.word = (CoreRegister(0) & 0xff) != 0;
      break;
    case Kind::cgfloat:
      if (arch_ == Arch::arm64) {
        out.real = FloatRegister(0);
      } else {
        uint32_t bits = static_cast<uint32_t>(CoreRegister(0));
        float f;
        std::memcpy(&f, &bits, 4);
        out.real = f;
      }
      break;
  }
  return out;
}

Value Machine::Call(uint64_t function, const std::vector<Value> &args, Kind result) {
  if (!failure_.empty()) throw RunError(failure_);
  // A nested run keeps the outer run's registers (its pc, lr and sp above all) for afterwards.
  std::unique_ptr<uc_context, decltype(&uc_context_free)> saved(nullptr, &uc_context_free);
  uint64_t sp = stackTop_;
  if (depth_ > 0) {
    uc_context *context = nullptr;
    Check(uc_context_alloc(uc_, &context), "cannot save the registers");
    saved.reset(context);
    Check(uc_context_save(uc_, context), "cannot save the registers");
    sp = StackPointer() - kRedZone;
  }
  std::vector<Kind> kinds;
  for (const Value &v : args) kinds.push_back(v.kind);
  const std::vector<Location> layout = ArgumentLayout(arch_, kinds);
  uint64_t stackBytes = 0;
  for (const Location &loc : layout) {
    if (loc.place == Location::stack) stackBytes = std::max<uint64_t>(stackBytes, loc.index + loc.size);
  }
  sp = (sp - stackBytes) & ~uint64_t(15);
  if (sp < stackBase_ + 0x1000) throw RunError("the emulated stack is exhausted (calls nested too deeply)");
  for (size_t i = 0; i < args.size(); ++i) {
    const Location &loc = layout[i];
    const Value &v = args[i];
    uint64_t raw = v.word;
    if (v.kind == Kind::cgfloat) {
      if (arch_ == Arch::arm64) {
        std::memcpy(&raw, &v.real, 8);
      } else {
        float f = static_cast<float>(v.real);
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        raw = bits;
      }
    }
    if (v.kind == Kind::boolean) raw = v.word != 0 ? 1 : 0;
    switch (loc.place) {
      case Location::coreRegister:
        SetCoreRegister(loc.index, raw);
        break;
      case Location::floatRegister:
        SetFloatRegister(loc.index, v.real);
        break;
      case Location::stack:
        Write(sp + loc.index, &raw, loc.size);
        break;
    }
  }
  SetStackPointer(sp);
  SetReg(Named(Register::lr), returnTrap_);
  ++depth_;
  const uc_err err = uc_emu_start(uc_, function, returnTrap_, 0, 0);
  --depth_;
  const uint64_t pc = Reg(Named(Register::pc));
  if (failure_.empty() && err != UC_ERR_OK) {
    failure_ = std::string("emulation failed at pc ") + Hex(pc) + ": " + uc_strerror(err);
  }
  if (failure_.empty() && pc != returnTrap_) {
    failure_ = "emulation stopped at pc " + Hex(pc) + " before the call to " + Hex(function) + " returned";
  }
  if (!failure_.empty()) {
    const std::string message = failure_;
    if (depth_ == 0) failure_.clear();
    throw RunError(message);
  }
  const Value out = Result(result);
  if (saved) Check(uc_context_restore(uc_, saved.get()), "cannot restore the registers");
  return out;
}

}  // namespace device
