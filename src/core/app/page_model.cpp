#include "core/app/page_model.h"

#include "core/model/page_rules.h"
#include "core/model/presets.h"
#include "core/model/setup_compare.h"

namespace tessel {

namespace {

constexpr size_t At(int i) { return static_cast<size_t>(i); }

size_t EditorSlot(CurveKind kind) {
  switch (kind) {
    case CurveKind::kThrottle:
      return 0;
    case CurveKind::kBrake:
      return 1;
    case CurveKind::kBoost:
    default:
      return 2;
  }
}

}  // namespace

int PageState::IndexOf(ImageField field) const {
  for (size_t i = 0; i < def->settings.size(); ++i) {
    if (def->settings[i].field == field) return static_cast<int>(i);
  }
  return -1;
}

const std::array<EditorDef, 3>& CurveEditors() {
  static const std::array<EditorDef, 3> editors{{
      {CurveKind::kThrottle, kPageThrottle, &EscSettingsImage::throttle_curve_mode,
       &SessionStatus::throttle_editor_state},
      {CurveKind::kBrake, kPageBrake, &EscSettingsImage::brake_curve_mode,
       &SessionStatus::brake_editor_state},
      {CurveKind::kBoost, kPageBoost, &EscSettingsImage::boost_slope,
       &SessionStatus::boost_editor_state},
  }};
  return editors;
}

const EditorDef* EditorOfPage(int32_t page_id) {
  for (const EditorDef& e : CurveEditors()) {
    if (e.page_id == page_id) return &e;
  }
  return nullptr;
}

PageModel::PageModel(Session& session) : session_(session) {
  v1_ = V1DefaultSelections();
  v1_shown_ = v1_;
  for (const PageDef& def : EditingPages()) {
    PageState p;
    p.def = &def;
    for (const SettingDef& s : def.settings) {
      p.selected.push_back(s.default_index);
      p.default_index.push_back(s.default_index);
    }
    p.enabled = AllEnabled(def);
    pages_.push_back(std::move(p));
  }
}

void PageModel::Start() {
  // The Boost page collects at once, which applies its rule to the factory timing of 0.
  PageCollect(*MutablePage(kPageBoost));
}

PageState* PageModel::MutablePage(int32_t page_id) {
  for (PageState& p : pages_) {
    if (p.def->page_id == page_id) return &p;
  }
  return nullptr;
}

const PageState* PageModel::page(int32_t page_id) const {
  for (const PageState& p : pages_) {
    if (p.def->page_id == page_id) return &p;
  }
  return nullptr;
}

void PageModel::PageCollect(PageState& p) {
  for (size_t i = 0; i < p.selected.size(); ++i) {
    session_.image.*(p.def->settings[i].field) = p.selected[i];
  }
  p.enabled = EnabledSettings(*p.def, session_.image, p.enabled);
  p.greyed_why.assign(p.enabled.size(), std::string());
  for (size_t i = 0; i < p.enabled.size(); ++i) {
    if (!p.enabled[i]) p.greyed_why[i] = GreyedReason(*p.def, session_.image, i);
  }
}

void PageModel::PageRefresh(PageState& p) {
  RefreshPageFromImage(p.def->page_id, session_.image);
  const int timing = p.IndexOf(&EscSettingsImage::boost_timing);
  const int32_t timing_before = timing >= 0 ? p.selected[At(timing)] : 0;
  for (size_t i = 0; i < p.selected.size(); ++i) {
    const SettingDef& s = p.def->settings[i];
    p.selected[i] = ClampToOptions(session_.image.*(s.field), s.options.size());
  }
  // A new boost timing leaves the help of another setting behind.
  if (timing >= 0 && p.selected[At(timing)] != timing_before) p.help = -1;
  PageCollect(p);
}

void PageModel::PageReset(PageState& p) {
  for (size_t i = 0; i < p.selected.size(); ++i) {
    const SettingDef& s = p.def->settings[i];
    if (IsCurveModeField(s.field)) p.default_index[i] = 0;
    session_.image.*(s.field) = p.default_index[i];
  }
  PageRefresh(p);
}

void PageModel::RefreshFromImage() {
  for (PageState& p : pages_) PageRefresh(p);
}

void PageModel::CollectSelections() {
  for (PageState& p : pages_) PageCollect(p);
}

void PageModel::ResetToDefaults() {
  for (PageState& p : pages_) PageReset(p);
}

void PageModel::ClearHelp() {
  for (PageState& p : pages_) p.help = -1;
}

void PageModel::ClearHelp(int32_t page_id) {
  if (PageState* p = MutablePage(page_id)) p->help = -1;
}

void PageModel::CloseLists() {
  for (PageState& p : pages_) p.open_list = -1;
}

bool PageModel::OpenList(int32_t page_id, int index) {
  PageState* p = MutablePage(page_id);
  if (p == nullptr || index < 0 || At(index) >= p->selected.size()) return false;
  if (!p->enabled[At(index)] || OpenEditor()) return false;
  CloseLists();
  p->open_list = index;
  p->help = index;
  return true;
}

bool PageModel::Choose(int32_t page_id, int index, int row) {
  PageState* p = MutablePage(page_id);
  if (p == nullptr || index < 0 || At(index) >= p->selected.size()) return false;
  const SettingDef& s = p->def->settings[At(index)];
  if (row < 0 || At(row) >= s.options.size()) return false;
  if (!p->enabled[At(index)] || OpenEditor()) return false;
  p->open_list = -1;
  const int32_t before = p->selected[At(index)];
  p->selected[At(index)] = row;
  if (before != row && index == p->IndexOf(&EscSettingsImage::boost_timing)) p->help = -1;
  const EditorDef* e = EditorOfPage(page_id);
  if (e != nullptr && index == p->IndexOf(e->mode_field)) mode_before_[EditorSlot(e->kind)] = before;
  OnChosen(*p, index);
  return true;
}

void PageModel::OnChosen(PageState& p, int index) {
  EscSettingsImage& image = session_.image;
  const int32_t id = p.def->page_id;
  if (id == kPageGeneral) {
    // Only a profile takes effect at once; the engine's next tick sends it.
    if (index != p.IndexOf(&EscSettingsImage::profile_preset)) return;
    PageCollect(p);
    ApplyProfilePreset(image);
    // The pages show the preset's values at once.
    RefreshFromImage();
    return;
  }
  if (id == kPageTurbo) {
    // The timing and the activation method decide what else can be edited.
    if (index == p.IndexOf(&EscSettingsImage::turbo_timing) ||
        index == p.IndexOf(&EscSettingsImage::turbo_activation)) {
      PageCollect(p);
    }
    return;
  }
  const EditorDef* e = EditorOfPage(id);
  if (e == nullptr) return;
  CurveModel& model = Curve(e->kind);
  const int mode = p.IndexOf(e->mode_field);
  const bool custom =
      index == mode && p.def->settings[At(index)].options[At(p.selected[At(index)])] == "Custom";
  const int32_t mode_before = mode_before_[EditorSlot(e->kind)];
  if (id == kPageBoost) {
    const int timing = p.IndexOf(&EscSettingsImage::boost_timing);
    const int start = p.IndexOf(&EscSettingsImage::boost_start_rpm);
    const int end = p.IndexOf(&EscSettingsImage::boost_end_rpm);
    PageCollect(p);
    if (index == timing) {
      // The drawn curve belongs to the old timing.
      model.ResetCurve();
      PageRefresh(p);
    } else if (index == start || index == end) {
      // The start rpm wins: a corrected end rpm shows at once.
      model.UpdateBoostRpmRange();
      PageRefresh(p);
    } else if (index == mode) {
      if (custom) {
        model.UpdateBoostRpmRange();
        PageRefresh(p);
        OpenEditorOf(*e, mode_before);
      } else {
        DropCustomCurve(p, *e);
      }
    } else {
      PageRefresh(p);
    }
    return;
  }
  // Throttle and brake: every choice reaches the image at once; the curve mode also opens
  // or drops its editor.
  PageCollect(p);
  if (index != mode) return;
  if (custom) {
    OpenEditorOf(*e, mode_before);
  } else {
    DropCustomCurve(p, *e);
  }
}

void PageModel::DropCustomCurve(PageState& p, const EditorDef& e) {
  const int mode = p.IndexOf(e.mode_field);
  session_.image.*(e.mode_field) = 0;
  p.default_index[At(mode)] = 0;
  Curve(e.kind).ResetCurve();
  PageRefresh(p);
}

CurveModel& PageModel::Curve(CurveKind kind) {
  switch (kind) {
    case CurveKind::kThrottle:
      return session_.throttle_editor;
    case CurveKind::kBrake:
      return session_.brake_editor;
    case CurveKind::kBoost:
    default:
      return session_.boost_editor;
  }
}

const CurveModel& PageModel::Curve(CurveKind kind) const {
  return const_cast<PageModel*>(this)->Curve(kind);
}

EditorState PageModel::editor_state(CurveKind kind) const {
  return session_.status.*(CurveEditors()[EditorSlot(kind)].state);
}

const EditorDef* PageModel::OpenEditor() const {
  for (const EditorDef& e : CurveEditors()) {
    if (session_.status.*(e.state) == EditorState::kOpen) return &e;
  }
  return nullptr;
}

void PageModel::OpenEditorOf(const EditorDef& e, int32_t mode_before) {
  // CANCEL comes back to the curve as it is now, even after RESET, and to the mode before.
  mode_before_[EditorSlot(e.kind)] = mode_before;
  Curve(e.kind).BeginEdit();
  CloseLists();
  session_.status.*(e.state) = EditorState::kOpen;
  session_.status.curve_editor_open = true;
}

void PageModel::EditorMouse(const ChartGeometry& chart, Mouse what, int32_t x, int32_t y) {
  const EditorDef* e = OpenEditor();
  if (e == nullptr) return;
  CurveModel& m = Curve(e->kind);
  if (what == Mouse::kLeftUp) {
    m.LeftUp();
    return;
  }
  const std::optional<CurvePoint> p = MouseToCurve(e->kind, chart, x, y);
  if (!p) return;
  if (what == Mouse::kLeftDown) m.LeftDown(p->x, p->y);
  if (what == Mouse::kMove) m.MouseMove(p->x, p->y);
  if (what == Mouse::kRightDown) m.RightDown(p->x, p->y);
}

void PageModel::EditorKey(Key key) {
  const EditorDef* e = OpenEditor();
  if (e == nullptr) return;
  CurveModel& m = Curve(e->kind);
  // A key never lands in the middle of a mouse drag.
  if (m.dragging) return;
  switch (key) {
    case Key::kPrevious:
      return m.SelectStep(-1);
    case Key::kNext:
      return m.SelectStep(1);
    case Key::kLeft:
      return m.MoveSelected(-1, 0);
    case Key::kRight:
      return m.MoveSelected(1, 0);
    case Key::kUp:
      return m.MoveSelected(0, 1);
    case Key::kDown:
      return m.MoveSelected(0, -1);
    case Key::kAdd:
      m.AddAfterSelected();
      return;
    case Key::kDelete:
      m.DeleteSelected();
      return;
  }
}

void PageModel::EditorOk() {
  const EditorDef* e = OpenEditor();
  if (e == nullptr) return;
  session_.status.*(e->state) = EditorState::kClosed;
  session_.status.curve_editor_open = false;
  Curve(e->kind).ApplyCurve();
  Curve(e->kind).EndEdit();
}

void PageModel::EditorCancel() {
  const EditorDef* e = OpenEditor();
  if (e == nullptr) return;
  session_.status.*(e->state) = EditorState::kClosed;
  session_.status.curve_editor_open = false;
  Curve(e->kind).CancelEdit();
  // The mode goes back with the curve: a cancelled "Custom" must not be sent by the next Apply.
  PageState& p = *MutablePage(e->page_id);
  const int mode = p.IndexOf(e->mode_field);
  const int32_t before = mode_before_[EditorSlot(e->kind)];
  if (p.selected[At(mode)] != before) {
    p.selected[At(mode)] = before;
    session_.image.*(e->mode_field) = before;
    if (before == 0) p.default_index[At(mode)] = 0;
    PageCollect(p);
  }
}

void PageModel::EditorReset() {
  if (const EditorDef* e = OpenEditor()) Curve(e->kind).ResetCurve();
}

void PageModel::TakeBackEditor(CurveKind kind) {
  EditorState& state = session_.status.*(CurveEditors()[EditorSlot(kind)].state);
  if (state == EditorState::kClosed) state = EditorState::kIdle;
}

bool PageModel::V1Choose(int index, int row) {
  if (index < 0 || At(index) >= kV1SettingCount) return false;
  const V1SettingDef& def = V1Settings()[At(index)];
  if (row < 0 || At(row) >= def.options.size()) return false;
  v1_shown_[At(index)] = row;
  return true;
}

void PageModel::V1RefreshFromImage() {
  const auto& defs = V1Settings();
  for (size_t i = 0; i < kV1SettingCount; ++i) v1_[i] = session_.image.*(defs[i].field);
  v1_shown_ = v1_;
}

void PageModel::V1WriteToImage() {
  V1TakeChoices();
  const auto& defs = V1Settings();
  for (size_t i = 0; i < kV1SettingCount; ++i) session_.image.*(defs[i].field) = v1_[i];
}

void PageModel::V1LoadDefaults() {
  v1_ = V1DefaultSelections();
  v1_shown_ = v1_;
}

void PageModel::NoteEscHolds() {
  baseline_ = Pending();
}

EscSettingsImage PageModel::Pending() const {
  EscSettingsImage image = session_.image;
  if (session_.status.device_class == kDeviceV1) {
    const auto& defs = V1Settings();
    for (size_t i = 0; i < kV1SettingCount; ++i) image.*(defs[i].field) = v1_shown_[i];
    return image;
  }
  for (const PageState& p : pages_) {
    for (size_t i = 0; i < p.selected.size(); ++i) image.*(p.def->settings[i].field) = p.selected[i];
  }
  return image;
}

size_t PageModel::UnsentChanges() const {
  if (!baseline_) return 0;
  const SessionStatus& s = session_.status;
  if (s.device_class != kDeviceV1 && s.device_class != kDeviceFull) return 0;
  // Compared the way a verify compares a send with what was read back, so that a change
  // counted here is one Apply writes.
  const EscSettingsImage pending = Pending();
  return CompareSetups(pending, *baseline_, SentScope(s.device_class),
                       s.v1_block_variant == kV1Block16)
      .size();
}

}  // namespace tessel
