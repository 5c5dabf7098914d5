// SPDX-License-Identifier: MIT

package main

// The data folder's disk, watched because dqlite cannot write its Raft log
// once the disk is full: a write then fails on the leader after it may
// have been replicated, and the node stops.

import (
	"io/fs"
	"path/filepath"
	"syscall"
)

// Below this much free space the node says it is unhealthy: a few of
// dqlite's 8 MiB log segments.
const minDiskFree = 32 << 20

// Below this much free space the disk counts as full: dqlite preallocates
// its log in segments of 8 MiB, so with less than one segment free its
// next allocation fails, and the log writer with it, even while some
// space is left. The node stops once there is room again.
const diskFull = 8 << 20

func diskFree(dir string) (uint64, error) {
	var s syscall.Statfs_t
	if err := syscall.Statfs(dir, &s); err != nil {
		return 0, err
	}
	return s.Bavail * uint64(s.Bsize), nil
}

func folderBytes(dir string) int64 {
	var total int64
	filepath.WalkDir(dir, func(_ string, d fs.DirEntry, err error) error {
		if err == nil && !d.IsDir() {
			if info, err := d.Info(); err == nil {
				total += info.Size()
			}
		}
		return nil
	})
	return total
}
