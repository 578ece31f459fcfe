// Windows command lines on the test side: the one place that quotes an
// argument or splits a line, by the same rules as the programs under test.

/** `"program" args` with the program quoted, as a shell would start it. */
export function commandLine(program, ...args) {
  return [`"${program}"`, ...args].join(' ');
}

/**
 * One argument written so that the Windows rules give it back exactly:
 * quoted only when empty or holding a blank; a double quote is escaped, and
 * so are the backslashes before it or before a closing quote.
 */
export function quoteArgument(text) {
  const quote = text === '' || /[ \t]/.test(text);
  let out = quote ? '"' : '';
  let backslashes = 0;
  for (const c of text) {
    if (c === '\\') {
      backslashes++;
    } else {
      if (c === '"') out += '\\'.repeat(backslashes + 1);
      backslashes = 0;
    }
    out += c;
  }
  return quote ? `${out}${'\\'.repeat(backslashes)}"` : out;
}

const blank = (c) => c === ' ' || c === '\t';

/** Splits a command line by the Windows rules (program name first). */
export function parseCommandLine(line) {
  const args = [];
  let i = 0;
  let current = '';
  let quoted = false;
  for (; i < line.length; i++) {
    const c = line[i];
    if (c === '"') quoted = !quoted;
    else if (!quoted && blank(c)) break;
    else current += c;
  }
  args.push(current);
  while (i < line.length && blank(line[i])) i++;
  current = '';
  quoted = false;
  let pending = false;
  while (i < line.length) {
    const c = line[i];
    if (!quoted && blank(c)) {
      if (pending || current) args.push(current);
      current = '';
      pending = false;
      while (i < line.length && blank(line[i])) i++;
      continue;
    }
    if (c === '\\') {
      let n = 0;
      while (line[i] === '\\') { n++; i++; }
      if (line[i] === '"') {
        current += '\\'.repeat(n >> 1);
        if (n % 2) { current += '"'; i++; }
      } else {
        current += '\\'.repeat(n);
      }
      continue;
    }
    if (c === '"') {
      pending = true;
      if (quoted && line[i + 1] === '"') { current += '"'; i += 2; continue; }
      quoted = !quoted;
      i++;
      continue;
    }
    current += c;
    i++;
  }
  if (current || quoted || pending) args.push(current);
  return args;
}
