#include "platform/qt_port_enumerator.h"

#include <QSerialPortInfo>
#include <QString>

namespace tessel {

std::vector<PortInfo> ReadSystemPorts() {
  std::vector<PortInfo> ports;
  const QList<QSerialPortInfo> found = QSerialPortInfo::availablePorts();
  ports.reserve(static_cast<size_t>(found.size()));
  for (const QSerialPortInfo& qt : found) {
    PortInfo info;
    info.device = qt.systemLocation().toStdString();
    info.has_usb_ids = qt.hasVendorIdentifier() && qt.hasProductIdentifier();
    if (info.has_usb_ids) {
      info.vendor_id = qt.vendorIdentifier();
      info.product_id = qt.productIdentifier();
    }
    info.product = qt.description().toStdString();
    info.serial_number = qt.serialNumber().toStdString();
    const QString manufacturer = qt.manufacturer();
    info.description = manufacturer.isEmpty()
                           ? info.product
                           : (manufacturer + u' ' + qt.description()).trimmed().toStdString();
    ports.push_back(std::move(info));
  }
  return ports;
}

QtPortEnumerator::QtPortEnumerator()
    : own_clock_(std::make_unique<SystemClock>()), clock_(*own_clock_), source_(ReadSystemPorts) {}

QtPortEnumerator::QtPortEnumerator(Clock& clock, PortSource source)
    : clock_(clock), source_(source ? std::move(source) : PortSource(ReadSystemPorts)) {}

std::vector<PortInfo> QtPortEnumerator::Ports() {
  const uint64_t now = clock_.NowMs();
  const bool due = !event_driven_ && now - refreshed_at_ms_ >= kRefreshPeriodMs;
  // Clear the flag before reading, so that an event during the reading is not lost.
  if (stale_.exchange(false) || due) {
    cached_ = source_();
    refreshed_at_ms_ = now;
    ++generation_;
  }
  return cached_;
}

}  // namespace tessel
