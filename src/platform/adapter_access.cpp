#include "platform/adapter_access.h"

#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/link/serial_link.h"
#include "platform/port_listing.h"
#include "platform/qt_port_enumerator.h"

namespace tessel {

namespace {

constexpr uint16_t kRead = 4;
constexpr uint16_t kWrite = 2;

bool ReadWrite(uint32_t perm) { return (perm & (kRead | kWrite)) == (kRead | kWrite); }

std::string UserName(uint32_t uid) {
  std::vector<char> buffer(16384);
  passwd pw{};
  passwd* found = nullptr;
  if (getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &found) == 0 && found)
    return found->pw_name;
  return std::to_string(uid);
}

std::string GroupName(uint32_t gid) {
  std::vector<char> buffer(65536);
  group gr{};
  group* found = nullptr;
  if (getgrgid_r(gid, &gr, buffer.data(), buffer.size(), &found) == 0 && found)
    return found->gr_name;
  return std::to_string(gid);
}

std::string PermText(uint16_t perm) {
  std::string out = "---";
  if (perm & kRead) out[0] = 'r';
  if (perm & kWrite) out[1] = 'w';
  if (perm & 1) out[2] = 'x';
  return out;
}

std::string ModeText(uint32_t mode) {
  std::string out(10, '-');
  if (S_ISCHR(mode)) out[0] = 'c';
  else if (S_ISBLK(mode)) out[0] = 'b';
  else if (S_ISDIR(mode)) out[0] = 'd';
  const char* letters = "rwxrwxrwx";
  for (int i = 0; i < 9; ++i) {
    if (mode & (1u << (8 - i))) out[static_cast<size_t>(i) + 1] = letters[i];
  }
  return out;
}

std::string AclText(const std::vector<AclEntry>& acl) {
  std::string out;
  for (const AclEntry& e : acl) {
    std::string item;
    if (e.tag == AclEntry::kUser) item = "user:" + UserName(e.id) + ":" + PermText(e.perm);
    else if (e.tag == AclEntry::kGroup) item = "group:" + GroupName(e.id) + ":" + PermText(e.perm);
    else if (e.tag == AclEntry::kMask) item = "mask::" + PermText(e.perm);
    else continue;  // the owner, group and other entries are the mode bits
    if (!out.empty()) out += ",";
    out += item;
  }
  return out;
}

// The kernel's check (owner, named users, groups, other; the mask caps every entry but the
// owner's and other), for read and write together.
void Weigh(NodeAccess& n, const UserIdentity& user) {
  n.in_group = user.InGroup(n.group);
  n.group_after_login = !n.in_group && user.InDatabaseGroup(n.group);
  if (user.uid == 0) {
    n.can_open = true;
    return;
  }
  const uint32_t owner_perm = (n.mode >> 6) & 7;
  const uint32_t other_perm = n.mode & 7;
  if (user.uid == n.owner) {
    n.can_open = ReadWrite(owner_perm);
    if (!n.can_open) n.why = "its owner (you) may not read and write it, mode " + n.mode_text;
    return;
  }
  uint16_t mask = 7;
  for (const AclEntry& e : n.acl) {
    if (e.tag == AclEntry::kMask) mask = e.perm;
  }
  if (!n.acl.empty()) {
    for (const AclEntry& e : n.acl) {
      if (e.tag == AclEntry::kUser && e.id == user.uid) {
        n.can_open = ReadWrite(e.perm & mask);
        n.by_acl = n.can_open;
        if (!n.can_open) n.why = "an ACL entry for you grants less than read and write";
        return;
      }
    }
  }
  // The group class: every matching group entry is looked at; one that grants is enough.
  bool matched = false;
  const uint32_t group_perm =
      n.acl.empty() ? (n.mode >> 3) & 7 : [&] {
        for (const AclEntry& e : n.acl) {
          if (e.tag == AclEntry::kGroupObj) return static_cast<uint32_t>(e.perm & mask);
        }
        return (n.mode >> 3) & 7;
      }();
  if (n.in_group) {
    matched = true;
    if (ReadWrite(group_perm)) {
      n.can_open = true;
      return;
    }
  }
  for (const AclEntry& e : n.acl) {
    if (e.tag == AclEntry::kGroup && user.InGroup(e.id)) {
      matched = true;
      if (ReadWrite(e.perm & mask)) {
        n.can_open = true;
        n.by_acl = true;
        return;
      }
    }
  }
  if (!matched && ReadWrite(other_perm)) {
    n.can_open = true;
    return;
  }
  std::string why = "owned by " + n.owner_name + ":" + n.group_name + ", mode " + n.mode_text;
  if (n.in_group) {
    why += "; you are in group " + n.group_name + ", which may not read and write it";
  } else if (n.group_after_login) {
    why += "; you were added to group " + n.group_name +
           ", but this login session started before that";
  } else {
    why += "; you (" + user.name + ") are not in group " + n.group_name;
  }
  why += n.acl_text.empty() ? "; no ACL" : "; its ACL (" + n.acl_text + ") grants you nothing";
  n.why = why;
}

bool ReadFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  out = text.str();
  return true;
}

