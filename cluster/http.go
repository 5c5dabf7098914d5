// SPDX-License-Identifier: MIT

package main

// The HTTP API (--http): rqlite's data API and its /readyz, /status and
// /nodes, so that rqlite's clients, and any HTTP client in any language,
// use the cluster. With TLS it is HTTPS with the node's certificate, and
// asks every client who it is (http_auth.go); without, it keeps to
// loopback as the node does. Slow clients are cut off as at the node's
// door (http_door.go); then a request's headers must arrive within
// httpHeaderTimeout, its body within httpBodyTimeout, and an idle
// connection is closed after httpIdleTimeout.

import (
	"bytes"
	"context"
	"crypto/tls"
	"database/sql"
	"encoding/json"
	"errors"
	"fmt"
	"log"
	"net"
	"net/http"
	"strings"
	"sync"
	"sync/atomic"
	"time"

	"github.com/canonical/go-dqlite/app"
	"golang.org/x/net/netutil"
)

const (
	httpHeaderTimeout = 5 * time.Second
	httpBodyTimeout   = 1 * time.Minute
	httpIdleTimeout   = 1 * time.Minute
	httpMaxHeader     = 64 << 10
	httpMaxConns      = 2048
	// connections to the leader kept open between requests, per database
	idleConnections = 64
)

type httpAPI struct {
	node     *app.App
	name     string // the database the API serves
	url      string // this node's API, as others reach it
	users    *users // nil without --http-users
	withTLS  bool   // the API is HTTPS
	state    *healthServer
	logger   *log.Logger
	barrier  *readBarrier
	started  time.Time
	mu       sync.Mutex
	db       *sql.DB // the served database, opened at first use
	internal *sql.DB // the node's own database: API addresses and the read barrier
	leader   uint64  // the leader the pooled connections were opened to
	// this node's --statement-timeout, taken to be the leader's too
	statementLimit time.Duration
}

// httpAddress checks --http as --health is checked, and gives the URL the
// API is reached at.
func httpAddress(address string, withTLS bool) (string, string, error) {
	checked, err := healthAddress(address, withTLS)
	if err != nil {
		message := strings.ReplaceAll(err.Error(), "--health", "--http")
		return "", "", errors.New(strings.ReplaceAll(message, "health endpoints", "HTTP API"))
	}
	scheme := "http"
	if withTLS {
		scheme = "https"
	}
	return checked, scheme + "://" + checked, nil
}

// serveHTTP starts the API on an address httpAddress accepted.
func serveHTTP(a *httpAPI, address string, serverTLS *tls.Config) error {
	a.withTLS = serverTLS != nil
	listener, err := net.Listen("tcp", address)
	if err != nil {
		return fmt.Errorf("--http: %v", err)
	}
	mux := http.NewServeMux()
	mux.HandleFunc("/db/execute", func(w http.ResponseWriter, r *http.Request) { a.data(w, r, "execute") })
	mux.HandleFunc("/db/query", func(w http.ResponseWriter, r *http.Request) { a.data(w, r, "query") })
	mux.HandleFunc("/db/request", func(w http.ResponseWriter, r *http.Request) { a.data(w, r, "request") })
	mux.HandleFunc("/readyz", a.readyz)
	mux.HandleFunc("/status", a.status)
	mux.HandleFunc("/nodes", a.nodes)
	mux.HandleFunc("/", func(w http.ResponseWriter, r *http.Request) {
		a.refuse(w, http.StatusNotFound, "no such endpoint; this node serves /db/execute, /db/query, "+
			"/db/request, /readyz, /status and /nodes")
	})
	server := &http.Server{Handler: mux, ReadHeaderTimeout: httpHeaderTimeout, ReadTimeout: httpBodyTimeout,
		WriteTimeout: maxRequestTimeout + httpBodyTimeout, IdleTimeout: httpIdleTimeout,
		MaxHeaderBytes: httpMaxHeader, ErrorLog: log.New(discardWriter{}, "", 0)}
	if serverTLS != nil {
		// The door hands the server TLS connections as they are (a wrapper
		// would hide them, and with them who the client proved to be), so
		// the cap on open connections is kept here: past it, a new
		// connection is closed at once.
		var open sync.Map
		var count atomic.Int64
		server.ConnState = func(conn net.Conn, state http.ConnState) {
			switch state {
			case http.StateNew:
				open.Store(conn, true)
				if count.Add(1) > httpMaxConns {
					conn.Close()
				}
			case http.StateClosed, http.StateHijacked:
				if _, was := open.LoadAndDelete(conn); was {
					count.Add(-1)
				}
			}
		}
	}
	if serverTLS != nil {
		config := serverTLS.Clone()
		// A certificate is one way to prove who one is, a password the other.
		config.ClientAuth = tls.VerifyClientCertIfGiven
		config.NextProtos = []string{"h2", "http/1.1"}
		listener = newHTTPDoor(listener, config)
	} else {
		listener = netutil.LimitListener(listener, httpMaxConns)
	}
	go func() {
		if err := server.Serve(listener); err != nil && err != http.ErrServerClosed {
			a.logger.Printf("--http: %v", err)
		}
	}()
	a.logger.Printf("HTTP API on %s (/db/execute, /db/query, /db/request, /readyz, /status, /nodes)", a.url)
	go a.announce()
	return nil
}

