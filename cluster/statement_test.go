// SPDX-License-Identifier: MIT

package main

import "testing"

// A statement sent as a query is not replicated, and one sent for
// execution prints no rows: each case is what the client must decide.
func TestKindOf(t *testing.T) {
	const w, r, refused = 1, 2, 4
	for _, c := range []struct {
		sql  string
		want int
	}{
		{"SELECT distance(0, 0, 0, 1)", r},
		{"  values (1), (2)", r},
		{"EXPLAIN QUERY PLAN INSERT INTO t VALUES (1)", r},
		{"INSERT INTO place VALUES ('ret', 3, 4)", w},
		{"CREATE TABLE t(x)", w},
		{"BEGIN IMMEDIATE", w},
		{"WITH w(x) AS (VALUES (';')) SELECT x FROM w", r},
		{"WITH a AS (SELECT 'INSERT'), \"update\" AS MATERIALIZED (SELECT 1) SELECT * FROM a", r},
		{"WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 5) SELECT count(*) FROM c", r},
		{"WITH n(v) AS (VALUES (1)) INSERT INTO t SELECT v FROM n", w},
		{"with n as not materialized (select 1) delete from t where x in n", w},
		{"/* WITH */ WITH replace AS (SELECT 1) REPLACE INTO t SELECT * FROM replace", w},
		{"INSERT INTO place VALUES ('ret', 3, 4) RETURNING name", w | r | refused},
		{"WITH n(v) AS (VALUES (1)) UPDATE t SET x = v FROM n returning *", w | r | refused},
		{"DELETE FROM t -- RETURNING\n", w},
		{"INSERT INTO t VALUES ('RETURNING')", w},
		{"SELECT returning FROM t", r},
		{"PRAGMA table_info(place)", r},
		{"PRAGMA integrity_check", r},
		{"PRAGMA user_version = 7", w},
		{"PRAGMA user_version(7)", w},
	} {
		k := kindOf(c.sql)
		got := 0
		if k.write {
			got |= w
		}
		if k.rows {
			got |= r
		}
		if k.refusal != "" {
			got |= refused
		}
		if got != c.want {
			t.Errorf("%q: write %v, rows %v, refused %v; want %03b", c.sql, k.write, k.rows, k.refusal != "", c.want)
		}
	}
}
