// SPDX-License-Identifier: MIT
// An ES module consumer of sqlite-geodesy-wasm, compiled with tsc --strict.
// Each @ts-expect-error line must fail to compile: if the package's types
// were lost and everything became any, those lines would compile and tsc
// would report the unused directives.
import initSqliteGeodesy, { type Database, type SqlValue, type SqliteError } from 'sqlite-geodesy-wasm';
import { connect, isSaveConflict, isStorageError, serve } from 'sqlite-geodesy-wasm/worker';

export async function main(): Promise<number> {
  const { Database: Db, sqliteVersion, storage, isSqliteError, durable: durableHere } = await initSqliteGeodesy({ locateFile: (file) => file });
  const db: Database = new Db(null, { safeIntegers: true });
  const [result] = db.exec('SELECT distance(?, ?, ?, ?) AS m', [0, 0, 0, 1]);
  const metres: SqlValue = result.values[0][0];
  db.create_function('twice', (x) => (typeof x === 'number' ? x * 2 : null));
  db.create_function('km', (m: number) => m / 1000);
  db.create_function('total', (...xs: number[]) => xs.reduce((a, b) => a + b, 0), { varargs: true });
  const place = db.prepare('SELECT 1 AS id, 0.5 AS lat').getAsObject<{ id: number; lat: number }>();
  const lat: number = place.lat;
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
    if (isSqliteError(error)) console.log(error.errno.toFixed(0));
    // @ts-expect-error: an unknown error has no code until narrowed
    console.log(error.code);
  }
  serve();
  const sqlite = connect(new Worker('db-worker.js', { type: 'module' }));
  const far = await sqlite.open('places.db');
  const named = connect(new Worker(new URL('db-worker.js', 'https://example.test/'), { type: 'module' }),
                        { url: new URL('db-worker.js', 'https://example.test/'), readyMs: 5000 });
  await far.save().catch((error: unknown) => {
    if (isSaveConflict(error) || isStorageError(error)) console.log(error.code.toLowerCase());
  });
  // @ts-expect-error: readyMs is a number of milliseconds
  connect(new Worker('db-worker.js'), { readyMs: '5 s' });
  named.terminate();
  const rows: { name: string; m: number }[] = await far.all<{ name: string; m: number }>('SELECT 1');
  const one = await far.get('SELECT 1 AS x');
  await far.save();
  // @ts-expect-error: all() gives a promise, not the rows
  const notYet: { name: string }[] = far.all('SELECT 1');
  // @ts-expect-error: arity must be a number
  db.create_function('f', (a: number) => a, { arity: 'two' });
  console.log(lat, rows.length, one, notYet);
  // Durable databases: a turn taken around the SQL, imports under a name.
  const durable = await Db.openDurable('places.db', { waitMs: 5000 });
  const count = await durable.use((held) => held.exec('SELECT count(*) FROM place').length);
  await durable.hold();
  durable.release();
  await Db.importDurable('copy.db', durable.export());
  await Db.import('snapshot.db', new Uint8Array(0));
  const isDurable: boolean | undefined = durable.stored?.durable;
  await sqlite.import('copy.db', new Uint8Array(0), { snapshot: true });
  const inWorker: boolean = await sqlite.durable();
  await sqlite.open('places.db', { waitMs: Infinity, snapshot: false });
  // @ts-expect-error: use() gives a promise of what work returns
  const sync: number = durable.use(() => 1);
  console.log(count, isDurable, inWorker, sync, durable.replace(new Uint8Array(0)), durableHere());
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
