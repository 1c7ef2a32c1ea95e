// Values derived from the user's settings (track bars and check boxes) that the
// stages read while processing a frame. Recomputed on every setting change.
#pragma once

#include <cstdint>

extern int32_t frame_radius;  // temporal radius R: the window has 2R + 1 frames
extern uint8_t anime_mode;    // 1 with anime mode on
extern uint8_t field_mode;    // 1 with per-field processing on

// Temporal thresholds (compared with absolute coefficient differences).
extern float thr3d_y_low_v;       // luma coarsest band, vertical-low canvas rows
extern float thr3d_y_low_h;       // luma coarsest band, vertical-high canvas rows
extern float thr3d_y_high[3];     // luma detail bands by level - 1 (entry 0 unused)
extern float thr3d_c_low;         // chroma coarsest band
extern float thr3d_c_high[3];     // chroma detail bands, levels 1 to 3
extern float level4_threshold[2]; // level-4 detail bands: [0] luma, [1] chroma

// Spatial shrink thresholds and keep-mask limits, levels 1 to 4.
extern float thr2d_y[4];
extern float limit2d_y[4];
extern float thr2d_c[4];
extern float limit2d_c[4];

// Track-bar and check-box indices.
enum {
  track_frame = 0,
  track_w3dyl,
  track_w3dyh,
  track_w2dy,
  track_w3dcl,
  track_w3dch,
  track_w2dc,
  track_mosq_nr,
  track_block_nr,
  track_count
};
enum { check_field = 0, check_anime, check_mosquito, check_block, check_count };

// Recomputes every derived value from the raw settings (does not touch the ring).
void derive_settings(const int* track, const int* check);
// Whether derive_settings has run since the process started: until then the
// values above hold their initial zeros and a frame cannot be processed.
extern bool settings_derived;
