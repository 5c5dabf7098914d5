// SPDX-License-Identifier: MIT
// Types for sqlite-geodesy-wasm: SQLite in WebAssembly with the functions
// distance, azimut_start, azimut_end, project_lat and project_lon built in.

declare namespace initSqliteGeodesy {
  /** A value SQLite stores: INTEGER (a number, or a bigint beyond ±2^53),
   * REAL, TEXT, BLOB or NULL. */
  type SqlValue = number | bigint | string | Uint8Array | null;
  /** What can be bound to a parameter. A whole number within ±2^53 other
   * than -0 is bound as INTEGER, any other number as REAL (every bit kept);
   * booleans as 0 or 1; undefined as NULL. */
  type BindValue = SqlValue | boolean | undefined | ArrayBuffer | ArrayBufferView;
  /** Positional values, or values by parameter name (with or without its
   * ':', '@' or '$' prefix). */
  type BindParams = BindValue[] | { [name: string]: BindValue };

  interface QueryExecResult {
    columns: string[];
    values: SqlValue[][];
  }

  interface Options {
    /** Where the loader finds sqlite-geodesy.wasm (by default beside
     * sqlite-geodesy.js). */
    locateFile?: (file: string, scriptDirectory: string) => string;
    /** The module's bytes, when you load them yourself. */
    wasmBinary?: ArrayBuffer | Uint8Array;
  }

  class Statement {
    /** Clears earlier bindings and binds these; returns true. */
    bind(values?: BindParams | null): boolean;
    /** Runs to the next row: true if there is one, false when done. */
    step(): boolean;
    /** The current row; with params, binds them and steps first. */
    get(params?: BindParams | null): SqlValue[];
    getAsObject(params?: BindParams | null): { [column: string]: SqlValue };
    getColumnNames(): string[];
    /** Binds, runs to the end and resets. */
    run(params?: BindParams | null): boolean;
    reset(): boolean;
    /** Finalizes the statement; returns false if it was already freed. */
    free(): boolean;
  }

  class Database {
    /** An in-memory database; with bytes, a copy of that database file. */
    constructor(bytes?: Uint8Array | ArrayBuffer | ArrayBufferView | null);
    /** Runs every statement of sql; one result for each that gave rows. */
    exec(sql: string, params?: BindParams | null): QueryExecResult[];
    /** Runs sql and returns the database. */
    run(sql: string, params?: BindParams | null): Database;
    prepare(sql: string, params?: BindParams | null): Statement;
    /** Rows changed by the last INSERT, UPDATE or DELETE. */
    getRowsModified(): number;
    /** The database as the bytes of a database file. */
    export(): Uint8Array;
    /** Frees every open statement and closes the database. */
    close(): void;
  }

  interface SqliteGeodesy {
    Database: typeof Database;
    Statement: typeof Statement;
    /** The version of SQLite inside, such as "3.53.2". */
    sqliteVersion: string;
  }

  export { initSqliteGeodesy as default };
}

/** Loads the WebAssembly module; resolves to the Database class. */
declare function initSqliteGeodesy(
  options?: initSqliteGeodesy.Options,
): Promise<initSqliteGeodesy.SqliteGeodesy>;

export = initSqliteGeodesy;
