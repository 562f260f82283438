// The browser's way into the web edition: C exports that the page calls (through ccall with
// Asyncify, so that an engine waiting for a device, a question or a file is suspended rather
// than blocking the page), and the device back-ends on Web Serial and WebHID, whose JavaScript
// halves live in web/site/js/devices.js.
//
//   page                         here                            engines
//   web_run_due() on a timeout -> WebTool::RunDueTimer        ->  Session / HidEngine tick
//                                 WebSerialPort::Read         ->  await serial.read(n, ms)
//                                 WebHost::Ask                ->  await ui.ask(...)
//   ui.publish(state)         <-  WebTool::Publish
#include <emscripten.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/link/hid_device.h"
#include "core/link/serial_port.h"
#include "core/link/clock.h"
#include "core/app/demo_kinds.h"
#include "sim/virtual_esc_port.h"
#include "sim/virtual_hid_adapter.h"
#include "web/app/web_tool.h"

// ---- JavaScript halves ----

EM_JS(double, js_now, (), { return performance.now(); });

EM_ASYNC_JS(void, js_sleep, (int ms), { await new Promise((r) => setTimeout(r, ms)); });

EM_ASYNC_JS(int, js_serial_open, (int baud), { return (await Module.devices.serial.open(baud)) ? 1 : 0; });
EM_ASYNC_JS(void, js_serial_close, (), { await Module.devices.serial.close(); });
EM_JS(int, js_serial_is_open, (), { return Module.devices.serial.isOpen() ? 1 : 0; });
EM_ASYNC_JS(int, js_serial_write, (const uint8_t* data, int count), {
  return (await Module.devices.serial.write(HEAPU8.slice(data, data + count))) ? 1 : 0;
});
// Returns the number of bytes copied to `data`.
EM_ASYNC_JS(int, js_serial_read, (uint8_t* data, int count, int timeout_ms), {
  const got = await Module.devices.serial.read(count, timeout_ms);
  HEAPU8.set(got, data);
  return got.length;
});
EM_JS(void, js_serial_purge, (), { Module.devices.serial.purge(); });

EM_JS(int, js_hid_count, (), { return Module.devices.hid.count(); });
EM_ASYNC_JS(int, js_hid_open, (int index), { return await Module.devices.hid.open(index); });
EM_JS(int, js_hid_is_open, (), { return Module.devices.hid.isOpen() ? 1 : 0; });
EM_ASYNC_JS(int, js_hid_send, (const uint8_t* report, int length, int control), {
  return await Module.devices.hid.send(HEAPU8.slice(report, report + length), control !== 0);
});
// Copies up to `count` buffered 64-byte input reports; returns how many.
EM_ASYNC_JS(int, js_hid_read, (uint8_t* buffer, int count, int timeout_ms), {
  const reports = await Module.devices.hid.read(count, timeout_ms);
  reports.forEach((r, i) => HEAPU8.set(r, buffer + i * 64));
  return reports.length;
});
EM_ASYNC_JS(void, js_hid_close, (), { await Module.devices.hid.close(); });

EM_ASYNC_JS(int, js_ask, (const char* text, const char* caption, int buttons, const char* detail), {
  return await Module.ui.ask(UTF8ToString(text), UTF8ToString(caption), buttons,
                             UTF8ToString(detail));
});
// 1 when a file was picked; its name and bytes then wait in Module.ui.picked.
EM_ASYNC_JS(int, js_pick_file, (const char* filter), {
  Module.ui.picked = await Module.ui.pickFile(UTF8ToString(filter));
  return Module.ui.picked ? 1 : 0;
});
EM_JS(int, js_picked_size, (), { return Module.ui.picked.bytes.length; });
EM_JS(void, js_picked_copy, (uint8_t* out), { HEAPU8.set(Module.ui.picked.bytes, out); });
EM_JS(char*, js_picked_name, (), {
  const name = Module.ui.picked.name;
  const size = lengthBytesUTF8(name) + 1;
  const ptr = _malloc(size);
  stringToUTF8(name, ptr, size);
  Module.ui.picked = null;
  return ptr;
});
EM_ASYNC_JS(char*, js_pick_save_name, (const char* suggested), {
  const name = await Module.ui.pickSaveName(UTF8ToString(suggested));
  if (name === null || name === undefined) return 0;
  const size = lengthBytesUTF8(name) + 1;
  const ptr = _malloc(size);
  stringToUTF8(name, ptr, size);
  return ptr;
});
EM_JS(void, js_deliver, (const char* name, const uint8_t* bytes, int count), {
  Module.ui.deliver(UTF8ToString(name), HEAPU8.slice(bytes, bytes + count));
});
EM_JS(void, js_beep, (), { Module.ui.beep(); });
EM_ASYNC_JS(void, js_nothing, (), { await null; });
EM_JS(void, js_publish, (const char* json), { Module.ui.publish(UTF8ToString(json)); });

