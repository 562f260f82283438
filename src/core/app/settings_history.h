// The settings history: every image the tool read from an ESC or sent to one, kept in a
// folder so that a send can be taken back. An entry is two files: ID.DATA (the settings-file
// encoding of a full ESC's image) and the sidecar ID.json, written after it:
//
//   {"id": "20261208-141503-123-000", "time": "2026-12-08T14:15:03.123Z", "cause": "Apply",
//    "device": "full", "link": "serial", "esc_version": "ESC0110",
//    "settings_file": "20261208-141503-123-000.DATA"}
//
// A settings file holds no V1-series field, so a V1-series entry has no .DATA: its sidecar
// carries the eleven V1 fields by name ("v1": {"v1_running_mode": 1, ...}) and
// "settings_file" is null. Both files go through a temporary file and a rename, the sidecar
// last, so an entry is listed only once both are whole; anything else in the folder (a
// .DATA without its sidecar, a temporary, a sidecar that does not parse) is skipped. Ids
// sort in the order the entries were made; an id is taken by creating ID.lock exclusively
// while its files are written, so two tools writing at once never share one. The newest 200
// are kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/engine/transfer_outcome.h"
#include "core/model/settings_image.h"

namespace tessel {

class Session;

constexpr size_t kHistoryKeep = 200;

// What made the tool read or send, as the sidecar's "cause" says it.
constexpr const char* kCauseRead = "read";
constexpr const char* kCauseApply = "Apply";
constexpr const char* kCauseDefault = "Default";
constexpr const char* kCausePreset = "preset";
constexpr const char* kCauseImport = "import";    // an image that came from a settings file
constexpr const char* kCauseUndo = "undo";        // the desktop's Undo Last Send
constexpr const char* kCauseSet = "set";          // tesselarc-cli set
constexpr const char* kCauseRestore = "restore";  // tesselarc-cli restore

// "full", "v1" or "v1-bec" for the connected ESC; empty when none is known.
std::string HistoryDeviceKind(const SessionStatus& status);
// "full ESC", "V1-series ESC", "V1-series ESC with BEC".
std::string HistoryDeviceText(const std::string& kind);
// "2026-12-08T14:15:03.123Z" for milliseconds since 1970 (UTC).
std::string IsoTimeUtc(int64_t ms_since_epoch);
// A stored time ("2026-12-08T16:24:03.497Z") as people read it, in the local time zone:
// "8 Dec 2026 17:24:03". Everything that shows a history time to a user shows it so; the
// sidecars and --json keep the stored form. A text not in the stored form comes back as it is.
std::string HistoryTimeText(const std::string& stored);
// True for a name shaped like an entry id (and so safe to put into a path).
bool IsHistoryId(const std::string& text);

struct HistoryEntry {
  std::string id;
  std::string time;
  std::string cause;
  std::string device;  // "full", "v1", "v1-bec"
  std::string link;    // "serial", "hid"
  std::string version;
  // The stored fields over a default image: a full ESC's page fields and curves (tables as
  // the ESC held them), or the V1 fields.
  EscSettingsImage image;
};

class SettingsHistory {
 public:
  // Writes `bytes` to `path` whole or not at all (ReplaceFileAtomically); tests put a
  // failing one in its place.
  using Writer =
      std::function<bool(const std::string& path, const std::string& bytes, std::string& error)>;

  explicit SettingsHistory(std::string folder);

  const std::string& folder() const { return folder_; }
  void set_now(std::function<int64_t()> now_ms) { now_ms_ = std::move(now_ms); }
  void set_writer(Writer writer) { writer_ = std::move(writer); }

  // Keeps `image` as a new entry and prunes to the newest kHistoryKeep. The id, or nullopt
  // with `error` set (then no entry is listed).
  std::optional<std::string> Record(const EscSettingsImage& image, const std::string& device,
                                    const std::string& link, const std::string& version,
                                    const std::string& cause, std::string& error);

  // Whole entries, newest first.
  std::vector<HistoryEntry> List() const;
  std::optional<HistoryEntry> Find(const std::string& id) const;

  // What an undo goes back to for an ESC of `device` kind: `earlier` is the entry just
  // before the newest send of that kind, `sent` (what the ESC held, or what the tool last
  // read or sent before it), `latest` the newest entry of that kind (what the ESC holds now
  // as far as the tool knows: the send, or a read after it).
  struct UndoStep {
    HistoryEntry latest;
    HistoryEntry sent;
    HistoryEntry earlier;
  };
  std::optional<UndoStep> BeforeLastSend(const std::string& device) const;

 private:
  std::vector<std::string> Ids(const char* extension) const;
  std::optional<HistoryEntry> Load(const std::string& id) const;
  void Prune() const;

  std::string folder_;
  std::function<int64_t()> now_ms_;
  Writer writer_;
};

// Puts an entry's fields into `image`: a full ESC's page fields and curves, or the V1
// fields. The profile preset and everything the entry does not hold stay as they are.
void ApplyHistoryEntry(const HistoryEntry& entry, EscSettingsImage& image);

// Watches the ends of transfers and keeps each whole read and send in the history. A read
// whose curves arrived damaged is not kept: the image then holds default points, not the
// ESC's own.
class HistoryRecorder {
 public:
  HistoryRecorder(SettingsHistory& history, const Session& session)
      : history_(history), session_(session) {}

  // The cause of the send about to start. A send that ends with none noted started by
  // itself, which only a profile change does ("preset"); for a V1-series ESC it is the
  // dialog's Send ("Apply").
  void NoteSendCause(std::string cause) { send_cause_ = std::move(cause); }
  // The image now holds a settings file: the next Apply sends it as "import".
  void NoteImported() { imported_ = true; }
  // The cause an Apply button press counts as now.
  std::string ApplyCause() const { return imported_ ? kCauseImport : kCauseApply; }

  // SessionUi::TransferDone. An incomplete transfer, or a read with damaged curves, is never
  // kept.
  void OnTransferDone(const TransferEnd& end);

  SettingsHistory& history() { return history_; }
  const std::string& last_id() const { return last_id_; }
  const std::string& last_error() const { return last_error_; }
  // Called with a reason when an entry could not be written (the transfer itself is fine).
  std::function<void(const std::string&)> on_error;

 private:
  SettingsHistory& history_;
  const Session& session_;
  std::string send_cause_;
  bool imported_ = false;
  std::string last_id_;
  std::string last_error_;
};

}  // namespace tessel
