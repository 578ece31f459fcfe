// Runs the real Windows programs for the end-to-end tests: under Wine from
// Linux, or directly from Node.js for Windows (see road.mjs).
//
// The programs are started through the launcher helper, which gives them an
// exact UTF-16 command line and environment and records their standard
// output, standard error, exit status and run time.

import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import { commandLine } from './command_line.mjs';
import { FAILURE_HINT } from './expected.mjs';
import { onWindowsRoad } from './road.mjs';
import { waitUntil } from './wait.mjs';

function required(name) {
  const value = process.env[name];
  if (!value) throw new Error(`${name} is not set: run this test through ctest`);
  return value;
}

export const programs = {
  get host() { return required('ZUR_HOST_EXE'); },
  get installer() { return required('ZUR_INSTALLER_EXE'); },
  get launch() { return required('ZUR_LAUNCH_EXE'); },
  get recorder() { return required('ZUR_RECORDER_EXE'); },
  get guardProbe() { return required('ZUR_GUARD_PROBE_EXE'); },
};
export const sourceDir = () => required('ZUR_SOURCE_DIR');
// The run folder of the prefix that the wine.prefix test made (see
// tests/wine-prefix.sh); ctest names it for every Wine test.
export const prefixDir = () => path.join(required('ZUR_WINE_RUN'), 'prefix');

/** "PID START-TIME" of a Linux process (a reused PID has another start
 * time), or null when it is gone. */
export function processKey(pid) {
  try {
    return `${pid} ${fs.readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ')[19]}`;
  } catch {
    return null;
  }
}

/** Every program a test starts under Wine, and every program those start,
 * carries its test's process in this variable: what a test that was killed
 * left running is then told from what a live one runs (windows_programs.mjs). */
export const OWNER_VARIABLE = 'ZUR_TEST_OWNER';
export const ownerKey = onWindowsRoad ? null : processKey(process.pid);

/** The environment every Wine run shares (see tests/wine-env.sh). */
export function wineEnvironment() {
  const { DISPLAY, WAYLAND_DISPLAY, ...env } = process.env;
  return { ...env, [OWNER_VARIABLE]: ownerKey, WINEPREFIX: prefixDir(), WINEDEBUG: '-all',
    WINEDLLOVERRIDES: 'mscoree,mshtml=', LANG: 'C.UTF-8', LC_ALL: 'C.UTF-8' };
}

/** A path of the tests' side as the Windows programs see it: a Linux path
 * under Wine is on drive Z:. */
export function windowsPath(testPath) {
  if (onWindowsRoad) return path.win32.resolve(testPath);
  return 'Z:' + path.resolve(testPath).replaceAll('/', '\\');
}

/** A path as the programs write it with slashes (the install receipt). */
export const slashedPath = (testPath) => windowsPath(testPath).replaceAll('\\', '/');

/** The tests' path of a path on drive C: (under Wine, the test prefix's). */
export function driveC(windowsRelative) {
  if (onWindowsRoad) return path.win32.join('C:\\', windowsRelative);
  return path.join(prefixDir(), 'drive_c', ...windowsRelative.split('\\'));
}

/** A path on drive C: as Windows programs see it. */
export const onC = (relative) => `C:\\${relative}`;

// Windows may name the temporary folder with 8.3 short names
// (C:\Users\RUNNER~1\...); the programs report the long ones.
let temporaryRoot;

/** A fresh folder under the system's temporary folder. */
export function tempDir(tag = 'e2e') {
  temporaryRoot ??= onWindowsRoad ? fs.realpathSync.native(os.tmpdir()) : os.tmpdir();
  return fs.mkdtempSync(path.join(temporaryRoot, `zur-${tag}-`));
}

/** A fresh folder under the temporary folder that goes away at the end of test `t`. */
export function withTemp(t, tag) {
  const dir = tempDir(tag);
  t.after(() => fs.rmSync(dir, { recursive: true, force: true, maxRetries: 5 }));
  return dir;
}

/** Removes a scratch folder. Windows removes no file that a process still
 * holds open, and a program may outlive its run (a gateway holds the
 * output handles its host gave it): there the folder may stay behind in
 * the temporary folder. */
export function removeScratch(dir) {
  try {
    fs.rmSync(dir, { recursive: true, force: true });
  } catch (e) {
    if (!onWindowsRoad) throw e;
  }
}

/** A program the Windows road starts by name alone comes from the system
 * folder, never from the current folder or PATH. */
function systemProgram(name) {
  if (/[\\/]/.test(name)) return name;
  return path.win32.join(process.env.SystemRoot ?? 'C:\\windows', 'System32', `${name}.exe`);
}

