// SPDX-License-Identifier: MIT
// The installed sqlite-geodesy-wasm package through its ES module entry, run
// from the folder it was installed into (check_wasm_package.sh): the same
// function as the CommonJS entry; numbers that keep every bit both ways;
// SQLite's errors as Errors with SQLite's result code; text as SQLite
// stores it; odd arguments read as in any SQLite; functions written in JS;
// a database that survives export() and new Database(bytes).
import initSqliteGeodesy from 'sqlite-geodesy-wasm';
import { createRequire } from 'node:module';
import { pathToFileURL } from 'node:url';

let passed = 0;
let failed = 0;
function check(what, ok, detail = '') {
  if (ok) passed++; else failed++;
  if (!ok) console.log(`FAIL ${what} ${detail}`);
}
function throws(what, f, message, code) {
  try {
    f();
    check(what, false, '(nothing was thrown)');
  } catch (error) {
    check(what, error instanceof Error && error.message === message && error.code === code,
          `(${error.message}, ${error.code})`);
  }
}

const require = createRequire(pathToFileURL(`${process.cwd()}/`));
const viaRequire = await require('sqlite-geodesy-wasm')();
check('the ES module and CommonJS entries load the same module',
      typeof initSqliteGeodesy === 'function' && viaRequire.sqliteVersion === (await initSqliteGeodesy()).sqliteVersion);

// The ES module entry without its .wasm beside it, as a bundler that moved
// the code leaves it: the error names the file and the setting to use.
{
  const { cpSync, mkdtempSync, rmSync } = await import('node:fs');
  const { tmpdir } = await import('node:os');
  const moved = mkdtempSync(`${tmpdir()}/geodesy-moved-`);
  const installed = `${process.cwd()}/node_modules/sqlite-geodesy-wasm`;
  for (const file of ['index.mjs', 'sqlite-geodesy.js']) cpSync(`${installed}/${file}`, `${moved}/${file}`);
  const message = await (await import(pathToFileURL(`${moved}/index.mjs`))).default().then(() => '', (e) => e.message);
  rmSync(moved, { recursive: true });
  check('without its .wasm the ES module entry names the file and the setting',
        message.startsWith(`could not read ${moved}/sqlite-geodesy.wasm: ENOENT`) &&
        message.includes('serverExternalPackages'), message);
}

const api = await initSqliteGeodesy();
const { Database, sqliteVersion } = api;

// locateFile in Node.js: a path or a file: URL; a wrong one is named.
const folder = `${process.cwd()}/node_modules/sqlite-geodesy-wasm/`;
for (const [what, where] of [['a path', (file, dir) => dir + file],
                             ['a file: URL', (file, dir) => pathToFileURL(dir + file).href]]) {
  const found = await initSqliteGeodesy({ locateFile: where }).then((api) => api.sqliteVersion, (e) => e.message);
  check(`locateFile may give ${what}`, found === sqliteVersion, found);
}
const wrong = await initSqliteGeodesy({ locateFile: () => '/nowhere/x.wasm' }).then(() => '', (e) => e.message);
check('a wrong locateFile is named in the error', wrong.startsWith('could not read /nowhere/x.wasm: ENOENT'), wrong);
const db = new Database();
const one = (sql, params) => db.exec(sql, params)[0].values[0];

const [negativeZero, type] = one('SELECT ?1, typeof(?1)', [-0]);
check('-0 reaches SQL and comes back as -0', Object.is(negativeZero, -0) && type === 'real',
      `${negativeZero} ${type}`);
const bits = [5e-324, 2 ** 53 + 2, 0.1 + 0.2, -1.7976931348623157e308];
check('REAL parameters and results keep every bit',
      one('SELECT ?, ?, ?, ?', bits).every((x, i) => Object.is(x, bits[i])));
check('whole numbers are bound as INTEGER', one('SELECT typeof(?)', [42])[0] === 'integer');
check('an INTEGER beyond 2^53 comes back as a BigInt',
      one('SELECT 9007199254740993')[0] === 9007199254740993n);
check('all five functions answer',
      one('SELECT distance(0, 0, 0, 1), azimut_start(0, 0, 0, -1), azimut_end(0, 0, -1, 0), ' +
          'project_lat(0, 20, 45, 0) = 0, project_lon(0, 20, 45, 0)').join() ===
      '111319.49079327342,270,180,1,20');

// Arguments are read as SQLite reads them: text and blobs as the number
// they start with, NULL as 0; a NaN result is NULL.
const odd = one("SELECT distance('10', '20', '30', '40') = distance(10, 20, 30, 40), " +
                'distance(NULL, 20, 30, 40) = distance(0, 20, 30, 40), ' +
                "project_lon(x'3132', 0, 90, 1000) = project_lon(12, 0, 90, 1000), " +
                'distance(9e999, 0, 0, 0), typeof(project_lat(NULL, NULL, NULL, NULL))');
check('text, blob and NULL arguments as in any SQLite; NaN as NULL',
      odd.join() === '1,1,1,,real', odd.join());

throws('a call with three arguments is an Error with SQLite\'s message',
       () => db.exec('SELECT distance(1, 2, 3)'), 'wrong number of arguments to function distance()',
       'SQLITE_ERROR');
throws('a missing table too', () => db.prepare('SELECT * FROM nowhere'), 'no such table: nowhere',
       'SQLITE_ERROR');
