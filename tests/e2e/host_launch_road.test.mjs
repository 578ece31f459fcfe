// The launch road once for real: the desktop host under Wine starts the
// gateway with real Node.js, finds it listening, and opens the page in a
// browser that renders it in real headless Chromium.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import { pngStats } from '../lib/chromium.mjs';
import { quoteArgument } from '../lib/command_line.mjs';
import { APPS, BROWSER_ARGS_TAIL, COCKPIT } from '../lib/expected.mjs';
import { listeningPids, waitPortFree } from '../lib/gateway_port.mjs';
import { eachRow } from '../lib/rows.mjs';
import { SYSTEM_PATH, hostFixture } from '../lib/sandbox.mjs';
import { needs } from '../lib/road.mjs';
import { waitUntil } from '../lib/wait.mjs';
import { processArguments } from '../lib/windows_programs.mjs';
import { runHost, sourceDir, windowsPath } from '../lib/wine.mjs';

const SKIP = needs('linux-node', 'linux-processes');
const gatewayScript = () => path.join(sourceDir(), 'zur-unified-gateway-server.mjs');
const renderScript = () => path.join(sourceDir(), 'tests', 'helpers', 'render_page.mjs');
const gatewayPids = () => listeningPids().filter((pid) => processArguments(pid).includes(gatewayScript()));

// node.exe beside the host and the Edge install both start Linux programs.
const fixture = hostFixture({
  tag: 'host-road', skip: SKIP, node: 'shim', edge: true,
  // The gateway outlives the host: stop it, and only it.
  async teardown() {
    for (const pid of gatewayPids()) process.kill(pid, 'SIGTERM');
    await waitPortFree(10000);
  },
});

const waitForRender = (dir, timeoutMs = 90000) => waitUntil(() => {
  if (fs.existsSync(path.join(dir, 'error'))) assert.fail(fs.readFileSync(path.join(dir, 'error'), 'utf8'));
  return fs.existsSync(path.join(dir, 'done'));
}, { timeoutMs, everyMs: 200, what: 'no page rendered' });

test('the host starts the gateway and the page is shown', { skip: SKIP }, async (t) => {
  // In this order: the first run starts the gateway and waits for it, the second finds it still running.
  const cases = [
    { name: 'an app page, gateway started', args: ['--app=palisade-road'], url: `${APPS}palisade-road`, shows: '<h1>palisade-road</h1>', maxMs: 3600 },
    { name: 'the cockpit, gateway already running', args: ['--synergy-cockpit'], url: COCKPIT, shows: '<h1>Synergy Cockpit</h1>', maxMs: 1000 },
  ];
  await eachRow(t, cases, async (c) => {
    const render = fixture.box.temp('host-road-render');
    const run = await runHost({
      exe: fixture.host.exe, args: c.args,
      set: {
        ZUR_SHIM_NODE: process.execPath,
        ZUR_SHIM_MSEDGE: `${quoteArgument(process.execPath)} ${quoteArgument(renderScript())}`,
        ZUR_GATEWAY_SCRIPT: windowsPath(gatewayScript()),
        ZUR_TEST_RENDER_DIR: render,
        LOCALAPPDATA: windowsPath(fixture.local),
        PATH: SYSTEM_PATH,
      },
    });
    assert.equal(run.status, 0, run.stderr.toString());
    t.diagnostic(`${c.name}: the host took ${run.elapsedMs} ms`);
    assert.ok(run.elapsedMs < c.maxMs, `the host took ${run.elapsedMs} ms`);
    assert.equal(gatewayPids().length, 1, 'one gateway, still running after the host ended');

    await waitForRender(render);
    assert.deepEqual(JSON.parse(fs.readFileSync(path.join(render, 'args.json'), 'utf8')), [
      `--app=${c.url}`,
      `--user-data-dir=${windowsPath(fixture.local)}\\OLVENTA\\ZUR-Vedozaruz\\webview-profile`,
      ...BROWSER_ARGS_TAIL,
    ]);
    const dom = fs.readFileSync(path.join(render, 'dom.html'), 'utf8');
    assert.ok(dom.includes(c.shows), `the gateway served the page:\n${dom.slice(0, 2000)}`);
    const stats = await pngStats(path.join(render, 'page.png'));
    assert.deepEqual([stats.width, stats.height], [1480, 920]);
    assert.equal(stats.blank, false, 'the screenshot shows something');
  });
});
