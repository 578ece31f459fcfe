// The signed build end to end: a throwaway CA and code-signing certificate,
// the one build command run on a copy of the sources, then the signatures,
// the embedded host, a second build's bytes, the programs under Wine, and
// certificates the build must refuse.
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { HOST, INSTALLER_NAME as INSTALLER } from '../lib/expected.mjs';
import { needs, unlessSkipped } from '../lib/road.mjs';
import { launch, programs, sourceDir, tempDir, windowsPath } from '../lib/wine.mjs';
const PASSWORD = 'pass word "1"';
// Within the certificates' validity, fixed for both builds of this run.
const SIGNING_TIME = Math.floor(Date.now() / 1000);

let work;
let copy;
let ca;
let pfx;

const openssl = (...args) => execFileSync('openssl', args, { cwd: work, stdio: ['ignore', 'ignore', 'pipe'] });

/** A leaf certificate for `usage` signed by the CA, with its key and the CA in a
 * PKCS#12 file; returns the file's path. */
function leafCertificate(name, usage) {
  fs.writeFileSync(path.join(work, `${name}.ext`),
    `basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=${usage}\n`);
  openssl('req', '-newkey', 'rsa:2048', '-nodes', '-keyout', `${name}.key`, '-out', `${name}.csr`, '-subj', `/CN=${name}`);
  openssl('x509', '-req', '-in', `${name}.csr`, '-CA', 'ca.crt', '-CAkey', 'ca.key', '-CAcreateserial', '-days', '2',
    '-extfile', `${name}.ext`, '-out', `${name}.crt`);
  openssl('pkcs12', '-export', '-inkey', `${name}.key`, '-in', `${name}.crt`, '-certfile', 'ca.crt',
    '-passout', `pass:${PASSWORD}`, '-out', `${name}.p12`);
  return path.join(work, `${name}.p12`);
}

/**
 * A folder of stand-ins for `names`: each notes in the file $ZUR_TEST_LEAKS
 * whether the password reached it, then runs the real command.
 */
function watchers(names) {
  const bin = fs.mkdtempSync(path.join(work, 'watching-'));
  for (const name of names) {
    fs.writeFileSync(path.join(bin, name),
      `#!/bin/sh\n[ -z "\${ZUR_SIGN_PASSWORD+set}" ] || echo ${name} >>"$ZUR_TEST_LEAKS"\nPATH=\${PATH#*:} exec ${name} "$@"\n`,
      { mode: 0o755 });
  }
  return bin;
}

/** `scripts/build-all.sh` in the copy with the signing variables `sign`. */
function build(sign) {
  const env = { ...process.env, SOURCE_DATE_EPOCH: String(SIGNING_TIME) };
  for (const name of ['ZUR_SIGN_PFX', 'ZUR_SIGN_PASSWORD', 'ZUR_SIGN_TIMESTAMP_URL']) delete env[name];
  return spawnSync(path.join(copy, 'scripts', 'build-all.sh'), { cwd: work, env: { ...env, ...sign }, encoding: 'utf8' });
}

const dist = (name) => path.join(copy, 'dist', name);
const distNames = () => fs.readdirSync(path.join(copy, 'dist')).sort();

const SKIP = needs('linux-build');

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

after(unlessSkipped(SKIP, () => fs.rmSync(work, { recursive: true, force: true, maxRetries: 5 })));

