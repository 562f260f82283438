// The pages as the user sees them, kept apart from any window: every page's selections (its
// own copy until a collect, as the pages hold them), which value boxes can act, the open list
// and help, the choice rules (a profile preset, the Turbo and Boost dependencies, a curve mode
// that opens or drops its editor), the three curve editors' states, the V1 view's selections,
// and the unsent changes: what differs, field by field, from what the ESC last held. The
// desktop's pages and the web page draw it and pass the user's input in.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/engine/session.h"
#include "core/model/curve_chart.h"
#include "core/model/pages.h"
#include "core/model/v1_settings.h"

namespace tessel {

// The main window's buttons: seven pages, then Apply and Default.
enum class ButtonId : int {
  kInformation = 1000,
  kGeneral = 1001,
  kThrottle = 1002,
  kBrake = 1003,
  kBoost = 1004,
  kTurbo = 1005,
  kData = 1006,
  kApply = 1007,
  kDefault = 1008,
};
constexpr int32_t PageOfButton(ButtonId id) { return static_cast<int>(id) - 999; }
constexpr bool IsPageButton(ButtonId id) {
  return id >= ButtonId::kInformation && id <= ButtonId::kData;
}

// One editing page as its window holds it.
struct PageState {
  const PageDef* def = nullptr;
  std::vector<int32_t> selected;       // the row of every list
  std::vector<int32_t> default_index;  // the curve mode's changes with a choice or a reset
  std::vector<bool> enabled;           // which value boxes take a click
  std::vector<std::string> greyed_why;  // why a box does not, for its hover text
  int open_list = -1;                  // the setting whose list is open
  int help = -1;                       // the setting whose help text shows
  int IndexOf(ImageField field) const;
};

// A curve page's editor: which curve, which setting of the page is its mode, its state.
struct EditorDef {
  CurveKind kind;
  int32_t page_id;
  ImageField mode_field;
  EditorState SessionStatus::*state;
};
const std::array<EditorDef, 3>& CurveEditors();
const EditorDef* EditorOfPage(int32_t page_id);

class PageModel {
 public:
  explicit PageModel(Session& session);

  // The pages as created: factory selections (the session loaded them), Boost collected.
  void Start();

  const std::vector<PageState>& pages() const { return pages_; }
  const PageState* page(int32_t page_id) const;

  // A click on a value box opens its list (one at a time); false when it cannot act (greyed,
  // or a curve editor covers the pages).
  bool OpenList(int32_t page_id, int index);
  void CloseLists();
  // A row chosen in a list; then the page's rule for that setting.
  bool Choose(int32_t page_id, int index, int row);
  // A page switch or a command clears the help texts; the Boost page's own when its help box
  // loses the focus.
  void ClearHelp();
  void ClearHelp(int32_t page_id);

  // The hosting contract's page operations on all five pages.
  void RefreshFromImage();
  void CollectSelections();
  void ResetToDefaults();

  // Curve editors.
  EditorState editor_state(CurveKind kind) const;
  // The open editor, if one is open.
  const EditorDef* OpenEditor() const;
  CurveModel& Curve(CurveKind kind);
  const CurveModel& Curve(CurveKind kind) const;
  // Mouse input in the chart's pixels.
  enum class Mouse { kLeftDown, kMove, kLeftUp, kRightDown };
  void EditorMouse(const ChartGeometry& chart, Mouse what, int32_t x, int32_t y);
  // Keys on the chart: arrows choose a point, Shift+arrows move it one unit, Insert adds one,
  // Delete removes it (CurveModel's keyboard, under the mouse's rules).
  enum class Key { kPrevious, kNext, kLeft, kRight, kUp, kDown, kAdd, kDelete };
  void EditorKey(Key key);
  // OK keeps the drawn curve; CANCEL puts back the curve and the mode as they were when the
  // editor opened; RESET draws the default curve. OK and CANCEL leave the editor kClosed
  // until its page takes it back.
  void EditorOk();
  void EditorCancel();
  void EditorReset();
  // The page has hidden its closed editor and shows its value boxes again.
  void TakeBackEditor(CurveKind kind);

  // The V1 view: what its lists show, and the stored selections that a send takes them into
  // (a choice stands only until the next refresh unless it is sent).
  const std::array<int32_t, kV1SettingCount>& v1_selected() const { return v1_shown_; }
  const std::array<int32_t, kV1SettingCount>& v1_stored() const { return v1_; }
  bool V1Choose(int index, int row);
  void V1Revert() { v1_shown_ = v1_; }
  void V1TakeChoices() { v1_ = v1_shown_; }
  void V1RefreshFromImage();
  void V1WriteToImage();
  void V1LoadDefaults();

  // Unsent changes. The baseline is what the ESC held after the last complete read or send;
  // none before the first.
  void NoteEscHolds();
  void ForgetEscHolds() { baseline_.reset(); }
  bool has_baseline() const { return baseline_.has_value(); }
  // The settings that Apply (or the V1 view's send) would change on the ESC.
  size_t UnsentChanges() const;

 private:
  PageState* MutablePage(int32_t page_id);
  void PageRefresh(PageState& p);
  void PageCollect(PageState& p);
  void PageReset(PageState& p);
  void OnChosen(PageState& p, int index);
  void OpenEditorOf(const EditorDef& e, int32_t mode_before);
  void DropCustomCurve(PageState& p, const EditorDef& e);
  // The image as Apply would send it: the pages' selections over the image.
  EscSettingsImage Pending() const;

  Session& session_;
  std::vector<PageState> pages_;
  std::array<int32_t, kV1SettingCount> v1_{};
  std::array<int32_t, kV1SettingCount> v1_shown_{};
  // The curve mode each editor's page held when the editor opened (CANCEL restores it).
  std::array<int32_t, 3> mode_before_{};
  std::optional<EscSettingsImage> baseline_;
};

}  // namespace tessel
