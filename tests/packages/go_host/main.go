// SPDX-License-Identifier: MIT

// A Go program using the Go package as its users do (make go-test): the
// functions registered by geodesy.Auto(), or by geodesy.ConnectHook on a
// driver of its own (-hook), queried through database/sql. It answers
// check_bits.py: per line "inverse|direct A B C D" on standard input (each
// argument the hex bits of a double, or i<integer>), the results of the
// three inverse or the two direct functions as hex bits, or NULL.
package main

import (
	"bufio"
	"database/sql"
	"flag"
	"fmt"
	"math"
	"os"
	"strconv"
	"strings"

	"github.com/mattn/go-sqlite3"
	geodesy "sqlite-geodesy.invalid/go"
)

func main() {
	hook := flag.Bool("hook", false, "register through ConnectHook instead of Auto")
	flag.Parse()
	driver := "sqlite3"
	if *hook {
		driver = "sqlite3_geodesy"
		sql.Register(driver, &sqlite3.SQLiteDriver{ConnectHook: geodesy.ConnectHook})
	} else if err := geodesy.Auto(); err != nil {
		fail(err)
	}
	db, err := sql.Open(driver, ":memory:")
	if err != nil {
		fail(err)
	}
	inverse, err := db.Prepare("SELECT distance(?1, ?2, ?3, ?4), azimut_start(?1, ?2, ?3, ?4), azimut_end(?1, ?2, ?3, ?4)")
	if err != nil {
		fail(err)
	}
	direct, err := db.Prepare("SELECT project_lat(?1, ?2, ?3, ?4), project_lon(?1, ?2, ?3, ?4)")
	if err != nil {
		fail(err)
	}
	in := bufio.NewScanner(os.Stdin)
	out := bufio.NewWriter(os.Stdout)
	defer out.Flush()
	for in.Scan() {
		fields := strings.Fields(in.Text())
		if len(fields) != 5 {
			fail(fmt.Errorf("bad input line %q", in.Text()))
		}
		args := make([]any, 4)
		for i, field := range fields[1:] {
			args[i] = argument(field)
		}
		stmt, n := inverse, 3
		if fields[0] == "direct" {
			stmt, n = direct, 2
		}
		results := make([]sql.NullFloat64, n)
		targets := make([]any, n)
		for i := range results {
			targets[i] = &results[i]
		}
		if err := stmt.QueryRow(args...).Scan(targets...); err != nil {
			fail(err)
		}
		for i, r := range results {
			if i > 0 {
				out.WriteString(" ")
			}
			if r.Valid {
				fmt.Fprintf(out, "%016x", math.Float64bits(r.Float64))
			} else {
				out.WriteString("NULL")
			}
		}
		out.WriteString("\n")
	}
}

func argument(field string) any {
	if strings.HasPrefix(field, "i") {
		n, err := strconv.ParseInt(field[1:], 10, 64)
		if err != nil {
			fail(err)
		}
		return n
	}
	b, err := strconv.ParseUint(field, 16, 64)
	if err != nil {
		fail(err)
	}
	return math.Float64frombits(b)
}

func fail(err error) {
	fmt.Fprintln(os.Stderr, "go_host:", err)
	os.Exit(1)
}
