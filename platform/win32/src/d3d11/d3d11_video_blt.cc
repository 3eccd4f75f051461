// VideoProcessorBlt's drawing: the target rectangle composed row by row from
// the background and the stream's picture scaled by area averaging, then
// written as RGB or as NV12. The rules are listed in d3d11_video.h.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "d3d11/d3d11_format.h"
#include "d3d11/d3d11_video.h"

namespace winsim::d3d11 {
namespace {

// R'G'B', each from 0 to 1.
struct Rgb {
  double r, g, b;
};

// Y, Cb and Cr as 8-bit code values (before rounding).
struct Ycc {
  double y, cb, cr;
};

// An input texture's pixels, or a copy of them, laid out as
// d3d11_texture.h describes.
struct Pixels {
  const BYTE* bits;
  UINT pitch;
  DXGI_FORMAT format;
  UINT height;
};

// One input pixel's share of an output pixel.
struct Tap {
  LONG index;
  double weight;
};

double Clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

// The Kr and Kb of the colour space's YCbCr matrix: BT.709 or BT.601.
void MatrixOf(const D3D11_VIDEO_PROCESSOR_COLOR_SPACE& space, double* kr, double* kb) {
  *kr = space.YCbCr_Matrix != 0 ? 0.2126 : 0.299;
  *kb = space.YCbCr_Matrix != 0 ? 0.0722 : 0.114;
}

bool FullRangeYcc(const D3D11_VIDEO_PROCESSOR_COLOR_SPACE& space) {
  return space.Nominal_Range == D3D11_VIDEO_PROCESSOR_NOMINAL_RANGE_0_255;
}

Ycc Encode(const Rgb& c, const D3D11_VIDEO_PROCESSOR_COLOR_SPACE& space) {
  double kr = 0, kb = 0;
  MatrixOf(space, &kr, &kb);
  const double y = kr * c.r + (1 - kr - kb) * c.g + kb * c.b;
  const double pb = (c.b - y) / (2 * (1 - kb)), pr = (c.r - y) / (2 * (1 - kr));
  if (FullRangeYcc(space)) return {255 * y, 128 + 255 * pb, 128 + 255 * pr};
  return {16 + 219 * y, 128 + 224 * pb, 128 + 224 * pr};
}

Rgb Decode(const Ycc& c, const D3D11_VIDEO_PROCESSOR_COLOR_SPACE& space) {
  double kr = 0, kb = 0;
  MatrixOf(space, &kr, &kb);
  const bool full = FullRangeYcc(space);
  const double y = full ? c.y / 255 : (c.y - 16) / 219;
  const double pb = (c.cb - 128) / (full ? 255 : 224), pr = (c.cr - 128) / (full ? 255 : 224);
  const double r = y + 2 * (1 - kr) * pr, b = y + 2 * (1 - kb) * pb;
  const double g = (y - kr * r - kb * b) / (1 - kr - kb);
  return {Clamp01(r), Clamp01(g), Clamp01(b)};
}

// Rounded half up, as lround would, without its cost per channel.
BYTE Code(double v) { return static_cast<BYTE>(std::clamp(v, 0.0, 255.0) + 0.5); }

// The values of an RGB channel's 256 bytes in full (0-255) or limited
// (16-235) range.
const double* ByteValues(bool limited) {
  static const auto* const kTables = [] {
    auto* tables = new std::array<std::array<double, 256>, 2>;
    for (int i = 0; i < 256; ++i) {
      (*tables)[0][i] = i / 255.0;
      (*tables)[1][i] = Clamp01((i - 16) / 219.0);
    }
    return tables;
  }();
  return (*kTables)[limited ? 1 : 0].data();
}

// An RGB channel's byte in full (0-255) or limited (16-235) range.
BYTE ToByte(double v, bool limited) {
  return Code(limited ? 16 + 219 * Clamp01(v) : 255 * Clamp01(v));
}

Rgb BackgroundOf(const VideoState& state) {
  const D3D11_VIDEO_COLOR& c = state.background;
  if (!state.background_ycbcr) return {Clamp01(c.RGBA.R), Clamp01(c.RGBA.G), Clamp01(c.RGBA.B)};
  return Decode({255.0 * c.YCbCr.Y, 255.0 * c.YCbCr.Cb, 255.0 * c.YCbCr.Cr}, state.output_space);
}

// For each output coordinate of [from, to), within the destination span
// [d0, d1), the input pixels of [s0, s1) it covers, weighted by coverage.
std::vector<std::vector<Tap>> TapsOf(LONG d0, LONG d1, LONG s0, LONG s1, LONG from, LONG to) {
  const double scale = static_cast<double>(s1 - s0) / (d1 - d0);
  std::vector<std::vector<Tap>> taps(static_cast<std::size_t>(std::max(to - from, LONG{0})));
  for (LONG d = from; d < to; ++d) {
    const double a = s0 + (d - d0) * scale, b = a + scale;
    const LONG first = std::max(static_cast<LONG>(std::floor(a)), s0);
    const LONG last = std::min(static_cast<LONG>(std::ceil(b)), s1);
    for (LONG i = first; i < last; ++i) {
      const double covered = std::min(b, i + 1.0) - std::max(a, static_cast<double>(i));
      if (covered > 1e-9) taps[d - from].push_back({i, covered / scale});
    }
  }
  return taps;
}

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.left >= r.right || r.top >= r.bottom) r = RECT{};
  return r;
}

