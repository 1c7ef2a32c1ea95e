// The parameter records the driver hands its stages (as param1 of the
// editor's worker call).
#pragma once

#include <cstdint>

#include "host/host_api.h"

// Pre-filters (prefilter/).
struct prefilter_params {
  const PIXEL_YC* src;   // frame to filter
  const PIXEL_YC* prev;  // previous source frame (mosquito pass)
  const PIXEL_YC* next;  // next source frame (mosquito pass)
  int32_t field_step;    // 2 with per-field processing, else 1
  int32_t strength_a;    // block NR difference limit: BlockNR * 8
  int32_t strength_b;    // block NR sum limit: BlockNR * 16
  int32_t strength_c;    // mosquito NR limit
  uint8_t anime;         // copy of anime_mode
};

// Spatial analysis (analysis/).
struct analysis_params {
  const PIXEL_YC* src;  // frame to analyse
  int32_t slot;         // ring slot receiving its bands
  uint8_t field_mode;   // copy of field_mode
};
