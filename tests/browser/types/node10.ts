// SPDX-License-Identifier: MIT
// The worker API from a project whose TypeScript resolves packages the old
// way (moduleResolution node10, which reads no "exports"), compiled with
// tsc --strict.
import { connect, isSqliteError } from 'sqlite-geodesy-wasm/worker';

export async function main(): Promise<void> {
  const sqlite = connect(new Worker('db-worker.js', { type: 'module' }), { url: 'db-worker.js' });
  const db = await sqlite.open();
  try {
    await db.run('SELECT nothing');
  } catch (error) {
    if (isSqliteError(error)) console.log(error.errno.toFixed(0));
    // @ts-expect-error: an unknown error has no code until narrowed
    console.log(error.code);
  }
  // @ts-expect-error: all() gives a promise, not the rows
  const rows: unknown[] = db.all('SELECT 1');
  console.log(rows);
}
