// The programs the bench measures, each checked after its run (outside the
// measured time): a wrong result stops the bench rather than giving a figure.

import fs from 'node:fs';
import path from 'node:path';
import { setTimeout as sleep } from 'node:timers/promises';

import { RECEIPT, ROOT, smokeTestReport } from '../tests/lib/expected.mjs';
import { readRecords } from '../tests/lib/records.mjs';

/** The C:\zur-bench folder of the prefix, as Windows and as Linux see it. */
export const SCRATCH = 'C:\\zur-bench';

function sameFiles(dir, payload, names) {
  for (const name of names) {
    if (!fs.readFileSync(path.join(dir, name)).equals(fs.readFileSync(path.join(payload.dir, name)))) {
      throw new Error(`${dir}/${name} is not the packed file`);
    }
  }
}

/** Waits for the stand-in browser's record: it has ended, and the host did start it. */
export async function awaitBrowser(record) {
  for (const end = Date.now() + 5000; Date.now() < end; await sleep(10)) {
    if (readRecords(record).some((r) => r.cmd.includes(`--app=${ROOT}`))) return;
  }
  throw new Error('the host started no browser');
}

/**
 * name -> async (run) => result, where run(args, env) runs one `wine`
 * command and resolves to its result.
 *   scratch   the Linux path of SCRATCH
 *   payload   { dir, names }: the four files as packed
 */
export function measured({ noop, installer, nsis, hostC, scratch, payload }) {
  let serial = 0;
  const linux = (name) => path.join(scratch, name);
  return {
    floor: (run) => run([noop]),
    ours: async (run) => {
      const dir = `ours-${++serial}`;
      const result = await run([installer, '--install-dir', `${SCRATCH}\\${dir}`]);
      if (!result.stdout.startsWith('{"ok":true,')) throw new Error(`our installer printed: ${result.stdout}`);
      sameFiles(linux(dir), payload, payload.names);
      if (!fs.existsSync(path.join(linux(dir), RECEIPT))) throw new Error('our installer wrote no receipt');
      return result;
    },
    nsis: async (run) => {
      const dir = `nsis-${++serial}`;
      const result = await run([nsis, '/S', `/D=${SCRATCH}\\${dir}`]);
      sameFiles(linux(dir), payload, payload.names);
      return result;
    },
    report: async (run) => {
      const result = await run([hostC, '--smoke-test']);
      if (result.stdout !== `${smokeTestReport(true)}\n`) throw new Error(`the host reported: ${result.stdout}`);
      return result;
    },
    launch: launchHost,
  };

  async function launchHost(run) {
    const record = `browser-${++serial}.jsonl`;
    const result = await run([hostC], { ZUR_TEST_RECORD: `${SCRATCH}\\${record}` });
    await awaitBrowser(linux(record));
    return result;
  }
}
