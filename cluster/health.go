// SPDX-License-Identifier: MIT

package main

// What a node knows of the cluster, looked at twice a second through its
// own dqlite endpoint: who leads, its own role, how many voters, stand-bys
// and spares there are. Each change of leader or of this node's role is
// logged, and --health serves it over HTTP:
//
//	/healthz   200 while the node can serve: 503 while it cannot accept
//	           connections, or its data folder's disk is nearly full
//	/readyz    200 when this node is in a cluster that has a leader, 503 otherwise
//	/metrics   the same in Prometheus' text format
//
// dqlite serves clients' queries in its C library, out of this program's
// sight, so there are no per-query counters; the errors counted are this
// watcher's own failures to ask the node.

import (
	"context"
	"fmt"
	"log"
	"net"
	"net/http"
	"sync"
	"time"

	"github.com/canonical/go-dqlite/app"
	"github.com/canonical/go-dqlite/client"
)

const watchInterval = 500 * time.Millisecond

type clusterView struct {
	leaderID      uint64
	leaderAddress string
	role          string // this node's: voter, stand-by, spare, or "" when not in the cluster
	voters        int
	standBys      int
	spares        int
}

type healthServer struct {
	mu            sync.Mutex
	view          clusterView
	known         bool // a view has been read at least once
	leaderChanges uint64
	errors        uint64
	started       time.Time
	door          *guard // nil without TLS: dqlite then accepts by itself
	dir           string
	identity      string       // the cluster's ID, once known
	peers         []nodeStatus // every node, and whether it answered this node lately
}

func (h *healthServer) setPeers(peers []nodeStatus) {
	h.mu.Lock()
	defer h.mu.Unlock()
	h.peers = peers
}

func (h *healthServer) setIdentity(id string) {
	h.mu.Lock()
	defer h.mu.Unlock()
	h.identity = id
}

// healthAddress checks --health before the node starts. The endpoints
// tell whoever reaches them where the leader is, and are not
// authenticated: loopback unless asked, never every interface, and no
// other address on a node that keeps itself to loopback (no TLS).
func healthAddress(address string, tls bool) (string, error) {
	host, port, err := net.SplitHostPort(address)
	if err != nil {
		return "", fmt.Errorf("--health %q is not HOST:PORT: %v", address, err)
	}
	ip := net.ParseIP(host)
	switch {
	case host == "":
		return net.JoinHostPort("127.0.0.1", port), nil
	case host == "localhost" || (ip != nil && ip.IsLoopback()):
		return address, nil
	case ip != nil && ip.IsUnspecified():
		return "", fmt.Errorf("refusing --health %s: it would answer on every interface and tell anyone "+
			"who reaches it where the leader is. Use :%s (loopback), or one address of this host", address, port)
	case !tls:
		return "", fmt.Errorf("refusing --health %s without TLS: this node keeps to loopback, and so do "+
			"its health endpoints. Use :%s or 127.0.0.1:%s", address, port, port)
	}
	return address, nil
}

// serveHealth serves the endpoints on an address healthAddress accepted.
func serveHealth(address string, logger *log.Logger, door *guard, dir string) (*healthServer, error) {
	if host, _, _ := net.SplitHostPort(address); host != "localhost" && !net.ParseIP(host).IsLoopback() {
		logger.Printf("health endpoints on %s answer anyone who reaches them: keep that address "+
			"behind a firewall", address)
	}
	listener, err := net.Listen("tcp", address)
	if err != nil {
		return nil, fmt.Errorf("--health: %v", err)
	}
	h := &healthServer{started: time.Now(), door: door, dir: dir}
	mux := http.NewServeMux()
	mux.HandleFunc("/healthz", func(w http.ResponseWriter, r *http.Request) {
		if problem := h.problem(); problem != "" {
			w.WriteHeader(http.StatusServiceUnavailable)
			fmt.Fprintf(w, "unhealthy: %s\n", problem)
			return
		}
		fmt.Fprintln(w, "ok")
	})
	mux.HandleFunc("/readyz", func(w http.ResponseWriter, r *http.Request) {
		view, ready := h.ready()
		if !ready {
			w.WriteHeader(http.StatusServiceUnavailable)
			if view.role == "" {
				fmt.Fprintln(w, "not ready: this node is not (yet) in the cluster")
			} else {
				fmt.Fprintln(w, "not ready: no leader known (a majority of the voters may be down)")
			}
			return
		}
		fmt.Fprintf(w, "ready: %s, leader %d at %s\n", view.role, view.leaderID, view.leaderAddress)
	})
	mux.HandleFunc("/metrics", h.metrics)
	server := &http.Server{Handler: mux, ReadHeaderTimeout: 5 * time.Second}
	go func() {
		if err := server.Serve(listener); err != nil && err != http.ErrServerClosed {
			logger.Printf("--health: %v", err)
		}
	}()
	logger.Printf("health on http://%s/ (/healthz, /readyz, /metrics)", listener.Addr())
	return h, nil
}

