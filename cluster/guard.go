// SPDX-License-Identifier: MIT

package main

// The door of a TLS node. go-dqlite's own listener hands every TCP
// connection a Unix socket to the dqlite engine before its TLS handshake
// starts, waits for that handshake without bound, and stops accepting for
// good at the first failed accept (running out of descriptors is one): a
// stranger without a certificate who opens a few thousand idle
// connections disables the node until it restarts. So this node closes
// that listener as soon as go-dqlite has opened it and accepts on the same
// address itself:
//
//   - a connection must start its TLS handshake within helloTimeout and
//     finish it, with a certificate from the cluster's CA, within
//     handshakeTimeout, or it is closed;
//   - a bounded number of connections may be handshaking at once (a
//     quarter of the descriptor limit, within 64 and 8192), and a quarter
//     of those from one address; when they are all taken, the oldest
//     handshake (from that address, if it has its quarter) is closed to
//     make room for the newest. A flood costs a bounded number of
//     descriptors, and a stranger who holds every slot with handshakes
//     that never end loses them to whoever comes next: a client's
//     handshake, which takes milliseconds, is only closed if more
//     connections than there are slots arrive while it runs;
//   - only an authenticated connection reaches the dqlite engine;
//   - a failed accept (EMFILE, ENFILE, ENOBUFS) is waited out and retried,
//     and reported by /healthz, instead of ending the accept loop; so is a
//     failed connection to the dqlite engine.

import (
	"bytes"
	"container/list"
	"context"
	"crypto/tls"
	"encoding/binary"
	"errors"
	"fmt"
	"io"
	"log"
	"net"
	"reflect"
	"sync"
	"sync/atomic"
	"syscall"
	"time"
	"unsafe"

	"github.com/canonical/go-dqlite/app"
	"github.com/canonical/go-dqlite/client"
)

const (
	helloTimeout     = 2 * time.Second
	handshakeTimeout = 10 * time.Second
	minSlots         = 64
	maxSlots         = 8192
)

type guard struct {
	listener  net.Listener
	engine    string // the dqlite engine's Unix socket
	config    *tls.Config
	logger    *log.Logger
	slots     int // connections that may be handshaking at once
	hostSlots int // of which from one address
	mu        sync.Mutex
	oldest    list.List             // handshakes, oldest first
	perHost   map[string]*list.List // the same, by remote address
	ctx       context.Context
	stop      context.CancelFunc
	done      sync.WaitGroup

	// Since when accepting fails (Unix nanoseconds; 0 while it works), and
	// the counts /metrics shows.
	failingSince       atomic.Int64
	engineFailingSince atomic.Int64
	evicted            atomic.Uint64 // closed to make room for a newer one
	handshakeFailed    atomic.Uint64 // no valid certificate in time

	// While this node is a spare, the leader's address; "" otherwise. A
	// spare is sent no log entries, so its engine knows neither leader
	// nor configuration; a client that reaches it is passed to the leader.
	relayTo atomic.Value    // string
	dial    client.DialFunc // to another node, as this node dials its peers
	relayed atomic.Uint64

	// A node of another cluster that sends this one Raft messages is
	// refused, and stopWith told why: see foreign.
	node         *app.App
	self         string
	stopWith     chan<- error
	bootstrapped bool // this node started a new cluster on an empty folder, this run
	stopped      atomic.Bool
	refusedPeers sync.Map // IDs already logged

	writeTurn      chan struct{} // one write at the engine at a time: see turns.go
	gate           *sync.Cond    // guards the two counts below
	writesWaiting  int
	queriesRunning int
}

// guardNode takes the TLS listener over from go-dqlite's node.
func guardNode(node *app.App, address string, config *tls.Config, logger *log.Logger, dial client.DialFunc,
	stopWith chan<- error, bootstrapped bool) (*guard, error) {
	inner := reflect.ValueOf(node).Elem()
	listenerField, engineField := inner.FieldByName("listener"), inner.FieldByName("nodeBindAddress")
	if !listenerField.IsValid() || !engineField.IsValid() || engineField.Kind() != reflect.String {
		return nil, errors.New("this go-dqlite keeps its listener elsewhere; the connection guard " +
			"is written for go-dqlite 1.11")
	}
	ours := reflect.NewAt(listenerField.Type(), unsafe.Pointer(listenerField.UnsafeAddr())).Elem()
	theirs, ok := ours.Interface().(net.Listener)
	if !ok || theirs == nil {
		return nil, errors.New("go-dqlite opened no TLS listener")
	}
	// Closing it ends go-dqlite's accept loop; its Close later finds it
	// closed and its loop done.
	theirs.Close()
	listener, err := listenAgain(address)
	if err != nil {
		return nil, err
	}
	ctx, stop := context.WithCancel(context.Background())
	g := &guard{listener: listener, engine: engineField.String(), config: config, logger: logger,
		perHost: map[string]*list.List{}, ctx: ctx, stop: stop,
		dial: dial, node: node, self: address, stopWith: stopWith, bootstrapped: bootstrapped, writeTurn: make(chan struct{}, 1),
		gate: sync.NewCond(&sync.Mutex{})}
	g.relayTo.Store("")
	g.slots, g.hostSlots = handshakeSlots()
	g.done.Add(1)
	go g.serve()
	return g, nil
}

