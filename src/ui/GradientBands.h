#pragma once
// The gradient panel's arithmetic: which rectangles to fill with which
// colours. Signed 32-bit integer arithmetic throughout, divisions truncating
// toward zero, colour differences scaled by 100.
#include <cstdint>
#include <vector>

namespace qv {

struct GradientBand {
  int left;
  int top;
  int right;
  int bottom;
  uint32_t rgb;  // 0x00BBGGRR
  bool operator==(const GradientBand&) const = default;
};

struct GradientInput {
  int clientWidth = 0;
  int clientHeight = 0;
  int inset = 0;  // bevel widths of the lowered or raised bevels
  // Colours as stored (before system colours are resolved), and resolved.
  int32_t color1 = 0, color2 = 0, color3 = 0;
  uint32_t rgb1 = 0, rgb2 = 0, rgb3 = 0;
  bool horizontal = true;
  int percent = 100;
};

// The bands of the whole gradient, first segment first.
std::vector<GradientBand> ComputeGradientBands(const GradientInput& input);

// Clamps a percentage to 1..100.
int ClampPercent(int percent);

}  // namespace qv