bool IsDigits(const char* text) {
  if (*text == '\0') return false;
  for (; *text; ++text) {
    if (*text < '0' || *text > '9') return false;
  }
  return true;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

std::string Hex4(uint16_t v) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(v));
  return text;
}

// The commands that hand the user the fixes.
const char* const kReloadAndTrigger =
    "sudo udevadm control --reload-rules && sudo udevadm trigger --action=add "
    "--subsystem-match=tty --subsystem-match=hidraw";

std::string InstallFix() {
  return std::string(
             "install the tesselarc package (sudo apt-get install ./tesselarc_*.deb), or copy "
             "the udev rule ") +
         kUdevRuleName +
         " from the source tree (packaging/linux/) to /etc/udev/rules.d/; then unplug the "
         "adapter and plug it in again";
}

std::string JoinGroupFix(const NodeAccess& n, const UserIdentity& user) {
  if (n.group == 0) return "";
  return "sudo usermod -aG " + n.group_name + " " + user.name + ", then log out and in again";
}

void AddAccessFinding(DoctorAdapter& a, const DoctorReport& report, const UserIdentity& user) {
  const NodeAccess& n = a.access;
  DoctorFinding f;
  f.blocking = true;
  f.text = user.name + " may not open " + a.device + ": " + n.why;
  const std::string join = JoinGroupFix(n, user);
  if (n.group_after_login) {
    f.fix = "log out and in again (or start a shell with: newgrp " + n.group_name + ")";
  } else if (!report.rule.udev_running) {
    f.fix = "udev does not run here, so no rule can apply; grant access until the adapter is "
            "unplugged: sudo setfacl -m u:" + user.name + ":rw " + a.device;
    if (!join.empty()) f.fix += "; or for good: " + join;
  } else if (report.rule.masked) {
    f.fix = report.rule.path + " hides the installed rule: sudo rm " + report.rule.path +
            ", then unplug the adapter and plug it in again";
  } else if (!report.rule.installed) {
    f.fix = InstallFix();
    if (!join.empty()) f.fix += "; or join the group: " + join;
  } else if (!a.udev.uaccess) {
    f.fix = std::string("the rule is installed but was not applied to this adapter yet: unplug "
                        "it and plug it in again, or run: ") +
            kReloadAndTrigger;
  } else {
    // Tagged, yet no ACL for this user: logind gives uaccess devices to the user of the
    // active local session only.
    f.fix = "the rule gives access to the user of the active desktop session at this seat; "
            "this session is not that one (a remote login, or another user's desktop)";
    f.fix += join.empty() ? "; use the tool from the desktop session"
                          : "; to use the adapter from here too: " + join;
  }
  a.findings.push_back(std::move(f));
}

}  // namespace

bool AccessRefused(const std::string& path) {
  if (access(path.c_str(), R_OK | W_OK) == 0) return false;
  return errno == EACCES || errno == EPERM;
}