namespace tessel {
namespace {

class BrowserClock : public Clock {
 public:
  uint64_t NowMs() override { return static_cast<uint64_t>(js_now()); }
  void SleepMs(uint32_t ms) override { js_sleep(static_cast<int>(ms)); }
};

// The port the user picked in the browser's chooser; the page keeps it open across the
// engine's close and reopen only where the line speed stays the same.
class WebSerialPort : public SerialPort {
 public:
  bool Open(const std::string&, uint32_t baud_rate) override {
    return js_serial_open(static_cast<int>(baud_rate)) != 0;
  }
  void Close() override { js_serial_close(); }
  bool IsOpen() const override { return js_serial_is_open() != 0; }
  bool Write(const uint8_t* data, size_t count, size_t* written) override {
    if (written) *written = 0;
    if (count == 0) return true;
    const bool ok = js_serial_write(data, static_cast<int>(count)) != 0;
    if (ok && written) *written = count;
    return ok;
  }
  bool Read(uint8_t* data, size_t count, size_t* received, uint32_t timeout_ms) override {
    const int got = js_serial_read(data, static_cast<int>(count), static_cast<int>(timeout_ms));
    if (received) *received = static_cast<size_t>(got);
    return static_cast<size_t>(got) == count;
  }
  void PurgeRx() override { js_serial_purge(); }
  void Purge() override { js_serial_purge(); }
};

// The adapters the user granted to the page through the WebHID chooser.
class WebHidDevice : public HidDevice {
 public:
  static constexpr uint16_t kReportLength = 64;

  uint32_t DeviceCount(uint16_t vendor_id, uint16_t product_id) override {
    if (vendor_id != kHidVendorId || product_id != kHidProductId) return 0;
    return static_cast<uint32_t>(js_hid_count());
  }
  int DevicePath(uint32_t index, uint16_t vendor_id, uint16_t product_id,
                 std::string* path) override {
    if (index >= DeviceCount(vendor_id, product_id)) return kHidDeviceNotFound;
    *path = "webhid:" + std::to_string(index);
    return kHidSuccess;
  }
  int Open(uint32_t index, uint16_t vendor_id, uint16_t product_id, uint32_t) override {
    if (index >= DeviceCount(vendor_id, product_id)) return kHidDeviceNotFound;
    const int status = js_hid_open(static_cast<int>(index));
    if (status == kHidSuccess) open_index_ = index;
    return status;
  }
  bool IsOpened() const override { return js_hid_is_open() != 0; }
  uint16_t ReportLength() const override { return kReportLength; }
  int SetTimeouts(uint32_t read_ms, uint32_t) override {
    read_timeout_ms_ = read_ms;
    return IsOpened() ? kHidSuccess : kHidDeviceNotOpened;
  }
  int SendControlReport(const uint8_t* report, size_t length) override {
    return Send(report, length, true);
  }
  int SendInterruptReport(const uint8_t* report, size_t length) override {
    return Send(report, length, false);
  }
  int ReadInputReports(uint8_t* buffer, size_t size, uint32_t count, uint32_t* returned) override {
    *returned = 0;
    if (!IsOpened()) return kHidDeviceNotOpened;
    if (count == 0) return kHidSuccess;
    if (buffer == nullptr || size / kReportLength < count) return kHidInvalidBuffer;
    const int got = js_hid_read(buffer, static_cast<int>(count),
                                static_cast<int>(read_timeout_ms_));
    if (got < 0) return kHidDeviceIoFailed;
    *returned = static_cast<uint32_t>(got) * kReportLength;
    return static_cast<uint32_t>(got) == count ? kHidSuccess : kHidTransferTimeout;
  }
  uint32_t MaxReportRequest() const override { return 8; }
  int OpenPath(std::string* path) const override {
    if (!IsOpened()) return kHidDeviceNotOpened;
    *path = "webhid:" + std::to_string(open_index_);
    return kHidSuccess;
  }
  void Close() override { js_hid_close(); }

