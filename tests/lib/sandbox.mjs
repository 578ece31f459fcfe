// Stand-in programs and scratch folders in the shared prefix (node, the
// browsers, the default URL handler), and putting the prefix back as it was.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before } from 'node:test';

import { BROWSERS, HOST } from './expected.mjs';
import { requirePortFree } from './gateway_port.mjs';
import { waitRecords } from './records.mjs';
import { unlessSkipped } from './road.mjs';
import { driveC, onC, ownerKey, programs, removeScratch, runHost, tempDir, wine, windowsPath } from './wine.mjs';
import { ownerIsGone, stopOwnPrograms } from './windows_programs.mjs';

export const shimExe = () => {
  const value = process.env.ZUR_SHIM_EXE;
  if (!value) throw new Error('ZUR_SHIM_EXE is not set: run this test through ctest');
  return value;
};

/** The shim's setting for a program of this file name (tests/helpers/shim.cc). */
export const shimVariable = (fileName) => `ZUR_SHIM_${path.win32.parse(fileName).name.toUpperCase()}`;

/** The environment that makes shims at the browser paths report their start. */
export const PROFILE_SHIMS = Object.fromEntries(
  Object.values(BROWSERS).map((relative) => [shimVariable(relative), 'profile']));

/** A PATH without any node.exe. */
export const SYSTEM_PATH = 'C:\\windows\\system32;C:\\windows';

function firstMissing(target) {
  let missing = null;
  for (let p = target; !fs.existsSync(p); p = path.dirname(p)) missing = p;
  return missing;
}

/** Where the tests put the default URL handler, below C:\. */
export const HANDLER = 'zur-e2e-handler\\handler.exe';

// What a test put on drive C: is written down, one file per test process,
// until the test has taken it away again: a test that finds a fake of a
// test that was killed in the meantime (ctest's timeout) removes it.
const ledgerDir = () => path.join(process.env.ZUR_WINE_RUN, 'placed');
const ledgerOf = (owner) => path.join(ledgerDir(), owner.replace(' ', '-'));

/** Removes what ended tests left on drive C:, saying so on one line. */
function clearLeftFakes() {
  if (!ownerKey || !fs.existsSync(ledgerDir())) return;
  const ledgers = fs.readdirSync(ledgerDir()).map((name) => {
    const file = path.join(ledgerDir(), name);
    const owner = name.replace('-', ' ');
    return { file, owner, gone: ownerIsGone(owner), paths: fs.readFileSync(file, 'utf8').split('\n').filter(Boolean) };
  });
  // A path an ended test once placed and took away may be a live test's now.
  const live = new Set(ledgers.filter((l) => !l.gone).flatMap((l) => l.paths));
  for (const { file, owner, gone, paths } of ledgers) {
    if (!gone) continue;
    const left = paths.filter((p) => !live.has(p) && fs.existsSync(p));
    if (left.length) console.error(`cleared what an ended test (process ${owner.split(' ')[0]}) left on drive C: ${left.join(', ')}`);
    for (const p of left) fs.rmSync(p, { recursive: true, force: true });
    fs.rmSync(file, { force: true });
  }
}

/**
 * Stand-ins and scratch folders for one test file; `restore()` ends what the
 * test started and puts the prefix back as it was, whatever happened in
 * between.
 */
export function sandbox() {
  const undo = [];
  const box = {
    /** A scratch folder on the Linux side. */
    temp(tag = 'host') {
      const dir = tempDir(tag);
      undo.push(() => removeScratch(dir));
      return dir;
    },
    /** Removes `unixPath` (and what was made above it) at the end, when it is new. */
    track(unixPath) {
      const top = firstMissing(unixPath);
      if (top) undo.push(() => fs.rmSync(top, { recursive: true, force: true }));
      return unixPath;
    },
    /** Copies `source` to drive C:, where nothing may be yet (a fake is
     * never put over a file of the machine); returns a function that takes
     * it away again. */
    placeOnC(relative, source) {
      const target = driveC(relative);
      if (fs.existsSync(target)) clearLeftFakes();
      const top = firstMissing(target);
      if (!top) throw new Error(`${target} exists already: it is left as it is`);
      if (ownerKey) {
        fs.mkdirSync(ledgerDir(), { recursive: true });
        fs.appendFileSync(ledgerOf(ownerKey), `${top}\n`);
      }
      fs.mkdirSync(path.dirname(target), { recursive: true });
      if (source === 'folder') fs.mkdirSync(target);
      else fs.copyFileSync(source, target, fs.constants.COPYFILE_EXCL);
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
      // Nothing the test started may still write into what is removed: its
      // programs end first.
      undo.push(stopOwnPrograms);
      while (undo.length) {
        try {
          await undo.pop()();
        } catch (e) {
          errors.push(e);
        }
      }
      if (ownerKey && !errors.length) fs.rmSync(ledgerOf(ownerKey), { force: true });
      if (errors.length) throw errors[0];
    },
  };
  return box;
}

/**
 * The set-up of a test file of the desktop host, before its cases (none
 * when `skip` holds a reason): the gateway port free, a scratch folder
 * `scratch` with an empty `local` folder for LOCALAPPDATA, and what the file
 * asks for:
 *   node     'recorder' | 'shim': a copy of the host (`host`) with that
 *            stand-in as node.exe beside it
 *   edge     a shim at the first browser path
 *   handler  a recording default URL handler
 *   setup    a function of the fixture for the rest
 *   teardown run before the prefix is put back
 * `environment` is the base of every launch of `launch()`.
 */
export function hostFixture({ tag, skip = false, node, edge = false, handler = false, setup, teardown }) {
  const box = sandbox();
  let runs = 0;
  const fixture = {
    box,
    /** One run of the host in launch mode, with a record file of its own:
     * status 0, nothing printed; resolves to the run and the records of
     * what it started (at least `expect` of them, see waitRecords). */
    async launch({ exe = fixture.host?.exe, set = {}, unset = [], expect = 1, settleMs, ...options }) {
      const record = path.join(fixture.scratch, `launch-${runs++}.jsonl`);
      const environment = { ...fixture.environment, ZUR_TEST_RECORD: windowsPath(record), ...set };
      for (const name of unset) delete environment[name];
      const run = await runHost({ exe, unset, set: environment, ...options });
      assert.equal(run.status, 0, run.stderr.toString());
      assert.equal(run.stdout.length, 0, 'launch mode prints nothing');
      assert.equal(run.stderr.length, 0);
      return { run, records: await waitRecords(record, { count: expect, settleMs }) };
    },
  };
  before(unlessSkipped(skip, async () => {
    await requirePortFree();
    fixture.scratch = box.temp(tag);
    fixture.local = path.join(fixture.scratch, 'local');
    fs.mkdirSync(fixture.local);
    fixture.environment = { ...PROFILE_SHIMS, LOCALAPPDATA: windowsPath(fixture.local) };
    if (node) {
      fixture.host = box.hostCopy();
      fs.copyFileSync(node === 'shim' ? shimExe() : programs.recorder, path.join(fixture.host.dir, 'node.exe'));
    }
    if (edge) box.placeOnC(BROWSERS.edgeX86, shimExe());
    if (handler) await box.recordingUrlHandler();
    await setup?.(fixture);
  }));
  after(unlessSkipped(skip, async () => {
    try {
      await teardown?.(fixture);
    } finally {
      await box.restore();
    }
  }));
  return fixture;
}
