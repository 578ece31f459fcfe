// What the node tests expect of the product, spelled out once: its names,
// lines and addresses. Not taken from the build, so that a wrong constant
// there still fails a test.

export const VERSION = '3.4.0';
export const INSTALLER_NAME = 'ZUR-Vedozaruz-Setup-3.4.0-x64.exe';

/** The installed files. */
export const HOST = 'ZUR-Vedozaruz-Desktop.exe';
export const ICON = 'ZUR-Vedozaruz.ico';
export const CONFIGURATION = 'tauri.conf.json';
export const LAUNCHER = 'Launch-ZUR-Vedozaruz.cmd';
export const RECEIPT = 'install-receipt.json';
export const LAUNCHER_SCRIPT = Buffer.from('@echo off\r\nstart "" "%~dp0ZUR-Vedozaruz-Desktop.exe" %*\r\n', 'latin1');

/** The last line of a failure report without ZUR_BACKTRACE. */
export const FAILURE_HINT = 'note: run with `ZUR_BACKTRACE=1` environment variable to display a stack backtrace';

/** The install receipt, for a folder text as it stands between the quotes. */
export const receipt = (installDir, exeBytes) =>
  `{"ok":true,"version":"3.4.0","installDir":"${installDir}","exeBytes":${exeBytes}}`;

export const bundleReport = (exeBytes, icoBytes) =>
  `{"ok":true,"installer":"ZUR-Vedozaruz-Setup-3.4.0-x64.exe","embeddedExeBytes":${exeBytes},` +
  `"embeddedIcoBytes":${icoBytes},"peHeaderValid":true}`;

export const smokeTestReport = (reachable) =>
  '{"ok":true,"product":"ZUR WORKSPACE PALISADE-34","version":"3.4.0","arch":"x86_64","os":"windows",' +
  `"skus":34,"synergyHighways":6,"gatewayReachable":${reachable}}`;

/** The gateway and its pages. */
export const PORT = 4300;
export const ROOT = 'http://127.0.0.1:4300/';
export const COCKPIT = 'http://127.0.0.1:4300/synergy-cockpit';
export const APPS = 'http://127.0.0.1:4300/apps/';

/** The browser arguments after --app= and --user-data-dir=. */
export const BROWSER_ARGS_TAIL = ['--no-first-run', '--window-size=1480,920'];

/** The browser install paths, relative to drive C:, in the host's order. */
export const BROWSERS = {
  edgeX86: 'Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe',
  edge: 'Program Files\\Microsoft\\Edge\\Application\\msedge.exe',
  chrome: 'Program Files\\Google\\Chrome\\Application\\chrome.exe',
};

/** The default gateway script the host was built with, relative to drive C:. */
export const DEFAULT_SCRIPT = 'Program Files\\OLVENTA\\ZUR-Vedozaruz\\zur-unified-gateway-server.mjs';
/** Where the default once was: a folder any user may create. */
export const FORMER_DEFAULT_SCRIPT = 'OLVENTA\\ZUR-Vedozaruz\\zur-unified-gateway-server.mjs';
