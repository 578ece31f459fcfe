// The desktop host's app window: which browser is started, with which
// arguments and profile folder, which page it opens, and the hand-over to
// the default URL handler through the real cmd when there is no browser.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import { parseCommandLine, quoteArgument } from '../lib/command_line.mjs';
import { APPS, BROWSER_ARGS_TAIL, BROWSERS, COCKPIT, ROOT } from '../lib/expected.mjs';
import { listener, waitPortFree } from '../lib/gateway_port.mjs';
import { eachRow } from '../lib/rows.mjs';
import { HANDLER, hostFixture, shimExe } from '../lib/sandbox.mjs';
import { needs } from '../lib/road.mjs';
import { driveC, onC, programs, windowsPath } from '../lib/wine.mjs';

const PROFILE_TAIL = '\\OLVENTA\\ZUR-Vedozaruz\\webview-profile';

// Every launch ends with a browser or a default-handler start, which fakes record.
const SKIP = needs('url-handler');
let gateway;
const fixture = hostFixture({
  tag: 'host-window', skip: SKIP, handler: true,
  setup: async () => { gateway = await listener(); },
  teardown: () => gateway?.close(),
});
const { box } = fixture;
const localProfile = () => windowsPath(fixture.local) + PROFILE_TAIL;

/** A launch that starts exactly one program: its record. */
async function launchOne(options) {
  const { records } = await fixture.launch(options);
  assert.equal(records.length, 1, `exactly one program started: ${JSON.stringify(records)}`);
  return records[0];
}

/** Puts stand-ins at the named browser paths ('folder' for a directory) until test `t` ends. */
function browsers(t, installs) {
  const removers = Object.entries(installs).map(([key, kind]) =>
    box.placeOnC(BROWSERS[key] ?? key, kind === 'folder' ? 'folder' : shimExe()));
  t.after(() => removers.reverse().forEach((remove) => remove()));
}

const browserLine = (exe, url, profile) =>
  [quoteArgument(onC(exe)), quoteArgument(`--app=${url}`), quoteArgument(`--user-data-dir=${profile}`),
    ...BROWSER_ARGS_TAIL].join(' ');

/** The three installs under drive Z:, named by the program-files variables and found relative to the
 * working folder: the launch options that point there. */
function installsElsewhere() {
  const other = (...parts) => path.join(fixture.scratch, 'other', ...parts);
  for (const relative of Object.values(BROWSERS)) {
    const file = other(...relative.split('\\'));
    fs.mkdirSync(path.dirname(file), { recursive: true });
    fs.copyFileSync(shimExe(), file);
  }
  const [x64, x86] = [windowsPath(other('Program Files')), windowsPath(other('Program Files (x86)'))];
  return { cwd: windowsPath(other()), set: { ProgramFiles: x64, 'ProgramFiles(x86)': x86, ProgramW6432: x64 } };
}

/** Closes the fake gateway until test `t` ends. */
async function silenceGateway(t) {
  await gateway.close();
  t.after(async () => {
    await waitPortFree();
    gateway = await listener();
  });
}

// A script that does not exist: one more probe and no waiting.
const missingScript = () => windowsPath(path.join(fixture.scratch, 'missing.mjs'));

test('the first browser install that exists is started', { skip: SKIP }, async (t) => {
  const cases = [
    { name: 'all three: Edge in Program Files (x86)', install: { edgeX86: 1, edge: 1, chrome: 1 }, started: BROWSERS.edgeX86 },
    { name: 'Edge in Program Files and Chrome: Edge', install: { edge: 1, chrome: 1 }, started: BROWSERS.edge },
    { name: 'Chrome alone', install: { chrome: 1 }, started: BROWSERS.chrome },
    { name: 'Edge (x86) and Chrome', install: { edgeX86: 1, chrome: 1 }, started: BROWSERS.edgeX86 },
    { name: 'Chrome under Program Files (x86) is not a candidate',
      install: { 'Program Files (x86)\\Google\\Chrome\\Application\\chrome.exe': 1 }, handler: true },
    { name: 'Edge elsewhere (program-files variables, working folder) is not found', install: {}, elsewhere: true, handler: true },
  ];
  await eachRow(t, cases, async (c, st) => {
    browsers(st, c.install);
    const started = await launchOne(c.elsewhere ? installsElsewhere() : {});
    if (c.handler) {
      assert.equal(started.exe, onC(HANDLER));
      assert.equal(started.cmd, `"${onC(HANDLER)}" "${ROOT}"`);
      return;
    }
    assert.equal(started.exe, onC(c.started));
    assert.equal(started.cmd, browserLine(c.started, ROOT, localProfile()));
    assert.equal(started.profileExisted, true, 'the profile folder is made before the browser starts');
    assert.equal(started.consoleCP, 0, 'the browser is started without creation flags');
  });
});

