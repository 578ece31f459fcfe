// Both programs writing to a real console, in code page 65001 (bytes go out
// as they are) and 437 (text goes out as UTF-16 through WriteConsoleW).
//
// Wine gives a program a real console when its standard output is a
// terminal: each run happens in a pseudo-terminal made by `script`, and
// `cmd /c "chcp CP & PROGRAM ..."` sets the console's code page first. Wine
// draws the console's text onto the terminal in UTF-8 whatever the code page,
// so the screen is the same in both exactly when each program took the right
// path: UTF-8 bytes written to a code page 437 console would show one
// character of that code page per byte (é as ├⌐).
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { after, test } from 'node:test';

import { FAILURE_HINT, RECEIPT, smokeTestReport } from '../lib/expected.mjs';
import { requirePortFree } from '../lib/gateway_port.mjs';
import { installedReceipt } from '../lib/installer.mjs';
import { needs } from '../lib/road.mjs';
import { programs, tempDir, windowsPath, wineEnvironment } from '../lib/wine.mjs';

const scratch = tempDir('console');
after(() => fs.rmSync(scratch, { recursive: true, force: true }));

// é (two UTF-8 bytes), € (three, and not in Latin-1) and 𝄞 (U+1D11E, four
// bytes, a surrogate pair in UTF-16).
const FOLDER = 'Café€\u{1D11E}';
// Wine's console keeps one UTF-16 unit per character cell and sends each
// cell to the terminal on its own, so each half of a surrogate pair shows as
// U+FFFD; the program wrote the pair whole (the receipt file holds 𝄞).
const FOLDER_ON_SCREEN = 'Café€\uFFFD\uFFFD';
// cmd's substring expansion counts UTF-16 units: %ZUR_TEST_CLEF:~0,1% is the
// high surrogate of 𝄞 alone, an argument that is not valid Unicode.
const CLEF = { ZUR_TEST_CLEF: '\u{1D11E}' };

const shellQuote = (text) => `'${text.replaceAll("'", "'\\''")}'`;
const escape = (text) => text.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');

/**
 * Runs `cmd /c chcp CP & PROGRAM ARGS...` under Wine in a pseudo-terminal
 * 400 columns wide (so that no line wraps): its exit status and the text that
 * appeared there.
 */
function onConsole(codePage, program, args, env = {}) {
  const argv = ['wine', 'cmd', '/c', 'chcp', String(codePage), '&', windowsPath(program), ...args];
  const command = `stty cols 400 rows 50 && exec ${argv.map(shellQuote).join(' ')}`;
  // `script` copies the terminal's output to its own standard output, which
  // goes to a file: Wine's background processes never see it.
  const screen = path.join(scratch, 'screen');
  const out = fs.openSync(screen, 'w');
  const started = Date.now();
  const run = spawnSync('script', ['-q', '-e', '-c', command, '/dev/null'],
    { env: { ...wineEnvironment(), ...env }, stdio: ['ignore', out, 'ignore'], timeout: 60000 });
  fs.closeSync(out);
  if (run.error && !run.signal) throw run.error;
  const { status, signal } = run;
  return { status, signal, elapsedMs: Date.now() - started, text: screenText(fs.readFileSync(screen)) };
}

/**
 * The text of a terminal transcript without its control sequences: Wine's
 * console sends CSI sequences (ESC [ parameters, intermediates, a final byte)
 * for the cursor and to erase, may set the title with OSC sequences (ESC ]
 * ... BEL or ESC \), and ends each line with CR LF, to which the terminal
 * adds one more CR. Each line ends with LF alone.
 */
function screenText(bytes) {
  return bytes.toString('utf8')
    .replace(/\x1b\][^\x07\x1b]*(?:\x07|\x1b\\)/g, '')
    .replace(/\x1b\[[0-?]*[ -/]*[@-~]/g, '')
    .replace(/\x1b[@-Z\\-_]/g, '')
    .replaceAll('\r', '');
}

test('what both programs show on a real console', { skip: needs('pty') }, async (t) => {
  await requirePortFree();
  const cases = [
    { name: 'the install receipt', program: programs.installer, status: 0,
      args: (dir) => ['--install-dir', windowsPath(path.join(dir, FOLDER))],
      screen: (dir) => new RegExp(`^${escape(installedReceipt(`Z:${path.resolve(dir)}/${FOLDER_ON_SCREEN}`))}\n$`),
      check: (dir) => {
        const written = fs.readFileSync(path.join(dir, FOLDER, RECEIPT), 'utf8');
        assert.ok(written.includes(`/${FOLDER}"`), written);
      } },
    { name: 'the smoke-test report', program: programs.host, status: 0, args: () => ['--smoke-test'],
      screen: () => new RegExp(`^${escape(smokeTestReport(false))}\n$`) },
    { name: 'a failure report', program: programs.installer, status: 101, env: CLEF,
      args: () => ['--install-dir', `${FOLDER.slice(0, -2)}%ZUR_TEST_CLEF:~0,1%`],
      screen: () => new RegExp('^\nthread \'main\' \\(\\d+\\) failed at [^\n]*zur_setup_installer[^\n]*:\\d+:\\d+:\n'
        + `${escape(`Failed converting argument 2 to Unicode text: "${FOLDER.slice(0, -2)}\uFFFD"`)}\n`
        + `${escape(FAILURE_HINT)}\n$`) },
  ];
  for (const codePage of [65001, 437]) {
    for (const c of cases) {
      await t.test(`${c.name}, code page ${codePage}`, async () => {
        const dir = fs.mkdtempSync(path.join(scratch, 'run-'));
        const result = onConsole(codePage, c.program, c.args(dir), c.env);
        t.diagnostic(`${c.name}, code page ${codePage}: ${result.elapsedMs} ms`);
        assert.equal(result.status, c.status, JSON.stringify(result));
        const chcp = `Active code page: ${codePage}\n`;
        assert.ok(result.text.startsWith(chcp), `the code page is not set: ${JSON.stringify(result.text)}`);
        assert.match(result.text.slice(chcp.length), c.screen(dir));
        c.check?.(dir);
      });
    }
  }
});
