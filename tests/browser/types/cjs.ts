// SPDX-License-Identifier: MIT
// A CommonJS consumer of sqlite-geodesy-wasm, compiled with tsc --strict;
// each @ts-expect-error line must fail to compile.
import initSqliteGeodesy = require('sqlite-geodesy-wasm');

export async function main(): Promise<number> {
  const { Database } = await initSqliteGeodesy();
  const db: initSqliteGeodesy.Database = new Database();
  const rows: initSqliteGeodesy.QueryExecResult[] = db.exec('SELECT azimut_start(0, 0, 0, -1)');
  const statement: initSqliteGeodesy.Statement = db.prepare('SELECT ?', [1]);
  statement.free();
  // @ts-expect-error: no such method
  db.nonexistentMethod();
  // @ts-expect-error: exec gives results, not a string
  const text: string = db.exec('SELECT 1');
  console.log(rows.length, text);
  return 0;
}
