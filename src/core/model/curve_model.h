// The editable point model behind a custom-curve editor: one object per curve, bound to that
// curve of the settings image. It turns a stored curve into points and back (LoadCurve,
// ResetCurve, ApplyCurve) and holds the click, drag and delete rules in curve units. The
// editor windows only map pixels to curve units and draw.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/model/settings_image.h"

namespace tessel {

enum class CurveKind { kThrottle, kBrake, kBoost };

struct CurvePoint {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const CurvePoint&) const = default;
};

class CurveModel {
 public:
  CurveModel(CurveKind kind, EscSettingsImage& image);

  CurveKind kind() const { return kind_; }
  CurveData& curve();
  const CurveData& curve() const;

  // One-time initialisation of a new editor: clears the bound curve to the default line.
  void Initialise();
  void LoadCurve();
  void ResetCurve();
  void ApplyCurve();
  // The editor opens: CANCEL comes back to the curve and points as they are now.
  void BeginEdit();
  // The CANCEL button: the bound curve and the points back to how they were when the editor
  // opened, even after RESET (which writes the curve at once); without an open edit, back to
  // the points of the last load, reset or apply.
  void CancelEdit();
  // OK: the edit is kept.
  void EndEdit() { edit_start_.reset(); }
  bool editing() const { return edit_start_.has_value(); }

  // Mouse rules in curve units (the editor window maps pixels first).
  void LeftDown(int32_t x, int32_t y);
  void MouseMove(int32_t x, int32_t y);  // only acts while dragging
  void LeftUp();
  void RightDown(int32_t x, int32_t y);

  // The keyboard, under the mouse's rules. Choose the previous (-1) or next (+1) point; move
  // the chosen one as a drag by (dx, dy) would; add a point halfway to the next one where a
  // click there would add one; delete the chosen point (never an end point). Add and delete
  // return false when they change nothing.
  void SelectStep(int step);
  void MoveSelected(int32_t dx, int32_t dy);
  bool AddAfterSelected();
  bool DeleteSelected();

  // 100, or for the boost curve boost_timing * 100 / 64.
  int32_t HorizontalLimit() const;

  std::string CountReadout() const;     // "total: %0.2d"
  std::string PositionReadout() const;  // "x:%0.2d,y:%0.2d"

  // Boost editor only: vertical axis labels from the start and end rpm (may correct the end).
  void UpdateBoostRpmRange();
  std::array<uint32_t, 5> boost_rpm_range{2000, 4500, 7000, 9500, 12000};

  std::array<CurvePoint, 100> points{};
  uint32_t point_count = 2;
  uint32_t saved_point_count = 2;
  uint32_t selected = 0;
  bool dragging = false;

  // Called after every change of the points, so that a shown editor can redraw.
  std::function<void()> on_changed;

 private:
  struct EditStart {
    CurveData curve;
    std::array<CurvePoint, 100> points;
    uint32_t point_count;
    uint32_t saved_point_count;
    uint32_t selected;
  };
  EditStart Snapshot() const;

  void Changed();
  CurveKind kind_;
  EscSettingsImage& image_;
  std::optional<EditStart> edit_start_;
};

}  // namespace tessel
