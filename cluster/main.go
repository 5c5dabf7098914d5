// SPDX-License-Identifier: MIT

// geodesy-node runs one node of a dqlite cluster whose every SQLite
// connection has the five geodesy functions: distance, azimut_start,
// azimut_end, project_lat and project_lon; and, as geodesy-node sql, a
// client for such a cluster that never waits without bound or in silence.
//
//	geodesy-node --dir DIR --address HOST:PORT (--bootstrap | --join HOST:PORT[,HOST:PORT...])
//	             [--tls-cert FILE --tls-key FILE --tls-ca FILE] [--cluster-id ID]
//	             [--network-latency D] [--health HOST:PORT]
//	             [--http HOST:PORT [--http-database NAME] [--http-users FILE]]
//	             [--statement-timeout D]
//	geodesy-node sql --cluster HOST:PORT[,...] [--tls-cert F --tls-key F --tls-ca F]
//	             [--timeout D] [--format table|csv|json] DATABASE [SQL...]
//
// dqlite replicates pages, not statements, and queries run on the leader,
// so every voter must have the functions: this program links them in and
// registers them before its node starts. Without the TLS flags the node
// listens on a loopback address only, since anyone who reaches its port
// can read and write the database.
package main

import (
	"context"
	"crypto/sha256"
	"crypto/tls"
	"encoding/hex"
	"errors"
	"flag"
	"fmt"
	"log"
	"net"
	"os"
	"os/signal"
	"path/filepath"
	"strings"
	"syscall"
	"time"

	"github.com/canonical/go-dqlite/app"
	"github.com/canonical/go-dqlite/client"
)

const (
	readyTimeout    = 2 * time.Minute  // to join the cluster, at start
	handoverTimeout = 15 * time.Second // to hand leadership over, at SIGTERM
	closeTimeout    = 10 * time.Second // to stop the node after that
	// dqlite's heartbeat is 1.5 times this and its election timeout 15
	// times: 50 ms fails a dead leader over in about 1 to 2 s and rides out
	// stalls of a second without an election (docs/cluster.md has the
	// measurements behind it).
	defaultNetworkLatency = 50 * time.Millisecond
	// dqlite steps statements on the loop that sends the leader's
	// heartbeats: one that runs for longer than the election timeout costs
	// the leader its leadership, and this bounds how long it can go on.
	defaultStatementTimeout = 5 * time.Second
	// How often the leader rebalances roles, promoting a stand-by when a
	// voter is gone: go-dqlite's own default, set here so that it is ours.
	rolesInterval = 30 * time.Second
)

type config struct {
	dir, address, join     string
	bootstrap              bool
	clusterID              string
	tlsCert, tlsKey, tlsCA string
	networkLatency         time.Duration
	health                 string
	http, httpDatabase     string
	httpUsers              string
	statementTimeout       time.Duration
}

