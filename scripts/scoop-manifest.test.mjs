// The Scoop manifest that the build writes beside the programs: it names
// the installer as shipped and runs it into the folder Scoop gives the app.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createHash } from 'node:crypto';
import { readFileSync } from 'node:fs';
import path from 'node:path';

import { INSTALLER_NAME, VERSION } from '../tests/lib/expected.mjs';

const dist = process.env.ZUR_DIST_DIR;

test('the manifest names the shipped installer, the version, and runs it with --install-dir $dir', () => {
  assert.ok(dist, 'ZUR_DIST_DIR names the folder the build wrote');
  const manifest = JSON.parse(readFileSync(path.join(dist, 'zur-vedozaruz.json'), 'utf8'));
  const installer = createHash('sha256').update(readFileSync(path.join(dist, INSTALLER_NAME))).digest('hex');
  const download = manifest.architecture['64bit'];
  assert.equal(manifest.version, VERSION);
  assert.equal(download.hash, installer);
  assert.deepEqual(manifest.installer.args, ['--install-dir', '$dir']);
  // Scoop runs the file the download was saved as.
  assert.ok(download.url.endsWith(`#/${manifest.installer.file}`), download.url);
});
