// The installer end to end: what it writes and where, the receipt and the
// bundle report, its command line, repeated and simultaneous runs, and the
// installed launcher script starting the installed desktop host.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import { quoteArgument } from '../lib/command_line.mjs';
import { BROWSERS, CONFIGURATION, HOST, ICON, LAUNCHER, RECEIPT, VERSION, bundleReport } from '../lib/expected.mjs';
import { requirePortFree } from '../lib/gateway_port.mjs';
import { INSTALLED, assertInstalled, carried, installInto, installedReceipt, runInstaller } from '../lib/installer.mjs';
import { waitRecords } from '../lib/records.mjs';
import { needs } from '../lib/road.mjs';
import { eachRow } from '../lib/rows.mjs';
import { sandbox } from '../lib/sandbox.mjs';
import { waitUntil } from '../lib/wait.mjs';
import { driveC, launch, programs, slashedPath, windowsPath, withTemp } from '../lib/wine.mjs';

/** Status 0, nothing on standard error, and `line` with exactly one LF on standard output. */
function assertPrinted(run, line) {
  assert.equal(run.stderr.toString(), '', 'nothing on standard error');
  assert.equal(run.status, 0);
  assert.equal(run.stdout.toString('utf8'), line + '\n', 'the line and exactly one LF');
}

/** `run` succeeded and installed into `dir`, which the receipt names `installDir`. */
function assertInstalledBy(run, dir, installDir = slashedPath(dir)) {
  assertPrinted(run, installedReceipt(installDir));
  assertInstalled(dir, installDir);
}

/** A folder for one case, with an empty current folder and LOCALAPPDATA. */
function newCase(root) {
  const caseRoot = fs.mkdtempSync(path.join(root, 'case-'));
  const [work, local] = [path.join(caseRoot, 'cwd'), path.join(caseRoot, 'local')];
  fs.mkdirSync(work);
  fs.mkdirSync(local);
  return { caseRoot, work, local };
}

/**
 * Runs row `c` of a table of folders in a new case: the installer with the arguments c.args, or the command line
 * c.cmd with the installer as the application, and LOCALAPPDATA c.local (null: unset). In these texts {R} stands
 * for the case's folder in its Windows form, {r} for it with slashes and {drive} for its drive. The files must land
 * in c.where (with slashes, below the case's folder) and the receipt name c.installDir; by default, the folder below
 * LOCALAPPDATA. Resolves to the case and where the files landed.
 */
async function installCase(root, c) {
  const d = newCase(root);
  const windows = windowsPath(d.caseRoot);
  const fill = (text) =>
    text.replaceAll('{R}', windows).replaceAll('{r}', slashedPath(d.caseRoot)).replaceAll('{drive}', windows.slice(0, 2));
  const { local = '{R}\\local', where = 'local/OLVENTA/ZUR-Vedozaruz', installDir = '{r}/local/OLVENTA/ZUR-Vedozaruz' } = c;
  const environment = local === null ? { unset: ['LOCALAPPDATA'] } : { set: { LOCALAPPDATA: fill(local) } };
  const options = { cwd: windowsPath(d.work), ...environment };
  const run = await (c.cmd
    ? launch({ cmd: fill(c.cmd), app: windowsPath(programs.installer), ...options })
    : runInstaller(fill(c.args ?? ''), options));
  const dir = path.join(d.caseRoot, ...where.split('/'));
  assertInstalledBy(run, dir, fill(installDir));
  return { ...d, dir };
}

