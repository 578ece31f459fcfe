// The Node.js for Windows that the tests run (tests/node-win.sh fetches it),
// and the Windows programs that run on in the test prefix after the program
// that started them has ended (a gateway, a host in a console of its own).
//
// Wine runs each Windows program as a Linux process whose command line is
// the program's argument vector and whose environment names its prefix, so
// the programs of the test prefix are found, and stopped, from Linux.

import fs from 'node:fs';
import path from 'node:path';

import { waitUntil } from './wait.mjs';
import { OWNER_VARIABLE, ownerKey, prefixDir, processKey } from './wine.mjs';

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

/** The ids of the running Linux processes. */
export const processIds = () => fs.readdirSync('/proc').filter((n) => /^\d+$/.test(n)).map(Number);

/** The command line of a Linux process, as its arguments ([] once it has ended). */
export function processArguments(pid) {
  try {
    const args = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8').split('\0');
    while (args.length && args.at(-1) === '') args.pop();
    return args;
  } catch {
    return [];
  }
}

/** The Windows programs running in the test prefix: { pid, args, owner },
 * `owner` being the test process that started them (wine.mjs), if any. */
export function windowsPrograms() {
  const mark = `WINEPREFIX=${prefixDir()}`;
  const ownerMark = `${OWNER_VARIABLE}=`;
  const found = [];
  for (const pid of processIds()) {
    try {
      const environment = fs.readFileSync(`/proc/${pid}/environ`, 'utf8').split('\0');
      if (!environment.includes(mark)) continue;
      const owner = environment.find((e) => e.startsWith(ownerMark))?.slice(ownerMark.length) ?? null;
      const args = processArguments(pid);
      if (args.length) found.push({ pid, args, owner });
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

/** Kills these programs and waits until they are gone. */
async function kill(programs) {
  for (const { pid } of programs) {
    try {
      process.kill(pid, 'SIGKILL');
    } catch {
      // gone already
    }
  }
  await waitUntil(() => !programs.some((p) => running(p.pid)),
    { timeoutMs: 10000, what: `cannot stop ${JSON.stringify(programs)}` });
  return programs;
}

/** Ends the programs of the prefix that match `match(args)`, and waits until they are gone. */
export const stopPrograms = (match) => kill(windowsPrograms().filter((p) => match(p.args)));

// What runs a process: Wine runs Windows programs as its loader ("wine64"),
// while a Linux program that a stand-in started through Wine
// (tests/helpers/shim.cc) inherits the prefix's environment too. A
// wineserver that a test's run happened to start serves every test of the
// prefix: it is never one test's to end.
function executable(pid) {
  try {
    return path.basename(fs.readlinkSync(`/proc/${pid}/exe`));
  } catch {
    return '';
  }
}
const underWine = (pid) => /^wine(64)?(-preloader)?$/.test(executable(pid));
const isWineserver = (pid) => executable(pid).startsWith('wineserver');

/** Ends every program that this test started in the prefix, and those they started. */
export const stopOwnPrograms = async () =>
  (ownerKey ? kill(windowsPrograms().filter((p) => p.owner === ownerKey && !isWineserver(p.pid))) : []);

/** Whether `owner` is a test process that has ended (killed by ctest's
 * timeout, say) without ending what it started. */
export const ownerIsGone = (owner) => Boolean(owner) && processKey(owner.split(' ')[0]) !== owner;

/**
 * Ends what tests of this prefix that are gone left running, saying so on
 * one line; programs of live tests, of other prefixes and those no test
 * started are never touched.
 */
export async function clearLeftPrograms() {
  // Without a test prefix (the gateway's own tests) nothing was left in one.
  if (!ownerKey || !process.env.ZUR_WINE_RUN) return false;
  const leftNow = () => windowsPrograms().filter((p) => ownerIsGone(p.owner) && underWine(p.pid));
  let left = leftNow();
  if (!left.length) return false;
  console.error(`cleared what an ended test left running in the test prefix: ` +
    left.map((p) => `pid ${p.pid} (${p.args.join(' ')}, of test process ${p.owner.split(' ')[0]})`).join(', '));
  // A program killed while it was starting another may leave that one,
  // which then shows up a moment later: a few more rounds.
  for (let round = 0; left.length && round < 3; round++) {
    await kill(left);
    left = leftNow();
  }
  return true;
}
