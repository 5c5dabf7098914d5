// SPDX-License-Identifier: MIT
// What storage_test.js does in a tab, on window.tab: open a saved database
// (each copy by a number), add a row, save, remove, read what is stored,
// and make the next write of the stored file fail.
import initSqliteGeodesy from './index.browser.mjs';

const { Database, storage } = await initSqliteGeodesy();
const copies = [];
const saved = (promise) => promise.then(() => 'saved', (error) => error.code || `${error.name}: ${error.message}`);

window.tab = {
  storage,
  async open(name) {
    const db = await Database.open(name);
    db.run('CREATE TABLE IF NOT EXISTS t(who TEXT, filler BLOB)');
    copies.push(db);
    return copies.length - 1;
  },
  add(copy, who, megabytes = 0) {
    copies[copy].run('INSERT INTO t VALUES (?, zeroblob(?))', [who, megabytes * 1048576]);
  },
  version: (copy) => copies[copy].stored.version,
  save: (copy) => saved(copies[copy].save()),
  // Two saves of one copy, the second called before the first ends.
  async overlapping(copy) {
    this.add(copy, 'x');
    const first = saved(copies[copy].save());
    this.add(copy, 'y');
    return Promise.all([first, saved(copies[copy].save())]);
  },
  remove: (name) => saved(Database.remove(name)),
  // What a fresh copy of name holds: its rows and version, and whether
  // SQLite finds it whole.
  async seen(name) {
    const db = await Database.open(name);
    const rows = db.exec("SELECT group_concat(who) FROM (SELECT who FROM t ORDER BY rowid)")[0]?.values[0][0] ?? '';
    const whole = db.exec('PRAGMA integrity_check')[0].values[0][0];
    const { version } = db.stored;
    db.close();
    return `${rows || '-'} v${version}${whole === 'ok' ? '' : ` (${whole})`}`;
  },
  // The next write of a database's bytes (not of a few bytes beside them)
  // fails as a full quota makes it fail.
  failNextWrite() {
    const quota = () => new DOMException('the quota is used up', 'QuotaExceededError');
    if (typeof FileSystemWritableFileStream === 'function' && FileSystemFileHandle.prototype.createWritable) {
      const write = FileSystemWritableFileStream.prototype.write;
      FileSystemWritableFileStream.prototype.write = function (data) {
        if ((data.byteLength ?? data.size ?? 0) < 512) return write.call(this, data);
        FileSystemWritableFileStream.prototype.write = write;
        return Promise.reject(quota());
      };
    } else {
      // IndexedDB aborts the transaction with the quota error.
      const put = IDBObjectStore.prototype.put;
      IDBObjectStore.prototype.put = function () {
        IDBObjectStore.prototype.put = put;
        Object.defineProperty(this.transaction, 'error', { value: quota() });
        this.transaction.abort();
        return {};
      };
    }
  },
};
window.ready = true;
