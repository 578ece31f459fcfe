// The desktop host's report mode (--smoke-test, --version): one probe of
// 127.0.0.1:4300, one line of JSON, and nothing started or written.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';
import { setTimeout as sleep } from 'node:timers/promises';

import { BROWSERS, ROOT, smokeTestReport } from '../lib/expected.mjs';
import { listener, stalledListener, waitPortFree } from '../lib/gateway_port.mjs';
import { readRecords } from '../lib/records.mjs';
import { eachRow } from '../lib/rows.mjs';
import { SYSTEM_PATH, hostFixture } from '../lib/sandbox.mjs';
import { needs } from '../lib/road.mjs';
import { onC, runHost, windowsPath } from '../lib/wine.mjs';

// A browser and a default URL handler that record their start, where this road may plant them.
const FAKES = needs('url-handler');
// Everything a launch would start is in place, so a report run that starts anything leaves a record.
const fixture = hostFixture({
  tag: 'host-report', node: 'recorder', edge: !FAKES, handler: !FAKES,
  setup({ scratch, environment }) {
    const script = path.join(scratch, 'gateway.mjs');
    fs.writeFileSync(script, '');
    Object.assign(environment, { ZUR_GATEWAY_SCRIPT: windowsPath(script), PATH: SYSTEM_PATH });
  },
});

const recordFiles = [];

test('report mode prints one line with the probe result', async (t) => {
  const cases = [
    { name: '--smoke-test, nothing listens', args: ['--smoke-test'], listen: null, reachable: false },
    { name: '--version, nothing listens', args: ['--version'], listen: null, reachable: false },
    { name: 'a listener that accepts and never answers', args: ['--smoke-test'], listen: '127.0.0.1', reachable: true },
    { name: '--version with a listener', args: ['--version'], listen: '127.0.0.1', reachable: true },
    { name: 'a listener on ::1 only', args: ['--smoke-test'], listen: '::1', reachable: false },
    // One probe that gives up after 250 ms, not a hang and not more probes.
    { name: 'a listener that never accepts', args: ['--smoke-test'], listen: 'stalled', reachable: false, minMs: 200,
      needs: ['linux-listener'] },
    { name: 'both report options', args: ['--version', '--smoke-test'], listen: '127.0.0.1', reachable: true },
    { name: 'a page option first', args: ['--app=x', '--smoke-test'], listen: null, reachable: false },
    { name: 'a page option after', args: ['--version', '--synergy-cockpit'], listen: null, reachable: false },
    { name: 'among other arguments', args: ['alpha', '"--smoke test"', '--smoke-test', 'omega'], listen: null, reachable: false },
    { name: 'element 0 is --smoke-test', args: [], element0: '--smoke-test', listen: '127.0.0.1', reachable: true },
    { name: 'element 0 is --version, quoted', args: ['x'], element0: '"--version"', listen: null, reachable: false },
  ];
  for (const c of cases) {
    await t.test(c.name, { skip: needs(...c.needs ?? []) }, async (st) => {
      const record = path.join(fixture.scratch, `record-${recordFiles.length}.jsonl`);
      recordFiles.push({ name: c.name, record });
      const set = { ...fixture.environment, ZUR_TEST_RECORD: windowsPath(record) };
      await waitPortFree();
      const server = c.listen === 'stalled' ? await stalledListener() : c.listen ? await listener(c.listen) : null;
      st.after(() => server?.close());
      const run = await runHost({ exe: fixture.host.exe, args: c.args, element0: c.element0, set });
      assert.equal(run.status, 0, run.stderr.toString());
      assert.equal(run.stdout.toString('latin1'), `${smokeTestReport(c.reachable)}\n`);
      assert.equal(run.stderr.length, 0);
      t.diagnostic(`${c.name}: ${run.elapsedMs} ms`);
      assert.ok(run.elapsedMs >= (c.minMs ?? 0) && run.elapsedMs < 1000, `took ${run.elapsedMs} ms`);
    });
  }
});

test('report mode starts nothing and writes nothing', async () => {
  // Whatever a report run might have started has had time to leave a record.
  await sleep(2500);
  for (const { name, record } of recordFiles) assert.deepEqual(readRecords(record), [], `${name}: something was started`);
  assert.deepEqual(fs.readdirSync(fixture.local), [], 'no profile folder');
});

test('a report option written differently leaves the host in launch mode', { skip: FAKES }, async (t) => {
  const cases = [
    { name: 'upper case', args: ['--SMOKE-TEST'] },
    { name: 'mixed case', args: ['--Version'] },
    { name: 'one dash', args: ['-smoke-test'] },
    { name: 'a value appended', args: ['--version=1'] },
    { name: 'a trailing blank', args: ['"--smoke-test "'] },
    { name: 'a leading blank', args: ['" --version"'] },
  ];
  await waitPortFree();
  const server = await listener();
  t.after(() => server.close());
  await eachRow(t, cases, async (c) => {
    const { records } = await fixture.launch({ args: c.args });
    assert.equal(records.length, 1, JSON.stringify(records));
    assert.equal(records[0].exe, onC(BROWSERS.edgeX86));
    assert.ok(records[0].cmd.includes(` --app=${ROOT} `), records[0].cmd);
  });
});
