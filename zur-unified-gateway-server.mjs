// ZUR unified gateway (local stand-in).
//
// Serves the workspace pages that the desktop host opens in its app window:
//   /                  root page
//   /synergy-cockpit   cockpit page
//   /apps/NAME         app page (NAME is shown decoded and HTML-escaped)
// It listens on the IPv4 loopback address only, and logs its address and one
// line per request to standard output. Run with: node zur-unified-gateway-server.mjs

import http from 'node:http';

const HOST = '127.0.0.1';
const PORT = 4300;
const BASE = `http://${HOST}:${PORT}`;

const HEADERS = {
  'Content-Type': 'text/html; charset=utf-8',
  'Content-Security-Policy':
    "default-src 'none'; script-src 'none'; style-src 'unsafe-inline'; img-src data:; " +
    "base-uri 'none'; form-action 'none'; frame-ancestors 'none'",
  'X-Content-Type-Options': 'nosniff',
  'Cache-Control': 'no-store',
  'Referrer-Policy': 'no-referrer',
};

const STYLE = `
  :root { color-scheme: dark; }
  * { box-sizing: border-box; }
  body { margin: 0; min-height: 100vh; background: #0f1420; color: #e6e9f0;
         font: 16px/1.5 system-ui, "Segoe UI", Roboto, "DejaVu Sans", sans-serif; }
  main { max-width: 46rem; margin: 0 auto; padding: 3rem 1.5rem; }
  h1 { margin: 0 0 .25rem; font-size: 2rem; letter-spacing: .06em; color: #7fd1ff;
       overflow-wrap: anywhere; }
  .sub { margin: 0 0 2rem; color: #9aa4b8; }
  section { background: #182033; border: 1px solid #2a3550; border-radius: 10px;
            padding: 1.25rem 1.5rem; margin: 0 0 1.25rem; }
  h2 { margin: 0 0 .75rem; font-size: 1.1rem; color: #ffd479; }
  a { color: #8ab4ff; }
  code { background: #0b0f18; border-radius: 4px; padding: .1rem .35rem; color: #c3e88d;
         overflow-wrap: anywhere; }
  ul { margin: 0; padding-left: 1.25rem; }
  li { margin: .3rem 0; }
  dl { display: grid; grid-template-columns: max-content 1fr; gap: .4rem 1.25rem; margin: 0; }
  dt { color: #9aa4b8; }
  dd { margin: 0; overflow-wrap: anywhere; }
  .ok { color: #7ee787; }
  footer { margin-top: 2rem; color: #6b7590; font-size: .85rem; }
`;