UserIdentity UserIdentity::Current() {
  UserIdentity u;
  u.uid = getuid();
  u.gid = getgid();
  const char* sudo_uid = std::getenv("SUDO_UID");
  const bool via_sudo = u.uid == 0 && sudo_uid && IsDigits(sudo_uid);
  if (via_sudo) {
    // Under sudo the question is about the user who asked, not about root.
    u.uid = static_cast<uint32_t>(std::strtoul(sudo_uid, nullptr, 10));
    const char* sudo_gid = std::getenv("SUDO_GID");
    u.gid = sudo_gid && IsDigits(sudo_gid) ? static_cast<uint32_t>(std::strtoul(sudo_gid, nullptr, 10))
                                           : u.uid;
  }
  u.name = UserName(u.uid);
  int count = 64;
  std::vector<gid_t> list(static_cast<size_t>(count));
  if (getgrouplist(u.name.c_str(), u.gid, list.data(), &count) < 0) {
    list.resize(static_cast<size_t>(count));
    if (getgrouplist(u.name.c_str(), u.gid, list.data(), &count) < 0) count = 0;
  }
  list.resize(static_cast<size_t>(std::max(count, 0)));
  for (gid_t g : list) u.database_groups.push_back(g);
  if (via_sudo) {
    // sudo's own session groups are root's; the user's next login gets the database's.
    u.groups = u.database_groups;
  } else {
    const int n = getgroups(0, nullptr);
    std::vector<gid_t> session(static_cast<size_t>(std::max(n, 0)));
    const int got = n > 0 ? getgroups(n, session.data()) : 0;
    for (int i = 0; i < got; ++i) u.groups.push_back(session[static_cast<size_t>(i)]);
    u.groups.push_back(u.gid);
  }
  return u;
}

bool UserIdentity::InGroup(uint32_t g) const {
  return g == gid || std::find(groups.begin(), groups.end(), g) != groups.end();
}

bool UserIdentity::InDatabaseGroup(uint32_t g) const {
  return std::find(database_groups.begin(), database_groups.end(), g) != database_groups.end();
}

std::vector<AclEntry> ReadAccessAcl(const std::string& path) {
  std::vector<AclEntry> acl;
  uint8_t buffer[4 + 8 * 64];
  const ssize_t n = getxattr(path.c_str(), "system.posix_acl_access", buffer, sizeof buffer);
  // Version 2, then 8 bytes an entry: tag, permissions (16 bits each), id (32 bits), little
  // endian.
  if (n < 4 || (n - 4) % 8 != 0) return acl;
  auto u16 = [&](size_t at) { return static_cast<uint16_t>(buffer[at] | (buffer[at + 1] << 8)); };
  auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(buffer[at]) | (static_cast<uint32_t>(buffer[at + 1]) << 8) |
           (static_cast<uint32_t>(buffer[at + 2]) << 16) |
           (static_cast<uint32_t>(buffer[at + 3]) << 24);
  };
  if (u32(0) != 2) return acl;
  for (size_t at = 4; at + 8 <= static_cast<size_t>(n); at += 8)
    acl.push_back({u16(at), static_cast<uint16_t>(u16(at + 2) & 7), u32(at + 4)});
  return acl;
}

NodeAccess CheckNodeAccess(const std::string& path, const UserIdentity& user) {
  NodeAccess n;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    n.why = std::string("cannot look at it: ") + std::strerror(errno);
    return n;
  }
  n.exists = true;
  n.char_device = S_ISCHR(st.st_mode);
  n.major = major(st.st_rdev);
  n.minor = minor(st.st_rdev);
  n.owner = st.st_uid;
  n.group = st.st_gid;
  n.mode = st.st_mode;
  n.owner_name = UserName(n.owner);
  n.group_name = GroupName(n.group);
  n.mode_text = ModeText(n.mode);
  n.acl = ReadAccessAcl(path);
  n.acl_text = AclText(n.acl);
  Weigh(n, user);
  return n;
}

