// The launch road with the Node.js that Windows users run: the desktop host under Wine starts node.exe for
// Windows on the gateway stand-in. Node reads its command line by the C runtime's rules and keeps the standard
// handles that the host hands on after the host has ended: what it sees, and whether the gateway survives them,
// is what these cases check.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import { commandLine, parseCommandLine } from '../lib/command_line.mjs';
import { APPS, LAUNCHER, LAUNCHER_SCRIPT } from '../lib/expected.mjs';
import { waitPortFree } from '../lib/gateway_port.mjs';
import { readRecords, waitRecords } from '../lib/records.mjs';
import { needs } from '../lib/road.mjs';
import { waitUntil } from '../lib/wait.mjs';
import { PROFILE_SHIMS, SYSTEM_PATH, hostFixture } from '../lib/sandbox.mjs';
import { nodeWinExe, stopPrograms, waitProgramsGone, windowsPrograms } from '../lib/windows_programs.mjs';
import { launch, runHost, sourceDir, windowsPath } from '../lib/wine.mjs';

// The gateway and the hosts are found among Linux's processes, and a fake browser goes on drive C:.
const SKIP = needs('linux-processes', 'browser-paths');
const GATEWAY = 'zur-unified-gateway-server.mjs';
const LISTENING = 'zur-gateway: listening on http://127.0.0.1:4300/';

// `hosts`: host copies with node.exe beside them (`beside`) or not (`bare`).
let NODE_EXE, scratch, odd, nodeDir, hosts;

const { box } = hostFixture({
  tag: 'real-node', skip: SKIP, edge: true,
  setup(fixture) {
    NODE_EXE = nodeWinExe();
    scratch = fixture.scratch;
    // The gateway's folder holds what cmd, the C runtime and ANSI code pages read differently: blanks, ^, &, %, ä.
    odd = path.join(scratch, 'gate way ^x & 100% ä');
    fs.mkdirSync(path.join(odd, 'rel'), { recursive: true });
    fs.copyFileSync(path.join(sourceDir(), GATEWAY), path.join(odd, GATEWAY));
    fs.copyFileSync(path.join(sourceDir(), GATEWAY), path.join(odd, 'rel', GATEWAY));
    nodeDir = path.join(scratch, 'nodejs');
    fs.mkdirSync(nodeDir);
    placeNode(nodeDir);
    hosts = { beside: fixture.box.hostCopy(), bare: fixture.box.hostCopy() };
    placeNode(hosts.beside.dir);
    for (const host of Object.values(hosts)) fs.writeFileSync(path.join(host.dir, LAUNCHER), LAUNCHER_SCRIPT);
  },
  teardown: () => stopPrograms(isGateway),
});

/** node.exe in `dir`: a link to the fetched one (86 MB) where the file system allows. */
function placeNode(dir) {
  try {
    fs.linkSync(NODE_EXE, path.join(dir, 'node.exe'));
  } catch {
    fs.copyFileSync(NODE_EXE, path.join(dir, 'node.exe'));
  }
}

// The gateway is the node that the host started by its bare name.
const isGateway = (args) => args[0] === 'node';
const gatewayPrograms = () => windowsPrograms().filter((p) => isGateway(p.args));
// The pages asked for after the host has ended, and the gateway's log lines for them.
const servedPaths = (name) => [`/apps/${name}`, '/', '/synergy-cockpit'];
const servedLines = (name) => servedPaths(name).map((p) => `GET ${p} 200`);

/** The environment of one launch; node records its view of its command line. */
function environment({ script, nodeOnPath }) {
  const dir = box.temp('real-node-launch');
  const preload = windowsPath(path.join(sourceDir(), 'tests', 'helpers', 'node_argv.mjs')).replaceAll('\\', '/');
  const files = { browser: path.join(dir, 'browser.jsonl'), argv: path.join(dir, 'argv.jsonl') };
  const set = {
    ...PROFILE_SHIMS,
    ZUR_GATEWAY_SCRIPT: script,
    ZUR_TEST_RECORD: windowsPath(files.browser),
    ZUR_TEST_ARGV_RECORD: windowsPath(files.argv),
    NODE_OPTIONS: `--import=file:///${encodeURI(preload)}`,
    LOCALAPPDATA: windowsPath(box.temp('real-node-local')),
    PATH: nodeOnPath ? `${windowsPath(nodeDir)};${SYSTEM_PATH}` : SYSTEM_PATH,
  };
  return { set, files };
}

