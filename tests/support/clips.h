// Deterministic test clips (seeded noise over gradients, edges and texture)
// and frame hashes.
#pragma once

#include <cstdint>
#include <vector>

#include "host/host_api.h"

// A well-mixed 32-bit hash of v: seeded noise and patterns.
uint32_t hash_mix(uint32_t v);

// Pixel (x, y) of frame n of a clip: a picture that drifts by `motion` pixels
// per frame, plus seeded noise of the given amplitude (0: none).
PIXEL_YC clip_pixel(uint32_t seed, int n, int x, int y, int noise, int motion);
// The picture without noise (motion included).
PIXEL_YC clean_pixel(int n, int x, int y, int motion);

// FNV-1a over the w x h pixels of a frame with row pitch max_w.
uint64_t frame_hash(const PIXEL_YC* frame, int w, int h, int max_w);
