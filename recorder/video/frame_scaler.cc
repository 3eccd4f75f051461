#include "recorder/video/frame_scaler.h"

#include <algorithm>
#include <cstring>
#include <utility>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#endif

namespace morl::recorder {

namespace {

// Row weights sum to 1 << kRowWeightBits, so that 255 times that fits the 16
// bits of a row sum; column weights are finer, as the column pass has the
// range to spare.
constexpr int kRowWeightBits = 8;
constexpr int kColumnWeightBits = 12;
constexpr std::size_t kBytesPerPixel = 4;

bool UsableSize(FrameSize size) {
  return size.width >= 1 && size.height >= 1 && size.width <= FrameScaler::kMaxSide &&
         size.height <= FrameScaler::kMaxSide;
}

std::int32_t EvenDown(std::int32_t value) { return value & ~std::int32_t{1}; }

// `numerator` x `scale` / `denominator`, rounded down to even but at least 2.
std::int32_t ScaledEvenSide(std::int64_t numerator, std::int64_t scale, std::int64_t denominator) {
  const auto side = static_cast<std::int32_t>(numerator * scale / denominator);
  return std::max<std::int32_t>(2, EvenDown(side));
}

}  // namespace

FrameSize FitFrameSize(FrameSize source, FrameSize limit) {
  if (source.width < 2 || source.height < 2 || limit.width < 2 || limit.height < 2) return {0, 0};
  const FrameSize even{EvenDown(source.width), EvenDown(source.height)};
  const FrameSize bound{EvenDown(limit.width), EvenDown(limit.height)};
  if (even.width <= bound.width && even.height <= bound.height) return even;

  // The side that overflows the bound relatively more takes the bound; the
  // other follows from the source's own ratio (not the even-rounded one), in
  // exact integer arithmetic. Neither side can grow: the fitted side is the
  // bound, which the source exceeds, and the other shrinks by the same ratio.
  const std::int64_t w = source.width, h = source.height;
  if (w * bound.height >= h * bound.width) {
    return {bound.width, ScaledEvenSide(h, bound.width, w)};
  }
  return {ScaledEvenSide(w, bound.height, h), bound.height};
}

FrameSize FitInside(FrameSize source, FrameSize bound) {
  if (source.width < 2 || source.height < 2 || bound.width < 2 || bound.height < 2) return {0, 0};
  const FrameSize even{EvenDown(bound.width), EvenDown(bound.height)};
  const std::int64_t w = source.width, h = source.height;
  if (w * even.height >= h * even.width) {
    return {even.width, std::min(even.height, ScaledEvenSide(h, even.width, w))};
  }
  return {std::min(even.width, ScaledEvenSide(w, even.height, h)), even.height};
}

FrameScaler::FrameScaler(FrameSize from, FrameSize to) {
  if (!UsableSize(from) || !UsableSize(to)) return;
  columns_ = AreaTaps(from.width, to.width, kColumnWeightBits);
  rows_ = AreaTaps(from.height, to.height, kRowWeightBits);
  // The column pass multiplies row sums (bytes times 1 << kRowWeightBits) by
  // column weights; scaling the weights here makes its result bytes again.
  const float unit = 1.0f / static_cast<float>(1 << (kRowWeightBits + kColumnWeightBits));
  for (std::uint16_t weight : columns_.weights) column_weights_.push_back(weight * unit);
  row_sums_.resize(static_cast<std::size_t>(from.width) * kBytesPerPixel);
}

FrameScaler::AxisTaps FrameScaler::AreaTaps(std::int32_t from, std::int32_t to, int weight_bits) {
  const std::int64_t one = std::int64_t{1} << weight_bits;
  // Measured in 1/to of a source pixel, target pixel j covers
  // [j * from, (j + 1) * from) and source pixel i covers [i * to, (i + 1) * to),
  // so every overlap is a whole number and the overlaps of one target pixel
  // add up to `from`.
  struct Span {
    std::int64_t first;
    std::vector<std::int64_t> weights;
  };
  std::vector<Span> spans(static_cast<std::size_t>(to));
  std::size_t count = 0;
  for (std::int64_t j = 0; j < to; ++j) {
    Span& span = spans[static_cast<std::size_t>(j)];
    const std::int64_t begin = j * from, end = begin + from;
    span.first = begin / to;
    std::int64_t total = 0;
    std::size_t heaviest = 0;
    for (std::int64_t i = span.first; i * to < end; ++i) {
      const std::int64_t overlap = std::min((i + 1) * to, end) - std::max(i * to, begin);
      span.weights.push_back(overlap * one / from);
      total += span.weights.back();
      if (span.weights.back() > span.weights[heaviest]) heaviest = span.weights.size() - 1;
    }
    // Rounded down, the weights fall short of one by less than one unit per
    // tap; the shortfall goes to the heaviest tap so they sum to exactly one.
    span.weights[heaviest] += one - total;
    // Taps whose weight rounded to nothing at either end need not be read.
    while (span.weights.back() == 0) span.weights.pop_back();
    while (span.weights.front() == 0) {
      span.weights.erase(span.weights.begin());
      ++span.first;
    }
    count = std::max(count, span.weights.size());
  }

  // Each span is padded to `count` taps with zero weights, on the right where
  // the line has room and else on the left, so no tap lies outside the line.
  AxisTaps taps;
  taps.count = static_cast<std::int32_t>(count);
  taps.first.reserve(spans.size());
  taps.weights.reserve(spans.size() * count);
  for (const Span& span : spans) {
    const std::int64_t first =
        std::min(span.first, static_cast<std::int64_t>(from) - static_cast<std::int64_t>(count));
    taps.first.push_back(static_cast<std::int32_t>(first));
    const auto lead = static_cast<std::size_t>(span.first - first);
    taps.weights.insert(taps.weights.end(), lead, 0);
    for (std::int64_t weight : span.weights) {
      taps.weights.push_back(static_cast<std::uint16_t>(weight));
    }
    taps.weights.insert(taps.weights.end(), count - lead - span.weights.size(), 0);
  }
  return taps;
}

namespace {

// sums[i] = the weighted sum over the rows k... from `line` of their byte i
// (added to sums[i] when kAdd), for the first `bytes` bytes of each row. Row
// weights sum to 256, so each sum fits 16 bits and the vectoriser goes
// through eight or sixteen bytes at a time (see CMakeLists.txt). The rows are
// a pack so that the sum over them is written out unrolled: the vectoriser
// then sees one loop, whatever the optimisation level.
template <bool kAdd, std::size_t... k>
void SumRows(const std::uint8_t* line, std::ptrdiff_t stride, const std::uint16_t* weights,
             std::size_t bytes, std::uint16_t* __restrict sums, std::index_sequence<k...>) {
  const std::uint8_t* __restrict lines[] = {line + static_cast<std::ptrdiff_t>(k) * stride...};
  const std::uint16_t weight[] = {weights[k]...};
  for (std::size_t i = 0; i < bytes; ++i) {
    std::uint16_t sum = kAdd ? sums[i] : 0;
    ((sum = static_cast<std::uint16_t>(sum + weight[k] * lines[k][i])), ...);
    sums[i] = sum;
  }
}

template <int kTaps, bool kAdd = false>
void SumRows(const std::uint8_t* line, std::ptrdiff_t stride, const std::uint16_t* weights,
             std::size_t bytes, std::uint16_t* sums) {
  SumRows<kAdd>(line, stride, weights, bytes, sums, std::make_index_sequence<kTaps>());
}

// The same for any number of rows.
void SumAnyRows(const std::uint8_t* line, std::ptrdiff_t stride, const std::uint16_t* weights,
                std::int32_t taps, std::size_t bytes, std::uint16_t* sums) {
  SumRows<1>(line, stride, weights, bytes, sums);
  for (std::int32_t k = 1; k < taps; ++k) {
    SumRows<1, true>(line + k * stride, stride, weights + k, bytes, sums);
  }
}

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define MORL_SCALER_SSE2 1
#endif

// One target pixel: the four bytes of `taps` pixels of sums from `pixel`,
// weighted, plus one half, truncated and kept to their low 8 bits. The four
// bytes go through as four lanes, in single precision: SSE2 has no 32-bit
// integer multiply, and every sum and weight is exact in a float. The
// optimisers do not turn the plain loop into this on their own.
inline void ReducePixel(const std::uint16_t* pixel, const float* weights, std::int32_t taps,
                        std::uint8_t* out) {
#if MORL_SCALER_SSE2
  __m128 acc = _mm_set1_ps(0.5f);
  const __m128i zero = _mm_setzero_si128();
  for (std::int32_t k = 0; k < taps; ++k, pixel += kBytesPerPixel) {
    const __m128i words = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pixel));
    const __m128 lanes = _mm_cvtepi32_ps(_mm_unpacklo_epi16(words, zero));
    acc = _mm_add_ps(acc, _mm_mul_ps(_mm_set1_ps(weights[k]), lanes));
  }
  const __m128i low = _mm_and_si128(_mm_cvttps_epi32(acc), _mm_set1_epi32(0xFF));
  const __m128i words = _mm_packs_epi32(low, zero);
  const int bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, zero));
  std::memcpy(out, &bytes, kBytesPerPixel);
