// SPDX-License-Identifier: MIT
// One query of each function, for each way of registering them; make
// rust-test checks every bit through a program of its own.
use rusqlite::Connection;

fn row(conn: &Connection) -> [f64; 5] {
    conn.query_row(
        "SELECT distance(0, 0, 0, 1), azimut_start(0, 0, 0, -1), azimut_end(0, 0, -1, 0), \
         project_lat(0, 0, 0, 10001965.729), project_lon(0, 20, 45, 0)",
        [],
        |r| Ok([r.get(0)?, r.get(1)?, r.get(2)?, r.get(3)?, r.get(4)?]),
    )
    .unwrap()
}

#[test]
fn load_then_auto() {
    let want = [111319.49079327343, 270.0, 180.0, 89.9999999972082, 20.0];
    let close = |got: [f64; 5]| got.iter().zip(want).all(|(g, w)| (g - w).abs() <= 1e-12 * w.abs());
    let plain = Connection::open_in_memory().unwrap();
    assert!(plain.query_row("SELECT distance(0, 0, 0, 1)", [], |r| r.get::<_, f64>(0)).is_err());
    sqlite_geodesy::load(&plain).unwrap();
    assert!(close(row(&plain)), "{:?}", row(&plain));
    sqlite_geodesy::auto().unwrap();
    let opened = Connection::open_in_memory().unwrap();
    assert!(close(row(&opened)), "{:?}", row(&opened));
}
