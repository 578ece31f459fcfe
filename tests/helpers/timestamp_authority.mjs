// An RFC 3161 time-stamping authority on 127.0.0.1 for the signing tests:
// `openssl ts -reply` answers each POSTed query.
//
//   node timestamp_authority.mjs CONFIG FOLDER [nonsense]
//
// CONFIG is an `openssl ts` configuration, FOLDER holds the queries and
// replies. Prints the port it listens on, then serves until killed. With
// "nonsense" it answers every query with bytes that are no reply.
import { execFile } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';

const [config, folder, mode] = process.argv.slice(2);
let queries = 0;

const server = http.createServer((request, response) => {
  const chunks = [];
  request.on('data', (chunk) => chunks.push(chunk));
  request.on('end', () => {
    const reply = (status, body) => {
      response.writeHead(status, { 'Content-Type': 'application/timestamp-reply' });
      response.end(body);
    };
    if (mode === 'nonsense') return reply(200, 'no timestamp here');
    const query = path.join(folder, `query-${++queries}`);
    fs.writeFileSync(query, Buffer.concat(chunks));
    execFile('openssl', ['ts', '-reply', '-config', config, '-queryfile', query, '-out', `${query}.reply`],
      (error) => (error ? reply(500, '') : reply(200, fs.readFileSync(`${query}.reply`))));
  });
});
server.listen(0, '127.0.0.1', () => console.log(server.address().port));
