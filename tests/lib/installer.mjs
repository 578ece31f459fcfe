// What the installer's test files share: its payload as the build took it
// in, and a run of it.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';

import { commandLine } from './command_line.mjs';
import { CONFIGURATION, HOST, ICON, LAUNCHER, LAUNCHER_SCRIPT, RECEIPT, receipt } from './expected.mjs';
import { launch, programs, slashedPath, sourceDir, windowsPath } from './wine.mjs';

let payload;

/** The four files the installer carries, by installed name, read once. */
export function carried() {
  payload ??= {
    [HOST]: fs.readFileSync(programs.host),
    [ICON]: fs.readFileSync(path.join(sourceDir(), 'desktop-tauri', 'icons', 'icon.ico')),
    [CONFIGURATION]: fs.readFileSync(path.join(sourceDir(), 'desktop-tauri', 'tauri.conf.json')),
    [LAUNCHER]: LAUNCHER_SCRIPT,
  };
  return payload;
}

/** Runs the installer with `args` (one text, already quoted) after its quoted path. */
export function runInstaller(args, options = {}) {
  return launch({ cmd: commandLine(windowsPath(programs.installer), ...(args ? [args] : [])), ...options });
}

/** The files an installation holds, sorted. */
export const INSTALLED = [LAUNCHER, HOST, ICON, RECEIPT, CONFIGURATION];

/** Runs the installer with `--install-dir "DIR"`, DIR the Windows form of `dir`. */
export const installInto = (dir, options) => runInstaller(`--install-dir "${windowsPath(dir)}"`, options);

/** In `dir` the four carried files byte for byte and the receipt for `installDir` (a folder text with slashes),
 * and nothing else. */
export function assertInstalled(dir, installDir = slashedPath(dir)) {
  assert.deepEqual(fs.readdirSync(dir).sort(), INSTALLED, `files in ${dir}`);
  for (const [name, bytes] of Object.entries(carried())) {
    assert.ok(fs.readFileSync(path.join(dir, name)).equals(bytes), `${name} is byte-identical to its source`);
  }
  assert.equal(fs.readFileSync(path.join(dir, RECEIPT), 'utf8'), installedReceipt(installDir),
    'the receipt file, without a line end');
}

/** The receipt for `installDir` (a folder text as it stands between the quotes) and the carried host. */
export const installedReceipt = (installDir) => receipt(installDir, carried()[HOST].length);