type discardWriter struct{}

func (discardWriter) Write(p []byte) (int, error) { return len(p), nil }

// refuse answers with status and a JSON reason, rqlite's {"error": ...}.
func (a *httpAPI) refuse(w http.ResponseWriter, status int, reason string) {
	body, _ := json.Marshal(map[string]string{"error": reason})
	a.reply(w, status, body, false)
}

func (a *httpAPI) reply(w http.ResponseWriter, status int, body []byte, pretty bool) {
	if pretty {
		var indented bytes.Buffer
		if json.Indent(&indented, body, "", "    ") == nil {
			body = indented.Bytes()
		}
	}
	w.Header().Set("Content-Type", "application/json; charset=utf-8")
	w.Header().Set("X-Content-Type-Options", "nosniff")
	w.WriteHeader(status)
	w.Write(body)
	w.Write([]byte("\n"))
}

func (a *httpAPI) database(ctx context.Context) (*sql.DB, error) {
	return a.open(ctx, &a.db, a.name)
}

func (a *httpAPI) open(ctx context.Context, db **sql.DB, name string) (*sql.DB, error) {
	a.mu.Lock()
	defer a.mu.Unlock()
	if *db == nil {
		opened, err := a.node.Open(ctx, name)
		if err != nil {
			return nil, err
		}
		opened.SetMaxIdleConns(idleConnections)
		*db = opened
	}
	return *db, nil
}

// announce writes this node's API address where every node reads it
// (for /nodes and redirects), as soon as there is a leader to take it.
func (a *httpAPI) announce() {
	for {
		ctx, cancel := context.WithTimeout(context.Background(), 10*time.Second)
		db, err := a.open(ctx, &a.internal, identityDatabase)
		if err == nil {
			_, err = db.ExecContext(ctx, "CREATE TABLE IF NOT EXISTS http_api(id INTEGER PRIMARY KEY, url TEXT NOT NULL)")
		}
		if err == nil {
			_, err = db.ExecContext(ctx, "INSERT OR REPLACE INTO http_api(id, url) VALUES (?, ?)", int64(a.node.ID()), a.url)
		}
		cancel()
		if err == nil {
			return
		}
		time.Sleep(time.Second)
	}
}

// apiURLs maps node IDs to their API's URL, as the nodes announced them.
func (a *httpAPI) apiURLs(ctx context.Context) map[uint64]string {
	urls := map[uint64]string{}
	db, err := a.open(ctx, &a.internal, identityDatabase)
	if err != nil {
		return urls
	}
	rows, err := db.QueryContext(ctx, "SELECT id, url FROM http_api")
	if err != nil {
		return urls
	}
	defer rows.Close()
	for rows.Next() {
		var id int64
		var url string
		if rows.Scan(&id, &url) == nil {
			urls[uint64(id)] = url
		}
	}
	return urls
}

// redirectToLeader answers a request that asked for ?redirect with 301 to
// the leader's API, when this node does not lead and the leader's API is
// known; otherwise the request is served here (and goes to the leader).
func (a *httpAPI) redirectToLeader(w http.ResponseWriter, r *http.Request) bool {
	view, ready := a.state.ready()
	if !ready || view.leaderID == selfID {
		return false
	}
	ctx, cancel := context.WithTimeout(r.Context(), 2*time.Second)
	defer cancel()
	url, ok := a.apiURLs(ctx)[view.leaderID]
	if !ok {
		return false
	}
	w.Header().Set("Location", url+r.URL.RequestURI())
	a.refuse(w, http.StatusMovedPermanently, "this node does not lead; the leader's API is at "+url)
	return true
}

