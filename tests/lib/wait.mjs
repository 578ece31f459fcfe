// The tests' one way to wait for something: poll a condition, with a bound.

import { setTimeout as sleep } from 'node:timers/promises';

/**
 * Polls `condition()` (it may return a promise) every `everyMs` until it
 * holds, and resolves true. When it still does not after `timeoutMs`, throws
 * "`what` after `timeoutMs` ms", or, for a wait without `what` (the caller
 * judges what it then finds), resolves false. An error `condition` throws
 * ends the wait at once.
 */
export async function waitUntil(condition, { timeoutMs, what, everyMs = 50 }) {
  const end = Date.now() + timeoutMs;
  while (!(await condition())) {
    if (Date.now() > end) {
      if (what === undefined) return false;
      throw new Error(`${typeof what === 'function' ? what() : what} after ${timeoutMs} ms`);
    }
    await sleep(everyMs);
  }
  return true;
}