#else
  float acc[kBytesPerPixel] = {0.5f, 0.5f, 0.5f, 0.5f};
  for (std::int32_t k = 0; k < taps; ++k, pixel += kBytesPerPixel) {
    for (std::size_t c = 0; c < kBytesPerPixel; ++c) {
      acc[c] += weights[k] * static_cast<float>(pixel[c]);
    }
  }
  for (std::size_t c = 0; c < kBytesPerPixel; ++c) {
    out[c] = static_cast<std::uint8_t>(static_cast<std::int32_t>(acc[c]));
  }
#endif
}

// Reduces one row of sums to `pixels` target pixels, `kTaps` sums each
// (`taps` when kTaps is 0), and rounds the four bytes of each to 8 bits.
template <int kTaps>
void ReduceColumns(const std::uint16_t* sums, const std::int32_t* first, const float* weights,
                   std::int32_t taps, std::size_t pixels, std::uint8_t* out) {
  if (kTaps != 0) taps = kTaps;
  for (std::size_t j = 0; j < pixels; ++j, weights += taps, out += kBytesPerPixel) {
    ReducePixel(sums + static_cast<std::size_t>(first[j]) * kBytesPerPixel, weights, taps, out);
  }
}

}  // namespace

void FrameScaler::Scale(const std::uint8_t* source, std::ptrdiff_t source_stride,
                        std::uint8_t* target) const {
  if (row_sums_.empty()) return;
  // Only the rowBytes that hold pixels are read from each source row, so the
  // padding of a wide stride and the memory after the last row are not.
  const std::size_t row_bytes = row_sums_.size();
  const std::size_t target_width = columns_.first.size();
  std::uint16_t* const sums = row_sums_.data();
  const auto reduce = columns_.count == 1   ? ReduceColumns<1>
                      : columns_.count == 2 ? ReduceColumns<2>
                      : columns_.count == 3 ? ReduceColumns<3>
                      : columns_.count == 4 ? ReduceColumns<4>
                                            : ReduceColumns<0>;
  for (std::size_t y = 0; y < rows_.first.size(); ++y) {
    const std::uint8_t* line = source + static_cast<std::ptrdiff_t>(rows_.first[y]) * source_stride;
    const std::uint16_t* weights = rows_.weights.data() + y * static_cast<std::size_t>(rows_.count);
    switch (rows_.count) {
      case 1:
        SumRows<1>(line, source_stride, weights, row_bytes, sums);
        break;
      case 2:
        SumRows<2>(line, source_stride, weights, row_bytes, sums);
        break;
      case 3:
        SumRows<3>(line, source_stride, weights, row_bytes, sums);
        break;
      case 4:
        SumRows<4>(line, source_stride, weights, row_bytes, sums);
        break;
      default:
        SumAnyRows(line, source_stride, weights, rows_.count, row_bytes, sums);
        break;
    }
    reduce(sums, columns_.first.data(), column_weights_.data(), columns_.count, target_width,
           target + y * target_width * kBytesPerPixel);
  }
}

}  // namespace morl::recorder
