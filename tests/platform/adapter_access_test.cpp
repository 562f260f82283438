// `doctor`'s checks on device nodes, udev records, rule folders and a /proc that the test makes
// in its own folder, for a user the test makes up (so the answers hold whoever runs the test,
// root included).
#include "platform/adapter_access.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace tessel {
namespace {

constexpr uint32_t kUser = 4242;
constexpr uint32_t kUserGroup = 4242;
constexpr uint32_t kDialout = 4343;  // the group that owns the serial node

UserIdentity TestUser() {
  UserIdentity u;
  u.uid = kUser;
  u.gid = kUserGroup;
  u.name = "pat";
  u.groups = {kUserGroup};
  u.database_groups = {kUserGroup};
  return u;
}

void SetAcl(const std::string& path, std::vector<AclEntry> entries) {
  std::vector<uint8_t> blob = {2, 0, 0, 0};
  for (const AclEntry& e : entries) {
    const uint8_t b[8] = {static_cast<uint8_t>(e.tag), static_cast<uint8_t>(e.tag >> 8),
                          static_cast<uint8_t>(e.perm), 0,
                          static_cast<uint8_t>(e.id), static_cast<uint8_t>(e.id >> 8),
                          static_cast<uint8_t>(e.id >> 16), static_cast<uint8_t>(e.id >> 24)};
    blob.insert(blob.end(), b, b + 8);
  }
  ASSERT_EQ(setxattr(path.c_str(), "system.posix_acl_access", blob.data(), blob.size(), 0), 0)
      << "this file system keeps no ACLs";
}

// Nodes of other owners can only be made by root; the tests say so and stop elsewhere.
#define NEEDS_ROOT() \
  if (geteuid() != 0) GTEST_SKIP() << "making nodes of other owners needs root"

struct FakeMachine {
  FakeMachine() {
    char dir[] = "/tmp/tesselarc-doctor-XXXXXX";
    root = mkdtemp(dir);
    for (const char* sub : {"dev", "etc-rules", "lib-rules", "local-rules", "udev-data", "proc"})
      std::filesystem::create_directories(root + "/" + sub);
    input.paths.rule_dirs = {root + "/etc-rules", root + "/lib-rules"};
    input.paths.unread_rule_dirs = {root + "/local-rules"};
    input.paths.udev_data = root + "/udev-data";
    input.paths.udev_control = root + "/udev-control";
    input.paths.proc = root + "/proc";
    std::ofstream(input.paths.udev_control) << "";
    input.user = TestUser();
  }
  ~FakeMachine() { std::filesystem::remove_all(root); }

  // A device node (a character device where this machine lets us make one, else a file).
  std::string Node(const std::string& name, uint32_t uid, uint32_t gid, mode_t mode,
                   uint32_t minor = 0) {
    const std::string path = root + "/dev/" + name;
    if (mknod(path.c_str(), S_IFCHR | mode, makedev(240, minor)) != 0) {
      std::ofstream(path) << "";
    } else {
      char_nodes = true;
    }
    EXPECT_EQ(chown(path.c_str(), uid, gid), 0);
    EXPECT_EQ(chmod(path.c_str(), mode), 0);
    return path;
  }
  std::string SerialNode(uint32_t gid = kDialout, mode_t mode = 0660) {
    const std::string path = Node("ttyUSB0", 0, gid, mode);
    PortInfo port;
    port.device = path;
    port.has_usb_ids = true;
    port.vendor_id = 0x10C4;
    port.product_id = 0xEA60;
    port.product = "LX DRIVES USB";
    input.serial_ports.push_back(port);
    return path;
  }
  std::string HidNode(mode_t mode = 0600) {
    const std::string path = Node("hidraw3", 0, 0, mode, 3);
    input.hid_adapters.push_back({path, 0x10C4, 0x8468, "USB HID adapter", "0001"});
    return path;
  }
  void UdevRecord(uint32_t minor, const std::string& text) {
    std::ofstream(input.paths.udev_data + "/c240:" + std::to_string(minor)) << text;
  }
  void Rule(const std::string& folder, const std::string& text = "# rule\n") {
    std::ofstream(root + "/" + folder + "/" + kUdevRuleName) << text;
  }
  DoctorReport Run() { return RunDoctor(input); }

