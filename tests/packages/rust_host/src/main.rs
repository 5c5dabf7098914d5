// SPDX-License-Identifier: MIT
// A Rust program using the crate as its users do (make rust-test), with
// the functions registered by sqlite_geodesy::auto(), or by load() on the
// connection (--load). It answers check_bits.py: per line "inverse|direct
// A B C D" on standard input (each argument the hex bits of a double, or
// i<integer>), the results of the three inverse or the two direct
// functions as hex bits, or NULL.
use rusqlite::types::Value;
use rusqlite::Connection;
use std::io::{BufRead, BufWriter, Write};

fn main() {
    let load = std::env::args().any(|a| a == "--load");
    if !load {
        sqlite_geodesy::auto().unwrap();
    }
    let conn = Connection::open_in_memory().unwrap();
    if load {
        sqlite_geodesy::load(&conn).unwrap();
    }
    let mut inverse = conn
        .prepare("SELECT distance(?1, ?2, ?3, ?4), azimut_start(?1, ?2, ?3, ?4), azimut_end(?1, ?2, ?3, ?4)")
        .unwrap();
    let mut direct = conn.prepare("SELECT project_lat(?1, ?2, ?3, ?4), project_lon(?1, ?2, ?3, ?4)").unwrap();
    let mut out = BufWriter::new(std::io::stdout());
    for line in std::io::stdin().lock().lines() {
        let line = line.unwrap();
        let fields: Vec<&str> = line.split_whitespace().collect();
        let args: Vec<Value> = fields[1..]
            .iter()
            .map(|f| match f.strip_prefix('i') {
                Some(n) => Value::Integer(n.parse().unwrap()),
                None => Value::Real(f64::from_bits(u64::from_str_radix(f, 16).unwrap())),
            })
            .collect();
        let (statement, n) = if fields[0] == "inverse" { (&mut inverse, 3) } else { (&mut direct, 2) };
        let row: Vec<String> = statement
            .query_row(rusqlite::params_from_iter(args), |r| {
                (0..n)
                    .map(|i| {
                        Ok(match r.get::<_, Option<f64>>(i)? {
                            Some(x) => format!("{:016x}", x.to_bits()),
                            None => "NULL".to_string(),
                        })
                    })
                    .collect()
            })
            .unwrap();
        writeln!(out, "{}", row.join(" ")).unwrap();
    }
}
