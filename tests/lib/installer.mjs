// What the installer's test files share: its payload as the build took it
// in, and a run of it.

import fs from 'node:fs';
import path from 'node:path';

import { commandLine } from './command_line.mjs';
import { CONFIGURATION, HOST, ICON, LAUNCHER, LAUNCHER_SCRIPT } from './expected.mjs';
import { launch, programs, sourceDir, windowsPath } from './wine.mjs';

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