// problem says why this node cannot serve, or "".
func (h *healthServer) problem() string {
	if h.door != nil {
		if failing := h.door.failing(); failing > 0 {
			return fmt.Sprintf("cannot accept connections for %v", failing.Round(time.Millisecond))
		}
	}
	if free, err := diskFree(h.dir); err == nil && free < minDiskFree {
		return fmt.Sprintf("the data folder's disk has %d bytes free; dqlite cannot write its log "+
			"once it is full", free)
	}
	return ""
}

func (h *healthServer) ready() (clusterView, bool) {
	h.mu.Lock()
	defer h.mu.Unlock()
	return h.view, h.known && h.view.role != "" && h.view.leaderID != 0
}

func (h *healthServer) record(view clusterView, leaderChanged bool, err error) {
	h.mu.Lock()
	defer h.mu.Unlock()
	if err != nil {
		h.errors++
		h.view.leaderID, h.view.leaderAddress = 0, ""
		return
	}
	h.view, h.known = view, true
	if leaderChanged {
		h.leaderChanges++
	}
}

func (h *healthServer) metrics(w http.ResponseWriter, r *http.Request) {
	h.mu.Lock()
	view, changes, errors, identity, peers := h.view, h.leaderChanges, h.errors, h.identity, h.peers
	h.mu.Unlock()
	_, ready := h.ready()
	w.Header().Set("Content-Type", "text/plain; version=0.0.4")
	gauge := func(name, help string, value interface{}, labels string) {
		fmt.Fprintf(w, "# HELP %s %s\n# TYPE %s gauge\n%s%s %v\n", name, help, name, name, labels, value)
	}
	for _, role := range []string{"voter", "stand-by", "spare"} {
		value := 0
		if view.role == role {
			value = 1
		}
		if role == "voter" {
			fmt.Fprint(w, "# HELP geodesy_node_role 1 for this node's role in the cluster.\n# TYPE geodesy_node_role gauge\n")
		}
		fmt.Fprintf(w, "geodesy_node_role{role=%q} %d\n", role, value)
	}
	gauge("geodesy_node_leader", "1 if this node is the leader.", boolInt(view.leaderID != 0 && view.leaderID == selfID), "")
	gauge("geodesy_node_ready", "1 if this node is in a cluster that has a leader.", boolInt(ready), "")
	gauge("geodesy_cluster_leader_id", "The leader's node ID, 0 when none is known.", view.leaderID, "")
	if identity != "" {
		gauge("geodesy_cluster_info", "The cluster's identity, as a label.", 1, fmt.Sprintf("{id=%q}", identity))
	}
	if len(peers) > 0 {
		fmt.Fprint(w, "# HELP geodesy_cluster_node_reachable 1 if the node answered this one at its last look (every 5 s).\n"+
			"# TYPE geodesy_cluster_node_reachable gauge\n")
		reachable := 0
		for _, p := range peers {
			fmt.Fprintf(w, "geodesy_cluster_node_reachable{id=\"%d\",address=%q,role=%q} %d\n",
				p.ID, p.Address, p.Role, boolInt(p.Reachable))
			if p.Role == "voter" && p.Reachable {
				reachable++
			}
		}
		gauge("geodesy_cluster_voters_reachable", "Voters that answered this node at its last look.", reachable, "")
	}
	gauge("geodesy_cluster_voters", "Voters in the cluster's configuration.", view.voters, "")
	gauge("geodesy_cluster_standbys", "Stand-bys in the cluster's configuration.", view.standBys, "")
	gauge("geodesy_cluster_spares", "Spares in the cluster's configuration.", view.spares, "")
	fmt.Fprintf(w, "# HELP geodesy_node_leader_changes_total Changes of leader this node has seen.\n"+
		"# TYPE geodesy_node_leader_changes_total counter\ngeodesy_node_leader_changes_total %d\n", changes)
	fmt.Fprintf(w, "# HELP geodesy_node_watch_errors_total Failed looks at this node's own view of the cluster.\n"+
		"# TYPE geodesy_node_watch_errors_total counter\ngeodesy_node_watch_errors_total %d\n", errors)
	if free, err := diskFree(h.dir); err == nil {
		gauge("geodesy_node_disk_free_bytes", "Bytes free on the data folder's file system.", free, "")
	}
	gauge("geodesy_node_data_bytes", "Bytes in the data folder.", folderBytes(h.dir), "")
	if h.door != nil {
		gauge("geodesy_node_accepting", "1 while the node accepts connections.", boolInt(h.door.failing() == 0), "")
		counter := func(name, help string, value uint64) {
			fmt.Fprintf(w, "# HELP %s %s\n# TYPE %s counter\n%s %d\n", name, help, name, name, value)
		}
		gauge("geodesy_node_handshake_slots", "Connections that may be handshaking at once (a quarter of them from one address).",
			h.door.slots, "")
		gauge("geodesy_node_handshakes_pending", "Connections handshaking now.", h.door.handshaking(), "")
		counter("geodesy_node_handshakes_evicted_total",
			"Handshakes closed to make room for a newer connection, every slot being taken.", h.door.evicted.Load())
		counter("geodesy_node_handshakes_failed_total",
			"Connections closed without a valid certificate within the handshake timeout.", h.door.handshakeFailed.Load())
		h.door.gate.L.Lock()
		waiting, running := h.door.writesWaiting, h.door.queriesRunning
		h.door.gate.L.Unlock()
		gauge("geodesy_node_writes_waiting", "Clients' writes waiting at the door for their turn.", waiting, "")
		gauge("geodesy_node_queries_running", "Clients' queries let through to the engine and not yet answered.", running, "")
		counter("geodesy_node_relayed_total",
			"Clients' connections this node passed to the leader while it was a spare.", h.door.relayed.Load())
	}
}

