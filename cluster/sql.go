// SPDX-License-Identifier: MIT

package main

// geodesy-node sql: a client for the cluster that never waits without
// bound or in silence. Within --timeout it finds the leader, runs each
// statement and prints the rows of every statement that gives any; when it
// cannot, it says why and exits non-zero:
//
//	0  every statement ran
//	1  an SQL error: the statement that failed, and those after it, were not applied
//	2  bad usage
//	3  a write was in flight when the connection or the time ran out: it may
//	   or may not have been committed
//	4  nothing was sent: the cluster refused this client (TLS), did not answer,
//	   or has no leader (no quorum)
//
// "database is locked" (another client's transaction holds the write lock)
// is retried with backoff until the timeout.

import (
	"context"
	"database/sql"
	"errors"
	"fmt"
	"io"
	"os"
	"strings"
	"sync/atomic"
	"time"

	"github.com/canonical/go-dqlite/client"
	"github.com/canonical/go-dqlite/driver"
)

type sqlOptions struct {
	clientOptions
	format string
}

func runSQL(args []string) int {
	var o sqlOptions
	flags := newCommand("sql", "[--format table|csv|json] DATABASE [SQL...]",
		"Runs the SQL (the arguments, or standard input) on the cluster's leader and prints the\n"+
			"rows of every statement that gives any; REALs with 17 significant digits.", &o.clientOptions)
	flags.StringVar(&o.format, "format", "table", "how rows are printed: table, csv or json")
	dial, ok := o.parse(flags, args)
	if !ok {
		return exitUsage
	}
	usage := func(message string) int { return usageError("sql", message) }
	if flags.NArg() < 1 {
		return usage("give a DATABASE name")
	}
	if o.format != "table" && o.format != "csv" && o.format != "json" {
		return usage(fmt.Sprintf("--format must be table, csv or json, not %q", o.format))
	}
	text := strings.Join(flags.Args()[1:], " ")
	if flags.NArg() == 1 {
		input, err := io.ReadAll(os.Stdin)
		if err != nil {
			return usage(err.Error())
		}
		text = string(input)
	}
	statements := splitStatements(text)
	if len(statements) == 0 {
		return usage("no SQL statement given")
	}
	// Refused statements are found before any statement is sent, so that
	// a script is refused whole rather than applied in part.
	for _, statement := range statements {
		if refusal := kindOf(statement).refusal; refusal != "" {
			fmt.Fprintf(os.Stderr, "geodesy-node sql: %s (in: %s); nothing was sent\n", refusal, abbreviate(statement))
			return exitSQL
		}
	}

	return o.run("sql", func(ctx context.Context, stage *atomic.Value) error {
		return execute(ctx, o, dial, flags.Arg(0), statements, stage)
	})
}

func execute(ctx context.Context, o sqlOptions, dial client.DialFunc, database string,
	statements []string, stage *atomic.Value) error {
	addresses := o.addresses()
	// Find the leader and open the database on it. A leader that has just
	// lost its majority still names itself for a moment but takes no
	// connection: then ask again, until the time runs out.
	var conn *sql.Conn
	for {
		leader, answers, err := findLeader(ctx, addresses, dial, o.tlsCert != "")
		if err != nil {
			return err
		}
		if err := checkIdentity(ctx, o.clusterID, leader, addresses, dial); err != nil {
			return err
		}
		stage.Store("connecting to the leader at " + leader)
		conn, err = open(ctx, leader, addresses, dial, database)
		if err == nil {
			break
		}
		if ctx.Err() != nil {
			message := noLeader(answers, leader, err)
			if !closedAtDoor(err) {
				message = fmt.Sprintf("%s (%v)", message, err)
			}
			return &outcomeError{exitCluster, message + "; nothing was sent"}
		}
		time.Sleep(200 * time.Millisecond)
	}
	defer conn.Close()

	out := newPrinter(os.Stdout, o.format)
	for i, statement := range statements {
		stage.Store(fmt.Sprintf("running statement %d of %d", i+1, len(statements)))
		if err := runStatement(ctx, conn, statement, out, o.timeout); err != nil {
			return err
		}
	}
	return nil
}

