// The native side of the browser tests: tesselarc-sim on a pseudo-terminal with its byte trace,
// and tesselarc-cli, the desktop engine on the command line, against another one.
import { spawn, execFile } from 'node:child_process';
import path from 'node:path';
import readline from 'node:readline';
import { BUILD } from './browser.mjs';

export const SIM = path.join(BUILD, 'tesselarc-sim');
export const CLI = path.join(BUILD, 'tesselarc-cli');

/** Starts `tesselarc-sim --trace`; resolves once it printed its pty path. */
export function startSim(args = []) {
  const child = spawn(SIM, ['--trace', ...args], { stdio: ['ignore', 'pipe', 'pipe'] });
  /** Host bytes in the order the virtual ESC saw them. */
  const hostBytes = [];
  readline.createInterface({ input: child.stderr }).on('line', (line) => {
    const m = /^> ([0-9A-F]{2}) @/.exec(line);
    if (m) hostBytes.push(parseInt(m[1], 16));
  });
  return new Promise((resolve, reject) => {
    child.on('error', reject);
    readline.createInterface({ input: child.stdout }).once('line', (pty) => {
      resolve({ pty: pty.trim(), hostBytes, stop: () => child.kill('SIGTERM') });
    });
  });
}

/** Runs tesselarc-cli with `args`; resolves with its exit code and output. */
export function cli(args) {
  return new Promise((resolve) => {
    execFile(CLI, args, { encoding: 'latin1', timeout: 60000 }, (err, stdout, stderr) => {
      resolve({ code: err ? err.code ?? 1 : 0, stdout, stderr });
    });
  });
}

/** What the desktop engine puts on the line for `tesselarc-cli set ASSIGNMENTS`, as host bytes. */
export async function cliSendBytes(assignments) {
  const sim = await startSim();
  try {
    const r = await cli(['--port', sim.pty, 'set', ...assignments]);
    if (r.code !== 0) throw new Error(`tesselarc-cli set failed: ${r.stderr}`);
    await new Promise((res) => setTimeout(res, 200));  // the last trace lines
    return sim.hostBytes.slice();
  } finally {
    sim.stop();
  }
}

/** The bytes between the presence probes (0xF9) that may come before and after a send. */
export function withoutProbesAround(bytes) {
  let a = 0;
  let b = bytes.length;
  while (a < b && bytes[a] === 0xf9) a++;
  while (b > a && bytes[b - 1] === 0xf9) b--;
  return bytes.slice(a, b);
}

export const hex = (bytes) => Buffer.from(bytes).toString('hex');
