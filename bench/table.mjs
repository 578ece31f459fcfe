// bench/RESULTS.md from the figures.

import { median, ms, ratio, spread } from './stats.mjs';

export const LABELS = {
  floor: 'no-op console program (floor)',
  ours: 'our installer, into a new folder',
  nsis: 'NSIS installer, /S into a new folder',
  report: 'host, --smoke-test, gateway up',
  launch: 'host, launch mode, gateway up, browser present',
};

const row = (cells) => `| ${cells.join(' | ')} |`;

function waitRow(label, samples) {
  const s = spread(samples);
  return row([label, ms(s.min), ms(s.median), ms(s.p90), ms(s.max)]);
}

/**
 *   about     { date, machine, wine, nsis, network, elapsedS, built }
 *   sizes     { installer, nsis, payload, host }
 *   times     { program: [µs] }, rss { program: [KiB] }
 *   waits     { delays, seen, exits } in µs
 */
export function results({ about, runs, rssRuns, sizes, times, rss, waits }) {
  const floorUs = median(times.floor);
  const floorKiB = median(rss.floor);
  const browserUs = median(times.launch) - median(times.report);
  const delays = spread(waits.delays);
  return [
    '# Benchmark results',
    '',
    `- Date: ${about.date}`,
    `- Machine: ${about.machine}`,
    `- Wine: ${about.wine}; compiler: ${about.compiler}`,
    `- NSIS: makensis ${about.nsis}; node ${process.version}; network: ${about.network}`,
    `- Runs: ${runs} timed runs of each program (rounds, each program once per round), ${rssRuns} for memory, ${runs} gateway waits`,
    `- The whole bench took ${about.elapsedS} s${about.built ? ', build included' : ''}`,
    '',
    '## Size (bytes)',
    '',
    '| | ours | NSIS (LZMA, solid) |',
    '|---|---:|---:|',
    row(['installer', sizes.installer, sizes.nsis]),
    row(['the four files it carries (host + icon + tauri.conf.json + 57-byte launcher)', sizes.payload, sizes.payload]),
    row(['overhead (installer minus the four files)', sizes.installer - sizes.payload, sizes.nsis - sizes.payload]),
    `| desktop host | ${sizes.host} | |`,
    '',
    '## Wall time and peak memory under Wine',
    '',
    'Wall time: from the start to the end of the `wine` command, with a warm',
    'wineserver and a desktop session held open in the prefix (tests/helpers/session.cc).',
    'Peak memory: `/usr/bin/time -f %M` around `wine`, so Wine\'s figure: the',
    `Windows program together with the Wine loader and libraries (median of ${rssRuns}).`,
    '',
    '| program | median ms | min ms | p90 ms | max ms | × floor | peak RSS KiB | × floor |',
    '|---|---:|---:|---:|---:|---:|---:|---:|',
    ...Object.entries(LABELS).map(([name, label]) => {
      const s = spread(times[name]);
      const kib = median(rss[name]);
      return row([label, ms(s.median), ms(s.min), ms(s.p90), ms(s.max), ratio(s.median, floorUs),
        Math.round(kib), ratio(kib, floorKiB)]);
    }),
    '',
    '## Gateway wait',
    '',
    'The host in launch mode, a gateway script present and no node to start,',
    'so it probes every 180 ms; the gateway starts listening at a random moment',
    `(here ${ms(delays.min)} to ${ms(delays.max)} ms) after the host started.`,
    `Browser start: median launch mode minus median --smoke-test above, ${ms(browserUs)} ms.`,
    '',
    '| from the gateway listening to | min ms | median ms | p90 ms | max ms |',
    '|---|---:|---:|---:|---:|',
    waitRow('the host\'s probe being accepted', waits.seen),
    waitRow('the host\'s exit', waits.exits),
    waitRow('the host\'s exit, minus the browser start', waits.exits.map((e) => e - browserUs)),
    '',
  ].join('\n');
}
