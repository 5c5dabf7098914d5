// SPDX-License-Identifier: MIT
// Types for sqlite-geodesy-wasm: SQLite in WebAssembly with the functions
// distance, azimut_start, azimut_end, project_lat and project_lon built in.
// index.d.ts (CommonJS) and index.d.mts (ES modules) export these.
//
// The API has sql.js's shape. Not offered: create_aggregate, updateHook,
// a Database opened on a file path, and sql.js's SqlJsStatic options.

/** A value SQLite stores: INTEGER (a number within ±(2^53 − 1), a bigint
 * beyond, or always a bigint with safeIntegers), REAL, TEXT, BLOB or NULL. */
export type SqlValue = number | bigint | string | Uint8Array | null;

/** What can be bound to a parameter, or returned by a function made with
 * create_function. A whole number within ±(2^53 − 1) other than -0 is
 * stored as INTEGER, any other number as REAL (every bit kept); a bigint as
 * INTEGER; booleans as 0 or 1; undefined as NULL; a string as UTF-8 TEXT
 * (a lone surrogate as U+FFFD); bytes as a BLOB. */
export type BindValue = SqlValue | boolean | undefined | ArrayBuffer | ArrayBufferView;

/** Positional values, or values by parameter name (with or without its
 * ':', '@' or '$' prefix). */
export type BindParams = BindValue[] | { [name: string]: BindValue };

export type ParamsObject = { [column: string]: SqlValue };

export interface QueryExecResult {
  columns: string[];
  values: SqlValue[][];
}

/** Every error that SQLite reports is thrown as one of these. */
export interface SqliteError extends Error {
  /** The name of SQLite's extended result code, e.g. 'SQLITE_CONSTRAINT_UNIQUE'. */
  code: string;
  /** Its number, e.g. 2067. */
  errno: number;
}

export interface Options {
  /** Where the module's bytes are, given their file name and the folder of
   * the loader: a URL in a browser; a path or a file: URL in Node.js. */
  locateFile?: (file: string, scriptDirectory: string) => string;
  /** The module's bytes, when you load them yourself. */
  wasmBinary?: ArrayBuffer | Uint8Array;
}

export interface DatabaseOptions {
  /** Return every INTEGER as a bigint, not only those beyond ±(2^53 − 1). */
  safeIntegers?: boolean;
}

export interface FunctionOptions {
  /** How many arguments the function takes (0 to 127); fn.length by default. */
  arity?: number;
  /** Any number of arguments, as a (...args) => ... function takes. */
  varargs?: boolean;
}

/** A save refused because another tab or worker saved or removed the
 * name since this copy was read. */
export interface SaveConflictError extends Error {
  code: 'SAVE_CONFLICT';
}

/** The browser's storage refused: its quota for the site is full
 * ('STORAGE_FULL'; what was stored is as it was), or it keeps nothing for
 * the site ('STORAGE_BLOCKED': site data blocked, or a private window).
 * cause is the browser's own error. */
export interface StorageError extends Error {
  code: 'STORAGE_FULL' | 'STORAGE_BLOCKED';
  cause: unknown;
}

export declare class Statement {
  private constructor();
  /** Clears earlier bindings and binds these; returns true. */
  bind(values?: BindParams | null): boolean;
  /** Runs to the next row: true if there is one, false when done. */
  step(): boolean;
  /** The current row; with params, binds them and steps first. */
  get(params?: BindParams | null): SqlValue[];
  /** The current row as an object; Row names its columns' types, which
   * you vouch for. */
  getAsObject<Row extends ParamsObject = ParamsObject>(params?: BindParams | null): Row;
  getColumnNames(): string[];
  /** Binds, runs to the end and resets. */
  run(params?: BindParams | null): boolean;
  reset(): boolean;
  /** Finalizes the statement; returns false if it was already freed. */
  free(): boolean;
}

/** The statements of a string of SQL, prepared one at a time. Each is
 * freed when the next is asked for or the loop ends. */
export interface StatementIterator extends IterableIterator<Statement> {
  /** The SQL not yet prepared. */
  getRemainingSQL(): string;
}

/** What Database.open or Database.openDurable opened. */
export interface StoredDatabase {
  readonly name: string;
  readonly storage: 'opfs' | 'indexeddb';
  /** Counted up by every save and every remove; 0 when nothing was ever
   * stored under name. Always 0 for a durable database, which has no
   * saves. */
  readonly version: number;
  /** True for a database opened with Database.openDurable (or by the
   * worker API's open(name) in a browser that can): every COMMIT is
   * stored, page by page. */
  readonly durable?: boolean;
}

/** Options of Database.openDurable. */
export interface DurableOptions extends DatabaseOptions {
  /** How long hold() waits for another tab or worker's turn on the name
   * before it rejects with code 'SQLITE_BUSY'; 30000 (30 s) unless given,
   * Infinity to wait for ever. */
  waitMs?: number;
}

/** Durable databases are not available here (code 'DURABLE_UNAVAILABLE'):
 * they need a dedicated Worker with OPFS access handles and Web Locks. */
export interface DurableUnavailableError extends Error {
  code: 'DURABLE_UNAVAILABLE';
}

