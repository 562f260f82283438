#include "cli/doctor.h"

#include <cstdio>

#include "core/model/sheet.h"

namespace tessel {

namespace {

std::string Hex4(uint16_t v) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(v));
  return text;
}

// Device strings go to a terminal: no control characters.
std::string Printable(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = '?';
  }
  return out;
}

const char* FamilyName(AdapterFamily family) {
  return family == AdapterFamily::kHid ? "hid" : "serial";
}

void AddFinding(std::string& out, const DoctorFinding& f, const char* indent) {
  out += std::string(indent) + (f.blocking ? "problem: " : "note:    ") + Printable(f.text) + "\n";
  out += std::string(indent) + "fix:     " + Printable(f.fix) + "\n";
}

std::string Groups(const UserIdentity& user) {
  std::string out;
  for (uint32_t g : user.groups) {
    if (!out.empty()) out += ",";
    out += std::to_string(g);
  }
  return out;
}

std::string JsonFindings(const std::vector<DoctorFinding>& findings) {
  std::string out = "[";
  for (size_t i = 0; i < findings.size(); ++i) {
    const DoctorFinding& f = findings[i];
    if (i) out += ", ";
    out += "{\"text\": " + JsonString(f.text) + ", \"fix\": " + JsonString(f.fix) +
           ", \"blocking\": " + (f.blocking ? "true" : "false") + "}";
  }
  return out + "]";
}

const char* Bool(bool b) {
  return b ? "true" : "false";
}

}  // namespace

std::string DoctorText(const DoctorReport& report) {
  const UserIdentity& u = report.user;
  std::string out = "user:          " + Printable(u.name) + " (uid " + std::to_string(u.uid) +
                    ", groups " + Groups(u) + ")\n";
  out += "udev:          ";
  out += report.rule.udev_running ? "running" : "not running";
  out += "\nudev rule:     ";
  if (report.rule.installed) {
    out += "installed (" + report.rule.path + ")";
  } else if (report.rule.masked) {
    out += "masked (" + report.rule.path + ")";
  } else {
    out += "not installed";
  }
  out += "\nModemManager:  ";
  out += report.modem_manager ? "running" : "not running";
  out += "\n";
  for (const DoctorAdapter& a : report.adapters) {
    const NodeAccess& n = a.access;
    out += "\n" + std::string(a.family == AdapterFamily::kHid ? "HID adapter" : "serial adapter") +
           " " + Printable(a.device) + "  " + Hex4(a.vendor_id) + ":" + Hex4(a.product_id) + "  " +
           (a.product.empty() ? "-" : Printable(a.product)) + "  " +
           (a.serial_number.empty() ? "-" : Printable(a.serial_number)) + "\n";
    if (n.exists) {
      out += "  node:        " + n.mode_text + " " + Printable(n.owner_name) + ":" +
             Printable(n.group_name) + (n.acl_text.empty() ? ", no ACL" : ", ACL " + n.acl_text) +
             "\n";
    }
    if (report.rule.udev_running) {
      out += "  udev:        ";
      if (!a.udev.known) {
        out += "no record of this node";
      } else {
        out += a.udev.uaccess ? "tagged uaccess" : "not tagged uaccess";
        out += a.udev.mm_ignore ? ", ModemManager told to ignore it" : "";
      }
      out += "\n";
    }
    out += "  held open:   ";
    if (a.holders.holders.empty()) {
      out += "by no other process";
    } else {
      for (size_t i = 0; i < a.holders.holders.size(); ++i) {
        if (i) out += ", ";
        out += "process " + std::to_string(a.holders.holders[i].pid) + " (" +
               Printable(a.holders.holders[i].command) + ")";
      }
    }
    if (a.holders.unreadable > 0) {
      out += " that this user can see (" + std::to_string(a.holders.unreadable) +
             " processes of other users cannot be looked at; sudo shows them)";
    }
    out += "\n  can open:    ";
    out += n.can_open ? (n.by_acl ? "yes (an ACL grants it)" : "yes") : "no";
    out += "\n";
    for (const DoctorFinding& f : a.findings) AddFinding(out, f, "  ");
  }
  if (!report.findings.empty()) out += "\n";
  for (const DoctorFinding& f : report.findings) AddFinding(out, f, "");
  size_t blocked = 0;
  size_t adapters = 0;
  for (const DoctorAdapter& a : report.adapters) {
    if (!a.accepted) continue;
    ++adapters;
    if (!a.usable) ++blocked;
  }
  out += "\n";
  if (adapters == 0) {
    out += "result: no adapter to check\n";
  } else if (blocked == 0) {
    out += "result: every adapter can be used\n";
  } else {
    out += "result: " + std::to_string(blocked) + " of " + std::to_string(adapters) +
           (adapters == 1 ? " adapter" : " adapters") + " cannot be used\n";
  }
  return out;
}

