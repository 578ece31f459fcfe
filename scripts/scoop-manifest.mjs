// Writes the Scoop manifest of a release: Scoop downloads the installer into
// the app's folder, runs it with `--install-dir $dir` (so the files and the
// receipt land in that folder), removes it, and links the launcher script
// into the Start menu and onto PATH. Every value comes from the build's
// product.env (in the environment), the application configuration, and the
// installer as shipped.
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

if (!outPath) fail('usage: scoop-manifest.mjs CONFIGURATION INSTALLER OUT');
const version = setting('ZUR_PRODUCT_VERSION');
const product = setting('ZUR_PRODUCT_NAME');
const installerName = setting('ZUR_INSTALLER_NAME');
const releaseUrl = setting('ZUR_RELEASE_URL');
if (!releaseUrl.endsWith('/')) fail(`ZUR_RELEASE_URL must name a folder (end in /): ${releaseUrl}`);
if (!installerName.includes(version)) fail(`the installer's name ${installerName} does not hold the version ${version}`);

const configuration = JSON.parse(readFileSync(configurationPath, 'utf8'));
const hash = createHash('sha256').update(readFileSync(installerPath)).digest('hex');

// The download keeps one name whatever the address looks like (`#/` is
// Scoop's way of naming the downloaded file), so `installer.file` holds for
// every version an autoupdate brings.
const localName = `${product}-Setup.exe`;
const download = (v) => `${releaseUrl}${installerName.replaceAll(version, v)}`.replaceAll('$version', v);
const launcher = setting('ZUR_LAUNCHER_NAME');

const manifest = {
  version,
  description: configuration.bundle.shortDescription,
  homepage: setting('ZUR_HOMEPAGE'),
  license: setting('ZUR_LICENSE'),
  architecture: {
    '64bit': { url: `${download(version)}#/${localName}`, hash },
  },
  installer: { file: localName, args: ['--install-dir', '$dir'] },
  bin: [[launcher, product.toLowerCase()]],
  shortcuts: [[launcher, configuration.productName, '', setting('ZUR_ICON_NAME')]],
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
