// The JavaScript halves of the device back-ends (web/bind/binding.cpp calls them): a serial
// port on the Web Serial API and the HID adapter on WebHID. Each keeps what the device sends
// in a queue that a suspended engine read takes from, so no byte is lost between reads.
// @ts-check

/** USB ids the choosers offer: the serial adapter's bridges and the HID adapter. */
export const SERIAL_FILTERS = [
  { usbVendorId: 0x10c4, usbProductId: 60000 },
  { usbVendorId: 0x10c4, usbProductId: 64021 },
];
export const HID_FILTERS = [{ vendorId: 0x10c4, productId: 0x8468 }];
const REPORT_LENGTH = 64;

/** Resolves when `check()` holds or `ms` have passed, woken by `wake` notifications. */
class Waiter {
  constructor() { /** @type {Array<() => void>} */ this.waiting = []; }
  notify() { const w = this.waiting; this.waiting = []; w.forEach((f) => f()); }
  /** @param {() => boolean} check @param {number} ms */
  async until(check, ms) {
    const end = performance.now() + ms;
    while (!check()) {
      const left = end - performance.now();
      if (left <= 0) return;
      await new Promise((resolve) => {
        const t = setTimeout(resolve, left);
        this.waiting.push(() => { clearTimeout(t); resolve(undefined); });
      });
    }
  }
}

/** The serial port the user picked (a SerialPort of navigator.serial, or a stand-in). */
export class SerialBackend {
  constructor() {
    /** @type {any} */ this.port = null;
    this.opened = false;
    this.baud = 0;
    /** @type {number[]} */ this.rx = [];
    this.waiter = new Waiter();
    /** @type {any} */ this.reader = null;
    /** @type {Promise<void>|null} */ this.loop = null;
  }

  /** @param {any} port */
  use(port) { this.port = port; }
  isOpen() { return this.opened; }

  /** @param {number} baud */
  async open(baud) {
    if (!this.port) return false;
    if (this.opened) return false;  // exclusive, as the desktop's port
    try {
      await this.port.open({ baudRate: baud, dataBits: 8, parity: 'none', stopBits: 1 });
    } catch (e) {
      return false;
    }
    this.opened = true;
    this.baud = baud;
    this.rx = [];
    this.loop = this.readLoop();
    return true;
  }

  async readLoop() {
    while (this.opened && this.port.readable) {
      this.reader = this.port.readable.getReader();
      try {
        for (;;) {
          const { value, done } = await this.reader.read();
          if (done) break;
          for (const b of value) this.rx.push(b);
          this.waiter.notify();
        }
      } catch (e) {
        // A lost device ends the loop; the engine's next read fails and it closes the port.
        this.opened = false;
      } finally {
        this.reader.releaseLock();
        this.reader = null;
      }
    }
    this.waiter.notify();
  }

  async close() {
    if (!this.port || !this.opened) { this.opened = false; return; }
    this.opened = false;
    try { if (this.reader) await this.reader.cancel(); } catch (e) { /* already gone */ }
    try { await this.loop; } catch (e) { /* ended */ }
    try { await this.port.close(); } catch (e) { /* already closed */ }
    this.rx = [];
  }

  /** @param {Uint8Array} bytes */
  async write(bytes) {
    if (!this.opened || !this.port.writable) return false;
    const writer = this.port.writable.getWriter();
    try {
      await writer.write(bytes);
      return true;
    } catch (e) {
      return false;
    } finally {
      writer.releaseLock();
    }
  }

  /** Up to `count` bytes, waiting at most `ms` for all of them. @param {number} count @param {number} ms */
  async read(count, ms) {
    if (!this.opened) return new Uint8Array(0);
    await this.waiter.until(() => this.rx.length >= count || !this.opened, ms);
    return Uint8Array.from(this.rx.splice(0, Math.min(count, this.rx.length)));
  }

  purge() { this.rx = []; }
}

/** The HID adapters granted to the page; one open at a time. */
export class HidBackend {
  constructor() {
    /** @type {any[]} */ this.devices = [];
    /** @type {any} */ this.device = null;
    /** @type {Uint8Array[]} */ this.input = [];
    this.waiter = new Waiter();
    this.onReport = (/** @type {any} */ e) => {
      const report = new Uint8Array(REPORT_LENGTH);
      report[0] = e.reportId;
      report.set(new Uint8Array(e.data.buffer, e.data.byteOffset, Math.min(e.data.byteLength, REPORT_LENGTH - 1)), 1);
      this.input.push(report);
      this.waiter.notify();
    };
  }

  /** @param {any[]} devices */
  setDevices(devices) { this.devices = devices; }
  count() { return this.devices.length; }
  isOpen() { return !!this.device && this.device.opened; }

  /** @param {number} index */
  async open(index) {
    const d = this.devices[index];
    if (!d) return 1;
    if (this.device) await this.close();
    try {
      if (!d.opened) await d.open();
    } catch (e) {
      return 7;
    }
    this.device = d;
    this.input = [];
    d.addEventListener('inputreport', this.onReport);
    return 0;
  }

  /** @param {Uint8Array} report @param {boolean} control */
  async send(report, control) {
    // WebHID picks the pipe itself: an output report goes out on the interrupt pipe where the
    // adapter has one and as a control transfer otherwise, which is where the hello belongs.
    void control;
    if (!this.isOpen()) return 2;
    try {
      await this.device.sendReport(report[0], report.slice(1));
      return 0;
    } catch (e) {
      return 5;
    }
  }

  /** Up to `count` buffered input reports. @param {number} count @param {number} ms */
  async read(count, ms) {
    if (!this.isOpen()) return [];
    if (ms > 0) await this.waiter.until(() => this.input.length >= count, ms);
    return this.input.splice(0, Math.min(count, this.input.length));
  }

  async close() {
    const d = this.device;
    this.device = null;
    this.input = [];
    if (!d) return;
    d.removeEventListener('inputreport', this.onReport);
    try { await d.close(); } catch (e) { /* already gone */ }
  }
}