 private:
  int Send(const uint8_t* report, size_t length, bool control) {
    if (report == nullptr || length == 0 || length > kReportLength) return kHidInvalidBuffer;
    if (!IsOpened()) return kHidDeviceNotOpened;
    return js_hid_send(report, static_cast<int>(length), control ? 1 : 0);
  }
  uint32_t open_index_ = 0;
  uint32_t read_timeout_ms_ = 0;
};

class BrowserHost : public WebHost {
 public:
  Answer Ask(const std::string& text, const std::string& caption, Buttons buttons) override {
    return AskQuestion(Question{text, caption, buttons, {}, {}, {}});
  }
  Answer AskQuestion(const Question& q) override {
    const Buttons buttons = q.buttons;
    const int answer =
        js_ask(q.text.c_str(), q.caption.c_str(), static_cast<int>(buttons), q.detail.c_str());
    switch (answer) {
      case 0:
        return Answer::kOk;
      case 2:
        return Answer::kYes;
      case 3:
        return Answer::kNo;
      default:
        return buttons == Buttons::kYesNo ? Answer::kNo : Answer::kCancel;
    }
  }
  std::optional<PickedFile> PickFile(const std::string& filter) override {
    if (js_pick_file(filter.c_str()) == 0) return std::nullopt;
    PickedFile f;
    f.bytes.resize(static_cast<size_t>(js_picked_size()));
    if (!f.bytes.empty()) js_picked_copy(f.bytes.data());
    char* name = js_picked_name();
    f.name = name;
    std::free(name);
    return f;
  }
  std::optional<std::string> PickSaveName(const std::string& suggested) override {
    char* name = js_pick_save_name(suggested.c_str());
    if (name == nullptr) return std::nullopt;
    std::string out = name;
    std::free(name);
    return out;
  }
  void Deliver(const std::string& name, const std::vector<uint8_t>& bytes) override {
    js_deliver(name.c_str(), bytes.data(), static_cast<int>(bytes.size()));
  }
  void Beep() override { js_beep(); }
  void Publish(const std::string& json) override { js_publish(json.c_str()); }
  void Yield() override { js_sleep(0); }
};

// One running tool per page.
struct World {
  BrowserClock clock;
  BrowserHost host;
  std::unique_ptr<SerialPort> port;
  std::unique_ptr<PortEnumerator> ports;
  std::unique_ptr<HidDevice> hid;
  VirtualEscPort* virtual_port = nullptr;
  VirtualHidAdapter* virtual_hid = nullptr;
  std::unique_ptr<WebTool> tool;
  std::string text;  // the last string handed to the page
};

World* world = nullptr;

WebTool& Face() { return *world->tool; }

// A published snapshot after every call, so the page shows what the call changed.
template <typename F>
void Act(F f) {
  if (!world) return;
  f(Face());
  Face().Publish();
}

}  // namespace
}  // namespace tessel

using namespace tessel;

