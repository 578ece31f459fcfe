// Test helper, preloaded into node.exe for Windows
// (NODE_OPTIONS=--import=URL): appends one JSON line to the file named by
// ZUR_TEST_ARGV_RECORD with what node made of its own command line (its
// script path, process.argv[1], which node has already made absolute) and
// its current folder. It runs before the script, even one node then fails
// to load.
import fs from 'node:fs';

fs.appendFileSync(process.env.ZUR_TEST_ARGV_RECORD,
  `${JSON.stringify({ argv1: process.argv[1], cwd: process.cwd() })}\n`);
