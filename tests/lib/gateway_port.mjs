// The gateway port on the Linux side: whether it is free, fake gateways
// that take it, and which processes listen on it.

import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';

import { PORT } from './expected.mjs';
import { waitUntil } from './wait.mjs';
import { clearLeftPrograms, processIds } from './windows_programs.mjs';

function canBind(host) {
  return new Promise((resolve) => {
    const probe = net.createServer();
    probe.once('error', () => resolve(false));
    probe.listen({ port: PORT, host, exclusive: true }, () => probe.close(() => resolve(true)));
  });
}

/** Fails with a plain message when something else holds the gateway port.
 * What an ended test of the prefix left running is stopped first, whether it
 * holds the port yet or not: a host it left may start a gateway a moment
 * later. */
export async function requirePortFree() {
  const free = () => canBind('127.0.0.1');
  const cleared = await clearLeftPrograms();
  if (await free()) return;
  if (cleared && (await waitUntil(free, { timeoutMs: 5000, everyMs: 100 }))) return;
  throw new Error(`127.0.0.1:${PORT} is already taken by another program; these tests need it free`);
}

/** Waits for a listener of an earlier case (a fake gateway) to go away. */
export async function waitPortFree(timeoutMs = 8000) {
  await waitUntil(() => canBind('127.0.0.1'), { timeoutMs, everyMs: 100, what: `127.0.0.1:${PORT} is still taken` });
}

/**
 * Waits for a fake gateway that listens only after its host has given up:
 * until the port has been taken and is free again, or `timeoutMs` passed.
 * Left alone it would answer the next case's first probe.
 */
export async function waitLateGateway(timeoutMs = 9000) {
  let taken = false;
  await waitUntil(async () => {
    const free = await canBind('127.0.0.1');
    taken ||= !free;
    return free && taken;
  }, { timeoutMs });
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
    const timer = setTimeout(() => {
      child.kill('SIGKILL');
      reject(new Error(`the stalled listener printed no "ready" within 10000 ms (it printed ${JSON.stringify(out)})`));
    }, 10000);
    child.stdout.on('data', (b) => {
      out += b;
      if (out.includes('ready')) {
        clearTimeout(timer);
        resolve();
      }
    });
    child.once('exit', (code) => {
      clearTimeout(timer);
      reject(new Error(`stalled listener ended early (exit ${code})`));
    });
  });
  return {
    close: () => new Promise((resolve) => {
      if (child.exitCode !== null) return resolve();
      child.once('exit', () => resolve());
      child.kill('SIGKILL');
    }),
  };
}

/** Process ids of the Linux processes that listen on the gateway port. */
export function listeningPids() {
  const inodes = new Set();
  for (const table of ['/proc/net/tcp', '/proc/net/tcp6'].filter((t) => fs.existsSync(t))) {
    for (const row of fs.readFileSync(table, 'utf8').split('\n').slice(1)) {
      const cols = row.trim().split(/\s+/);
      if (cols.length >= 10 && parseInt(cols[1].split(':').pop(), 16) === PORT && cols[3] === '0A') inodes.add(cols[9]);
    }
  }
  // A process or a descriptor may end while it is looked at.
  const descriptors = (pid) => {
    try {
      return fs.readdirSync(`/proc/${pid}/fd`);
    } catch {
      return [];
    }
  };
  const socketOf = (pid, fd) => {
    try {
      return /^socket:\[(\d+)\]$/.exec(fs.readlinkSync(`/proc/${pid}/fd/${fd}`))?.[1];
    } catch {
      return undefined;
    }
  };
  return processIds().filter((pid) => descriptors(pid).some((fd) => inodes.has(socketOf(pid, fd))));
}
