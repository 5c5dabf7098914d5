// SPDX-License-Identifier: MIT

package main

import (
	"context"
	"errors"
	"os"
	"path/filepath"
	"reflect"
	"strings"
	"sync"
	"testing"
	"time"

	"golang.org/x/crypto/bcrypt"
)

// Named parameters go where SQLite numbers them; dqlite takes positions only.
func TestParameterPositions(t *testing.T) {
	for _, c := range []struct {
		sql  string
		want []string
	}{
		{"SELECT ?, ?", []string{"", ""}},
		{"SELECT :b, :a, :b, @c, $d", []string{":b", ":a", "@c", "$d"}},
		{"SELECT ?3, :x", []string{"", "", "", ":x"}},
		{"SELECT :x, ?1", []string{":x"}},
		{"SELECT ':no', \"@no\", [$no] -- :no\n, :yes /* ? */", []string{":yes"}},
		{"SELECT a$b, :c", []string{":c"}},
	} {
		if got := parameterPositions(c.sql); !reflect.DeepEqual(got, c.want) && !(len(got) == 0 && len(c.want) == 0) {
			t.Errorf("%s: %q, want %q", c.sql, got, c.want)
		}
	}
}

// Bodies as rqlite's clients send them, and what a careless one sends.
func TestParseStatements(t *testing.T) {
	got, err := parseStatements([]byte(`["SELECT 1", ["INSERT INTO t VALUES(?, ?, ?, ?)", 9007199254740993, 0.1, "x", null],
		["INSERT INTO t VALUES(:b, :a, :b)", {"a": 1, "b": true}]]`))
	want := []httpStatement{{sql: "SELECT 1"},
		{sql: "INSERT INTO t VALUES(?, ?, ?, ?)", args: []interface{}{int64(9007199254740993), 0.1, "x", nil}},
		{sql: "INSERT INTO t VALUES(:b, :a, :b)", args: []interface{}{int64(1), int64(1)}}}
	if err != nil || !reflect.DeepEqual(got, want) {
		t.Fatalf("got %#v, %v", got, err)
	}
	for body, reason := range map[string]string{
		`{"q": "SELECT 1"}`:             "not a JSON array",
		`["SELECT 1"] ["SELECT 2"]`:     "more than one JSON value",
		`[1]`:                           "must be an SQL string",
		`[[1, 2]]`:                      "first item of its array must be the SQL",
		`[["SELECT ?", [1]]]`:           "a parameter must be",
		`[["SELECT :a, :b", {"a": 1}]]`: "no value for parameter 2 (:b)",
		`[["SELECT ?, :a", {"a": 1}]]`:  "a ? among named ones",
		`[["SELECT ?", 1e999]]`:         "a parameter must be",
		`[["SELECT 1"` + strings.Repeat(",1", 256) + `]]`: "more than 255 parameters",
	} {
		if _, err := parseStatements([]byte(body)); err == nil || !strings.Contains(err.Error(), reason) {
			t.Errorf("%s: %v, want %q", body, err, reason)
		}
	}
}

// A request's statements run on a pooled connection: one that opened a
// transaction and left it open would hold the database.
func TestControlsTransaction(t *testing.T) {
	for sql, want := range map[string]bool{
		"BEGIN": true, " begin immediate": true, "COMMIT;": true, "end transaction": true, "ROLLBACK TO s": true,
		"SAVEPOINT s": true, "RELEASE s": true, "/* x */ BEGIN": true,
		"SELECT 'BEGIN'": false, "INSERT INTO t VALUES ('COMMIT')": false, "-- BEGIN\nSELECT 1": false, "": false,
	} {
		if got := controlsTransaction(sql); got != want {
			t.Errorf("%q: %v, want %v", sql, got, want)
		}
	}
}

func TestUsers(t *testing.T) {
	hash, _ := bcrypt.GenerateFromPassword([]byte("s3cret"), bcrypt.MinCost)
	dir := t.TempDir()
	write := func(text string) string {
		path := filepath.Join(dir, "users.json")
		os.WriteFile(path, []byte(text), 0o600)
		return path
	}
	u, err := loadUsers(write(`[{"username": "app", "password": "` + string(hash) + `", "perms": ["query"]},
		{"username": "*", "perms": ["status"]}]`))
	if err != nil {
		t.Fatal(err)
	}
	for _, c := range []struct {
		name, password string
		ok, query      bool
	}{{"app", "s3cret", true, true}, {"app", "s3cret", true, true}, {"app", "S3cret", false, false},
		{"nobody", "s3cret", false, false}, {"app", "", false, false}} {
		user, ok := u.check(c.name, c.password)
		if ok != c.ok || user.may("query") != c.query || user.may("execute") {
			t.Errorf("%s/%q: ok %v, may query %v", c.name, c.password, ok, user.may("query"))
		}
	}
	for text, reason := range map[string]string{
		`[{"username": "a", "password": "plain", "perms": ["all"]}]`:                  "not a bcrypt hash",
		`[{"username": "a", "password": "` + string(hash) + `", "perms": ["admin"]}]`: `permission "admin"`,
		`[{"password": "x"}]`: "no username",
		`{"username": "a"}`:   "not a JSON array",
	} {
		if _, err := loadUsers(write(text)); err == nil || !strings.Contains(err.Error(), reason) {
			t.Errorf("%s: %v, want %q", text, err, reason)
		}
	}
}

// A read must not share a barrier write that began before it did; reads
// that arrive while one runs share the next.
func TestReadBarrier(t *testing.T) {
	var mu sync.Mutex
	commits := 0
	release := make(chan struct{})
	b := newReadBarrier(func(context.Context) error {
		mu.Lock()
		commits++
		n := commits
		mu.Unlock()
		if n == 1 {
			<-release
		}
		return nil
	})
	first := make(chan error)
	go func() { first <- b.wait(context.Background()) }()
	for {
		mu.Lock()
		started := commits == 1
		mu.Unlock()
		if started {
			break
		}
		time.Sleep(time.Millisecond)
	}
	later := make(chan error, 3)
	for i := 0; i < 3; i++ {
		go func() { later <- b.wait(context.Background()) }()
	}
	time.Sleep(20 * time.Millisecond)
	close(release)
	<-first
	for i := 0; i < 3; i++ {
		<-later
	}
	if commits != 2 {
		t.Errorf("%d barrier writes, want 2 (the first, then one shared by the three that came during it)", commits)
	}
	ctx, cancel := context.WithCancel(context.Background())
	cancel()
	b2 := newReadBarrier(func(ctx context.Context) error { <-ctx.Done(); return ctx.Err() })
	if err := b2.wait(ctx); !errors.Is(err, context.Canceled) {
		t.Errorf("a cancelled wait returned %v", err)
	}
}
