#include "platform/qt_serial_port.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QString>
#include <cerrno>
#include <fstream>
#include <limits>
#include <sstream>

#include "platform/adapter_access.h"

namespace tessel {

namespace {

// Who holds a lock on `device`, from /proc/locks (Linux), as "process 123 (name)"; empty when
// the system does not say.
std::string LockHolder(const std::string& device) {
  struct stat st {};
  if (stat(device.c_str(), &st) != 0) return {};
  char id[64];
  std::snprintf(id, sizeof id, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream in(line);
    std::string n, kind, mode, access, pid, where;
    if (!(in >> n >> kind >> mode >> access >> pid >> where)) continue;
    if (where != id || pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string name;
    std::ifstream comm("/proc/" + pid + "/comm");
    std::getline(comm, name);
    return "process " + pid + (name.empty() ? "" : " (" + name + ")");
  }
  return {};
}

int RemainingMs(const QDeadlineTimer& deadline) {
  const qint64 left = deadline.remainingTime();
  if (left <= 0) return 0;
  return static_cast<int>(std::min<qint64>(left, std::numeric_limits<int>::max()));
}

}  // namespace

QtSerialPort::QtSerialPort() = default;

QtSerialPort::~QtSerialPort() {
  Close();
}

bool QtSerialPort::Open(const std::string& device, uint32_t baud_rate) {
  Close();
  last_error_.clear();
  open_denied_ = false;
  if (device.empty() || baud_rate == 0 ||
      baud_rate > static_cast<uint32_t>(std::numeric_limits<qint32>::max())) {
    last_error_ = "invalid device or line speed";
    return false;
  }
  // A fresh object per opening: no buffered bytes or error state survive a reopen.
  auto port = std::make_unique<QSerialPort>();
  port->setPortName(QString::fromStdString(device));
  port->setBaudRate(static_cast<qint32>(baud_rate));
  port->setDataBits(QSerialPort::Data8);
  port->setParity(QSerialPort::NoParity);
  port->setStopBits(QSerialPort::OneStop);
  port->setFlowControl(QSerialPort::NoFlowControl);
  if (!port->open(QIODevice::ReadWrite)) {
    last_error_ = "open " + device + ": " + port->errorString().toStdString();
    if (port->error() == QSerialPort::PermissionError) {
      // Qt reports both a node this user may not open and a port held by someone else (its
      // lock file, TIOCEXCL) this way.
      open_denied_ = AccessRefused(device.front() == '/' ? device : "/dev/" + device);
      const std::string holder = LockHolder(device);
      if (!holder.empty()) last_error_ = "port busy: " + device + " is in use by " + holder;
    }
    return false;
  }
  // Two tools on one line would interleave their bytes. Qt's exclusive mode does not stop a
  // second opener with privileges (root passes TIOCEXCL), so take a lock that binds everyone
  // who asks for it; it goes with the descriptor.
  const int fd = static_cast<int>(port->handle());
  if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    const std::string holder = LockHolder(device);
    last_error_ = "port busy: " + device + " is in use" + (holder.empty() ? "" : " by " + holder);
    port->close();
    return false;
  }
  port->clear(QSerialPort::AllDirections);
  port_ = std::move(port);
  baud_rate_ = baud_rate;
  return true;
}

void QtSerialPort::Close() {
  if (port_) {
    if (port_->isOpen()) port_->close();
    port_.reset();
  }
}

bool QtSerialPort::IsOpen() const {
  return port_ && port_->isOpen();
}

uint32_t QtSerialPort::WriteBudgetMs(size_t count) const {
  const uint64_t baud = baud_rate_ == 0 ? 1200 : baud_rate_;
  // Ten bits a byte on the line (start, 8 data, stop).
  const uint64_t line_ms = (static_cast<uint64_t>(count) * 10 * 1000 + baud - 1) / baud;
  const uint64_t budget = 1000 + 2 * line_ms;
  return static_cast<uint32_t>(std::min<uint64_t>(budget, std::numeric_limits<int>::max()));
}

bool QtSerialPort::Write(const uint8_t* data, size_t count, size_t* written) {
  if (written) *written = 0;
  if (!IsOpen()) return false;
  if (count == 0) return true;
  if (data == nullptr) return false;
  last_error_.clear();
  port_->clearError();

  const qint64 queued =
      port_->write(reinterpret_cast<const char*>(data), static_cast<qint64>(count));
  if (queued != static_cast<qint64>(count)) {
    port_->clear(QSerialPort::Output);
    NoteFailure("write");
    CloseIfGone();
    return false;
  }
  const QDeadlineTimer deadline(WriteBudgetMs(count));
  while (port_->bytesToWrite() > 0) {
    const int left = RemainingMs(deadline);
    if (left == 0 || !port_->waitForBytesWritten(left)) break;
  }
  const qint64 pending = port_->bytesToWrite();
  if (written) *written = count - static_cast<size_t>(std::max<qint64>(0, pending));
  if (pending > 0) {
    // The caller is told the write failed; the rest must not go out behind its back (the
    // next waitFor* call would otherwise send it) and turn a retry into a duplicate.
    port_->clear(QSerialPort::Output);
    NoteFailure("write");
    CloseIfGone();
    return false;
  }
  return true;
}

bool QtSerialPort::Read(uint8_t* data, size_t count, size_t* received, uint32_t timeout_ms) {
  if (received) *received = 0;
  if (!IsOpen()) return false;
  if (count == 0) return true;
  if (data == nullptr) return false;
  last_error_.clear();
  port_->clearError();

  const QDeadlineTimer deadline(static_cast<qint64>(timeout_ms));
  size_t got = 0;
  bool failed = false;
  for (;;) {
    // Only what QSerialPort already buffered; never more than asked, so the rest of the
    // buffer (a reply behind an echo) stays for the next Read.
    const qint64 n =
        port_->read(reinterpret_cast<char*>(data + got), static_cast<qint64>(count - got));
    if (n < 0) {
      failed = true;
      break;
    }
    got += static_cast<size_t>(n);
    if (got == count) break;
    // Even a spent (or zero) time-out gets one look without waiting, so bytes already in the
    // system's queue are taken.
    const int left = RemainingMs(deadline);
    if (!port_->waitForReadyRead(left)) {
      // Either the deadline passed or the port failed; in both cases the read is over. One
      // more look picks up anything the wait buffered before it gave up.
      const QSerialPort::SerialPortError error = port_->error();
      failed = error != QSerialPort::NoError && error != QSerialPort::TimeoutError;
      const qint64 tail =
          port_->read(reinterpret_cast<char*>(data + got), static_cast<qint64>(count - got));
      if (tail > 0) got += static_cast<size_t>(tail);
      break;
    }
    if (left == 0 && port_->bytesAvailable() == 0) break;
  }
  if (received) *received = got;
  if (got == count) return true;
  if (failed) {
    NoteFailure("read");
    CloseIfGone();
  } else {
    last_error_ =
        "read: timed out after " + std::to_string(got) + " of " + std::to_string(count) + " bytes";
  }
  return false;
}

void QtSerialPort::PurgeRx() {
  if (!IsOpen()) return;
  // QSerialPort::clear drops its own buffer as well as the system's receive queue.
  port_->clear(QSerialPort::Input);
}

void QtSerialPort::Purge() {
  if (!IsOpen()) return;
  port_->clear(QSerialPort::AllDirections);
}

void QtSerialPort::NoteFailure(const char* what) {
  last_error_ = std::string(what) + ": " + port_->errorString().toStdString();
}

void QtSerialPort::CloseIfGone() {
  if (!port_) return;
  // A hung-up terminal reads end-of-file, which Qt reports as a read error; a vanished USB
  // device shows as a resource error. Neither heals while the port stays open.
  switch (port_->error()) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
      Close();
      break;
    default:
      break;
  }
}

}  // namespace tessel