const escapeHtml = (text) =>
  String(text).replace(/[&<>"']/g, (c) =>
    ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;', "'": '&#39;' })[c]);

// Percent-decoding that never throws: a malformed sequence leaves the text as received.
const decode = (raw) => {
  try {
    return decodeURIComponent(raw);
  } catch {
    return raw;
  }
};

// `title` is plain text; `body` is HTML that the caller has already escaped.
const page = (title, body) => `<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>${escapeHtml(title)} · ZUR Vedozaruz</title>
<style>${STYLE}</style>
</head>
<body>
<main>
${body}
<footer>ZUR unified gateway · ${BASE}/</footer>
</main>
</body>
</html>
`;

const rootPage = () => page('Workspace', `
<h1>ZUR WORKSPACE PALISADE-34</h1>
<p class="sub">Local gateway for the ZUR Vedozaruz desktop.</p>
<section>
  <h2>Cockpit</h2>
  <p><a href="/synergy-cockpit">Open the synergy cockpit</a></p>
</section>
<section>
  <h2>App pages</h2>
  <p>Each app has its own page at <code>/apps/NAME</code>; the name is percent-decoded.</p>
  <ul>
    <li><a href="/apps/alpha"><code>/apps/alpha</code></a></li>
    <li><a href="/apps/ledger%20view"><code>/apps/ledger%20view</code></a> — shown as “ledger view”</li>
    <li><a href="/apps/team/reports"><code>/apps/team/reports</code></a> — names may hold slashes</li>
  </ul>
</section>`);

const cockpitPage = (startedAt) => page('Synergy Cockpit', `
<h1>Synergy Cockpit</h1>
<p class="sub">Workspace PALISADE-34 at a glance.</p>
<section>
  <h2>Gateway</h2>
  <dl>
    <dt>Status</dt><dd class="ok">Online</dd>
    <dt>Address</dt><dd><code>${BASE}/</code></dd>
    <dt>Started</dt><dd>${escapeHtml(startedAt)}</dd>
    <dt>Node.js</dt><dd>${escapeHtml(process.version)}</dd>
  </dl>
</section>
<section>
  <h2>Navigation</h2>
  <ul>
    <li><a href="/">Workspace home</a></li>
    <li><a href="/apps/alpha">App “alpha”</a></li>
  </ul>
</section>`);

const appPage = (rawName, rawQuery) => {
  const name = decode(rawName);
  const heading = name === '' ? 'No app named' : escapeHtml(name);
  const note = name === ''
    ? '<p>The address names no app. App pages live at <code>/apps/NAME</code>.</p>'
    : `<dl><dt>App name</dt><dd><code>${escapeHtml(name)}</code></dd>` +
      (rawQuery === null ? '' : `<dt>Query</dt><dd><code>${escapeHtml(decode(rawQuery))}</code></dd>`) +
      '</dl>';
  return page(name === '' ? 'App' : `App ${name}`, `
<h1>${heading}</h1>
<p class="sub">App page</p>
<section>
  ${note}
</section>
<p><a href="/">Workspace home</a> · <a href="/synergy-cockpit">Synergy cockpit</a></p>`);
};

const notFoundPage = (path) => page('Not found', `
<h1>Not found</h1>
<p class="sub">Nothing is served at <code>${escapeHtml(decode(path))}</code>.</p>
<p><a href="/">Workspace home</a></p>`);

const methodPage = (method) => page('Method not allowed', `
<h1>Method not allowed</h1>
<p class="sub"><code>${escapeHtml(method)}</code> is not supported here; use GET or HEAD.</p>`);

const startedAt = new Date().toISOString();

const route = (method, target) => {
  if (method !== 'GET' && method !== 'HEAD') return [405, methodPage(method)];
  // The raw request target is split by hand so that app names keep their exact bytes.
  const q = target.indexOf('?');
  const path = q === -1 ? target : target.slice(0, q);
  const query = q === -1 ? null : target.slice(q + 1);
  if (path === '/') return [200, rootPage()];
  if (path === '/synergy-cockpit') return [200, cockpitPage(startedAt)];
  if (path.startsWith('/apps/')) return [200, appPage(path.slice('/apps/'.length), query)];
  return [404, notFoundPage(path)];
};

// The desktop host hands the gateway its own standard output and error and
// ends at once; the gateway runs on. What they were may break after the
// host has gone: a pipe whose reader has closed (EPIPE), a console that
// closed with the host. A stream that failed is not written to again (Node
// drops writes to a destroyed stream), and the failure ends the log, not the
// gateway: without a listener it would be an unhandled 'error' event.
for (const stream of [process.stdout, process.stderr]) stream.on('error', () => {});

const server = http.createServer((req, res) => {
  const [status, html] = route(req.method, req.url);
  const body = Buffer.from(html, 'utf8');
  const headers = { ...HEADERS, 'Content-Length': body.length };
  if (status === 405) headers.Allow = 'GET, HEAD';
  res.on('finish', () => console.log(`${req.method} ${req.url} ${status}`));
  res.writeHead(status, headers);
  res.end(req.method === 'HEAD' ? undefined : body);
});

server.on('error', (err) => {
  if (err.code === 'EADDRINUSE') {
    console.error(`zur-gateway: ${HOST}:${PORT} is already in use; is another gateway running?`);
  } else {
    console.error(`zur-gateway: cannot listen on ${HOST}:${PORT}: ${err.message}`);
  }
  process.exit(1);
});

server.listen(PORT, HOST, () => console.log(`zur-gateway: listening on ${BASE}/`));

for (const signal of ['SIGINT', 'SIGTERM']) {
  process.on(signal, () => {
    server.close();
    server.closeAllConnections?.();
    process.exit(0);
  });
}
