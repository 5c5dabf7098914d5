// SPDX-License-Identifier: MIT

package main

import "testing"

// The health endpoints name the leader to whoever reaches them: where each
// --health may listen, with and without TLS on the node.
func TestHealthAddress(t *testing.T) {
	for _, c := range []struct {
		address string
		tls     bool
		want    string // "" for a refusal
	}{
		{":9100", false, "127.0.0.1:9100"},
		{"localhost:9100", false, "localhost:9100"},
		{"[::1]:9100", false, "[::1]:9100"},
		{"10.0.0.5:9100", false, ""},
		{"10.0.0.5:9100", true, "10.0.0.5:9100"},
		{"0.0.0.0:9100", true, ""},
		{"[::]:9100", true, ""},
		{"9100", true, ""},
	} {
		got, err := healthAddress(c.address, c.tls)
		if (err == nil) != (c.want != "") || got != c.want {
			t.Errorf("--health %s with TLS %v: %q, %v; want %q", c.address, c.tls, got, err, c.want)
		}
	}
}
