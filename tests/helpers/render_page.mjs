// Test helper (Linux): plays the browser of the launch-road test. The shim
// at a browser path starts it with the desktop host's browser arguments; it
// renders the --app= page in headless Chromium and leaves in the folder
// named by ZUR_TEST_RENDER_DIR: args.json (the arguments it got), dom.html,
// page.png, and then "done", or "error" with the reason.
import fs from 'node:fs';
import path from 'node:path';

import { dumpDom, screenshot } from '../lib/chromium.mjs';

const out = process.env.ZUR_TEST_RENDER_DIR;
const args = process.argv.slice(2);
fs.writeFileSync(path.join(out, 'args.json'), JSON.stringify(args));
try {
  const app = args.find((a) => a.startsWith('--app='));
  if (!app) throw new Error('no --app= argument');
  const url = app.slice('--app='.length);
  const size = /^--window-size=(\d+),(\d+)$/.exec(args.find((a) => a.startsWith('--window-size=')) ?? '');
  const [width, height] = size ? [Number(size[1]), Number(size[2])] : [1024, 768];
  fs.writeFileSync(path.join(out, 'dom.html'), await dumpDom(url));
  await screenshot(url, path.join(out, 'page.png'), { width, height });
  fs.writeFileSync(path.join(out, 'done'), '');
} catch (e) {
  fs.writeFileSync(path.join(out, 'error'), String(e?.stack ?? e));
}
