// Turns the raw settings into the thresholds and flags the stages read.
#include "host/settings.h"

#include "frame/buffers.h"
#include "host/host_api.h"

int32_t frame_radius = 0;
uint8_t anime_mode = 1;
uint8_t field_mode = 0;
float thr3d_y_low_v = 0;
float thr3d_y_low_h = 0;
float thr3d_y_high[3] = {0, 0, 0};
float thr3d_c_low = 0;
float thr3d_c_high[3] = {0, 0, 0};
float level4_threshold[2] = {0, 0};
float thr2d_y[4] = {0, 0, 0, 0};
float limit2d_y[4] = {0, 0, 0, 0};
float thr2d_c[4] = {0, 0, 0, 0};
float limit2d_c[4] = {0, 0, 0, 0};

namespace {
// The constants c = 0.1f and k = 0.8192f as integers over powers of two:
// c = 13421773 / 2^27 (0x3DCCCCCD) and k = 13743895 / 2^24 (0x3F51B717).
constexpr int64_t c_num = 13421773;
constexpr int64_t k_num = 13743895;

// The editor keeps values inside the table's ranges; a host that does not is
// clamped here, so the window length can never exceed the ring's nine slots.
int clamp_setting(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Every value is an exact rational n / 2^e, rounded once to single precision:
// the integer n converts exactly (or rounds once) and the power of two scales
// exactly. The results are therefore the same whatever the float unit (SSE,
// or x87 at any precision setting): this file runs before the processor check
// and is compiled without SSE on i686. They equal the single-precision
// evaluation from left to right, a * v + c and a * v * k (* 0.5), because
// there each step is exact but the last one.
float exact_over_pow2(int64_t n, float pow2) { return (float)n * pow2; }

// (a2 / 2) * v + c, for a multiplier a2 / 2 with a2 even or odd (3.5 is a2 = 7).
float temporal_threshold(int a2, int v) {
  return exact_over_pow2((int64_t)a2 * v * ((int64_t)1 << 26) + c_num, 0x1p-27f);
}

// (m2 / 2) * v * k, halved again when `half`.
float shrink_threshold(int m2, int v, bool half) {
  return exact_over_pow2((int64_t)m2 * v * k_num, half ? 0x1p-26f : 0x1p-25f);
}

// (m4 / 4) * v, halved again when `half`.
float keep_limit(int m4, int v, bool half) {
  return exact_over_pow2((int64_t)m4 * v, half ? 0x1p-3f : 0x1p-2f);
}
}  // namespace

bool settings_derived = false;

void derive_settings(const int* track, const int* check) {
  const int F = clamp_setting(track[track_frame], 1, 4);
  const int L = clamp_setting(track[track_w3dyl], 0, 30);
  const int H = clamp_setting(track[track_w3dyh], 0, 30);
  const int S = clamp_setting(track[track_w2dy], 0, 30);
  const int CL = clamp_setting(track[track_w3dcl], 0, 30);
  const int CH = clamp_setting(track[track_w3dch], 0, 30);
  const int D = clamp_setting(track[track_w2dc], 0, 30);
  const bool anime = check[check_anime] == 1;

  frame_radius = F;
  anime_mode = anime ? 1 : 0;
  field_mode = check[check_field] == 1 ? 1 : 0;

  // Multipliers doubled: 7 L + c is temporal_threshold(14, L).
  thr3d_y_low_v = temporal_threshold(anime ? 14 : 8, L);
  thr3d_y_low_h = temporal_threshold(anime ? 7 : 4, L);
  thr3d_y_high[0] = 0;
  thr3d_y_high[1] = temporal_threshold(anime ? 8 : 5, H);
  thr3d_y_high[2] = temporal_threshold(6, H);
  thr3d_c_low = temporal_threshold(14, CL);
  thr3d_c_high[0] = temporal_threshold(10, CH);
  thr3d_c_high[1] = temporal_threshold(8, CH);
  thr3d_c_high[2] = temporal_threshold(6, CH);
  // The coarsest detail level is filtered with the level-3 thresholds.
  level4_threshold[0] = thr3d_y_high[2];
  level4_threshold[1] = thr3d_c_high[2];

  // Shrink multipliers 2, 2.5, 3, 4.5 doubled; keep-mask limits 3, 5, 7, 11.25
  // (luma) and 3, 4, 4.5, 6.5 (chroma) times four.
  static const int thr_mult2[4] = {4, 5, 6, 9};
  static const int limit_mult4_y[4] = {12, 20, 28, 45};
  static const int limit_mult4_c[4] = {12, 16, 18, 26};
  for (int j = 0; j < 4; ++j) {
    thr2d_y[j] = shrink_threshold(thr_mult2[j], S, !anime);
    limit2d_y[j] = keep_limit(limit_mult4_y[j], S, !anime);
    thr2d_c[j] = shrink_threshold(4, D, false);
    limit2d_c[j] = keep_limit(limit_mult4_c[j], D, false);
  }
  settings_derived = true;
}

BOOL func_update(FILTER* fp, int /*status*/) {
  derive_settings(fp->track, fp->check);
  empty_ring();
  return 1;
}