// handshakeSlots is how many connections may be handshaking at once (a
// quarter of the descriptor limit, within minSlots and maxSlots), and how
// many of them from one address.
func handshakeSlots() (int, int) {
	slots := minSlots
	var limit syscall.Rlimit
	if syscall.Getrlimit(syscall.RLIMIT_NOFILE, &limit) == nil && limit.Cur/4 > minSlots {
		slots = maxSlots
		if limit.Cur/4 < maxSlots {
			slots = int(limit.Cur / 4)
		}
	}
	return slots, slots / 4
}

// listenAgain binds the address go-dqlite has just let go of.
func listenAgain(address string) (net.Listener, error) {
	var err error
	for i := 0; i < 50; i++ {
		var listener net.Listener
		if listener, err = net.Listen("tcp", address); err == nil {
			return listener, nil
		}
		time.Sleep(20 * time.Millisecond)
	}
	return nil, fmt.Errorf("listen on %s: %v", address, err)
}

func (g *guard) serve() {
	defer g.done.Done()
	backoff := 5 * time.Millisecond
	tcp, _ := g.listener.(*net.TCPListener)
	for {
		// While accepting fails, each try waits at most a second: an accept
		// that times out with nothing to take shows it works again, though
		// no one has connected since.
		if tcp != nil && g.failingSince.Load() != 0 {
			tcp.SetDeadline(time.Now().Add(time.Second))
		}
		conn, err := g.listener.Accept()
		if tcp != nil && g.failingSince.Load() != 0 {
			tcp.SetDeadline(time.Time{})
		}
		var timeout net.Error
		if errors.As(err, &timeout) && timeout.Timeout() {
			g.recovered()
			continue
		}
		if err != nil {
			if g.ctx.Err() != nil {
				return
			}
			if g.failingSince.CompareAndSwap(0, time.Now().UnixNano()) {
				g.logger.Printf("cannot accept connections: %v; retrying", err)
			}
			time.Sleep(backoff)
			if backoff < time.Second {
				backoff *= 2
			}
			continue
		}
		g.recovered()
		backoff = 5 * time.Millisecond
		h := g.admit(conn)
		g.done.Add(1)
		go g.handle(h)
	}
}

func remoteHost(conn net.Conn) string {
	if tcp, ok := conn.RemoteAddr().(*net.TCPAddr); ok {
		return tcp.IP.String()
	}
	return conn.RemoteAddr().String()
}

// A connection while it handshakes.
type handshake struct {
	conn      net.Conn
	host      string
	entry     *list.Element // in guard.oldest
	hostEntry *list.Element // in guard.perHost[host]
	ended     bool
	evicted   bool
}

// admit gives a new connection a handshake slot, closing the oldest
// handshake (its address's, if that address has all its slots) when none
// is free.
func (g *guard) admit(conn net.Conn) *handshake {
	h := &handshake{conn: conn, host: remoteHost(conn)}
	g.mu.Lock()
	defer g.mu.Unlock()
	var victim *handshake
	if same := g.perHost[h.host]; same != nil && same.Len() >= g.hostSlots {
		victim = same.Front().Value.(*handshake)
	} else if g.oldest.Len() >= g.slots {
		victim = g.oldest.Front().Value.(*handshake)
	}
	if victim != nil {
		g.end(victim)
		victim.evicted = true
		victim.conn.Close()
		g.evicted.Add(1)
	}
	h.entry = g.oldest.PushBack(h)
	same := g.perHost[h.host]
	if same == nil {
		same = list.New()
		g.perHost[h.host] = same
	}
	h.hostEntry = same.PushBack(h)
	return h
}

