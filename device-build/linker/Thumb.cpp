#include "Thumb.h"

namespace dwl::thumb {

namespace {

bool IsBranchFirstHalf(uint16_t first) { return (first & 0xf800) == 0xf000; }

}  // namespace

BranchKind ClassifyBranch(uint16_t first, uint16_t second) {
  if (!IsBranchFirstHalf(first)) return BranchKind::NotABranch;
  switch (second & 0xd000) {
    case 0xd000: return BranchKind::BranchWithLink;
    case 0x9000: return BranchKind::Branch;
    case 0xc000: return (second & 1) == 0 ? BranchKind::BranchWithLinkExchange : BranchKind::NotABranch;
    default: return BranchKind::NotABranch;
  }
}

// S:I1:I2:imm10:imm11:0, with I1 = NOT(J1 XOR S) and I2 = NOT(J2 XOR S).
int32_t BranchDisplacement(uint16_t first, uint16_t second) {
  uint32_t s = (first >> 10) & 1;
  uint32_t j1 = (second >> 13) & 1;
  uint32_t j2 = (second >> 11) & 1;
  uint32_t i1 = (~(j1 ^ s)) & 1;
  uint32_t i2 = (~(j2 ^ s)) & 1;
  uint32_t value = (s << 24) | (i1 << 23) | (i2 << 22) | ((first & 0x3ffu) << 12) | ((second & 0x7ffu) << 1);
  // Sign-extend from 25 bits.
  return static_cast<int32_t>(value) - (s != 0 ? (int32_t{1} << 25) : 0);
}

std::optional<uint32_t> WithBranchDisplacement(uint16_t first, uint16_t second, int64_t displacement) {
  if (displacement % 2 != 0 || displacement < -(int64_t{1} << 24) || displacement >= (int64_t{1} << 24))
    return std::nullopt;
  uint32_t value = static_cast<uint32_t>(displacement) & 0x1ffffff;
  uint32_t s = (value >> 24) & 1;
  uint32_t i1 = (value >> 23) & 1;
  uint32_t i2 = (value >> 22) & 1;
  uint32_t j1 = (~(i1 ^ s)) & 1;
  uint32_t j2 = (~(i2 ^ s)) & 1;
  uint16_t new_first = static_cast<uint16_t>((first & 0xf800) | (s << 10) | ((value >> 12) & 0x3ff));
  uint16_t new_second = static_cast<uint16_t>((second & 0xd000) | (j1 << 13) | (j2 << 11) | ((value >> 1) & 0x7ff));
  return static_cast<uint32_t>(new_first) | (static_cast<uint32_t>(new_second) << 16);
}

MoveKind ClassifyMove(uint16_t first, uint16_t second) {
  if ((second & 0x8000) != 0) return MoveKind::NotAMove;
  if ((first & 0xfbf0) == 0xf240) return MoveKind::Low;
  if ((first & 0xfbf0) == 0xf2c0) return MoveKind::High;
  return MoveKind::NotAMove;
}

// imm4:i:imm3:imm8.
uint16_t MoveImmediate(uint16_t first, uint16_t second) {
  return static_cast<uint16_t>(((first & 0xf) << 12) | (((first >> 10) & 1) << 11) | (((second >> 12) & 7) << 8) |
                               (second & 0xff));
}

uint32_t WithMoveImmediate(uint16_t first, uint16_t second, uint16_t immediate) {
  uint16_t new_first = static_cast<uint16_t>((first & 0xfbf0) | ((immediate >> 12) & 0xf) | (((immediate >> 11) & 1) << 10));
  uint16_t new_second = static_cast<uint16_t>((second & 0x8f00) | (((immediate >> 8) & 7) << 12) | (immediate & 0xff));
  return static_cast<uint32_t>(new_first) | (static_cast<uint32_t>(new_second) << 16);
}

void WriteStub(uint8_t out[kStubSize], uint32_t stub, uint32_t pointer) {
  // The add sits at stub + 8; in Thumb state it reads pc as its own address plus 4.
  uint32_t offset = pointer - (stub + 12);
  const uint16_t ip = 12;
  uint32_t movw = WithMoveImmediate(0xf240, static_cast<uint16_t>(ip << 8), static_cast<uint16_t>(offset));
  uint32_t movt = WithMoveImmediate(0xf2c0, static_cast<uint16_t>(ip << 8), static_cast<uint16_t>(offset >> 16));
  const uint16_t halfwords[8] = {
      static_cast<uint16_t>(movw), static_cast<uint16_t>(movw >> 16),
      static_cast<uint16_t>(movt), static_cast<uint16_t>(movt >> 16),
      0x44fc,          // add ip, pc
      0xf8dc, 0xf000,  // ldr.w pc, [ip]: interworking, so the target may be ARM or Thumb code
      0xbf00,          // nop, to keep every stub 16 bytes
  };
  for (int i = 0; i < 8; ++i) {
    out[2 * i] = static_cast<uint8_t>(halfwords[i]);
    out[2 * i + 1] = static_cast<uint8_t>(halfwords[i] >> 8);
  }
}

}  // namespace dwl::thumb