test('a browser path that is a folder is chosen, and nothing opens', { skip: SKIP }, async (t) => {
  browsers(t, { edgeX86: 'folder', chrome: 1 });
  const own = path.join(fixture.scratch, 'folder-case');
  const { records } = await fixture.launch({ set: { LOCALAPPDATA: windowsPath(own) }, expect: 0, settleMs: 3000 });
  assert.deepEqual(records, [], 'no later candidate and no default handler');
  assert.ok(fs.statSync(path.join(own, 'OLVENTA', 'ZUR-Vedozaruz', 'webview-profile')).isDirectory());
});

test('without a browser, the gateway decides', { skip: SKIP }, async (t) => {
  const cases = [
    { name: 'gateway answering: the page goes to the default handler', reachable: true, expect: [`"${onC(HANDLER)}" "${ROOT}"`] },
    { name: 'gateway silent: nothing is opened', reachable: false, expect: [] },
  ];
  await eachRow(t, cases, async (c, st) => {
    const own = path.join(fixture.scratch, `no-browser-${c.reachable}`);
    fs.mkdirSync(own);
    if (!c.reachable) await silenceGateway(st);
    const { records } = await fixture.launch({
      set: { LOCALAPPDATA: windowsPath(own), ZUR_GATEWAY_SCRIPT: missingScript() },
      expect: c.expect.length,
      settleMs: 3000,
    });
    assert.deepEqual(records.map((r) => r.cmd), c.expect);
    assert.deepEqual(fs.readdirSync(own), [], 'no profile folder without a browser');
  });
});

test('a silent gateway still gets the browser started', { skip: SKIP }, async (t) => {
  browsers(t, { chrome: 1 });
  await silenceGateway(t);
  const started = await launchOne({ set: { ZUR_GATEWAY_SCRIPT: missingScript() } });
  assert.equal(started.cmd, browserLine(BROWSERS.chrome, ROOT, localProfile()));
});

test('the webview profile folder', { skip: SKIP }, async (t) => {
  browsers(t, { edgeX86: 1 });
  const dir = (name) => path.join(fixture.scratch, 'profiles', name);
  const win = (name) => windowsPath(dir(name));
  const tail = (name) => win(name) + PROFILE_TAIL;
  const made = (name) => dir(`${name}/OLVENTA/ZUR-Vedozaruz/webview-profile`);
  [made('already'), dir('cwd-absent'), dir('cwd-invalid')].forEach((d) => fs.mkdirSync(d, { recursive: true }));
  fs.writeFileSync(dir('a-file'), '');
  const cases = [
    { name: 'under LOCALAPPDATA', local: win('plain'), profile: tail('plain'), made: made('plain') },
    { name: 'a value ending in a backslash gives a doubled separator',
      local: `${win('slash')}\\`, profile: `${win('slash')}\\${PROFILE_TAIL}`, made: made('slash') },
    { name: 'a value with a space stays one argument',
      local: win('Local App Data'), profile: tail('Local App Data'), made: made('Local App Data') },
    { name: 'a folder that is there already', local: win('already'), profile: tail('already'), made: made('already') },
    { name: 'an empty value: at the root of the current drive', local: '', cwd: 'C:\\zur-e2e-cwd',
      profile: PROFILE_TAIL, made: driveC('OLVENTA\\ZUR-Vedozaruz\\webview-profile') },
    { name: 'no LOCALAPPDATA: in the working folder',
      local: null, cwd: win('cwd-absent'), profile: '.\\webview-profile', made: dir('cwd-absent/webview-profile') },
    { name: 'LOCALAPPDATA not valid Unicode: in the working folder', local: `${win('bad')}\uD800`,
      cwd: win('cwd-invalid'), profile: '.\\webview-profile', made: dir('cwd-invalid/webview-profile') },
    { name: 'a folder that cannot be made: the browser starts all the same',
      local: win('a-file'), profile: tail('a-file') },
  ];
  await eachRow(t, cases, async (c) => {
    if (c.cwd === 'C:\\zur-e2e-cwd') {
      box.track(driveC('OLVENTA'));
      box.placeOnC('zur-e2e-cwd', 'folder');
    }
    const started = await launchOne({
      cwd: c.cwd,
      set: c.local === null ? {} : { LOCALAPPDATA: c.local },
      unset: c.local === null ? ['LOCALAPPDATA'] : [],
    });
    assert.equal(started.cmd, browserLine(BROWSERS.edgeX86, ROOT, c.profile));
    assert.deepEqual(parseCommandLine(started.cmd).slice(1),
      [`--app=${ROOT}`, `--user-data-dir=${c.profile}`, ...BROWSER_ARGS_TAIL]);
    if (c.made) assert.ok(fs.statSync(c.made).isDirectory(), `${c.made} is made`);
    assert.equal(started.profileExisted, c.made !== undefined, 'made before the browser starts, when it can be made');
  });
});

