// SPDX-License-Identifier: MIT

package main

// Who may use the HTTP API. Over HTTPS a client proves itself with a
// certificate from the cluster's CA (as geodesy-node sql does), which may
// do everything; or, when the node has --http-users, with HTTP basic
// authentication as one of that file's users, who may do what the file's
// permissions say. The file has rqlite's shape:
//
//	[{"username": "app", "password": "$2b$10$...", "perms": ["query", "execute"]},
//	 {"username": "*", "perms": ["status"]}]
//
// Passwords are bcrypt hashes (geodesy-node password makes one); "*"
// gives its permissions to every client, authenticated or not. Without
// TLS the API keeps to loopback, where anyone may reach the dqlite port
// too, and asks nobody.

import (
	"bufio"
	"crypto/sha256"
	"crypto/subtle"
	"encoding/json"
	"fmt"
	"net/http"
	"os"
	"strings"
	"sync"

	"golang.org/x/crypto/bcrypt"
)

// The permissions a users file may give, rqlite's names among them; those
// this API has no endpoint for are accepted so that an rqlite file loads.
var knownPermissions = map[string]bool{
	"all": true, "execute": true, "query": true, "status": true, "ready": true,
	"backup": true, "load": true, "join": true, "join-read-only": true, "remove": true,
}

type httpUser struct {
	name  string
	perms map[string]bool
}

func (u httpUser) may(perm string) bool { return u.perms["all"] || u.perms[perm] }

var everyone = httpUser{name: "this client", perms: map[string]bool{"all": true}}

type userEntry struct {
	Username string   `json:"username"`
	Password string   `json:"password"`
	Perms    []string `json:"perms"`
}

type users struct {
	byName   map[string]userEntry
	anyone   *userEntry // the "*" entry
	mu       sync.Mutex
	verified map[string][32]byte // user -> SHA-256 of the password last verified for them
}

func loadUsers(path string) (*users, error) {
	text, err := os.ReadFile(path)
	if err != nil {
		return nil, fmt.Errorf("--http-users: %v", err)
	}
	var entries []userEntry
	if err := json.Unmarshal(text, &entries); err != nil {
		return nil, fmt.Errorf("--http-users %s: not a JSON array of users: %v", path, err)
	}
	u := &users{byName: map[string]userEntry{}, verified: map[string][32]byte{}}
	for i, e := range entries {
		if e.Username == "" {
			return nil, fmt.Errorf("--http-users %s: user %d has no username", path, i+1)
		}
		for _, p := range e.Perms {
			if !knownPermissions[p] {
				return nil, fmt.Errorf("--http-users %s: %s has permission %q; the permissions are all, "+
					"execute, query, status, ready, backup, load, join, join-read-only and remove", path, e.Username, p)
			}
		}
		if e.Username == "*" {
			entry := e
			u.anyone = &entry
			continue
		}
		if _, err := bcrypt.Cost([]byte(e.Password)); err != nil {
			return nil, fmt.Errorf("--http-users %s: the password of %s is not a bcrypt hash; store hashes, "+
				"made with: geodesy-node password", path, e.Username)
		}
		if _, twice := u.byName[e.Username]; twice {
			return nil, fmt.Errorf("--http-users %s: %s is listed twice", path, e.Username)
		}
		u.byName[e.Username] = e
	}
	return u, nil
}

func permissions(names []string) map[string]bool {
	perms := map[string]bool{}
	for _, p := range names {
		perms[p] = true
	}
	return perms
}

var (
	unknownUserOnce sync.Once
	unknownUserHash []byte
)

// check says whether password is name's. A bcrypt comparison takes tens
// of milliseconds by design, so a password once verified is remembered
// (as its SHA-256) until it changes.
func (u *users) check(name, password string) (httpUser, bool) {
	entry, ok := u.byName[name]
	if !ok {
		// The same work as for a known user, so that timing does not tell
		// which names exist.
		unknownUserOnce.Do(func() { unknownUserHash, _ = bcrypt.GenerateFromPassword([]byte("-"), bcrypt.DefaultCost) })
		bcrypt.CompareHashAndPassword(unknownUserHash, []byte(password))
		return httpUser{}, false
	}
	sum := sha256.Sum256([]byte(password))
	u.mu.Lock()
	known, seen := u.verified[name]
	u.mu.Unlock()
	if !seen || subtle.ConstantTimeCompare(known[:], sum[:]) != 1 {
		if bcrypt.CompareHashAndPassword([]byte(entry.Password), []byte(password)) != nil {
			return httpUser{}, false
		}
		u.mu.Lock()
		u.verified[name] = sum
		u.mu.Unlock()
	}
	return httpUser{name: name, perms: permissions(entry.Perms)}, true
}

// authenticate finds who sent r, or answers 401 and returns false.
func (a *httpAPI) authenticate(w http.ResponseWriter, r *http.Request) (httpUser, bool) {
	if r.TLS == nil {
		if a.withTLS { // never: the door hands the server TLS connections only
			a.refuse(w, http.StatusBadRequest, "this node's API takes HTTPS only")
			return httpUser{}, false
		}
		return everyone, true // loopback without TLS: see above
	}
	if len(r.TLS.PeerCertificates) > 0 { // verified against the CA by the handshake
		return httpUser{name: "certificate " + r.TLS.PeerCertificates[0].Subject.CommonName,
			perms: map[string]bool{"all": true}}, true
	}
	if name, password, given := r.BasicAuth(); given && a.users != nil {
		if user, ok := a.users.check(name, password); ok {
			return user, true
		}
		w.Header().Set("WWW-Authenticate", `Basic realm="geodesy-node"`)
		a.refuse(w, http.StatusUnauthorized, "wrong user name or password")
		return httpUser{}, false
	}
	if a.users != nil && a.users.anyone != nil {
		return httpUser{name: "an unauthenticated client", perms: permissions(a.users.anyone.Perms)}, true
	}
	if a.users != nil {
		w.Header().Set("WWW-Authenticate", `Basic realm="geodesy-node"`)
	}
	how := "a client certificate from the cluster's CA"
	if a.users != nil {
		how += ", or a user name and password (HTTP basic authentication)"
	}
	a.refuse(w, http.StatusUnauthorized, "this node answers only clients that prove who they are: give "+how)
	return httpUser{}, false
}

// runPassword is geodesy-node password: it reads a password from standard
// input and prints its bcrypt hash, for a users file.
func runPassword(args []string) int {
	if len(args) > 0 {
		fmt.Fprintln(os.Stderr, "usage: geodesy-node password < FILE   (reads one line, prints its bcrypt hash)")
		return exitUsage
	}
	line, err := bufio.NewReader(os.Stdin).ReadString('\n')
	password := strings.TrimRight(line, "\r\n")
	if password == "" {
		fmt.Fprintf(os.Stderr, "geodesy-node password: no password on standard input (%v)\n", err)
		return exitUsage
	}
	hash, err := bcrypt.GenerateFromPassword([]byte(password), bcrypt.DefaultCost)
	if err != nil {
		fmt.Fprintf(os.Stderr, "geodesy-node password: %v\n", err)
		return exitUsage
	}
	fmt.Println(string(hash))
	return exitOK
}
