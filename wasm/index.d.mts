// SPDX-License-Identifier: MIT
// The ES module entries, for browsers, bundlers and Node.js: the init
// function as the default export and by name.
//
//   import initSqliteGeodesy from 'sqlite-geodesy-wasm';
export type {
  SqlValue, BindValue, BindParams, ParamsObject, QueryExecResult, SqliteError, Options,
  DatabaseOptions, Database, Statement, StatementIterator, SqliteGeodesy, StoredDatabase,
  FunctionOptions, SaveConflictError, StorageError, DurableOptions, DurableUnavailableError,
} from './types.js';
import { initSqliteGeodesy } from './types.js';

export default initSqliteGeodesy;
export { initSqliteGeodesy };
