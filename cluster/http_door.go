// SPDX-License-Identifier: MIT

package main

// The HTTP API's door over TLS, kept as the node's own door keeps its
// port: a connection must start its TLS handshake within helloTimeout and
// finish it within handshakeTimeout; a bounded number may be handshaking
// at once, a quarter of them from one address, and when they are all
// taken the oldest (from that address, if it has its quarter) is closed
// to make room. Only a connection whose handshake is done reaches the
// HTTP server, so strangers who open connections and say nothing cost a
// bounded number of descriptors and cannot keep a client out.

import (
	"container/list"
	"context"
	"crypto/tls"
	"errors"
	"io"
	"net"
	"sync"
	"time"
)

type httpDoor struct {
	net.Listener // the TCP listener
	slots        *guard
	config       *tls.Config
	ready        chan net.Conn
	done         chan struct{}
	closing      sync.Once
}

func newHTTPDoor(inner net.Listener, config *tls.Config) *httpDoor {
	slots := &guard{perHost: map[string]*list.List{}}
	slots.slots, slots.hostSlots = handshakeSlots()
	d := &httpDoor{Listener: inner, slots: slots, config: config, ready: make(chan net.Conn),
		done: make(chan struct{})}
	go d.serve()
	return d
}

func (d *httpDoor) serve() {
	backoff := 5 * time.Millisecond
	for {
		conn, err := d.Listener.Accept()
		if err != nil {
			select {
			case <-d.done:
				return
			default:
			}
			// Out of descriptors, most likely: wait, as the node's door does.
			time.Sleep(backoff)
			if backoff < time.Second {
				backoff *= 2
			}
			continue
		}
		backoff = 5 * time.Millisecond
		go d.handshake(d.slots.admit(conn))
	}
}

func (d *httpDoor) handshake(h *handshake) {
	err := startsWithin(h.conn, helloTimeout)
	var remote *tls.Conn
	if err == nil {
		remote = tls.Server(h.conn, d.config)
		ctx, cancel := context.WithTimeout(context.Background(), handshakeTimeout)
		err = remote.HandshakeContext(ctx)
		cancel()
	}
	if evicted := d.slots.release(h); err != nil || evicted {
		// Plain HTTP sent to this HTTPS port gets a word of why, as Go's own
		// HTTPS server gives it.
		var header tls.RecordHeaderError
		if errors.As(err, &header) && header.Conn != nil && looksLikeHTTP(header.RecordHeader[:]) {
			header.Conn.SetWriteDeadline(time.Now().Add(time.Second))
			io.WriteString(header.Conn, "HTTP/1.0 400 Bad Request\r\nContent-Type: application/json\r\n\r\n"+
				`{"error": "this node's API takes HTTPS: use an https:// address"}`+"\n")
		}
		h.conn.Close()
		return
	}
	select {
	case d.ready <- remote:
	case <-d.done:
		remote.Close()
	}
}

func looksLikeHTTP(record []byte) bool {
	for _, method := range []string{"GET /", "HEAD ", "POST ", "PUT /", "OPTIO"} {
		if string(record) == method {
			return true
		}
	}
	return false
}

func (d *httpDoor) Accept() (net.Conn, error) {
	select {
	case conn := <-d.ready:
		return conn, nil
	case <-d.done:
		return nil, net.ErrClosed
	}
}

func (d *httpDoor) Close() error {
	err := errors.New("already closed")
	d.closing.Do(func() {
		close(d.done)
		err = d.Listener.Close()
	})
	return err
}
