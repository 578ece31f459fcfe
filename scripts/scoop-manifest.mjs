// Writes the Scoop manifest of a release: Scoop downloads the installer into
// the app's folder, runs it with `--install-dir $dir` (so the files and the
// receipt land in that folder), removes it, puts the host on PATH (a shim
// that runs it in the terminal it was typed in and hands back its exit
// status) and into the Start menu (one console window, the host's own,
// where the launcher script would open a second). Every value comes from
// the build's product.env (in the environment), the application
// configuration, and the installer as shipped.
//
// The release's folder names the version only as `$version`: Scoop's
// autoupdate puts a new version there, so a literal one would point every
// later release at this one's folder. The newest manifest stays at
// ZUR_MANIFEST_URL, which names no version: Scoop reads it again on
// `scoop update`, and a bucket's checkver reads the version from it.
// Usage: node scoop-manifest.mjs CONFIGURATION INSTALLER OUT
import { createHash } from 'node:crypto';
import { readFileSync, renameSync, writeFileSync } from 'node:fs';

const [configurationPath, installerPath, outPath] = process.argv.slice(2);

function fail(message) {
  console.error(`scoop-manifest: ${message}`);
  process.exit(1);
}

function setting(name) {
  const value = process.env[name];
  if (!value) fail(`${name} is not set (source build/win64/product.env)`);
  return value;
}

/** Whether `text` holds `version` as a version of its own (not as part of 13.4.0 or 3.4.01). */
const namesVersion = (text, version) =>
  new RegExp(`(^|[^0-9.])${version.replaceAll('.', '\\.')}($|[^0-9])`).test(text);

if (!outPath) fail('usage: scoop-manifest.mjs CONFIGURATION INSTALLER OUT');
const version = setting('ZUR_PRODUCT_VERSION');
const product = setting('ZUR_PRODUCT_NAME');
const installerName = setting('ZUR_INSTALLER_NAME');
const releaseUrl = setting('ZUR_RELEASE_URL');
const manifestUrl = setting('ZUR_MANIFEST_URL');
if (!releaseUrl.endsWith('/')) fail(`ZUR_RELEASE_URL must name a folder (end in /): ${releaseUrl}`);
if (namesVersion(releaseUrl, version)) {
  fail(`ZUR_RELEASE_URL names the version ${version}: write $version in its place, so that updates find the next release: ${releaseUrl}`);
}
if (manifestUrl.includes('$version') || namesVersion(manifestUrl, version)) {
  fail(`ZUR_MANIFEST_URL must stay the same for every release, without a version in it: ${manifestUrl}`);
}
if (!installerName.includes(version)) fail(`the installer's name ${installerName} does not hold the version ${version}`);

const configuration = JSON.parse(readFileSync(configurationPath, 'utf8'));
const hash = createHash('sha256').update(readFileSync(installerPath)).digest('hex');

// The download keeps one name whatever the address looks like (`#/` is
// Scoop's way of naming the downloaded file), so `installer.file` holds for
// every version an autoupdate brings.
const localName = `${product}-Setup.exe`;
const download = (v) => `${releaseUrl}${installerName.replaceAll(version, v)}`.replaceAll('$version', v);
const host = setting('ZUR_HOST_NAME');
const profile = ['%LOCALAPPDATA%', setting('ZUR_VENDOR'), product, setting('ZUR_PROFILE_FOLDER')].join('\\');

const manifest = {
  version,
  description: configuration.bundle.shortDescription,
  homepage: setting('ZUR_HOMEPAGE'),
  license: { identifier: setting('ZUR_LICENSE'), url: setting('ZUR_LICENSE_URL') },
  notes: [
    `The app window keeps its browser profile in ${profile}, outside the app's folder.`,
    `'scoop uninstall ${product.toLowerCase()}' leaves that folder (delete it for a clean slate), and a gateway ` +
      'the app started runs on until it ends.',
  ],
  architecture: {
    '64bit': { url: `${download(version)}#/${localName}`, hash },
  },
  installer: { file: localName, args: ['--install-dir', '$dir'] },
  bin: [[host, product.toLowerCase()]],
  shortcuts: [[host, configuration.productName, '', setting('ZUR_ICON_NAME')]],
  checkver: { url: manifestUrl, jsonpath: '$.version' },
  autoupdate: {
    architecture: {
      '64bit': { url: `${download('$version')}#/${localName}` },
    },
    hash: { url: '$baseurl/SHA256SUMS' },
  },
};

const temporary = `${outPath}.tmp`;
writeFileSync(temporary, `${JSON.stringify(manifest, null, 4)}\n`);
renameSync(temporary, outPath);
