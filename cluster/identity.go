// SPDX-License-Identifier: MIT

package main

// Which cluster is which. dqlite gives every cluster's first node the same
// ID, so a node started afresh at an old address looks, to everyone, like
// the node that was there: a wiped first node started with its first
// command bootstraps a second cluster at the same address, and clients
// and joining nodes reach it without a word. So each cluster keeps an
// identity, a random ID written once into a replicated table, and every
// node keeps the ID of its cluster in its folder:
//
//   - a node checks, each time it starts, that the cluster it is in has
//     the ID its folder names, and stops if not;
//   - a node joining afresh refuses a cluster that already has a node at
//     its address (its folder was lost: remove that node first), one whose
//     --join nodes answer for different clusters, and, given --cluster-id,
//     any other cluster;
//   - a client given --cluster-id refuses any other cluster before it
//     sends anything.

import (
	"context"
	"crypto/rand"
	"database/sql"
	"encoding/hex"
	"errors"
	"fmt"
	"log"
	"os"
	"path/filepath"
	"strings"
	"time"

	"github.com/canonical/go-dqlite/app"
	"github.com/canonical/go-dqlite/client"
)

const (
	// dqlite 1.11 opens an existing database for any name that is a prefix
	// of that database's name ("geo" opens "geodesy-cluster" once that
	// exists), so this name starts where users' names do not.
	identityDatabase = "_geodesy-node-identity"
	identityFile     = "cluster-id"
)

func newClusterID() string {
	var b [16]byte
	if _, err := rand.Read(b[:]); err != nil {
		panic(err)
	}
	return hex.EncodeToString(b[:])
}

// clusterIdentity reads the cluster's ID through db, first writing a new
// one if the cluster has none yet (the first node to ask writes it).
func clusterIdentity(ctx context.Context, db *sql.DB) (string, error) {
	if _, err := db.ExecContext(ctx, "CREATE TABLE IF NOT EXISTS identity(id TEXT NOT NULL)"); err != nil {
		return "", err
	}
	if _, err := db.ExecContext(ctx, "INSERT INTO identity(id) SELECT ? WHERE NOT EXISTS (SELECT 1 FROM identity)",
		newClusterID()); err != nil {
		return "", err
	}
	var id string
	err := db.QueryRowContext(ctx, "SELECT id FROM identity ORDER BY rowid LIMIT 1").Scan(&id)
	return id, err
}

// checkOwnCluster runs once the node is ready: it learns the cluster's ID
// and compares it with the one in the node's folder, writing it there the
// first time. It returns the ID, or an error when the node is in a
// cluster other than its folder's.
func checkOwnCluster(ctx context.Context, node *app.App, dir string, logger *log.Logger) (string, error) {
	var id string
	for {
		attempt, cancel := context.WithTimeout(ctx, 5*time.Second)
		db, err := node.Open(attempt, identityDatabase)
		if err == nil {
			id, err = clusterIdentity(attempt, db)
			db.Close()
		}
		cancel()
		if err == nil {
			break
		}
		if ctx.Err() != nil {
			return "", fmt.Errorf("could not read the cluster's identity: %v", err)
		}
		time.Sleep(time.Second)
	}
	path := filepath.Join(dir, identityFile)
	kept, err := os.ReadFile(path)
	switch {
	case errors.Is(err, os.ErrNotExist):
		if err := os.WriteFile(path, []byte(id+"\n"), 0o600); err != nil {
			return id, err
		}
	case err != nil:
		return id, err
	case strings.TrimSpace(string(kept)) != id:
		return id, fmt.Errorf("this node's folder belongs to cluster %s, but the cluster it is in now is %s: "+
			"stopping. A node of another cluster was probably started at an address of this one "+
			"(docs/cluster.md, \"Which cluster is which\")", strings.TrimSpace(string(kept)), id)
	}
	logger.Printf("cluster id %s", id)
	return id, nil
}

// checkBeforeJoining runs before a node with an empty folder joins the
// cluster at join: it asks those nodes who they are, and refuses when
// joining would go wrong.
func checkBeforeJoining(ctx context.Context, address string, join []string, want string,
	dial client.DialFunc) error {
	answers := make([]answer, len(join))
	done := make(chan struct{}, len(join))
	for i, a := range join {
		go func(i int, a string) {
			answers[i] = ask(ctx, a, dial)
			done <- struct{}{}
		}(i, a)
	}
	for range join {
		<-done
	}
	leaders := map[string]bool{}
	for _, a := range answers {
		if a.err != nil {
			continue
		}
		for _, n := range a.nodes {
			if n.Address == address {
				return fmt.Errorf("the cluster at %s already has a node at %s (id %d, %s), and this node's "+
					"folder is empty: its folder was lost or wiped, so it cannot come back as that node. "+
					"Remove it first (geodesy-node remove --cluster %s ... %d), then start this node again "+
					"(docs/cluster.md, \"A node that lost its disk\")",
					a.address, address, n.ID, roleName(n.Role), strings.Join(join, ","), n.ID)
			}
		}
		if a.leader != nil && a.leader.ID != 0 {
			leaders[a.leader.Address] = true
		}
	}
	ids := map[string]string{} // ID -> a leader that answered for it
	for leader := range leaders {
		id, err := readIdentity(ctx, leader, dial)
		if err != nil {
			continue
		}
		ids[id] = leader
	}
	if len(ids) > 1 {
		var which []string
		for id, leader := range ids {
			which = append(which, fmt.Sprintf("%s (led by %s)", id, leader))
		}
		return fmt.Errorf("the nodes given to --join belong to different clusters: %s. Give only nodes of "+
			"the cluster to join", strings.Join(which, ", "))
	}
	if want != "" {
		for id, leader := range ids {
			if id != want {
				return fmt.Errorf("the cluster at %s is %s, not --cluster-id %s", leader, id, want)
			}
		}
		if len(ids) == 0 {
			return fmt.Errorf("could not read the identity of the cluster at %s to check --cluster-id",
				strings.Join(join, ","))
		}
	}
	return nil
}

// readIdentity reads the cluster's ID from the leader at address, without
// writing one.
func readIdentity(ctx context.Context, leader string, dial client.DialFunc) (string, error) {
	conn, err := open(ctx, leader, []string{leader}, dial, identityDatabase)
	if err != nil {
		return "", err
	}
	defer conn.Close()
	var id string
	err = conn.QueryRowContext(ctx, "SELECT id FROM identity ORDER BY rowid LIMIT 1").Scan(&id)
	return id, err
}

// checkIdentity refuses, before anything is sent, a cluster whose ID is
// not want (when want is given).
func checkIdentity(ctx context.Context, want, leader string, addresses []string, dial client.DialFunc) error {
	if want == "" {
		return nil
	}
	id, err := readIdentity(ctx, leader, dial)
	if err != nil {
		return &outcomeError{exitCluster, fmt.Sprintf("could not read the identity of the cluster led by %s "+
			"to check --cluster-id (%v); nothing was sent", leader, err)}
	}
	if id != want {
		return &outcomeError{exitCluster, fmt.Sprintf("the nodes at %s are cluster %s, not --cluster-id %s; "+
			"nothing was sent", strings.Join(addresses, ","), id, want)}
	}
	return nil
}
