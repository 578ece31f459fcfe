// The Scoop manifest that the build writes beside the programs: it names
// the installer as shipped, runs it into the folder Scoop gives the app, and
// updates to the next release.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { readFileSync, rmSync } from 'node:fs';
import path from 'node:path';

import { CONFIGURATION, HOST, ICON, INSTALLER_NAME, LAUNCHER, RECEIPT, VERSION } from '../tests/lib/expected.mjs';
import { withTemp } from '../tests/lib/wine.mjs';

const dist = process.env.ZUR_DIST_DIR;
const INSTALLED = [HOST, ICON, CONFIGURATION, LAUNCHER, RECEIPT];

/**
 * The hash that Scoop's autoupdate takes from a checksum file for the
 * download `url` when the manifest gives no regex: a file of one hash, else
 * the hash on the line of the download's own name (the fragment aside).
 */
function scoopExtractedHash(sums, url) {
  const only = sums.match(/^\s*([a-fA-F0-9]+)\s*$/);
  if (only) return only[1];
  const basename = decodeURIComponent(new URL(url).pathname.split('/').pop()).replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
  const line = sums.match(new RegExp(`([a-fA-F0-9]{32,128})[\\x20\\t]+.*${basename}(?:\\s|$)`));
  return line?.[1];
}

test('the manifest names the shipped installer, runs it with --install-dir $dir, and updates', () => {
  assert.ok(dist, 'ZUR_DIST_DIR names the folder the build wrote');
  const manifest = JSON.parse(readFileSync(path.join(dist, 'zur-vedozaruz.json'), 'utf8'));
  const installer = createHash('sha256').update(readFileSync(path.join(dist, INSTALLER_NAME))).digest('hex');
  const download = manifest.architecture['64bit'];
  assert.equal(manifest.version, VERSION);
  assert.equal(download.hash, installer);
  assert.deepEqual(manifest.installer.args, ['--install-dir', '$dir']);
  // Scoop runs the file the download was saved as.
  assert.ok(download.url.endsWith(`#/${manifest.installer.file}`), download.url);

  // An update to this version gives this release again, and its hash from
  // the release's SHA256SUMS.
  const update = manifest.autoupdate.architecture['64bit'].url.replaceAll('$version', VERSION);
  assert.equal(update, download.url);
  const baseurl = path.posix.dirname(update.split('#')[0]);
  assert.equal(manifest.autoupdate.hash.url.replace('$baseurl', baseurl), `${baseurl}/SHA256SUMS`);
  assert.equal(scoopExtractedHash(readFileSync(path.join(dist, 'SHA256SUMS'), 'utf8'), update), installer);
  assert.ok(!manifest.checkver.url.includes(VERSION) && !manifest.checkver.url.includes('$version'),
    `checkver reads an address that stays the same: ${manifest.checkver.url}`);
  assert.equal(manifest.checkver.jsonpath, '$.version');

  // Typed in a terminal, the command is the host itself: its report shows
  // there and its exit status comes back (the launcher script's `start`
  // would give both to a window of its own).
  assert.equal(manifest.bin[0][0], HOST);
  for (const [target] of [...manifest.bin, ...manifest.shortcuts]) {
    assert.ok(INSTALLED.includes(target), `${target} is a file the installer writes`);
  }
  assert.ok(manifest.shortcuts.every(([, , , icon]) => INSTALLED.includes(icon)), 'the shortcut icon is installed');
});

test('a release address that names the version where $version belongs is refused with one line', (t) => {
  assert.ok(dist, 'ZUR_DIST_DIR names the folder the build wrote');
  const out = path.join(withTemp(t, 'scoop-manifest'), 'manifest.json');
  const env = {
    ...process.env, ZUR_PRODUCT_VERSION: VERSION, ZUR_PRODUCT_NAME: 'ZUR-Vedozaruz', ZUR_VENDOR: 'OLVENTA',
    ZUR_INSTALLER_NAME: INSTALLER_NAME, ZUR_HOST_NAME: HOST, ZUR_ICON_NAME: ICON, ZUR_PROFILE_FOLDER: 'webview-profile',
    ZUR_HOMEPAGE: 'https://h.example/', ZUR_LICENSE: 'MIT', ZUR_LICENSE_URL: 'https://h.example/license',
    ZUR_MANIFEST_URL: 'https://dl.example/zur/latest/zur-vedozaruz.json',
  };
  const cases = [
    { release: 'https://dl.example/zur/v$version/', refused: false },
    { release: 'https://dl.example/zur/', refused: false },
    { release: 'https://dl.example/zur/13.4.0/', refused: false },
    { release: `https://dl.example/zur/v${VERSION}/`, refused: /ZUR_RELEASE_URL names the version/ },
    { release: `https://dl.example/${VERSION}/zur/`, refused: /ZUR_RELEASE_URL names the version/ },
    { release: 'https://dl.example/zur/v$version/', manifest: `https://dl.example/zur/${VERSION}/z.json`,
      refused: /ZUR_MANIFEST_URL must stay the same/ },
    { release: 'https://dl.example/zur/v$version/', manifest: 'https://dl.example/zur/v$version/z.json',
      refused: /ZUR_MANIFEST_URL must stay the same/ },
  ];
  const args = [path.join(import.meta.dirname, 'scoop-manifest.mjs'),
    path.join(import.meta.dirname, '..', 'desktop-tauri', 'tauri.conf.json'), path.join(dist, INSTALLER_NAME)];
  for (const c of cases) {
    rmSync(out, { force: true });
    const run = spawnSync(process.execPath, [...args, out],
      { env: { ...env, ZUR_RELEASE_URL: c.release, ...(c.manifest && { ZUR_MANIFEST_URL: c.manifest }) }, encoding: 'utf8' });
    assert.equal(run.status, c.refused ? 1 : 0, `${c.release}: ${run.stderr}`);
    if (!c.refused) continue;
    assert.match(run.stderr, /^scoop-manifest: [^\n]+\n$/, `${c.release}: one line`);
    assert.match(run.stderr, c.refused, c.release);
  }
});
