// SPDX-License-Identifier: MIT
/** A database that can load an SQLite extension: better-sqlite3's and
 *  libsql's Database, or node:sqlite's DatabaseSync opened with
 *  `{ allowExtension: true }`. */
export interface ExtensionHost {
  loadExtension(path: string, ...rest: any[]): unknown;
}

/** Full path of the prebuilt module for this platform. Throws an Error that
 *  names the platform and the supported ones where there is none. */
export function getLoadablePath(): string;

/** Loads the extension into db: distance, azimut_start, azimut_end,
 *  project_lat and project_lon become SQL functions on it. */
export function load(db: ExtensionHost): void;

/** The package's version. */
export const version: string;