// release gives back a handshake's slot, once it has ended either way,
// and says whether it was closed to make room for another.
func (g *guard) release(h *handshake) (evicted bool) {
	g.mu.Lock()
	defer g.mu.Unlock()
	g.end(h)
	return h.evicted
}

func (g *guard) end(h *handshake) {
	if h.ended {
		return
	}
	h.ended = true
	g.oldest.Remove(h.entry)
	same := g.perHost[h.host]
	same.Remove(h.hostEntry)
	if same.Len() == 0 {
		delete(g.perHost, h.host)
	}
}

// handshaking is how many connections hold a handshake slot now.
func (g *guard) handshaking() int {
	g.mu.Lock()
	defer g.mu.Unlock()
	return g.oldest.Len()
}

func (g *guard) recovered() {
	if since := g.failingSince.Swap(0); since != 0 {
		g.logger.Printf("accepting connections again after %v", time.Since(time.Unix(0, since)).Round(time.Millisecond))
	}
}

// engineFailed marks the dqlite engine unreachable (out of descriptors,
// most likely) until a dial to it succeeds again, tried every second.
func (g *guard) engineFailed(err error) {
	if !g.engineFailingSince.CompareAndSwap(0, time.Now().UnixNano()) {
		return
	}
	g.logger.Printf("cannot connect to the dqlite engine: %v; retrying", err)
	g.done.Add(1)
	go func() {
		defer g.done.Done()
		for {
			select {
			case <-g.ctx.Done():
				return
			case <-time.After(time.Second):
			}
			if local, err := net.Dial("unix", g.engine); err == nil {
				local.Close()
				since := g.engineFailingSince.Swap(0)
				g.logger.Printf("the dqlite engine takes connections again after %v",
					time.Since(time.Unix(0, since)).Round(time.Millisecond))
				return
			}
		}
	}()
}

// failing says since when accepting connections, or passing them on to
// the dqlite engine, has failed; zero while both work.
func (g *guard) failing() time.Duration {
	since := g.failingSince.Load()
	if engine := g.engineFailingSince.Load(); engine != 0 && (since == 0 || engine < since) {
		since = engine
	}
	if since != 0 {
		return time.Since(time.Unix(0, since))
	}
	return 0
}

func (g *guard) handle(h *handshake) {
	defer g.done.Done()
	raw, host := h.conn, h.host
	if tcp, ok := raw.(*net.TCPConn); ok {
		tcp.SetKeepAlive(true)
		tcp.SetKeepAlivePeriod(30 * time.Second)
	}
	err := startsWithin(raw, helloTimeout)
	var remote *tls.Conn
	if err == nil {
		remote = tls.Server(raw, g.config)
		ctx, cancel := context.WithTimeout(g.ctx, handshakeTimeout)
		err = remote.HandshakeContext(ctx)
		cancel()
	}
	if evicted := g.release(h); err != nil {
		if !evicted {
			g.handshakeFailed.Add(1)
		}
		raw.Close()
		return
	}
	// What the connection sends first: the protocol version (8 bytes) and
	// its first request, whose header (8 bytes) gives its length in
	// words and its type. It is read here, and sent on unchanged.
	first := make([]byte, 16)
	n, err := io.ReadFull(remote, first)
	first = first[:n]
	raft := err == nil && first[12] == connectRequest
	whole := err == nil // the first request's header was read
	if raft {
		words := binary.LittleEndian.Uint32(first[8:12])
		if words > 0 && words <= 64 {
			body := make([]byte, 8*words)
			n, err = io.ReadFull(remote, body)
			first = append(first, body[:n]...)
			if err == nil && g.foreign(body) {
				remote.Close()
				return
			}
		}
	}
	from := io.MultiReader(bytes.NewReader(first), remote)
	var local net.Conn
	relayed := false
	if leader, _ := g.relayTo.Load().(string); leader != "" && g.dial != nil && err == nil && !raft {
		ctx, cancel := context.WithTimeout(g.ctx, 5*time.Second)
		// If the leader cannot be reached, the engine answers that it
		// knows no leader.
		if local, _ = g.dial(ctx, leader); local != nil {
			g.relayed.Add(1)
			relayed = true
		}
		cancel()
	}
	if local == nil {
		if local, err = net.Dial("unix", g.engine); err != nil {
			remote.Close()
			g.engineFailed(err)
			return
		}
	}
	// Copy both ways until either side ends; then end the other, and both
	// end when the node stops. A client's connection to this node's own
	// engine goes message by message, so that writes take turns; a Raft
	// connection, or one passed to the leader, is copied as it comes.
	ended := make(chan struct{}, 2)
	var pipe *clientPipe
	if relayed || raft || !whole {
		go func() { io.Copy(local, from); ended <- struct{}{} }()
		go func() { io.Copy(remote, local); ended <- struct{}{} }()
	} else {
		pipe = &clientPipe{g: g}
		go func() {
			if err := pipe.requests(from, local); err == errEmptyRequest {
				g.logger.Printf("closed a connection from %s: %v", host, err)
			}
			ended <- struct{}{}
		}()
		go func() { pipe.responses(local, remote); ended <- struct{}{} }()
	}
	select {
	case <-ended:
	case <-g.ctx.Done():
	}
	remote.Close()
	local.Close()
	if pipe != nil {
		// Both copies end once both ends are closed; a write still at the
		// engine gives its turn back now.
		<-ended
		pipe.finish()
	}
}

