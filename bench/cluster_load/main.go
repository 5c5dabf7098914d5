// SPDX-License-Identifier: MIT

// cluster_load: many clients at once on a geodesy-node cluster, each with
// a connection of its own kept open (as an application's pool keeps them):
// writers that insert one row per statement, and readers that ask for all
// five functions, each as fast as it is answered, for a given time
// (bench/cluster_load.py runs it):
//
//	cluster_load --cluster A,B,C --tls-cert C --tls-key K --tls-ca CA --writers N --readers M --seconds S
//
// With --http URL[,URL...] the clients use the nodes' HTTP API instead
// (client i the URL i modulo their number), each over one kept-alive
// HTTPS connection with the client certificate, as an HTTP client pool
// would: the same statements, as rqlite's JSON.
//
// A statement refused with "database is locked" is retried as geodesy-node
// sql retries it (10 ms, doubling to 500 ms, for up to 10 s) and counted.
// Prints one line of JSON: writes and reads per second, their p50 and p99
// in milliseconds (from the first try to the answer), lock retries, and
// errors with the first few messages.
package main

import (
	"bytes"
	"context"
	"crypto/tls"
	"crypto/x509"
	"database/sql"
	"encoding/json"
	"errors"
	"flag"
	"fmt"
	"net/http"
	"os"
	"sort"
	"strings"
	"sync"
	"time"

	"github.com/canonical/go-dqlite/app"
	"github.com/canonical/go-dqlite/client"
	"github.com/canonical/go-dqlite/driver"
)

const read = "SELECT distance(?, 0, 40.6413, -73.7781), azimut_start(?, 0, 40.6413, -73.7781), " +
	"azimut_end(?, 0, 40.6413, -73.7781), project_lat(?, 0, 45, 1e6), project_lon(?, 0, 45, 1e6)"

type result struct {
	write   bool
	latency time.Duration
	retries int
	err     error
}

func main() {
	cluster := flag.String("cluster", "", "the nodes' addresses, comma-separated")
	cert := flag.String("tls-cert", "", "client certificate")
	key := flag.String("tls-key", "", "client key")
	ca := flag.String("tls-ca", "", "the cluster's CA")
	writers := flag.Int("writers", 1, "writing clients, each with one connection")
	readers := flag.Int("readers", 0, "reading clients, each with one connection")
	seconds := flag.Float64("seconds", 10, "how long they run")
	database := flag.String("database", "load", "the database")
	apis := flag.String("http", "", "the nodes' HTTP APIs, comma-separated: use them instead of dqlite's protocol")
	flag.Parse()
	if *apis != "" {
		runHTTP(strings.Split(*apis, ","), *cert, *key, *ca, *writers, *readers, *seconds)
		return
	}
	dial := client.DefaultDialFunc
	if *cert != "" {
		config, err := dialConfig(*cert, *key, *ca)
		if err != nil {
			fail(err)
		}
		dial = client.DialFuncWithTLS(dial, config)
	}
	store := client.NewInmemNodeStore()
	var nodes []client.NodeInfo
	for _, address := range strings.Split(*cluster, ",") {
		nodes = append(nodes, client.NodeInfo{Address: address})
	}
	store.Set(context.Background(), nodes)
	drv, err := driver.New(store, driver.WithDialFunc(dial), driver.WithLogFunc(func(client.LogLevel, string, ...interface{}) {}))
	if err != nil {
		fail(err)
	}
	sql.Register("dqlite-load", drv)

	setup, err := sql.Open("dqlite-load", *database)
	if err != nil {
		fail(err)
	}
	if _, err := setup.Exec("CREATE TABLE IF NOT EXISTS load(client INTEGER, n INTEGER, at REAL)"); err != nil {
		fail(err)
	}
	setup.Close()

	// Every client connects first; then they start together.
	dbs := make([]*sql.DB, *writers+*readers)
	for i := range dbs {
		if dbs[i], err = sql.Open("dqlite-load", *database); err != nil {
			fail(err)
		}
		dbs[i].SetMaxOpenConns(1)
		if err := dbs[i].Ping(); err != nil {
			fail(fmt.Errorf("client %d: %v", i, err))
		}
	}
	collect(len(dbs), *writers, *readers, *seconds, func(i, n int) result {
		return run(dbs[i], i < *writers, i, n)
	})
	for _, db := range dbs {
		db.Close()
	}
}

// run does one write or read, retrying "database is locked".
func run(db *sql.DB, write bool, client, n int) result {
	r := result{write: write}
	started := time.Now()
	backoff := 10 * time.Millisecond
	for {
		ctx, cancel := context.WithTimeout(context.Background(), 10*time.Second)
		if write {
			_, r.err = db.ExecContext(ctx, "INSERT INTO load VALUES (?, ?, ?)", client, n, float64(n)/7)
		} else {
			var v [5]float64
			r.err = db.QueryRowContext(ctx, read, n%90, n%90, n%90, n%90, n%90).Scan(&v[0], &v[1], &v[2], &v[3], &v[4])
		}
		cancel()
		var sqlite driver.Error
		if r.err != nil && errors.As(r.err, &sqlite) && sqlite.Code&0xff == driver.ErrBusy &&
			time.Since(started) < 10*time.Second {
			r.retries++
			time.Sleep(backoff)
			if backoff < 500*time.Millisecond {
				backoff *= 2
			}
			continue
		}
		r.latency = time.Since(started)
		return r
	}
}

