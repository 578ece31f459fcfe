// A stand-in gateway for the bench: accepts TCP connections on
// 127.0.0.1:4300 and closes each one at once, like a gateway that is up but
// says nothing.
//
// Usage: node listener.mjs LOG [START_AT_US]
//   LOG          file that gets "listening US" once the port is bound, then
//                "accepted US" for the first connection (US: microseconds
//                since the Unix epoch, the clock of bench/wine_runs.mjs)
//   START_AT_US  do not bind before this moment (same clock)
// Runs until it is sent SIGTERM.
import fs from 'node:fs';
import net from 'node:net';

const [log, startAt] = process.argv.slice(2);
if (!log) {
  console.error('usage: node listener.mjs LOG [START_AT_US]');
  process.exit(2);
}

const nowUs = () => Math.round((performance.timeOrigin + performance.now()) * 1000);

let accepted = false;
const server = net.createServer((socket) => {
  if (!accepted) {
    accepted = true;
    fs.appendFileSync(log, `accepted ${nowUs()}\n`);
  }
  socket.on('error', () => {});
  socket.destroy();
});
server.on('error', (error) => {
  console.error(`listener: ${error.message}`);
  process.exit(1);
});

const listen = () =>
  server.listen({ port: 4300, host: '127.0.0.1', exclusive: true }, () => {
    fs.writeFileSync(log, `listening ${nowUs()}\n`);
  });

const waitMs = startAt ? (Number(startAt) - nowUs()) / 1000 : 0;
if (waitMs > 0) setTimeout(listen, waitMs);
else listen();
