// A serial port whose far end is the fuzzer's input: every read takes its reply from the
// input, which also decides whether the reply comes short (the wait then runs out on the
// virtual clock) or whether the device vanishes. Writes always go out.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/link/serial_port.h"
#include "core/link/clock.h"
#include "core/engine/session_ui.h"

namespace tessel::fuzz {

class ByteSource {
 public:
  ByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return pos_ >= size_; }
  uint8_t Next() { return empty() ? 0 : data_[pos_++]; }
  size_t Take(uint8_t* out, size_t n) {
    const size_t k = std::min(n, size_ - std::min(pos_, size_));
    std::copy_n(data_ + pos_, k, out);
    pos_ += k;
    return k;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

class FuzzPort : public SerialPort {
 public:
  FuzzPort(ByteSource& in, ManualClock& clock) : in_(in), clock_(clock) {}
  bool Open(const std::string&, uint32_t) override {
    if (gone_) return false;
    open_ = true;
    return true;
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  bool Write(const uint8_t*, size_t count, size_t* written) override {
    if (written) *written = open_ ? count : 0;
    return open_;
  }
  bool Read(uint8_t* data, size_t count, size_t* received, uint32_t timeout_ms) override {
    if (received) *received = 0;
    if (!open_) return false;
    if (in_.empty()) {  // the line went silent
      clock_.SleepMs(timeout_ms);
      return false;
    }
    const uint8_t control = in_.Next();
    if (control == 0xEE) {  // the device vanished: the back-end closes the port
      gone_ = true;
      open_ = false;
      return false;
    }
    size_t want = count;
    if (control < 0x20) want = count == 0 ? 0 : control % count;  // a short reply
    const size_t got = in_.Take(data, want);
    if (received) *received = got;
    if (got == count) {
      clock_.SleepMs(1);
      return true;
    }
    clock_.SleepMs(timeout_ms);
    return false;
  }
  void PurgeRx() override {}
  void Purge() override {}

 private:
  ByteSource& in_;
  ManualClock& clock_;
  bool open_ = false;
  bool gone_ = false;
};

// Answers every question from the input; records nothing.
class FuzzUi : public SessionUi {
 public:
  explicit FuzzUi(ByteSource& in) : in_(in) {}
  Answer Ask(const std::string&, const std::string&, Buttons) override {
    ++questions;
    switch (in_.Next() % 4) {
      case 0:
        return Answer::kYes;
      case 1:
        return Answer::kNo;
      case 2:
        return Answer::kOk;
      default:
        return Answer::kCancel;
    }
  }
  std::optional<std::string> ChooseOpenFile(const std::string&) override { return file; }
  std::optional<std::string> ChooseSaveFile(const std::string&) override { return file; }
  void SetProgressCaption(const std::string&) override {}
  void SetProgress(uint32_t, uint32_t) override {}
  void ShowProgress() override {}
  void CloseProgress() override {}
  void Beep() override {}
  void RefreshPagesFromImage() override {}
  void CollectPageSelections() override {}
  void ResetPagesToDefaults() override {}
  void ShowLoggedData() override { ++reads; }
  void V1RefreshFromImage() override { ++v1_reads; }
  void V1WriteToImage() override {}
  void V1ShowSendDone() override {}
  void V1LoadDefaults() override {}

  std::optional<std::string> file;
  int questions = 0;
  int reads = 0;
  int v1_reads = 0;

 private:
  ByteSource& in_;
};

}  // namespace tessel::fuzz
