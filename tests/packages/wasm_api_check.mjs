// SPDX-License-Identifier: MIT
// The installed sqlite-geodesy-wasm package through its ES module entry, run
// from the folder it was installed into (check_wasm_package.sh): the same
// function as the CommonJS entry; numbers that keep every bit both ways;
// SQLite's errors as Errors; odd arguments read as in any SQLite; a
// database that survives export() and new Database(bytes).
import initSqliteGeodesy from 'sqlite-geodesy-wasm';
import { createRequire } from 'node:module';
import { pathToFileURL } from 'node:url';

let passed = 0;
let failed = 0;
function check(what, ok, detail = '') {
  if (ok) passed++; else failed++;
  if (!ok) console.log(`FAIL ${what} ${detail}`);
}
function throws(what, f, message) {
  try {
    f();
    check(what, false, '(nothing was thrown)');
  } catch (error) {
    check(what, error instanceof Error && error.message === message, `(${error.message})`);
  }
}

const require = createRequire(pathToFileURL(`${process.cwd()}/`));
check('the ES module and CommonJS entries are one function',
      initSqliteGeodesy === require('sqlite-geodesy-wasm'));

const { Database, sqliteVersion } = await initSqliteGeodesy();
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
       () => db.exec('SELECT distance(1, 2, 3)'), 'wrong number of arguments to function distance()');
throws('a missing table too', () => db.prepare('SELECT * FROM nowhere'), 'no such table: nowhere');

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
       'file is not a database');
db.close();
throws('a closed database says so', () => db.exec('SELECT 1'), 'Database closed');

console.log(`SQLite ${sqliteVersion}, ES module API: ${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