test('the written files are the carried ones, byte for byte, and the receipt says so', async (t) => {
  const dir = path.join(withTemp(t, 'inst'), 'target');
  assertInstalledBy(await installInto(dir), dir);
  // What the installed files are, whatever the build took in.
  const host = fs.readFileSync(path.join(dir, HOST));
  const peOffset = host.readUInt32LE(0x3c);
  assert.equal(host.subarray(0, 2).toString('latin1'), 'MZ');
  assert.ok(host.subarray(peOffset, peOffset + 4).equals(Buffer.from('PE\0\0', 'latin1')), 'PE signature');
  assert.equal(host.readUInt16LE(peOffset + 4), 0x8664, 'x86-64');
  assert.equal(host.readUInt16LE(peOffset + 24), 0x20b, 'PE32+');
  assert.equal(host.readUInt16LE(peOffset + 24 + 68), 3, 'console subsystem');
  const icon = fs.readFileSync(path.join(dir, ICON));
  assert.deepEqual([icon.readUInt16LE(0), icon.readUInt16LE(2), icon.readUInt16LE(4)], [0, 1, 1], 'one icon image');
  assert.deepEqual([icon[6], icon[7], icon[8], icon[9], icon.readUInt16LE(10), icon.readUInt16LE(12)], [64, 64, 0, 0, 1, 32]);
  assert.deepEqual([icon.readUInt32LE(14), icon.readUInt32LE(18)], [icon.length - 22, 22]);
  assert.ok(icon.subarray(22, 30).equals(Buffer.from('89504e470d0a1a0a', 'hex')), 'PNG data at offset 22');
  const config = fs.readFileSync(path.join(dir, CONFIGURATION), 'utf8');
  assert.equal(config.split('\n').length, 66, 'lines separated by LF');
  assert.ok(!config.includes('\r') && !config.endsWith('\n') && !config.startsWith('\ufeff'));
  assert.equal(JSON.parse(config).version, VERSION);
  assert.equal(fs.readFileSync(path.join(dir, LAUNCHER)).length, 57);
});

test('--verify-bundle prints the bundle report and touches nothing', async (t) => {
  const root = withTemp(t, 'verify');
  const renamed = path.join(root, 'some-other-name.exe');
  fs.copyFileSync(programs.installer, renamed);
  const installer = windowsPath(programs.installer);
  const target = path.join(root, 'target');
  const cases = [
    { name: 'alone', cmd: `"${installer}" --verify-bundle` },
    { name: 'the installer under another name', cmd: `"${windowsPath(renamed)}" --verify-bundle` },
    { name: 'as element 0', cmd: '--verify-bundle', app: installer },
    { name: 'after an --install-dir pair', cmd: `"${installer}" --install-dir "${windowsPath(target)}" --verify-bundle` },
    { name: 'as the value of --install-dir', cmd: `"${installer}" --install-dir --verify-bundle` },
    { name: 'among other arguments', cmd: `"${installer}" /S --verify-bundle --install-dir "${windowsPath(target)}"` },
  ];
  await eachRow(t, cases, async (c) => {
    const { work, local } = newCase(root);
    const run = await launch({ cmd: c.cmd, app: c.app, cwd: windowsPath(work), set: { LOCALAPPDATA: windowsPath(local) } });
    assertPrinted(run, bundleReport(carried()[HOST].length, carried()[ICON].length));
    assert.deepEqual(fs.readdirSync(work), [], 'nothing in the current folder');
    assert.deepEqual(fs.readdirSync(local), [], 'nothing in LOCALAPPDATA');
    assert.ok(!fs.existsSync(target), 'the named folder is not created');
  });
});