func runStatement(ctx context.Context, conn *sql.Conn, statement string, out *printer, timeout time.Duration) error {
	kind := kindOf(statement)
	backoff := 10 * time.Millisecond
	for {
		err := tryStatement(ctx, conn, statement, kind.rows, out)
		if err == nil {
			return nil
		}
		// Another client's transaction holds the write lock: nothing was
		// applied, so waiting and trying again is safe.
		var sqlite driver.Error
		if errors.As(err, &sqlite) && (sqlite.Code&0xff) == driver.ErrBusy && ctx.Err() == nil {
			select {
			case <-time.After(backoff):
			case <-ctx.Done():
			}
			if backoff < 500*time.Millisecond {
				backoff *= 2
			}
			if ctx.Err() == nil {
				continue
			}
			return &outcomeError{exitSQL, fmt.Sprintf("%s: still locked by another client after %v; "+
				"not applied", sqlite.Message, timeout)}
		}
		return classify(ctx, err, kind.write, statement, timeout)
	}
}

func tryStatement(ctx context.Context, conn *sql.Conn, statement string, rows bool, out *printer) error {
	if !rows {
		_, err := conn.ExecContext(ctx, statement)
		return err
	}
	result, err := conn.QueryContext(ctx, statement)
	if err != nil {
		return err
	}
	defer result.Close()
	columns, err := result.Columns()
	if err != nil {
		return err
	}
	var table [][]interface{}
	for result.Next() {
		values := make([]interface{}, len(columns))
		pointers := make([]interface{}, len(columns))
		for i := range values {
			pointers[i] = &values[i]
		}
		if err := result.Scan(pointers...); err != nil {
			return err
		}
		table = append(table, values)
	}
	if err := result.Err(); err != nil {
		return err
	}
	out.rows(columns, table)
	return nil
}

// SQLite's primary result codes that a statement fails with before it
// changes anything, or after it has rolled its change back: a write that
// fails with one of these was certainly not committed. Every other code
// (an I/O error, a full disk, dqlite's "not leader" and "leadership lost",
// anything from the Raft layer) can come after the leader has replicated
// the write, so its outcome is unknown.
var notAppliedCodes = map[int]string{
	1: "SQLITE_ERROR", 3: "SQLITE_PERM", 5: "SQLITE_BUSY", 6: "SQLITE_LOCKED", 8: "SQLITE_READONLY",
	// Interrupted (the leader's --statement-timeout ran out): SQLite rolls
	// the statement back, and the transaction too if one is open.
	9:  "SQLITE_INTERRUPT",
	18: "SQLITE_TOOBIG", 19: "SQLITE_CONSTRAINT", 20: "SQLITE_MISMATCH", 21: "SQLITE_MISUSE",
	23: "SQLITE_AUTH", 25: "SQLITE_RANGE",
}

// classify says what became of a statement that failed.
func classify(ctx context.Context, err error, write bool, statement string, timeout time.Duration) error {
	var sqlite driver.Error
	if errors.As(err, &sqlite) {
		_, certain := notAppliedCodes[sqlite.Code&0xff]
		message := fmt.Sprintf("%s (in: %s)", sqlite.Message, abbreviate(statement))
		if !write {
			return &outcomeError{exitSQL, message}
		}
		if certain {
			return &outcomeError{exitSQL, message + "; not applied"}
		}
		return &outcomeError{exitUnknown, fmt.Sprintf("%s, code %d: the leader failed while it wrote, "+
			"so the write may have been committed. Check before retrying, or make the write idempotent "+
			"(docs/cluster.md, \"Writes whose outcome is unknown\")", message, sqlite.Code)}
	}
	lost := ctx.Err() != nil
	if write {
		what := "the connection to the leader was lost"
		if lost {
			what = fmt.Sprintf("the timeout (%v) ran out", timeout)
		}
		return &outcomeError{exitUnknown, fmt.Sprintf("%s while a write was in flight (%s): "+
			"the write may have been committed. Check before retrying, or make the write idempotent "+
			"(docs/cluster.md, \"Writes whose outcome is unknown\") [%v]", what, abbreviate(statement), err)}
	}
	if lost {
		return &outcomeError{exitCluster, fmt.Sprintf("no answer within the timeout (%v) to: %s", timeout, abbreviate(statement))}
	}
	return &outcomeError{exitCluster, fmt.Sprintf("the connection to the leader was lost during a query "+
		"(%s); nothing was changed: %v", abbreviate(statement), err)}
}

func abbreviate(statement string) string {
	statement = strings.Join(strings.Fields(statement), " ")
	if len(statement) > 60 {
		return statement[:57] + "..."
	}
	return statement
}
