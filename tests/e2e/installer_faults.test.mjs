// The installer when the system refuses a step: the failure report, the
// exit status, and exactly what the run leaves behind.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import { CONFIGURATION as CONFIG, HOST, ICON, LAUNCHER as SCRIPT, RECEIPT } from '../lib/expected.mjs';
import { assertInstalled, carried, installInto, runInstaller } from '../lib/installer.mjs';
import { needs, systemMessage } from '../lib/road.mjs';
import { eachRow } from '../lib/rows.mjs';
import { assertFailed, prefixDir, windowsPath, withTemp } from '../lib/wine.mjs';

const osFailure = (message, code, kind) => `${message}: Os { code: ${code}, kind: ${kind}, message: "${systemMessage(code)}" }`;

const read = (dir, name) => fs.readFileSync(path.join(dir, name));

test('a folder that cannot be created: nothing is written', async (t) => {
  const root = withTemp(t, 'blocked');
  const cases = [
    { name: 'a file stands where the folder goes', blocker: 'target', folder: ['target'], code: 183, kind: 'AlreadyExists' },
    { name: 'a file stands where a parent goes', blocker: 'parent', folder: ['parent', 'child', 'target'], code: 183,
      kind: 'AlreadyExists' },
    { name: 'a name the system refuses', folder: ['a<b'], code: 123, kind: 'InvalidFilename' },
    { name: 'a parent name the system refuses', folder: ['ok', 'a|b', 'target'], code: 123, kind: 'InvalidFilename' },
    // The system would drop the whole name and install into the parent.
    { name: 'a last name of blanks only', folder: [' '], code: 123, kind: 'InvalidFilename' },
    { name: 'a last name of dots and blanks, below a new parent', folder: ['new', '. .'], code: 123, kind: 'InvalidFilename' },
  ];
  await eachRow(t, cases, async (c) => {
    const caseRoot = fs.mkdtempSync(path.join(root, 'case-'));
    if (c.blocker) fs.writeFileSync(path.join(caseRoot, c.blocker), 'a file, not a folder');
    const run = await runInstaller(`--install-dir "${windowsPath(caseRoot)}\\${c.folder.join('\\')}"`,
      { cwd: windowsPath(caseRoot) });
    assertFailed(run, osFailure('Failed creating target install directory', c.code, c.kind));
    const created = fs.readdirSync(caseRoot).filter((name) => name !== c.blocker);
    // Only parents that the system accepted may have been made, and they stay empty.
    for (const name of created) assert.deepEqual(fs.readdirSync(path.join(caseRoot, name)), [], `${name} is empty`);
    assert.ok(created.every((name) => c.folder.slice(0, -1).includes(name)), `made: ${created}`);
    if (c.blocker) assert.equal(read(caseRoot, c.blocker).toString(), 'a file, not a folder');
  });
});

test('a file that cannot be written: earlier files are rewritten, later ones stay as they were',
  { skip: needs('chattr', 'root') },
  async (t) => {
    const root = withTemp(t, 'readonly');
    // In the order they are written, with the failure each gives and an older copy.
    const files = [
      { name: HOST, message: `Failed writing ${HOST}`, older: 'an older host executable' },
      { name: ICON, message: 'Failed writing ZUR-Vedozaruz.ico', older: 'an older icon' },
      { name: CONFIG, message: 'Failed writing tauri.conf.json', older: '{"an":"older configuration"}' },
      { name: SCRIPT, message: 'Failed writing launcher script', older: '@echo off\r\nrem an older launcher script\r\n' },
      { name: RECEIPT, message: 'Failed writing receipt',
        older: '{"ok":true,"version":"3.3.9","installDir":"elsewhere","exeBytes":24}' },
    ];
    for (const [at, c] of files.entries()) {
      await t.test(c.name, async () => {
        const dir = fs.mkdtempSync(path.join(root, 'case-'));
        for (const { name, older } of files) fs.writeFileSync(path.join(dir, name), older);
        // Wine running as root ignores the read-only attribute; an immutable
        // file is refused to everyone.
        execFileSync('chattr', ['+i', path.join(dir, c.name)]);
        try {
          assertFailed(await installInto(dir), osFailure(c.message, 5, 'PermissionDenied'));
        } finally {
          execFileSync('chattr', ['-i', path.join(dir, c.name)]);
        }
        for (const { name } of files.slice(0, at)) {
          assert.ok(read(dir, name).equals(carried()[name]), `${name} is rewritten (${read(dir, name).length} bytes)`);
        }
        for (const { name, older } of files.slice(at)) {
          assert.ok(read(dir, name).equals(Buffer.from(older)), `${name} is left as it was`);
        }
        assert.equal(fs.readdirSync(dir).length, 5);
      });
    }
  });