test('the default folder follows LOCALAPPDATA, and an override is taken as given', async (t) => {
  const root = withTemp(t, 'folder');
  const long = Array.from({ length: 7 }, (_, i) => `level-${i}-`.padEnd(45, 'x'));
  const cases = [
    { name: 'LOCALAPPDATA set' },
    { name: 'LOCALAPPDATA with a trailing backslash', local: '{R}\\local\\' },
    { name: 'LOCALAPPDATA with a trailing slash', local: '{R}\\local/' },
    { name: 'LOCALAPPDATA empty', local: '', where: 'cwd/OLVENTA/ZUR-Vedozaruz', installDir: 'OLVENTA/ZUR-Vedozaruz' },
    { name: 'LOCALAPPDATA absent', local: null, where: 'cwd/OLVENTA/ZUR-Vedozaruz', installDir: './OLVENTA/ZUR-Vedozaruz' },
    { name: 'override with forward slashes', args: '--install-dir {r}/fw/Z', where: 'fw/Z', installDir: '{r}/fw/Z' },
    { name: 'override with a trailing backslash', args: '--install-dir {R}\\tb\\', where: 'tb', installDir: '{r}/tb/' },
    // The system drops trailing blanks and dots from the last component.
    { name: 'override with a trailing blank', args: '--install-dir "{R}\\tb "', where: 'tb', installDir: '{r}/tb ' },
    { name: 'override with a trailing dot, blank and separator', args: `--install-dir ${quoteArgument('{R}\\td. \\')}`,
      where: 'td', installDir: '{r}/td. /' },
    // Before a separator the full-path service keeps the blank: the folder
    // made and the folder written into are still one.
    { name: 'relative override with a trailing blank and separator', args: `--install-dir ${quoteArgument('Z \\')}`,
      where: 'cwd/Z', installDir: 'Z /' },
    // The current folder's drive, whose current folder is the current one.
    { name: 'drive-relative override with a trailing dot and separator', args: '--install-dir {drive}dr.\\',
      where: 'cwd/dr', installDir: '{drive}dr./' },
    { name: 'override over 250 characters with a trailing blank and separator',
      args: `--install-dir ${quoteArgument(`{R}\\${long.join('\\')} \\`)}`, where: long.join('/'),
      installDir: `{r}/${long.join('/')} /` },
    // An inner component keeps its blank: the folder is made as named, with
    // no stray one beside it.
    { name: 'override with an inner component that ends in a blank', args: '--install-dir "{R}\\Apps \\Z"', where: 'Apps /Z',
      installDir: '{r}/Apps /Z', stray: 'Apps' },
    { name: 'empty override', args: '--install-dir ""', where: 'cwd', installDir: '' },
    { name: 'relative override', args: '--install-dir rel\\sub', where: 'cwd/rel/sub', installDir: 'rel/sub' },
    { name: 'override several levels deep', args: '--install-dir "{R}\\a\\b c\\d\\e"', where: 'a/b c/d/e',
      installDir: '{r}/a/b c/d/e' },
    { name: 'absolute override over 300 characters', args: `--install-dir {R}\\${long.join('\\')}`, where: long.join('/'),
      installDir: `{r}/${long.join('/')}` },
    { name: 'relative override over 300 characters', args: `--install-dir ${long.join('\\')}`, where: `cwd/${long.join('/')}`,
      installDir: long.join('/') },
  ];
  await eachRow(t, cases, async (c) => {
    const d = await installCase(root, c);
    if (c.args) assert.deepEqual(fs.readdirSync(d.local), [], 'the default folder is not used');
    if (c.stray) assert.ok(!fs.existsSync(path.join(d.caseRoot, c.stray)), `no stray ${c.stray}`);
    if (path.resolve(d.dir) !== path.resolve(d.work)) {
      assert.ok(!fs.existsSync(path.join(d.work, RECEIPT)), 'nothing lands in the current folder');
    }
  });
});

test('a folder text that ".." makes a real folder: the receipt is one line of JSON, no stray folder', async (t) => {
  const root = withTemp(t, 'dotdot');
  // Each component that ".." removes holds what no real folder can.
  const cases = [
    { name: 'a double quote', removed: 'x"y' },
    { name: 'a tab', removed: 'a\tb' },
    { name: 'a line feed and a carriage return', removed: 'a\nb\r' },
    { name: 'a key of its own', removed: 'q","installDir":"C:","z":"' },
  ];
  await eachRow(t, cases, async (c) => {
    const { caseRoot } = newCase(root);
    const folder = `${windowsPath(caseRoot)}\\${c.removed}\\..`;
    const run = await runInstaller(`--install-dir ${quoteArgument(folder)}`);
    assert.equal(run.status, 0, run.stderr.toString());
    const printed = run.stdout.toString('utf8');
    assert.equal(printed.indexOf('\n'), printed.length - 1, 'one line');
    const parsed = JSON.parse(printed);
    assert.deepEqual(Object.keys(parsed), ['ok', 'version', 'installDir', 'exeBytes']);
    assert.equal(parsed.installDir, folder.replaceAll('\\', '/'));
    assert.equal(fs.readFileSync(path.join(caseRoot, RECEIPT), 'utf8') + '\n', printed);
    assert.deepEqual(fs.readdirSync(caseRoot).filter((name) => !INSTALLED.includes(name)).sort(), ['cwd', 'local']);
  });
  await t.test('C:\\new\\..\\target makes the target and nothing else', { skip: needs('machine') }, async (t) => {
    const [stray, target] = [`zur-e2e-new-${process.pid}`, `zur-e2e-target-${process.pid}`];
    t.after(() => fs.rmSync(driveC(target), { recursive: true, force: true }));
    const run = await runInstaller(`--install-dir C:\\${stray}\\..\\${target}`);
    assertInstalledBy(run, driveC(target), `C:/${stray}/../${target}`);
    assert.ok(!fs.existsSync(driveC(stray)), `no C:\\${stray}`);
  });
});

