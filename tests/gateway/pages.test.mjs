// End-to-end checks of the local gateway stand-in on its real address,
// 127.0.0.1:4300, over plain HTTP and in headless Chromium.
// Run: node --test tests/gateway/pages.test.mjs

import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { once } from 'node:events';
import { writeFile } from 'node:fs/promises';
import http from 'node:http';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { buffer } from 'node:stream/consumers';
import { fileURLToPath } from 'node:url';
import zlib from 'node:zlib';
import { decodePng, dumpDom, pngStats, screenshot } from '../lib/chromium.mjs';
import { PORT, ROOT } from '../lib/expected.mjs';
import { requirePortFree } from '../lib/gateway_port.mjs';
import { waitUntil } from '../lib/wait.mjs';
import { withTemp } from '../lib/wine.mjs';

const SCRIPT = fileURLToPath(new URL('../../zur-unified-gateway-server.mjs', import.meta.url));
const { hostname: HOST, origin: BASE } = new URL(ROOT);

function accepts() {
  return new Promise((resolve) => {
    const socket = net.connect(PORT, HOST);
    socket.once('connect', () => { socket.destroy(); resolve(true); });
    socket.once('error', () => resolve(false));
  });
}

// Starts the gateway from a foreign working folder and collects its output.
function startGateway() {
  const child = spawn(process.execPath, [SCRIPT], { cwd: os.tmpdir(), stdio: ['ignore', 'pipe', 'pipe'] });
  Object.assign(child, { out: '', err: '' });
  child.stdout.setEncoding('utf8').on('data', (s) => { child.out += s; });
  child.stderr.setEncoding('utf8').on('data', (s) => { child.err += s; });
  child.exited = once(child, 'exit').then(([code, signal]) => ({ code, signal }));
  return child;
}

const running = (child) => child.exitCode === null && child.signalCode === null;

// Resolves with { code, signal }, or null when the child is still running after `ms`.
async function waitForExit(child, ms) {
  return (await waitUntil(() => !running(child), { timeoutMs: ms })) ? child.exited : null;
}

async function stop(child) {
  if (!running(child)) return;
  child.kill('SIGTERM');
  if ((await waitForExit(child, 5000)) === null) child.kill('SIGKILL');
}

// Sends the request target exactly as given (no client-side normalisation).
async function request(method, target) {
  const req = http.request({ host: HOST, port: PORT, method, path: target, agent: false }).end();
  const [res] = await once(req, 'response');
  return { status: res.statusCode, headers: res.headers, body: await buffer(res) };
}