extern "C" {

// serial: -1 none, 0 the page's Web Serial port, 1 virtual full ESC, 2 V1, 3 V1 with BEC.
// hid: -1 none, 0 the page's WebHID adapters, 1 virtual adapter with a full ESC, 2 V1,
// 3 V1 with BEC, 4 the LCD program box alone.
EMSCRIPTEN_KEEPALIVE void web_init(int serial, int hid) {
  delete world;
  world = new World;
  World& w = *world;
  if (serial >= 1 && serial <= 3) {
    const EscVariant variants[] = {EscVariant::kFull, EscVariant::kV1, EscVariant::kV1Bec};
    auto port = std::make_unique<VirtualEscPort>(w.clock, variants[serial - 1]);
    w.virtual_port = port.get();
    w.ports = std::make_unique<VirtualPortEnumerator>(*port);
    w.port = std::move(port);
  } else if (serial == 0) {
    w.port = std::make_unique<WebSerialPort>();
  } else {
    // No serial adapter: an unplugged virtual one stands behind the port.
    auto port = std::make_unique<VirtualEscPort>(w.clock);
    port->SetPlugged(false);
    w.port = std::move(port);
  }
  if (hid >= 1 && hid <= 4) {
    const HidDeviceKind kinds[] = {HidDeviceKind::kFullEsc, HidDeviceKind::kV1Esc,
                                   HidDeviceKind::kV1EscBec, HidDeviceKind::kLcdBox};
    auto adapter = std::make_unique<VirtualHidAdapter>(kinds[hid - 1]);
    w.virtual_hid = adapter.get();
    w.hid = std::move(adapter);
  } else if (hid == 0) {
    w.hid = std::make_unique<WebHidDevice>();
  }
  w.tool = std::make_unique<WebTool>(w.host, w.clock, *w.port, w.ports.get(), w.hid.get(),
                                     "/files");
}

EMSCRIPTEN_KEEPALIVE void web_start() {
  Act([](WebTool& t) { t.Start(); });
}

// Runs the due timer (the tool then takes the virtual HID adapter's plugging itself).
EMSCRIPTEN_KEEPALIVE int web_run_due() {
  if (!world) return 0;
  const bool ran = Face().RunDueTimer();
  if (ran) Face().Publish();
  return ran ? 1 : 0;
}

// Clock time of the next due timer (the page's performance.now()), or -1.
EMSCRIPTEN_KEEPALIVE double web_next_due() {
  if (!world) return -1;
  const std::optional<uint64_t> due = Face().NextDue();
  return due ? static_cast<double>(*due) : -1;
}

EMSCRIPTEN_KEEPALIVE void web_use_serial(const char* device) {
  Act([device](WebTool& t) { t.UseSerialDevice(device); });
}
EMSCRIPTEN_KEEPALIVE void web_hid_event(int arrived, const char* path) {
  Act([arrived, path](WebTool& t) { t.OnHidEvent(arrived != 0, path); });
}
EMSCRIPTEN_KEEPALIVE void web_press(int id) {
  Act([id](WebTool& t) { t.PressButton(id); });
}
EMSCRIPTEN_KEEPALIVE void web_reset_default() {
  Act([](WebTool& t) { t.ResetDefault(); });
}
EMSCRIPTEN_KEEPALIVE void web_import() {
  Act([](WebTool& t) { t.ImportFile(); });
}
EMSCRIPTEN_KEEPALIVE void web_export() {
  Act([](WebTool& t) { t.ExportFile(); });
}
// File › Share Setup: makes the link at `base` ("" without an ESC); web_shared_link hands it
// over once the queued call has run.
static std::string shared_link;
EMSCRIPTEN_KEEPALIVE void web_share_link(const char* base) {
  Act([base](WebTool& t) { shared_link = t.ShareLink(base); });
}
EMSCRIPTEN_KEEPALIVE const char* web_shared_link() {
  return shared_link.c_str();
}
EMSCRIPTEN_KEEPALIVE void web_open_link(const char* link) {
  Act([link](WebTool& t) { t.OpenLink(link); });
}
EMSCRIPTEN_KEEPALIVE void web_apply_link() {
  Act([](WebTool& t) { t.ApplyLink(); });
}
EMSCRIPTEN_KEEPALIVE void web_close_link() {
  Act([](WebTool& t) { t.CloseLink(); });
}
EMSCRIPTEN_KEEPALIVE void web_updata() {
  Act([](WebTool& t) { t.UpData(); });
}
EMSCRIPTEN_KEEPALIVE void web_lcd_mode(int on) {
  Act([on](WebTool& t) { on ? t.EnterLcdMode() : t.EnterEscMode(); });
}
EMSCRIPTEN_KEEPALIVE void web_open_list(int page, int index) {
  Act([=](WebTool& t) { t.OpenList(page, index); });
}
EMSCRIPTEN_KEEPALIVE void web_close_list(int page) {
  Act([=](WebTool& t) { t.CloseList(page); });
}
EMSCRIPTEN_KEEPALIVE void web_choose(int page, int index, int row) {
  Act([=](WebTool& t) { t.Choose(page, index, row); });
}
EMSCRIPTEN_KEEPALIVE void web_editor_mouse(int kind, int x, int y) {
  Act([=](WebTool& t) { t.EditorMouse(kind, x, y); });
}
// 0 OK, 1 CANCEL, 2 RESET
EMSCRIPTEN_KEEPALIVE void web_editor_button(int which) {
  Act([=](WebTool& t) {
    if (which == 0) t.EditorOk();
    if (which == 1) t.EditorCancel();
    if (which == 2) t.EditorReset();
  });
}
// 0 previous point, 1 next, 2..5 move left, right, up, down, 6 add, 7 delete
EMSCRIPTEN_KEEPALIVE void web_editor_key(int key) {
  Act([=](WebTool& t) { t.EditorKey(key); });
}
EMSCRIPTEN_KEEPALIVE void web_save_wire_trace() {
  Act([](WebTool& t) { t.SaveWireTrace(); });
}
// What the page says about a ?demo= it does not know.
EMSCRIPTEN_KEEPALIVE const char* web_unknown_demo(const char* name) {
  static std::string text;
  text = UnknownDemoText(name);
  return text.c_str();
}
EMSCRIPTEN_KEEPALIVE void web_v1_choose(int index, int row) {
  Act([=](WebTool& t) { t.V1Choose(index, row); });
}
// 0 read, 1 send, 2 default, 3 update firmware
EMSCRIPTEN_KEEPALIVE void web_v1_button(int which) {
  Act([=](WebTool& t) {
    if (which == 0) t.V1Read();
    if (which == 1) t.V1Send();
    if (which == 2) t.V1Default();
    if (which == 3) t.V1UpdateFirmware();
  });
}

EMSCRIPTEN_KEEPALIVE const char* web_state() {
  if (!world) return "";
  world->text = Face().StateJson();
  return world->text.c_str();
}

EMSCRIPTEN_KEEPALIVE const char* web_definitions() {
  static const std::string text = WebTool::DefinitionsJson();
  return text.c_str();
}

// Every byte the virtual device has received from the tool, as hex; the browser tests compare
// it with what the desktop engine sends.
EMSCRIPTEN_KEEPALIVE const char* web_virtual_received() {
  static const char* const kHex = "0123456789abcdef";
  if (!world) return "";
  const std::vector<uint8_t>* bytes = nullptr;
  if (world->virtual_port) bytes = &world->virtual_port->esc().received();
  if (world->virtual_hid) bytes = &world->virtual_hid->received();
  world->text.clear();
  if (bytes) {
    for (uint8_t b : *bytes) {
      world->text += kHex[b >> 4];
      world->text += kHex[b & 15];
    }
  }
  return world->text.c_str();
}

// For the benchmark: `n` suspensions of the engine that resume at once, the cost of one wait.
EMSCRIPTEN_KEEPALIVE void web_bench_suspend(int n) {
  for (int i = 0; i < n; ++i) js_nothing();
}

// For the browser tests: the virtual ESC stops answering (1) or answers again (0).
EMSCRIPTEN_KEEPALIVE void web_virtual_silence(int on) {
  if (world && world->virtual_port) world->virtual_port->esc().faults().silent = on != 0;
}

EMSCRIPTEN_KEEPALIVE void web_virtual_clear() {
  if (world && world->virtual_port) world->virtual_port->esc().ClearReceived();
}

}  // extern "C"
