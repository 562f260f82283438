// A stand-in navigator.serial for the browser tests: one port with the adapter's USB ids whose
// bytes travel over a WebSocket to web/tools/serial_bridge.mjs and on to a pseudo-terminal.
// Injected before the page's own scripts; `window.__bridgeUrl` names the bridge.
(() => {
  const url = window.__bridgeUrl;
  class BridgePort {
    constructor() { this.readable = null; this.writable = null; this.ws = null; }
    getInfo() { return { usbVendorId: 0x10c4, usbProductId: 60000 }; }
    async open({ baudRate }) {
      if (this.ws) throw new DOMException('The port is already open.', 'InvalidStateError');
      const ws = new WebSocket(url);
      ws.binaryType = 'arraybuffer';
      await new Promise((resolve, reject) => { ws.onopen = resolve; ws.onerror = reject; });
      const opened = new Promise((resolve) => {
        ws.onmessage = (e) => {
          if (typeof e.data === 'string') {
            const msg = JSON.parse(e.data);
            if (msg.op === 'opened') resolve(msg.ok);
            return;
          }
          this.controller && this.controller.enqueue(new Uint8Array(e.data));
        };
      });
      ws.send(JSON.stringify({ op: 'open', baud: baudRate }));
      if (!(await opened)) { ws.close(); throw new DOMException('Failed to open serial port.', 'NetworkError'); }
      this.ws = ws;
      this.readable = new ReadableStream({ start: (c) => { this.controller = c; }, cancel: () => { this.controller = null; } });
      this.writable = new WritableStream({ write: (chunk) => ws.send(chunk) });
    }
    async close() {
      if (!this.ws) return;
      try { this.controller && this.controller.close(); } catch (e) { /* cancelled */ }
      this.controller = null;
      this.ws.send(JSON.stringify({ op: 'close' }));
      this.ws.close();
      this.ws = null;
      this.readable = null;
      this.writable = null;
    }
  }
  const port = new BridgePort();
  const serial = new EventTarget();
  serial.getPorts = async () => [port];
  serial.requestPort = async () => port;
  Object.defineProperty(navigator, 'serial', { value: serial, configurable: true });
})();