  std::string root;
  DoctorInput input;
  bool char_nodes = false;
};

bool Mentions(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(NodeAccessTest, WeighsOwnerGroupModeAndAclForTheUserChecked) {
  NEEDS_ROOT();
  FakeMachine m;
  const UserIdentity pat = TestUser();
  // A node of another group: no.
  const std::string tty = m.Node("tty", 0, kDialout, 0660);
  NodeAccess n = CheckNodeAccess(tty, pat);
  EXPECT_TRUE(n.exists);
  EXPECT_FALSE(n.can_open);
  EXPECT_FALSE(n.in_group);
  EXPECT_EQ(n.mode_text.substr(1), "rw-rw----");
  EXPECT_TRUE(Mentions(n.why, "you (pat) are not in group")) << n.why;
  EXPECT_TRUE(Mentions(n.why, "no ACL")) << n.why;

  // The same node for a member of that group: yes.
  UserIdentity member = pat;
  member.groups.push_back(kDialout);
  EXPECT_TRUE(CheckNodeAccess(tty, member).can_open);

  // A member whose group may only read: no, and the reason says so.
  const std::string read_only = m.Node("ro", 0, kDialout, 0640, 1);
  n = CheckNodeAccess(read_only, member);
  EXPECT_FALSE(n.can_open);
  EXPECT_TRUE(Mentions(n.why, "which may not read and write it")) << n.why;

  // Owner without write permission, and others with all of it.
  EXPECT_FALSE(CheckNodeAccess(m.Node("own", kUser, 0, 0400, 2), pat).can_open);
  EXPECT_TRUE(CheckNodeAccess(m.Node("open", 0, 0, 0666, 3), pat).can_open);
  // Group members are judged by the group bits, not by other's.
  EXPECT_FALSE(CheckNodeAccess(m.Node("odd", 0, kDialout, 0606, 4), member).can_open);

  // Root may open anything.
  UserIdentity root;
  EXPECT_TRUE(CheckNodeAccess(m.Node("hid", 0, 0, 0600, 5), root).can_open);
}

TEST(NodeAccessTest, AnAclEntryGrantsWithinItsMask) {
  NEEDS_ROOT();
  FakeMachine m;
  const UserIdentity pat = TestUser();
  // hidraw as udev's uaccess leaves it: root:root 0600 plus an entry for the seat's user.
  const std::string hid = m.Node("hidraw0", 0, 0, 0660);
  SetAcl(hid, {{AclEntry::kUserObj, 6, 0},
               {AclEntry::kUser, 6, kUser},
               {AclEntry::kGroupObj, 0, 0},
               {AclEntry::kMask, 6, 0},
               {AclEntry::kOther, 0, 0}});
  NodeAccess n = CheckNodeAccess(hid, pat);
  EXPECT_TRUE(n.can_open);
  EXPECT_TRUE(n.by_acl);
  EXPECT_EQ(n.acl_text, "user:" + std::to_string(kUser) + ":rw-,mask::rw-");

  // Someone else gets nothing from pat's entry.
  UserIdentity other = pat;
  other.uid = kUser + 1;
  EXPECT_FALSE(CheckNodeAccess(hid, other).can_open);

  // A mask of r-- takes the write permission back from every entry but the owner's.
  const std::string masked = m.Node("hidraw1", 0, 0, 0640, 1);
  SetAcl(masked, {{AclEntry::kUserObj, 6, 0},
                  {AclEntry::kUser, 6, kUser},
                  {AclEntry::kGroupObj, 0, 0},
                  {AclEntry::kGroup, 6, kUserGroup},
                  {AclEntry::kMask, 4, 0},
                  {AclEntry::kOther, 0, 0}});
  n = CheckNodeAccess(masked, pat);
  EXPECT_FALSE(n.can_open);
  EXPECT_TRUE(Mentions(n.why, "grants less")) << n.why;

  // A named group entry grants its members.
  const std::string by_group = m.Node("hidraw2", 0, 0, 0660, 2);
  SetAcl(by_group, {{AclEntry::kUserObj, 6, 0},
                    {AclEntry::kGroupObj, 0, 0},
                    {AclEntry::kGroup, 6, kUserGroup},
                    {AclEntry::kMask, 6, 0},
                    {AclEntry::kOther, 0, 0}});
  n = CheckNodeAccess(by_group, pat);
  EXPECT_TRUE(n.can_open);
  EXPECT_TRUE(n.by_acl);
}

TEST(DoctorTest, NoAdapterIsNoFailureAndSaysWhatToPlugIn) {
  NEEDS_ROOT();
  FakeMachine m;
  // A bridge with an accepted product id but a product string the tool does not take.
  PortInfo other;
  other.device = m.Node("ttyUSB9", 0, kDialout, 0660);
  other.has_usb_ids = true;
  other.vendor_id = 0x10C4;
  other.product_id = 0xEA60;
  other.product = "CP2102 USB to UART";
  m.input.serial_ports.push_back(other);
  const DoctorReport r = m.Run();
  EXPECT_TRUE(r.ok);
  ASSERT_EQ(r.adapters.size(), 1u);
  EXPECT_FALSE(r.adapters[0].accepted);
  ASSERT_FALSE(r.findings.empty());
  EXPECT_EQ(r.findings[0].text, "no programming adapter is plugged in");
  EXPECT_TRUE(Mentions(r.findings[0].fix, "10c4:8468"));
  EXPECT_TRUE(Mentions(r.findings[0].fix, "LX DRIVES"));
}

TEST(DoctorTest, ARefusedSerialAdapterGetsTheRuleOrTheGroupAsItsFix) {
  NEEDS_ROOT();
  FakeMachine m;
  const std::string tty = m.SerialNode();
  DoctorReport r = m.Run();
  EXPECT_FALSE(r.ok);
  ASSERT_EQ(r.adapters.size(), 1u);
  const DoctorAdapter& a = r.adapters[0];
  EXPECT_EQ(a.device, tty);
  EXPECT_FALSE(a.usable);
  ASSERT_EQ(a.findings.size(), 1u);
  EXPECT_TRUE(a.findings[0].blocking);
  EXPECT_TRUE(Mentions(a.findings[0].text, "pat may not open " + tty));
  EXPECT_TRUE(Mentions(a.findings[0].fix, "apt-get install ./tesselarc_"));
  EXPECT_TRUE(Mentions(a.findings[0].fix, "sudo usermod -aG " + std::to_string(kDialout) + " pat"));

  // Added to the group, not logged in again since.
  m.input.user.database_groups.push_back(kDialout);
  r = m.Run();
  EXPECT_TRUE(r.adapters[0].access.group_after_login);
  EXPECT_TRUE(Mentions(r.adapters[0].findings[0].fix, "log out and in again"));

  // Logged in again: nothing left to fix.
  m.input.user.groups.push_back(kDialout);
  r = m.Run();
  EXPECT_TRUE(r.ok);
  EXPECT_TRUE(r.adapters[0].findings.empty());
}

TEST(DoctorTest, TheRuleIsFoundMaskedUnreadOrNotYetApplied) {
  NEEDS_ROOT();
  FakeMachine m;
  m.HidNode();
  // Only where an installation under /usr/local puts it.
  m.Rule("local-rules");
  DoctorReport r = m.Run();
  EXPECT_FALSE(r.rule.installed);
  bool told_unread = false;
  for (const DoctorFinding& f : r.findings)
    told_unread |= Mentions(f.text, "which udev does not read") && Mentions(f.fix, "sudo cp ");
  EXPECT_TRUE(told_unread);
  // The hidraw node's group is root: no group to join, the rule is the fix.
  EXPECT_FALSE(Mentions(r.adapters[0].findings[0].fix, "usermod"));

  m.Rule("lib-rules");
  r = m.Run();
  EXPECT_TRUE(r.rule.installed);
  EXPECT_EQ(r.rule.path, m.root + "/lib-rules/" + kUdevRuleName);
  if (m.char_nodes) {
    // Installed, but the adapter was plugged in before: no tag on the node yet.
    EXPECT_TRUE(Mentions(r.adapters[0].findings[0].fix, "not applied to this adapter yet"));
    // Tagged, yet no ACL for pat: pat is not at the seat.
    m.UdevRecord(3, "I:123\nE:ID_MM_DEVICE_IGNORE=1\nG:uaccess\nQ:uaccess\n");
    r = m.Run();
    EXPECT_TRUE(r.adapters[0].udev.uaccess);
    EXPECT_TRUE(r.adapters[0].udev.mm_ignore);
    EXPECT_TRUE(Mentions(r.adapters[0].findings[0].fix, "active desktop session"));
  }

  // An empty file of the same name in /etc hides the packaged one.
  m.Rule("etc-rules", "");
  r = m.Run();
  EXPECT_TRUE(r.rule.masked);
  EXPECT_FALSE(r.rule.installed);
  EXPECT_TRUE(Mentions(r.adapters[0].findings[0].fix, "sudo rm " + m.root + "/etc-rules/"));

  // Without a udev daemon no rule helps; the fix is an ACL by hand.
  std::filesystem::remove(m.input.paths.udev_control);
  r = m.Run();
  EXPECT_TRUE(Mentions(r.adapters[0].findings[0].fix, "sudo setfacl -m u:pat:rw "));
}

TEST(DoctorTest, ModemManagerAndProcessesHoldingTheNodeAreNamed) {
  NEEDS_ROOT();
  FakeMachine m;
  m.SerialNode(kDialout, 0666);
  // A ModemManager in the test's own /proc.
  std::filesystem::create_directories(m.input.paths.proc + "/321");
  std::ofstream(m.input.paths.proc + "/321/comm") << "ModemManager\n";
  DoctorReport r = m.Run();
  EXPECT_TRUE(r.modem_manager);
  ASSERT_EQ(r.adapters.size(), 1u);
  ASSERT_EQ(r.adapters[0].findings.size(), 1u);
  EXPECT_FALSE(r.adapters[0].findings[0].blocking);
  EXPECT_TRUE(Mentions(r.adapters[0].findings[0].text, "ModemManager is running"));
  EXPECT_TRUE(Mentions(r.adapters[0].findings[0].fix, "systemctl stop ModemManager"));
  EXPECT_TRUE(r.ok);  // a warning: the adapter can still be opened

  // A real process that holds the node open, found in the real /proc. (A file: a made-up
  // character device has no driver behind it to open.)
  const std::string held_node = m.root + "/dev/ttyUSB1";
  std::ofstream(held_node) << "";
  m.input.serial_ports[0].device = held_node;
  m.input.paths.proc = "/proc";
  m.input.self_pid = getpid();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = open(held_node.c_str(), O_RDWR);
    if (fd < 0) _exit(1);
    execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
    _exit(1);
  }
  // Wait until the child holds it (it opens before exec, so the name is "sleep" soon after).
  DoctorReport held;
  for (int i = 0; i < 200; ++i) {
    held = m.Run();
    if (!held.adapters[0].holders.holders.empty() &&
        held.adapters[0].holders.holders[0].command == "sleep")
      break;
    usleep(10000);
  }
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  ASSERT_EQ(held.adapters[0].holders.holders.size(), 1u);
  EXPECT_EQ(held.adapters[0].holders.holders[0].pid, child);
  EXPECT_FALSE(held.ok);
  bool named = false;
  for (const DoctorFinding& f : held.adapters[0].findings)
    named |= f.blocking && Mentions(f.text, "held open by process " + std::to_string(child) +
                                                " (sleep)") &&
             Mentions(f.fix, "kill " + std::to_string(child));
  EXPECT_TRUE(named);
}

TEST(DoctorTest, AccessRefusedTellsPermissionFromAbsence) {
  FakeMachine m;
  EXPECT_FALSE(AccessRefused(m.root + "/dev/nothing-here"));
  const std::string node = m.root + "/dev/node";
  std::ofstream(node) << "";
  ASSERT_EQ(chmod(node.c_str(), 0666), 0);
  EXPECT_FALSE(AccessRefused(node));
  ASSERT_EQ(chmod(node.c_str(), 0400), 0);
  // Root passes every permission check; anyone else is refused the write.
  EXPECT_EQ(AccessRefused(node), geteuid() != 0);
}

}  // namespace
}  // namespace tessel
