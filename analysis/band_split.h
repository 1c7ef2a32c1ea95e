// Three-band split of a periodic line and the merge of its two low-derived bands.
//
// One split level turns a periodic line x of n samples into three bands of
// m = n/2 samples: L (the Daubechies-4 low band re-expressed by the half-sample
// interpolator u, split again at the next level), Ha (the same low band seen
// through the complementary filter v) and Hb (the Daubechies-4 high band). The
// three together keep the line's energy; the low merge turns L and Ha back into
// the ordinary Daubechies-4 low band.
//
// The single-line kernels here define the arithmetic; the stage runs the
// column-group kernels of columns.h, which repeat it lane by lane.
#pragma once

// Ten-tap filters giving L[k] and Ha[k] from x[2k-4 .. 2k+5] (indices mod n),
// each the exact value rounded once to single precision.
inline constexpr float split_low[10] = {
    -0x1.ee8dd4p-6f, -0x1.ac4bdep-5f, 0x1.07d768p-2f, 0x1.ea1d98p-2f, 0x1.974b24p-2f,
    0x1.974b24p-2f,  0x1.88c9fap-4f,  -0x1.002764p-3f, -0x1.cb0bf0p-7f, 0x1.0907dcp-7f};
inline constexpr float split_high_a[10] = {
    0x1.0907dcp-7f, 0x1.cb0bf0p-7f, -0x1.002764p-3f, -0x1.cd6cd8p-3f, 0x1.638a56p-3f,
    0x1.c14c98p-2f, -0x1.1c0f1ep-8f, -0x1.07d768p-2f, -0x1.ac4bdep-5f, 0x1.ee8dd4p-6f};
// Daubechies-4 high-pass giving Hb[k] from x[2k .. 2k+3]: (h3, -h2, h1, -h0).
inline constexpr float split_high_b[4] = {-0x1.0907dcp-3f, -0x1.cb0bf0p-3f, 0x1.ac4bdep-1f,
                                          -0x1.ee8dd4p-2f};
// Merge taps at band offsets -1..2: u (for L) and v (for Ha).
inline constexpr float merge_low[4] = {-0x1p-4f, 0x1.2p-1f, 0x1.2p-1f, -0x1p-4f};
inline constexpr float merge_high_a[4] = {-0x1.ddb3d8p-3f, 0x1.eed9ecp-2f, -0x1.112614p-2f,
                                          0x1.126146p-6f};

// band_split(n, src, dst_a, dst_b): n a multiple of 8, n >= 16. Reads src[0, n).
// Writes L to dst_a[0, m), Ha to dst_a[m, n), Hb to dst_b[m, n) and nothing
// else, so one Hb line collects every level's Hb at [m, 2m). src must not
// overlap dst_a or dst_b; dst_a and dst_b 16-byte aligned.
typedef void (*band_split_fn)(int n, const float* src, float* dst_a, float* dst_b);
void band_split_ref(int n, const float* src, float* dst_a, float* dst_b);

// low_merge(src, m, dst): L = src[0, m), Ha = src[m, 2m), each periodic on its
// own; writes the Daubechies-4 low band to dst[0, m). m a multiple of 4, m >= 8;
// src and dst 16-byte aligned and not overlapping.
typedef void (*low_merge_fn)(const float* src, int m, float* dst);
void low_merge_ref(const float* src, int m, float* dst);
