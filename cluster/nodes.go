// SPDX-License-Identifier: MIT

package main

// geodesy-node nodes: every node of the cluster as the leader knows it,
// with its role and whether it answers now. geodesy-node remove: takes a
// dead node out of the cluster, so that a node that lost its folder can
// join afresh, or so that the voters' majority is counted without it.
// Both use the client's flags, timeouts and exit codes.

import (
	"context"
	"encoding/json"
	"fmt"
	"os"
	"strconv"
	"sync/atomic"

	"github.com/canonical/go-dqlite/client"
)

// A node as the leader's configuration has it, and what it answered.
type nodeStatus struct {
	ID        uint64 `json:"id"`
	Address   string `json:"address"`
	Role      string `json:"role"`
	Leader    bool   `json:"leader"`
	Reachable bool   `json:"reachable"`
	Error     string `json:"error,omitempty"`
}

// clusterNodes finds the leader and asks every node of its configuration,
// at once, who leads.
func clusterNodes(ctx context.Context, o clientOptions, dial client.DialFunc) ([]nodeStatus, error) {
	leader, _, err := findLeader(ctx, o.addresses(), dial, o.tlsCert != "")
	if err != nil {
		return nil, err
	}
	if err := checkIdentity(ctx, o.clusterID, leader, o.addresses(), dial); err != nil {
		return nil, err
	}
	cli, err := client.New(ctx, leader, client.WithDialFunc(dial), client.WithLogFunc(quiet))
	if err != nil {
		return nil, &outcomeError{exitCluster, fmt.Sprintf("the leader at %s: %v", leader, err)}
	}
	defer cli.Close()
	infos, err := cli.Cluster(ctx)
	if err != nil {
		return nil, &outcomeError{exitCluster, fmt.Sprintf("the leader at %s: %v", leader, err)}
	}
	statuses := make([]nodeStatus, len(infos))
	done := make(chan struct{}, len(infos))
	for i, info := range infos {
		statuses[i] = nodeStatus{ID: info.ID, Address: info.Address, Role: roleName(info.Role),
			Leader: info.Address == leader}
		go func(s *nodeStatus) {
			err := reachable(ctx, s.Address, dial)
			s.Reachable = err == nil
			if err != nil {
				s.Error = err.Error()
			}
			done <- struct{}{}
		}(&statuses[i])
	}
	for range infos {
		<-done
	}
	return statuses, nil
}

func runNodes(args []string) int {
	var o clientOptions
	var format string
	flags := newCommand("nodes", "[--format table|json]",
		"Lists every node of the cluster with its role, whether it leads and whether it answers.\n"+
			"Exits 0 when every voter answers, 5 when some voter does not.", &o)
	flags.StringVar(&format, "format", "table", "table or json")
	dial, ok := o.parse(flags, args)
	if !ok {
		return exitUsage
	}
	if format != "table" && format != "json" {
		return usageError("nodes", fmt.Sprintf("--format must be table or json, not %q", format))
	}
	code := exitOK
	status := o.run("nodes", func(ctx context.Context, stage *atomic.Value) error {
		nodes, err := clusterNodes(ctx, o, dial)
		if err != nil {
			return err
		}
		if format == "json" {
			out, _ := json.MarshalIndent(nodes, "", "  ")
			fmt.Println(string(out))
		} else {
			table := make([][]interface{}, len(nodes))
			for i, n := range nodes {
				reachable := "yes"
				if !n.Reachable {
					reachable = "no: " + n.Error
				}
				table[i] = []interface{}{strconv.FormatUint(n.ID, 10), n.Address, n.Role, yesNo(n.Leader), reachable}
			}
			newPrinter(os.Stdout, "table").rows([]string{"id", "address", "role", "leader", "reachable"}, table)
		}
		for _, n := range nodes {
			if n.Role == "voter" && !n.Reachable {
				code = exitDegraded
			}
		}
		return nil
	})
	if status != exitOK {
		return status
	}
	return code
}

func yesNo(b bool) string {
	if b {
		return "yes"
	}
	return "no"
}

func runRemove(args []string) int {
	var o clientOptions
	var force bool
	flags := newCommand("remove", "[--force] NODE-ID|HOST:PORT",
		"Takes a node out of the cluster: one that is dead, or whose folder was lost. A node\n"+
			"that still answers is refused unless --force: stop it first (SIGTERM hands its role\n"+
			"over). The leader cannot be removed: stop it, and another node leads.", &o)
	flags.BoolVar(&force, "force", false, "remove the node even though it answers")
	dial, ok := o.parse(flags, args)
	if !ok {
		return exitUsage
	}
	if flags.NArg() != 1 {
		return usageError("remove", "give one node, by its ID or its address")
	}
	which := flags.Arg(0)
	return o.run("remove", func(ctx context.Context, stage *atomic.Value) error {
		nodes, err := clusterNodes(ctx, o, dial)
		if err != nil {
			return err
		}
		var target, leader *nodeStatus
		for i := range nodes {
			if strconv.FormatUint(nodes[i].ID, 10) == which || nodes[i].Address == which {
				target = &nodes[i]
			}
			if nodes[i].Leader {
				leader = &nodes[i]
			}
		}
		switch {
		case target == nil:
			return &outcomeError{exitSQL, fmt.Sprintf("the cluster has no node %s; nothing was changed", which)}
		case target.Leader:
			return &outcomeError{exitSQL, fmt.Sprintf("%s (%d) leads the cluster and cannot be removed: stop "+
				"it (SIGTERM hands leadership over), then remove it; nothing was changed", target.Address, target.ID)}
		case target.Reachable && !force:
			return &outcomeError{exitSQL, fmt.Sprintf("%s (%d) answers: stop it first, or give --force; "+
				"nothing was changed", target.Address, target.ID)}
		}
		stage.Store(fmt.Sprintf("removing %s (%d)", target.Address, target.ID))
		cli, err := client.New(ctx, leader.Address, client.WithDialFunc(dial), client.WithLogFunc(quiet))
		if err != nil {
			return &outcomeError{exitCluster, fmt.Sprintf("the leader at %s: %v; nothing was changed", leader.Address, err)}
		}
		defer cli.Close()
		if err := cli.Remove(ctx, target.ID); err != nil {
			return &outcomeError{exitUnknown, fmt.Sprintf("removing %s (%d) failed: %v. It may or may not "+
				"have been removed: geodesy-node nodes shows which", target.Address, target.ID, err)}
		}
		fmt.Printf("removed %s (%d, %s)\n", target.Address, target.ID, target.Role)
		return nil
	})
}
