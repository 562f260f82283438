// Serves a VirtualHidAdapter on a Unix-domain stream socket, in the fixed 65-byte frames of
// core/link/hid_socket_frame.h: the host sends 'C' (control report) and 'O' (output report)
// frames, the adapter answers with 'I' (input report) frames.
//
// One host at a time. Its connection is the adapter being plugged in (a fresh adapter that
// greets after the next hello); its closing is the adapter being pulled out. The device
// behind the adapter keeps its settings across connections. A second host that connects
// while one is served is turned away at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/virtual_hid_adapter.h"

namespace tessel {

class HidSocketServer {
 public:
  explicit HidSocketServer(HidDeviceKind kind = HidDeviceKind::kFullEsc,
                           size_t v1_block_length = 0);
  ~HidSocketServer();
  HidSocketServer(const HidSocketServer&) = delete;
  HidSocketServer& operator=(const HidSocketServer&) = delete;

  // Creates a private folder (mode 0700) under $TMPDIR or /tmp and listens on a socket in
  // it. False (errno set) when the system refuses.
  bool Open();
  const std::string& socket_path() const { return socket_path_; }

  // Serves until Stop(). Returns 0, or 1 after an error on the listening socket.
  int Run();
  // Ends Run() from another thread or from a signal handler.
  void Stop();

  // Not to be touched from another thread while Run() is serving.
  VirtualHidAdapter& adapter() { return adapter_; }

  // Logs every frame both ways, connections and dropped frames to stderr.
  void set_trace(bool trace) { trace_ = trace; }

 private:
  void Accept();
  void Disconnect(const char* why);
  bool ReadHost();  // false when the host has gone
  void HandleFrame(const uint8_t* frame);
  void CollectInput();
  bool Flush();  // false when the host has gone
  void Trace(const char* what, const uint8_t* report) const;

  VirtualHidAdapter adapter_;
  std::string folder_;
  std::string socket_path_;
  int listen_ = -1;
  int host_ = -1;
  int wake_[2] = {-1, -1};
  std::vector<uint8_t> in_;   // bytes of the host's next frame
  std::vector<uint8_t> out_;  // 'I' frames not yet written
  bool trace_ = false;
};

}  // namespace tessel
