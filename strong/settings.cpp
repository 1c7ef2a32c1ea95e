// The settings rule of the strong filter: everything from the noise level.
#include "strong/strong.h"

strong_params strong_params_for(float sigma_luma, float sigma_chroma) {
  strong_params p;
  p.sigma_luma = sigma_luma;
  p.sigma_chroma = sigma_chroma;
  const float s = sigma_luma > sigma_chroma ? sigma_luma : sigma_chroma;
  p.radius = s <= 0.0f ? 0 : 3;
  p.search_range = 4;
  p.block_low = 2.0f;
  p.block_high = 4.0f;
  p.sample_low = 6.0f;
  p.sample_high = 16.0f;
  return p;
}