test('the page the browser opens', { skip: SKIP }, async (t) => {
  browsers(t, { edgeX86: 1 });
  const cases = [
    { name: 'no page option: the root', args: [], url: ROOT },
    { name: '--synergy-cockpit', args: ['--synergy-cockpit'], url: COCKPIT },
    { name: '--app=NAME', args: ['--app=alpha'], url: `${APPS}alpha` },
    { name: '--app= alone: an empty name', args: ['--app='], url: APPS },
    { name: 'the cockpit after an app: the cockpit', args: ['--app=a', '--synergy-cockpit'], url: COCKPIT },
    { name: 'an app after the cockpit: the app', args: ['--synergy-cockpit', '--app=a'], url: `${APPS}a` },
    { name: 'two apps: the later one', args: ['--app=first', 'other', '--app=second'], url: `${APPS}second` },
    { name: '--app and the name as two elements: the root', args: ['--app', 'alpha'], url: ROOT },
    { name: 'upper case: the root', args: ['--APP=alpha', '--Synergy-Cockpit'], url: ROOT },
    { name: 'one dash: the root', args: ['-app=alpha', '-synergy-cockpit'], url: ROOT },
    { name: 'something appended: the root', args: ['--synergy-cockpit=1', '--synergy-cockpitx'], url: ROOT },
    { name: 'element 0 is --synergy-cockpit: the root', element0: '--synergy-cockpit', args: [], url: ROOT },
    { name: 'element 0 is --app=x: the root', element0: '--app=x', args: ['y'], url: ROOT },
    { name: 'a name with slashes, a query and equals signs', args: ['--app=team/reports?x=1&y=a=b'], url: `${APPS}team/reports?x=1&y=a=b` },
    { name: 'a name with spaces', args: [quoteArgument('--app=ledger  view ')], url: `${APPS}ledger  view ` },
    { name: 'a name with a tab', args: [quoteArgument('--app=a\tb')], url: `${APPS}a\tb` },
    { name: 'a name with a double quote', args: [quoteArgument('--app=a"b')], url: `${APPS}a"b` },
    { name: 'a name ending in a backslash', args: [quoteArgument('--app=dir\\')], url: `${APPS}dir\\` },
    { name: 'a name ending in a backslash and a space', args: [quoteArgument('--app=dir\\ x\\')], url: `${APPS}dir\\ x\\` },
    { name: 'a name that tries to add a switch', args: [quoteArgument('--app=x" --remote-debugging-port=9222 "y')],
      url: `${APPS}x" --remote-debugging-port=9222 "y` },
    { name: 'a name with backslashes before a quote', args: [quoteArgument('--app=a\\\\"b c')], url: `${APPS}a\\\\"b c` },
    { name: 'a name that is not ASCII', args: ['--app=grüße-日本'], url: `${APPS}grüße-日本` },
    { name: 'a percent-encoded name stays encoded', args: ['--app=a%20b%2Fc'], url: `${APPS}a%20b%2Fc` },
  ];
  await eachRow(t, cases, async (c) => {
    const { cmd } = await launchOne({ args: c.args, element0: c.element0 });
    assert.deepEqual(parseCommandLine(cmd),
      [onC(BROWSERS.edgeX86), `--app=${c.url}`, `--user-data-dir=${localProfile()}`, ...BROWSER_ARGS_TAIL], cmd);
  });
});

