// The Thumb-2 instruction fields the armv7 relocations patch: the 25-bit displacement of BL and
// B.W, and the 16-bit immediate of MOVW and MOVT. An instruction is two little-endian halfwords.
#pragma once

#include <cstdint>
#include <optional>

namespace dwl::thumb {

enum class BranchKind { BranchWithLink, Branch, BranchWithLinkExchange, NotABranch };

// Which of the three 32-bit branches (BL, B.W, BLX) the halfwords hold.
BranchKind ClassifyBranch(uint16_t first, uint16_t second);
// The signed displacement from the instruction's address plus 4.
int32_t BranchDisplacement(uint16_t first, uint16_t second);
// The halfwords with a new displacement; nullopt when it is odd or beyond the 16 MiB reach.
std::optional<uint32_t> WithBranchDisplacement(uint16_t first, uint16_t second, int64_t displacement);

enum class MoveKind { Low, High, NotAMove };  // MOVW writes the low half, MOVT the high half

MoveKind ClassifyMove(uint16_t first, uint16_t second);
uint16_t MoveImmediate(uint16_t first, uint16_t second);
// Both halfwords packed as first | second << 16, the immediate replaced.
uint32_t WithMoveImmediate(uint16_t first, uint16_t second, uint16_t immediate);

// The four instructions of an import stub at `stub` that jumps through the pointer at `pointer`:
// movw ip, movt ip (the pointer relative to the pc of the add), add ip, pc; ldr.w pc, [ip]; nop.
constexpr uint32_t kStubSize = 16;
void WriteStub(uint8_t out[kStubSize], uint32_t stub, uint32_t pointer);

}  // namespace dwl::thumb
