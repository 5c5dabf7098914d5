// SPDX-License-Identifier: MIT
// Types for sqlite-geodesy-wasm/worker: databases that live in a Web
// Worker, every call a promise.
import type {
  BindParams, DatabaseOptions, DurableOptions, Options, ParamsObject, QueryExecResult, SaveConflictError,
  SqliteError, StorageError, StoredDatabase,
} from './types.js';

/** In the worker: answer the page's calls (loads the module once). */
export declare function serve(options?: Options): void;

/** In the page: a client for a worker that called serve(). Calls made
 * before the worker's serve() runs wait for it. */
export declare function connect(worker: Worker, options?: ConnectOptions): WorkerClient;

export interface ConnectOptions {
  /** The worker script's URL, named in the error if it cannot load. */
  url?: string | URL;
  /** How long to wait for the worker to call serve(), in ms (30 000);
   * then every call rejects, saying so. */
  readyMs?: number;
}

/** Whether error is one that SQLite reported (code 'SQLITE_…', errno). */
export declare function isSqliteError(error: unknown): error is SqliteError;
/** Whether error is a save refused because another tab or worker saved since. */
export declare function isSaveConflict(error: unknown): error is SaveConflictError;
/** Whether error is the browser's storage refusing a save (code
 * 'STORAGE_FULL' or 'STORAGE_BLOCKED'). */
export declare function isStorageError(error: unknown): error is StorageError;

export interface WorkerClient {
  /** A database in the worker: empty in memory (no source), a copy of
   * bytes, or the one stored in the browser under a name. With a name,
   * durable where the worker can (as Database.openDurable: every COMMIT
   * stored, tabs and workers taking turns call by call, and for the
   * length of a transaction), a snapshot saved by save() elsewhere or
   * with options.snapshot (as Database.open). */
  open(source?: string | Uint8Array | ArrayBuffer | null,
       options?: DurableOptions & { snapshot?: boolean }): Promise<WorkerDatabase>;
  /** Deletes what is stored under name. */
  remove(name: string): Promise<void>;
  /** Stores the database file in bytes under name, replacing what is
   * there: durably where the worker can, unless options.snapshot. */
  import(name: string, bytes: Uint8Array | ArrayBuffer, options?: { snapshot?: boolean }): Promise<void>;
  storage(): Promise<'opfs' | 'indexeddb' | 'none'>;
  /** Whether open(name) opens durable databases in this worker. */
  durable(): Promise<boolean>;
  sqliteVersion(): Promise<string>;
  /** Ends the worker; every call after it, and every one pending, rejects. */
  terminate(): void;
}

export interface WorkerDatabase {
  /** What open(name) opened; null for other databases. Updated by save(). */
  readonly stored: StoredDatabase | null;
  /** Every statement of sql; one result for each that gave rows. */
  exec(sql: string, params?: BindParams | null): Promise<QueryExecResult[]>;
  /** Every row of sql's one statement, as an object. */
  all<Row extends ParamsObject = ParamsObject>(sql: string, params?: BindParams | null): Promise<Row[]>;
  /** The first row of sql's one statement, or undefined. */
  get<Row extends ParamsObject = ParamsObject>(sql: string, params?: BindParams | null): Promise<Row | undefined>;
  /** Runs sql; changes is the rows the last INSERT, UPDATE or DELETE changed. */
  run(sql: string, params?: BindParams | null): Promise<{ changes: number }>;
  /** The database as the bytes of a database file. */
  export(): Promise<Uint8Array>;
  /** Saves under the name it was opened with; rejects with code
   * 'SAVE_CONFLICT', saving nothing, when another tab or worker saved since.
   * Resolves at once for a durable database. */
  save(): Promise<void>;
  close(): Promise<void>;
}