func boolInt(b bool) int {
	if b {
		return 1
	}
	return 0
}

// selfID is this node's ID, set by watch once the node exists.
var selfID uint64

// watch asks the node for its view of the cluster every watchInterval, logs
// each change of leader and of this node's role, and hands each view to
// health (which may be nil).
func watch(ctx context.Context, node *app.App, logger *log.Logger, health *healthServer, door *guard,
	dir string, dial client.DialFunc, mustStop chan<- error) {
	selfID = node.ID()
	var cli *client.Client
	var last clusterView
	first := true
	diskLow, filled := false, false
	var lastTransfer time.Time
	ticks := 0
	ticker := time.NewTicker(watchInterval)
	defer ticker.Stop()
	for {
		select {
		case <-ctx.Done():
			if cli != nil {
				cli.Close()
			}
			return
		case <-ticker.C:
		}
		free, err := diskFree(dir)
		if err == nil && free < diskFull {
			filled = true
		}
		if err == nil && (free < minDiskFree) != diskLow {
			diskLow = !diskLow
			if !diskLow && filled {
				// dqlite's log writer does not recover from a full disk: the
				// node goes on running and answering, but no longer takes
				// the cluster's entries. Restarted, it does.
				mustStop <- fmt.Errorf("the data folder's disk was full and has room again, but this " +
					"dqlite's log does not recover from a full disk: stopping so that the node starts " +
					"afresh (run it under a service manager that restarts it)")
				return
			}
			if diskLow {
				logger.Printf("the data folder's disk has %d bytes free: once it is full dqlite cannot "+
					"write its log, and writes fail with an outcome clients cannot know", free)
			} else {
				logger.Printf("the data folder's disk has %d bytes free again", free)
			}
		}
		view, err := look(ctx, node, &cli)
		if err != nil {
			if cli != nil {
				cli.Close()
				cli = nil
			}
			if health != nil {
				health.record(view, false, err)
			}
			continue
		}
		leaderChanged := !first && view.leaderID != last.leaderID
		if first || leaderChanged {
			switch {
			case view.leaderID == 0:
				logger.Printf("no leader known")
			case view.leaderID == selfID:
				logger.Printf("this node is now the leader")
			case !first && last.leaderID == selfID:
				logger.Printf("this node is no longer the leader; the leader is %d at %s", view.leaderID, view.leaderAddress)
			default:
				logger.Printf("the leader is %d at %s", view.leaderID, view.leaderAddress)
			}
		}
		if !first && view.role != last.role && view.role != "" {
			logger.Printf("this node's role is now %s (was %s)", view.role, orNone(last.role))
		}
		if diskLow && view.leaderID == selfID && time.Since(lastTransfer) > 5*time.Second {
			// A leader that cannot write its log fails writes it may have
			// replicated, and this dqlite then crashes: hand leadership to
			// a voter with room while this one still can.
			lastTransfer = time.Now()
			logger.Printf("the disk is nearly full: handing leadership over")
			transfer, cancel := context.WithTimeout(ctx, 5*time.Second)
			// dqlite can report a failure for a transfer that goes on to
			// happen; the next looks log whether leadership moved.
			if err := cli.Transfer(transfer, 0); err != nil {
				logger.Printf("handing leadership over: %v", err)
			}
			cancel()
		}
		if door != nil {
			relayTo := ""
			if view.role == "spare" && view.leaderID != 0 && view.leaderID != selfID {
				relayTo = view.leaderAddress
			}
			door.relayTo.Store(relayTo)
		}
		if health != nil {
			health.record(view, leaderChanged, nil)
			if ticks++; ticks%peerLookTicks == 1 {
				health.setPeers(lookAtPeers(ctx, cli, dial))
			}
		}
		last, first = view, false
	}
}