export declare class Database {
  /** An in-memory database; with bytes, a copy of that database file. */
  constructor(bytes?: Uint8Array | ArrayBuffer | ArrayBufferView | null, options?: DatabaseOptions);
  /** The database last saved under name in the browser's storage (the
   * Origin Private File System, or IndexedDB), or an empty one. */
  static open(name: string, options?: DatabaseOptions): Promise<Database>;
  /** Deletes what is saved under name, snapshot and durable database
   * alike. Its version is kept, counted up, so that a copy read before
   * cannot save over what is saved after. */
  static remove(name: string): Promise<void>;
  /** Stores the database file in bytes (a file the user picked, a fetched
   * .sqlite) as the snapshot under name, whatever was saved there; bytes
   * that are not a database are refused, storing nothing. */
  static import(name: string, bytes: Uint8Array | ArrayBuffer | ArrayBufferView): Promise<void>;
  /** In a dedicated Worker: the database stored page by page under name
   * in the Origin Private File System, which every tab and worker of the
   * site shares; an empty one the first time, or the snapshot saved under
   * name if there is one. Every COMMIT is stored when it returns. SQL runs
   * only while this copy holds the name: inside use(), or between hold()
   * and release(); otherwise it throws with code 'NOT_HELD'. Rejects with
   * code 'DURABLE_UNAVAILABLE' where durable databases are not. */
  static openDurable(name: string, options?: DurableOptions): Promise<Database>;
  /** Replaces what is stored durably under name with the database file in
   * bytes, in one transaction, in the name's turn. */
  static importDurable(name: string, bytes: Uint8Array | ArrayBuffer | ArrayBufferView): Promise<void>;
  /** Waits for this durable database's turn on its name and takes it;
   * other tabs and workers wait until release(). Resolves at once for
   * other databases. */
  hold(): Promise<void>;
  /** Gives the turn back. Throws with code 'SQLITE_BUSY' while a
   * transaction is open or a statement is part way through its rows. */
  release(): void;
  /** Runs work while holding the turn, and releases it after, however
   * work ends; a transaction work leaves open is rolled back and rejects
   * with code 'SQLITE_ABORT'. */
  use<T>(work: (db: Database) => T | Promise<T>): Promise<T>;
  /** Replaces the whole database with the database file in bytes, in one
   * transaction. */
  replace(bytes: Uint8Array | ArrayBuffer | ArrayBufferView): void;
  /** What Database.open or openDurable opened; null for other databases. */
  readonly stored: StoredDatabase | null;
  /** A durable database: resolves at once, as every COMMIT is stored.
   * Otherwise writes the whole database back under the name it was opened with.
   * A copy's saves run in the order they were called, each with the
   * database as it was at the call. Rejects with code 'SAVE_CONFLICT',
   * saving nothing, when another tab or worker saved or removed that name
   * after this copy was read; with a StorageError when the browser's
   * storage refuses, leaving what was stored as it was. */
  save(): Promise<void>;
  /** Runs every statement of sql; one result for each that gave rows. */
  exec(sql: string, params?: BindParams | null): QueryExecResult[];
  /** Runs sql and returns the database. */
  run(sql: string, params?: BindParams | null): Database;
  prepare(sql: string, params?: BindParams | null): Statement;
  /** Calls callback with each row as an object, then done. */
  each<Row extends ParamsObject = ParamsObject>(sql: string, params: BindParams | null | undefined,
                                                callback: (row: Row) => void,
       done?: () => void): void;
  each<Row extends ParamsObject = ParamsObject>(sql: string, callback: (row: Row) => void,
                                                done?: () => void): void;
  iterateStatements(sql: string): StatementIterator;
  /** A scalar SQL function written in JavaScript, with fn.length arguments,
   * or options.arity, or any number with options.varargs. SQL may pass any
   * value: a parameter typed narrower than SqlValue is a promise you keep.
   * The five geodesic functions cannot be replaced. */
  create_function<Args extends any[]>(name: string, fn: (...args: Args) => BindValue,
                                      options?: FunctionOptions): Database;
  /** Rows changed by the last INSERT, UPDATE or DELETE. */
  getRowsModified(): number;
  /** The database as the bytes of a database file. */
  export(): Uint8Array;
  /** Frees every open statement and closes the database. */
  close(): void;
}

export interface SqliteGeodesy {
  Database: typeof Database;
  Statement: typeof Statement;
  /** The version of SQLite inside, such as "3.53.2". */
  readonly sqliteVersion: string;
  /** Whether an unknown error is one that SQLite reported. */
  isSqliteError(error: unknown): error is SqliteError;
  /** Whether an unknown error is a save refused with SAVE_CONFLICT. */
  isSaveConflict(error: unknown): error is SaveConflictError;
  /** Where Database.open and save keep databases here; 'none' outside a
   * browser. */
  storage(): Promise<'opfs' | 'indexeddb' | 'none'>;
  /** Whether Database.openDurable works here (a dedicated Worker with
   * OPFS access handles and Web Locks). */
  durable(): boolean;
}

/** Loads the WebAssembly module. */
export declare function initSqliteGeodesy(options?: Options): Promise<SqliteGeodesy>;