test('the command line: only exact options count, the last complete --install-dir pair wins', async (t) => {
  const root = withTemp(t, 'scan');
  const cases = [
    { name: 'no arguments', args: '' },
    { name: '--verify-bundle in upper case', args: '--VERIFY-BUNDLE' },
    { name: '--verify-bundle with a value', args: '--verify-bundle=1' },
    { name: '--verify-bundle with a single dash', args: '-verify-bundle' },
    { name: 'two pairs', args: '--install-dir {R}\\A --install-dir {R}\\B', where: 'B', installDir: '{r}/B', absent: ['A'] },
    { name: '--install-dir twice, then B', args: '--install-dir --install-dir {R}\\B', where: 'cwd/--install-dir',
      installDir: '--install-dir', absent: ['B'] },
    { name: 'a lone final --install-dir', args: '--install-dir' },
    { name: 'a pair, then a lone --install-dir', args: '--install-dir {R}\\A --install-dir', where: 'A', installDir: '{r}/A' },
    { name: '--install-dir joined by =', args: '--install-dir={R}\\A', absent: ['A'] },
    { name: '--install-dir in upper case', args: '--INSTALL-DIR {R}\\A', absent: ['A'] },
    { name: 'other installers\' switches', args: '/S /? --help -h --silent' },
    { name: 'a value that looks like an option', args: '--install-dir --help /S', where: 'cwd/--help', installDir: '--help' },
    { name: '--install-dir as element 0', cmd: '--install-dir {R}\\A', absent: ['A'] },
  ];
  await eachRow(t, cases, async (c) => {
    const d = await installCase(root, c);
    for (const name of c.absent ?? []) assert.ok(!fs.existsSync(path.join(d.caseRoot, name)), `${name} is not created`);
  });
});

test('a second run rewrites every file to its carried length', async (t) => {
  const dir = path.join(withTemp(t, 'again'), 'target');
  const first = await installInto(dir);
  assertInstalledBy(first, dir);

  // Stale files, longer and shorter than the carried ones.
  const stale = {
    [HOST]: Buffer.alloc(16, 0x41),
    [ICON]: Buffer.concat([carried()[ICON], Buffer.alloc(5000, 0x42)]),
    [CONFIGURATION]: Buffer.concat([carried()[CONFIGURATION], Buffer.from('\n'.repeat(300) + '{"padding":true}')]),
    [LAUNCHER]: Buffer.from('@echo off\r\necho an older launcher script that is longer\r\n'.repeat(4)),
    [RECEIPT]: Buffer.from(installedReceipt(`${slashedPath(dir)}/and/a/longer/folder/than/before`)),
  };
  for (const [name, bytes] of Object.entries(stale)) fs.writeFileSync(path.join(dir, name), bytes);

  const second = await installInto(dir);
  assertInstalledBy(second, dir);
  assert.ok(second.stdout.equals(first.stdout), 'the same receipt line');
});

