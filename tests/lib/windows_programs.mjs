// The Node.js for Windows that the tests run (tests/node-win.sh fetches it),
// and the Windows programs that run on in the test prefix after the program
// that started them has ended (a gateway, a host in a console of its own).
//
// Wine runs each Windows program as a Linux process whose command line is
// the program's argument vector and whose environment names its prefix, so
// the programs of the test prefix are found, and stopped, from Linux.

import fs from 'node:fs';

import { waitUntil } from './wait.mjs';
import { prefixDir } from './wine.mjs';

/**
 * The path of node.exe for Windows. Without it the test cannot run: one
 * plain line says how to get it, and the test fails.
 */
export function nodeWinExe() {
  const exe = process.env.ZUR_NODE_WIN_EXE;
  if (!exe || !fs.existsSync(exe)) {
    console.error(`node.exe for Windows is missing${exe ? ` at ${exe}` : ' (ZUR_NODE_WIN_EXE is not set)'}: ` +
      'fetch it with tests/node-win.sh build/win64/node-win (./test.sh does)');
    process.exit(1);
  }
  return exe;
}

/** The Windows programs running in the test prefix: { pid, args }. */
export function windowsPrograms() {
  const mark = `\0WINEPREFIX=${prefixDir()}\0`;
  const found = [];
  for (const pid of fs.readdirSync('/proc').filter((n) => /^\d+$/.test(n))) {
    try {
      if (!`\0${fs.readFileSync(`/proc/${pid}/environ`, 'utf8')}`.includes(mark)) continue;
      const args = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8').split('\0');
      while (args.length && args.at(-1) === '') args.pop();
      found.push({ pid: Number(pid), args });
    } catch {
      // ended while being looked at
    }
  }
  return found;
}

const running = (pid) => fs.existsSync(`/proc/${pid}`);

/** Waits until no program of the prefix matches `match(args)`. */
export async function waitProgramsGone(match, timeoutMs = 15000) {
  const left = () => windowsPrograms().filter((p) => match(p.args));
  await waitUntil(() => !left().length, { timeoutMs, what: () => `still running: ${JSON.stringify(left())}` });
}

/** Ends the programs of the prefix that match `match(args)`, and waits until they are gone. */
export async function stopPrograms(match) {
  const programs = windowsPrograms().filter((p) => match(p.args));
  for (const { pid } of programs) process.kill(pid, 'SIGKILL');
  await waitUntil(() => !programs.some((p) => running(p.pid)),
    { timeoutMs: 10000, what: `cannot stop ${JSON.stringify(programs)}` });
  return programs;
}
