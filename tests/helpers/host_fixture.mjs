// What the desktop host's end-to-end tests share: the gateway port, stand-in
// programs in the prefix (node, browsers, the default URL handler), reading
// what they recorded, and putting the prefix back as it was.

import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';

import { HOST, PORT } from '../lib/expected.mjs';
import { driveC, launch, programs, readRecords, tempDir, wine, windowsPath } from '../lib/wine.mjs';

export {
  APPS, BROWSERS, BROWSER_ARGS_TAIL, COCKPIT, DEFAULT_SCRIPT, FORMER_DEFAULT_SCRIPT, PORT, ROOT,
} from '../lib/expected.mjs';

export const onC = (relative) => `C:\\${relative}`;

export const shimExe = () => {
  const value = process.env.ZUR_SHIM_EXE;
  if (!value) throw new Error('ZUR_SHIM_EXE is not set: run this test through ctest');
  return value;
};

/** The environment that makes shims at the browser paths report their start. */
export const PROFILE_SHIMS = { ZUR_SHIM_MSEDGE: 'profile', ZUR_SHIM_CHROME: 'profile' };

/** A PATH without any node.exe. */
export const SYSTEM_PATH = 'C:\\windows\\system32;C:\\windows';

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function canBind(host) {
  return new Promise((resolve) => {
    const probe = net.createServer();
    probe.once('error', () => resolve(false));
    probe.listen({ port: PORT, host, exclusive: true }, () => probe.close(() => resolve(true)));
  });
}

/** Fails with a plain message when something else holds the gateway port. */
export async function requirePortFree() {
  if (!(await canBind('127.0.0.1'))) {
    throw new Error(`127.0.0.1:${PORT} is already taken by another program; these tests need it free`);
  }
}

/** Waits for a listener of an earlier case (a fake gateway) to go away. */
export async function waitPortFree(timeoutMs = 8000) {
  const end = Date.now() + timeoutMs;
  while (!(await canBind('127.0.0.1'))) {
    if (Date.now() > end) throw new Error(`127.0.0.1:${PORT} is still taken after ${timeoutMs} ms`);
    await sleep(100);
  }
}

/**
 * Waits for a fake gateway that listens only after its host has given up:
 * until the port has been taken and is free again, or `timeoutMs` passed.
 * Left alone it would answer the next case's first probe.
 */
export async function waitLateGateway(timeoutMs = 9000) {
  const end = Date.now() + timeoutMs;
  let taken = false;
  while (Date.now() < end) {
    const free = await canBind('127.0.0.1');
    if (!free) taken = true;
    if (free && taken) return;
    await sleep(50);
  }
}

/** A listener that accepts connections and never answers. */
export async function listener(host = '127.0.0.1') {
  const sockets = new Set();
  const server = net.createServer((socket) => {
    sockets.add(socket);
    socket.on('error', () => {});
    socket.on('close', () => sockets.delete(socket));
  });
  await new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen({ port: PORT, host, ipv6Only: host.includes(':') }, resolve);
  });
  return {
    close: () => new Promise((resolve) => {
      for (const s of sockets) s.destroy();
      server.close(() => resolve());
    }),
  };
}

/** The Linux listener whose accept queue is full: connecting to it hangs. */
export async function stalledListener() {
  const exe = process.env.ZUR_STALLED_LISTENER;
  if (!exe) throw new Error('ZUR_STALLED_LISTENER is not set: run this test through ctest');
  const child = spawn(exe, [], { stdio: ['ignore', 'pipe', 'pipe'] });
  await new Promise((resolve, reject) => {
    let out = '';
    child.stdout.on('data', (b) => {
      out += b;
      if (out.includes('ready')) resolve();
    });
    child.once('exit', (code) => reject(new Error(`stalled listener ended early (exit ${code})`)));
  });
  return {
    close: () => new Promise((resolve) => {
      if (child.exitCode !== null) return resolve();
      child.once('exit', () => resolve());
      child.kill('SIGKILL');
    }),
  };
}

/** Splits a command line by the Windows rules (program name first). */
export function parseCommandLine(line) {
  const args = [];
  let i = 0;
  let current = '';
  let quoted = false;
  for (; i < line.length; i++) {
    const c = line[i];
    if (c === '"') quoted = !quoted;
    else if (!quoted && (c === ' ' || c === '\t')) break;
    else current += c;
  }
  args.push(current);
  while (i < line.length && (line[i] === ' ' || line[i] === '\t')) i++;
  current = '';
  quoted = false;
  let pending = false;
  while (i < line.length) {
    const c = line[i];
    if (!quoted && (c === ' ' || c === '\t')) {
      if (pending || current) args.push(current);
      current = '';
      pending = false;
      while (i < line.length && (line[i] === ' ' || line[i] === '\t')) i++;
      continue;
    }
    if (c === '\\') {
      let n = 0;
      while (line[i] === '\\') { n++; i++; }
      if (line[i] === '"') {
        current += '\\'.repeat(n >> 1);
        if (n % 2) { current += '"'; i++; }
      } else {
        current += '\\'.repeat(n);
      }
      continue;
    }
    if (c === '"') {
      pending = true;
      if (quoted && line[i + 1] === '"') { current += '"'; i += 2; continue; }
      quoted = !quoted;
      i++;
      continue;
    }
    current += c;
    i++;
  }
  if (current || quoted || pending) args.push(current);
  return args;
}