describe('gateway stand-in on 127.0.0.1:4300', () => {
  const children = [];
  let gateway;

  before(async () => {
    await requirePortFree();
    gateway = startGateway();
    children.push(gateway);
    await waitUntil(() => {
      if (!running(gateway)) throw new Error(`gateway exited early:\n${gateway.err}`);
      return accepts();
    }, { timeoutMs: 15_000, everyMs: 100, what: () => `gateway did not listen:\n${gateway.err}\n` });
  });

  after(() => Promise.all(children.map(stop)));

  test('answers each address with the right status and escaped HTML', async (t) => {
    const cases = [
      { target: '/', status: 200, has: ['<h1>ZUR WORKSPACE PALISADE-34</h1>', 'href="/synergy-cockpit"', 'href="/apps/alpha"'] },
      { target: '/synergy-cockpit', status: 200, has: ['<h1>Synergy Cockpit</h1>'] },
      { target: '/synergy-cockpit?tab=1', status: 200, has: ['<h1>Synergy Cockpit</h1>'] },
      { target: '/apps/alpha', status: 200, has: ['<h1>alpha</h1>'] },
      { target: '/apps/', status: 200, has: ['<h1>No app named</h1>'] },
      { target: '/apps/my%20app%20%26%20%3Cscript%3Ealert(1)%3C%2Fscript%3E', status: 200,
        has: ['<h1>my app &amp; &lt;script&gt;alert(1)&lt;/script&gt;</h1>'], lacks: ['<script'] },
      { target: `/apps/<script>x&"'`, status: 200, has: ['<h1>&lt;script&gt;x&amp;&quot;&#39;</h1>'], lacks: ['<script'] },
      { target: '/apps/%E0%A4%A', status: 200, has: ['<h1>%E0%A4%A</h1>'] },
      { target: '/apps/50%25%20off', status: 200, has: ['<h1>50% off</h1>'] },
      { target: '/apps/team/reports', status: 200, has: ['<h1>team/reports</h1>'] },
      { target: '/apps/%C3%A9t%C3%A9', status: 200, has: ['<h1>été</h1>'] },
      { target: '/apps/report?year=2024&kind=<b>', status: 200,
        has: ['<h1>report</h1>', 'year=2024&amp;kind=&lt;b&gt;'], lacks: ['<b>'] },
      { target: '/nope', status: 404, has: ['<h1>Not found</h1>'] },
      { target: '/apps', status: 404, has: ['<h1>Not found</h1>'] },
      { target: '/nope/<i>', status: 404, has: ['&lt;i&gt;'], lacks: ['<i>'] },
      { method: 'HEAD', target: '/', status: 200, empty: true },
      { method: 'POST', target: '/', status: 405, allow: 'GET, HEAD' },
      { method: 'DELETE', target: '/apps/alpha', status: 405, allow: 'GET, HEAD' },
    ];
    for (const c of cases) {
      const method = c.method ?? 'GET';
      await t.test(`${method} ${c.target}`, async () => {
        const res = await request(method, c.target);
        const body = res.body.toString('utf8');
        assert.equal(res.status, c.status);
        assert.equal(res.headers['content-type'], 'text/html; charset=utf-8');
        assert.equal(res.headers['x-content-type-options'], 'nosniff');
        assert.match(res.headers['content-security-policy'], /script-src 'none'/);
        if (c.allow) assert.equal(res.headers.allow, c.allow);
        if (c.empty) {
          assert.equal(body, '');
        } else {
          assert.equal(Number(res.headers['content-length']), res.body.length);
          assert.match(body, /^<!DOCTYPE html>/);
        }
        for (const s of c.has ?? []) assert.ok(body.includes(s), `body lacks ${JSON.stringify(s)}`);
        for (const s of c.lacks ?? []) assert.ok(!body.includes(s), `body holds raw ${JSON.stringify(s)}`);
      });
    }
  });

  test('renders visible pages in headless Chromium', { timeout: 600_000 }, async (t) => {
    const shots = withTemp(t, 'gateway-shots');
    const cases = [
      { target: '/', heading: 'ZUR WORKSPACE PALISADE-34', shot: true },
      { target: '/synergy-cockpit', heading: 'Synergy Cockpit', shot: true },
      { target: '/apps/alpha', heading: 'alpha', shot: true },
      { target: '/no-such-page', heading: 'Not found', shot: true },
      // An app name given verbatim, as the desktop host does; the browser encodes it.
      { target: '/apps/my app & <b>', heading: 'my app &amp; &lt;b&gt;', shot: false },
    ];
    for (const [i, c] of cases.entries()) {
      await t.test(c.target, async () => {
        const dom = await dumpDom(BASE + c.target);
        assert.ok(dom.includes(`<h1>${c.heading}</h1>`), `DOM lacks the heading ${c.heading}:\n${dom.slice(0, 2000)}`);
        if (!c.shot) return;
        const png = path.join(shots, `page-${i}.png`);
        await screenshot(BASE + c.target, png, { width: 800, height: 600 });
        const stats = await pngStats(png);
        assert.equal(stats.width, 800);
        assert.equal(stats.height, 600);
        assert.equal(stats.blank, false, 'screenshot is a single colour');
      });
    }
  });

  test('a second instance reports the taken port and exits non-zero', async () => {
    const second = startGateway();
    children.push(second);
    const result = await waitForExit(second, 15_000);
    assert.ok(result, 'second instance is still running');
    assert.equal(result.code, 1);
    assert.match(second.err, /^zur-gateway: 127\.0\.0\.1:4300 is already in use\b.*\n$/);
    assert.equal((await request('GET', '/')).status, 200, 'first instance stopped answering');
  });

  test('logs one line per request and stops cleanly on SIGTERM', async () => {
    const lines = gateway.out.split('\n');
    for (const line of ['GET /apps/alpha 200', 'GET /apps/%E0%A4%A 200', 'POST / 405', 'HEAD / 200', 'GET /nope 404']) {
      assert.ok(lines.includes(line), `log lacks ${JSON.stringify(line)}`);
    }
    gateway.kill('SIGTERM');
    assert.deepEqual(await waitForExit(gateway, 5000), { code: 0, signal: null });
    assert.equal(await accepts(), false, 'port still accepts connections');
  });
});

