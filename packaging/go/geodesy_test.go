// SPDX-License-Identifier: MIT

package geodesy

import (
	"database/sql"
	"math"
	"testing"

	"github.com/mattn/go-sqlite3"
)

// One query of each function, through database/sql, for each way of
// registering them. The values are WGS 84 figures checked elsewhere to
// the bit (make go-test runs every bit); here they show the functions
// are registered and answer.
func TestQuery(t *testing.T) {
	sql.Register("sqlite3_geodesy_test", &sqlite3.SQLiteDriver{ConnectHook: ConnectHook})
	defer CancelAuto()
	// The hook first: after Auto every connection has the functions.
	for _, driver := range []string{"sqlite3_geodesy_test", "sqlite3"} {
		if driver == "sqlite3" {
			if err := Auto(); err != nil {
				t.Fatal(err)
			}
		}
		db, err := sql.Open(driver, ":memory:")
		if err != nil {
			t.Fatal(err)
		}
		var distance, start, end, lat, lon float64
		err = db.QueryRow(`SELECT distance(0, 0, 0, 1), azimut_start(0, 0, 0, -1), azimut_end(0, 0, -1, 0),
		                          project_lat(0, 0, 0, 10001965.729), project_lon(0, 20, 45, 0)`).
			Scan(&distance, &start, &end, &lat, &lon)
		if err != nil {
			t.Fatalf("%s: %v", driver, err)
		}
		got := []float64{distance, start, end, lat, lon}
		want := []float64{111319.49079327343, 270, 180, 89.9999999972082, 20}
		for i := range want {
			if math.Abs(got[i]-want[i]) > 1e-12*math.Abs(want[i]) {
				t.Errorf("%s: result %d is %.17g, want %.17g", driver, i, got[i], want[i])
			}
		}
		db.Close()
	}
}

func TestConnectHookWithoutConnection(t *testing.T) {
	if err := ConnectHook(nil); err == nil {
		t.Error("ConnectHook(nil) gave no error")
	}
}