test('links planted in the folder are replaced by regular files; what they lead to stays', async (t) => {
  const root = withTemp(t, 'links');
  const victimBytes = Buffer.from('a file of another user of the machine');
  const symbolic = needs('unix-links');
  const cases = [
    { name: 'a symbolic link to a file elsewhere', at: ICON, skip: symbolic },
    { name: 'a hard link to a file elsewhere', at: HOST, hard: true },
    { name: 'a symbolic link to another file in the folder', at: CONFIGURATION, beside: true, skip: symbolic },
    { name: 'a symbolic link that leads nowhere', at: RECEIPT, nowhere: true, skip: symbolic },
  ];
  await eachRow(t, cases, async (c) => {
    const { caseRoot } = newCase(root);
    const dir = path.join(caseRoot, 'target');
    fs.mkdirSync(dir);
    const victim = c.beside ? path.join(dir, 'notes.txt') : path.join(caseRoot, 'victim', c.at);
    fs.mkdirSync(path.dirname(victim), { recursive: true });
    if (!c.nowhere) fs.writeFileSync(victim, victimBytes);
    (c.hard ? fs.linkSync : fs.symlinkSync)(victim, path.join(dir, c.at));
    assertPrinted(await installInto(dir), installedReceipt(slashedPath(dir)));
    if (c.nowhere) {
      assert.ok(!fs.existsSync(victim), 'nothing is created where the link led');
    } else {
      assert.ok(fs.readFileSync(victim).equals(victimBytes), 'the file behind the link is unchanged');
      assert.equal(fs.statSync(victim).nlink, 1, 'and has its own name only');
    }
    if (c.beside) fs.rmSync(victim);
    assertInstalled(dir);
    for (const name of INSTALLED) {
      const stat = fs.lstatSync(path.join(dir, name));
      assert.ok(stat.isFile() && stat.nlink === 1, `${name} is a regular file with one name`);
    }
  });
  await t.test('a folder reached through a symbolic link: its files are rewritten in place', { skip: symbolic }, async () => {
    const { caseRoot } = newCase(root);
    const real = path.join(caseRoot, 'real');
    fs.mkdirSync(real);
    fs.writeFileSync(path.join(real, ICON), 'an older icon');
    const before = fs.statSync(path.join(real, ICON)).ino;
    fs.symlinkSync(real, path.join(caseRoot, 'moved'));
    const dir = path.join(caseRoot, 'moved');
    assertInstalledBy(await installInto(dir), real, slashedPath(dir));
    assert.equal(fs.statSync(path.join(real, ICON)).ino, before, 'the same file, cut and written');
  });
});