// Every node is asked whether it answers every peerLookTicks looks (5 s).
const peerLookTicks = 10

// lookAtPeers asks every node of the configuration, at once, who leads:
// a voter that does not answer (dead, cut off, or unable to rejoin) shows.
func lookAtPeers(ctx context.Context, self *client.Client, dial client.DialFunc) []nodeStatus {
	configuration, cancel := context.WithTimeout(ctx, 2*time.Second)
	defer cancel()
	infos, err := self.Cluster(configuration)
	if err != nil {
		return nil
	}
	peers := make([]nodeStatus, len(infos))
	done := make(chan struct{}, len(infos))
	for i, info := range infos {
		peers[i] = nodeStatus{ID: info.ID, Address: info.Address, Role: roleName(info.Role)}
		go func(p *nodeStatus) {
			p.Reachable = p.ID == selfID || reachable(ctx, p.Address, dial) == nil
			done <- struct{}{}
		}(&peers[i])
	}
	for range infos {
		<-done
	}
	return peers
}

func orNone(role string) string {
	if role == "" {
		return "none"
	}
	return role
}

func look(ctx context.Context, node *app.App, cli **client.Client) (clusterView, error) {
	ctx, cancel := context.WithTimeout(ctx, 2*time.Second)
	defer cancel()
	var view clusterView
	if *cli == nil {
		c, err := node.Client(ctx)
		if err != nil {
			return view, err
		}
		*cli = c
	}
	leader, err := (*cli).Leader(ctx)
	if err != nil {
		return view, err
	}
	if leader != nil {
		view.leaderID, view.leaderAddress = leader.ID, leader.Address
	}
	nodes, err := (*cli).Cluster(ctx)
	if err != nil {
		return view, err
	}
	if !listed(nodes, selfID) {
		// A spare is sent no log entries, so its own copy of the
		// configuration stays the one it joined with, without itself: ask
		// the leader, whose configuration is the cluster's.
		if leader, err := node.Leader(ctx); err == nil {
			if theirs, err := leader.Cluster(ctx); err == nil && listed(theirs, selfID) {
				nodes = theirs
				if info, err := leader.Leader(ctx); err == nil && info != nil {
					view.leaderID, view.leaderAddress = info.ID, info.Address
				}
			}
			leader.Close()
		}
	}
	for _, n := range nodes {
		role := roleName(n.Role)
		switch role {
		case "voter":
			view.voters++
		case "stand-by":
			view.standBys++
		default:
			view.spares++
		}
		if n.ID == selfID {
			view.role = role
		}
	}
	// dqlite tells a stand-by or a spare of no leader even while it follows
	// one: ask the cluster instead.
	if view.leaderID == 0 && view.role != "" && view.role != "voter" {
		if leader, err := node.Leader(ctx); err == nil {
			if info, err := leader.Leader(ctx); err == nil && info != nil {
				view.leaderID, view.leaderAddress = info.ID, info.Address
			}
			leader.Close()
		}
	}
	return view, nil
}

func roleName(role client.NodeRole) string {
	switch role {
	case client.Voter:
		return "voter"
	case client.StandBy:
		return "stand-by"
	default:
		return "spare"
	}
}

func listed(nodes []client.NodeInfo, id uint64) bool {
	for _, n := range nodes {
		if n.ID == id {
			return true
		}
	}
	return false
}
