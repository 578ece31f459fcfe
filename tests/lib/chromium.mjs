// Helpers for end-to-end tests: drive Debian's headless Chromium through its
// command line, and inspect the PNG screenshots it writes.

import { spawn } from 'node:child_process';
import { mkdtemp, readFile, rm, stat } from 'node:fs/promises';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';

export const CHROMIUM = process.env.CHROMIUM_BIN || '/usr/bin/chromium';
const DEFAULT_TIMEOUT_MS = 60_000;

const BASE_FLAGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--no-default-browser-check',
  '--disable-background-networking', '--disable-component-update', '--disable-sync', '--disable-extensions',
  '--disable-dev-shm-usage', '--mute-audio',
];

// Runs Chromium once with a fresh, empty profile folder that is removed afterwards.
// Resolves with { code, signal, stdout, stderr }; rejects when it outlives the timeout.
async function runChromium(extraArgs, timeoutMs = DEFAULT_TIMEOUT_MS) {
  const profile = await mkdtemp(path.join(os.tmpdir(), 'zur-chromium-'));
  const args = [...BASE_FLAGS, `--user-data-dir=${profile}`, ...extraArgs];
  try {
    return await new Promise((resolve, reject) => {
      // A process group of its own, so a timeout takes down the helper processes too.
      const child = spawn(CHROMIUM, args, { stdio: ['ignore', 'pipe', 'pipe'], detached: true });
      const out = [];
      const err = [];
      child.stdout.on('data', (b) => out.push(b));
      child.stderr.on('data', (b) => err.push(b));
      const timer = setTimeout(() => {
        try { process.kill(-child.pid, 'SIGKILL'); } catch { /* already gone */ }
        reject(new Error(`chromium timed out after ${timeoutMs} ms: ${args.join(' ')}`));
      }, timeoutMs);
      child.on('error', (e) => { clearTimeout(timer); reject(e); });
      child.on('close', (code, signal) => {
        clearTimeout(timer);
        resolve({ code, signal, stdout: Buffer.concat(out).toString('utf8'), stderr: Buffer.concat(err).toString('utf8') });
      });
    });
  } finally {
    await rm(profile, { recursive: true, force: true, maxRetries: 3 });
  }
}

const failure = (what, url, r) =>
  new Error(`chromium ${what} of ${url} failed (code ${r.code}, signal ${r.signal}):\n${r.stderr.slice(-2000)}`);

// The DOM of the loaded page, serialized as HTML.
export async function dumpDom(url, { timeoutMs } = {}) {
  const r = await runChromium(['--dump-dom', url], timeoutMs);
  if (r.code !== 0 || r.stdout.trim() === '') throw failure('--dump-dom', url, r);
  return r.stdout;
}

// Writes a PNG screenshot of the page, `width` x `height` CSS pixels.
export async function screenshot(url, pngPath, { width = 1024, height = 768, timeoutMs } = {}) {
  await rm(pngPath, { force: true });
  const r = await runChromium(
    ['--hide-scrollbars', `--window-size=${width},${height}`, `--screenshot=${path.resolve(pngPath)}`, url],
    timeoutMs);
  const written = await stat(pngPath).then((s) => s.size > 0, () => false);
  if (r.code !== 0 || !written) throw failure('--screenshot', url, r);
  return pngPath;
}

const PNG_SIGNATURE = Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);

const paeth = (a, b, c) => {
  const p = a + b - c;
  const pa = Math.abs(p - a);
  const pb = Math.abs(p - b);
  const pc = Math.abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
};

// Decodes an 8-bit, non-interlaced RGB (colour type 2) or RGBA (colour type 6) PNG.
// Returns { width, height, channels, pixels } with the unfiltered samples, row by row.
export function decodePng(buf) {
  if (buf.length < 8 || !buf.subarray(0, 8).equals(PNG_SIGNATURE)) throw new Error('not a PNG file');
  let header = null;
  const idat = [];
  for (let pos = 8; pos + 8 <= buf.length;) {
    const len = buf.readUInt32BE(pos);
    const type = buf.toString('latin1', pos + 4, pos + 8);
    if (pos + 12 + len > buf.length) throw new Error(`truncated PNG chunk ${type}`);
    const data = buf.subarray(pos + 8, pos + 8 + len);
    if (type === 'IHDR') {
      header = { width: data.readUInt32BE(0), height: data.readUInt32BE(4) };
      [header.depth, header.colourType, header.interlace] = [data[8], data[9], data[12]];
    } else if (type === 'IDAT') {
      idat.push(data);
    } else if (type === 'IEND') {
      break;
    }
    pos += 12 + len;
  }
  if (!header) throw new Error('PNG without IHDR');
  const { width, height, depth, colourType, interlace } = header;
  if (depth !== 8 || (colourType !== 2 && colourType !== 6) || interlace !== 0) {
    throw new Error(`unsupported PNG: depth ${depth}, colour type ${colourType}, interlace ${interlace}`);
  }
  const channels = colourType === 6 ? 4 : 3;
  const stride = width * channels;
  const raw = zlib.inflateSync(Buffer.concat(idat));
  if (raw.length < height * (stride + 1)) throw new Error('PNG image data too short');
  const pixels = Buffer.alloc(height * stride);
  for (let y = 0; y < height; y++) {
    const filter = raw[y * (stride + 1)];
    const src = y * (stride + 1) + 1;
    const row = y * stride;
    const prev = row - stride;
    for (let i = 0; i < stride; i++) {
      const a = i >= channels ? pixels[row + i - channels] : 0;
      const b = y > 0 ? pixels[prev + i] : 0;
      const c = y > 0 && i >= channels ? pixels[prev + i - channels] : 0;
      if (filter > 4) throw new Error(`bad PNG filter type ${filter} in row ${y}`);
      const predictor = [0, a, b, (a + b) >> 1, paeth(a, b, c)][filter];
      pixels[row + i] = (raw[src + i] + predictor) & 0xff;
    }
  }
  return { width, height, channels, pixels };
}

// Size and colour count of a PNG file; `blank` is true when every pixel has the same colour.
export async function pngStats(pngPath) {
  const { width, height, channels, pixels } = decodePng(await readFile(pngPath));
  const colours = new Set();
  for (let i = 0; i < pixels.length; i += channels) {
    const alpha = channels === 4 ? pixels[i + 3] : 255;
    colours.add(((pixels[i] << 24) | (pixels[i + 1] << 16) | (pixels[i + 2] << 8) | alpha) >>> 0);
  }
  return { width, height, colours: colours.size, blank: colours.size <= 1 };
}
