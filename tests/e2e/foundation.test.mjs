// What both programs share: the argument check, the failure report, the
// writing of their one output line and the stack protector of their image.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import { commandLine } from '../lib/command_line.mjs';
import { FAILURE_HINT as HINT, INSTALLER_NAME } from '../lib/expected.mjs';
import { runInstaller } from '../lib/installer.mjs';
import { eachRow } from '../lib/rows.mjs';
import { assertFailed, failureReport, launch, programs, windowsPath, withTemp } from '../lib/wine.mjs';

const PROGRAMS = [
  { name: 'host', exe: () => programs.host, source: 'zur_desktop_host', reportOption: '--smoke-test' },
  { name: 'installer', exe: () => programs.installer, source: 'zur_setup_installer', reportOption: '--verify-bundle' },
];

/** Runs `program` with `args` (one text) after its quoted path. */
const start = (program, args, options) => launch({ cmd: commandLine(windowsPath(program.exe()), args), ...options });
/** Runs the guard probe with these arguments after its quoted path. */
const probe = (...args) => launch({ cmd: commandLine(windowsPath(programs.guardProbe), ...args) });

test('an argument that is not valid Unicode ends the run before anything else', async (t) => {
  const cases = [
    { args: 'a\uD800b', index: 1, shown: 'a\uFFFDb' },
    { args: '--smoke-test --verify-bundle x\uDC00', index: 3, shown: 'x\uFFFD' },
    { args: '"quoted \uDBFF" tail', index: 1, shown: 'quoted \uFFFD' },
  ];
  for (const program of PROGRAMS) {
    for (const c of cases) {
      await t.test(`${program.name}: ${JSON.stringify(c.args)}`, async () => {
        const run = await start(program, c.args);
        assertFailed(run, `Failed converting argument ${c.index} to Unicode text: "${c.shown}"`, program.source);
      });
    }
  }
});

// The header names the thread that failed: the program's one thread, whose
// id the launcher had from CreateProcess (not the process id).
test('the failure report names the thread that failed', async (t) => {
  const threadFile = path.join(withTemp(t, 'thread'), 'thread');
  process.env.ZUR_LAUNCH_THREAD_FILE = windowsPath(threadFile);
  t.after(() => delete process.env.ZUR_LAUNCH_THREAD_FILE);
  await eachRow(t, PROGRAMS, async (program) => {
    fs.rmSync(threadFile, { force: true });
    const run = await start(program, 'a\uD800', { unset: ['ZUR_LAUNCH_THREAD_FILE'] });
    assert.equal(run.status, 101);
    const thread = fs.readFileSync(threadFile, 'latin1');
    assert.match(thread, /^\d+$/);
    assert.equal(failureReport(run.stderr)[1].split(' ')[2], `(${thread})`);
  });
});

test('a closed standard output pipe ends the run with status 101', (t) => eachRow(t, PROGRAMS, async (program) => {
  const run = await start(program, program.reportOption, { stdout: 'closed' });
  assertFailed(run, /^failed printing to stdout: \S.* \(os error 232\)$/, program.source);
}));

test('without a standard output handle the line is dropped and the run succeeds', (t) => eachRow(t, PROGRAMS, async (program) => {
  const run = await start(program, program.reportOption, { stdout: 'none' });
  assert.equal(run.status, 0);
  assert.equal(run.stderr.length, 0);
}));

test('ZUR_BACKTRACE puts the stack frames into the report', async (t) => {
  const cases = [{ value: '1', frames: true }, { value: 'full', frames: true }, { value: '0', frames: false },
    { value: '', frames: false }];
  for (const c of cases) {
    await t.test(`ZUR_BACKTRACE=${JSON.stringify(c.value)}`, async () => {
      const run = await runInstaller('bad\uD800', { set: { ZUR_BACKTRACE: c.value } });
      assert.equal(run.status, 101);
      const lines = failureReport(run.stderr);
      assert.equal(lines[2], 'Failed converting argument 1 to Unicode text: "bad\uFFFD"');
      if (c.frames) {
        assert.equal(lines[3], 'stack backtrace:');
        const frames = lines.slice(4);
        assert.ok(frames.length >= 2, run.stderr.toString());
        for (const frame of frames) assert.match(frame, /^ {2}\d+: (\S+\+0x[0-9a-f]+|0x[0-9a-f]+)$/);
        assert.ok(frames.some((f) => f.includes(`${INSTALLER_NAME}+0x`)), frames.join('\n'));
      } else {
        assert.equal(lines.length, 4);
        assert.equal(lines[3], HINT);
      }
    });
  }
});

// The guard probe is built as both programs are: the same runtime, load
// configuration and hardening.
test('the loader seeds each run\'s stack canary, and a smashed stack ends the run at once', async () => {
  const canaries = [];
  for (let i = 0; i < 3; i++) {
    const run = await probe();
    assert.equal(run.status, 0, run.stderr.toString());
    canaries.push(run.stdout.toString());
    assert.match(canaries[i], /^[0-9a-f]{16}$/);
    assert.notEqual(canaries[i], '00002b992ddfa232', 'the default value the image holds in the file');
  }
  // Wine's loader seeds from the tick count and the process id, so two runs
  // may on rare occasions draw the same value; three never all do unless the
  // value is fixed.
  assert.ok(new Set(canaries).size > 1, `every run had the canary ${canaries[0]}`);

  const smashed = await probe('smash');
  assert.equal(smashed.status, 0xC0000409, 'STATUS_STACK_BUFFER_OVERRUN, from __fastfail');
  assert.equal(smashed.stdout.length, 0);
});

// The C functions that compiled code calls, and operator new, are the
// runtime's own: the probe runs them as the programs would.
test('the runtime beneath the programs: the seven C functions and an exhausted heap', async (t) => {
  await t.test('the C functions, overlaps both ways, signs and lengths', async () => {
    const run = await probe('c-functions');
    assert.equal(run.stdout.toString(), '', 'the cases that failed');
    assert.equal(run.status, 0);
  });
  await t.test('more memory than exists ends the run with the size', async () => {
    const run = await probe('exhaust');
    assert.equal(run.stderr.toString(), 'memory allocation of 9223372036854775808 bytes failed\n');
    assert.equal(run.stdout.length, 0);
    assert.equal(run.status, 3);
  });
});
