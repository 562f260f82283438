// The web edition's window side on a virtual clock: the timer plan, a read and a send through
// the pages' own copies of the selections, presets, the curve editor, settings files through
// the host, and the snapshot's JSON.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/model/settings_file.h"
#include "core/model/presets.h"
#include "sim/virtual_esc_port.h"
#include "web/app/json.h"
#include "web/app/web_tool.h"

namespace tessel {
namespace {

class ScriptedHost : public WebHost {
 public:
  Answer Ask(const std::string& text, const std::string& caption, Buttons) override {
    asked.push_back(caption + "|" + text);
    if (answers.empty()) return Answer::kOk;
    const Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  Answer AskQuestion(const Question& q) override {
    details.push_back(q.detail);
    return Ask(q.text, q.caption, q.buttons);
  }
  std::optional<PickedFile> PickFile(const std::string& filter) override {
    filters.push_back(filter);
    return file;
  }
  std::optional<std::string> PickSaveName(const std::string&) override { return save_name; }
  void Deliver(const std::string& name, const std::vector<uint8_t>& bytes) override {
    delivered.push_back({name, bytes});
  }
  void Publish(const std::string& json) override {
    ++published;
    last_json = json;
  }

  std::deque<Answer> answers;
  std::vector<std::string> asked;
  std::vector<std::string> details;
  std::vector<std::string> filters;
  std::optional<PickedFile> file;
  std::optional<std::string> save_name;
  std::vector<PickedFile> delivered;
  int published = 0;
  std::string last_json;
};

class WebToolTest : public ::testing::Test {
 protected:
  WebToolTest()
      : files_(std::filesystem::temp_directory_path() /
               ("tessel-web-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name())),
        port_(clock_),
        ports_(port_),
        tool_(host_, clock_, port_, &ports_, nullptr, files_.string()) {
    std::filesystem::remove_all(files_);
    cwd_ = std::filesystem::current_path();
    tool_.Start();
  }
  ~WebToolTest() override {
    std::filesystem::current_path(cwd_);
    std::filesystem::remove_all(files_);
  }

  // Runs the timers on virtual time until `done` or `limit_ms` of it have passed.
  bool RunUntil(const std::function<bool()>& done, uint64_t limit_ms = 30000) {
    const uint64_t end = clock_.NowMs() + limit_ms;
    while (!done() && clock_.NowMs() < end) {
      const std::optional<uint64_t> due = tool_.NextDue();
      if (!due) return false;
      if (*due > clock_.NowMs()) clock_.Advance(*due - clock_.NowMs());
      tool_.RunDueTimer();
    }
    return done();
  }
  bool ReadDone() {
    const SessionStatus& s = tool_.session().status;
    return s.SerialConnected() && !s.transfer_active && tool_.beeps() > 0;
  }
  bool SendDone() {
    const SessionStatus& s = tool_.session().status;
    return !s.transfer_active && !s.send_in_progress && s.busy_button == kBusyNone;
  }
  int Index(int32_t page_id, ImageField field) {
    const PageDef* def = FindPage(page_id);
    for (size_t i = 0; i < def->settings.size(); ++i) {
      if (def->settings[i].field == field) return static_cast<int>(i);
    }
    return -1;
  }

  std::filesystem::path files_;
  std::filesystem::path cwd_;
  ManualClock clock_;
  ScriptedHost host_;
  VirtualEscPort port_;
  VirtualPortEnumerator ports_;
  WebTool tool_;
};

TEST(WebTimersTest, ReArmingFromItsOwnTickKeepsThePlanAndNothingRunsEarly) {
  ManualClock clock;
  WebTimers timers(clock);
  timers.Arm(102, 10);
  timers.Arm(107, 500);
  EXPECT_EQ(timers.NextDue(), 10u);
  EXPECT_FALSE(timers.TakeDue());
  clock.Advance(13);  // the tick runs 3 ms late
  ASSERT_EQ(timers.TakeDue(), 102);
  timers.Arm(102, 10);  // from its own tick: counts from when it was due
  timers.EndDispatch();
  EXPECT_EQ(timers.NextDue(), 20u);
  timers.Arm(102, 10);  // from outside a tick: counts from now
  EXPECT_EQ(timers.NextDue(), 23u);
  timers.Stop(102);
  EXPECT_EQ(timers.NextDue(), 500u);
  timers.StopAll();
  EXPECT_FALSE(timers.NextDue());
}

TEST_F(WebToolTest, ReadFillsThePagesAndAChoiceGoesOutOnApply) {
  // Before an ESC answers, the page buttons do nothing.
  tool_.PressButton(1001);
  EXPECT_FALSE(tool_.session().status.page_shown);
  ASSERT_TRUE(RunUntil([&] { return ReadDone(); }));
  const int run_mode = Index(kPageGeneral, &EscSettingsImage::run_mode);
  EXPECT_EQ(tool_.page(kPageGeneral)->selected[static_cast<size_t>(run_mode)],
            port_.esc().image().run_mode);
  tool_.PressButton(1001);
  EXPECT_TRUE(tool_.session().status.page_shown);
  EXPECT_EQ(tool_.session().status.shown_page, kPageGeneral);

  // The choice stays the page's own until a collect; Apply sends it.
  tool_.OpenList(kPageGeneral, run_mode);
  EXPECT_EQ(tool_.page(kPageGeneral)->open_list, run_mode);
  tool_.Choose(kPageGeneral, run_mode, 2);
  EXPECT_EQ(tool_.page(kPageGeneral)->open_list, -1);
  EXPECT_EQ(tool_.session().image.run_mode, port_.esc().image().run_mode);
  port_.esc().ClearReceived();
  tool_.PressButton(1007);
  ASSERT_TRUE(RunUntil([&] { return SendDone(); }));
  ASSERT_GE(port_.esc().received().size(), 2u);
  EXPECT_EQ(port_.esc().received()[0], 0xA4);  // RUN MODE's set command, first of the pairs
  EXPECT_EQ(port_.esc().received()[1], 2);
  EXPECT_EQ(port_.esc().image().run_mode, 2);

  // A row outside the list and a page that does not exist change nothing.
  tool_.Choose(kPageGeneral, run_mode, 99);
  tool_.Choose(42, 0, 0);
  EXPECT_EQ(tool_.page(kPageGeneral)->selected[static_cast<size_t>(run_mode)], 2);
}

TEST_F(WebToolTest, AProfileIsAppliedAtOnceAndSentOnTheNextTick) {
  ASSERT_TRUE(RunUntil([&] { return ReadDone(); }));
  const int profile = Index(kPageGeneral, &EscSettingsImage::profile_preset);
  tool_.Choose(kPageGeneral, profile, 3);
  EscSettingsImage expected = tool_.session().image;
  expected.profile_preset = 3;
  ApplyProfilePreset(expected);
  EXPECT_EQ(tool_.session().image.run_mode, expected.run_mode);
  EXPECT_EQ(tool_.session().image.punch_rate1, expected.punch_rate1);
  port_.esc().ClearReceived();
  tool_.RunDueTimer();
  clock_.Advance(1000);
  tool_.RunDueTimer();
  ASSERT_TRUE(RunUntil([&] { return SendDone(); }));
  EXPECT_EQ(port_.esc().image().punch_rate1, expected.punch_rate1);
  EXPECT_EQ(port_.esc().image().brake_strength, expected.brake_strength);
}

TEST_F(WebToolTest, CustomOpensTheEditorWhichHoldsTheToolBusyUntilOkOrCancel) {
  ASSERT_TRUE(RunUntil([&] { return ReadDone(); }));
  tool_.PressButton(1002);
  const int mode = Index(kPageThrottle, &EscSettingsImage::throttle_curve_mode);
  tool_.Choose(kPageThrottle, mode, 0);  // back to the line: the custom curve is dropped
  EXPECT_EQ(tool_.session().image.throttle_curve_mode, 0);
  EXPECT_EQ(tool_.OpenEditorPage(), 0);
  tool_.Choose(kPageThrottle, mode, 1);
  ASSERT_EQ(tool_.OpenEditorPage(), kPageThrottle);
  EXPECT_TRUE(tool_.session().IsBusy());
  tool_.PressButton(1007);  // ignored while the editor is open
  EXPECT_EQ(tool_.session().status.busy_button, kBusyNone);
  tool_.PressButton(1001);
  EXPECT_EQ(tool_.session().status.shown_page, kPageThrottle);

  CurveModel& m = tool_.session().throttle_editor;
  const uint32_t before = m.point_count;
  tool_.EditorMouse(0, 150, 100);  // a click between the ends adds a point
  tool_.EditorMouse(2, 150, 100);
  EXPECT_EQ(m.point_count, before + 1);
  EXPECT_NE(tool_.StateJson().find("\"count\":\"total: "), std::string::npos);
  tool_.EditorCancel();
  EXPECT_EQ(m.point_count, before);
  EXPECT_EQ(tool_.OpenEditorPage(), 0);
  EXPECT_FALSE(tool_.session().IsBusy());

  tool_.Choose(kPageThrottle, mode, 1);
  tool_.EditorMouse(0, 150, 100);
  tool_.EditorMouse(2, 150, 100);
  tool_.EditorOk();
  EXPECT_EQ(m.point_count, before + 1);
  EXPECT_EQ(tool_.session().image.throttle_curve_mode, 1);

  // RESET then CANCEL gives back the curve the editor opened with, not the straight line.
  const CurveData kept = tool_.session().image.throttle_curve;
  tool_.Choose(kPageThrottle, mode, 1);
  tool_.EditorReset();
  tool_.EditorCancel();
  EXPECT_EQ(m.point_count, before + 1);
  EXPECT_EQ(tool_.session().image.throttle_curve.x, kept.x);
  EXPECT_EQ(tool_.session().image.throttle_curve.y, kept.y);
}

TEST_F(WebToolTest, SettingsFilesTravelThroughTheHostAndADamagedOneChangesNothing) {
  ASSERT_TRUE(RunUntil([&] { return ReadDone(); }));
  host_.save_name = "track.day.v2";
  ASSERT_TRUE(tool_.ExportFile());
  ASSERT_EQ(host_.delivered.size(), 1u);
  // The name stays as the user gave it; ".DATA" is added.
  EXPECT_EQ(host_.delivered[0].name, "track.day.v2.DATA");
  EXPECT_EQ(host_.delivered[0].bytes, EncodeSettingsFile(tool_.session().image));
  host_.save_name.reset();
  EXPECT_FALSE(tool_.ExportFile());
  EXPECT_EQ(host_.delivered.size(), 1u);

  // The exported file, with another run mode, comes back in.
  EscSettingsImage changed = tool_.session().image;
  changed.run_mode = (changed.run_mode + 1) % 3;
  host_.file = WebHost::PickedFile{"../../x.DATA", EncodeSettingsFile(changed)};
  ASSERT_TRUE(tool_.ImportFile());
  EXPECT_EQ(tool_.session().image.run_mode, changed.run_mode);
  const int run_mode = Index(kPageGeneral, &EscSettingsImage::run_mode);
  EXPECT_EQ(tool_.page(kPageGeneral)->selected[static_cast<size_t>(run_mode)], changed.run_mode);

  const EscSettingsImage kept = tool_.session().image;
  std::vector<uint8_t> damaged = EncodeSettingsFile(changed);
  damaged[400] ^= 0x5A;
  host_.file = WebHost::PickedFile{"bad.DATA", damaged};
  EXPECT_FALSE(tool_.ImportFile());
  EXPECT_EQ(host_.asked.back(), std::string(kImportCaption) + "|" + kImportErrorText);
  EXPECT_EQ(tool_.session().image.run_mode, kept.run_mode);
  EXPECT_EQ(tool_.session().image.throttle_curve.x, kept.throttle_curve.x);
}

// The page's status line says what the desktop's says, from the same reports.
TEST_F(WebToolTest, TheStatusLineReportsEveryOutcomeAsTheDesktopDoes) {
  ASSERT_TRUE(RunUntil([&] { return ReadDone(); }));
  EXPECT_EQ(tool_.status_text(), "Read OK: CAR ESC, software ESC0120");
  tool_.PressButton(1001);
  tool_.ResetDefault();  // says what was sent; the web page keeps no history to undo it with
  ASSERT_TRUE(RunUntil([&] { return SendDone(); }));
  EXPECT_NE(tool_.StateJson().find("\"status\":\"Factory settings sent\""), std::string::npos);

  host_.save_name = "race";
  ASSERT_TRUE(tool_.ExportFile());
  EXPECT_EQ(tool_.status_text(), "Exported to race.DATA");
  host_.file = WebHost::PickedFile{"race.DATA", host_.delivered.back().bytes};
  host_.file->bytes[400] ^= 0x5A;
  EXPECT_FALSE(tool_.ImportFile());
  const std::string reason = "\"race.DATA\": the check value does not match the contents";
  EXPECT_EQ(host_.details.back(), reason);  // under "Import file error!", as on the desktop
  EXPECT_EQ(tool_.status_text(), "Import failed: " + reason);
}

TEST(JsonWriterTest, EveryStringStaysValidJson) {
  JsonWriter j;
  j.BeginObject();
  j.Key("a").String("say \"hi\"\\\r\n");
  j.Key("b").String("85\xC2\xB0" "C");  // UTF-8 passes through
  j.Key("c").String(std::string("\xFF\x01z", 3));  // a stray byte becomes its own code point
  j.Key("d").BeginArray().Int(-3).Bool(true).Null().EndArray();
  j.Key("e").BeginObject().EndObject();
  j.EndObject();
  EXPECT_EQ(j.Take(),
            "{\"a\":\"say \\\"hi\\\"\\\\\\u000d\\u000a\",\"b\":\"85\xC2\xB0" "C\","
            "\"c\":\"\\u00ff\\u0001z\",\"d\":[-3,true,null],\"e\":{}}");
}

}  // namespace
}  // namespace tessel
