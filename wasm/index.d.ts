// SPDX-License-Identifier: MIT
// The CommonJS entry: module.exports is the init function.
//
//   const initSqliteGeodesy = require('sqlite-geodesy-wasm');
import type * as types from './types';

declare function initSqliteGeodesy(options?: types.Options): Promise<types.SqliteGeodesy>;

declare namespace initSqliteGeodesy {
  type SqlValue = types.SqlValue;
  type BindValue = types.BindValue;
  type BindParams = types.BindParams;
  type ParamsObject = types.ParamsObject;
  type QueryExecResult = types.QueryExecResult;
  type SqliteError = types.SqliteError;
  type Options = types.Options;
  type DatabaseOptions = types.DatabaseOptions;
  type Database = types.Database;
  type Statement = types.Statement;
  type StatementIterator = types.StatementIterator;
  type SqliteGeodesy = types.SqliteGeodesy;
  type StoredDatabase = types.StoredDatabase;
  type FunctionOptions = types.FunctionOptions;
  type SaveConflictError = types.SaveConflictError;
  type StorageError = types.StorageError;
  type DurableOptions = types.DurableOptions;
  type DurableUnavailableError = types.DurableUnavailableError;
}

export = initSqliteGeodesy;
