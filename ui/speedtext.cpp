#include "ui/speedlist.h"

#include <string>
#include <vector>

#include "drive/mmc.h"

namespace {

// A divisor as an extended-precision value: significand * 2^(exponent - 63),
// with the significand's top bit set.
struct textendeddivisor {
  uint64_t significand;
  int exponent;
};

// The display's units, not the detection ladder's steps: the CD's is the
// extended value nearest to 176.4 (a hair below it), not 177.
constexpr textendeddivisor kCdDisplayDivisor{0xB066666666666666ULL, 7};
// The DVD's is the ladder's step exactly, 1385 (11 significant bits).
constexpr textendeddivisor kDvdUnit{uint64_t{mmc::kDvdSpeedStep} << 53, 10};
static_assert(mmc::kDvdSpeedStep >> 10 == 1, "the DVD divisor's exponent follows its top bit");

// speed / divisor rounded to a 64-bit significand (nearest, ties to even) as
// the x87 divides, then that quotient rounded to an integer, halves to even.
// Integer long division throughout, so every compiler gives the same answer.
int RoundedQuotient(uint16_t speed, textendeddivisor divisor) {
  if (speed == 0) return 0;
  const uint64_t d = divisor.significand;
  // Speed bit j weighs 2^(j + 63 - exponent) in the dividend; quotient bits
  // come out with the weight of the dividend bit just brought down.
  int weight = 15 + 63 - divisor.exponent;
  uint64_t remainder = 0;
  uint64_t significand = 0;
  int leading = 0;  // weight of the quotient's leading one
  int bits = 0;     // significand bits collected
  bool round = false;
  while (bits <= 64) {
    const int j = weight - (63 - divisor.exponent);
    const uint64_t in = (j >= 0 && j < 16) ? (speed >> j) & 1u : 0u;
    // remainder < d < 2^64, so 2 * remainder + in < 2 * d: one subtraction
    // at most, done modulo 2^64 when the doubling carries out.
    const bool carry = (remainder >> 63) != 0;
    remainder = (remainder << 1) | in;
    const bool one = carry || remainder >= d;
    if (one) remainder -= d;
    if (bits == 0 && one) leading = weight;
    if (bits > 0 || one) {
      if (bits < 64)
        significand = (significand << 1) | (one ? 1u : 0u);
      else
        round = one;
      ++bits;
    }
    --weight;
  }
  const bool sticky = remainder != 0;
  if (round && (sticky || (significand & 1u) != 0)) {
    ++significand;
    if (significand == 0) {
      significand = 1ULL << 63;
      ++leading;
    }
  }
  // The rounded quotient is significand * 2^(leading - 63), below 2^9, so
  // at least 55 of its bits are fraction.
  const int fraction = 63 - leading;
  if (fraction > 64) return 0;
  const uint64_t half = 1ULL << (fraction - 1);
  const uint64_t whole = fraction == 64 ? 0 : significand >> fraction;
  const uint64_t rest = fraction == 64 ? significand : significand & ((half << 1) - 1);
  uint64_t result = whole;
  if (rest > half || (rest == half && (whole & 1u) != 0)) ++result;
  return static_cast<int>(result);
}

}  // namespace

int SpeedMultiple(uint16_t speed, uint8_t mediaclass) {
  return RoundedQuotient(speed, mediaclass == kMediaDvd ? kDvdUnit : kCdDisplayDivisor);
}

std::string SpeedText(const std::string& field, uint8_t mediaclass) {
  const uint16_t speed = static_cast<uint16_t>(StrToIntDef(field, 0));
  if (speed == 0xFFFF) return "MAX";
  return std::to_string(SpeedMultiple(speed, mediaclass)) + "x";
}

int MatchCurrentSpeed(const std::vector<std::string>& entries, uint16_t current,
                      uint8_t mediaclass) {
  const std::string multiple = std::to_string(SpeedMultiple(current, mediaclass));
  int result = -1;
  for (size_t i = 0; i < entries.size(); ++i)
    if (DropLastChars(entries[i], 1) == multiple) result = static_cast<int>(i);
  return result;
}