db.run('CREATE TABLE code(k TEXT PRIMARY KEY, v NOT NULL)');
db.run("INSERT INTO code VALUES ('a', 1)");
for (const [sql, message, code, errno] of [
  ["INSERT INTO code VALUES ('a', 2)", 'UNIQUE constraint failed: code.k', 'SQLITE_CONSTRAINT_PRIMARYKEY', 1555],
  ["INSERT INTO code VALUES ('b', NULL)", 'NOT NULL constraint failed: code.v', 'SQLITE_CONSTRAINT_NOTNULL', 1299],
]) {
  let error;
  try { db.run(sql); } catch (e) { error = e; }
  check(`${code} carries its name and number`, error?.message === message && error.code === code &&
        error.errno === errno, `${error?.message} ${error?.code} ${error?.errno}`);
}

// Text goes in and comes back as SQLite holds it: U+0000 inside a value,
// a lone surrogate as U+FFFD (EF BF BD), bytes that are not UTF-8 as one
// U+FFFD per bad sequence whatever the length.
const text = one("SELECT ?1, hex(?1), hex(?2), CAST(x'61ff62' AS TEXT), " +
                 "CAST(x'61ff62' || zeroblob(0) || x'6263646566676869707172737475767778ff' AS TEXT)",
                 ['a\u0000b', '\ud800']);
check('text is faithful both ways', JSON.stringify(text) === JSON.stringify(
  ['a\u0000b', '610062', 'EFBFBD', 'a\ufffdb', 'a\ufffdbbcdefghipqrstuvwx\ufffd']), JSON.stringify(text));
const wide = new Database(null, { safeIntegers: true });
check('safeIntegers returns every INTEGER as a BigInt',
      JSON.stringify(wide.exec('SELECT 1, 2.5')[0].values, (k, v) => typeof v === 'bigint' ? `${v}n` : v) ===
      '[["1n",2.5]]');
wide.close();

// sql.js's everyday API beside exec: each, iterateStatements and functions
// written in JS, which may not replace the geodesic ones.
const rows = [];
let finished = false;
db.each('SELECT value AS v FROM json_each(?)', ['[1,2]'], (row) => rows.push(row.v), () => { finished = true; });
check('each gives every row, then calls done', rows.join() === '1,2' && finished);
const seen = [];
for (const statement of db.iterateStatements('CREATE TABLE it(a); INSERT INTO it VALUES (7); SELECT a FROM it')) {
  while (statement.step()) seen.push(statement.get()[0]);
}
check('iterateStatements runs each statement after the one before', seen.join() === '7');
db.create_function('halve', (x) => (typeof x === 'number' ? x / 2 : null));
db.create_function('fails', () => { throw new Error('no good'); });
check('a JS function answers in SQL', one("SELECT halve(5), halve('x'), typeof(halve(4))").join() === '2.5,,integer');
throws('a JS function that throws fails the query with its message', () => db.exec('SELECT fails()'),
       'no good', 'SQLITE_ERROR');
db.create_function('total', (...xs) => xs.reduce((a, b) => a + b, 0), { varargs: true });
db.create_function('second', function () { return arguments[1]; }, { arity: 2 });
check('a varargs function takes any number of arguments, and arity sets the count',
      one('SELECT total(), total(1, 2, 3), second(7, 8)').join() === '0,6,8');
throws('a wrong arity is refused', () => db.create_function('f', () => 0, { arity: 200 }),
       'create_function: arity must be a whole number from 0 to 127, not 200');
let caught = null;
try { db.exec('SELECT * FROM nowhere'); } catch (error) { caught = error; }
check('isSqliteError tells SQLite\'s errors from others',
      api.isSqliteError(caught) && !api.isSqliteError(new Error('x')) && !api.isSqliteError('SQLITE_ERROR') &&
      !api.isSaveConflict(caught));
throws('the geodesic functions cannot be replaced', () => db.create_function('distance', () => 0),
       'distance() is one of the geodesic functions built into this module; give your function another name');
check('FTS5 and Geopoly are built in', one("SELECT geopoly_area('[[0,0],[1,0],[1,1],[0,1],[0,0]]'), " +
      "(SELECT count(*) FROM pragma_compile_options WHERE compile_options = 'ENABLE_FTS5')").join() === '1,1');

db.run('CREATE TABLE place(name TEXT, lat REAL, lon REAL)');
const insert = db.prepare('INSERT INTO place VALUES ($name, $lat, $lon)');
insert.run({ $name: 'Quito', $lat: -0.1807, $lon: -78.4678 });
insert.run({ name: 'Nairobi', lat: -1.2921, lon: 36.8219 });
insert.free();
const copy = new Database(db.export());
const nearest = copy.prepare('SELECT name, distance(lat, lon, ?, ?) AS m FROM place ORDER BY m');
const row = nearest.getAsObject([-1.2921, 36.8219]);  // binds, steps to the first row
nearest.free();
check('export() and new Database(bytes) keep the rows', row.name === 'Nairobi' && row.m === 0,
      JSON.stringify(row));
copy.close();
throws('bytes that are not a database are refused', () => new Database(new Uint8Array(4096).fill(1)),
       'file is not a database', 'SQLITE_NOTADB');
db.close();
throws('a closed database says so', () => db.exec('SELECT 1'), 'Database closed');

console.log(`SQLite ${sqliteVersion}, ES module API: ${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
