// The desktop host's gateway phase: which script node gets, which node.exe
// is started and how, and how long the host waits for the gateway.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import { parseCommandLine } from '../lib/command_line.mjs';
import { BROWSERS, DEFAULT_SCRIPT, FORMER_DEFAULT_SCRIPT } from '../lib/expected.mjs';
import { listener, waitLateGateway, waitPortFree } from '../lib/gateway_port.mjs';
import { eachRow } from '../lib/rows.mjs';
import { HANDLER, SYSTEM_PATH, hostFixture, shimExe } from '../lib/sandbox.mjs';
import { needs } from '../lib/road.mjs';
import { driveC, onC, programs, windowsPath } from '../lib/wine.mjs';

// Every launch ends with a browser or a default-handler start, which fakes record.
const SKIP = needs('url-handler');
const fixture = hostFixture({
  tag: 'host-gateway', skip: SKIP, node: 'recorder', edge: true, handler: true,
  setup({ scratch, environment }) {
    for (const file of ['gateway.mjs', 'my gateway/gateway server.mjs', 'gatewäy.mjs', 'work/rel/gateway.mjs',
      'beside/rel/gateway.mjs']) {
      fs.mkdirSync(path.dirname(path.join(scratch, file)), { recursive: true });
      fs.writeFileSync(path.join(scratch, file), '');
    }
    fs.mkdirSync(path.join(scratch, 'scripts'));
    // A fake node answers on the gateway port at once, for a moment.
    Object.assign(environment, { PATH: SYSTEM_PATH, ZUR_TEST_LISTEN_AFTER_MS: '0', ZUR_TEST_LISTEN_FOR_MS: '600' });
  },
});
const { box } = fixture;

const win = (relative) => windowsPath(path.join(fixture.scratch, relative));
const isNode = (r) => /\\node\.exe$/i.test(r.exe);
const isBrowser = (r) => r.exe === onC(BROWSERS.edgeX86);

async function launchOnce({ listening, expectRecords, ...options }) {
  if (!listening) await waitPortFree();
  const { run, records } = await fixture.launch({ ...options, expect: expectRecords });
  return { run, records, nodes: records.filter(isNode), browsers: records.filter(isBrowser) };
}

test('the gateway script that node is started with', { skip: SKIP }, async (t) => {
  const DEFAULT = onC(DEFAULT_SCRIPT);
  const [file, spaced, nonAscii, folder] =
    ['gateway.mjs', 'my gateway/gateway server.mjs', 'gatewäy.mjs', 'scripts'].map((name) => win(name));
  // A host copy whose folder holds rel\gateway.mjs, which the scratch folder does not.
  const besideHost = path.join(fixture.scratch, 'beside', path.basename(fixture.host.exe));
  fs.copyFileSync(fixture.host.exe, besideHost);
  fs.copyFileSync(programs.recorder, path.join(fixture.scratch, 'beside', 'node.exe'));
  // `line`: the exact command line node gets; `arg`: its one argument.
  const cases = [
    { name: 'an existing file', value: file, line: `node ${file}`, arg: file },
    { name: 'a path with spaces', value: spaced, line: `node "${spaced}"`, arg: spaced },
    { name: 'a path that is not ASCII', value: nonAscii, line: `node ${nonAscii}`, arg: nonAscii },
    { name: 'a directory', value: folder, line: `node ${folder}`, arg: folder },
    { name: 'a directory with a final backslash', value: `${folder}\\`, line: `node ${folder}\\`, arg: `${folder}\\` },
    { name: 'a relative path, against the working folder',
      value: 'rel\\gateway.mjs', cwd: 'work', line: 'node rel\\gateway.mjs', arg: 'rel\\gateway.mjs' },
    { name: 'a relative path that exists only beside the host', value: 'rel\\gateway.mjs', cwd: '.', exe: besideHost },
    { name: 'a path that does not exist, default present', value: win('missing.mjs'), withDefault: true },
    { name: 'an empty value, default present', value: '', withDefault: true },
    { name: 'not valid Unicode, default present',
      value: `${file}\uD800`, withDefault: true, line: `node "${DEFAULT}"`, arg: DEFAULT },
    { name: 'not valid Unicode, no default', value: `${file}\uDC00` },
    { name: 'not set, default present', value: null, withDefault: true, line: `node "${DEFAULT}"`, arg: DEFAULT },
    { name: 'not set, no default', value: null },
    { name: 'not set, a script planted where the default once was', value: null, planted: FORMER_DEFAULT_SCRIPT },
  ];
  await eachRow(t, cases, async (c, st) => {
    const placed = c.withDefault ? DEFAULT_SCRIPT : c.planted;
    if (placed) st.after(box.placeOnC(placed, path.join(fixture.scratch, 'gateway.mjs')));
    const cwd = c.cwd && win(c.cwd);
    const { run, nodes, browsers } = await launchOnce({
      exe: c.exe, cwd, expectRecords: c.line ? 2 : 1,
      set: c.value === null ? {} : { ZUR_GATEWAY_SCRIPT: c.value },
      unset: c.value === null ? ['ZUR_GATEWAY_SCRIPT'] : [],
    });
    assert.equal(nodes.length, c.line ? 1 : 0, `the nodes started: ${JSON.stringify(nodes)}`);
    if (c.line) {
      const [node] = nodes;
      assert.equal(node.cmd, c.line);
      assert.deepEqual(parseCommandLine(node.cmd), ['node', c.arg], 'exactly one argument');
      if (cwd) assert.equal(node.cwd, cwd, 'the gateway runs in the host\'s working folder');
      // Found at the first probe after the start.
      assert.ok(run.elapsedMs < 3000, `took ${run.elapsedMs} ms`);
    } else {
      // One more probe and no waiting.
      assert.ok(run.elapsedMs < 1500, `took ${run.elapsedMs} ms`);
    }
    assert.equal(browsers.length, 1, 'the launch goes on to the browser');
  });
});

