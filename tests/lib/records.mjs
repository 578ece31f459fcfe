// The JSON lines that the stand-in programs (tests/helpers/recorder.cc,
// shim.cc) append to the file named by ZUR_TEST_RECORD.

import fs from 'node:fs';
import { setTimeout as sleep } from 'node:timers/promises';

import { waitUntil } from './wait.mjs';

/** The JSON lines a recorder helper wrote, oldest first. */
export function readRecords(file) {
  if (!fs.existsSync(file)) return [];
  return fs.readFileSync(file, 'utf8').split('\n').filter(Boolean).map((line) => JSON.parse(line));
}

/**
 * The records in `file` once at least `count` are there (or `timeoutMs` has
 * passed), after a further `settleMs` for latecomers.
 */
export async function waitRecords(file, { count = 1, timeoutMs = 15000, settleMs = 800 } = {}) {
  await waitUntil(() => readRecords(file).length >= count, { timeoutMs });
  await sleep(settleMs);
  return readRecords(file);
}
