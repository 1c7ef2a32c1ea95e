// Scalar pixel packing: row by row, one pixel pair at a time. The chroma
// planes hold one line per pixel pair, running down the canvas rows:
//
//   cb line x/2:  | row 0 | row 1 | ... |     pixel (x, k) takes sample k
#include "temporal/pixel_pack.h"
#include "temporal/sample_convert.h"

void pack_pixel_rows_ref(const float* luma, ptrdiff_t luma_stride, const int16_t* cb,
                         const int16_t* cr, ptrdiff_t chroma_stride, int w, PIXEL_YC* dst,
                         ptrdiff_t dst_stride) {
  for (int k = 0; k < 8; ++k) {
    const float* y = luma + k * luma_stride;
    PIXEL_YC* out = dst + k * dst_stride;
    for (int x = 0; x < w; x += 2) {
      const int16_t u = cb[(x / 2) * chroma_stride + k], v = cr[(x / 2) * chroma_stride + k];
      out[x] = PIXEL_YC{sample_to_int16(y[x]), u, v};
      out[x + 1] = PIXEL_YC{sample_to_int16(y[x + 1]), u, v};
    }
  }
}
