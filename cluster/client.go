// SPDX-License-Identifier: MIT

package main

import (
	"context"
	"crypto/tls"
	"crypto/x509"
	"database/sql"
	"errors"
	"flag"
	"fmt"
	"os"
	"regexp"
	"strings"
	"sync/atomic"
	"time"

	"github.com/canonical/go-dqlite/client"
	"github.com/canonical/go-dqlite/driver"
)

// What every subcommand that talks to the cluster shares: its exit codes,
// TLS, finding the leader and opening a connection to it.

const (
	exitOK      = 0
	exitSQL     = 1
	exitUsage   = 2
	exitUnknown = 3
	exitCluster = 4
	// geodesy-node nodes: the list is complete, but some voter does not answer.
	exitDegraded = 5
)

// What every client subcommand takes: where the cluster is, how to prove
// who this client is, which cluster it must be, and how long to wait.
type clientOptions struct {
	cluster                string
	tlsCert, tlsKey, tlsCA string
	clusterID              string
	timeout                time.Duration
}

func (o *clientOptions) register(flags *flag.FlagSet) {
	flags.StringVar(&o.cluster, "cluster", "", "HOST:PORT[,HOST:PORT...] of nodes of the cluster")
	flags.StringVar(&o.tlsCert, "tls-cert", "", "this client's certificate (PEM), signed by the cluster's CA")
	flags.StringVar(&o.tlsKey, "tls-key", "", "this client's private key (PEM)")
	flags.StringVar(&o.tlsCA, "tls-ca", "", "the cluster's CA certificate (PEM)")
	flags.StringVar(&o.clusterID, "cluster-id", "", "the cluster's identity (its nodes log it, and /metrics "+
		"shows it): refuse any other cluster")
	flags.DurationVar(&o.timeout, "timeout", 10*time.Second, "the most this command waits, for everything")
}

// newCommand makes the flag set of a client subcommand: the shared flags,
// and its usage, the synopsis after the shared flags, then what it does.
func newCommand(name, synopsis, about string, o *clientOptions) *flag.FlagSet {
	flags := flag.NewFlagSet("geodesy-node "+name, flag.ContinueOnError)
	o.register(flags)
	flags.Usage = func() {
		fmt.Fprintf(os.Stderr, "usage: geodesy-node %s --cluster HOST:PORT[,HOST:PORT...] [--tls-cert F --tls-key F --tls-ca F]\n"+
			"           [--cluster-id ID] [--timeout D] %s\n\n%s\n\n", name, synopsis, about)
		flags.PrintDefaults()
	}
	return flags
}

// parse reads args and checks the shared flags. On a mistake it says what
// is wrong and returns false: the subcommand then exits with exitUsage.
func (o *clientOptions) parse(flags *flag.FlagSet, args []string) (client.DialFunc, bool) {
	if err := flags.Parse(args); err != nil {
		return nil, false
	}
	command := strings.TrimPrefix(flags.Name(), "geodesy-node ")
	if err := o.check(); err != nil {
		usageError(command, err.Error())
		return nil, false
	}
	dial, err := o.dial()
	if err != nil {
		usageError(command, err.Error())
		return nil, false
	}
	return dial, true
}

func usageError(command, message string) int {
	fmt.Fprintf(os.Stderr, "geodesy-node %s: %s (see --help)\n", command, message)
	return exitUsage
}

func (o *clientOptions) check() error {
	if o.cluster == "" {
		return errors.New("give --cluster")
	}
	if o.timeout <= 0 {
		return errors.New("--timeout must be positive")
	}
	return nil
}

func (o *clientOptions) addresses() []string { return strings.Split(o.cluster, ",") }

func (o *clientOptions) dial() (client.DialFunc, error) {
	if o.tlsCert == "" && o.tlsKey == "" && o.tlsCA == "" {
		return client.DefaultDialFunc, nil
	}
	config, err := clientTLS(o.tlsCert, o.tlsKey, o.tlsCA)
	if err != nil {
		return nil, err
	}
	return client.DialFuncWithTLS(client.DefaultDialFunc, config), nil
}

