// The test side's quoting and splitting, held to the cases the programs' own
// unit tests hold the product to (common/args_test.cc), copied by hand.

import assert from 'node:assert/strict';
import { test } from 'node:test';

import { parseCommandLine, quoteArgument } from './command_line.mjs';

test('splits by the Windows rules', () => {
  const cases = [
    // The program name: quotes toggle and are dropped, backslashes are plain.
    ['"C:\\Program Files\\app.exe" x', ['C:\\Program Files\\app.exe', 'x']],
    ['C:\\my\\"sub dir"\\app.exe a', ['C:\\my\\sub dir\\app.exe', 'a']],
    ['"C:\\dir\\\\" a', ['C:\\dir\\\\', 'a']],
    ['a\\"b c', ['a\\b c']],
    ['app"" x', ['app', 'x']],
    ['"open name', ['open name']],
    ['app\tx', ['app', 'x']],
    // Separators: spaces and tabs, a run counting as one.
    ['p a b', ['p', 'a', 'b']],
    ['p \t a\t\tb  \t', ['p', 'a', 'b']],
    ['p   ', ['p']],
    ['   ', ['']],
    [' a', ['', 'a']],
    // Backslashes: literal unless before a quote.
    ['p a\\b c\\\\d e\\\\', ['p', 'a\\b', 'c\\\\d', 'e\\\\']],
    ['p a\\"b', ['p', 'a"b']],
    ['p a\\\\"b c"', ['p', 'a\\b c']],
    ['p a\\\\\\"b', ['p', 'a\\"b']],
    ['p a\\\\\\\\"b c"', ['p', 'a\\\\b c']],
    ['p "a\\\\" b', ['p', 'a\\', 'b']],
    ['p "a\\" b"', ['p', 'a" b']],
    // Quoting, doubled quotes inside quotes.
    ['p "a b" c', ['p', 'a b', 'c']],
    ['p a"b c"d e', ['p', 'ab cd', 'e']],
    ['p "a""b" c', ['p', 'a"b', 'c']],
    ['p "a""b c"', ['p', 'a"b c']],
    ['p """"', ['p', '"']],
    ['p a""b', ['p', 'ab']],
    ['p "a b', ['p', 'a b']],
    // Empty arguments from quotes.
    ['p ""', ['p', '']],
    ['p a ""', ['p', 'a', '']],
    ['p "" b', ['p', '', 'b']],
    ['p "" ', ['p', '']],
    ['p "', ['p', '']],
    ['p \u{1F600} caf\u00e9', ['p', '\u{1F600}', 'caf\u00e9']],
  ];
  for (const [line, expected] of cases) assert.deepEqual(parseCommandLine(line), expected, JSON.stringify(line));
});

test('quotes only what needs it', () => {
  const cases = [
    ['', '""'], ['plain', 'plain'], ['a b', '"a b"'], ['a\tb', '"a\tb"'], [' ', '" "'],
    ['"', '\\"'], ['a"b', 'a\\"b'], ['a\\"b', 'a\\\\\\"b'], ['a\\\\"b', 'a\\\\\\\\\\"b'],
    ['a\\b', 'a\\b'], ['a\\', 'a\\'], ['a b\\', '"a b\\\\"'], ['a b\\\\', '"a b\\\\\\\\"'],
    ['a b\\"', '"a b\\\\\\""'], ['C:\\Program Files\\', '"C:\\Program Files\\\\"'],
  ];
  for (const [argument, expected] of cases) assert.equal(quoteArgument(argument), expected, JSON.stringify(argument));
});

test('a quoted argument splits back to itself', () => {
  // The pieces the product's round trip is built from.
  const pieces = ['"', '\\', '\\\\\\', ' ', '\t', 'a', 'Z9', '\u00e9', '\u{1F600}', '""', '\\"', '--x=', '%'];
  for (const first of pieces) {
    for (const second of ['', ...pieces]) {
      const argument = first + second;
      assert.deepEqual(parseCommandLine(`p ${quoteArgument(argument)} ${quoteArgument(second)}`), ['p', argument, second],
        JSON.stringify(argument));
    }
  }
});
