// Derivation of the working thresholds from the settings.
#include <gtest/gtest.h>

#include <cstring>

#include "frame/buffers.h"
#include "host/host_api.h"
#include "host/settings.h"
#include "settings_record.h"

namespace {
uint32_t bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

void derive(int value, int anime, int field = 1) {
  int track[9] = {2, value, value, value, value, value, value, 5, 5};
  int check[4] = {field, anime, 0, 0};
  derive_settings(track, check);
}
}  // namespace

TEST(SettingDerivation, DefaultsWithAnimeOff) {
  derive(8, 0);
  EXPECT_EQ(frame_radius, 2);
  EXPECT_EQ(anime_mode, 0);
  EXPECT_EQ(field_mode, 1);
  EXPECT_EQ(thr3d_y_low_v, 32.1f);
  EXPECT_EQ(thr3d_y_low_h, 16.1f);
  EXPECT_EQ(thr3d_y_high[1], 20.1f);
  EXPECT_EQ(thr3d_y_high[2], 24.1f);
  EXPECT_EQ(thr3d_c_low, 56.1f);
  EXPECT_EQ(thr3d_c_high[0], 40.1f);
  EXPECT_EQ(thr3d_c_high[1], 32.1f);
  EXPECT_EQ(thr3d_c_high[2], 24.1f);
  // 8k, 10k, 12k, 18k in single precision.
  const float k = 0.8192f;
  EXPECT_EQ(bits(thr2d_y[0]), bits(8.0f * k));
  EXPECT_EQ(bits(thr2d_y[1]), bits(10.0f * k));
  EXPECT_EQ(bits(thr2d_y[2]), bits(12.0f * k));
  EXPECT_EQ(bits(thr2d_y[3]), bits(18.0f * k));
  EXPECT_NEAR(thr2d_y[0], 6.5535998, 1e-6);
  EXPECT_NEAR(thr2d_y[3], 14.7455997, 1e-6);
  const float limits_y[4] = {12, 20, 28, 45};
  const float limits_c[4] = {24, 32, 36, 52};
  for (int j = 0; j < 4; ++j) {
    EXPECT_EQ(limit2d_y[j], limits_y[j]) << j;
    EXPECT_EQ(bits(thr2d_c[j]), bits(16.0f * k)) << j;
    EXPECT_EQ(limit2d_c[j], limits_c[j]) << j;
  }
  // The coarsest detail level is filtered like level 3.
  EXPECT_EQ(level4_threshold[0], thr3d_y_high[2]);
  EXPECT_EQ(level4_threshold[1], thr3d_c_high[2]);
}

TEST(SettingDerivation, AnimeModeChangesOnlyTheLumaValues) {
  derive(8, 0);
  const float c_low = thr3d_c_low, c_high0 = thr3d_c_high[0], c_thr = thr2d_c[0];
  derive(8, 1);
  EXPECT_EQ(anime_mode, 1);
  EXPECT_EQ(thr3d_y_low_v, 56.1f);
  EXPECT_EQ(thr3d_y_low_h, 28.1f);
  EXPECT_EQ(thr3d_y_high[1], 32.1f);
  EXPECT_EQ(thr3d_y_high[2], 24.1f);
  EXPECT_NEAR(thr2d_y[0], 13.1071997, 1e-6);
  EXPECT_EQ(limit2d_y[0], 24.0f);
  EXPECT_EQ(limit2d_y[3], 90.0f);
  EXPECT_EQ(thr3d_c_low, c_low);
  EXPECT_EQ(thr3d_c_high[0], c_high0);
  EXPECT_EQ(thr2d_c[0], c_thr);
}

TEST(SettingDerivation, ZeroStrengthGivesTheSmallestThresholds) {
  derive(0, 0);
  EXPECT_EQ(bits(thr3d_y_low_v), 0x3DCCCCCDu);
  EXPECT_EQ(bits(thr3d_c_high[2]), 0x3DCCCCCDu);
  EXPECT_EQ(bits(level4_threshold[0]), 0x3DCCCCCDu);
  for (int j = 0; j < 4; ++j) {
    EXPECT_EQ(thr2d_y[j], 0.0f);
    EXPECT_EQ(limit2d_y[j], 0.0f);
    EXPECT_EQ(thr2d_c[j], 0.0f);
    EXPECT_EQ(limit2d_c[j], 0.0f);
  }
}

