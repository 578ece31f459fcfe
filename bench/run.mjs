// Measures the installer and the desktop host under Wine: sizes (next to an
// NSIS installer of the same four files), wall times and peak memory (next to
// a no-op program), and how long the host takes to notice a gateway that
// comes up while it waits. Prints the table and writes it to bench/RESULTS.md.
//
// Started by bench/run.sh, which builds first and gives it a private network
// namespace when it can. BENCH_RUNS: timed runs of each program and of the
// gateway wait (default 21, at least 20).

import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { setTimeout as sleep } from 'node:timers/promises';
import { fileURLToPath } from 'node:url';

import { BROWSERS, CONFIGURATION, ICON, LAUNCHER, LAUNCHER_SCRIPT, PORT } from '../tests/lib/expected.mjs';
import { driveC } from '../tests/lib/wine.mjs';
import { readProduct } from './product.mjs';
import { SCRATCH, measured } from './programs.mjs';
import { LABELS, results } from './table.mjs';
import { nowUs, runWine } from './wine_runs.mjs';

const bench = path.dirname(fileURLToPath(import.meta.url));
const root = path.dirname(bench);
const work = path.join(bench, 'work');
const RSS_RUNS = 5;

function fail(message) {
  throw new Error(message);
}
const say = (message) => console.error(`bench: ${message}`);
const sh = (command, args, options = {}) => execFileSync(command, args, { encoding: 'utf8', ...options }).trim();

function settings() {
  const runs = Number(process.env.BENCH_RUNS ?? 21);
  if (!Number.isInteger(runs) || runs < 20) fail('BENCH_RUNS must be a number of at least 20');
  const product = readProduct(path.join(root, 'build', 'win64', 'product.env'));
  const files = {
    host: product.ZUR_HOST_EXE,
    installer: product.ZUR_INSTALLER_EXE,
    recorder: path.join(root, 'build', 'win64', 'tests', 'zur_test_recorder.exe'),
    icon: path.join(root, 'desktop-tauri', 'icons', 'icon.ico'),
    config: path.join(root, 'desktop-tauri', 'tauri.conf.json'),
  };
  for (const file of Object.values(files)) {
    if (!fs.existsSync(file)) fail(`missing ${file} (build first: ./scripts/build-all.sh)`);
  }
  if (Number(product.ZUR_GATEWAY_PORT) !== PORT) fail(`the build's gateway port is ${product.ZUR_GATEWAY_PORT}, not ${PORT}`);
  return { runs, product, files };
}

/** The no-op floor and the desktop session, built by MinGW's GCC with its runtime. */
function buildHelpers() {
  const build = (source, exe, ...libs) => sh('x86_64-w64-mingw32-g++-posix', [
    '-std=c++20', '-Os', '-ffunction-sections', '-fdata-sections', '-static', '-s', '-Wl,--gc-sections',
    '-Wl,--no-insert-timestamp', source, '-o', exe, ...libs]);
  build(path.join(bench, 'noop.cc'), path.join(work, 'noop.exe'));
  build(path.join(root, 'tests', 'helpers', 'session.cc'), path.join(work, 'session.exe'), '-luser32');
}

/** The same four files packed by NSIS. */
function packNsis({ product, files }) {
  const dir = path.join(work, 'nsis');
  fs.mkdirSync(dir, { recursive: true });
  const names = [product.ZUR_HOST_NAME, ICON, CONFIGURATION, LAUNCHER];
  fs.copyFileSync(files.host, path.join(dir, product.ZUR_HOST_NAME));
  fs.copyFileSync(files.icon, path.join(dir, ICON));
  fs.copyFileSync(files.config, path.join(dir, CONFIGURATION));
  fs.writeFileSync(path.join(dir, LAUNCHER), LAUNCHER_SCRIPT);
  fs.writeFileSync(path.join(dir, 'setup.nsi'), [
    'Unicode true', 'Target amd64-unicode', 'SetCompressor /SOLID lzma', 'RequestExecutionLevel user',
    'SilentInstall silent', 'Name "ZUR Vedozaruz"', 'OutFile "ZUR-Vedozaruz-Setup-NSIS.exe"',
    'InstallDir "$LOCALAPPDATA\\OLVENTA\\ZUR-Vedozaruz"', 'Section', '  SetOutPath "$INSTDIR"',
    ...names.map((name) => `  File "${name}"`), 'SectionEnd', ''].join('\n'));
  sh('makensis', ['-V1', 'setup.nsi'], { cwd: dir });
  return { dir, names, exe: path.join(dir, 'ZUR-Vedozaruz-Setup-NSIS.exe') };
}

/**
 * What the runs need in the prefix: everything they write lives in
 * C:\zur-bench (paths without spaces, so NSIS's /D= takes them as they are).
 */
