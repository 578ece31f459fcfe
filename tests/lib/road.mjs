// The two roads the end-to-end tests run on, chosen here once:
//
//   wine     Linux's node drives the Windows programs under Wine in the
//            test prefix (the ctest entries e2e.*);
//   windows  Node.js for Windows drives them directly, with Windows paths
//            (tests/windows/run.mjs: on a Windows machine, and under Wine by
//            the ctest entry e2e.windows_road).
//
// A test says what it needs with `needs(...)`, which gives false when this
// road has it, or the reason it is skipped here.

import fs from 'node:fs';
import path from 'node:path';

import { BROWSERS } from './expected.mjs';

export const ROAD = process.platform === 'win32' ? 'windows' : 'wine';
export const onWindowsRoad = ROAD === 'windows';

/** Set to 1 by whoever runs the Windows road on a machine that may be
 * changed outside the scratch folders (a throw-away VM, the test prefix). */
export const THROW_AWAY = 'ZUR_TEST_THROW_AWAY_MACHINE';
const throwAway = () => process.env[THROW_AWAY] === '1';

/** Whether the Windows the programs run on is Wine (a prefix holds Wine's
 * own programs in its system folder; a Windows never does). */
export function systemIsWine() {
  if (!onWindowsRoad) return true;
  const root = process.env.SystemRoot ?? 'C:\\windows';
  return fs.existsSync(path.win32.join(root, 'system32', 'winecfg.exe'));
}

/** The system's message texts (English) for the errors the tests provoke:
 * Wine's own, or Windows'. */
const MESSAGES = {
  wine: {
    5: 'Access denied.',
    32: 'Sharing violation.',
    112: 'Disk full.',
    123: 'Invalid name.',
    183: 'File already exists.',
  },
  windows: {
    5: 'Access is denied.',
    32: 'The process cannot access the file because it is being used by another process.',
    112: 'There is not enough space on the disk.',
    123: 'The filename, directory name, or volume label syntax is incorrect.',
    183: 'Cannot create a file when that file already exists.',
  },
};
export const systemMessage = (code) => MESSAGES[systemIsWine() ? 'wine' : 'windows'][code];

/** The browser install paths on C:, which the tests never put a fake over. */
const BROWSER_PATHS = Object.values(BROWSERS).map((relative) => path.win32.join('C:\\', relative));

const LINUX_ONLY = {
  chattr: 'makes a file immutable with Linux\'s chattr +i (Wine as root ignores read-only)',
  tmpfs: 'mounts a small Linux tmpfs as a full disk',
  pty: 'reads what Wine\'s console draws on a Linux pseudo-terminal (script)',
  'linux-node': 'starts Linux programs (node, Chromium) through Wine from a stand-in',
  'linux-listener': 'needs the Linux listener whose accept queue is full',
  'linux-processes': 'finds the gateway among Linux processes (/proc)',
  'unix-links': 'plants Unix symbolic links, which only Wine shows as it does',
  'linux-build': 'builds the sources with the Linux toolchain',
  'wine-drives': 'maps a Linux folder as a drive letter of the Wine prefix',
};

const REASONS = {
  ...Object.fromEntries(Object.entries(LINUX_ONLY).map(([need, why]) => [need, () =>
    (onWindowsRoad ? `Linux only: ${why}` : false)])),
  root: () => (!onWindowsRoad && process.getuid?.() !== 0 ? 'needs root (chattr, mount)' : false),
  // Fakes at fixed paths of drive C: (Program Files, the system folder, the
  // root of C:) and the default URL handler change the machine.
  machine: () => (onWindowsRoad && !throwAway()
    ? `changes the machine outside a scratch folder: set ${THROW_AWAY}=1 on a throw-away machine to run it`
    : false),
  // The host starts the first browser that exists: a real one would be
  // started instead of the fake, and a fake is never put over it.
  'browser-paths': () => {
    const machine = REASONS.machine();
    if (machine) return machine;
    const installed = onWindowsRoad ? BROWSER_PATHS.find((p) => fs.existsSync(p)) : undefined;
    return installed ? `a browser is installed at ${installed}, and no fake is ever put over it` : false;
  },
  // The default URL handler is faked in the registry (HKCR\http); Windows
  // itself goes by the user's hash-protected choice, which no test can set.
  'url-handler': () => {
    const machine = REASONS['browser-paths']();
    if (machine) return machine;
    return systemIsWine() ? false : 'Windows opens URLs with the user\'s own choice, which a test cannot fake';
  },
};

/** A hook that runs only for tests that are not skipped for `reason`. */
export const unlessSkipped = (reason, hook) => (reason ? () => {} : hook);

/**
 * False when this road has everything named, else why the case is skipped:
 * for the `skip` option of node's tests.
 */
export function needs(...what) {
  for (const need of what) {
    const reason = REASONS[need];
    if (!reason) throw new Error(`unknown need ${need}`);
    const text = reason();
    if (text) return text;
  }
  return false;
}