HolderScan FindHolders(const std::string& path, const SystemPaths& paths, int exclude_pid) {
  HolderScan scan;
  struct stat node {};
  if (stat(path.c_str(), &node) != 0) return scan;
  DIR* proc = opendir(paths.proc.c_str());
  if (!proc) return scan;
  while (dirent* entry = readdir(proc)) {
    if (!IsDigits(entry->d_name)) continue;
    const int pid = std::atoi(entry->d_name);
    if (pid == exclude_pid) continue;
    const std::string fd_dir = paths.proc + "/" + entry->d_name + "/fd";
    DIR* fds = opendir(fd_dir.c_str());
    if (!fds) {
      if (errno == EACCES || errno == EPERM) ++scan.unreadable;
      continue;
    }
    bool holds = false;
    while (dirent* fd = readdir(fds)) {
      if (!IsDigits(fd->d_name)) continue;
      struct stat target {};
      // stat follows the descriptor to the open file, whatever name it was opened by.
      if (stat((fd_dir + "/" + fd->d_name).c_str(), &target) == 0 &&
          target.st_dev == node.st_dev && target.st_ino == node.st_ino) {
        holds = true;
        break;
      }
    }
    closedir(fds);
    if (holds) {
      std::string command;
      ReadFile(paths.proc + "/" + entry->d_name + "/comm", command);
      scan.holders.push_back({pid, Trimmed(command)});
    }
  }
  closedir(proc);
  std::sort(scan.holders.begin(), scan.holders.end(),
            [](const Holder& a, const Holder& b) { return a.pid < b.pid; });
  return scan;
}

UdevRecord ReadUdevRecord(const NodeAccess& node, const SystemPaths& paths) {
  UdevRecord record;
  if (!node.char_device) return record;
  std::string text;
  const std::string file = paths.udev_data + "/c" + std::to_string(node.major) + ":" +
                           std::to_string(node.minor);
  if (!ReadFile(file, text)) return record;
  record.known = true;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    // G: every tag, Q: the tags of the latest event (newer udev); either says the rule ran.
    if (line == "G:uaccess" || line == "Q:uaccess") record.uaccess = true;
    if (line == "E:ID_MM_DEVICE_IGNORE=1") record.mm_ignore = true;
  }
  return record;
}

RuleCheck CheckRule(const SystemPaths& paths) {
  RuleCheck rule;
  rule.udev_running = access(paths.udev_control.c_str(), F_OK) == 0;
  for (const std::string& dir : paths.rule_dirs) {
    const std::string file = dir + "/" + kUdevRuleName;
    struct stat st {};
    if (lstat(file.c_str(), &st) != 0) continue;
    rule.path = file;
    char target[64] = {};
    const bool to_null = S_ISLNK(st.st_mode) &&
                         readlink(file.c_str(), target, sizeof target - 1) > 0 &&
                         std::strcmp(target, "/dev/null") == 0;
    struct stat followed {};
    const bool empty = stat(file.c_str(), &followed) == 0 && S_ISREG(followed.st_mode) &&
                       followed.st_size == 0;
    rule.masked = to_null || empty;
    rule.installed = !rule.masked;
    break;  // the first folder that has the name wins
  }
  for (const std::string& dir : paths.unread_rule_dirs) {
    const std::string file = dir + "/" + kUdevRuleName;
    if (access(file.c_str(), F_OK) == 0) {
      rule.unread_path = file;
      break;
    }
  }
  return rule;
}

bool ProcessRunning(const std::string& command, const SystemPaths& paths) {
  DIR* proc = opendir(paths.proc.c_str());
  if (!proc) return false;
  bool found = false;
  while (dirent* entry = readdir(proc)) {
    if (!IsDigits(entry->d_name)) continue;
    std::string comm;
    if (ReadFile(paths.proc + "/" + entry->d_name + "/comm", comm) && Trimmed(comm) == command) {
      found = true;
      break;
    }
  }
  closedir(proc);
  return found;
}