function stage({ product, files }) {
  const scratch = driveC('zur-bench');
  fs.mkdirSync(path.join(scratch, 'host'), { recursive: true });
  fs.copyFileSync(files.host, path.join(scratch, 'host', product.ZUR_HOST_NAME));
  // The recording stand-in as the first browser the host looks for.
  const edge = driveC(BROWSERS.edgeX86);
  fs.mkdirSync(path.dirname(edge), { recursive: true });
  fs.copyFileSync(files.recorder, edge);
  // A gateway script that exists, with no node.exe anywhere the host looks
  // (its own folder, system32, the Windows folder, Wine's default PATH).
  fs.writeFileSync(path.join(scratch, 'gateway.mjs'), '');
  const env = { ZUR_GATEWAY_SCRIPT: `${SCRATCH}\\gateway.mjs` };
  return { scratch, hostC: `${SCRATCH}\\host\\${product.ZUR_HOST_NAME}`, env };
}

function portTaken() {
  return new Promise((resolve) => {
    const socket = net.connect({ host: '127.0.0.1', port: PORT });
    socket.once('connect', () => { socket.destroy(); resolve(true); });
    socket.once('error', () => resolve(false));
  });
}

/** The stand-in gateway, listening at once or from the moment given (µs). */
async function startListener(log, atUs) {
  fs.rmSync(log, { force: true });
  const err = fs.openSync(path.join(work, 'listener.err'), 'w');
  const child = spawn('node', [path.join(bench, 'listener.mjs'), log, ...(atUs ? [String(atUs)] : [])],
    { stdio: ['ignore', 'ignore', err] });
  fs.closeSync(err);
  const stop = () => new Promise((resolve) => {
    if (child.exitCode !== null || child.signalCode !== null) return resolve();
    child.once('exit', () => resolve());
    child.kill('SIGTERM');
  });
  return { stop };
}

/** "listening US" and "accepted US" from a listener's log. */
function listenerLog(log) {
  const text = fs.existsSync(log) ? fs.readFileSync(log, 'utf8') : '';
  const moment = (key) => Number(new RegExp(`^${key} (\\d+)$`, 'm').exec(text)?.[1] ?? NaN);
  return { listening: moment('listening'), accepted: moment('accepted') };
}

/** Wall times: rounds of every program, each round starting with the next one. */
async function timeRounds(programs, names, runs, run) {
  say('warming up');
  for (const name of names) await programs[name](run);
  say(`${runs} rounds of ${names.join(' ')}`);
  const times = Object.fromEntries(names.map((name) => [name, []]));
  const tsv = ['round\tprogram\tus'];
  for (let r = 0; r < runs; r++) {
    // Each round starts with the next program, so none always follows another.
    for (let i = 0; i < names.length; i++) {
      const name = names[(i + r) % names.length];
      const result = await programs[name](run);
      times[name].push(result.endedUs - result.startedUs);
      tsv.push(`${r}\t${name}\t${times[name].at(-1)}`);
    }
  }
  fs.writeFileSync(path.join(work, 'times.tsv'), `${tsv.join('\n')}\n`);
  return times;
}

/** Peak memory: RSS_RUNS runs of every program. */
async function peakMemory(programs, names, run) {
  say(`peak memory, ${RSS_RUNS} runs each`);
  const rss = Object.fromEntries(names.map((name) => [name, []]));
  for (let r = 0; r < RSS_RUNS; r++) {
    for (const name of names) rss[name].push((await programs[name](run)).rssKiB);
  }
  return rss;
}

/**
 * The gateway wait: the host is in its wait cycles (a script exists, no node
 * starts) when the gateway begins to listen, 0.3 to 2.5 s after the host
 * started. From that moment: to the host's probe being accepted, and to the
 * host's exit (which includes starting the browser and ending).
 */
async function gatewayWaits(launch, runs, run) {
  say(`${runs} gateway waits`);
  const waits = { delays: [], seen: [], exits: [] };
  const tsv = ['delay_us\tseen_us\texit_us'];
  for (let r = 0; r < runs; r++) {
    for (let i = 0; i < 500 && await portTaken(); i++) await sleep(10);
    if (await portTaken()) fail(`127.0.0.1:${PORT} is still taken`);
    const log = path.join(work, `gateway-${r}.log`);
    const listener = await startListener(log, nowUs() + (300 + Math.floor(Math.random() * 2201)) * 1000);
    const result = await launch(run).finally(listener.stop);
    const { listening, accepted } = listenerLog(log);
    if (Number.isNaN(listening)) fail('the stand-in gateway did not start');
    if (Number.isNaN(accepted)) fail('the host ended without probing the gateway');
    if (listening <= result.startedUs) fail('the gateway started before the host');
    waits.delays.push(listening - result.startedUs);
    waits.seen.push(accepted - listening);
    waits.exits.push(result.endedUs - listening);
    tsv.push([waits.delays, waits.seen, waits.exits].map((v) => v.at(-1)).join('\t'));
  }
  fs.writeFileSync(path.join(work, 'gateway.tsv'), `${tsv.join('\n')}\n`);
  return waits;
}

