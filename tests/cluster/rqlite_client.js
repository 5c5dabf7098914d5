// SPDX-License-Identifier: MIT
// rqlite-js, unmodified from the npm registry, against geodesy-node's HTTP
// API: node rqlite_client.js CONFIG.json, where CONFIG names the hosts, the
// CA, a user, and the five functions' rows as the local module gives them.
// Prints one line per check ("ok: ..." or "FAIL: ..."), "STREAM" when the
// stream of writes starts (the caller then kills the leader), and last a
// JSON line with what became of each write of the stream.
'use strict'
const fs = require('fs')
const https = require('https')
const { DataApiClient } = require('rqlite-js')

const config = JSON.parse(fs.readFileSync(process.argv[2], 'utf8'))
const agent = new https.Agent({ ca: fs.readFileSync(config.ca), keepAlive: true })
const client = new DataApiClient(config.hosts, {
  authentication: { username: config.user, password: config.password },
  httpsAgent: agent,
})
let failed = 0
function check (what, ok, detail) {
  if (!ok) failed++
  console.log(`${ok ? 'ok' : 'FAIL'}: rqlite-js: ${what}${ok ? '' : ` (${detail})`}`)
}
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms))

async function main () {
  let r = await client.execute('CREATE TABLE js(id INTEGER PRIMARY KEY, name TEXT, lat REAL, lon REAL)')
  check('creates a table', !r.hasError(), r.toString())
  r = await client.execute([['INSERT INTO js(name, lat, lon) VALUES(?, ?, ?)', 'Paris', 48.8566, 2.3522]])
  const paris = r.get(0).getLastInsertId()
  r = await client.execute([['INSERT INTO js(name, lat, lon) VALUES(:name, :lat, :lon)',
    { name: 'Oslo', lat: 59.91, lon: 10.75 }]])
  check('writes with positional and named parameters, and gets last_insert_id and rows_affected',
    !r.hasError() && paris === 1 && r.get(0).getLastInsertId() === 2 && r.get(0).getRowsAffected() === 1,
    r.toString())

  const want = JSON.stringify([{ name: 'Paris', lat: 48.8566 }, { name: 'Oslo', lat: 59.91 }])
  for (const level of ['none', 'weak', 'linearizable', 'strong']) {
    r = await client.query('SELECT name, lat FROM js ORDER BY id', { level })
    check(`reads at level ${level}`, !r.hasError() && JSON.stringify(r.toArray()) === want, r.toString())
  }

  r = await client.execute(['INSERT INTO js(name) VALUES (\'Rome\')', 'INSERT INTO nowhere VALUES (1)'],
    { transaction: true })
  const count = await client.query('SELECT count(*) AS n FROM js')
  check('a transaction with a failing statement is rolled back whole',
    r.hasError() && count.get(0).get('n') === 2, `${r.toString()} / ${count.toString()}`)

  r = await client.execute('INSERT INTO nowhere VALUES (1)')
  check('a statement error is the result\'s error', r.hasError() && /no such table: nowhere/.test(r.getFirstError().message),
    r.toString())

  r = await client.query(config.five, { level: 'strong' })
  const rows = r.toArray()
  const same = (a, b) => Object.is(a, b) || (a === null && b === null)
  const mismatch = rows.findIndex((row, i) => !config.want[i] ||
    !Object.values(row).every((v, j) => same(v, config.want[i][j])))
  check(`all five functions on ${config.want.length} rows give the local module's bits`,
    !r.hasError() && rows.length === config.want.length && mismatch < 0,
    `${rows.length} rows, first mismatch at ${mismatch}: ${JSON.stringify(rows[mismatch])} vs ${JSON.stringify(config.want[mismatch])}`)

  // A stream of writes, one request each, while the caller kills the leader.
  const outcome = { acknowledged: [], unknown: [], failed: [] }
  console.log('STREAM')
  const until = Date.now() + config.streamMs
  for (let seq = 1; Date.now() < until; seq++) {
    try {
      r = await client.execute([['INSERT INTO stream(seq) VALUES (?)', seq]], { timeout: 30000 })
      if (!r.hasError()) {
        outcome.acknowledged.push(seq)
      } else if (/^outcome unknown/.test(r.getFirstError().message)) {
        outcome.unknown.push(seq)
      } else {
        outcome.failed.push(seq)
      }
    } catch (e) {
      outcome.failed.push(seq) // refused with nothing run (503) on every try
    }
    await sleep(5)
  }
  console.log(JSON.stringify(outcome))
}

main().then(() => process.exit(failed ? 1 : 0), (e) => {
  console.log(`FAIL: rqlite-js: ${e.stack || e}`)
  process.exit(1)
})
