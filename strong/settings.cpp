// The settings rule of the strong filter: everything from the noise level.
#include "strong/strong_filter.h"

strong_params strong_params_for(float sigma_luma, float sigma_chroma) {
  strong_params p;
  p.sigma_luma = sigma_luma;
  p.sigma_chroma = sigma_chroma;
  const float s = sigma_luma > sigma_chroma ? sigma_luma : sigma_chroma;
  // More frames where there is more noise to average: at low levels the
  // nearest neighbours already bring the error down to what the sub-pixel
  // alignment leaves, and every frame costs a motion search.
  p.radius = !(s > 0.0f) ? 0 : s < 4.0f ? 2 : s < 7.0f ? 3 : 4;
  p.search_range = 3;
  p.block_low = 2.0f;
  p.block_high = 4.0f;
  p.sample_low = 6.0f;
  p.sample_high = 16.0f;
  // The mean of the other samples of a matching block is the expected
  // mismatch within about 0.09 of it (240 samples and more): from 1.1 on, the
  // difference holds more than noise. Wider (1.25 to 1.5) gave graphics
  // under a noise level read too high (--sigma auto on clean moving cells
  // with a fading trail) 0.13 dB less than before; narrower (1 to 1.2), less
  // of the gain where one-pixel cells turn over.
  p.inlier_low = 1.1f;
  p.inlier_high = 1.3f;
  // Where changes are, the samples beside them may have changed by less than
  // sample_high: half the limits (3 to 8 times the expected mismatch) keep a
  // talking face or a fading trail from smearing (left at 1, 0.02 dB lower
  // on the people clip at sigma 5, 0.3 on the trail), for 0.08 dB of the
  // gain on one-pixel cells.
  p.robust_sample_scale = 0.5f;
  // An offset of 8 deviations keeps 80% of itself, one of 4 half, one of 2 a
  // fifth: a fade's offsets are mostly taken out, while the noise of a zero
  // offset (taken out whole, it would leave every block's mean undenoised) is
  // mostly kept in the mean. Smaller values cost the still and panning scenes
  // of the tests up to 0.1 dB, larger ones the fade.
  p.offset_shrink = 16.0f;
  // The noise taken as white until strong_set_coarse says otherwise.
  p.coarse_luma = sigma_luma;
  p.coarse_chroma = sigma_chroma;
  // The spread of a matching block's 16 luma cells is the noise's times a
  // chi-square of 15 degrees over 15: above 2 for one block in about 80,
  // above 4 for about none; chroma's 4 cells (4:2:0) give 3 degrees, which
  // pass 4 to 8 as rarely. From 3 (luma) the random crops of one photo lost
  // 0.4 to 0.5 dB of the gain and the fade 0.1 to 0.2; from 2 the smoothest
  // of pictures at far-apart places (a test scene of sines) keeps less of
  // what the blocks found by chance there gave it.
  p.cell_low = 2.0f;
  p.cell_high = 4.0f;
  p.cell_low_chroma = 4.0f;
  p.cell_high_chroma = 8.0f;
  // A fiftieth of the block's own cells' spread: the scenes of the tests
  // with sub-pixel and fast pans lost up to 2 dB without it (their textured
  // blocks, matched to a quarter pixel, differ in their cells' means by more
  // than the noise does), less than 0.05 dB with it.
  p.cell_structure = 0.02f;
  // Blocks whose structure is above the noise (a variance twice the
  // noise's, from 1.5 to 2.5 times it) tell a related neighbour from an
  // unrelated one: on clips of moving pictures 40 to 95 % of their
  // structure matches each neighbour (a fade to black down to 7 % at five
  // pictures away, rippling water 10 to 20 %); between crops of one large
  // photo far apart, and across cuts, 0 to 12 %.
  p.structured_low = 1.5f;
  p.structured_high = 2.5f;
  p.related_low = 0.1f;
  p.related_high = 0.2f;
  p.spatial_strength = 1.0f;
  // Where the temporal mean's weight sum falls below about 2.5 (the ends of
  // a clip with radius 2 stay above, at 3).
  p.transform_min_share = 0.4f;
  // And where the temporal mean took in at least four fifths of the window's
  // weight but the noise it left is above 3 (sigma 5 and up): there the 5x5
  // pass keeps what is left around edges and texture, and on smooth, large
  // pictures (4K, the clips scaled 2x) the block transform removes most of
  // it. Where fewer neighbours matched (pictures unlike their neighbours,
  // graphics, noise that is not white) it did worse than the 5x5 pass. (At
  // sigma 3, radius 2, a whole window leaves 9 / 5, below the floor; with a
  // floor of 2 and no window limit sigma 3 gained 0.1 dB for a third more
  // processor time.)
  p.transform_noise_floor = 3.0f;
  p.transform_window_part = 0.8f;
  return p;
}

namespace {

float ratio_of(const noise_reading& r) {
  return r.sigma > 0.0f && r.coarse > r.sigma ? r.coarse / r.sigma : 1.0f;
}

}  // namespace

void strong_set_coarse(strong_params* params, const noise_reading& luma,
                       const noise_reading& chroma) {
  params->coarse_luma = params->sigma_luma * ratio_of(luma);
  params->coarse_chroma = params->sigma_chroma * ratio_of(chroma);
  params->coloured_luma = luma.coloured ? ratio_of(luma) : 1.0f;
  params->coloured_chroma = chroma.coloured ? ratio_of(chroma) : 1.0f;
}