bool Empty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

// Composes rows of the output's target rectangle, top to bottom. The
// scaling is separable: each input row is decoded and averaged across once,
// and kept while the output rows below it still use it.
class Composer {
 public:
  Composer(const VideoState& state, const std::optional<Pixels>& input,
           const D3D11_TEXTURE2D_DESC* input_desc, const D3D11_TEXTURE2D_DESC& output);

  const RECT& target() const { return target_; }
  // Row `y` of the target rectangle, target().left to target().right.
  void Row(LONG y, std::vector<Rgb>* row);

 private:
  // Input row `y` averaged across into the picture's columns.
  const std::vector<Rgb>& Across(LONG y);
  // Input row `y` from source_.left to source_.right, into decoded_.
  void Decode(LONG y);

  std::optional<Pixels> input_;
  D3D11_VIDEO_PROCESSOR_COLOR_SPACE input_space_{};
  Rgb background_;
  RECT target_{};
  RECT picture_{};  // the part of the target the stream draws
  RECT dest_{}, source_{};
  std::vector<std::vector<Tap>> columns_, rows_;  // the picture's
  std::vector<Rgb> decoded_;
  std::vector<std::pair<LONG, std::vector<Rgb>>> across_;  // by input row
};

Composer::Composer(const VideoState& state, const std::optional<Pixels>& input,
                   const D3D11_TEXTURE2D_DESC* input_desc, const D3D11_TEXTURE2D_DESC& output)
    : input_(input), input_space_(state.stream_space), background_(BackgroundOf(state)) {
  const RECT whole{0, 0, static_cast<LONG>(output.Width), static_cast<LONG>(output.Height)};
  target_ = state.target_enabled ? Intersect(state.target, whole) : whole;
  if (!input_ || !state.dest_enabled || Empty(state.dest)) return;
  dest_ = state.dest;
  source_ = state.source_enabled ? state.source
                                 : RECT{0, 0, static_cast<LONG>(input_desc->Width),
                                        static_cast<LONG>(input_desc->Height)};
  picture_ = Intersect(dest_, target_);
  columns_ =
      TapsOf(dest_.left, dest_.right, source_.left, source_.right, picture_.left, picture_.right);
  rows_ =
      TapsOf(dest_.top, dest_.bottom, source_.top, source_.bottom, picture_.top, picture_.bottom);
}

// Input row `y`: RGB as its colour space's RGB_Range says, NV12 through its
// YCbCr_Matrix and Nominal_Range with the chroma of each pixel's 2x2 block.
void Composer::Decode(LONG y) {
  const Pixels& in = *input_;
  const BYTE* line = in.bits + std::size_t{static_cast<UINT>(y)} * in.pitch;
  decoded_.resize(static_cast<std::size_t>(source_.right - source_.left));
  if (in.format == DXGI_FORMAT_NV12) {
    const BYTE* chroma = in.bits + std::size_t{in.height + static_cast<UINT>(y) / 2} * in.pitch;
    for (LONG x = source_.left; x < source_.right; ++x) {
      const BYTE* c = chroma + (x & ~LONG{1});
      decoded_[x - source_.left] =
          d3d11::Decode({1.0 * line[x], 1.0 * c[0], 1.0 * c[1]}, input_space_);
    }
    return;
  }
  const double* value = ByteValues(input_space_.RGB_Range != 0);
  const int red = in.format == DXGI_FORMAT_R8G8B8A8_UNORM ? 0 : 2;
  for (LONG x = source_.left; x < source_.right; ++x) {
    const BYTE* p = line + std::size_t{static_cast<UINT>(x)} * 4;
    decoded_[x - source_.left] = {value[p[red]], value[p[1]], value[p[2 - red]]};
  }
}

const std::vector<Rgb>& Composer::Across(LONG y) {
  for (const auto& [row, pixels] : across_) {
    if (row == y) return pixels;
  }
  Decode(y);
  std::vector<Rgb> pixels(columns_.size(), Rgb{0, 0, 0});
  for (std::size_t x = 0; x < columns_.size(); ++x) {
    Rgb& sum = pixels[x];
    for (const Tap& tap : columns_[x]) {
      const Rgb& c = decoded_[tap.index - source_.left];
      sum = {sum.r + tap.weight * c.r, sum.g + tap.weight * c.g, sum.b + tap.weight * c.b};
    }
  }
  across_.emplace_back(y, std::move(pixels));
  return across_.back().second;
}