std::string DoctorJson(const DoctorReport& report) {
  const UserIdentity& u = report.user;
  std::string out = "{\"ok\": " + std::string(Bool(report.ok));
  out += ", \"user\": {\"name\": " + JsonString(u.name) + ", \"uid\": " + std::to_string(u.uid) +
         ", \"groups\": [" + Groups(u) + "]}";
  out += ", \"udev_running\": " + std::string(Bool(report.rule.udev_running));
  out += ", \"rule\": {\"installed\": " + std::string(Bool(report.rule.installed)) +
         ", \"masked\": " + Bool(report.rule.masked) +
         ", \"path\": " + (report.rule.path.empty() ? "null" : JsonString(report.rule.path)) + "}";
  out += ", \"modem_manager\": " + std::string(Bool(report.modem_manager));
  out += ", \"adapters\": [";
  for (size_t i = 0; i < report.adapters.size(); ++i) {
    const DoctorAdapter& a = report.adapters[i];
    const NodeAccess& n = a.access;
    if (i) out += ", ";
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", n.mode & 07777);
    out += "{\"family\": \"" + std::string(FamilyName(a.family)) +
           "\", \"device\": " + JsonString(a.device) + ", \"usb_id\": \"" + Hex4(a.vendor_id) +
           ":" + Hex4(a.product_id) + "\", \"product\": " + JsonString(a.product) +
           ", \"serial_number\": " + JsonString(a.serial_number) +
           ", \"accepted\": " + Bool(a.accepted) + ", \"usable\": " + Bool(a.usable);
    out += ", \"node\": ";
    if (n.exists) {
      out += "{\"owner\": " + JsonString(n.owner_name) +
             ", \"group\": " + JsonString(n.group_name) + ", \"mode\": \"" + mode +
             "\", \"acl\": " + JsonString(n.acl_text) + ", \"in_group\": " + Bool(n.in_group) + "}";
    } else {
      out += "null";
    }
    out += ", \"can_open\": " + std::string(Bool(n.can_open)) + ", \"by_acl\": " + Bool(n.by_acl) +
           ", \"why\": " + JsonString(n.why);
    out += ", \"udev\": {\"known\": " + std::string(Bool(a.udev.known)) +
           ", \"uaccess\": " + Bool(a.udev.uaccess) +
           ", \"modem_manager_ignores\": " + Bool(a.udev.mm_ignore) + "}";
    out += ", \"held_by\": [";
    for (size_t h = 0; h < a.holders.holders.size(); ++h) {
      if (h) out += ", ";
      out += "{\"pid\": " + std::to_string(a.holders.holders[h].pid) +
             ", \"command\": " + JsonString(a.holders.holders[h].command) + "}";
    }
    out += "], \"findings\": " + JsonFindings(a.findings) + "}";
  }
  out += "], \"findings\": " + JsonFindings(report.findings) + "}";
  return out;
}

int CommandDoctor(const std::vector<std::string>& args) {
  bool json = false;
  for (const std::string& a : args) {
    if (a != "--json") {
      std::fprintf(stderr, "tesselarc-cli: doctor: unexpected argument %s\n", a.c_str());
      return 2;
    }
    json = true;
  }
  const DoctorReport report = RunDoctor(SystemDoctorInput());
  const std::string text = json ? DoctorJson(report) + "\n" : DoctorText(report);
  std::fputs(text.c_str(), stdout);
  return report.ok ? 0 : 1;
}

}  // namespace tessel