// A tiny PNG writer for fixtures: rows use the filter types 0-4 in turn, so the
// decoder's unfiltering is checked against known pixels. CRCs are not checked by the decoder.
function encodePng(width, height, channels, pixels) {
  const stride = width * channels;
  const raw = Buffer.alloc(height * (stride + 1));
  const at = (x, y) => (x < 0 || y < 0 ? 0 : pixels[y * stride + x]);
  for (let y = 0; y < height; y++) {
    const filter = y % 5;
    raw[y * (stride + 1)] = filter;
    for (let i = 0; i < stride; i++) {
      const [v, a, b, c] = [at(i, y), at(i - channels, y), at(i, y - 1), at(i - channels, y - 1)];
      const p = a + b - c;
      const [pa, pb, pc] = [Math.abs(p - a), Math.abs(p - b), Math.abs(p - c)];
      const predictor = [0, a, b, (a + b) >> 1, pa <= pb && pa <= pc ? a : pb <= pc ? b : c][filter];
      raw[y * (stride + 1) + 1 + i] = (v - predictor) & 0xff;
    }
  }
  const u32 = (n) => Buffer.from([n >>> 24, (n >>> 16) & 0xff, (n >>> 8) & 0xff, n & 0xff]);
  const chunk = (type, data) => Buffer.concat([u32(data.length), Buffer.from(type, 'latin1'), data, Buffer.alloc(4)]);
  // Depth 8, RGB or RGBA, then compression, filter method and interlace 0.
  const ihdr = Buffer.concat([u32(width), u32(height), Buffer.from([8, channels === 4 ? 6 : 2, 0, 0, 0])]);
  return Buffer.concat([
    Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
    chunk('IHDR', ihdr), chunk('IDAT', zlib.deflateSync(raw)), chunk('IEND', Buffer.alloc(0)),
  ]);
}

describe('PNG statistics for screenshot checks', () => {
  // 7 x 6 pixels in three colours, with sample values that make the predictors overflow.
  const palette = [[250, 3, 128, 255], [5, 240, 17, 200], [128, 128, 255, 0]];
  const pattern = (channels) => {
    const px = [];
    for (let y = 0; y < 6; y++) for (let x = 0; x < 7; x++) px.push(...palette[(x * y + x) % 3].slice(0, channels));
    return Buffer.from(px);
  };
  const cases = [
    { name: 'RGBA, three colours', channels: 4, pixels: pattern(4), colours: 3, blank: false },
    { name: 'RGB, three colours', channels: 3, pixels: pattern(3), colours: 3, blank: false },
    { name: 'RGB, one colour', channels: 3, pixels: Buffer.alloc(7 * 6 * 3, 17), colours: 1, blank: true },
    // Same RGB, different alpha: two colours.
    { name: 'RGBA, alpha differs', channels: 4, pixels: Buffer.from(Array.from({ length: 42 }, (_, i) => [9, 9, 9, i < 21 ? 255 : 0]).flat()), colours: 2, blank: false },
  ];
  for (const c of cases) {
    test(c.name, async (t) => {
      const file = encodePng(7, 6, c.channels, c.pixels);
      assert.deepEqual(decodePng(file).pixels, c.pixels);
      const png = path.join(withTemp(t, 'png'), 'f.png');
      await writeFile(png, file);
      assert.deepEqual(await pngStats(png), { width: 7, height: 6, colours: c.colours, blank: c.blank });
    });
  }

  test('refuses what it cannot decode', () => {
    const palette8 = encodePng(2, 2, 3, Buffer.alloc(12));
    palette8[8 + 8 + 9] = 3; // IHDR colour type: indexed
    assert.throws(() => decodePng(palette8), /colour type 3/);
    assert.throws(() => decodePng(Buffer.from('GIF89a....')), /not a PNG/);
  });
});
