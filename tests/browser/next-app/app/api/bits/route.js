// SPDX-License-Identifier: MIT
// A route handler: the package in server code that Next.js bundles.
import initSqliteGeodesy from 'sqlite-geodesy-wasm';

export const dynamic = 'force-dynamic';

export async function GET() {
  const { Database } = await initSqliteGeodesy();
  const db = new Database();
  const row = db.exec('SELECT project_lat(0, 0, 90, 1e6), project_lon(0, 0, 90, 1e6)')[0].values[0];
  db.close();
  return Response.json(row);
}
