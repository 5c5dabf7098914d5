// SPDX-License-Identifier: MIT

package main

// The data endpoints, in rqlite's shape: POST /db/execute (writes),
// GET or POST /db/query (reads) and POST /db/request (both). Every node
// answers: its connection goes to the leader, as every dqlite client's
// does. What became of each statement is in its result, never guessed:
//
//   - a result with "error" and "outcome": "not applied" failed in SQLite
//     (or was never run) and changed nothing;
//   - "outcome": "unknown" is a write in flight when the leader was lost or
//     the time ran out: it may have been committed. Nothing after it runs;
//   - a request that could not reach a leader is answered 503, and nothing
//     in it was run, so it is safe to send again.

import (
	"bytes"
	"context"
	"database/sql"
	"database/sql/driver"
	"errors"
	"fmt"
	"io"
	"net/http"
	"net/url"
	"strconv"
	"time"

	dqlite "github.com/canonical/go-dqlite/driver"
)

const (
	maxBodyBytes   = 8 << 20  // a request's body
	maxStatements  = 1000     // statements in one request
	maxResultBytes = 64 << 20 // the JSON of one response's results
	// A request's time, unless it asks for another with ?timeout= (at
	// most maxRequestTimeout).
	defaultRequestTimeout = 10 * time.Second
	maxRequestTimeout     = 5 * time.Minute
)

type dataOptions struct {
	transaction, timings, pretty, associative, redirect bool
	level                                               string
	timeout                                             time.Duration
}

// flagSet reads one of rqlite's switches: ?pretty and ?pretty=true set
// it, ?pretty=false does not.
func flagSet(q url.Values, name string) bool {
	values, ok := q[name]
	if !ok {
		return false
	}
	v := values[0]
	return v == "" || v == "true" || v == "1" || v == "yes"
}

func parseDataOptions(q url.Values) (dataOptions, error) {
	o := dataOptions{
		transaction: flagSet(q, "transaction"), timings: flagSet(q, "timings"), pretty: flagSet(q, "pretty"),
		associative: flagSet(q, "associative"), redirect: flagSet(q, "redirect"),
		level: q.Get("level"), timeout: defaultRequestTimeout,
	}
	switch o.level {
	case "":
		o.level = "weak"
	case "none", "weak", "linearizable", "strong":
	default:
		return o, fmt.Errorf("level must be none, weak, linearizable or strong, not %q", o.level)
	}
	if t := q.Get("timeout"); t != "" {
		d, err := time.ParseDuration(t)
		if err != nil || d <= 0 || d > maxRequestTimeout {
			return o, fmt.Errorf("timeout must be a duration such as 5s, at most %v, not %q", maxRequestTimeout, t)
		}
		o.timeout = d
	}
	return o, nil
}