func main() {
	if len(os.Args) > 1 {
		subcommands := map[string]func([]string) int{"sql": runSQL, "nodes": runNodes, "remove": runRemove,
			"backup": runBackup, "password": runPassword}
		if run, ok := subcommands[os.Args[1]]; ok {
			os.Exit(run(os.Args[2:]))
		}
	}
	var c config
	flag.StringVar(&c.dir, "dir", "", "folder for this node's data (created if missing)")
	flag.StringVar(&c.address, "address", "", "HOST:PORT this node listens on and is known by")
	flag.StringVar(&c.join, "join", "", "HOST:PORT[,HOST:PORT...] of nodes already in the cluster")
	flag.BoolVar(&c.bootstrap, "bootstrap", false, "start a new cluster with this node as its first member, "+
		"when the folder holds no node yet")
	flag.StringVar(&c.clusterID, "cluster-id", "", "the identity of the cluster this node must be in "+
		"(checked before joining, and at every start)")
	flag.StringVar(&c.tlsCert, "tls-cert", "", "this node's certificate (PEM)")
	flag.StringVar(&c.tlsKey, "tls-key", "", "this node's private key (PEM)")
	flag.StringVar(&c.tlsCA, "tls-ca", "", "the CA certificate that nodes' and clients' certificates must chain to (PEM)")
	flag.DurationVar(&c.networkLatency, "network-latency", defaultNetworkLatency,
		"average one-way latency between nodes; dqlite's heartbeat is 1.5 times it, its election timeout 15 times "+
			"(0: dqlite's own default timing)")
	flag.StringVar(&c.health, "health", "",
		"HOST:PORT (or :PORT, on 127.0.0.1) to serve /healthz, /readyz and /metrics over HTTP on; "+
			"an address other than loopback needs TLS")
	flag.StringVar(&c.http, "http", "", "HOST:PORT (or :PORT, on 127.0.0.1) to serve the HTTP API on "+
		"(rqlite's /db/execute, /db/query, /db/request, /readyz, /status, /nodes); HTTPS with the node's "+
		"certificate when it has TLS, and an address other than loopback needs TLS")
	flag.StringVar(&c.httpDatabase, "http-database", "geo", "the database the HTTP API serves")
	flag.StringVar(&c.httpUsers, "http-users", "", "users of the HTTP API, with bcrypt password hashes and "+
		"permissions (a JSON file in rqlite's shape); needs TLS")
	flag.DurationVar(&c.statementTimeout, "statement-timeout", defaultStatementTimeout, "a statement that "+
		"has run on this node for longer is interrupted, whoever sent it (0: no limit)")
	flag.Usage = func() {
		fmt.Fprint(os.Stderr, "usage: geodesy-node --dir DIR --address HOST:PORT (--bootstrap | --join HOST:PORT[,HOST:PORT...])\n"+
			"                    [--tls-cert FILE --tls-key FILE --tls-ca FILE] [--cluster-id ID]\n"+
			"                    [--network-latency D] [--health HOST:PORT]\n"+
			"                    [--http HOST:PORT [--http-database NAME] [--http-users FILE]]\n"+
			"                    [--statement-timeout D]\n"+
			"       geodesy-node sql --help     (a client for the cluster)\n"+
			"       geodesy-node nodes --help   (every node, its role, and whether it answers)\n"+
			"       geodesy-node remove --help  (take a dead node out of the cluster)\n"+
			"       geodesy-node backup --help  (an online copy of a database, to a local SQLite file)\n"+
			"       geodesy-node password < FILE (a bcrypt hash of a password, for --http-users)\n\n")
		flag.PrintDefaults()
	}
	flag.Parse()
	if flag.NArg() > 0 {
		fail(fmt.Errorf("unexpected argument %q", flag.Arg(0)))
	}
	if err := run(c); err != nil {
		fail(err)
	}
}

func fail(err error) {
	fmt.Fprintf(os.Stderr, "geodesy-node: %v\n", err)
	os.Exit(1)
}

