// One level of line synthesis shared by the spatial analysis and the temporal
// filter: rebuilds 2n samples from L = a[0, n), Ha = a[n, 2n), Hb = b[n, 2n).
#pragma once

// n a multiple of 4 and at least 8; a and b 16-byte aligned; out does not
// overlap a or b. b[0, n) is not read. Writes out[0, 2n) and nothing else.
// Called through temporal_kernels.synthesize_level (temporal_kernels.h).
typedef void (*synthesize_level_fn)(const float* a, const float* b, int n, float* out);

void synthesize_level_ref(const float* a, const float* b, int n, float* out);
void synthesize_level_sse2(const float* a, const float* b, int n, float* out);
void synthesize_level_avx2(const float* a, const float* b, int n, float* out);

// Folded taps at band offsets o = -2 .. 2 (index o + 2). The Daubechies-4
// synthesis of the low band rebuilt from L and Ha by the four-tap pair
// u = (-1, 9, 9, -1)/16 and v = (-(2+r3), 6+r3, -(6-r3), 2-r3)/16 (r3 = sqrt 3):
// synth_low_even[o] = h0 u[o] + h2 u[o+1], synth_low_odd[o] = h1 u[o] + h3 u[o+1],
// and the same with v for the Ha taps. Each is the exact value rounded once.
inline constexpr float synth_low_even[5] = {-0x1.cb0bf0p-7f, 0x1.88c9fap-4f, 0x1.974b24p-2f,
                                            0x1.07d768p-2f, -0x1.ee8dd4p-6f};
inline constexpr float synth_low_odd[5] = {0x1.0907dcp-7f, -0x1.002764p-3f, 0x1.974b24p-2f,
                                           0x1.ea1d98p-2f, -0x1.ac4bdep-5f};
inline constexpr float synth_high_a_even[5] = {-0x1.ac4bdep-5f, -0x1.1c0f1ep-8f, 0x1.638a56p-3f,
                                               -0x1.002764p-3f, 0x1.0907dcp-7f};
inline constexpr float synth_high_a_odd[5] = {0x1.ee8dd4p-6f, -0x1.07d768p-2f, 0x1.c14c98p-2f,
                                              -0x1.cd6cd8p-3f, 0x1.cb0bf0p-7f};
// Daubechies-4 scaling taps h0..h3. Hb enters even outputs as h1 Hb[i-1] + h3 Hb[i],
// odd outputs as (-h0) Hb[i-1] + (-h2) Hb[i].
inline constexpr float d4_h[4] = {0x1.ee8dd4p-2f, 0x1.ac4bdep-1f, 0x1.cb0bf0p-3f, -0x1.0907dcp-3f};

// Output pair i from l[o] = L[i-2+o], ha[o] = Ha[i-2+o] (o = 0..4) and Hb[i-1],
// Hb[i]: each product rounded, then summed as
//   ((((p-2 + p-1) + (p0 + p1)) + p2) + (((q-2 + q-1) + (q0 + q1)) + q2)) + (r1 + r2).
inline void synthesize_pair(const float* l, const float* ha, float hb_prev, float hb_here,
                            float* even, float* odd) {
  float pe[5], po[5], qe[5], qo[5];
  for (int o = 0; o < 5; ++o) {
    pe[o] = synth_low_even[o] * l[o];
    po[o] = synth_low_odd[o] * l[o];
    qe[o] = synth_high_a_even[o] * ha[o];
    qo[o] = synth_high_a_odd[o] * ha[o];
  }
  const float neg_h0 = -d4_h[0];
  const float neg_h2 = -d4_h[2];
  float pse = ((pe[0] + pe[1]) + (pe[2] + pe[3])) + pe[4];
  float qse = ((qe[0] + qe[1]) + (qe[2] + qe[3])) + qe[4];
  float pso = ((po[0] + po[1]) + (po[2] + po[3])) + po[4];
  float qso = ((qo[0] + qo[1]) + (qo[2] + qo[3])) + qo[4];
  *even = (pse + qse) + (d4_h[1] * hb_prev + d4_h[3] * hb_here);
  *odd = (pso + qso) + (neg_h0 * hb_prev + neg_h2 * hb_here);
}