// data serves one of the three endpoints.
func (a *httpAPI) data(w http.ResponseWriter, r *http.Request, endpoint string) {
	if r.Method != http.MethodPost && !(endpoint == "query" && r.Method == http.MethodGet) {
		w.Header().Set("Allow", map[bool]string{true: "GET, POST", false: "POST"}[endpoint == "query"])
		a.refuse(w, http.StatusMethodNotAllowed, fmt.Sprintf("/db/%s takes %s", endpoint,
			map[bool]string{true: "GET or POST", false: "POST"}[endpoint == "query"]))
		return
	}
	user, ok := a.authenticate(w, r)
	if !ok {
		return
	}
	o, err := parseDataOptions(r.URL.Query())
	if err != nil {
		a.refuse(w, http.StatusBadRequest, err.Error())
		return
	}
	var statements []httpStatement
	if r.Method == http.MethodGet {
		q := r.URL.Query().Get("q")
		if q == "" {
			a.refuse(w, http.StatusBadRequest, "GET /db/query needs the SQL in ?q=")
			return
		}
		statements = []httpStatement{{sql: q}}
	} else {
		body, err := io.ReadAll(http.MaxBytesReader(w, r.Body, maxBodyBytes))
		if err != nil {
			var tooLarge *http.MaxBytesError
			if errors.As(err, &tooLarge) {
				a.refuse(w, http.StatusRequestEntityTooLarge,
					fmt.Sprintf("the body is larger than %d bytes; send fewer statements at a time", maxBodyBytes))
			} else {
				a.refuse(w, http.StatusBadRequest, "reading the body: "+err.Error())
			}
			return
		}
		if statements, err = parseStatements(body); err != nil {
			a.refuse(w, http.StatusBadRequest, err.Error())
			return
		}
	}
	if len(statements) == 0 {
		a.refuse(w, http.StatusBadRequest, "no statements given")
		return
	}
	if len(statements) > maxStatements {
		a.refuse(w, http.StatusRequestEntityTooLarge,
			fmt.Sprintf("%d statements; at most %d in one request", len(statements), maxStatements))
		return
	}
	kinds := make([]statementKind, len(statements))
	writes, reads := false, false
	for i, s := range statements {
		if controlsTransaction(s.sql) {
			a.refuse(w, http.StatusBadRequest, fmt.Sprintf("statement %d controls a transaction, which a request "+
				"cannot: its statements run on whichever connection to the leader is free, and a transaction "+
				"left open would hold the database. Send the statements in one request with ?transaction; "+
				"nothing was run", i+1))
			return
		}
		kinds[i] = kindOf(s.sql)
		if kinds[i].refusal != "" {
			a.refuse(w, http.StatusBadRequest, fmt.Sprintf("statement %d is %s; nothing was run", i+1, kinds[i].refusal))
			return
		}
		writes = writes || kinds[i].write
		reads = reads || !kinds[i].write
	}
	switch {
	case endpoint == "execute" && !user.may("execute"),
		endpoint == "query" && !user.may("query"),
		endpoint == "request" && writes && !user.may("execute"),
		endpoint == "request" && reads && !user.may("query"):
		a.refuse(w, http.StatusForbidden, fmt.Sprintf("%s may not do what this request asks (/db/%s)", user.name, endpoint))
		return
	}
	if o.redirect && a.redirectToLeader(w, r) {
		return
	}

	ctx, cancel := context.WithTimeout(r.Context(), o.timeout)
	defer cancel()
	started := time.Now()
	results, status, problem := a.runStatements(ctx, statements, kinds, endpoint, o)
	if status != http.StatusOK {
		a.refuse(w, status, problem)
		return
	}
	var out bytes.Buffer
	out.WriteString(`{"results":[`)
	for i, result := range results {
		if i > 0 {
			out.WriteByte(',')
		}
		out.Write(result)
	}
	out.WriteByte(']')
	if o.timings {
		fmt.Fprintf(&out, `,"time":%s`, seconds(time.Since(started)))
	}
	out.WriteString("}")
	a.reply(w, http.StatusOK, out.Bytes(), o.pretty)
}

// controlsTransaction says whether sql begins or ends a transaction or a
// savepoint.
func controlsTransaction(sql string) bool {
	tokens := topLevelTokens(stripLiterals(stripComments(sql)))
	if len(tokens) == 0 {
		return false
	}
	switch tokens[0] {
	case "BEGIN", "COMMIT", "END", "ROLLBACK", "SAVEPOINT", "RELEASE":
		return true
	}
	return false
}

func seconds(d time.Duration) string { return strconv.FormatFloat(d.Seconds(), 'g', -1, 64) }