test('the default handler gets the page through cmd, and cmd runs nothing else', { skip: SKIP }, async (t) => {
  // Would leave a second record if cmd ran it.
  const injected = `"${windowsPath(programs.recorder)}"`;
  const escaped = injected.replaceAll('"', '%22');
  // `url`: what reaches the handler; only blanks, control characters, '"'
  // and '!' are percent-encoded on the way, and a '%' that starts no %XX
  // escape becomes %25.
  const cases = [
    { name: 'the root', args: [], url: ROOT },
    { name: 'the cockpit', args: ['--synergy-cockpit'], url: COCKPIT },
    { name: 'unreserved characters, "/", "?" and "="', app: 'AZaz09-._~/x?y=z/', url: `${APPS}AZaz09-._~/x?y=z/` },
    { name: 'an ampersand that starts a command', app: `&${injected} injected`, url: `${APPS}&${escaped}%20injected` },
    { name: 'a quote that ends the quoting first', app: `" & ${injected} injected & "`, url: `${APPS}%22%20&%20${escaped}%20injected%20&%20%22` },
    { name: 'a pipe', app: `x|${injected} injected`, url: `${APPS}x|${escaped}%20injected` },
    { name: 'a caret before a quote', app: `^" & ${injected} injected`, url: `${APPS}^%22%20&%20${escaped}%20injected` },
    { name: 'a backslash before a quote', app: `\\" & ${injected} injected`, url: `${APPS}\\%22%20&%20${escaped}%20injected` },
    { name: 'a line break', app: `a\n${injected} injected`, url: `${APPS}a%0A${escaped}%20injected` },
    { name: 'a carriage return and a line break', app: `a\r\n${injected} injected`, url: `${APPS}a%0D%0A${escaped}%20injected` },
    { name: 'redirections and grouping', app: 'a<b>c(d)e,f;g=h', url: `${APPS}a<b>c(d)e,f;g=h` },
    { name: 'carets and pipes', app: 'x^y|z&w', url: `${APPS}x^y|z&w` },
    { name: 'a variable of cmd stays unexpanded', app: '%CD%', url: `${APPS}%CD%25` },
    { name: 'an environment variable stays unexpanded', app: 'x%PATH%y', url: `${APPS}x%25PATH%25y` },
    { name: 'a name that is one environment variable', app: '%windir%', url: `${APPS}%25windir%25` },
    { name: 'variables side by side stay unexpanded', app: '%CD%%PATH%x%ComSpec%', url: `${APPS}%CD%25%25PATH%25x%25ComSpec%25` },
    { name: 'a lone percent and percent-encoding', app: '50%-off%2F%', url: `${APPS}50%25-off%2F%25` },
    { name: 'delayed expansion marks', app: '!CD!x!', url: `${APPS}%21CD%21x%21` },
    { name: 'a space and a tab', app: 'a b\tc', url: `${APPS}a%20b%09c` },
    { name: 'control characters', app: 'a\u0001b\u001fc\u007fd', url: `${APPS}a%01b%1Fc%7Fd` },
    { name: 'everything at once', app: 'a&b|c^d<e>f(g)h,i;j=k%CD%PATH%2Fz', url: `${APPS}a&b|c^d<e>f(g)h,i;j=k%CD%25PATH%2Fz` },
    // An ANSI handler would map the fullwidth quote and percent onto '"' and '%'.
    { name: 'look-alikes of a quote and a percent go as UTF-8 escapes',
      app: `\uFF02 & ${injected} \uFF05PATH\uFF05 caf\u00e9`, decodes: true,
      url: `${APPS}%EF%BC%82%20&%20${escaped}%20%EF%BC%85PATH%EF%BC%85%20caf%C3%A9` },
  ];
  await eachRow(t, cases, async (c) => {
    const args = c.app === undefined ? c.args : [quoteArgument(`--app=${c.app}`)];
    const started = await launchOne({ args, settleMs: 1000 });
    assert.equal(started.exe, onC(HANDLER));
    assert.equal(started.cmd, `"${onC(HANDLER)}" "${c.url}"`);
    if (c.decodes) assert.equal(decodeURIComponent(c.url.slice(APPS.length)), c.app);
  });
});

test('the fallback runs the system\'s cmd, never one beside the host or on PATH', { skip: SKIP }, async () => {
  const beside = box.hostCopy();
  const onPath = box.temp('cmd-on-path');
  for (const dir of [beside.dir, onPath]) fs.copyFileSync(programs.recorder, path.join(dir, 'cmd.exe'));
  const { records } = await fixture.launch({
    exe: beside.exe, cwd: windowsPath(onPath), set: { PATH: `${windowsPath(onPath)};C:\\windows\\system32` }, settleMs: 1000,
  });
  assert.deepEqual(records.map((r) => r.cmd), [`"${onC(HANDLER)}" "${ROOT}"`], 'only the handler, through the real cmd');
});
