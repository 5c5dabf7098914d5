// SPDX-License-Identifier: MIT

package main

// Read levels. dqlite runs every query on the leader, so "none" and
// "weak" are the same here: the leader's copy, with every write it has
// applied. A leader cut off from the others goes on believing it leads
// until its election timeout, and meanwhile another may have been elected
// and acknowledged writes, so a weak read can be stale for that long.
// "linearizable" and "strong" first commit a write of the node's own
// through Raft, which only a leader that a majority still follows can do:
// once it is committed, every write acknowledged before the read began is
// applied on the leader, and the read sees it.
//
// Reads that wait at once share one such write, but a read never shares
// one that started before it did (that one might have been ordered before
// a write the read must see).

import (
	"context"
	"sync"
	"time"
)

type barrierRound struct {
	done chan struct{}
	err  error
}

type readBarrier struct {
	commit  func(context.Context) error
	mu      sync.Mutex
	next    *barrierRound // the round that the next write will settle
	running bool
}

func newReadBarrier(commit func(context.Context) error) *readBarrier {
	return &readBarrier{commit: commit}
}

// wait returns once a write that began after the call has been committed.
func (b *readBarrier) wait(ctx context.Context) error {
	b.mu.Lock()
	if b.next == nil {
		b.next = &barrierRound{done: make(chan struct{})}
	}
	round := b.next
	if !b.running {
		b.running = true
		go b.loop()
	}
	b.mu.Unlock()
	select {
	case <-round.done:
		return round.err
	case <-ctx.Done():
		return ctx.Err()
	}
}

func (b *readBarrier) loop() {
	for {
		b.mu.Lock()
		round := b.next
		b.next = nil
		if round == nil {
			b.running = false
			b.mu.Unlock()
			return
		}
		b.mu.Unlock()
		ctx, cancel := context.WithTimeout(context.Background(), defaultRequestTimeout)
		round.err = b.commit(ctx)
		cancel()
		close(round.done)
	}
}

// commitBarrier is the write: one row of the node's own database,
// rewritten. It changes nothing anyone reads, so it is tried again, on a
// new connection, until it is committed or the time runs out.
func (a *httpAPI) commitBarrier(ctx context.Context) error {
	const write = "INSERT OR REPLACE INTO read_barrier(id, n) VALUES (1, random())"
	for {
		err := a.tryBarrier(ctx, write)
		if err == nil || ctx.Err() != nil {
			return err
		}
		select {
		case <-time.After(50 * time.Millisecond):
		case <-ctx.Done():
			return err
		}
	}
}

func (a *httpAPI) tryBarrier(ctx context.Context, write string) error {
	db, err := a.open(ctx, &a.internal, identityDatabase)
	if err != nil {
		return err
	}
	conn, err := db.Conn(ctx)
	if err != nil {
		return err
	}
	defer conn.Close()
	if _, err = a.exec(ctx, conn, write, nil); err != nil {
		// A cluster whose nodes predate the table: make it, then write.
		if _, create := a.exec(ctx, conn, "CREATE TABLE IF NOT EXISTS read_barrier(id INTEGER PRIMARY KEY, n INTEGER)", nil); create == nil {
			_, err = a.exec(ctx, conn, write, nil)
		}
	}
	if err != nil {
		discard(conn)
	}
	return err
}