// run runs body within the timeout, which bounds everything: body's
// context, and, should some call not heed it, a watchdog that names the
// stage it was at. It prints body's error and returns the exit code.
func (o *clientOptions) run(command string, body func(context.Context, *atomic.Value) error) int {
	ctx, cancel := context.WithTimeout(context.Background(), o.timeout)
	defer cancel()
	var stage atomic.Value
	stage.Store("looking for the leader")
	go func() {
		time.Sleep(o.timeout + 2*time.Second)
		fmt.Fprintf(os.Stderr, "geodesy-node %s: no answer within %v while %s\n", command, o.timeout, stage.Load())
		os.Exit(exitCluster)
	}()
	err := body(ctx, &stage)
	if err == nil {
		return exitOK
	}
	fmt.Fprintf(os.Stderr, "geodesy-node %s: %v\n", command, err)
	var outcome *outcomeError
	if errors.As(err, &outcome) {
		return outcome.code
	}
	return exitCluster
}

// outcomeError is a failure with the exit code that says what became of
// the statement.
type outcomeError struct {
	code    int
	message string
}

func (e *outcomeError) Error() string { return e.message }

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

// findLeader asks every given node who leads, until one knows or the
// context ends, and says why when none does.
func findLeader(ctx context.Context, addresses []string, dial client.DialFunc, withTLS bool) (string, []answer, error) {
	var last []answer
	for {
		attempt, cancel := context.WithTimeout(ctx, 2*time.Second)
		answers := make(chan answer, len(addresses))
		for _, address := range addresses {
			go func(address string) { answers <- ask(attempt, address, dial) }(address)
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
		// A stand-by or a spare answers that it knows no leader even while
		// the cluster has one: ask the voters it names, at once.
		if more := unasked(addresses, last); len(more) > 0 {
			addresses = append(append([]string(nil), addresses...), more...)
			continue
		}
		select {
		case <-ctx.Done():
			return "", last, &outcomeError{exitCluster, noLeader(last, "", nil) + "; nothing was sent"}
		case <-time.After(200 * time.Millisecond):
		}
	}
}

// unasked returns the voters that the answers name and that were not asked.
func unasked(asked []string, answers []answer) []string {
	seen := map[string]bool{}
	for _, a := range asked {
		seen[a] = true
	}
	var more []string
	for _, a := range answers {
		for _, n := range a.nodes {
			if n.Role == client.Voter && !seen[n.Address] {
				seen[n.Address] = true
				more = append(more, n.Address)
			}
		}
	}
	return more
}

// ask asks the node at address who leads and, if it answers, which nodes
// its configuration has.
func ask(ctx context.Context, address string, dial client.DialFunc) answer {
	a := answer{address: address}
	cli, err := client.New(ctx, address, client.WithDialFunc(dial), client.WithLogFunc(quiet))
	if err != nil {
		a.err = err
		return a
	}
	defer cli.Close()
	if a.leader, a.err = cli.Leader(ctx); a.err == nil {
		a.nodes, _ = cli.Cluster(ctx)
	}
	return a
}

// reachable says whether the node at address answers within 2 s.
func reachable(ctx context.Context, address string, dial client.DialFunc) error {
	ctx, cancel := context.WithTimeout(ctx, 2*time.Second)
	defer cancel()
	cli, err := client.New(ctx, address, client.WithDialFunc(dial), client.WithLogFunc(quiet))
	if err != nil {
		return err
	}
	defer cli.Close()
	_, err = cli.Leader(ctx)
	return err
}

func quiet(client.LogLevel, string, ...interface{}) {}

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

// closedAtDoor says whether err is a node closing a connection during or
// just after its TLS handshake, as a node does to the oldest handshakes
// when a flood of connections takes every handshake slot.
func closedAtDoor(err error) bool {
	if err == nil {
		return false
	}
	m := err.Error()
	return strings.Contains(m, "EOF") || strings.Contains(m, "connection reset by peer") ||
		strings.Contains(m, "broken pipe")
}

const floodedDoor = "it may be flooded with connections that never finish their TLS handshake " +
	"(its /metrics: geodesy_node_handshakes_evicted_total)"

// noLeader says why no leader was found: nobody answered, or those who
// did know of none (or named one, named, that took no connection, failing
// with refusal), which means the voters have lost their majority or are
// electing a leader, unless the node closed the connection at its door.
func noLeader(answers []answer, named string, refusal error) string {
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
		message := "no node answered: " + strings.Join(unreachable, "; ")
		closed := true
		for _, a := range answers {
			closed = closed && closedAtDoor(a.err)
		}
		if closed {
			message += ". Each closed the connection: " + floodedDoor
		}
		return message
	}
	if named != "" && closedAtDoor(refusal) {
		return fmt.Sprintf("%s named itself leader but closed this client's connection (%v): %s",
			named, refusal, floodedDoor)
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
