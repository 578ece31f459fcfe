// Table-driven cases: one subtest for each row of a table.

/** `body(row, subtest)` as a subtest of `t` named row.name, skipped for row.skip, for each row of `rows`. */
export async function eachRow(t, rows, body) {
  for (const row of rows) await t.test(row.name, { skip: row.skip }, (subtest) => body(row, subtest));
}
