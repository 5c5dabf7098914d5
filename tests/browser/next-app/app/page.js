// SPDX-License-Identifier: MIT
// A client component using the package in the page and through its worker
// API, as a Next.js user writes it. It reports on window.report for the
// test to read (apps_test.js).
'use client';
import { useEffect, useState } from 'react';
import initSqliteGeodesy from 'sqlite-geodesy-wasm';
import { connect } from 'sqlite-geodesy-wasm/worker';

async function bits() {
  const { Database } = await initSqliteGeodesy();
  const db = new Database();
  const page = db.exec('SELECT distance(0, 0, 0, 1), azimut_start(0, 0, 0, -1)')[0].values[0];
  db.close();
  const sqlite = connect(new Worker(new URL('./db-worker.js', import.meta.url), { type: 'module' }));
  const inWorker = await sqlite.open();
  const { lat, lon } = await inWorker.get('SELECT project_lat(0, 0, 90, 1e6) AS lat, project_lon(0, 0, 90, 1e6) AS lon');
  await inWorker.close();
  return { page, worker: [lat, lon] };
}

export default function Home() {
  const [shown, setShown] = useState('…');
  useEffect(() => {
    bits().then((report) => {
      window.report = { ...report, done: true };
      setShown(JSON.stringify(report));
    }, (error) => {
      window.report = { error: error.message };
      setShown(error.message);
    });
  }, []);
  return <pre>{shown}</pre>;
}