/** Runs the Windows program ARGS[0] with the other arguments: through
 * `wine` from Linux, directly on the Windows road. Its output goes to files
 * (Wine's background processes keep inherited pipes open). A run still
 * going after `timeoutMs` is killed and fails with what it had printed. */
export function wine(args, { cwd, timeoutMs = 60000 } = {}) {
  const dir = tempDir('wine');
  const out = fs.openSync(path.join(dir, 'out'), 'w');
  const err = fs.openSync(path.join(dir, 'err'), 'w');
  const started = Date.now();
  const [file, argv, env] = onWindowsRoad
    ? [systemProgram(args[0]), args.slice(1), process.env]
    : ['wine', args, wineEnvironment()];
  return new Promise((resolve, reject) => {
    const child = spawn(file, argv, { cwd, env, stdio: ['ignore', out, err], windowsHide: true });
    let killed = false;
    const timer = setTimeout(() => {
      killed = true;
      child.kill('SIGKILL');
    }, timeoutMs);
    child.on('error', reject);
    child.on('exit', (code, signal) => {
      clearTimeout(timer);
      fs.closeSync(out);
      fs.closeSync(err);
      const result = {
        code,
        signal,
        elapsedMs: Date.now() - started,
        stdout: fs.readFileSync(path.join(dir, 'out'), 'utf8'),
        stderr: fs.readFileSync(path.join(dir, 'err'), 'utf8'),
      };
      removeScratch(dir);
      if (!killed) return resolve(result);
      reject(new Error(`${args[0]} still ran after ${timeoutMs} ms and was killed: ` +
        `stdout ${JSON.stringify(result.stdout)}, stderr ${JSON.stringify(result.stderr)}`));
    });
  });
}

/** The state of the prefix's wineserver: whether the one that the
 * wine.prefix test started still runs (its file holds "PID START-TIME"), and
 * whether any wineserver answers for the prefix (`wineserver -k0` sends it
 * signal 0). */
export async function wineserverState() {
  let started = 'the one wine.prefix started is unknown';
  let record;
  try {
    record = fs.readFileSync(path.join(required('ZUR_WINE_RUN'), 'wineserver'), 'utf8').trim().split(' ');
  } catch { /* not recorded */ }
  if (record) {
    const [pid] = record;
    const runs = () => processKey(pid) === record.join(' ');
    // A wineserver that is being stopped ends its programs first, and itself
    // shortly after: look for up to 3 s.
    const from = Date.now();
    await waitUntil(() => !runs(), { timeoutMs: 3000, everyMs: 100 });
    started = `the one wine.prefix started (pid ${pid}) ` +
      (runs() ? 'runs' : `is GONE (seen gone ${Date.now() - from} ms after the failure)`);
  }
  const probe = spawnSync('wineserver', ['-k0'], { env: wineEnvironment(), stdio: 'ignore', timeout: 10000 });
  return `${started}, ${probe.status === 0 ? 'a wineserver answers' : 'NO wineserver answers'}`;
}

/** What a failed `wine` run needs to be diagnosed. */
async function wineFailure(run) {
  const status = run.signal ? `signal ${run.signal}` : `exit ${run.code}`;
  if (onWindowsRoad) return `the launcher gave ${status} after ${run.elapsedMs} ms, stderr ${JSON.stringify(run.stderr)}`;
  return `wine gave ${status} after ${run.elapsedMs} ms, prefix ${prefixDir()}, ` +
    `wineserver: ${await wineserverState()}, stderr ${JSON.stringify(run.stderr)}`;
}

/**
 * Starts a program through the launcher helper.
 *   cmd      the exact command line (any UTF-16, unpaired surrogates too)
 *   app      the application path (Windows form); default: taken from cmd
 *   cwd      working folder (Windows form)
 *   set      { NAME: value } added to or replacing the environment
 *   unset    [NAME] removed from the environment
 *   stdout   'file' | 'none' | 'closed'
 *   hold     a file (Windows form) held open without write sharing
 * Resolves to { status, elapsedMs, stdout, stderr }; a run without an exit
 * status (the launcher failed, the program could not start or timed out)
 * throws, with what is needed to tell why.
 */
export async function launch({ cmd, app, cwd, set = {}, unset = [], stdout = 'file', hold, timeoutMs = 60000 }) {
  for (let attempt = 1; ; attempt++) {
    const outcome = await launchOnce({ cmd, app, cwd, set, unset, stdout, hold, timeoutMs });
    if (outcome.result) return outcome.result;
    if (!outcome.neverStarted || attempt > LAUNCH_RETRIES) throw new Error(outcome.failure);
    console.error(`launch: ${JSON.stringify(cmd)}: ${outcome.failure}; the program never started, so it is started again ` +
      `(try ${attempt + 1} of ${LAUNCH_RETRIES + 1})`);
  }
}

