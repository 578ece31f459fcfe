// The tests' one way to wait for something: poll a condition, with a bound.

import { setTimeout as sleep } from 'node:timers/promises';

/** Polls `condition()` every 50 ms until it holds; throws "`what` after
 * `timeoutMs` ms" when it still does not by then. */
export async function waitUntil(condition, { timeoutMs, what }) {
  const end = Date.now() + timeoutMs;
  while (!condition()) {
    if (Date.now() > end) throw new Error(`${typeof what === 'function' ? what() : what} after ${timeoutMs} ms`);
    await sleep(50);
  }
}
