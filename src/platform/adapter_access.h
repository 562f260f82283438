// What stands between this user and a working adapter on Linux, for `tesselarc-cli doctor` and
// for telling a refused opening from a busy or vanished device.
//
// A plugged-in adapter is a device node (a tty for the serial adapter, a hidraw node for the HID
// adapter). Whether this user may open it follows from its owner, group, mode and POSIX ACL and
// from the user's groups, which are all read here and weighed the way the kernel does, so the
// answer holds for the user being checked even when the checker runs as someone else. The udev
// rule, udev's record of the node (did the rule tag it?), ModemManager and the processes that
// hold the node open complete the picture. Every place looked at comes from SystemPaths and
// every node from the adapter lists handed in, so tests run the checks on nodes of their own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/link/access_notice.h"
#include "core/link/serial_port.h"
#include "platform/hidapi_device.h"

namespace tessel {

constexpr const char* kUdevRuleName = "60-tesselarc.rules";

// True when `path` exists and this process may not open it for reading and writing.
bool AccessRefused(const std::string& path);

struct UserIdentity {
  uint32_t uid = 0;
  uint32_t gid = 0;
  std::string name;
  // The groups of this login session: what the kernel checks.
  std::vector<uint32_t> groups;
  // The groups the user database gives the user now; a group added since the login shows up
  // here first and only counts after the next login.
  std::vector<uint32_t> database_groups;

  static UserIdentity Current();
  bool InGroup(uint32_t group) const;
  bool InDatabaseGroup(uint32_t group) const;
};

// Where the checks look; tests point every one of them into a temporary folder.
struct SystemPaths {
  // The folders udev reads rules from; a file in an earlier one hides one of the same name in
  // a later one.
  std::vector<std::string> rule_dirs{"/etc/udev/rules.d", "/run/udev/rules.d",
                                     "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
  // Where an installation with the default prefix puts the rule, which udev never reads.
  std::vector<std::string> unread_rule_dirs{"/usr/local/lib/udev/rules.d"};
  std::string udev_data = "/run/udev/data";       // udev's record of each device
  std::string udev_control = "/run/udev/control"; // there while the udev daemon runs
  std::string proc = "/proc";
};

// One entry of a POSIX access ACL, as the kernel stores it (tag, permission bits, id).
struct AclEntry {
  enum Tag : uint16_t {
    kUserObj = 0x01,
    kUser = 0x02,
    kGroupObj = 0x04,
    kGroup = 0x08,
    kMask = 0x10,
    kOther = 0x20,
  };
  uint16_t tag = 0;
  uint16_t perm = 0;  // 4 read, 2 write, 1 execute
  uint32_t id = 0;
};

// The access ACL of `path`; empty when it has none (or the file system keeps none).
std::vector<AclEntry> ReadAccessAcl(const std::string& path);

struct NodeAccess {
  bool exists = false;
  bool char_device = false;
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t owner = 0;
  uint32_t group = 0;
  uint32_t mode = 0;  // st_mode
  std::string owner_name;
  std::string group_name;
  std::string mode_text;  // "crw-rw----"
  std::vector<AclEntry> acl;
  std::string acl_text;   // "user:alice:rw-,mask::rw-" (named entries and mask), "" without
  bool can_open = false;  // for reading and writing
  bool by_acl = false;    // an ACL entry naming the user or one of the user's groups grants it
  bool in_group = false;  // the session has the owning group
  bool group_after_login = false;  // the database has the owning group, the session not yet
  std::string why;        // why not, for people; empty when it can be opened
};

NodeAccess CheckNodeAccess(const std::string& path, const UserIdentity& user);

struct Holder {
  int pid = 0;
  std::string command;
};

struct HolderScan {
  std::vector<Holder> holders;
  int unreadable = 0;  // processes whose open files this user may not look at
};

// The processes that hold `path` open (the same file, whatever name they opened it by).
HolderScan FindHolders(const std::string& path, const SystemPaths& paths, int exclude_pid);

// What udev recorded for a device node: the uaccess tag and ModemManager's ignore flag.
struct UdevRecord {
  bool known = false;
  bool uaccess = false;
  bool mm_ignore = false;
};

UdevRecord ReadUdevRecord(const NodeAccess& node, const SystemPaths& paths);

struct RuleCheck {
  bool udev_running = false;
  bool installed = false;
  bool masked = false;      // hidden by an empty file or a link to /dev/null in an earlier folder
  std::string path;         // the file udev uses (or the one that masks it)
  std::string unread_path;  // a copy where udev does not look
};

RuleCheck CheckRule(const SystemPaths& paths);

// True when a process whose command name is `command` runs.
bool ProcessRunning(const std::string& command, const SystemPaths& paths);

struct DoctorFinding {
  std::string text;
  std::string fix;
  bool blocking = false;  // the adapter cannot be used until it is fixed
};

struct DoctorAdapter {
  AdapterFamily family = AdapterFamily::kSerial;
  std::string device;
  uint16_t vendor_id = 0;
  uint16_t product_id = 0;
  std::string product;
  std::string serial_number;
  bool accepted = true;  // the tool takes it (serial: its product string is an accepted one)
  NodeAccess access;
  UdevRecord udev;
  HolderScan holders;
  std::vector<DoctorFinding> findings;
  bool usable = false;
};

struct DoctorInput {
  std::vector<PortInfo> serial_ports;  // every serial port; the adapters are picked out here
  std::vector<HidDeviceInfo> hid_adapters;
  UserIdentity user;
  SystemPaths paths;
  int self_pid = 0;  // not counted as a holder
};

struct DoctorReport {
  UserIdentity user;
  std::vector<DoctorAdapter> adapters;
  RuleCheck rule;
  bool modem_manager = false;
  std::vector<DoctorFinding> findings;  // not tied to one adapter
  bool ok = false;  // every adapter present (and taken by the tool) can be used
};

DoctorReport RunDoctor(const DoctorInput& input);

// The input for this machine and this user.
DoctorInput SystemDoctorInput();

}  // namespace tessel