void Composer::Row(LONG y, std::vector<Rgb>* row) {
  row->assign(static_cast<std::size_t>(target_.right - target_.left), background_);
  if (Empty(picture_) || y < picture_.top || y >= picture_.bottom) return;
  const std::vector<Tap>& taps = rows_[y - picture_.top];
  // Rows above this one's first input row are not needed again.
  across_.erase(std::remove_if(across_.begin(), across_.end(),
                               [&](const auto& kept) { return kept.first < taps.front().index; }),
                across_.end());
  Rgb* out = row->data() + (picture_.left - target_.left);
  std::fill(out, out + columns_.size(), Rgb{0, 0, 0});
  for (const Tap& tap : taps) {
    const std::vector<Rgb>& across = Across(tap.index);
    for (std::size_t x = 0; x < columns_.size(); ++x) {
      out[x] = {out[x].r + tap.weight * across[x].r, out[x].g + tap.weight * across[x].g,
                out[x].b + tap.weight * across[x].b};
    }
  }
}

void WriteRgb(Composer& composer, const D3D11_VIDEO_PROCESSOR_COLOR_SPACE& space, Texture& output) {
  const bool limited = space.RGB_Range != 0;
  const bool rgba = output.desc().Format == DXGI_FORMAT_R8G8B8A8_UNORM;
  const RECT& t = composer.target();
  BYTE* bits = output.bits();
  std::vector<Rgb> row;
  for (LONG y = t.top; y < t.bottom; ++y) {
    composer.Row(y, &row);
    BYTE* out = bits + std::size_t{static_cast<UINT>(y)} * output.row_pitch();
    for (LONG x = t.left; x < t.right; ++x) {
      const Rgb& c = row[x - t.left];
      BYTE* p = out + std::size_t{static_cast<UINT>(x)} * 4;
      p[rgba ? 0 : 2] = ToByte(c.r, limited);
      p[1] = ToByte(c.g, limited);
      p[rgba ? 2 : 0] = ToByte(c.b, limited);
      p[3] = 255;
    }
  }
}

// NV12: luma per pixel; each 2x2 block's chroma from its pixels inside the
// target rectangle.
void WriteNv12(Composer& composer, const D3D11_VIDEO_PROCESSOR_COLOR_SPACE& space,
               Texture& output) {
  const RECT& t = composer.target();
  const UINT pitch = output.row_pitch();
  BYTE* bits = output.bits();
  BYTE* chroma_plane = bits + std::size_t{pitch} * output.desc().Height;
  std::vector<Rgb> rows[2];
  for (LONG pair = t.top & ~LONG{1}; pair < t.bottom; pair += 2) {
    for (int i = 0; i < 2; ++i) {
      rows[i].clear();
      const LONG y = pair + i;
      if (y < t.top || y >= t.bottom) continue;
      composer.Row(y, &rows[i]);
      BYTE* luma = bits + std::size_t{static_cast<UINT>(y)} * pitch;
      for (LONG x = t.left; x < t.right; ++x) luma[x] = Code(Encode(rows[i][x - t.left], space).y);
    }
    BYTE* chroma = chroma_plane + std::size_t{static_cast<UINT>(pair / 2)} * pitch;
    for (LONG block = t.left & ~LONG{1}; block < t.right; block += 2) {
      Rgb sum{0, 0, 0};
      int count = 0;
      for (const std::vector<Rgb>& row : rows) {
        for (LONG x = std::max(block, t.left); x < std::min(block + 2, t.right) && !row.empty();
             ++x) {
          const Rgb& c = row[x - t.left];
          sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
          ++count;
        }
      }
      const Ycc ycc = Encode({sum.r / count, sum.g / count, sum.b / count}, space);
      chroma[block] = Code(ycc.cb);
      chroma[block + 1] = Code(ycc.cr);
    }
  }
}

void Draw(const VideoState& state, const std::optional<Pixels>& input,
          const D3D11_TEXTURE2D_DESC* input_desc, Texture& output) {
  Composer composer(state, input, input_desc, output.desc());
  if (Empty(composer.target())) return;
  if (DescribeFormat(output.desc().Format).group == FormatGroup::kNv12) {
    WriteNv12(composer, state.output_space, output);
  } else {
    WriteRgb(composer, state.output_space, output);
  }
}

}  // namespace

void ProcessVideo(const VideoState& state, Texture* input, Texture& output) {
  if (input == nullptr) {
    std::lock_guard<std::mutex> lock(output.mutex());
    Draw(state, std::nullopt, nullptr, output);
    return;
  }
  const D3D11_TEXTURE2D_DESC& desc = input->desc();
  if (input == &output) {
    // Reading and writing one texture: the picture is read from a copy.
    std::lock_guard<std::mutex> lock(output.mutex());
    const std::vector<BYTE> copy(
        output.read_bits(),
        output.read_bits() + std::size_t{output.row_pitch()} * RowCountOf(desc));
    Draw(state, Pixels{copy.data(), output.row_pitch(), desc.Format, desc.Height}, &desc, output);
    return;
  }
  std::scoped_lock lock(input->mutex(), output.mutex());
  Draw(state, Pixels{input->read_bits(), input->row_pitch(), desc.Format, desc.Height}, &desc,
       output);
}

}  // namespace winsim::d3d11