func run(c config) error {
	if c.dir == "" || c.address == "" {
		return errors.New("--dir and --address are required (see --help)")
	}
	if c.statementTimeout < 0 {
		return errors.New("--statement-timeout cannot be negative")
	}
	if c.networkLatency < 0 {
		return errors.New("--network-latency cannot be negative")
	}
	var join []string
	if c.join != "" {
		join = strings.Split(c.join, ",")
	}
	if c.bootstrap && len(join) > 0 {
		return errors.New("give --bootstrap to start a new cluster, or --join to join one, not both")
	}
	_, statErr := os.Stat(filepath.Join(c.dir, "info.yaml"))
	fresh := errors.Is(statErr, os.ErrNotExist)
	if fresh && len(join) == 0 && !c.bootstrap {
		return fmt.Errorf("%s holds no node, and neither --join nor --bootstrap was given. To join a "+
			"cluster, give --join with addresses of its nodes; if this node was in a cluster and lost its "+
			"folder, remove it from the cluster first (geodesy-node remove). To start a new cluster, give "+
			"--bootstrap", c.dir)
	}
	tlsFlags := 0
	for _, f := range []string{c.tlsCert, c.tlsKey, c.tlsCA} {
		if f != "" {
			tlsFlags++
		}
	}
	if tlsFlags != 0 && tlsFlags != 3 {
		return errors.New("give all three of --tls-cert, --tls-key and --tls-ca, or none")
	}
	address, err := advertisedAddress(c.address, tlsFlags == 3)
	if err != nil {
		return err
	}
	if tlsFlags == 0 {
		for i, peer := range join {
			if join[i], err = advertisedAddress(peer, false); err != nil {
				return err
			}
		}
	}

	if c.health != "" {
		if c.health, err = healthAddress(c.health, tlsFlags == 3); err != nil {
			return err
		}
	}

	var apiURL string
	var apiUsers *users
	if c.http != "" {
		if c.http, apiURL, err = httpAddress(c.http, tlsFlags == 3); err != nil {
			return err
		}
		if c.httpUsers != "" {
			if tlsFlags != 3 {
				return errors.New("--http-users needs TLS: passwords are only taken over HTTPS")
			}
			if apiUsers, err = loadUsers(c.httpUsers); err != nil {
				return err
			}
		}
	} else if c.httpUsers != "" {
		return errors.New("--http-users is for the HTTP API: give --http too")
	}

	if err := registerFunctions(c.statementTimeout); err != nil {
		return fmt.Errorf("the geodesy functions could not be registered, so this node will not start: %v", err)
	}
	if err := os.MkdirAll(c.dir, 0o700); err != nil {
		return err
	}

	logger := log.New(os.Stderr, "geodesy-node "+address+": ", log.LstdFlags)
	options := []app.Option{
		app.WithAddress(address),
		app.WithCluster(join),
		app.WithRolesAdjustmentFrequency(rolesInterval),
		app.WithLogFunc(func(level client.LogLevel, format string, a ...interface{}) {
			if level < client.LogWarn {
				return
			}
			message := fmt.Sprintf(format, a...)
			// Nodes started together take turns: the leader adds one at a
			// time, and go-dqlite asks again every second.
			if strings.HasPrefix(message, "join cluster: a configuration change is already in progress") {
				logger.Printf("joining: the leader is adding another node; asking again in 1 s")
				return
			}
			logger.Printf("%s: %s", level.String(), message)
		}),
	}
	if c.networkLatency > 0 {
		options = append(options, app.WithNetworkLatency(c.networkLatency))
	}
	var listen *tls.Config
	peerDial := client.DefaultDialFunc
	if tlsFlags == 3 {
		var dial *tls.Config
		listen, dial, err = tlsConfigs(c.tlsCert, c.tlsKey, c.tlsCA)
		if err != nil {
			return err
		}
		options = append(options, app.WithTLS(listen, dial))
		peerDial = client.DialFuncWithTLS(client.DefaultDialFunc, dial)
		// With TLS, go-dqlite's node listens on an abstract Unix socket named
		// after its ID, and every cluster's first node has the same ID, so a
		// second cluster on the host would fail to bind. This version of
		// go-dqlite takes a socket path only for externally accepted
		// connections; its one other way to make the name unique is the
		// instance name it adds for snaps, which is set here from the
		// node's folder.
		folder, err := filepath.Abs(c.dir)
		if err != nil {
			return err
		}
		sum := sha256.Sum256([]byte(folder))
		os.Setenv("SNAP_INSTANCE_NAME", "geodesy-node-"+hex.EncodeToString(sum[:8]))
	}

	if fresh && len(join) > 0 {
		ctx, cancel := context.WithTimeout(context.Background(), 30*time.Second)
		err := checkBeforeJoining(ctx, address, join, c.clusterID, peerDial)
		cancel()
		if err != nil {
			return err
		}
	}

	// dqlite reports a port in use as "failed to set bind address …: 1".
	if probe, err := net.Listen("tcp", address); err != nil {
		return fmt.Errorf("cannot listen on %s: %v (is another node, or another program, using that port?)",
			address, err)
	} else {
		probe.Close()
	}

	node, err := app.New(c.dir, options...)
	if err != nil {
		return err
	}
	// Either a check below, the watcher or the door can find that the node
	// must stop.
	mustStop := make(chan error, 3)
	var door *guard
	if listen != nil {
		if door, err = guardNode(node, address, listen, logger, peerDial, mustStop, fresh && c.bootstrap); err != nil {
			node.Close()
			return err
		}
		defer door.close()
	}
	var health *healthServer
	if c.health != "" {
		if health, err = serveHealth(c.health, logger, door, c.dir); err != nil {
			stop(node, logger)
			return err
		}
	}
	if c.http != "" {
		if health == nil { // the API's /readyz, /status and /nodes read what the watcher sees
			health = &healthServer{started: time.Now(), door: door, dir: c.dir}
		}
		api := &httpAPI{node: node, name: c.httpDatabase, url: apiURL, users: apiUsers, state: health,
			logger: logger, started: time.Now(), statementLimit: c.statementTimeout}
		api.barrier = newReadBarrier(api.commitBarrier)
		if err := serveHTTP(api, c.http, listen); err != nil {
			stop(node, logger)
			return err
		}
	}
	watching, stopWatching := context.WithCancel(context.Background())
	go watch(watching, node, logger, health, door, c.dir, peerDial, mustStop)
	ctx, cancel := context.WithTimeout(context.Background(), readyTimeout)
	err = node.Ready(ctx)
	cancel()
	if err != nil {
		stopWatching()
		stop(node, logger)
		return fmt.Errorf("did not join the cluster within %v: %v", readyTimeout, err)
	}
	logger.Printf("ready, node id %d, network latency %v", node.ID(), c.networkLatency)

	// The cluster's identity is checked in the background: it needs a
	// leader, which a node that restarts while the quorum is lost waits for.
	go func() {
		ctx, cancel := context.WithTimeout(watching, readyTimeout)
		defer cancel()
		id, err := checkOwnCluster(ctx, node, c.dir, logger)
		if err == nil && c.clusterID != "" && id != c.clusterID {
			err = fmt.Errorf("this node is in cluster %s, not --cluster-id %s: stopping", id, c.clusterID)
		}
		if err != nil && watching.Err() == nil {
			mustStop <- err
		}
		if health != nil && id != "" {
			health.setIdentity(id)
		}
	}()

	signals := make(chan os.Signal, 1)
	signal.Notify(signals, syscall.SIGTERM, syscall.SIGINT)
	select {
	case s := <-signals:
		logger.Printf("%v: stopping", s)
	case err = <-mustStop:
		logger.Printf("%v", err)
	}
	stopWatching()
	stop(node, logger)
	return err
}