TEST(SettingDerivation, MatchesTheFormulasForEverySetting) {
  for (int anime = 0; anime <= 1; ++anime)
    for (int v = 0; v <= 30; ++v) {
      derive(v, anime);
      // Exact value rounded once, computed in double.
      const double c = 0.1f, k = 0.8192f;
      EXPECT_EQ(thr3d_y_low_v, (float)((anime ? 7.0 : 4.0) * v + c)) << v;
      EXPECT_EQ(thr3d_y_high[1], (float)((anime ? 4.0 : 2.5) * v + c)) << v;
      EXPECT_EQ(thr2d_y[3], (float)(4.5 * v * k * (anime ? 1.0 : 0.5))) << v;
      EXPECT_EQ(limit2d_y[3], (float)(11.25 * v * (anime ? 1.0 : 0.5))) << v;
      EXPECT_EQ(thr2d_c[1], (float)(2.0 * v * k)) << v;
      EXPECT_EQ(limit2d_c[3], (float)(6.5 * v)) << v;
    }
}

// Every value for every setting 0 to 30 and both anime states, against the
// single-precision evaluation from left to right, bit for bit, and against
// the bit patterns recorded from it (the same record is checked with the
// derivation compiled for the x87 unit, see tests/x87).
TEST(SettingDerivation, EveryValueEqualsTheSinglePrecisionEvaluation) {
  const float c = 0.1f, k = 0.8192f;
  for (int anime = 0; anime <= 1; ++anime)
    for (int v = 0; v <= 30; ++v) {
      derive(v, anime);
      const float f = (float)v;
      const bool a = anime == 1;
      const float want[] = {
          a ? 7.0f * f + c : 4.0f * f + c,   a ? 3.5f * f + c : 2.0f * f + c,
          a ? 4.0f * f + c : 2.5f * f + c,   3.0f * f + c,
          7.0f * f + c,                      5.0f * f + c,
          4.0f * f + c,                      3.0f * f + c,
          a ? 2.0f * f * k : 2.0f * f * k * 0.5f,   a ? 2.5f * f * k : 2.5f * f * k * 0.5f,
          a ? 3.0f * f * k : 3.0f * f * k * 0.5f,   a ? 4.5f * f * k : 4.5f * f * k * 0.5f,
          a ? 3.0f * f : 3.0f * f * 0.5f,    a ? 5.0f * f : 5.0f * f * 0.5f,
          a ? 7.0f * f : 7.0f * f * 0.5f,    a ? 11.25f * f : 11.25f * f * 0.5f,
          2.0f * f * k,                      3.0f * f,
          4.0f * f,                          4.5f * f,
          6.5f * f};
      const float got[] = {thr3d_y_low_v, thr3d_y_low_h, thr3d_y_high[1], thr3d_y_high[2],
                           thr3d_c_low,   thr3d_c_high[0], thr3d_c_high[1], thr3d_c_high[2],
                           thr2d_y[0],    thr2d_y[1],    thr2d_y[2],    thr2d_y[3],
                           limit2d_y[0],  limit2d_y[1],  limit2d_y[2],  limit2d_y[3],
                           thr2d_c[3],    limit2d_c[0],  limit2d_c[1],  limit2d_c[2],
                           limit2d_c[3]};
      for (size_t i = 0; i < sizeof got / sizeof got[0]; ++i)
        ASSERT_EQ(bits(got[i]), bits(want[i])) << "value " << i << " setting " << v << " anime "
                                               << anime;
      for (int j = 0; j < 3; ++j) ASSERT_EQ(bits(thr2d_c[j]), bits(thr2d_c[3]));
    }
  EXPECT_EQ(derived_settings_hash(), recorded_settings_hash);
}

TEST(SettingDerivation, OnlyTheValueOneSwitchesACheckBoxOn) {
  derive(8, 2, 2);
  EXPECT_EQ(anime_mode, 0);
  EXPECT_EQ(field_mode, 0);
  EXPECT_EQ(thr3d_y_low_v, 32.1f);
}

TEST(SettingDerivation, OutOfRangeSettingsAreClampedToTheTable) {
  int track[9] = {7, 99, -3, 8, 8, 8, 8, 5, 5};
  int check[4] = {1, 0, 0, 0};
  derive_settings(track, check);
  EXPECT_EQ(frame_radius, 4);  // never more slots than the ring has
  EXPECT_EQ(thr3d_y_low_v, 120.1f);
  EXPECT_EQ(bits(thr3d_y_high[2]), 0x3DCCCCCDu);
  track[0] = 0;
  derive_settings(track, check);
  EXPECT_EQ(frame_radius, 1);
}

TEST(SettingDerivation, EverySettingChangeEmptiesTheRing) {
  int track[9] = {2, 8, 8, 8, 8, 8, 8, 5, 5};
  int check[4] = {1, 0, 0, 0};
  FILTER f = {};
  f.track = track;
  f.check = check;
  for (int i = 0; i < ring_slots_max; ++i) ring_frame[i] = i;
  EXPECT_EQ(func_update(&f, FILTER_UPDATE_STATUS_TRACK + 3), 1);
  for (int i = 0; i < ring_slots_max; ++i) EXPECT_EQ(ring_frame[i], ring_empty) << i;
}
