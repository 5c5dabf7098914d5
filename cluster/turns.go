// SPDX-License-Identifier: MIT

package main

// Writes take turns at the door. dqlite runs one write transaction at a
// time and answers a write that meets one in flight with "database is
// locked" at once, so many writers race, back off and retry, and a writer
// that keeps losing waits seconds. The door reads each client's requests
// and the engine's answers message by message (an 8-byte header: the
// body's length in 8-byte words, then the type), and lets one write
// (EXEC or EXEC_SQL) at a time through to the engine, in the order they
// came, until its answer passes back. dqlite runs queries on the same
// loop as its commits, so while writes wait, at most queriesBesideWrites
// queries are let through at a time; otherwise queries pass at once. A
// write that meets another client's open transaction is still refused by
// SQLite, as before: that lock is the transaction's, not the door's.

import (
	"encoding/binary"
	"errors"
	"io"
	"sync"
	"time"
)

const (
	rowsResponse        = 7
	execRequest         = 5
	queryRequest        = 6
	execSQLRequest      = 8
	querySQLRequest     = 9
	queriesBesideWrites = 2
	// A write whose answer has not come back within this time gives up its
	// turn: the next write then meets it as SQLite does.
	writeTurnLimit = 5 * time.Second
)

var errEmptyRequest = errors.New("a request with no body")

// turn is one client connection's hold on the door's write turn.
type turn struct {
	once  sync.Once
	timer *time.Timer
	g     *guard
}

func (g *guard) takeTurn() (*turn, bool) {
	g.gate.L.Lock()
	g.writesWaiting++
	g.gate.L.Unlock()
	defer func() {
		g.gate.L.Lock()
		g.writesWaiting--
		g.gate.L.Unlock()
		g.gate.Broadcast()
	}()
	select {
	case g.writeTurn <- struct{}{}:
	case <-g.ctx.Done():
		return nil, false
	}
	t := &turn{g: g}
	t.timer = time.AfterFunc(writeTurnLimit, t.give)
	return t, true
}

func (t *turn) give() {
	t.once.Do(func() {
		t.timer.Stop()
		<-t.g.writeTurn
	})
}

// queryStarts waits, while writes wait, until fewer than
// queriesBesideWrites queries are at the engine; then counts this one in.
func (g *guard) queryStarts() {
	g.gate.L.Lock()
	for g.writesWaiting > 0 && g.queriesRunning >= queriesBesideWrites && g.ctx.Err() == nil {
		g.gate.Wait()
	}
	g.queriesRunning++
	g.gate.L.Unlock()
}

func (g *guard) queryEnds() {
	g.gate.L.Lock()
	g.queriesRunning--
	g.gate.L.Unlock()
	g.gate.Broadcast()
}

// clientPipe carries one client connection's requests to the engine and
// its answers back, until either side ends.
type clientPipe struct {
	g        *guard
	mu       sync.Mutex
	held     *turn // while one of this connection's writes is at the engine
	querying bool  // while one of its queries is at the engine
	closed   bool
}

func (p *clientPipe) hold(t *turn) {
	p.mu.Lock()
	closed := p.closed
	if !closed {
		p.held = t
	}
	p.mu.Unlock()
	if closed {
		t.give()
	}
}

func (p *clientPipe) query() {
	p.mu.Lock()
	closed := p.closed
	p.querying = !closed
	p.mu.Unlock()
	if closed {
		p.g.queryEnds()
	}
}

// finish ends the pipe: what it holds is given back, and what it takes
// later too.
func (p *clientPipe) finish() {
	p.mu.Lock()
	p.closed = true
	p.mu.Unlock()
	p.answered(true)
}

// answered gives the turn back, if this connection holds it, and ends
// its query, if one was at the engine and last is true.
func (p *clientPipe) answered(last bool) {
	p.mu.Lock()
	t := p.held
	p.held = nil
	ended := p.querying && last
	if ended {
		p.querying = false
	}
	p.mu.Unlock()
	if t != nil {
		t.give()
	}
	if ended {
		p.g.queryEnds()
	}
}

// requests copies the protocol version, then request after request; a
// write waits for the turn before any of it reaches the engine.
func (p *clientPipe) requests(from io.Reader, engine io.Writer) error {
	var version [8]byte
	if _, err := io.ReadFull(from, version[:]); err != nil {
		return err
	}
	if _, err := engine.Write(version[:]); err != nil {
		return err
	}
	var header [8]byte
	for {
		if _, err := io.ReadFull(from, header[:]); err != nil {
			return err
		}
		words := binary.LittleEndian.Uint32(header[0:4])
		if words == 0 {
			// dqlite's engine asserts on a body of no bytes and aborts:
			// no request has one, so none gets through.
			return errEmptyRequest
		}
		switch header[4] {
		case execRequest, execSQLRequest:
			t, ok := p.g.takeTurn()
			if !ok {
				return io.EOF
			}
			p.hold(t)
		case queryRequest, querySQLRequest:
			p.g.queryStarts()
			p.query()
		}
		if _, err := engine.Write(header[:]); err != nil {
			return err
		}
		if _, err := io.CopyN(engine, from, 8*int64(words)); err != nil {
			return err
		}
	}
}

// responses copies the engine's answers back; each one ends a write's
// turn, and the last of a query's ends the query. That is settled before
// the answer's last 8 bytes go to the client, which may send its next
// request as soon as it has them.
func (p *clientPipe) responses(engine io.Reader, to io.Writer) error {
	var header, last [8]byte
	for {
		if _, err := io.ReadFull(engine, header[:]); err != nil {
			return err
		}
		if _, err := to.Write(header[:]); err != nil {
			return err
		}
		words := int64(binary.LittleEndian.Uint32(header[0:4]))
		if words == 0 {
			p.answered(true)
			continue
		}
		if _, err := io.CopyN(to, engine, 8*(words-1)); err != nil {
			return err
		}
		if _, err := io.ReadFull(engine, last[:]); err != nil {
			return err
		}
		// A query's rows may come in parts: each but the last ends in a
		// marker of 0xee bytes (the last, in 0xff bytes).
		p.answered(header[4] != rowsResponse || last[7] != 0xee)
		if _, err := to.Write(last[:]); err != nil {
			return err
		}
	}
}
