#include "ui/GradientBands.h"

#include <algorithm>
#include <cstdlib>

namespace qv {

namespace {
int Component(uint32_t rgb, int shift) {
  return static_cast<int>((rgb >> shift) & 0xFF);
}

void Segment(std::vector<GradientBand>& bands, int32_t colorA, int32_t colorB, uint32_t rgbA,
             uint32_t rgbB, int x, int y, int width, int height, bool horizontal) {
  if (colorA == colorB)
    return;
  int start[3];
  int diff[3];
  int spread = 0;
  for (int c = 0; c < 3; ++c) {
    start[c] = Component(rgbA, 8 * c);
    diff[c] = (Component(rgbB, 8 * c) - start[c]) * 100;
    spread = std::max(spread, std::abs(diff[c]));
  }
  if (spread == 0)
    return;
  const int length = horizontal ? width : height;
  if (length <= 0)
    return;
  const int thickness = spread >= length * 100 ? 1 : ((spread / 100) + length - 1) * 100 / spread;
  const int count = length / thickness;
  int current = thickness;
  for (int i = 0; i <= count; ++i) {
    if ((i + 1) * thickness > length)
      current = length - i * thickness;
    uint32_t rgb = 0;
    for (int c = 0; c < 3; ++c) {
      const int value = start[c] + ((diff[c] / count) * i) / 100;
      rgb |= static_cast<uint32_t>(value & 0xFF) << (8 * c);
    }
    if (horizontal) {
      bands.push_back({x + i * thickness, y, x + i * thickness + current, y + height, rgb});
    } else {
      bands.push_back({x, y + i * thickness, x + width, y + i * thickness + current, rgb});
    }
  }
}
}  // namespace

int ClampPercent(int percent) {
  return std::clamp(percent, 1, 100);
}

std::vector<GradientBand> ComputeGradientBands(const GradientInput& in) {
  std::vector<GradientBand> bands;
  const int inset = in.inset;
  const int w = in.clientWidth - 2 * inset;
  const int h = in.clientHeight - 2 * inset;
  if (in.percent >= 100) {
    Segment(bands, in.color1, in.color2, in.rgb1, in.rgb2, inset, inset, w, h, in.horizontal);
    return bands;
  }
  const auto part = [&in](int extent) {
    const int value = extent * in.percent / 100;
    return value == 0 ? 1 : value;
  };
  if (in.horizontal) {
    Segment(bands, in.color1, in.color2, in.rgb1, in.rgb2, inset, inset, part(w), h, true);
    Segment(bands, in.color2, in.color3, in.rgb2, in.rgb3, inset + part(w), inset, w - part(w), h,
            true);
  } else {
    Segment(bands, in.color1, in.color2, in.rgb1, in.rgb2, inset, inset, w, part(h), false);
    Segment(bands, in.color2, in.color3, in.rgb2, in.rgb3, inset, inset + part(h), w, h - part(h),
            false);
  }
  return bands;
}

}  // namespace qv