// While the installer runs, its folder moves away and a link to another
// folder takes its name (Linux renames a folder that Wine holds open; Windows
// refuses that while the installer holds it). Whatever the moment: nothing
// lands where the link leads, and the run either completes in the folder it
// holds or fails.
test('the folder swapped for a link during the run: no file lands where the link leads', { skip: needs('unix-links') },
  async (t) => {
    const root = withTemp(t, 'swap');
    const outcomes = [];
    for (let round = 0; round < 4; round++) {
      await t.test(`round ${round + 1}`, async () => {
        const { caseRoot } = newCase(root);
        const [dir, held, elsewhere] = ['target', 'held', 'elsewhere'].map((name) => path.join(caseRoot, name));
        fs.mkdirSync(dir);
        fs.mkdirSync(elsewhere);
        let swapped = false;
        const watcher = fs.watch(dir, () => {
          if (swapped) return;
          swapped = true;
          fs.renameSync(dir, held);
          fs.symlinkSync(elsewhere, dir);
        });
        const run = await installInto(dir);
        // The first file's event may still be on its way when the run ends.
        await waitUntil(() => swapped, { timeoutMs: 5000, what: 'no event for the first file' })
          .finally(() => watcher.close());
        assert.deepEqual(fs.readdirSync(elsewhere), [], 'nothing where the link leads');
        const written = fs.readdirSync(held);
        if (run.status === 0) {
          assertInstalled(held, slashedPath(dir));
        } else {
          assert.equal(run.status, 101, run.stderr.toString());
          // Refused where it led elsewhere (code 1921), or not found while
          // the folder's name was briefly nobody's.
          assert.match(run.stderr.toString(), /\nFailed writing .*Os \{ code: (1921|2|3),/);
          for (const name of written) assert.ok(INSTALLED.includes(name), `${name} is one of the installed files`);
        }
        outcomes.push(`${run.status}:${written.length}`);
      });
    }
    t.diagnostic(`status:files in the held folder, per round: ${outcomes.join(' ')}`);
  });

test('two installers at once into one folder both finish with a complete installation', async (t) => {
  const root = withTemp(t, 'race');
  for (let round = 0; round < 3; round++) {
    await t.test(`round ${round + 1}`, async () => {
      // A deep folder that neither run finds, so both create its levels.
      const dir = path.join(root, `round-${round}`, 'a', 'b', 'c');
      const runs = await Promise.all([installInto(dir), installInto(dir)]);
      for (const run of runs) assertPrinted(run, installedReceipt(slashedPath(dir)));
      assertInstalled(dir);
    });
  }
});

// ---- The installed launcher script ---------------------------------------

const EDGE = BROWSERS.edgeX86;

test('the installed launcher script starts the installed host with its arguments', { skip: needs('browser-paths') },
  async (t) => {
    await requirePortFree();
    const root = withTemp(t, 'script');
    // The browser's stand-in goes on the ledger of what tests put on drive
    // C:, so that a run killed before its end leaves nothing behind.
    const box = sandbox();
    t.after(() => box.restore());
    box.placeOnC(EDGE, programs.recorder);

    const cases = [
      { name: 'folder with blanks, two app options', folder: 'inst dir/with blanks', args: '--app=x "--app=a b"',
        page: '"--app=http://127.0.0.1:4300/apps/a b"' },
      { name: 'plain folder, options the other way round', folder: 'plain', args: '"--app=a b" --app=x',
        page: '--app=http://127.0.0.1:4300/apps/x' },
      { name: 'no arguments', folder: 'none', args: '', page: '--app=http://127.0.0.1:4300/' },
    ];
    await eachRow(t, cases, async (c) => {
      const dir = path.join(root, c.folder);
      assertInstalledBy(await installInto(dir), dir);
      // The current folder holds a stand-in of the host under its name:
      // a script that looked there would start it instead.
      const elsewhere = fs.mkdtempSync(path.join(root, 'elsewhere '));
      fs.copyFileSync(programs.recorder, path.join(elsewhere, HOST));
      const local = fs.mkdtempSync(path.join(root, 'local-'));
      const record = path.join(root, `${c.folder.replaceAll('/', '_')}.jsonl`);
      const run = await launch({
        // cmd /C strips the outer quotes of what follows.
        cmd: `cmd /C ""${windowsPath(dir)}\\${LAUNCHER}"${c.args ? ' ' + c.args : ''}"`,
        app: 'C:\\windows\\system32\\cmd.exe',
        cwd: windowsPath(elsewhere),
        set: { ZUR_TEST_RECORD: windowsPath(record), ZUR_GATEWAY_SCRIPT: windowsPath(path.join(root, 'no-such-gateway.mjs')),
          LOCALAPPDATA: windowsPath(local) },
      });
      assert.equal(run.status, 0, run.stderr.toString());
      // `start` does not wait; a new console under Wine can take a while.
      const records = await waitRecords(record, { timeoutMs: 30000 });
      assert.equal(records.length, 1, JSON.stringify(records));
      const [browser] = records;
      assert.equal(browser.exe, `C:\\${EDGE}`, 'the browser, started by the installed host');
      assert.equal(browser.cwd, windowsPath(elsewhere), 'the host ran in the script\'s current folder');
      const profile = `${windowsPath(local)}\\OLVENTA\\ZUR-Vedozaruz\\webview-profile`;
      assert.equal(browser.cmd,
        `"C:\\${EDGE}" ${c.page} --user-data-dir=${profile} --no-first-run --window-size=1480,920`);
    });
  });