DoctorReport RunDoctor(const DoctorInput& input) {
  DoctorReport report;
  report.user = input.user;
  report.rule = CheckRule(input.paths);
  report.modem_manager = ProcessRunning("ModemManager", input.paths);

  auto add_adapter = [&](DoctorAdapter a) {
    a.access = CheckNodeAccess(a.device, input.user);
    a.udev = ReadUdevRecord(a.access, input.paths);
    a.holders = FindHolders(a.device, input.paths, input.self_pid);
    if (!a.accepted) {
      a.findings.push_back(
          {"the tool does not take this port as a programming adapter: its product string \"" +
               a.product + "\" is not one the tool accepts",
           "the serial adapter's product string begins with \"LX DRIVES\" or \"TEAM KVR \"", false});
    } else if (!a.access.exists) {
      a.findings.push_back({a.device + " is listed but " + a.access.why,
                            "unplug the adapter and plug it in again", true});
    } else if (!a.access.can_open) {
      AddAccessFinding(a, report, input.user);
    }
    for (const Holder& h : a.holders.holders) {
      a.findings.push_back({a.device + " is held open by process " + std::to_string(h.pid) +
                                " (" + h.command + ")",
                            "close that program (or: kill " + std::to_string(h.pid) + ")", true});
    }
    if (a.family == AdapterFamily::kSerial && a.accepted && report.modem_manager &&
        !a.udev.mm_ignore) {
      a.findings.push_back(
          {"ModemManager is running and has not been told to leave " + a.device +
               " alone; it may send modem commands to the adapter while the tool talks to it",
           (report.rule.installed ? std::string("the rule sets ID_MM_DEVICE_IGNORE: unplug the "
                                                "adapter and plug it in again")
                                  : InstallFix()) +
               "; or stop ModemManager: sudo systemctl stop ModemManager",
           false});
    }
    a.usable = a.accepted && a.access.can_open && a.holders.holders.empty();
    report.adapters.push_back(std::move(a));
  };

  for (const PortInfo& port : input.serial_ports) {
    if (!port.has_usb_ids || (port.product_id != 60000 && port.product_id != 64021)) continue;
    DoctorAdapter a;
    a.family = AdapterFamily::kSerial;
    a.device = port.device;
    a.vendor_id = port.vendor_id;
    a.product_id = port.product_id;
    a.product = port.product;
    a.serial_number = port.serial_number;
    a.accepted = IsAcceptedAdapter(port);
    add_adapter(std::move(a));
  }
  for (const HidDeviceInfo& hid : input.hid_adapters) {
    DoctorAdapter a;
    a.family = AdapterFamily::kHid;
    a.device = hid.path;
    a.vendor_id = hid.vendor_id;
    a.product_id = hid.product_id;
    a.product = hid.product;
    a.serial_number = hid.serial_number;
    add_adapter(std::move(a));
  }

  const bool any = std::any_of(report.adapters.begin(), report.adapters.end(),
                               [](const DoctorAdapter& a) { return a.accepted; });
  if (!any) {
    report.findings.push_back(
        {"no programming adapter is plugged in",
         "plug in the serial adapter (a USB-to-UART bridge with product id ea60 or fa15 whose "
         "product string begins with \"LX DRIVES\" or \"TEAM KVR \") or the HID adapter (USB id "
         "10c4:" + Hex4(0x8468) + "), then run this again",
         false});
  }
  if (input.user.uid == 0) {
    report.findings.push_back({"you are root, who may open every device node",
                               "run tesselarc-cli doctor as the user who uses the tool", false});
  }
  if (!report.rule.udev_running) {
    report.findings.push_back({"the udev daemon does not run here (" + input.paths.udev_control +
                                   " is missing), so no udev rule applies",
                               "give access by group or ACL (the adapters' findings say how)",
                               false});
  }
  if (report.rule.masked) {
    report.findings.push_back({"the udev rule is masked by " + report.rule.path,
                               "sudo rm " + report.rule.path, false});
  } else if (!report.rule.installed) {
    DoctorFinding f{std::string("the udev rule ") + kUdevRuleName + " is not installed",
                    InstallFix(), false};
    if (!report.rule.unread_path.empty()) {
      f.text += " where udev reads rules; a copy lies in " + report.rule.unread_path +
                ", which udev does not read";
      f.fix = "sudo cp " + report.rule.unread_path + " /etc/udev/rules.d/ && " + kReloadAndTrigger;
    }
    report.findings.push_back(std::move(f));
  }
  if (report.modem_manager && !any && !report.rule.installed) {
    report.findings.push_back(
        {"ModemManager is running; it probes new serial ports unless a rule tells it not to",
         InstallFix(), false});
  }
  report.ok = std::all_of(report.adapters.begin(), report.adapters.end(),
                          [](const DoctorAdapter& a) { return !a.accepted || a.usable; });
  return report;
}

DoctorInput SystemDoctorInput() {
  DoctorInput input;
  input.serial_ports = ReadSystemPorts();
  input.hid_adapters = ListHidAdapters();
  input.user = UserIdentity::Current();
  input.self_pid = getpid();
  return input;
}

}  // namespace tessel