// dqlite's request type for a Raft connection between nodes.
const connectRequest = 11

// foreign says whether a Raft connection, whose CONNECT request's body
// (the sender's ID, then its address) is given, comes from a node of
// another cluster, and must be refused: one with this node's own ID at
// another address (every cluster's first node has the same ID), or any
// node while this node's configuration holds this node alone. That is
// what a node hears when its folder was wiped and it was started with
// --bootstrap at an address its old cluster still counts as a member's;
// dqlite 1.11 crashes on those messages. When the sender has this node's
// own ID, or this node started its cluster on an empty folder in this
// run, that is surely what happened: the node is stopped with a message
// that says so, rather than serve the old cluster's clients, which still
// have its address, as a cluster of its own. Otherwise (a single node long
// in service, hearing from a removed node, say) each sender is refused,
// and logged once.
func (g *guard) foreign(body []byte) bool {
	if g.node == nil || len(body) < 9 {
		return false
	}
	id := binary.LittleEndian.Uint64(body[:8])
	address := string(bytes.TrimRight(body[8:], "\x00"))
	ctx, cancel := context.WithTimeout(g.ctx, 2*time.Second)
	defer cancel()
	cli, err := g.node.Client(ctx)
	if err != nil {
		return false
	}
	defer cli.Close()
	nodes, err := cli.Cluster(ctx)
	if err != nil || !listed(nodes, g.node.ID()) {
		return false // not a member yet: a node that joins hears from the leader first
	}
	twin := id == g.node.ID() && address != g.self
	if !twin && !(len(nodes) == 1 && !listed(nodes, id)) {
		return false
	}
	advice := "this node's folder was probably lost or wiped and the node started with --bootstrap at an " +
		"address that cluster still counts as one of its members. To bring this node back into that cluster, " +
		"stop it, remove the old member (geodesy-node remove), empty this node's folder, and start it with --join"
	if twin || g.bootstrapped {
		if g.stopped.CompareAndSwap(false, true) && g.stopWith != nil {
			g.stopWith <- fmt.Errorf("node %d at %s, of another cluster, sends this node Raft messages: %s. "+
				"Stopping", id, address, advice)
		}
	} else if _, seen := g.refusedPeers.LoadOrStore(id, true); !seen {
		g.logger.Printf("refusing the Raft messages of node %d at %s, which is not in this cluster: %s",
			id, address, advice)
	}
	return true
}

// startsWithin waits up to limit for the connection's first byte, without
// taking it: a TLS client sends its hello at once.
func startsWithin(conn net.Conn, limit time.Duration) error {
	tcp, ok := conn.(*net.TCPConn)
	if !ok {
		return nil
	}
	raw, err := tcp.SyscallConn()
	if err != nil {
		return err
	}
	conn.SetReadDeadline(time.Now().Add(limit))
	defer conn.SetReadDeadline(time.Time{})
	var peekErr error
	err = raw.Read(func(fd uintptr) bool {
		var b [1]byte
		n, _, err := syscall.Recvfrom(int(fd), b[:], syscall.MSG_PEEK)
		switch {
		case err == syscall.EAGAIN:
			return false // not yet: wait for the descriptor to be readable
		case err != nil:
			peekErr = err
		case n == 0:
			peekErr = io.EOF
		}
		return true
	})
	if err != nil {
		return err
	}
	return peekErr
}

// close stops accepting and ends every connection.
func (g *guard) close() {
	g.stop()
	g.gate.Broadcast() // queries waiting for writes stop waiting
	g.listener.Close()
	g.done.Wait()
}
