// The end-to-end tests on the Windows road: Node.js for Windows runs the
// test files of this bundle against the programs in dist/ and the
// cross-built helpers in bin/, one file at a time, and counts the cases
// that ran, were skipped (with why) and failed.
//
// Usage: node run.mjs [--dist FOLDER] [NAME...]
//   --dist  the folder holding the two programs (default: dist\ of this
//           bundle; give the dist\ of a signed build to test what ships)
//   NAME    test files to run (foundation, installer, ...; default: all)
// Set ZUR_TEST_THROW_AWAY_MACHINE=1 on a machine that may be changed
// outside the scratch folders, for the cases that plant fakes on drive C:.

import fs from 'node:fs';
import path from 'node:path';
import { run } from 'node:test';
import { tap } from 'node:test/reporters';
import { fileURLToPath } from 'node:url';
import { parseArgs } from 'node:util';

const bundle = path.dirname(fileURLToPath(import.meta.url));
const source = path.join(bundle, 'source');

function fail(message) {
  console.error(`run: ${message}`);
  process.exit(2);
}

const { values, positionals } = parseArgs({ options: { dist: { type: 'string' } }, allowPositionals: true });
if (process.platform !== 'win32') fail('this is the Windows road: run it with Node.js for Windows');

const { HOST, INSTALLER_NAME } = await import(new URL('./source/tests/lib/expected.mjs', import.meta.url));
const dist = path.resolve(values.dist ?? path.join(bundle, 'dist'));
const bin = path.join(bundle, 'bin');
const exe = (folder, name) => {
  const file = path.join(folder, name);
  if (!fs.existsSync(file)) fail(`${file} is missing`);
  return file;
};
Object.assign(process.env, {
  ZUR_HOST_EXE: exe(dist, HOST),
  ZUR_INSTALLER_EXE: exe(dist, INSTALLER_NAME),
  ZUR_LAUNCH_EXE: exe(bin, 'zur_test_launch.exe'),
  ZUR_RECORDER_EXE: exe(bin, 'zur_test_recorder.exe'),
  ZUR_GUARD_PROBE_EXE: exe(bin, 'zur_test_guard_probe.exe'),
  ZUR_SHIM_EXE: exe(bin, 'zur_test_shim.exe'),
  ZUR_NODE_WIN_EXE: process.execPath,
  ZUR_SOURCE_DIR: source,
});

const e2e = path.join(source, 'tests', 'e2e');
const all = fs.readdirSync(e2e).filter((f) => f.endsWith('.test.mjs')).sort();
const names = positionals.length ? positionals.map((n) => `${n}.test.mjs`) : all;
for (const name of names) if (!all.includes(name)) fail(`no test file ${name} in ${e2e}`);

// A case is a test without subtests. Within one file the runner reports a
// test after all of its subtests, so a test at depth n is a case unless
// something at depth n + 1 was reported since its previous sibling.
const count = { passed: 0, failed: 0, skipped: 0 };
const reasons = new Map();
let childSeen = [];
let file;
function tally(kind, data) {
  if (data.file !== file) [file, childSeen] = [data.file, []];
  const depth = data.nesting;
  const isCase = !childSeen[depth + 1];
  childSeen[depth + 1] = false;
  childSeen[depth] = true;
  if (!isCase) return;
  if (kind === 'fail') {
    count.failed++;
  } else if (data.skip !== undefined) {
    count.skipped++;
    const why = typeof data.skip === 'string' ? data.skip : 'skipped';
    reasons.set(why, (reasons.get(why) ?? 0) + 1);
  } else {
    count.passed++;
  }
}

const started = Date.now();
const stream = run({ files: names.map((n) => path.join(e2e, n)), concurrency: false });
stream.on('test:pass', (data) => tally('pass', data));
stream.on('test:fail', (data) => tally('fail', data));
await new Promise((resolve) => stream.compose(tap).on('end', resolve).pipe(process.stdout, { end: false }));

console.log(`\nWindows road (${process.execPath}, ${names.length} files, ${((Date.now() - started) / 1000).toFixed(1)} s): ` +
  `${count.passed + count.failed} cases run, ${count.skipped} skipped`);
for (const [why, n] of [...reasons].sort((a, b) => b[1] - a[1])) console.log(`  skipped ${n}: ${why}`);
console.log(`${count.passed} passed, ${count.failed} failed`);
process.exitCode = count.failed || count.passed === 0 ? 1 : 0;
