// One `wine` command, timed or under /usr/bin/time, in the tests' prefix
// environment (tests/lib/wine.mjs), with its output in files: Wine's
// background processes keep inherited pipes open.

import { spawn } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

import { wineEnvironment } from '../tests/lib/wine.mjs';

/** Microseconds since the Unix epoch, the clock of bench/listener.mjs. */
export const nowUs = () => Math.round((performance.timeOrigin + performance.now()) * 1000);

/**
 * Runs `wine ARGS...`; resolves to { startedUs, endedUs, stdout, rssKiB }
 * and throws when the program does not end with status 0.
 */
export function runWine(work, args, { env = {}, rss = false } = {}) {
  const files = { out: path.join(work, 'out'), err: path.join(work, 'err'), rss: path.join(work, 'rss') };
  const out = fs.openSync(files.out, 'w');
  const err = fs.openSync(files.err, 'w');
  const [command, ...rest] = rss ? ['/usr/bin/time', '-o', files.rss, '-f', '%M', 'wine', ...args] : ['wine', ...args];
  return new Promise((resolve, reject) => {
    const startedUs = nowUs();
    const child = spawn(command, rest, { env: { ...wineEnvironment(), ...env }, stdio: ['ignore', out, err] });
    child.on('error', reject);
    child.on('exit', (code, signal) => {
      const endedUs = nowUs();
      fs.closeSync(out);
      fs.closeSync(err);
      if (code !== 0) {
        const stderr = fs.readFileSync(files.err, 'utf8').slice(0, 2000);
        reject(new Error(`wine ${args.join(' ')} ended with ${signal ?? `status ${code}`}: ${stderr}`));
        return;
      }
      resolve({
        startedUs,
        endedUs,
        stdout: fs.readFileSync(files.out, 'utf8'),
        rssKiB: rss ? Number(fs.readFileSync(files.rss, 'utf8').trim().split('\n').at(-1)) : undefined,
      });
    });
  });
}
