// Checks the committed application configuration byte for byte: its text
// layout, and every member with its order, JSON type and value.
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";

import { VERSION } from "../tests/lib/expected.mjs";

const bytes = readFileSync(new URL("./tauri.conf.json", import.meta.url));
const text = bytes.toString("utf8");
const lines = text.split("\n");
const parsed = JSON.parse(text);

// Every member and array element in file order, written out by hand.
// [depth, key, type, value]; key null marks an array element, and a
// container's value is its number of children.
const EXPECTED = [
  [1, "$schema", "string", "https://schema.tauri.app/config/2"],
  [1, "productName", "string", "ZUR Vedozaruz"],
  [1, "version", "string", VERSION],
  [1, "identifier", "string", "com.olventaglobal.zur.workspace"],
  [1, "build", "object", 3],
  [2, "frontendDist", "string", "../../R16-IVU"],
  [2, "devUrl", "string", "http://127.0.0.1:4300"],
  [2, "beforeDevCommand", "string", "node ../zur-unified-gateway-server.mjs"],
  [1, "app", "object", 3],
  [2, "withGlobalTauri", "boolean", true],
  [2, "windows", "array", 1],
  [3, null, "object", 8],
  [4, "label", "string", "main"],
  [4, "title", "string", "ZUR WORKSPACE\u2122 PALISADE-34 VIDAZ \u00b7 OLVENTA Tavren Suite (L6 0 \u20ac)"],
  [4, "width", "number", 1480],
  [4, "height", "number", 920],
  [4, "minWidth", "number", 1024],
  [4, "minHeight", "number", 680],
  [4, "resizable", "boolean", true],
  [4, "center", "boolean", true],
  [2, "security", "object", 1],
  [3, "csp", "string", "default-src 'self' 'unsafe-inline' blob: data: http://127.0.0.1:*; connect-src 'self' http://127.0.0.1:*"],
  [1, "bundle", "object", 9],
  [2, "active", "boolean", true],
  [2, "targets", "array", 5],
  [3, null, "string", "nsis"],
  [3, null, "string", "msi"],
  [3, null, "string", "dmg"],
  [3, null, "string", "deb"],
  [3, null, "string", "appimage"],
  [2, "icon", "array", 4],
  [3, null, "string", "icons/32x32.png"],
  [3, null, "string", "icons/128x128.png"],
  [3, null, "string", "icons/icon.png"],
  [3, null, "string", "icons/icon.ico"],
  [2, "publisher", "string", "OLVENTA Global Intelligence"],
  [2, "category", "string", "Productivity"],
  [2, "shortDescription", "string", "Suite Soberana de 34 Productos Individuales B2B Offline-First (S5_LOCAL_L6)"],
  [2, "windows", "object", 2],
  [3, "webviewInstallMode", "object", 2],
  [4, "type", "string", "downloadBootstrapper"],
  [4, "silent", "boolean", true],
  [3, "nsis", "object", 2],
  [4, "installMode", "string", "currentUser"],
  [4, "displayLanguageSelector", "boolean", false],
  [2, "macOS", "object", 1],
  [3, "minimumSystemVersion", "string", "11.0"],
  [2, "linux", "object", 1],
  [3, "appimage", "object", 1],
  [4, "bundleMediaFramework", "boolean", false],
];

const typeOf = (v) => (v === null ? "null" : Array.isArray(v) ? "array" : typeof v);

// The parsed document's rows in the shape of EXPECTED, depth first in file
// order, so that the two lists can be compared whole.
function flatten(value, depth, out) {
  const entries = Array.isArray(value) ? value.map((v) => [null, v]) : Object.entries(value);
  for (const [key, child] of entries) {
    const type = typeOf(child);
    const container = type === "object" || type === "array";
    // An array's keys are its indices: their number is its length.
    out.push([depth, key, type, container ? Object.keys(child).length : child]);
    if (container) flatten(child, depth + 1, out);
  }
  return out;
}