/** The machine and the tools, for the table's head. */
function machine() {
  const cpu = /^model name\s*:\s*(.*)$/m.exec(fs.readFileSync('/proc/cpuinfo', 'utf8'))?.[1] ?? 'unknown CPU';
  const osName = /^PRETTY_NAME="?([^"\n]*)"?$/m.exec(fs.readFileSync('/etc/os-release', 'utf8'))?.[1] ?? os.type();
  const ram = `${(os.totalmem() / 2 ** 30).toFixed(1)} GiB`;
  return {
    date: new Date().toISOString().replace(/T(\d\d:\d\d).*/, ' $1 UTC'),
    machine: `${cpu}, ${os.availableParallelism()} cores, ${ram} RAM, ${osName}, kernel ${os.release()} (${os.machine()})`,
    wine: sh('wine', ['--version'], { stdio: ['ignore', 'pipe', 'ignore'] }),
    compiler: `${sh('clang++', ['--version']).split('\n')[0]} with lld (the no-op floor: ` +
      `${sh('x86_64-w64-mingw32-g++-posix', ['--version']).split('\n')[0]})`,
    nsis: sh('makensis', ['-VERSION']),
  };
}

async function main() {
  const startedUs = Number(process.env.ZUR_BENCH_STARTED_US ?? nowUs());
  const network = process.env.ZUR_BENCH_NETNS === '1'
    ? 'private network namespace (loopback only)'
    : 'the machine\'s network (port 4300 shared with other programs)';
  const { runs, product, files } = settings();

  // The Wine prefix and its environment are the tests' (tests/wine-prefix.sh).
  const wineRun = path.join(work, 'wine');
  process.env.ZUR_WINE_RUN = wineRun;
  const prefix = (...args) => sh(path.join(root, 'tests', 'wine-prefix.sh'), args, { stdio: ['ignore', 'pipe', 'inherit'] });
  let listener;
  const cleanup = async () => {
    await listener?.stop();
    try { prefix('stop', wineRun); } catch { /* reported by the script */ }
  };
  process.on('SIGINT', () => cleanup().finally(() => process.exit(130)));
  process.on('SIGTERM', () => cleanup().finally(() => process.exit(130)));

  try {
    // A leftover prefix of an interrupted run goes first, with its wineserver.
    prefix('stop', wineRun);
    fs.rmSync(work, { recursive: true, force: true });
    fs.mkdirSync(work, { recursive: true });
    buildHelpers();
    const nsis = packNsis({ product, files });
    const size = (file) => fs.statSync(file).size;
    const sizes = {
      host: size(files.host),
      installer: size(files.installer),
      nsis: size(nsis.exe),
      payload: nsis.names.reduce((sum, name) => sum + size(path.join(nsis.dir, name)), 0),
    };

    say('making the Wine prefix');
    prefix('start', wineRun, path.join(work, 'session.exe'));
    const { scratch, hostC, env } = stage({ product, files });

    const programs = measured({
      noop: path.join(work, 'noop.exe'), installer: files.installer, nsis: nsis.exe,
      hostC, scratch, payload: nsis,
    });
    const names = Object.keys(LABELS);
    const timed = (args, extra) => runWine(work, args, { env: { ...env, ...extra } });
    const peak = (args, extra) => runWine(work, args, { env: { ...env, ...extra }, rss: true });

    // Wall times and peak memory, with the gateway up.
    if (await portTaken()) fail(`127.0.0.1:${PORT} is already taken; the bench needs it free`);
    const log = path.join(work, 'listener.log');
    listener = await startListener(log);
    for (let i = 0; i < 500 && Number.isNaN(listenerLog(log).listening); i++) await sleep(10);
    if (Number.isNaN(listenerLog(log).listening)) {
      fail(`the stand-in gateway did not start: ${fs.readFileSync(path.join(work, 'listener.err'), 'utf8')}`);
    }
    const times = await timeRounds(programs, names, runs, timed);
    const rss = await peakMemory(programs, names, peak);
    await listener.stop();
    listener = undefined;
    const waits = await gatewayWaits(programs.launch, runs, timed);

    const text = results({
      about: {
        ...machine(),
        network,
        elapsedS: Math.floor((nowUs() - startedUs) / 1e6),
        built: process.env.ZUR_BENCH_BUILT === '1',
      },
      runs, rssRuns: RSS_RUNS, sizes, times, rss, waits,
    });
    // The figures measured by hand follow the bench's own tables: a new run
    // rewrites the tables and keeps them.
    const file = path.join(bench, 'RESULTS.md');
    const byHand = fs.existsSync(file) ? fs.readFileSync(file, 'utf8').split(/^(?=## Measured by hand$)/m)[1] : undefined;
    fs.writeFileSync(file, byHand ? `${text.trimEnd()}\n\n${byHand}` : text);
    process.stdout.write(text);
  } finally {
    await cleanup();
  }
}

main().catch((error) => {
  console.error(`bench: ${error.message}`);
  process.exitCode = 1;
});
