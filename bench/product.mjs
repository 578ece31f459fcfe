// What the build says of the programs it made: build/win64/product.env,
// lines KEY='value', where a ' of the value is written '\''.

import fs from 'node:fs';

export function readProduct(file) {
  let text;
  try {
    text = fs.readFileSync(file, 'utf8');
  } catch {
    throw new Error(`missing ${file} (build first: ./scripts/build-all.sh)`);
  }
  const values = {};
  for (const line of text.split('\n').filter(Boolean)) {
    const m = /^(\w+)='((?:[^']|'\\'')*)'$/.exec(line);
    if (!m) throw new Error(`${file}: cannot read ${JSON.stringify(line)}`);
    values[m[1]] = m[2].replaceAll("'\\''", "'");
  }
  return values;
}
