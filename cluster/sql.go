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
	"crypto/tls"
	"crypto/x509"
	"database/sql"
	"encoding/csv"
	"encoding/json"
	"errors"
	"flag"
	"fmt"
	"io"
	"math"
	"os"
	"regexp"
	"strconv"
	"strings"
	"sync/atomic"
	"time"

	"github.com/canonical/go-dqlite/client"
	"github.com/canonical/go-dqlite/driver"
)

const (
	exitOK      = 0
	exitSQL     = 1
	exitUsage   = 2
	exitUnknown = 3
	exitCluster = 4
)

type sqlOptions struct {
	cluster                string
	tlsCert, tlsKey, tlsCA string
	timeout                time.Duration
	format                 string
}

// outcomeError is a failure with the exit code that says what became of
// the statement.
type outcomeError struct {
	code    int
	message string
}

func (e *outcomeError) Error() string { return e.message }

func runSQL(args []string) int {
	var o sqlOptions
	flags := flag.NewFlagSet("geodesy-node sql", flag.ContinueOnError)
	flags.StringVar(&o.cluster, "cluster", "", "HOST:PORT[,HOST:PORT...] of nodes of the cluster")
	flags.StringVar(&o.tlsCert, "tls-cert", "", "this client's certificate (PEM), signed by the cluster's CA")
	flags.StringVar(&o.tlsKey, "tls-key", "", "this client's private key (PEM)")
	flags.StringVar(&o.tlsCA, "tls-ca", "", "the cluster's CA certificate (PEM)")
	flags.DurationVar(&o.timeout, "timeout", 10*time.Second, "the most this command waits, for everything")
	flags.StringVar(&o.format, "format", "table", "how rows are printed: table, csv or json")
	flags.Usage = func() {
		fmt.Fprint(os.Stderr, "usage: geodesy-node sql --cluster HOST:PORT[,HOST:PORT...] [--tls-cert F --tls-key F --tls-ca F]\n"+
			"                        [--timeout D] [--format table|csv|json] DATABASE [SQL...]\n\n"+
			"Runs the SQL (the arguments, or standard input) on the cluster's leader and prints the\n"+
			"rows of every statement that gives any; REALs with 17 significant digits.\n\n")
		flags.PrintDefaults()
	}
	if err := flags.Parse(args); err != nil {
		return exitUsage
	}
	usage := func(message string) int {
		fmt.Fprintf(os.Stderr, "geodesy-node sql: %s (see --help)\n", message)
		return exitUsage
	}
	if o.cluster == "" || flags.NArg() < 1 {
		return usage("give --cluster and a DATABASE name")
	}
	if o.format != "table" && o.format != "csv" && o.format != "json" {
		return usage(fmt.Sprintf("--format must be table, csv or json, not %q", o.format))
	}
	if o.timeout <= 0 {
		return usage("--timeout must be positive")
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

	dial := client.DefaultDialFunc
	if o.tlsCert != "" || o.tlsKey != "" || o.tlsCA != "" {
		config, err := clientTLS(o.tlsCert, o.tlsKey, o.tlsCA)
		if err != nil {
			return usage(err.Error())
		}
		dial = client.DialFuncWithTLS(client.DefaultDialFunc, config)
	}

	// The timeout bounds everything: the context below, and, should some
	// call not heed it, this watchdog.
	ctx, cancel := context.WithTimeout(context.Background(), o.timeout)
	defer cancel()
	var stage atomic.Value
	stage.Store("looking for the leader")
	go func() {
		time.Sleep(o.timeout + 2*time.Second)
		fmt.Fprintf(os.Stderr, "geodesy-node sql: no answer within %v while %s\n", o.timeout, stage.Load())
		os.Exit(exitCluster)
	}()

	err := execute(ctx, o, dial, flags.Arg(0), statements, &stage)
	if err == nil {
		return exitOK
	}
	fmt.Fprintf(os.Stderr, "geodesy-node sql: %v\n", err)
	var outcome *outcomeError
	if errors.As(err, &outcome) {
		return outcome.code
	}
	return exitCluster
}

func clientTLS(certFile, keyFile, caFile string) (*tls.Config, error) {
	if certFile == "" || keyFile == "" || caFile == "" {
		return nil, errors.New("give all three of --tls-cert, --tls-key and --tls-ca, or none")
	}
	pair, err := tls.LoadX509KeyPair(certFile, keyFile)
	if err != nil {
		return nil, fmt.Errorf("--tls-cert/--tls-key: %v", err)
	}
	leaf, err := x509.ParseCertificate(pair.Certificate[0])
	if err != nil {
		return nil, fmt.Errorf("--tls-cert: %v", err)
	}
	if len(leaf.DNSNames) == 0 {
		return nil, fmt.Errorf("--tls-cert: %s has no DNS name; nodes are checked against its first one", certFile)
	}
	caPEM, err := os.ReadFile(caFile)
	if err != nil {
		return nil, fmt.Errorf("--tls-ca: %v", err)
	}
	pool := x509.NewCertPool()
	if !pool.AppendCertsFromPEM(caPEM) {
		return nil, fmt.Errorf("--tls-ca: no PEM certificate in %s", caFile)
	}
	return &tls.Config{
		MinVersion:   tls.VersionTLS12,
		RootCAs:      pool,
		Certificates: []tls.Certificate{pair},
		// dqlite's clients check a node against the first DNS name of their
		// own certificate; so does this one (docs/cluster.md).
		ServerName: leaf.DNSNames[0],
	}, nil
}

func execute(ctx context.Context, o sqlOptions, dial client.DialFunc, database string,
	statements []string, stage *atomic.Value) error {
	addresses := strings.Split(o.cluster, ",")
	// Find the leader and open the database on it. A leader that has just
	// lost its majority still names itself for a moment but takes no
	// connection: then ask again, until the time runs out.
	var conn *sql.Conn
	for {
		leader, answers, err := findLeader(ctx, addresses, dial, o.tlsCert != "")
		if err != nil {
			return err
		}
		stage.Store("connecting to the leader at " + leader)
		conn, err = open(ctx, leader, addresses, dial, database)
		if err == nil {
			break
		}
		if ctx.Err() != nil {
			return &outcomeError{exitCluster, fmt.Sprintf("%s (%v); nothing was sent",
				noLeader(answers, leader), err)}
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

// open connects to database on the leader through go-dqlite's driver.
func open(ctx context.Context, leader string, addresses []string, dial client.DialFunc,
	database string) (*sql.Conn, error) {
	store := client.NewInmemNodeStore()
	nodes := []client.NodeInfo{{Address: leader}}
	for _, a := range addresses {
		if a != leader {
			nodes = append(nodes, client.NodeInfo{Address: a})
		}
	}
	store.Set(ctx, nodes)
	remaining := time.Until(deadlineOf(ctx))
	dqlite, err := driver.New(store, driver.WithDialFunc(dial),
		driver.WithConnectionTimeout(remaining), driver.WithContextTimeout(remaining),
		driver.WithLogFunc(func(client.LogLevel, string, ...interface{}) {}))
	if err != nil {
		return nil, err
	}
	name := fmt.Sprintf("geodesy-sql-%d", time.Now().UnixNano())
	sql.Register(name, dqlite)
	db, err := sql.Open(name, database)
	if err != nil {
		return nil, err
	}
	conn, err := db.Conn(ctx)
	if err != nil {
		db.Close()
		return nil, err
	}
	return conn, nil
}

func deadlineOf(ctx context.Context) time.Time {
	deadline, _ := ctx.Deadline()
	return deadline
}

var (
	writeVerbs = regexp.MustCompile(`(?i)\b(INSERT|UPDATE|DELETE|REPLACE|CREATE|DROP|ALTER|VACUUM|REINDEX|ANALYZE|ATTACH|DETACH|BEGIN|COMMIT|END|ROLLBACK|SAVEPOINT|RELEASE)\b`)
	rowsFirst  = regexp.MustCompile(`(?i)^\s*(SELECT|VALUES|WITH|EXPLAIN|PRAGMA)\b`)
	returning  = regexp.MustCompile(`(?i)\bRETURNING\b`)
)

// A statement writes unless it is a query that only reads: one that starts
// like a query and names no writing verb outside its literals (a WITH
// that ends in an INSERT writes), or a PRAGMA that sets nothing.
func isWrite(statement string) bool {
	code := stripLiterals(stripComments(statement))
	if !rowsFirst.MatchString(code) {
		return true
	}
	if strings.HasPrefix(strings.ToUpper(strings.TrimSpace(code)), "PRAGMA") {
		return strings.Contains(code, "=")
	}
	return writeVerbs.MatchString(code)
}

func givesRows(statement string) bool {
	code := stripLiterals(stripComments(statement))
	if strings.HasPrefix(strings.ToUpper(strings.TrimSpace(code)), "PRAGMA") && strings.Contains(code, "=") {
		return false // a PRAGMA that sets a value returns none
	}
	return rowsFirst.MatchString(code) || returning.MatchString(code)
}

// stripLiterals blanks out string literals and quoted names.
func stripLiterals(sql string) string {
	var out strings.Builder
	for i := 0; i < len(sql); i++ {
		c := sql[i]
		if c != '\'' && c != '"' && c != '`' && c != '[' {
			out.WriteByte(c)
			continue
		}
		end := c
		if c == '[' {
			end = ']'
		}
		for i++; i < len(sql) && sql[i] != end; i++ {
		}
		out.WriteString(" _ ")
	}
	return out.String()
}

func runStatement(ctx context.Context, conn *sql.Conn, statement string, out *printer, timeout time.Duration) error {
	write := isWrite(statement)
	backoff := 10 * time.Millisecond
	for {
		err := tryStatement(ctx, conn, statement, out)
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
		return classify(ctx, err, write, statement, timeout)
	}
}

func tryStatement(ctx context.Context, conn *sql.Conn, statement string, out *printer) error {
	if !givesRows(statement) {
		_, err := conn.ExecContext(ctx, statement)
		return err
	}
	rows, err := conn.QueryContext(ctx, statement)
	if err != nil {
		return err
	}
	defer rows.Close()
	columns, err := rows.Columns()
	if err != nil {
		return err
	}
	var table [][]interface{}
	for rows.Next() {
		values := make([]interface{}, len(columns))
		pointers := make([]interface{}, len(columns))
		for i := range values {
			pointers[i] = &values[i]
		}
		if err := rows.Scan(pointers...); err != nil {
			return err
		}
		table = append(table, values)
	}
	if err := rows.Err(); err != nil {
		return err
	}
	out.rows(columns, table)
	return nil
}

// classify says what became of a statement that failed.
func classify(ctx context.Context, err error, write bool, statement string, timeout time.Duration) error {
	var sqlite driver.Error
	if errors.As(err, &sqlite) {
		message := fmt.Sprintf("%s (in: %s)", sqlite.Message, abbreviate(statement))
		if write {
			message += "; not applied"
		}
		return &outcomeError{exitSQL, message}
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

// findLeader asks every given node who leads, until one knows or the
// context ends, and says why when none does.
func findLeader(ctx context.Context, addresses []string, dial client.DialFunc, withTLS bool) (string, []answer, error) {
	var last []answer
	for {
		attempt, cancel := context.WithTimeout(ctx, 2*time.Second)
		answers := make(chan answer, len(addresses))
		for _, address := range addresses {
			go func(address string) {
				a := answer{address: address}
				cli, err := client.New(attempt, address, client.WithDialFunc(dial),
					client.WithLogFunc(func(client.LogLevel, string, ...interface{}) {}))
				if err != nil {
					a.err = err
					answers <- a
					return
				}
				defer cli.Close()
				if a.leader, a.err = cli.Leader(attempt); a.err == nil {
					a.nodes, _ = cli.Cluster(attempt)
				}
				answers <- a
			}(address)
		}
		last = nil
		for range addresses {
			a := <-answers
			last = append(last, a)
			if a.err == nil && a.leader != nil && a.leader.ID != 0 {
				cancel()
				return a.leader.Address, last, nil
			}
		}
		cancel()
		// A refusal by TLS does not go away by waiting.
		if message := tlsRefusal(last, withTLS); message != "" {
			return "", last, &outcomeError{exitCluster, message + "; nothing was sent"}
		}
		select {
		case <-ctx.Done():
			return "", last, &outcomeError{exitCluster, noLeader(last, "") + "; nothing was sent"}
		case <-time.After(200 * time.Millisecond):
		}
	}
}

// What one node said when asked who leads.
type answer struct {
	address string
	leader  *client.NodeInfo
	nodes   []client.NodeInfo
	err     error
}

var tlsAlert = regexp.MustCompile(`remote error: tls: [a-z ]+`)

// tlsRefusal explains a failure of TLS at the nodes, or returns "" when
// some node got past TLS or none was reached at all.
func tlsRefusal(answers []answer, withTLS bool) string {
	var reasons []string
	for _, a := range answers {
		if a.err == nil {
			return ""
		}
		message := a.err.Error()
		var reason string
		switch {
		case tlsAlert.MatchString(message):
			reason = fmt.Sprintf("%s refused this client's certificate (%s)", a.address, tlsAlert.FindString(message))
			if withTLS {
				reason += ": the cluster accepts only certificates its CA signed; check --tls-cert and --tls-key"
			}
		case strings.Contains(message, "x509: certificate signed by unknown authority"):
			reason = fmt.Sprintf("this client does not trust %s's certificate: --tls-ca must be the CA "+
				"that signed the nodes' certificates", a.address)
		case strings.Contains(message, "x509: certificate is valid for"):
			reason = fmt.Sprintf("%s: %s. This client checks a node against the first DNS name of its "+
				"own certificate, so give nodes' and clients' certificates the same first DNS name",
				a.address, message[strings.Index(message, "x509: "):])
		case strings.Contains(message, "first record does not look like a TLS handshake"):
			reason = fmt.Sprintf("%s does not speak TLS: leave out --tls-cert, --tls-key and --tls-ca", a.address)
		case !withTLS && (strings.Contains(message, "EOF") || strings.Contains(message, "connection reset")):
			reason = fmt.Sprintf("%s closed the connection: if the cluster uses TLS, give --tls-cert, "+
				"--tls-key and --tls-ca", a.address)
		default:
			if withTLS && strings.Contains(message, "tls:") {
				reason = fmt.Sprintf("TLS with %s failed: %v", a.address, a.err)
			}
		}
		if reason != "" {
			reasons = append(reasons, reason)
		}
	}
	if len(reasons) == 0 {
		return ""
	}
	return "refused by TLS: " + strings.Join(reasons, "; ")
}

// noLeader says why no leader was found: nobody answered, or those who
// did know of none (or named one, named, that took no connection), which
// means the voters have lost their majority or are electing a leader.
func noLeader(answers []answer, named string) string {
	var unreachable []string
	var nodes []client.NodeInfo
	answered := 0
	for _, a := range answers {
		if a.err != nil {
			unreachable = append(unreachable, fmt.Sprintf("%s (%v)", a.address, a.err))
			continue
		}
		answered++
		if len(a.nodes) > len(nodes) {
			nodes = a.nodes
		}
	}
	if answered == 0 {
		return "no node answered: " + strings.Join(unreachable, "; ")
	}
	voters := 0
	for _, n := range nodes {
		if n.Role == client.Voter {
			voters++
		}
	}
	message := fmt.Sprintf("no leader: %d of the %d nodes asked answered, and none knows a leader", answered, len(answers))
	if named != "" {
		message = fmt.Sprintf("no leader: %d of the %d nodes asked answered; %s named itself leader "+
			"but took no connection", answered, len(answers), named)
	}
	if voters > 0 {
		message += fmt.Sprintf(". The cluster has %d voters and needs %d of them up to elect one: "+
			"it has probably lost its quorum (docs/cluster.md, \"Recovering from lost quorum\")",
			voters, voters/2+1)
	}
	return message
}

// printer writes rows as a table, CSV or JSON. REALs have 17 significant
// digits, so that each reads back to the same bits.
type printer struct {
	w       io.Writer
	format  string
	written bool
}

func newPrinter(w io.Writer, format string) *printer { return &printer{w: w, format: format} }

func formatReal(v float64) string {
	switch {
	case math.IsInf(v, 1):
		return "Inf"
	case math.IsInf(v, -1):
		return "-Inf"
	}
	s := strconv.FormatFloat(v, 'g', 17, 64)
	if !strings.ContainsAny(s, ".eEIN") {
		s += ".0" // a REAL stays one when read back
	}
	return s
}

func text(v interface{}) string {
	switch v := v.(type) {
	case nil:
		return "NULL"
	case float64:
		return formatReal(v)
	case int64:
		return strconv.FormatInt(v, 10)
	case []byte:
		return fmt.Sprintf("X'%X'", v)
	case time.Time:
		return v.Format(time.RFC3339Nano)
	default:
		return fmt.Sprint(v)
	}
}

func (p *printer) rows(columns []string, table [][]interface{}) {
	switch p.format {
	case "csv":
		w := csv.NewWriter(p.w)
		w.Write(columns)
		for _, row := range table {
			record := make([]string, len(row))
			for i, v := range row {
				if v == nil {
					record[i] = ""
				} else {
					record[i] = text(v)
				}
			}
			w.Write(record)
		}
		w.Flush()
	case "json":
		objects := make([]string, len(table))
		for r, row := range table {
			fields := make([]string, len(row))
			for i, v := range row {
				name, _ := json.Marshal(columns[i])
				fields[i] = string(name) + ":" + jsonValue(v)
			}
			objects[r] = "{" + strings.Join(fields, ",") + "}"
		}
		fmt.Fprintf(p.w, "[%s]\n", strings.Join(objects, ",\n "))
	default:
		if p.written {
			fmt.Fprintln(p.w)
		}
		widths := make([]int, len(columns))
		cells := make([][]string, len(table))
		for i, c := range columns {
			widths[i] = len(c)
		}
		for r, row := range table {
			cells[r] = make([]string, len(row))
			for i, v := range row {
				cells[r][i] = text(v)
				if len(cells[r][i]) > widths[i] {
					widths[i] = len(cells[r][i])
				}
			}
		}
		line := func(values []string) {
			padded := make([]string, len(values))
			for i, v := range values {
				padded[i] = v + strings.Repeat(" ", widths[i]-len(v))
			}
			fmt.Fprintln(p.w, strings.TrimRight(strings.Join(padded, "  "), " "))
		}
		line(columns)
		rule := make([]string, len(columns))
		for i := range rule {
			rule[i] = strings.Repeat("-", widths[i])
		}
		line(rule)
		for _, row := range cells {
			line(row)
		}
	}
	p.written = true
}

func jsonValue(v interface{}) string {
	switch v := v.(type) {
	case float64:
		if math.IsInf(v, 0) {
			if v > 0 {
				return "1e999"
			}
			return "-1e999"
		}
		s := strconv.FormatFloat(v, 'g', 17, 64)
		if !strings.ContainsAny(s, ".e") {
			s += ".0"
		}
		return s
	case []byte:
		b, _ := json.Marshal(fmt.Sprintf("%X", v))
		return string(b)
	default:
		b, err := json.Marshal(v)
		if err != nil {
			return "null"
		}
		return string(b)
	}
}
