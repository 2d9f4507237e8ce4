// The emulated processor: Unicorn running one slice's machine code, the memory it sees, the traps
// through which emulated code reaches the host side, and the calling convention of each slice.
//
// Calling conventions, as the device uses them (only what the library's messages need):
//   arm64 (Apple): integer and pointer arguments in x0-x7, then on the stack packed at their own
//     size and alignment; CGFloat (double) in d0-d7, then on the stack; results in x0, or d0 for a
//     floating-point result. BOOL is a one-byte bool, extended to 32 bits by the caller.
//   armv7 (iOS): every argument in r0-r3 in order, then on the stack in 4-byte slots; CGFloat
//     (float) travels as its bits in a core register or stack slot, never in a VFP register; results
//     in r0, a float result as its bits in r0. BOOL is a signed char. Thumb functions are entered at
//     odd addresses; returning to lr keeps the caller's instruction set.
#pragma once

#include "DylibFile.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct uc_struct;

namespace device {

// The kind of one argument or result, as the calling conventions tell them apart.
enum class Kind { none, word, boolean, cgfloat };

// One argument or result. Words hold pointers, objects, selectors and integers; reals hold CGFloat
// values (a float on armv7, exactly representable as double).
struct Value {
  Kind kind = Kind::none;
  uint64_t word = 0;
  double real = 0;
  static Value Word(uint64_t w) { return Value{Kind::word, w, 0}; }
  static Value Bool(bool b) { return Value{Kind::boolean, b ? 1u : 0u, 0}; }
  static Value Real(double r) { return Value{Kind::cgfloat, 0, r}; }
  static Value None() { return Value{}; }
};

// Where one argument lives when a function is entered.
struct Location {
  enum Place { coreRegister, floatRegister, stack } place = coreRegister;
  unsigned index = 0;  // register number, or byte offset from sp
  unsigned size = 0;   // bytes, for stack arguments
};

// The argument locations of a call with these argument kinds, receiver and selector included.
std::vector<Location> ArgumentLayout(Arch arch, const std::vector<Kind> &kinds);

// Thrown by a host-side step that cannot go on; the machine stops the emulated run and reports it.
struct RunError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class Machine {
 public:
  explicit Machine(Arch arch);
  ~Machine();
  Machine(const Machine &) = delete;
  Machine &operator=(const Machine &) = delete;

  Arch arch() const { return arch_; }
  unsigned pointerSize() const { return arch_ == Arch::arm64 ? 8 : 4; }

  // Memory.
  void Map(uint64_t address, uint64_t size, uint32_t protection);  // VM_PROT bits: 1 read, 2 write, 4 execute
  void Write(uint64_t address, const void *bytes, size_t size);
  void Read(uint64_t address, void *bytes, size_t size) const;
  uint64_t ReadPointer(uint64_t address) const;
  void WritePointer(uint64_t address, uint64_t value);
  uint32_t Read32(uint64_t address) const;
  void Write32(uint64_t address, uint32_t value);
  std::string ReadCString(uint64_t address, size_t limit = 65536) const;
  // Writes a CGFloat of the slice's width (double on arm64, float on armv7).
  void WriteCGFloat(uint64_t address, double value);
  double ReadCGFloat(uint64_t address) const;
  // Rounds a value to what the slice's CGFloat can hold.
  double ToCGFloat(double value) const;

  // Traps: the handler runs when emulated code branches to the trap's address, with the caller's
  // registers. It reads its arguments with Arguments() and ends with Return() or ContinueAt().
  using TrapHandler = std::function<void()>;
  uint64_t AddTrap(const std::string &name, TrapHandler handler);
  bool IsTrap(uint64_t address) const;
  const std::string &TrapName(uint64_t address) const;

  // Inside a trap handler: the incoming arguments, laid out by `kinds`.
  std::vector<Value> Arguments(const std::vector<Kind> &kinds) const;
  // Inside a trap handler: return `result` to the caller (to lr).
  void Return(Value result);
  // Inside a trap handler: return from objc_msgSend sent to nil, as the device's does whatever the
  // message's type: arm64 zeroes x0, x1 and the whole of v0-v3 (so d0-d3, and a structure of up to
  // four doubles, read as zero); armv7 zeroes r0 and r1 (a 64-bit result) and leaves the VFP
  // registers alone, as the iOS armv7 convention returns floating-point results in core registers.
  void ReturnFromNilMessage();
  // Inside a trap handler: go on at `address` with the registers as they are, as a tail call does
  // (objc_msgSend's jump into an implementation).
  void ContinueAt(uint64_t address);

  // Calls emulated code at `function` with `args` (receiver and selector included) and returns
  // its result of kind `result`. Works from inside a trap handler too (a nested run): the outer
  // run's registers are saved and restored around it.
  Value Call(uint64_t function, const std::vector<Value> &args, Kind result);

  // Inside a trap handler: the caller's return address, which a handler may redirect.
  uint64_t LinkRegister() const;
  void SetLinkRegister(uint64_t value);
  // Inside a trap handler reached by a return: the result registers, read as `kind`.
  Value Result(Kind kind) const;

  // Inside a trap handler: the raw registers, for a handler that is not a function of the calling
  // convention (dyld_stub_binder takes its arguments from the stack the stub helper pushed).
  // Core register 16 on arm64 is x16, 12 on armv7 is ip (r12).
  uint64_t CoreRegister(unsigned index) const;
  void SetCoreRegister(unsigned index, uint64_t value);
  uint64_t StackPointer() const;
  void SetStackPointer(uint64_t value);

  // Stops every run in progress; the outermost Call throws RunError with this message.
  void Fail(const std::string &message);

  // From now on, emulated code may run `blocks` basic blocks in all (every run and nested run
  // together); the one after the last fails the run. For code of unknown origin, which may never
  // return. Without it there is no limit.
  void LimitBlocks(uint64_t blocks);

  // The stack region, for tests.
  uint64_t stackTop() const { return stackTop_; }

 private:
  static void OnCode(uc_struct *uc, uint64_t address, uint32_t size, void *self);
  static void OnBlock(uc_struct *uc, uint64_t address, uint32_t size, void *self);
  static bool OnInvalidMemory(uc_struct *uc, int type, uint64_t address, int size, int64_t value, void *self);
  enum class Register { sp, lr, pc };
  int Named(Register reg) const;
  uint64_t Reg(int reg) const;
  void SetReg(int reg, uint64_t value);
  double FloatRegister(unsigned index) const;
  void SetFloatRegister(unsigned index, double value);
  void SetPC(uint64_t value);
  Value ReadArgument(const Location &location, Kind kind, uint64_t sp) const;

  Arch arch_;
  uc_struct *uc_ = nullptr;
  uint64_t trapBase_ = 0, trapLimit_ = 0, returnTrap_ = 0;
  uint64_t stackBase_ = 0, stackTop_ = 0;
  std::vector<std::string> trapNames_;
  std::vector<TrapHandler> trapHandlers_;
  int depth_ = 0;
  bool limited_ = false;
  uint64_t blocksLeft_ = 0, blockLimit_ = 0;
  bool trapDone_ = false;
  std::string failure_;
};

}  // namespace device
