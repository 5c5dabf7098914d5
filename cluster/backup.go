// SPDX-License-Identifier: MIT

package main

// geodesy-node backup: an online, consistent copy of one database of the
// cluster, as one SQLite file that any sqlite3 opens. The leader hands
// over its database file and write-ahead log as they stand (dqlite's dump,
// taken while the cluster keeps serving); they are put side by side in a
// private temporary folder, and SQLite itself folds them into the target
// with VACUUM INTO, in rollback-journal mode. The target is never
// overwritten, and a failed copy leaves no file behind.

/*
#cgo LDFLAGS: -lsqlite3
#include <sqlite3.h>
#include <stdlib.h>

// Copies the database at source (with its -wal beside it) into target;
// 0 and no message on success, else SQLite's code and *message (freed by
// the caller with sqlite3_free).
static int geodesy_vacuum_into(const char *source, const char *target, char **message) {
	sqlite3 *db = NULL;
	*message = NULL;
	int rc = sqlite3_open_v2(source, &db, SQLITE_OPEN_READWRITE, NULL);
	if (rc == SQLITE_OK) {
		char *sql = sqlite3_mprintf("VACUUM INTO %Q", target);
		rc = sql ? sqlite3_exec(db, sql, NULL, NULL, message) : SQLITE_NOMEM;
		sqlite3_free(sql);
	} else if (db) {
		*message = sqlite3_mprintf("%s", sqlite3_errmsg(db));
	}
	sqlite3_close(db);
	if (rc != SQLITE_OK) return rc;
	// A copy of a WAL database says WAL in its header; a file to keep and
	// hand around is better in rollback-journal mode.
	rc = sqlite3_open_v2(target, &db, SQLITE_OPEN_READWRITE, NULL);
	if (rc == SQLITE_OK) rc = sqlite3_exec(db, "PRAGMA journal_mode=DELETE", NULL, NULL, message);
	sqlite3_close(db);
	return rc;
}
*/
import "C"

import (
	"context"
	"errors"
	"fmt"
	"os"
	"path/filepath"
	"sync/atomic"
	"unsafe"

	"github.com/canonical/go-dqlite/client"
)

func runBackup(args []string) int {
	var o clientOptions
	flags := newCommand("backup", "DATABASE FILE",
		"Writes an online, consistent copy of DATABASE to FILE, a new SQLite file; the cluster\n"+
			"keeps serving meanwhile. FILE must not exist. docs/cluster.md says how to restore it.", &o)
	dial, ok := o.parse(flags, args)
	if !ok {
		return exitUsage
	}
	if flags.NArg() != 2 {
		return usageError("backup", "give a DATABASE and the FILE to write")
	}
	database, target := flags.Arg(0), flags.Arg(1)
	if _, err := os.Stat(target); !errors.Is(err, os.ErrNotExist) {
		return usageError("backup", fmt.Sprintf("%s exists already: give a new file", target))
	}
	return o.run("backup", func(ctx context.Context, stage *atomic.Value) error {
		leader, _, err := findLeader(ctx, o.addresses(), dial, o.tlsCert != "")
		if err != nil {
			return err
		}
		if err := checkIdentity(ctx, o.clusterID, leader, o.addresses(), dial); err != nil {
			return err
		}
		stage.Store("copying " + database + " from the leader at " + leader)
		cli, err := client.New(ctx, leader, client.WithDialFunc(dial), client.WithLogFunc(quiet))
		if err != nil {
			return &outcomeError{exitCluster, fmt.Sprintf("the leader at %s: %v; nothing was written", leader, err)}
		}
		defer cli.Close()
		files, err := cli.Dump(ctx, database)
		if err != nil {
			return &outcomeError{exitCluster, fmt.Sprintf("the leader at %s could not copy %s: %v; nothing "+
				"was written", leader, database, err)}
		}
		stage.Store("writing " + target)
		return writeBackup(files, database, target)
	})
}

// writeBackup folds the dumped database file and its log into target.
func writeBackup(files []client.File, database, target string) error {
	folder, err := os.MkdirTemp("", "geodesy-backup-")
	if err != nil {
		return err
	}
	defer os.RemoveAll(folder)
	found := false
	for _, f := range files {
		name := filepath.Base(f.Name)
		if name == database {
			found = true
		}
		if err := os.WriteFile(filepath.Join(folder, name), f.Data, 0o600); err != nil {
			return err
		}
	}
	if !found {
		return &outcomeError{exitSQL, fmt.Sprintf("the cluster has no database %q; nothing was written", database)}
	}
	source := C.CString(filepath.Join(folder, database))
	defer C.free(unsafe.Pointer(source))
	into := C.CString(target)
	defer C.free(unsafe.Pointer(into))
	var message *C.char
	if rc := C.geodesy_vacuum_into(source, into, &message); rc != C.SQLITE_OK {
		text := C.GoString(message)
		C.sqlite3_free(unsafe.Pointer(message))
		os.Remove(target)
		return &outcomeError{exitSQL, fmt.Sprintf("writing %s: %s (SQLite code %d); nothing was written", target, text, int(rc))}
	}
	fmt.Printf("wrote %s: a copy of %s\n", target, database)
	return nil
}
