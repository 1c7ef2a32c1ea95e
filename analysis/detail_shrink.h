// Hard thresholding of one level's two detail bands under a keep mask.
//
// A position j of the level is protected (keep[j] = 1.0, else 0.0) when
//   |A[j]| >= limit or |B[j]| >= limit                (unordered counts as true),
//   |A[j]| < floor or |B[j]| < floor                   (unordered counts as false),
//   |DA| >= limit or |DB| >= limit                      (unordered counts as true),
// with DA = ((A[j] + A[j]) - A[j-1]) - A[j+1] and the band's ends replicated
// (A[-1] = A[0], A[m] = A[m-1]); likewise DB. At unprotected positions each of
// A[j], B[j] with |x| <= t becomes +0; a threshold of exactly 0 acts as 0.0001.
//
// The single-line kernels here define the rule; the stage runs the fused
// column-group version of columns.h (keep_shrink), which repeats it lane by lane.
#pragma once

// The shrink threshold used in place of an exact 0.
inline constexpr float shrink_zero_threshold = 0x1.a36e2ep-14f;  // 0.0001
// The luma keep floor outside anime mode.
inline constexpr float luma_keep_floor = 0x1.99999ap-2f;  // 0.4

// keep_mask(a, b, m, limit, floor, keep): A = a[0, m), B = b[0, m); writes
// keep[0, m). m a multiple of 4, m >= 4; all pointers 16-byte aligned. keep may
// not overlap a or b.
typedef void (*keep_mask_fn)(const float* a, const float* b, int m, float limit, float floor,
                             float* keep);
void keep_mask_ref(const float* a, const float* b, int m, float limit, float floor, float* keep);

// shrink_details(a, b, keep, m, t): rewrites a[0, m) and b[0, m) in place.
// Same alignment and length rules.
typedef void (*shrink_details_fn)(float* a, float* b, const float* keep, int m, float t);
void shrink_details_ref(float* a, float* b, const float* keep, int m, float t);