test('a signed build verifies, carries the signed host, repeats byte for byte and runs', { skip: SKIP }, async () => {
  // The build tool and the compiler, found on PATH when the copy is
  // configured, must not get the password.
  const leaks = path.join(work, 'build-leaks');
  const first = build({ ZUR_SIGN_PFX: pfx, ZUR_SIGN_PASSWORD: PASSWORD, ZUR_TEST_LEAKS: leaks,
    PATH: `${watchers(['ninja', 'clang++'])}:${process.env.PATH}` });
  assert.equal(first.status, 0, `the signed build failed:\n${first.stderr}`);
  assert.ok(!fs.existsSync(leaks), `the password reached ${fs.existsSync(leaks) && fs.readFileSync(leaks, 'utf8')}`);
  const host = fs.readFileSync(dist(HOST));
  const installer = fs.readFileSync(dist(INSTALLER));

  for (const name of [HOST, INSTALLER]) {
    const verify = spawnSync('osslsigncode', ['verify', '-CAfile', ca, '-in', dist(name)], { encoding: 'utf8' });
    assert.equal(verify.status, 0, `${name} does not verify:\n${verify.stdout}${verify.stderr}`);
    assert.match(verify.stdout, /Signature verification: ok/, name);
    const signed = verify.stdout.match(/Signing time: (.*)/);
    assert.equal(Date.parse(signed?.[1]) / 1000, SIGNING_TIME, `${name}: the signing time is SOURCE_DATE_EPOCH`);
  }
  const sums = [INSTALLER, HOST].map((n) => `${crypto.createHash('sha256').update(fs.readFileSync(dist(n))).digest('hex')}  ${n}\n`);
  assert.equal(fs.readFileSync(dist('SHA256SUMS'), 'utf8'), sums.join(''), 'SHA256SUMS lists the signed files');

  // A second build that links and signs both programs again.
  for (const name of [HOST, INSTALLER]) fs.rmSync(path.join(copy, 'build', 'win64', 'desktop-tauri', 'native-win64', name));
  const second = build({ ZUR_SIGN_PFX: pfx, ZUR_SIGN_PASSWORD: PASSWORD });
  assert.equal(second.status, 0, `the second signed build failed:\n${second.stderr}`);
  assert.ok(fs.readFileSync(dist(HOST)).equals(host), 'the host is the same on a second build');
  assert.ok(fs.readFileSync(dist(INSTALLER)).equals(installer), 'the installer is the same on a second build');

  // Under Wine the signed programs report what the unsigned ones do, but for
  // the length of the host the installer carries.
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

test('traced, signing shows neither the password nor the key, and only openssl and osslsigncode get the password',
  { skip: SKIP }, (t) => {
  // Stand-ins for the other commands sign.sh runs.
  const bin = watchers(['grep', 'chmod', 'mv', 'rm', 'head', 'basename']);
  const leaks = path.join(work, 'leaks');
  const keyLines = fs.readFileSync(path.join(work, 'signer.key'), 'utf8').split('\n').filter((l) => l.length >= 40);
  const exe = path.join(work, 'traced.exe');
  fs.copyFileSync(programs.host, exe);
  const env = { ...process.env, PATH: `${bin}:${process.env.PATH}`, ZUR_SIGN_PASSWORD: PASSWORD, ZUR_TEST_LEAKS: leaks };
  for (const args of [['--check', pfx], [pfx, exe, String(SIGNING_TIME)]]) {
    const run = spawnSync('bash', ['-x', path.join(copy, 'scripts', 'sign.sh'), ...args], { env, encoding: 'utf8' });
    assert.equal(run.status, 0, run.stderr);
    assert.ok(run.stderr.includes('+ '), 'traced');
    assert.ok(!run.stderr.includes(PASSWORD), `${args[0]}: the password is in the trace`);
    for (const line of keyLines) assert.ok(!run.stderr.includes(line), `${args[0]}: the key is in the trace`);
  }
  assert.equal(spawnSync('osslsigncode', ['verify', '-CAfile', ca, '-in', exe]).status, 0, 'signed');
  assert.ok(!fs.existsSync(leaks), `the password reached ${fs.existsSync(leaks) && fs.readFileSync(leaks, 'utf8')}`);
  t.after(() => fs.rmSync(bin, { recursive: true, force: true }));
});

test('a certificate the build cannot sign with fails it with one line and leaves dist/ empty', { skip: SKIP }, () => {
  const cases = [
    { name: 'wrong password', sign: { ZUR_SIGN_PFX: pfx, ZUR_SIGN_PASSWORD: 'wrong' }, says: /wrong ZUR_SIGN_PASSWORD/ },
    { name: 'no password', sign: { ZUR_SIGN_PFX: pfx }, says: /wrong ZUR_SIGN_PASSWORD/ },
    { name: 'missing file', sign: { ZUR_SIGN_PFX: path.join(work, 'missing.p12'), ZUR_SIGN_PASSWORD: PASSWORD },
      says: /cannot read the certificate file .*missing\.p12/ },
    { name: 'a TLS server certificate',
      sign: { ZUR_SIGN_PFX: leafCertificate('server', 'serverAuth'), ZUR_SIGN_PASSWORD: PASSWORD },
      says: /cannot sign code/ },
  ];
  const good = Object.fromEntries([HOST, INSTALLER, 'SHA256SUMS'].map((n) => [n, fs.readFileSync(dist(n))]));
  for (const c of cases) {
    // dist/ as the last good build left it.
    for (const [name, bytes] of Object.entries(good)) fs.writeFileSync(dist(name), bytes);
    const run = build(c.sign);
    assert.notEqual(run.status, 0, c.name);
    assert.match(run.stderr, /^sign: [^\n]+\n$/, `${c.name}: one line on standard error`);
    assert.match(run.stderr, c.says, c.name);
    assert.deepEqual(distNames(), [], `${c.name}: nothing in dist/`);
  }
});