/** One argument written so that the Windows rules give it back exactly. */
export function quoteArgument(text) {
  if (text !== '' && !/[ \t"]/.test(text)) return text;
  let out = '"';
  let backslashes = 0;
  for (const c of text) {
    if (c === '\\') { backslashes++; out += c; continue; }
    if (c === '"') out += '\\'.repeat(backslashes + 1);
    backslashes = 0;
    out += c;
  }
  return out + '\\'.repeat(backslashes) + '"';
}

/**
 * The records in `file` once at least `count` are there (or `timeoutMs` has
 * passed), after a further `settleMs` for latecomers.
 */
export async function waitRecords(file, { count = 1, timeoutMs = 15000, settleMs = 800 } = {}) {
  const end = Date.now() + timeoutMs;
  while (readRecords(file).length < count && Date.now() < end) await sleep(50);
  await sleep(settleMs);
  return readRecords(file);
}

function firstMissing(target) {
  let missing = null;
  for (let p = target; !fs.existsSync(p); p = path.dirname(p)) missing = p;
  return missing;
}

/** Where the tests put the default URL handler, below C:\. */
export const HANDLER = 'zur-e2e-handler\\handler.exe';

/**
 * Stand-ins and scratch folders for one test file; `restore()` puts the
 * prefix back as it was, whatever happened in between.
 */
export function sandbox() {
  const undo = [];
  const box = {
    /** A scratch folder on the Linux side. */
    temp(tag = 'host') {
      const dir = tempDir(tag);
      undo.push(() => fs.rmSync(dir, { recursive: true, force: true }));
      return dir;
    },
    /** Removes `unixPath` (and what was made above it) at the end, when it is new. */
    track(unixPath) {
      const top = firstMissing(unixPath);
      if (top) undo.push(() => fs.rmSync(top, { recursive: true, force: true }));
      return unixPath;
    },
    /** Copies `source` to drive C:; returns a function that takes it away again. */
    placeOnC(relative, source) {
      const target = driveC(relative);
      const top = firstMissing(target);
      fs.mkdirSync(path.dirname(target), { recursive: true });
      if (source === 'folder') fs.mkdirSync(target);
      else fs.copyFileSync(source, target);
      const remove = () => fs.rmSync(top ?? target, { recursive: true, force: true });
      undo.push(remove);
      return remove;
    },
    /** A copy of the host in a folder of its own (with room for a node.exe beside it). */
    hostCopy() {
      const dir = box.temp('host-copy');
      const exe = path.join(dir, HOST);
      fs.copyFileSync(programs.host, exe);
      return { dir, exe, windows: windowsPath(exe) };
    },
    /** Puts a recorder at HANDLER and makes it the default handler of http URLs. */
    async recordingUrlHandler() {
      box.placeOnC(HANDLER, programs.recorder);
      const handler = onC(HANDLER);
      const key = 'HKCR\\http\\shell\\open\\command';
      const query = await wine(['reg', 'query', key, '/ve']);
      const match = /\(Default\)\s+REG_SZ\s+(.*?)\r?$/m.exec(query.stdout);
      undo.push(async () => {
        const back = match
          ? await wine(['reg', 'add', key, '/ve', '/d', match[1], '/f'])
          : await wine(['reg', 'delete', key, '/ve', '/f']);
        if (back.code !== 0) throw new Error(`cannot restore ${key}: ${back.stderr}`);
      });
      const set = await wine(['reg', 'add', key, '/ve', '/d', `"${handler}" "%1"`, '/f']);
      if (set.code !== 0) throw new Error(`cannot set ${key}: ${set.stderr}`);
    },
    async restore() {
      const errors = [];
      while (undo.length) {
        try {
          await undo.pop()();
        } catch (e) {
          errors.push(e);
        }
      }
      if (errors.length) throw errors[0];
    },
  };
  return box;
}

/**
 * Runs the host (a Linux path) with these arguments (already quoted) after
 * its quoted path; with `element0` the command line starts with that text
 * instead and the host is named as the application.
 */
export function runHost({ exe = programs.host, args = [], element0, cwd, set = {}, unset = [], stdout, timeoutMs = 30000 }) {
  const program = windowsPath(exe);
  const cmd = [element0 ?? `"${program}"`, ...args].join(' ');
  return launch({ cmd, app: element0 === undefined ? undefined : program, cwd, set, unset, stdout, timeoutMs });
}

/** Process ids of the Linux processes that listen on the gateway port. */
export function listeningPids() {
  const inodes = new Set();
  for (const table of ['/proc/net/tcp', '/proc/net/tcp6']) {
    if (!fs.existsSync(table)) continue;
    for (const row of fs.readFileSync(table, 'utf8').split('\n').slice(1)) {
      const cols = row.trim().split(/\s+/);
      if (cols.length < 10) continue;
      const port = parseInt(cols[1].split(':').pop(), 16);
      if (port === PORT && cols[3] === '0A') inodes.add(cols[9]);
    }
  }
  const pids = [];
  for (const pid of fs.readdirSync('/proc').filter((n) => /^\d+$/.test(n))) {
    let fds = [];
    try {
      fds = fs.readdirSync(`/proc/${pid}/fd`);
    } catch {
      continue;
    }
    for (const fd of fds) {
      let link = '';
      try {
        link = fs.readlinkSync(`/proc/${pid}/fd/${fd}`);
      } catch {
        continue;
      }
      const m = /^socket:\[(\d+)\]$/.exec(link);
      if (m && inodes.has(m[1])) {
        pids.push(Number(pid));
        break;
      }
    }
  }
  return pids;
}

/** The command line of a Linux process, as its arguments. */
export function processArguments(pid) {
  try {
    return fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8').split('\0').filter(Boolean);
  } catch {
    return [];
  }
}
