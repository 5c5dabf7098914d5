// SPDX-License-Identifier: MIT
// An ES module consumer of sqlite-geodesy-wasm, compiled with tsc --strict.
// Each @ts-expect-error line must fail to compile: if the package's types
// were lost and everything became any, those lines would compile and tsc
// would report the unused directives.
import initSqliteGeodesy, { type Database, type SqlValue, type SqliteError } from 'sqlite-geodesy-wasm';

export async function main(): Promise<number> {
  const { Database: Db, sqliteVersion, storage } = await initSqliteGeodesy({ locateFile: (file) => file });
  const db: Database = new Db(null, { safeIntegers: true });
  const [result] = db.exec('SELECT distance(?, ?, ?, ?) AS m', [0, 0, 0, 1]);
  const metres: SqlValue = result.values[0][0];
  db.create_function('twice', (x) => (typeof x === 'number' ? x * 2 : null));
  db.each('SELECT 1 AS a', (row) => console.log(row.a), () => console.log('done'));
  for (const statement of db.iterateStatements('SELECT 1; SELECT 2')) statement.step();
  const bytes: Uint8Array = db.export();
  const saved: Database = await Db.open('places.db');
  await saved.save();
  const where: 'opfs' | 'indexeddb' | 'none' = await storage();
  const version: number = saved.stored === null ? 0 : saved.stored.version;
  try {
    db.run('SELECT nothing');
  } catch (error) {
    const { code, errno } = error as SqliteError;
    console.log(code.toUpperCase(), errno.toFixed(0));
  }
  // @ts-expect-error: stored is null for a database not opened by name
  console.log(saved.stored.version);
  // @ts-expect-error: no such method
  db.nonexistentMethod();
  // @ts-expect-error: export() gives bytes, not a string
  const text: string = db.export();
  // @ts-expect-error: a row's value is not always a number
  const n: number = result.values[0][0];
  // @ts-expect-error: bind values do not include objects
  db.run('SELECT ?', [{}]);
  console.log(sqliteVersion.length, metres, bytes.length, where, version, text, n);
  return 0;
}