// Wine's process creation fails now and then before the new process runs a
// line of its own: CreateProcessW gives ERROR_INTERNAL_ERROR when the child
// died in Wine's start-up, and `wine` itself may end at once. Such a launch
// is tried again, at most this often; a program that ran never is.
const LAUNCH_RETRIES = 2;
const ERROR_INTERNAL_ERROR = 1359;

/** One run of the launcher: { result } or { failure, neverStarted }. */
async function launchOnce({ cmd, app, cwd, set, unset, stdout, hold, timeoutMs }) {
  const dir = tempDir('launch');
  const items = [['cmd', cmd], ['stdout', stdout], ['out', windowsPath(dir)], ['timeout', String(timeoutMs)]];
  for (const [key, value] of Object.entries({ app, cwd, hold })) if (value) items.push([key, value]);
  for (const name of unset) items.push(['unset', name]);
  for (const [name, value] of Object.entries(set)) items.push(['set', `${name}=${value}`]);
  const request = path.join(dir, 'request');
  // utf16le writes each code unit as it is, unpaired surrogates included.
  fs.writeFileSync(request, Buffer.from(items.map(([k, v]) => `${k}\0${v}\0`).join(''), 'utf16le'));

  // The launcher kills the program at `timeoutMs`; Wine gets some more.
  const run = await wine([programs.launch, windowsPath(request)], { timeoutMs: timeoutMs + 30000 });
  const read = (name) => (fs.existsSync(path.join(dir, name)) ? fs.readFileSync(path.join(dir, name)) : Buffer.alloc(0));
  const resultFile = path.join(dir, 'result.txt');
  if (!fs.existsSync(resultFile)) {
    // The launcher writes "starting" just before it creates the process.
    const neverStarted = !fs.existsSync(path.join(dir, 'starting'));
    const failure = `the launcher left no result: ${await wineFailure(run)}`;
    if (neverStarted) removeScratch(dir);
    return { failure, neverStarted };
  }
  const text = fs.readFileSync(resultFile, 'latin1');
  const fields = Object.fromEntries(text.trim().split('\n').map((line) => line.split('=')).map(([k, v = '']) => [k, v]));
  // Without an exit status no test can judge the run: say why there is none.
  if (!('exit' in fields)) {
    const failure = `the program ended without an exit status (${JSON.stringify(text)}; ` +
      `its stderr ${JSON.stringify(read('stderr.bin').toString('utf8'))}; launcher: ${await wineFailure(run)})`;
    const neverStarted = Number(fields.start_error) === ERROR_INTERNAL_ERROR;
    if (neverStarted) removeScratch(dir);
    return { failure, neverStarted };
  }
  const result = {
    status: Number(fields.exit),
    elapsedMs: Number(fields.elapsed_ms ?? NaN),
    stdout: read('stdout.bin'),
    stderr: read('stderr.bin'),
  };
  removeScratch(dir);
  return { result };
}

/** Splits the four-line failure report; throws when the shape is wrong. */
export function failureReport(stderr) {
  const text = stderr.toString('utf8');
  const lines = text.split('\n');
  if (lines.at(-1) !== '') throw new Error(`report does not end in LF: ${JSON.stringify(text)}`);
  lines.pop();
  return lines;
}

/**
 * Status 101, nothing on standard output, and the four-line failure report
 * of the program whose main.cc is in `source` (zur_setup_installer,
 * zur_desktop_host), with `failure` as its failure line (a text, or a
 * pattern it matches).
 */
export function assertFailed(run, failure, source = 'zur_setup_installer') {
  assert.equal(run.status, 101, run.stderr.toString());
  assert.equal(run.stdout.length, 0, 'nothing on standard output');
  const lines = failureReport(run.stderr);
  assert.equal(lines.length, 4, run.stderr.toString());
  assert.equal(lines[0], '');
  assert.match(lines[1], new RegExp(`^thread 'main' \\(\\d+\\) failed at desktop-tauri/native-win64/${source}/main\\.cc:\\d+:\\d+:$`));
  if (failure instanceof RegExp) assert.match(lines[2], failure);
  else assert.equal(lines[2], failure);
  assert.equal(lines[3], FAILURE_HINT);
}

/**
 * Runs the host (a Linux path) with these arguments (already quoted) after
 * its quoted path; with `element0` the command line starts with that text
 * instead and the host is named as the application.
 */
export function runHost({ exe = programs.host, args = [], element0, cwd, set = {}, unset = [], stdout, timeoutMs = 30000 }) {
  const program = windowsPath(exe);
  const cmd = element0 === undefined ? commandLine(program, ...args) : [element0, ...args].join(' ');
  return launch({ cmd, app: element0 === undefined ? undefined : program, cwd, set, unset, stdout, timeoutMs });
}
