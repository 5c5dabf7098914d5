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
//     handshakeTimeout of being accepted, or it is closed: a stranger who
//     trickles a ClientHello byte by byte holds a slot for a bounded time,
//     not for as long as he likes (the bound is generous: a node that is
//     busy or just resumed must still get its peers' Raft connections in);
//   - a fixed number of handshakes (slots, a quarter of the descriptor
//     limit) may be under way at once, a quarter of them from one
//     address. A newcomer is never turned away: when the slots are full
//     the oldest handshake is closed to make room (the oldest of the
//     newcomer's own address, when that address holds its share). A
//     client's handshake takes milliseconds, a flood's connections sit
//     until they are closed, so the flood's are the ones that go: a
//     stranger on any number of addresses cannot keep a client out
//     unless he opens more connections within one client's handshake
//     than there are slots, and a flood costs a bounded number of
//     descriptors;
//   - only an authenticated connection reaches the dqlite engine;
//   - a failed accept (EMFILE, ENFILE, ENOBUFS) is waited out and retried,
//     and reported by /healthz, instead of ending the accept loop; so is a
//     failed connection to the dqlite engine.

import (
	"container/list"
	"context"
	"crypto/tls"
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
)

const (
	helloTimeout     = 2 * time.Second
	handshakeTimeout = 10 * time.Second
	// Handshake slots: a quarter of the descriptor limit, within these.
	minSlots = 64
	maxSlots = 8192
)

// A connection in its handshake, in the door's lists.
type handshake struct {
	conn    net.Conn
	host    string
	all     *list.Element // in guard.oldest
	ofHost  *list.Element // in guard.perHost[host]
	evicted bool
}

type guard struct {
	listener net.Listener
	engine   string // the dqlite engine's Unix socket
	config   *tls.Config
	logger   *log.Logger
	slots    int // handshakes at once
	hostCap  int // handshakes at once from one address
	mu       sync.Mutex
	oldest   *list.List            // handshakes, oldest first
	perHost  map[string]*list.List // handshakes by remote address, oldest first
	ctx      context.Context
	stop     context.CancelFunc
	done     sync.WaitGroup

	// Since when accepting fails (Unix nanoseconds; 0 while it works), and
	// the counts /metrics shows.
	failingSince       atomic.Int64
	engineFailingSince atomic.Int64
	evicted            atomic.Uint64 // closed in their handshake to make room for a newer one
	handshakeFailed    atomic.Uint64 // no valid certificate in time
}

// handshakeSlots is a quarter of the process's descriptor limit (which Go
// raises to the hard limit at start), within minSlots and maxSlots: the
// rest stay for clients past the door, the dqlite engine and Raft.
func handshakeSlots() int {
	var limit syscall.Rlimit
	slots := 1024
	if syscall.Getrlimit(syscall.RLIMIT_NOFILE, &limit) == nil && limit.Cur < 1<<30 {
		slots = int(limit.Cur / 4)
	}
	if slots < minSlots {
		slots = minSlots
	}
	if slots > maxSlots {
		slots = maxSlots
	}
	return slots
}

// guardNode takes the TLS listener over from go-dqlite's node.
func guardNode(node *app.App, address string, config *tls.Config, logger *log.Logger) (*guard, error) {
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
	slots := handshakeSlots()
	g := &guard{listener: listener, engine: engineField.String(), config: config, logger: logger,
		slots: slots, hostCap: slots / 4, oldest: list.New(), perHost: map[string]*list.List{},
		ctx: ctx, stop: stop}
	g.done.Add(1)
	go g.serve()
	return g, nil
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

// admit gives a new connection a handshake slot, closing the oldest
// handshake of its address when that address holds its share, or else the
// oldest of all when every slot is taken.
func (g *guard) admit(conn net.Conn) *handshake {
	h := &handshake{conn: conn, host: remoteHost(conn)}
	g.mu.Lock()
	defer g.mu.Unlock()
	mine := g.perHost[h.host]
	if mine == nil {
		mine = list.New()
		g.perHost[h.host] = mine
	}
	if mine.Len() >= g.hostCap {
		g.evict(mine.Front().Value.(*handshake))
	} else if g.oldest.Len() >= g.slots {
		g.evict(g.oldest.Front().Value.(*handshake))
	}
	h.all = g.oldest.PushBack(h)
	h.ofHost = mine.PushBack(h)
	return h
}

// evict closes a handshake to make room; its goroutine sees the closed
// connection and ends. Called with g.mu held.
func (g *guard) evict(h *handshake) {
	g.remove(h)
	h.evicted = true
	h.conn.Close()
	g.evicted.Add(1)
}

// remove takes h out of the lists. Called with g.mu held.
func (g *guard) remove(h *handshake) {
	g.oldest.Remove(h.all)
	mine := g.perHost[h.host]
	mine.Remove(h.ofHost)
	if mine.Len() == 0 {
		delete(g.perHost, h.host)
	}
}

// release frees h's slot once its handshake has ended; false if h was
// evicted meanwhile.
func (g *guard) release(h *handshake) bool {
	g.mu.Lock()
	defer g.mu.Unlock()
	if h.evicted {
		return false
	}
	g.remove(h)
	return true
}

// handshaking is the number of connections in their handshake now.
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
	raw := h.conn
	if tcp, ok := raw.(*net.TCPConn); ok {
		tcp.SetKeepAlive(true)
		tcp.SetKeepAlivePeriod(30 * time.Second)
	}
	accepted := time.Now()
	deadline := accepted.Add(handshakeTimeout)
	err := startsWithin(raw, accepted.Add(helloTimeout))
	var remote *tls.Conn
	if err == nil {
		raw.SetDeadline(deadline)
		remote = tls.Server(raw, g.config)
		ctx, cancel := context.WithDeadline(g.ctx, deadline)
		err = remote.HandshakeContext(ctx)
		cancel()
	}
	if !g.release(h) {
		raw.Close() // evicted: counted there
		return
	}
	if err != nil {
		g.handshakeFailed.Add(1)
		raw.Close()
		return
	}
	raw.SetDeadline(time.Time{})
	local, err := net.Dial("unix", g.engine)
	if err != nil {
		remote.Close()
		g.engineFailed(err)
		return
	}
	// Copy both ways until either side ends; then end the other, and both
	// end when the node stops.
	ended := make(chan struct{}, 2)
	go func() { io.Copy(local, remote); ended <- struct{}{} }()
	go func() { io.Copy(remote, local); ended <- struct{}{} }()
	select {
	case <-ended:
	case <-g.ctx.Done():
	}
	remote.Close()
	local.Close()
}

// startsWithin waits until by for the connection's first byte, without
// taking it: a TLS client sends its hello at once.
func startsWithin(conn net.Conn, by time.Time) error {
	tcp, ok := conn.(*net.TCPConn)
	if !ok {
		return nil
	}
	raw, err := tcp.SyscallConn()
	if err != nil {
		return err
	}
	conn.SetReadDeadline(by)
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
	g.listener.Close()
	g.done.Wait()
}