// runStatements runs the statements on the leader and returns each one's
// result as JSON, or a status other than 200 and why, when nothing ran.
func (a *httpAPI) runStatements(ctx context.Context, statements []httpStatement, kinds []statementKind,
	endpoint string, o dataOptions) ([][]byte, int, string) {
	writes, reads := false, false
	for _, k := range kinds {
		writes, reads = writes || k.write, reads || !k.write
	}
	if reads && (o.level == "linearizable" || o.level == "strong") {
		if err := a.barrier.wait(ctx); err != nil {
			return nil, http.StatusServiceUnavailable, fmt.Sprintf("the leader could not confirm it still leads "+
				"(%v); nothing was run", err)
		}
	}
	if !writes && !o.transaction {
		// Reads alone go through the pool, which tries them again on
		// another connection when one turns out to be to a lost leader:
		// a read changes nothing, so that is always safe.
		db, err := a.database(ctx)
		if err != nil {
			return nil, http.StatusServiceUnavailable, fmt.Sprintf("no leader answered within %v (%v); "+
				"nothing was run", o.timeout, err)
		}
		results := make([][]byte, len(statements))
		size := 0
		for i, s := range statements {
			result, err := a.read(ctx, db, s, o, maxResultBytes-size)
			if err != nil {
				result = errorResult(describe(err, ctx, o.timeout), "not applied")
			}
			size += len(result)
			results[i] = result
		}
		return results, http.StatusOK, ""
	}
	conn, err := a.connection(ctx)
	if err != nil {
		return nil, http.StatusServiceUnavailable, fmt.Sprintf("no leader answered within %v (%v); nothing was run",
			o.timeout, err)
	}
	defer conn.Close()

	size := 0
	results := make([][]byte, 0, len(statements))
	notRun := func(why string) {
		for len(results) < len(statements) {
			results = append(results, errorResult("not run: "+why, "not applied"))
		}
	}
	if o.transaction {
		begin := "BEGIN"
		if writes {
			begin = "BEGIN IMMEDIATE" // take the write lock now, while waiting for it is safe
		}
		if _, err := a.exec(ctx, conn, begin, nil); err != nil {
			discard(conn)
			if isBadConn(err) {
				return nil, http.StatusServiceUnavailable, fmt.Sprintf("the leader was lost (%v); nothing was run", err)
			}
			return nil, http.StatusServiceUnavailable, fmt.Sprintf("could not begin the transaction: %v; nothing was run", err)
		}
	}
	failed, unknown := false, false
	for i, s := range statements {
		var result []byte
		var err error
		switch {
		case endpoint == "query" && kinds[i].write:
			// rqlite's words: a query cannot write, and a write sent as a
			// query would not be replicated.
			result, err = errorResult("attempt to change database via query operation", "not applied"), nil
			failed = true
		case kinds[i].write:
			result, err = a.write(ctx, conn, s, o, i)
		default:
			result, err = a.read(ctx, conn, s, o, maxResultBytes-size)
		}
		if err != nil {
			outcome := "not applied"
			if kinds[i].write && !o.transaction && !certainlyNotApplied(err) {
				outcome, unknown = "unknown", true
			}
			message := describe(err, ctx, o.timeout)
			if outcome == "unknown" {
				message = "outcome unknown, the write may have been committed: " + message
			}
			result = errorResult(message, outcome)
			failed = true
		}
		size += len(result)
		results = append(results, result)
		if unknown || failed && (o.transaction || isBadConn(err) || errors.Is(err, errTooLarge)) {
			break
		}
	}
	switch {
	case unknown:
		discard(conn)
		notRun("an earlier write's outcome is unknown")
	case o.transaction && failed:
		rollback, cancel := context.WithTimeout(context.Background(), 5*time.Second)
		_, err := conn.ExecContext(rollback, "ROLLBACK")
		cancel()
		if err != nil {
			discard(conn)
		}
		for i := range results {
			if !bytes.Contains(results[i], []byte(`"error"`)) {
				results[i] = errorResult("rolled back: a later statement of the transaction failed", "not applied")
			}
		}
		notRun("an earlier statement of the transaction failed, and the transaction was rolled back")
	case o.transaction:
		if _, err := conn.ExecContext(ctx, "COMMIT"); err != nil {
			outcome := "not applied"
			if !certainlyNotApplied(err) {
				outcome = "unknown"
				discard(conn)
			}
			message := "the transaction's COMMIT failed: " + describe(err, ctx, o.timeout)
			if outcome == "unknown" {
				message = "outcome unknown, the transaction may have been committed: " + describe(err, ctx, o.timeout)
			}
			for i := range results {
				results[i] = errorResult(message, outcome)
			}
		}
	case failed:
		notRun("an earlier statement failed")
	}
	return results, http.StatusOK, ""
}

