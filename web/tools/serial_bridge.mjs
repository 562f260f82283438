// Relays a page's serial port to a pseudo-terminal over a local WebSocket, so that a page with
// a stand-in navigator.serial drives `tesselarc-sim` through the real Web Serial code path.
//
//   page                                  bridge                       pty (tesselarc-sim)
//   {"op":"open","baud":19200}       ->   stty BAUD raw; open    ->
//                                    <-   {"op":"opened","ok":true}
//   binary frame (bytes to send)     ->   write                  ->
//                                    <-   binary frame            <-   echo and answers
//   {"op":"close"}                   ->   close                  ->
//                                    <-   {"op":"closed"}
//
// Usage: node web/tools/serial_bridge.mjs PTY [PORT]
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import tty from 'node:tty';
import { fileURLToPath } from 'node:url';
import { WebSocketServer } from 'ws';

/** Serves the relay for `ptyPath` on 127.0.0.1:`port` (0: any free port). */
export function startBridge(ptyPath, port = 0) {
  const wss = new WebSocketServer({ host: '127.0.0.1', port });
  wss.on('connection', (ws) => {
    let fd = -1;
    /** @type {tty.ReadStream|null} */
    let input = null;
    const closeTty = () => {
      if (input) input.destroy();  // closes the fd as well
      else if (fd >= 0) fs.closeSync(fd);
      input = null;
      fd = -1;
    };
    ws.on('message', (data, binary) => {
      if (binary) {
        if (fd >= 0) fs.writeSync(fd, data);
        return;
      }
      const msg = JSON.parse(String(data));
      if (msg.op === 'open') {
        closeTty();
        let ok = true;
        try {
          // The virtual ESC reads the line speed the host set on its side of the pty.
          execFileSync('stty', ['-F', ptyPath, String(msg.baud), 'raw', '-echo', 'cs8', '-parenb', '-cstopb']);
          fd = fs.openSync(ptyPath, fs.constants.O_RDWR | fs.constants.O_NOCTTY);
          input = new tty.ReadStream(fd);
          input.on('data', (chunk) => { if (ws.readyState === ws.OPEN) ws.send(chunk, { binary: true }); });
          input.on('error', () => {});
        } catch (e) {
          ok = false;
          closeTty();
        }
        ws.send(JSON.stringify({ op: 'opened', ok }));
      } else if (msg.op === 'close') {
        closeTty();
        ws.send(JSON.stringify({ op: 'closed' }));
      }
    });
    ws.on('close', closeTty);
  });
  return new Promise((resolve) => wss.on('listening', () => resolve(wss)));
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const [pty, port] = process.argv.slice(2);
  if (!pty) {
    console.error('usage: node serial_bridge.mjs PTY [PORT]');
    process.exit(2);
  }
  const wss = await startBridge(pty, Number(port ?? 8019));
  console.log(`serial bridge for ${pty} on ws://127.0.0.1:${wss.address().port}/`);
}
