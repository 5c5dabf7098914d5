// SPDX-License-Identifier: MIT

// The Go package beside the static kit (make go-test): one program, built
// twice, that times the five functions over a table of random points in
// SQLite through mattn/go-sqlite3. Built plainly it registers them with
// the Go package (cgo compiles the sources); built with the kit tag it
// links libgeodesy.a as a C program would. The rows are summed in SQL,
// so database/sql's cost per query is spread over every row and the
// figure is SQLite's and the functions' CPU time a row. It prints
// "NAME ns/row SUM", SUM the bits of the sums, which must be the same in
// both builds.
package main

import (
	"database/sql"
	"fmt"
	"math"
	"os"
	"syscall"

	_ "github.com/mattn/go-sqlite3"
)

const rows = 200000

func main() {
	if err := register(); err != nil {
		fail(err)
	}
	db, err := sql.Open("sqlite3", ":memory:")
	if err != nil {
		fail(err)
	}
	db.SetMaxOpenConns(1)
	// The points come from SQLite's own generator with a fixed seed-free
	// recipe, so both builds read the same table.
	for _, q := range []string{
		"CREATE TABLE p(lat1 REAL, lon1 REAL, lat2 REAL, lon2 REAL)",
		`WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ` + fmt.Sprint(rows) + `)
		 INSERT INTO p SELECT (i * 7919 % 17999) / 100.0 - 89.99, (i * 104729 % 35999) / 100.0 - 179.99,
		                      (i * 1299709 % 17999) / 100.0 - 89.99, (i * 15485863 % 35999) / 100.0 - 179.99 FROM n`,
	} {
		if _, err := db.Exec(q); err != nil {
			fail(err)
		}
	}
	query := `SELECT sum(distance(lat1, lon1, lat2, lon2)), sum(azimut_start(lat1, lon1, lat2, lon2)),
	                 sum(project_lat(lat1, lon1, lon2, 1e6)), sum(project_lon(lat1, lon1, lon2, 1e6)) FROM p`
	var best float64
	var sums [4]float64
	for run := 0; run < 5; run++ {
		start := cpu()
		if err := db.QueryRow(query).Scan(&sums[0], &sums[1], &sums[2], &sums[3]); err != nil {
			fail(err)
		}
		if t := (cpu() - start) / rows; run == 0 || t < best {
			best = t
		}
	}
	fmt.Printf("%s %.0f %x-%x-%x-%x\n", name, best,
		math.Float64bits(sums[0]), math.Float64bits(sums[1]), math.Float64bits(sums[2]), math.Float64bits(sums[3]))
}

// cpu is the process's CPU time in nanoseconds, user and system.
func cpu() float64 {
	var u syscall.Rusage
	if err := syscall.Getrusage(syscall.RUSAGE_SELF, &u); err != nil {
		fail(err)
	}
	return float64(u.Utime.Nano() + u.Stime.Nano())
}

func fail(err error) {
	fmt.Fprintln(os.Stderr, "go_beside_kit:", err)
	os.Exit(1)
}