// permitted answers 401 or 403 and returns false unless the client may
// do what perm allows.
func (a *httpAPI) permitted(w http.ResponseWriter, r *http.Request, perm string) bool {
	user, ok := a.authenticate(w, r)
	if ok && !user.may(perm) {
		a.refuse(w, http.StatusForbidden, fmt.Sprintf("%s may not read %s", user.name, r.URL.Path))
	}
	return ok && user.may(perm)
}

// readyz is rqlite's: 200 when this node is in a cluster with a leader
// (or, with ?noleader, when it is up at all). It needs no credentials.
func (a *httpAPI) readyz(w http.ResponseWriter, r *http.Request) {
	w.Header().Set("Content-Type", "text/plain; charset=utf-8")
	view, ready := a.state.ready()
	if _, noleader := r.URL.Query()["noleader"]; noleader {
		fmt.Fprintln(w, "[+]node ok")
		return
	}
	if !ready {
		w.WriteHeader(http.StatusServiceUnavailable)
		fmt.Fprintln(w, "[+]node ok\n[-]leader not ok\n[+]store ok")
		return
	}
	fmt.Fprintf(w, "[+]node ok\n[+]leader ok\n[+]store ok\n")
	_ = view
}

// status is a small part of rqlite's /status: this node, the leader, the
// Raft state, the API and the cluster's identity.
func (a *httpAPI) status(w http.ResponseWriter, r *http.Request) {
	if !a.permitted(w, r, "status") {
		return
	}
	view, ready := a.state.ready()
	a.state.mu.Lock()
	identity, changes := a.state.identity, a.state.leaderChanges
	a.state.mu.Unlock()
	state := "Follower"
	switch {
	case !ready:
		state = "Candidate"
	case view.leaderID == selfID:
		state = "Leader"
	}
	body := map[string]interface{}{
		"store": map[string]interface{}{
			"node_id": fmt.Sprint(selfID), "addr": a.node.Address(), "db_name": a.name,
			"leader": map[string]interface{}{"node_id": fmt.Sprint(view.leaderID), "addr": view.leaderAddress},
			"raft": map[string]interface{}{"state": state, "role": orNone(view.role), "voters": view.voters,
				"stand_bys": view.standBys, "spares": view.spares, "leader_changes": changes},
		},
		"http":    map[string]interface{}{"bind_addr": a.url, "auth": map[bool]string{true: "enabled", false: "disabled"}[r.TLS != nil]},
		"node":    map[string]interface{}{"start_time": a.started.UTC().Format(time.RFC3339), "uptime": time.Since(a.started).Round(time.Second).String()},
		"build":   map[string]interface{}{"program": "geodesy-node"},
		"cluster": map[string]interface{}{"id": identity},
	}
	out, _ := json.Marshal(body)
	a.reply(w, http.StatusOK, out, flagSet(r.URL.Query(), "pretty"))
}

// nodes is rqlite's /nodes: every node of the cluster, keyed by ID, or
// with ?ver=2 as a list under "nodes".
func (a *httpAPI) nodes(w http.ResponseWriter, r *http.Request) {
	if !a.permitted(w, r, "status") {
		return
	}
	ctx, cancel := context.WithTimeout(r.Context(), 5*time.Second)
	defer cancel()
	view, _ := a.state.ready()
	a.state.mu.Lock()
	peers := a.state.peers
	a.state.mu.Unlock()
	urls := a.apiURLs(ctx)
	type node struct {
		ID        string `json:"id"`
		APIAddr   string `json:"api_addr"`
		Addr      string `json:"addr"`
		Voter     bool   `json:"voter"`
		Role      string `json:"role"`
		Reachable bool   `json:"reachable"`
		Leader    bool   `json:"leader"`
	}
	list := make([]node, 0, len(peers))
	byID := map[string]node{}
	for _, p := range peers {
		n := node{ID: fmt.Sprint(p.ID), APIAddr: urls[p.ID], Addr: p.Address, Voter: p.Role == "voter",
			Role: p.Role, Reachable: p.Reachable, Leader: p.ID == view.leaderID}
		list = append(list, n)
		byID[n.ID] = n
	}
	var out []byte
	if r.URL.Query().Get("ver") == "2" {
		out, _ = json.Marshal(map[string]interface{}{"nodes": list})
	} else {
		out, _ = json.Marshal(byID)
	}
	a.reply(w, http.StatusOK, out, flagSet(r.URL.Query(), "pretty"))
}
