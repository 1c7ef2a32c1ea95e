// Turns the raw settings into the thresholds and flags the stages read.
#include "host/settings.h"

#include "driver/buffers.h"
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
// c = 0.1f and k = 0.8192f as single-precision constants.
constexpr float c = 0.1f;
constexpr float k = 0.8192f;

// The editor keeps values inside the table's ranges; a host that does not is
// clamped here, so the window length can never exceed the ring's nine slots.
int clamp_setting(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }
}  // namespace

void derive_settings(const int* track, const int* check) {
  const int F = clamp_setting(track[track_frame], 1, 4);
  const float L = (float)clamp_setting(track[track_w3dyl], 0, 30);
  const float H = (float)clamp_setting(track[track_w3dyh], 0, 30);
  const float S = (float)clamp_setting(track[track_w2dy], 0, 30);
  const float CL = (float)clamp_setting(track[track_w3dcl], 0, 30);
  const float CH = (float)clamp_setting(track[track_w3dch], 0, 30);
  const float D = (float)clamp_setting(track[track_w2dc], 0, 30);
  const bool anime = check[check_anime] == 1;

  // Every value is evaluated left to right in single precision.
  frame_radius = F;
  anime_mode = anime ? 1 : 0;
  field_mode = check[check_field] == 1 ? 1 : 0;

  thr3d_y_low_v = anime ? 7.0f * L + c : 4.0f * L + c;
  thr3d_y_low_h = anime ? 3.5f * L + c : 2.0f * L + c;
  thr3d_y_high[0] = 0;
  thr3d_y_high[1] = anime ? 4.0f * H + c : 2.5f * H + c;
  thr3d_y_high[2] = 3.0f * H + c;
  thr3d_c_low = 7.0f * CL + c;
  thr3d_c_high[0] = 5.0f * CH + c;
  thr3d_c_high[1] = 4.0f * CH + c;
  thr3d_c_high[2] = 3.0f * CH + c;
  // The coarsest detail level is filtered with the level-3 thresholds.
  level4_threshold[0] = thr3d_y_high[2];
  level4_threshold[1] = thr3d_c_high[2];

  static const float thr_mult[4] = {2.0f, 2.5f, 3.0f, 4.5f};
  static const float limit_mult_y[4] = {3.0f, 5.0f, 7.0f, 11.25f};
  static const float limit_mult_c[4] = {3.0f, 4.0f, 4.5f, 6.5f};
  for (int j = 0; j < 4; ++j) {
    const float t = thr_mult[j] * S * k;
    const float m = limit_mult_y[j] * S;
    thr2d_y[j] = anime ? t : t * 0.5f;
    limit2d_y[j] = anime ? m : m * 0.5f;
    thr2d_c[j] = 2.0f * D * k;
    limit2d_c[j] = limit_mult_c[j] * D;
  }
}

BOOL func_update(FILTER* fp, int /*status*/) {
  derive_settings(fp->track, fp->check);
  empty_ring();
  return 1;
}
