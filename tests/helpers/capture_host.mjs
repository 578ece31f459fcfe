// Test helper, run by node.exe for Windows: a caller that starts the desktop
// host with its standard output a pipe and reads that pipe to its end, as a
// script that captures a command's output does.
//   node capture_host.mjs RESULT HOST [ARGUMENT...]
// Appends what it reads to RESULT.output as it comes, leaves RESULT.exited
// once the host has ended, and RESULT once the pipe reached end of file: JSON with the host's exit status, all it read, and
// the wall-clock times (Date.now()) of the start, the first output, the
// host's exit and the end of file.
import { spawn } from 'node:child_process';
import fs from 'node:fs';

const [result, host, ...args] = process.argv.slice(2);
const times = { start: Date.now() };
let output = '';
let status = null;
const child = spawn(host, args, { stdio: ['ignore', 'pipe', 'inherit'] });
child.stdout.setEncoding('utf8');
child.stdout.on('data', (text) => {
  times.firstOutput ??= Date.now();
  output += text;
  fs.appendFileSync(`${result}.output`, text);
});
child.on('exit', (code) => {
  times.exit = Date.now();
  status = code;
  fs.writeFileSync(`${result}.exited`, '');
});
child.stdout.on('end', () => {
  times.end = Date.now();
});
child.on('close', () => fs.writeFileSync(result, JSON.stringify({ status, output, times })));
