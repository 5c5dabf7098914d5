// SPDX-License-Identifier: MIT

// geodesy-node runs one node of a dqlite cluster whose every SQLite
// connection has the five geodesy functions: distance, azimut_start,
// azimut_end, project_lat and project_lon.
//
//	geodesy-node --dir DIR --address HOST:PORT [--join HOST:PORT[,HOST:PORT...]]
//	             [--tls-cert FILE --tls-key FILE --tls-ca FILE]
//
// Clients speak dqlite's wire protocol, for example go-dqlite's shell:
//
//	dqlite -s 127.0.0.1:9001,127.0.0.1:9002 geo "SELECT distance(0, 0, 0, 1)"
//
// dqlite replicates pages, not statements, and queries run on the leader,
// so every voter must have the functions: this program links them in and
// registers them before its node starts. Without the TLS flags the node
// listens on a loopback address only, since anyone who reaches its port
// can read and write the database.
package main

import (
	"context"
	"crypto/tls"
	"crypto/x509"
	"errors"
	"flag"
	"fmt"
	"log"
	"net"
	"os"
	"os/signal"
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
)

type config struct {
	dir, address, join     string
	tlsCert, tlsKey, tlsCA string
	networkLatency         time.Duration
}

func main() {
	var c config
	flag.StringVar(&c.dir, "dir", "", "folder for this node's data (created if missing)")
	flag.StringVar(&c.address, "address", "", "HOST:PORT this node listens on and is known by")
	flag.StringVar(&c.join, "join", "", "HOST:PORT[,HOST:PORT...] of nodes already in the cluster")
	flag.StringVar(&c.tlsCert, "tls-cert", "", "this node's certificate (PEM)")
	flag.StringVar(&c.tlsKey, "tls-key", "", "this node's private key (PEM)")
	flag.StringVar(&c.tlsCA, "tls-ca", "", "the CA certificate that nodes' and clients' certificates must chain to (PEM)")
	flag.DurationVar(&c.networkLatency, "network-latency", 0,
		"average one-way latency between nodes; timeouts and elections scale with it (default: dqlite's)")
	flag.Usage = func() {
		fmt.Fprint(os.Stderr, "usage: geodesy-node --dir DIR --address HOST:PORT [--join HOST:PORT[,HOST:PORT...]]\n"+
			"                    [--tls-cert FILE --tls-key FILE --tls-ca FILE]\n\n")
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
	var join []string
	if c.join != "" {
		join = strings.Split(c.join, ",")
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
	if tlsFlags == 0 {
		for _, address := range append([]string{c.address}, join...) {
			if err := requireLoopback(address); err != nil {
				return err
			}
		}
	}

	if err := registerFunctions(); err != nil {
		return fmt.Errorf("the geodesy functions could not be registered, so this node will not start: %v", err)
	}
	if err := os.MkdirAll(c.dir, 0o700); err != nil {
		return err
	}

	logger := log.New(os.Stderr, "geodesy-node "+c.address+": ", log.LstdFlags)
	options := []app.Option{
		app.WithAddress(c.address),
		app.WithCluster(join),
		app.WithLogFunc(func(level client.LogLevel, format string, a ...interface{}) {
			if level >= client.LogWarn {
				logger.Printf(level.String()+": "+format, a...)
			}
		}),
	}
	if c.networkLatency > 0 {
		options = append(options, app.WithNetworkLatency(c.networkLatency))
	}
	if tlsFlags == 3 {
		listen, dial, err := tlsConfigs(c.tlsCert, c.tlsKey, c.tlsCA)
		if err != nil {
			return err
		}
		options = append(options, app.WithTLS(listen, dial))
	}

	node, err := app.New(c.dir, options...)
	if err != nil {
		return err
	}
	ctx, cancel := context.WithTimeout(context.Background(), readyTimeout)
	err = node.Ready(ctx)
	cancel()
	if err != nil {
		stop(node, logger)
		return fmt.Errorf("did not join the cluster within %v: %v", readyTimeout, err)
	}
	logger.Printf("ready, node id %d", node.ID())

	signals := make(chan os.Signal, 1)
	signal.Notify(signals, syscall.SIGTERM, syscall.SIGINT)
	logger.Printf("%v: stopping", <-signals)
	stop(node, logger)
	return nil
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

// requireLoopback refuses an address that is not on a loopback interface:
// without TLS, whoever reaches the port can read and write the database.
func requireLoopback(address string) error {
	host, _, err := net.SplitHostPort(address)
	if err != nil {
		return fmt.Errorf("%q is not HOST:PORT: %v", address, err)
	}
	if ip := net.ParseIP(host); (ip != nil && ip.IsLoopback()) || host == "localhost" {
		return nil
	}
	return fmt.Errorf("refusing %s without TLS: anyone who can reach it could read and write "+
		"the database. Use a loopback address (127.0.0.1, ::1) for a cluster on one host, or give "+
		"--tls-cert, --tls-key and --tls-ca so that nodes and clients must prove themselves "+
		"with certificates from your CA", address)
}