/** The gateway's own output: its first line, then one line for each page served after the host ended. */
function assertServed(output, name) {
  const lines = output.split(/\r?\n/).filter(Boolean);
  assert.equal(lines[0], LISTENING);
  assert.deepEqual(lines.slice(1).filter((l) => l.startsWith('GET ')), servedLines(name));
}

/** Waits until the text of `file` holds every line of `lines`. */
function waitLogged(file, lines) {
  const logged = () => (fs.existsSync(file) ? fs.readFileSync(file, 'utf8').split(/\r?\n/) : []);
  return waitUntil(() => lines.every((line) => logged().includes(line)),
    { timeoutMs: 10000, what: `${path.basename(file)} lacks some of ${JSON.stringify(lines)}` });
}

// A gateway that takes the connection and never answers fails the case
// here, with what ran, rather than at the suite's time limit.
async function get(url) {
  try {
    const response = await fetch(url, { signal: AbortSignal.timeout(15000) });
    return { status: response.status, body: await response.text() };
  } catch (e) {
    throw new Error(`${url}: ${e.message}; the gateways running: ${JSON.stringify(gatewayPrograms())}`);
  }
}

test('the gateway on the real node outlives the host, whatever its outputs were', { skip: SKIP }, async (t) => {
  /** `run` of `host` (its name in the diagnostics) went well; says when it ended. */
  const ended = (run, host) => {
    assert.equal(run.status, 0, run.stderr.toString());
    t.diagnostic(`${host} ended after ${run.elapsedMs} ms`);
  };
  const runToEnd = async (host, env, name, options) =>
    ended(await runHost({ exe: host.exe, args: [`--app=${name}`], set: env.set, ...options }), `${name}: the host`);
  // `start(host, env, name)` runs one launch up to the host's end and
  // returns what to check once the gateway has been stopped.
  const rows = [
    { name: 'a file the caller redirected to; node beside the host', nodeBeside: true,
      logFile: (name) => path.join(scratch, `log-${name}.txt`),
      async start(host, env, name) {
        const log = this.logFile(name);
        const inner = `${commandLine(host.windows, `--app=${name}`)} > "${windowsPath(log)}" 2>&1`;
        const cmd = `C:\\windows\\system32\\cmd.exe /d /s /c "${inner}"`;
        ended(await launch({ cmd, set: env.set }), `${name}: the host`);
        // A second launch finds the gateway that the first one started.
        const [first] = gatewayPrograms();
        ended(await runHost({ exe: host.exe, args: [`--app=${name}`], set: env.set }), `${name}: the second host`);
        assert.deepEqual(gatewayPrograms().map((p) => p.pid), [first.pid], 'no second node');
        // The host's own standard output was the gateway's.
        return () => assertServed(fs.readFileSync(log, 'utf8'), name);
      },
    },
    { name: 'a pipe that the caller reads to its end; node on PATH', nodeBeside: false,
      logFile: (name) => path.join(scratch, `capture-${name}.json.output`),
      async start(host, env, name) {
        const result = path.join(scratch, `capture-${name}.json`);
        const script = windowsPath(path.join(sourceDir(), 'tests', 'helpers', 'capture_host.mjs'));
        const cmd = commandLine(windowsPath(NODE_EXE), `"${script}"`, `"${windowsPath(result)}"`, `"${host.windows}"`,
          `--app=${name}`);
        const caller = launch({ cmd, set: env.set, timeoutMs: 120000 });
        await waitUntil(() => fs.existsSync(`${result}.exited`),
          { timeoutMs: 20000, what: `no ${path.basename(result)}.exited` });
        return async (stoppedAt) => {
          const run = await caller;
          assert.equal(run.status, 0, run.stderr.toString());
          const { status, output, times } = JSON.parse(fs.readFileSync(result, 'utf8'));
          assert.equal(status, 0);
          t.diagnostic(`${name}: gateway's first line after ${times.firstOutput - times.start} ms, ` +
            `host ended after ${times.exit - times.start} ms, end of file ${times.end - stoppedAt} ms after ` +
            `the gateway was stopped (${stoppedAt - times.exit} ms after the host ended)`);
          // The gateway holds the pipe: no end of file until it has ended.
          assert.ok(times.end >= stoppedAt, `end of file ${stoppedAt - times.end} ms before the gateway was stopped`);
          // The gateway wrote into the host's own output: only a handle the host handed on leads there. (Whether
          // before the host ended is timing: the host's probe may find it listening before it has printed.)
          assertServed(output, name);
        };
      },
    },
    { name: 'a pipe whose reader has closed; a relative script path', nodeBeside: true, relative: true,
      start: (host, env, name) => runToEnd(host, env, name, { cwd: windowsPath(odd), stdout: 'closed' }) },
    { name: 'no standard output at all', nodeBeside: true,
      start: (host, env, name) => runToEnd(host, env, name, { stdout: 'none' }) },
    { name: 'a console that goes away with the host (the launcher script)', nodeBeside: true,
      async start(host, env, name) {
        const cmd = `C:\\windows\\system32\\cmd.exe /d /c "${windowsPath(path.join(host.dir, LAUNCHER))}" --app=${name}`;
        ended(await launch({ cmd, set: env.set }), `${name}: the launcher`);
        // `start` gave the host a console of its own; it closes when the host ends.
        await waitProgramsGone((args) => args[0]?.toLowerCase() === host.windows.toLowerCase());
      },
    },
  ];

  for (const [i, row] of rows.entries()) {
    await t.test(row.name, async (c) => {
      // A row that fails leaves no gateway for the next one to find.
      c.after(() => stopPrograms(isGateway));
      await waitPortFree();
      const name = `road-${i}`;
      const host = row.nodeBeside ? hosts.beside : hosts.bare;
      const script = row.relative ? `rel\\${GATEWAY}` : windowsPath(path.join(odd, GATEWAY));
      const env = environment({ script, nodeOnPath: !row.nodeBeside });
      const afterStop = await row.start(host, env, name);

      // The browser was handed the app page, and the gateway serves it.
      const [browser] = await waitRecords(env.files.browser, { settleMs: 0 });
      const url = parseCommandLine(browser.cmd).find((a) => a.startsWith('--app=')).slice('--app='.length);
      assert.equal(url, `${APPS}${name}`);
      // After the host has ended, page after page, each logged.
      for (const page of servedPaths(name)) {
        const response = await get(`http://127.0.0.1:4300${page}`);
        assert.equal(response.status, 200, page);
        if (page === `/apps/${name}`) assert.ok(response.body.includes(`<h1>${name}</h1>`));
      }
      // Node got the script path as one argument, and the host's folder.
      const [seen] = readRecords(env.files.argv).slice(-1);
      const cwd = row.relative ? windowsPath(odd) : seen.cwd;
      assert.deepEqual(seen, { argv1: path.win32.resolve(windowsPath(odd), script), cwd });

      // The gateway logs a request once its response has gone out: stopped
      // before that, it would take the last line with it.
      if (row.logFile) await waitLogged(row.logFile(name), servedLines(name));
      const stoppedAt = Date.now();
      const stopped = await stopPrograms(isGateway);
      assert.equal(stopped.length, 1, `one gateway ran: ${JSON.stringify(stopped)}`);
      await afterStop?.(stoppedAt);
    });
  }
});

test('a folder with a final backslash reaches node whole; node fails, the host does not care', { skip: SKIP }, async () => {
  await waitPortFree();
  const env = environment({ script: `${windowsPath(odd)}\\` });
  const run = await runHost({ exe: hosts.beside.exe, set: env.set });
  assert.equal(run.status, 0);
  assert.equal(run.stdout.length, 0);
  // Node's own complaint went to the host's standard error, naming the whole folder.
  assert.match(run.stderr.toString(), /ERR_UNSUPPORTED_DIR_IMPORT/);
  assert.ok(run.stderr.toString().includes(windowsPath(odd)), run.stderr.toString());
  // node made the path absolute (dropping the final backslash), not cut at a blank or a quote.
  assert.deepEqual(readRecords(env.files.argv).map((r) => r.argv1), [windowsPath(odd)]);
});