// stop hands leadership and voting over to other nodes, then closes the
// node, each within a bounded time: a handover whose peers are gone can
// otherwise wait for a long time.
func stop(node *app.App, logger *log.Logger) {
	ctx, cancel := context.WithTimeout(context.Background(), handoverTimeout)
	if err := node.Handover(ctx); err != nil {
		logger.Printf("handover: %v", err)
	}
	cancel()
	closed := make(chan error, 1)
	go func() { closed <- node.Close() }()
	select {
	case err := <-closed:
		if err != nil {
			logger.Printf("close: %v", err)
		}
	case <-time.After(closeTimeout):
		logger.Printf("close did not finish within %v; exiting", closeTimeout)
	}
}

// advertisedAddress checks the address a node listens on and is known to
// the cluster by. It must be one that others can reach: never 0.0.0.0 or
// ::. Without TLS it must be on loopback, since whoever reaches the port
// can read and write the database; and since dqlite then listens by itself
// and takes only IPv4 addresses, localhost is given as 127.0.0.1.
func advertisedAddress(address string, tls bool) (string, error) {
	host, port, err := net.SplitHostPort(address)
	if err != nil {
		return "", fmt.Errorf("%q is not HOST:PORT: %v", address, err)
	}
	ip := net.ParseIP(host)
	if host == "" || (ip != nil && ip.IsUnspecified()) {
		return "", fmt.Errorf("refusing %q: a node is known to the others by its --address, so it "+
			"must be one they can reach, such as this host's own IP address, not %q", address, host)
	}
	if tls {
		return address, nil
	}
	if host == "localhost" {
		return net.JoinHostPort("127.0.0.1", port), nil
	}
	if ip != nil && ip.IsLoopback() && ip.To4() == nil {
		return "", fmt.Errorf("refusing %s without TLS: without TLS dqlite itself listens, and the "+
			"dqlite library of this system takes IPv4 addresses only. Use 127.0.0.1:%s, or give "+
			"--tls-cert, --tls-key and --tls-ca (then IPv6 addresses work)", address, port)
	}
	if ip != nil && ip.IsLoopback() {
		return address, nil
	}
	return "", fmt.Errorf("refusing %s without TLS: anyone who can reach it could read and write "+
		"the database. Use a loopback address (127.0.0.1 or localhost) for a cluster on one host, or give "+
		"--tls-cert, --tls-key and --tls-ca so that nodes and clients must prove themselves "+
		"with certificates from your CA", address)
}
