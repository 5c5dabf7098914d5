// SPDX-License-Identifier: MIT

package main

import (
	"crypto/tls"
	"crypto/x509"
	"fmt"
	"os"

	"github.com/canonical/go-dqlite/app"
)

// tlsConfigs loads this node's key pair and the CA: both directions require
// a certificate from that CA. Every certificate's first DNS name must be
// the same (dqlite's clients, go-dqlite's shell among them, check a server
// against the first DNS name of their own certificate).
func tlsConfigs(certFile, keyFile, caFile string) (*tls.Config, *tls.Config, error) {
	pair, err := tls.LoadX509KeyPair(certFile, keyFile)
	if err != nil {
		return nil, nil, fmt.Errorf("--tls-cert/--tls-key: %v", err)
	}
	leaf, err := x509.ParseCertificate(pair.Certificate[0])
	if err != nil {
		return nil, nil, fmt.Errorf("--tls-cert: %v", err)
	}
	if len(leaf.DNSNames) == 0 {
		return nil, nil, fmt.Errorf("--tls-cert: %s has no DNS name in its subjectAltName; "+
			"dqlite's clients check nodes against it (see docs/cluster.md)", certFile)
	}
	caPEM, err := os.ReadFile(caFile)
	if err != nil {
		return nil, nil, fmt.Errorf("--tls-ca: %v", err)
	}
	pool := x509.NewCertPool()
	if !pool.AppendCertsFromPEM(caPEM) {
		return nil, nil, fmt.Errorf("--tls-ca: no PEM certificate in %s", caFile)
	}
	listen, dial := app.SimpleTLSConfig(pair, pool)
	// go-dqlite's server configuration leaves X25519 out of its curves, and
	// Go clients that resume a session then send a binder that the server
	// rejects, so handshakes fail at random. Full handshakes every time,
	// with X25519 offered, avoid both.
	listen.CurvePreferences = append([]tls.CurveID{tls.X25519}, listen.CurvePreferences...)
	listen.SessionTicketsDisabled = true
	return listen, dial, nil
}