test('which node.exe is started, and how', { skip: SKIP }, async (t) => {
  const bare = box.hostCopy();
  const besideFolder = box.hostCopy();
  fs.mkdirSync(path.join(besideFolder.dir, 'node.exe'));
  const [pathDir, cwdDir] = ['path-node', 'cwd-node'].map((name) => path.join(fixture.scratch, name));
  for (const dir of [pathDir, cwdDir]) {
    fs.mkdirSync(dir);
    fs.copyFileSync(programs.recorder, path.join(dir, 'node.exe'));
  }
  const [beside, onPath] = [fixture.host.dir, pathDir].map((dir) => windowsPath(path.join(dir, 'node.exe')));
  const system32 = 'windows\\system32\\node.exe';
  const script = win('gateway.mjs');
  const cases = [
    { name: 'beside the host and on PATH: beside', exe: fixture.host.exe, path: true, expect: beside },
    { name: 'only on PATH', exe: bare.exe, path: true, expect: onPath },
    { name: 'in the system folder and on PATH: system folder', exe: bare.exe, path: true, system: true, expect: onC(system32) },
    { name: 'a folder named node.exe beside the host is no program', exe: besideFolder.exe, path: true, expect: onPath },
    { name: 'only in the working folder: not searched', exe: bare.exe, cwd: true, expect: null },
    // Each entry names the working folder, which holds a node.exe.
    { name: 'relative PATH entries are skipped', exe: bare.exe, cwd: true,
      pathEntries: ['.', '..\\cwd-node', 'Z:.', '"."'], expect: null },
  ];
  await eachRow(t, cases, async (c, st) => {
    if (c.system) st.after(box.placeOnC(system32, programs.recorder));
    const PATH = [SYSTEM_PATH, ...(c.path ? [windowsPath(pathDir)] : []), ...(c.pathEntries ?? [])].join(';');
    const { run, nodes } = await launchOnce({ exe: c.exe, cwd: c.cwd ? windowsPath(cwdDir) : undefined,
      set: { ZUR_GATEWAY_SCRIPT: script, PATH }, expectRecords: c.expect ? 2 : 1 });
    assert.equal(nodes.length, c.expect ? 1 : 0, JSON.stringify(nodes));
    if (!c.expect) return;
    const [node] = nodes;
    assert.equal(node.exe, c.expect);
    assert.equal(node.cmd, `node ${script}`);
    assert.deepEqual(parseCommandLine(node.cmd), ['node', script]);
    // Started with CREATE_NO_WINDOW: a console of its own, but no window.
    assert.equal(node.consoleWindow, false);
    assert.notEqual(node.consoleCP, 0, 'node is started without a console window');
    assert.equal(node.stdout, true, 'standard handles are inherited');
    assert.equal(node.env.ZUR_GATEWAY_SCRIPT, script, 'the environment is inherited');
    assert.ok(run.elapsedMs < 3000, `took ${run.elapsedMs} ms`);
  });
});