var errTooLarge = errors.New("result too large")

// connection takes a connection to the leader. Connections kept in the
// pool go to the leader of their day: when the watcher sees another
// leader, the idle ones are closed, so that a write is not sent on a
// connection to a node that no longer leads (it would fail in flight,
// its outcome unknown though nothing was run).
func (a *httpAPI) connection(ctx context.Context) (*sql.Conn, error) {
	var last error
	for ctx.Err() == nil {
		db, err := a.database(ctx)
		if err != nil {
			return nil, err
		}
		view, _ := a.state.ready()
		a.mu.Lock()
		changed := view.leaderID != a.leader
		a.leader = view.leaderID
		a.mu.Unlock()
		if changed {
			db.SetMaxIdleConns(0)
			db.SetMaxIdleConns(idleConnections)
		}
		conn, err := db.Conn(ctx)
		if err == nil {
			return conn, nil
		}
		last = err
		select {
		case <-time.After(100 * time.Millisecond):
		case <-ctx.Done():
		}
	}
	if last == nil {
		last = ctx.Err()
	}
	return nil, last
}

// discard marks a connection as one not to be used again.
func discard(conn *sql.Conn) {
	conn.Raw(func(interface{}) error { return driver.ErrBadConn })
}

func isBadConn(err error) bool { return errors.Is(err, driver.ErrBadConn) }

func certainlyNotApplied(err error) bool {
	var sqlite dqlite.Error
	if errors.As(err, &sqlite) {
		_, certain := notAppliedCodes[sqlite.Code&0xff]
		return certain
	}
	return errors.Is(err, errTooLarge)
}

func describe(err error, ctx context.Context, timeout time.Duration) string {
	var sqlite dqlite.Error
	switch {
	case errors.As(err, &sqlite) && sqlite.Code&0xff == 9:
		return "interrupted: the statement ran for longer than the leader's --statement-timeout"
	case errors.As(err, &sqlite):
		return sqlite.Message
	case ctx.Err() != nil:
		return fmt.Sprintf("the request's time (%v) ran out: %v", timeout, err)
	case isBadConn(err):
		return "the connection to the leader was lost (the leader failed or stepped down)"
	}
	return err.Error()
}

// exec runs a write, waiting out another client's write lock: a write
// refused with SQLITE_BUSY changed nothing, so trying again is safe.
func (a *httpAPI) exec(ctx context.Context, conn *sql.Conn, query string, args []interface{}) (sql.Result, error) {
	backoff := 5 * time.Millisecond
	for {
		result, err := conn.ExecContext(ctx, query, args...)
		var sqlite dqlite.Error
		if err == nil || !errors.As(err, &sqlite) || sqlite.Code&0xff != dqlite.ErrBusy {
			return result, err
		}
		select {
		case <-time.After(backoff):
		case <-ctx.Done():
			return nil, err
		}
		if backoff < 200*time.Millisecond {
			backoff *= 2
		}
	}
}

func (a *httpAPI) write(ctx context.Context, conn *sql.Conn, s httpStatement, o dataOptions, i int) ([]byte, error) {
	started := time.Now()
	result, err := a.exec(ctx, conn, s.sql, s.args)
	if err != nil {
		return nil, err
	}
	var out bytes.Buffer
	id, _ := result.LastInsertId()
	affected, _ := result.RowsAffected()
	fmt.Fprintf(&out, `{"last_insert_id":%d,"rows_affected":%d`, id, affected)
	if o.timings {
		fmt.Fprintf(&out, `,"time":%s`, seconds(time.Since(started)))
	}
	out.WriteByte('}')
	return out.Bytes(), nil
}