test('a host executable held open by another process: busy, nothing else written', async (t) => {
  const dir = withTemp(t, 'held');
  const older = Buffer.from('a running copy of the host');
  fs.writeFileSync(path.join(dir, HOST), older);
  const run = await installInto(dir, { hold: windowsPath(path.join(dir, HOST)) });
  assertFailed(run, osFailure(`Failed writing ${HOST}`, 32, 'ResourceBusy'));
  assert.deepEqual(fs.readdirSync(dir), [HOST]);
  assert.ok(read(dir, HOST).equals(older), 'the held file is untouched');
});

test('a full disk: the failing file holds only what fitted, later files are missing',
  { skip: needs('tmpfs', 'wine-drives', 'root') },
  async (t) => {
    const page = Number(execFileSync('getconf', ['PAGESIZE']).toString());
    const pages = (bytes) => Math.ceil(bytes / page) * page;
    const hostBytes = () => carried()[HOST].length;
    const cases = [
      { name: 'the host does not fit', size: () => page * Math.max(1, Math.floor(hostBytes() / page / 2)), failing: HOST,
        complete: [] },
      // The host takes every page there is.
      { name: 'the host fits, the icon does not', size: () => pages(hostBytes()), failing: ICON, complete: [HOST] },
    ];
    await eachRow(t, cases, async (c, t) => {
      const fits = c.size() >= pages(hostBytes());
      assert.equal(fits, c.complete.includes(HOST), `${c.size()} bytes for a host of ${hostBytes()}`);
      const mount = path.join(withTemp(t, 'full'), 'disk');
      const drive = path.join(prefixDir(), 'dosdevices', 'y:');
      fs.mkdirSync(mount);
      execFileSync('mount', ['-t', 'tmpfs', '-o', `size=${c.size()}`, 'tmpfs', mount]);
      let run;
      let left;
      try {
        fs.symlinkSync(mount, drive);
        run = await runInstaller('--install-dir Y:\\Apps\\Z');
        const dir = path.join(mount, 'Apps', 'Z');
        left = Object.fromEntries(fs.readdirSync(dir).map((name) => [name, read(dir, name)]));
      } finally {
        fs.rmSync(drive, { force: true });
        execFileSync('umount', [mount]);
      }
      assertFailed(run, osFailure(`Failed writing ${c.failing}`, 112, 'StorageFull'));
      assert.deepEqual(Object.keys(left).sort(), [...c.complete, c.failing].sort());
      for (const name of c.complete) assert.ok(left[name].equals(carried()[name]), `${name} is complete`);
      const partial = left[c.failing];
      assert.ok(partial.length < carried()[c.failing].length, `${c.failing} is shorter than the carried one`);
      assert.ok(partial.equals(carried()[c.failing].subarray(0, partial.length)), 'and holds the start of it');
    });
  });

test('standard output closed after a complete installation: status 101, all files in place', async (t) => {
  const dir = withTemp(t, 'closed');
  assertFailed(await installInto(dir, { stdout: 'closed' }), /^failed printing to stdout: \S.* \(os error 232\)$/);
  assertInstalled(dir);
});