// The order and number of probes and pauses are counted exactly by the native GatewayPhase test; these cases
// show the real sleeps and probes add up end to end (20 pauses of 180 ms take at least 3600 ms).
test('how long the host waits for the gateway', { skip: SKIP }, async (t) => {
  const bare = box.hostCopy();
  const script = win('gateway.mjs');
  const cases = [
    { name: 'already answering: nothing is started', listen: true, exe: fixture.host.exe, min: 0, max: 1000, node: false },
    { name: 'no node anywhere: the full wait, then the browser all the same', exe: bare.exe, min: 3600, max: 9100, node: false },
    // Found during the wait: well before its pauses alone (3600 ms) are over. Which probe finds it is counted
    // by the native test; a bound any closer to the next probe (about 1.3 s) fails when node's start is slow.
    { name: 'a gateway that answers after a second is found during the wait',
      exe: fixture.host.exe, set: { ZUR_TEST_LISTEN_AFTER_MS: '1000' }, min: 1000, max: 3000, node: true },
    { name: 'a gateway that answers after six seconds is not waited for',
      exe: fixture.host.exe, set: { ZUR_TEST_LISTEN_AFTER_MS: '6000', ZUR_TEST_LISTEN_FOR_MS: '300' },
      min: 3600, max: 5900, node: true, late: true },
  ];
  await eachRow(t, cases, async (c, st) => {
    await waitPortFree(10000);
    const server = c.listen ? await listener() : null;
    st.after(async () => {
      await server?.close();
      if (c.late) await waitLateGateway();
    });
    const { run, nodes, browsers } = await launchOnce({ exe: c.exe, set: { ZUR_GATEWAY_SCRIPT: script, ...c.set },
      expectRecords: c.node ? 2 : 1, listening: c.listen });
    t.diagnostic(`${c.name}: ${run.elapsedMs} ms`);
    assert.ok(run.elapsedMs >= c.min && run.elapsedMs <= c.max, `took ${run.elapsedMs} ms, not ${c.min}..${c.max}`);
    assert.equal(nodes.length, c.node ? 1 : 0, JSON.stringify(nodes));
    assert.equal(browsers.length, 1, 'the browser is started after the gateway phase');
  });
  await waitPortFree(10000);
});

test('without a browser, the gateway\'s answer decides the default-handler start', { skip: SKIP }, async (t) => {
  // The browser stand-in goes away for these cases only.
  fs.rmSync(driveC(BROWSERS.edgeX86));
  t.after(() => fs.copyFileSync(shimExe(), driveC(BROWSERS.edgeX86)));
  const cases = [
    { name: 'gateway found during the wait: handed to the default handler', listenAfter: '0', handler: 1 },
    { name: 'gateway later than the wait: nothing opened', listenAfter: '6000', handler: 0, late: true },
  ];
  await eachRow(t, cases, async (c) => {
    const { nodes, records, run } = await launchOnce({
      set: { ZUR_GATEWAY_SCRIPT: win('gateway.mjs'), ZUR_TEST_LISTEN_AFTER_MS: c.listenAfter, ZUR_TEST_LISTEN_FOR_MS: '300' },
      expectRecords: 1 + c.handler,
      // A wrong default-handler start takes a while to show.
      settleMs: c.handler ? 800 : 3000,
    });
    assert.equal(nodes.length, 1, `${run.elapsedMs} ms: ${JSON.stringify(records)}`);
    assert.equal(records.filter((r) => r.exe === onC(HANDLER)).length, c.handler, JSON.stringify(records));
    if (c.late) await waitLateGateway();
    await waitPortFree(10000);
  });
});