test("file layout: raw bytes", async (t) => {
  const cases = [
    ["no byte-order mark", () => !(bytes[0] === 0xef && bytes[1] === 0xbb && bytes[2] === 0xbf)],
    ["no carriage return", () => !bytes.includes(0x0d)],
    ["no line feed after the last line", () => bytes[bytes.length - 1] !== 0x0a],
    ["no tab", () => !bytes.includes(0x09)],
    ["valid UTF-8 round trip", () => Buffer.from(text, "utf8").equals(bytes)],
    ["66 lines", () => lines.length === 66],
    ["no trailing blanks", () => lines.every((l) => !l.endsWith(" "))],
    ["indentation is an even number of blanks", () => lines.every((l) => (l.length - l.trimStart().length) % 2 === 0)],
  ];
  for (const [name, check] of cases) await t.test(name, () => assert.ok(check()));
});

test("file layout: non-ASCII characters are raw UTF-8, not escapes", async (t) => {
  const cases = [
    ["trade mark sign", Buffer.from([0xe2, 0x84, 0xa2]), "\\u2122"],
    ["middle dot", Buffer.from([0xc2, 0xb7]), "\\u00b7"],
    ["euro sign", Buffer.from([0xe2, 0x82, 0xac]), "\\u20ac"],
  ];
  for (const [name, utf8, escape] of cases) {
    await t.test(name, () => {
      assert.ok(bytes.includes(utf8), `${name} missing as UTF-8`);
      assert.ok(!text.toLowerCase().includes(escape), `${name} written as escape`);
    });
  }
  await t.test("everything else is ASCII", () =>
    assert.match(text.replace(/[\u2122\u00b7\u20ac]/g, ""), /^[\x20-\x7e\n]*$/));
});

test("file layout: chosen lines sit where the pretty-printer puts them", async (t) => {
  const cases = [
    [1, "{"],
    [2, '  "$schema": "https://schema.tauri.app/config/2",'],
    [13, '    "windows": ['],
    [14, "      {"],
    [23, "      }"],
    [24, "    ],"],
    [31, '    "targets": ['],
    [32, '      "nsis",'],
    [36, '      "appimage"'],
    [37, "    ],"],
    [66, "}"],
  ];
  for (const [line, expected] of cases) await t.test(`line ${line}`, () => assert.equal(lines[line - 1], expected));
});

test("members: order, type and value of every row", () => {
  assert.equal(typeOf(parsed), "object");
  assert.deepEqual(flatten(parsed, 1, []), EXPECTED);
});

test("members: the local gateway address appears where expected", async (t) => {
  const cases = [
    ["devUrl", parsed.build.devUrl, "127.0.0.1:4300"],
    ["csp", parsed.app.security.csp, "http://127.0.0.1:*"],
    ["beforeDevCommand", parsed.build.beforeDevCommand, "zur-unified-gateway-server.mjs"],
  ];
  for (const [name, value, needle] of cases) await t.test(name, () => assert.ok(value.includes(needle)));
});

test("members: open values have the required form", async (t) => {
  await t.test("$schema is an https address with path /config/2", () => {
    const url = new URL(parsed.$schema);
    assert.equal(url.protocol, "https:");
    assert.equal(url.pathname, "/config/2");
  });
  await t.test("identifier is <tld>.<domain>.zur.workspace in lower case", () =>
    assert.match(parsed.identifier, /^[a-z][a-z0-9-]*\.[a-z0-9-]+\.zur\.workspace$/));
});

test("serialisation: JSON.stringify with two blanks reproduces the file", () => {
  const again = Buffer.from(JSON.stringify(parsed, null, 2), "utf8");
  assert.ok(again.equals(bytes), "pretty-printed text differs from the file");
});

test("the version is the one the programs are built with", () => {
  const built = process.env.ZUR_PRODUCT_VERSION;
  assert.ok(built, "ZUR_PRODUCT_VERSION is not set: run this test through ctest");
  assert.equal(parsed.version, built);
});