// collect runs the clients together until the time is up and reports.
func collect(clients, writers, readers int, seconds float64, one func(i, n int) result) {
	results := make(chan result, 1<<16)
	var all []result
	collected := make(chan struct{})
	go func() {
		for r := range results {
			all = append(all, r)
		}
		close(collected)
	}()
	start := time.Now()
	until := start.Add(time.Duration(seconds * float64(time.Second)))
	var wg sync.WaitGroup
	for i := 0; i < clients; i++ {
		wg.Add(1)
		go func(i int) {
			defer wg.Done()
			for n := 0; time.Now().Before(until); n++ {
				results <- one(i, n)
			}
		}(i)
	}
	wg.Wait()
	elapsed := time.Since(start).Seconds()
	close(results)
	<-collected
	report(all, writers, readers, elapsed)
}

func runHTTP(apis []string, cert, key, ca string, writers, readers int, seconds float64) {
	config, err := dialConfig(cert, key, ca)
	if err != nil {
		fail(err)
	}
	clients := make([]*http.Client, writers+readers)
	for i := range clients {
		transport := &http.Transport{TLSClientConfig: config.Clone(), MaxConnsPerHost: 1, MaxIdleConnsPerHost: 1}
		clients[i] = &http.Client{Transport: transport, Timeout: 30 * time.Second}
	}
	post := func(c *http.Client, url, path string, statements []interface{}) error {
		body, _ := json.Marshal(statements)
		response, err := c.Post(url+path, "application/json", bytes.NewReader(body))
		if err != nil {
			return err
		}
		defer response.Body.Close()
		var answer struct {
			Results []struct {
				Error string `json:"error"`
			} `json:"results"`
			Error string `json:"error"`
		}
		if err := json.NewDecoder(response.Body).Decode(&answer); err != nil {
			return fmt.Errorf("HTTP %d: %v", response.StatusCode, err)
		}
		if response.StatusCode != http.StatusOK || answer.Error != "" {
			return fmt.Errorf("HTTP %d: %s", response.StatusCode, answer.Error)
		}
		for _, r := range answer.Results {
			if r.Error != "" {
				return errors.New(r.Error)
			}
		}
		return nil
	}
	if err := post(clients[0], apis[0], "/db/execute", []interface{}{
		"CREATE TABLE IF NOT EXISTS load(client INTEGER, n INTEGER, at REAL)"}); err != nil {
		fail(err)
	}
	collect(len(clients), writers, readers, seconds, func(i, n int) result {
		r := result{write: i < writers}
		started := time.Now()
		url := apis[i%len(apis)]
		if r.write {
			r.err = post(clients[i], url, "/db/execute", []interface{}{
				[]interface{}{"INSERT INTO load VALUES (?, ?, ?)", i, n, float64(n) / 7}})
		} else {
			lat := n % 90
			r.err = post(clients[i], url, "/db/query", []interface{}{
				[]interface{}{read, lat, lat, lat, lat, lat}})
		}
		r.latency = time.Since(started)
		return r
	})
}

func report(all []result, writers, readers int, seconds float64) {
	out := map[string]interface{}{"writers": writers, "readers": readers, "seconds": seconds}
	retries, errs := 0, []string{}
	for _, kind := range []string{"write", "read"} {
		var ms []float64
		for _, r := range all {
			if r.write != (kind == "write") {
				continue
			}
			retries += r.retries
			if r.err != nil {
				if len(errs) < 3 {
					errs = append(errs, r.err.Error())
				}
				out["errors"] = toInt(out["errors"]) + 1
				continue
			}
			ms = append(ms, float64(r.latency.Microseconds())/1000)
		}
		sort.Float64s(ms)
		out[kind+"s_per_second"] = float64(len(ms)) / seconds
		out[kind+"_p50_ms"] = quantile(ms, 0.5)
		out[kind+"_p99_ms"] = quantile(ms, 0.99)
	}
	out["lock_retries"] = retries
	out["first_errors"] = errs
	if out["errors"] == nil {
		out["errors"] = 0
	}
	json.NewEncoder(os.Stdout).Encode(out)
}

func toInt(v interface{}) int {
	if n, ok := v.(int); ok {
		return n
	}
	return 0
}

func quantile(sorted []float64, q float64) float64 {
	if len(sorted) == 0 {
		return 0
	}
	return sorted[int(q*float64(len(sorted)-1))]
}

func dialConfig(cert, key, ca string) (*tls.Config, error) {
	pair, err := tls.LoadX509KeyPair(cert, key)
	if err != nil {
		return nil, err
	}
	pem, err := os.ReadFile(ca)
	if err != nil {
		return nil, err
	}
	pool := x509.NewCertPool()
	if !pool.AppendCertsFromPEM(pem) {
		return nil, fmt.Errorf("no PEM certificate in %s", ca)
	}
	_, dial := app.SimpleTLSConfig(pair, pool)
	return dial, nil
}

func fail(err error) {
	fmt.Fprintln(os.Stderr, "cluster_load:", err)
	os.Exit(1)
}