// querier is a connection, or the pool.
type querier interface {
	QueryContext(ctx context.Context, query string, args ...interface{}) (*sql.Rows, error)
}

// read runs a query and writes its rows, within room bytes.
func (a *httpAPI) read(ctx context.Context, conn querier, s httpStatement, o dataOptions, room int) ([]byte, error) {
	started := time.Now()
	rows, err := conn.QueryContext(ctx, s.sql, s.args...)
	var sqlite dqlite.Error
	if err != nil && a.statementLimit > 0 && time.Since(started) >= a.statementLimit &&
		errors.As(err, &sqlite) && sqlite.Code == 1 {
		// dqlite 1.11 reports an interrupted query as SQLITE_ERROR with a
		// column's name for its message.
		return nil, fmt.Errorf("interrupted: the query ran for longer than the leader's --statement-timeout "+
			"(dqlite said %q)", sqlite.Message)
	}
	if err != nil {
		return nil, err
	}
	defer rows.Close()
	columns, err := rows.Columns()
	if err != nil {
		return nil, err
	}
	types := make([]string, len(columns))
	if columnTypes, err := rows.ColumnTypes(); err == nil {
		for i, t := range columnTypes {
			types[i] = columnType(t.DatabaseTypeName())
		}
	}
	var body bytes.Buffer
	values := make([]interface{}, len(columns))
	pointers := make([]interface{}, len(columns))
	for i := range values {
		pointers[i] = &values[i]
	}
	n := 0
	for rows.Next() {
		if err := rows.Scan(pointers...); err != nil {
			return nil, err
		}
		if n > 0 {
			body.WriteByte(',')
		}
		n++
		body.WriteByte(map[bool]byte{true: '{', false: '['}[o.associative])
		for i, v := range values {
			if i > 0 {
				body.WriteByte(',')
			}
			if o.associative {
				appendJSONString(&body, columns[i])
				body.WriteByte(':')
			}
			appendJSONValue(&body, v)
		}
		body.WriteByte(map[bool]byte{true: '}', false: ']'}[o.associative])
		if body.Len() > room {
			return nil, fmt.Errorf("%w: the rows are larger than %d bytes; ask for fewer (LIMIT and OFFSET)",
				errTooLarge, maxResultBytes)
		}
	}
	if err := rows.Err(); err != nil {
		return nil, err
	}
	var out bytes.Buffer
	if o.associative {
		out.WriteString(`{"types":{`)
		for i, c := range columns {
			if i > 0 {
				out.WriteByte(',')
			}
			appendJSONString(&out, c)
			out.WriteByte(':')
			appendJSONString(&out, types[i])
		}
		out.WriteString(`},"rows":[`)
		out.Write(body.Bytes())
		out.WriteByte(']')
	} else {
		out.WriteString(`{"columns":[`)
		for i, c := range columns {
			if i > 0 {
				out.WriteByte(',')
			}
			appendJSONString(&out, c)
		}
		out.WriteString(`],"types":[`)
		for i, t := range types {
			if i > 0 {
				out.WriteByte(',')
			}
			appendJSONString(&out, t)
		}
		out.WriteByte(']')
		if n > 0 {
			out.WriteString(`,"values":[`)
			out.Write(body.Bytes())
			out.WriteByte(']')
		}
	}
	if o.timings {
		fmt.Fprintf(&out, `,"time":%s`, seconds(time.Since(started)))
	}
	out.WriteByte('}')
	return out.Bytes(), nil
}

func errorResult(message, outcome string) []byte {
	var out bytes.Buffer
	out.WriteString(`{"error":`)
	appendJSONString(&out, message)
	out.WriteString(`,"outcome":`)
	appendJSONString(&out, outcome)
	out.WriteByte('}')
	return out.Bytes()
}
