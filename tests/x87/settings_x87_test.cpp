// The settings derivation compiled for the x87 float unit (as the plug-in
// compiles it, so that it runs on processors without SSE) gives the recorded
// single-precision values whatever precision the unit is set to: a host may
// have left it at 24, 53 or 64 bits.
#include <gtest/gtest.h>

#include <cstdint>

#include "settings_record.h"

namespace {
uint16_t control_word() {
  uint16_t cw;
  asm volatile("fnstcw %0" : "=m"(cw));
  return cw;
}
void set_control_word(uint16_t cw) { asm volatile("fldcw %0" ::"m"(cw)); }
}  // namespace

TEST(SettingDerivationX87, SameValuesAtEveryPrecision) {
  const uint16_t saved = control_word();
  // Precision control, bits 8 and 9: 0 single, 2 double, 3 extended.
  for (uint16_t pc : {0, 2, 3}) {
    set_control_word((uint16_t)((saved & ~0x300) | (pc << 8)));
    const uint64_t got = derived_settings_hash();
    set_control_word(saved);
    EXPECT_EQ(got, recorded_settings_hash) << "precision control " << pc;
  }
}
