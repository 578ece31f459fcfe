// The signed build end to end: a throwaway CA and code-signing certificate, the one build command run on a
// copy of the sources, then the signatures, the embedded host, a second build's bytes, the programs under Wine,
// and certificates the build must refuse. Then a key in a token (SoftHSM) that signs with timestamps from a
// local authority, and verify-release.sh.
import assert from 'node:assert/strict';
import { execFileSync, spawn, spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { HOST, INSTALLER_NAME as INSTALLER } from '../lib/expected.mjs';
import { needs, unlessSkipped } from '../lib/road.mjs';
import { launch, programs, sourceDir, tempDir, windowsPath } from '../lib/wine.mjs';

const PASSWORD = 'pass word "1"';
const PIN = '2468 "pin"';
const SOFTHSM = '/usr/lib/softhsm/libsofthsm2.so';
const SPY = '/usr/lib/x86_64-linux-gnu/pkcs11-spy.so';
// Within the certificates' validity, fixed for both builds of this run.
const SIGNING_TIME = Math.floor(Date.now() / 1000);
const SKIP = needs('linux-build');

let work, copy, ca, pfx, authority, authorityUrl, nonsenseUrl;

const openssl = (...args) => execFileSync('openssl', args, { cwd: work, stdio: ['ignore', 'ignore', 'pipe'] });
const dist = (name) => path.join(copy, 'dist', name);

/** The CA's leaf certificate for `usage` (an extendedKeyUsage value) on the request `${name}.csr`, written with
 * `out` (default: PEM, `${name}.crt`); with `subject`, the request and its key `${name}.key` are made first. */
function certify(name, usage, { subject, out = ['-out', `${name}.crt`] } = {}) {
  fs.writeFileSync(path.join(work, `${name}.ext`),
    `basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=${usage}\n`);
  if (subject) openssl('req', '-newkey', 'rsa:2048', '-nodes', '-keyout', `${name}.key`, '-out', `${name}.csr`, '-subj', subject);
  openssl('x509', '-req', '-in', `${name}.csr`, '-CA', 'ca.crt', '-CAkey', 'ca.key', '-CAcreateserial', '-days', '2',
    '-extfile', `${name}.ext`, ...out);
}

/** A PKCS#12 file of a leaf certificate for `usage` from the CA, its key and the CA; returns its path. */
function leafCertificate(name, usage) {
  certify(name, usage, { subject: `/CN=${name}` });
  openssl('pkcs12', '-export', '-inkey', `${name}.key`, '-in', `${name}.crt`, '-certfile', 'ca.crt',
    '-passout', `pass:${PASSWORD}`, '-out', `${name}.p12`);
  return path.join(work, `${name}.p12`);
}

/** The variables that put stand-ins for `names` first on PATH: each notes in the file $ZUR_TEST_LEAKS
 * whether the password reached it, then runs the real command. */
function watchers(names) {
  const bin = fs.mkdtempSync(path.join(work, 'watching-'));
  for (const name of names) {
    fs.writeFileSync(path.join(bin, name),
      `#!/bin/sh\n[ -z "\${ZUR_SIGN_PASSWORD+set}" ] || echo ${name} >>"$ZUR_TEST_LEAKS"\nPATH=\${PATH#*:} exec ${name} "$@"\n`,
      { mode: 0o755 });
  }
  return { PATH: `${bin}:${process.env.PATH}`, ZUR_TEST_LEAKS: `${bin}.leaks` };
}

/** The commands of `watched` (see watchers) that the password reached, one a line. */
const reached = ({ ZUR_TEST_LEAKS: leaks }) => (fs.existsSync(leaks) ? fs.readFileSync(leaks, 'utf8') : '');

/** The signing variables for key `key` of the token, through `module`, with `pin`. */
const tokenSigner = (module, { key = 'signer', pin = PIN } = {}) => ({ ZUR_SIGN_PKCS11_MODULE: module,
  ZUR_SIGN_KEY: `pkcs11:token=zur;object=${key};type=private`, ZUR_SIGN_CERT: 'pkcs11:token=zur;object=signer;type=cert',
  ZUR_SIGN_PASSWORD: pin });

/** `osslsigncode verify` of `file` against the CA, with `options` before the file. */
const verify = (file, ...options) => spawnSync('osslsigncode', ['verify', '-CAfile', ca, ...options, '-in', file],
  { encoding: 'utf8' });

/** `scripts/build-all.sh` in the copy with the signing variables `sign`. */
function build(sign) {
  const env = { ...process.env, SOURCE_DATE_EPOCH: String(SIGNING_TIME) };
  for (const name of ['ZUR_SIGN_PFX', 'ZUR_SIGN_PKCS11_MODULE', 'ZUR_SIGN_KEY', 'ZUR_SIGN_CERT', 'ZUR_SIGN_PASSWORD',
    'ZUR_SIGN_TIMESTAMP_URL']) delete env[name];
  return spawnSync(path.join(copy, 'scripts', 'build-all.sh'), { cwd: work, env: { ...env, ...sign }, encoding: 'utf8' });
}

/** A SoftHSM token "zur" holding an RSA key "signer" with its certificate
 * from the CA, and an EC key "ec". Both keys are made inside the token. */
function token() {
  fs.mkdirSync(path.join(work, 'tokens'));
  fs.writeFileSync(path.join(work, 'softhsm2.conf'), `directories.tokendir = ${path.join(work, 'tokens')}\n`);
  process.env.SOFTHSM2_CONF = path.join(work, 'softhsm2.conf');
  const tool = (...args) => execFileSync('pkcs11-tool', ['--module', SOFTHSM, '--token-label', 'zur', '--login', '--pin', PIN,
    ...args], { stdio: ['ignore', 'pipe', 'pipe'], encoding: 'utf8' });
  execFileSync('softhsm2-util', ['--init-token', '--free', '--label', 'zur', '--pin', PIN, '--so-pin', '13579'],
    { stdio: 'ignore' });
  tool('--keypairgen', '--key-type', 'rsa:2048', '--id', '01', '--label', 'signer');
  tool('--keypairgen', '--key-type', 'EC:prime256v1', '--id', '02', '--label', 'ec');
  execFileSync('openssl', ['req', '-new', '-engine', 'pkcs11', '-keyform', 'engine', '-key',
    'pkcs11:token=zur;object=signer;type=private', '-passin', 'env:ZUR_TEST_PIN', '-subj', '/CN=Token Signer',
    '-out', 'token.csr'], { cwd: work, stdio: ['ignore', 'ignore', 'pipe'], env: { ...process.env, ZUR_TEST_PIN: PIN } });
  certify('token', 'codeSigning', { out: ['-outform', 'DER', '-out', 'token.der'] });
  tool('--write-object', path.join(work, 'token.der'), '--type', 'cert', '--id', '01', '--label', 'signer');
  return tool('--list-objects', '--type', 'privkey');
}

/** A time-stamping authority certified by the CA, and one that answers nonsense; resolves their URLs. */
async function timestampAuthorities() {
  certify('tsa', 'critical,timeStamping', { subject: '/CN=Test TSA' });
  const config = path.join(work, 'tsa.cnf');
  fs.writeFileSync(config, ['[ tsa ]', 'default_tsa = authority', '[ authority ]', `serial = ${work}/tsa.serial`,
    `signer_cert = ${work}/tsa.crt`, `certs = ${ca}`, `signer_key = ${work}/tsa.key`, 'signer_digest = sha256',
    'default_policy = 1.3.6.1.4.1.4146.2.3', 'digests = sha256', 'ess_cert_id_alg = sha256', ''].join('\n'));
  fs.mkdirSync(path.join(work, 'queries'));
  const start = (...mode) => new Promise((resolve, reject) => {
    const server = spawn(process.execPath, [path.join(sourceDir(), 'tests', 'helpers', 'timestamp_authority.mjs'), config,
      path.join(work, 'queries'), ...mode], { stdio: ['ignore', 'pipe', 'inherit'] });
    server.on('error', reject);
    server.stdout.once('data', (port) => resolve({ server, url: `http://127.0.0.1:${String(port).trim()}` }));
  });
  return [await start(), await start('nonsense')];
}

before(unlessSkipped(SKIP, () => {
  work = tempDir('signed-build');
  copy = path.join(work, 'src');
  fs.mkdirSync(copy);
  // The files of the tree as it stands, without build outputs or history.
  execFileSync('sh', ['-c', 'git ls-files -co --exclude-standard -z | tar --null -T - -cf - | tar -C "$1" -xf -', 'sh', copy],
    { cwd: sourceDir() });
  openssl('req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', 'ca.key', '-out', 'ca.crt', '-days', '2',
    '-subj', '/CN=Throwaway Test CA', '-addext', 'basicConstraints=critical,CA:TRUE',
    '-addext', 'keyUsage=critical,keyCertSign,cRLSign');
  ca = path.join(work, 'ca.crt');
  pfx = leafCertificate('signer', 'codeSigning');
}));

after(unlessSkipped(SKIP, () => {
  for (const a of authority ?? []) a.server.kill();
  fs.rmSync(work, { recursive: true, force: true, maxRetries: 5 });
}));

test('a signed build verifies, carries the signed host, repeats byte for byte and runs', { skip: SKIP }, async () => {
  // The build tool and the compiler, found on PATH when the copy is configured, must not get the password.
  const watched = watchers(['ninja', 'clang++']);
  const first = build({ ZUR_SIGN_PFX: pfx, ZUR_SIGN_PASSWORD: PASSWORD, ...watched });
  assert.equal(first.status, 0, `the signed build failed:\n${first.stderr}`);
  assert.equal(reached(watched), '', 'the password reached these commands');
  const host = fs.readFileSync(dist(HOST));
  const installer = fs.readFileSync(dist(INSTALLER));

  for (const name of [HOST, INSTALLER]) {
    const { status, stdout, stderr } = verify(dist(name));
    assert.equal(status, 0, `${name} does not verify:\n${stdout}${stderr}`);
    assert.match(stdout, /Signature verification: ok/, name);
    const signed = stdout.match(/Signing time: (.*)/);
    assert.equal(Date.parse(signed?.[1]) / 1000, SIGNING_TIME, `${name}: the signing time is SOURCE_DATE_EPOCH`);
  }
  const sums = [INSTALLER, HOST].map((n) => `${crypto.createHash('sha256').update(fs.readFileSync(dist(n))).digest('hex')}  ${n}\n`);
  assert.equal(fs.readFileSync(dist('SHA256SUMS'), 'utf8'), sums.join(''), 'SHA256SUMS lists the signed files');
  const manifest = JSON.parse(fs.readFileSync(dist('zur-vedozaruz.json'), 'utf8'));
  assert.equal(`${manifest.architecture['64bit'].hash}  ${INSTALLER}\n`, sums[0], 'the Scoop manifest names the signed installer');

  // A second build that links and signs both programs again.
  for (const name of [HOST, INSTALLER]) fs.rmSync(path.join(copy, 'build', 'win64', 'desktop-tauri', 'native-win64', name));
  const second = build({ ZUR_SIGN_PFX: pfx, ZUR_SIGN_PASSWORD: PASSWORD });
  assert.equal(second.status, 0, `the second signed build failed:\n${second.stderr}`);
  assert.ok(fs.readFileSync(dist(HOST)).equals(host), 'the host is the same on a second build');
  assert.ok(fs.readFileSync(dist(INSTALLER)).equals(installer), 'the installer is the same on a second build');

  // Under Wine the signed programs report what the unsigned ones do, but for the carried host's length.
  const report = async (exe, option) => {
    const run = await launch({ cmd: `"${windowsPath(exe)}" ${option}` });
    assert.equal(run.status, 0, `${exe} ${option}: ${run.stderr}`);
    return run.stdout.toString('utf8');
  };
  assert.equal(await report(dist(INSTALLER), '--verify-bundle'),
    (await report(programs.installer, '--verify-bundle'))
      .replace(/"embeddedExeBytes":\d+/, `"embeddedExeBytes":${host.length}`));
  assert.equal(await report(dist(HOST), '--smoke-test'), await report(programs.host, '--smoke-test'));

  const target = path.join(work, 'installed');
  const install = await launch({ cmd: `"${windowsPath(dist(INSTALLER))}" --install-dir "${windowsPath(target)}"` });
  assert.equal(install.status, 0, install.stderr.toString());
  assert.ok(fs.readFileSync(path.join(target, HOST)).equals(host), 'the installed host is the signed host');
});

test('a key in a token signs both programs, stamped, and verify-release.sh proves or refutes the release', { skip: SKIP },
  async () => {
  const keys = token();
  assert.match(keys, /label: +signer\n(?:.*\n)*? +Access: +sensitive, always sensitive, never extractable/,
    'the key was made in the token and never leaves it');
  authority = await timestampAuthorities();
  [{ url: authorityUrl }, { url: nonsenseUrl }] = authority;

  // Only the signing commands get the PIN: not the build tool, the compiler, or the module check.
  const watched = watchers(['ninja', 'clang++', 'pkcs11-tool']);
  const run = build({ ...tokenSigner(SOFTHSM), ZUR_SIGN_TIMESTAMP_URL: authorityUrl, ...watched });
  assert.equal(run.status, 0, `the build signed in the token failed:\n${run.stderr}`);
  assert.equal(reached(watched), '', 'the PIN reached these commands');
  for (const name of [HOST, INSTALLER]) {
    // verify exits 0 even when the timestamp does not verify: read its lines.
    const { stdout, stderr } = verify(dist(name), '-TSA-CAfile', ca);
    assert.match(stdout, /^Signature verification: ok$/m, `${name}:\n${stdout}${stderr}`);
    assert.match(stdout, /^Timestamp Server Signature verification: ok$/m, `${name}: the timestamp`);
    assert.match(stdout, /Subject: \/CN=Token Signer/, `${name}: signed by the key in the token`);
  }

  // The stamped release is these sources, and the installer carries the signed host that dist/ holds;
  // checked in the tree of the build, to rebuild only what signing changed.
  const verifyRelease = (dir) => spawnSync(path.join(copy, 'scripts', 'verify-release.sh'), [dir],
    { env: { ...process.env, ZUR_RELEASE_CHECK_DIR: path.join(copy, 'build', 'win64') }, encoding: 'utf8' });
  const accepted = verifyRelease(path.join(copy, 'dist'));
  assert.equal(accepted.status, 0, `${accepted.stdout}${accepted.stderr}`);
  assert.match(accepted.stdout, new RegExp(`^same +${HOST} published beside the installer and the host it carries$`, 'm'));
  for (const name of [INSTALLER, `${HOST} carried by the installer`]) {
    assert.match(accepted.stdout, new RegExp(`^signature +${name}: signed, timestamped \\d{4}-\\d\\d-\\d\\dT[\\d:]{8}Z$`, 'm'),
      `${name}: signed and stamped`);
  }
  assert.match(accepted.stdout, /^verdict +the release is these sources$/m);

  // Bytes these sources never made, wherever they hide: refused, and said
  // where. A file that is no PE image cannot be checked at all.
  const installer = fs.readFileSync(dist(INSTALLER));
  const host = fs.readFileSync(dist(HOST));
  const at = installer.indexOf(host);
  assert.ok(at > 0, 'the installer carries the signed host');
  const pe = host.readUInt32LE(0x3c);
  /** `image` with its certificate table (its entry at `entry`) grown by 16 bytes of what follows it. */
  const growTable = (image, entry, base = 0) => {
    const grown = Buffer.from(image);
    const size = grown.readUInt32LE(entry + 4) + 16;
    grown.writeUInt32LE(size, entry + 4);
    grown.writeUInt32LE(size, base + grown.readUInt32LE(entry));
    return grown;
  };
  const installerEntry = installer.readUInt32LE(0x3c) + 24 + 144;
  const codeChanged = Buffer.from(installer);
  codeChanged[at + host.readUInt32LE(pe + 24 + host.readUInt16LE(pe + 20) + 20) + 64] ^= 1;
  const cases = [
    { name: "a byte of the carried host's code", bytes: codeChanged, status: 1,
      says: new RegExp(`^DIFFERENT +${HOST} carried by the installer .*: it differs from byte 0x[0-9a-f]+ on, in \\.text$`, 'm') },
    { name: 'bytes after the signature', bytes: Buffer.concat([installer, Buffer.from('hidden')]), status: 1,
      says: new RegExp(`^DIFFERENT +${INSTALLER} has 6 bytes after its certificate table$`, 'm') },
    { name: "bytes in the installer's certificate table", bytes: growTable(Buffer.concat([installer, Buffer.alloc(16)]), installerEntry),
      status: 1, says: new RegExp(`^DIFFERENT +${INSTALLER} has \\d+ bytes in its certificate table after the signature$`, 'm') },
    { name: "bytes in the carried host's certificate table", bytes: growTable(installer, at + pe + 24 + 144, at), status: 1,
      says: new RegExp(`^DIFFERENT +${HOST} carried by the installer has \\d+ bytes in its certificate table after the signature$`, 'm') },
    { name: 'an installer that carries no host', bytes: host, status: 1,
      says: new RegExp(`^DIFFERENT +${INSTALLER} carries no host built from these sources`, 'm') },
    { name: 'no PE image', bytes: Buffer.from('MZ, and nothing more'), status: 2, stderr: /^verify-release: .*not a valid PE image[^\n]*\n$/ },
  ];
  for (const c of cases) {
    const tampered = fs.mkdtempSync(path.join(work, 'tampered-'));
    fs.writeFileSync(path.join(tampered, INSTALLER), c.bytes);
    const refused = verifyRelease(tampered);
    assert.equal(refused.status, c.status, `${c.name}:\n${refused.stdout}${refused.stderr}`);
    if (c.stderr) {
      assert.match(refused.stderr, c.stderr, c.name);
      continue;
    }
    assert.match(refused.stdout, c.says, `${c.name}:\n${refused.stdout}`);
    assert.match(refused.stdout, /^verdict +the release is NOT these sources/m, c.name);
  }
});

test('traced, signing shows neither the password nor the key, and only openssl and osslsigncode get the password',
  { skip: SKIP }, () => {
  // Stand-ins for the other commands sign.sh runs.
  const watched = watchers(['grep', 'chmod', 'mv', 'rm', 'head', 'basename']);
  const keyLines = fs.readFileSync(path.join(work, 'signer.key'), 'utf8').split('\n').filter((l) => l.length >= 40);
  const exe = path.join(work, 'traced.exe');
  fs.copyFileSync(programs.host, exe);
  const env = { ...process.env, ...watched, ZUR_SIGN_PASSWORD: PASSWORD };
  for (const args of [['--check', pfx], [pfx, exe, String(SIGNING_TIME)]]) {
    const run = spawnSync('bash', ['-x', path.join(copy, 'scripts', 'sign.sh'), ...args], { env, encoding: 'utf8' });
    assert.equal(run.status, 0, run.stderr);
    assert.ok(run.stderr.includes('+ '), 'traced');
    assert.ok(!run.stderr.includes(PASSWORD), `${args[0]}: the password is in the trace`);
    for (const line of keyLines) assert.ok(!run.stderr.includes(line), `${args[0]}: the key is in the trace`);
  }
  assert.equal(verify(exe).status, 0, 'signed');
  assert.equal(reached(watched), '', 'the password reached these commands');
});

test('a signer the build cannot sign with fails it with one line and leaves dist/ empty', { skip: SKIP }, () => {
  // pkcs11-spy passes every call on to SoftHSM and logs it.
  process.env.PKCS11SPY = SOFTHSM;
  process.env.PKCS11SPY_OUTPUT = path.join(work, 'pkcs11-calls.log');
  const cases = [
    { name: 'wrong password', sign: { ZUR_SIGN_PFX: pfx, ZUR_SIGN_PASSWORD: 'wrong' }, says: /wrong ZUR_SIGN_PASSWORD/ },
    { name: 'no password', sign: { ZUR_SIGN_PFX: pfx }, says: /wrong ZUR_SIGN_PASSWORD/ },
    { name: 'missing file', sign: { ZUR_SIGN_PFX: path.join(work, 'missing.p12'), ZUR_SIGN_PASSWORD: PASSWORD },
      says: /cannot read the certificate file .*missing\.p12/ },
    { name: 'a TLS server certificate', sign: { ZUR_SIGN_PFX: leafCertificate('server', 'serverAuth'), ZUR_SIGN_PASSWORD: PASSWORD },
      says: /cannot sign code/ },
    // A wrong PIN is tried once: the module counts the logins.
    { name: 'wrong PIN', sign: tokenSigner(SPY, { pin: 'wrong' }), says: /refused the PIN/, logins: 1 },
    { name: 'an EC key', sign: tokenSigner(SOFTHSM, { key: 'ec' }),
      says: /is not RSA .*Smart App Control accepts RSA signatures only/ },
    { name: 'a module that is none', sign: tokenSigner(ca), says: /cannot load the PKCS#11 module/ },
    { name: 'no such key', sign: tokenSigner(SOFTHSM, { key: 'nothing' }),
      says: /no token holds a private key that matches ZUR_SIGN_KEY/ },
    { name: 'no tool to make the throwaway image with',
      sign: { ...tokenSigner(SOFTHSM), ZUR_PECHECK: path.join(work, 'missing-pecheck') },
      says: /no .*missing-pecheck to make the throwaway image with/ },
    { name: 'a timestamp server that answers nonsense',
      sign: { ...tokenSigner(SOFTHSM), ZUR_SIGN_TIMESTAMP_URL: nonsenseUrl }, says: /timestamp server .* gave no timestamp/ },
  ];
  const good = Object.fromEntries([HOST, INSTALLER, 'SHA256SUMS'].map((n) => [n, fs.readFileSync(dist(n))]));
  for (const c of cases) {
    // dist/ as the last good build left it.
    for (const [name, bytes] of Object.entries(good)) fs.writeFileSync(dist(name), bytes);
    const run = build(c.sign);
    assert.notEqual(run.status, 0, c.name);
    assert.match(run.stderr, /^sign: [^\n]+\n$/, `${c.name}: one line on standard error`);
    assert.match(run.stderr, c.says, c.name);
    assert.deepEqual(fs.readdirSync(path.join(copy, 'dist')), [], `${c.name}: nothing in dist/`);
    if (c.logins) {
      const calls = fs.readFileSync(process.env.PKCS11SPY_OUTPUT, 'utf8').match(/\bC_Login\b/g) ?? [];
      assert.equal(calls.length, c.logins, `${c.name}: logins`);
    }
  }
});
