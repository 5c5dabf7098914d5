// SPDX-License-Identifier: MIT
//! Geodesics on the WGS 84 ellipsoid in SQL, solved with Vincenty's
//! formulae: `distance`, `azimut_start` and `azimut_end` between two
//! points, and `project_lat` and `project_lon` for the point reached from a
//! start point along an azimuth after a distance in metres.
//!
//! The functions are compiled into your program from the crate's C++
//! sources (a C++ compiler is needed), with the same result bits as the
//! loadable module; nothing is loaded at run time.
//!
//! ```
//! let conn = rusqlite::Connection::open_in_memory()?;
//! sqlite_geodesy::load(&conn)?;
//! let metres: f64 = conn.query_row("SELECT distance(0, 0, 0, 1)", [], |row| row.get(0))?;
//! assert_eq!(metres, 111319.49079327343);
//! # Ok::<(), rusqlite::Error>(())
//! ```
//!
//! Compare results as `f64` values in Rust, not as printed text: SQLite's
//! `printf('%.17g')` prints at most 16 significant digits.
use rusqlite::{ffi, Connection};
use std::os::raw::{c_char, c_int, c_void};

extern "C" {
    /// The entry point, SQLite's conventional name for this extension
    /// linked into a program. It registers the five functions on `db`;
    /// `api` may be null (it then calls the SQLite linked beside it), and
    /// it returns `SQLITE_OK`.
    pub fn sqlite3_geodesy_init(db: *mut ffi::sqlite3, err: *mut *mut c_char, api: *const c_void) -> c_int;
}

fn check(rc: c_int, what: &str) -> rusqlite::Result<()> {
    if rc == ffi::SQLITE_OK {
        Ok(())
    } else {
        Err(rusqlite::Error::SqliteFailure(ffi::Error::new(rc), Some(format!("sqlite-geodesy: {what} failed"))))
    }
}

/// Registers the functions on one connection.
pub fn load(conn: &Connection) -> rusqlite::Result<()> {
    // SAFETY: the handle is the open connection's, used on this thread only
    // for the call; the entry point only registers functions on it.
    check(unsafe { sqlite3_geodesy_init(conn.handle(), std::ptr::null_mut(), std::ptr::null()) },
          "registering the functions")
}

/// Registers the functions on every connection opened from now on, in this
/// process (`sqlite3_auto_extension`).
pub fn auto() -> rusqlite::Result<()> {
    // SAFETY: SQLite calls automatic extensions with (db, err, api), the
    // entry point's signature; it takes them as a function of no arguments.
    let entry: unsafe extern "C" fn() = unsafe {
        std::mem::transmute(sqlite3_geodesy_init as unsafe extern "C" fn(_, _, _) -> c_int)
    };
    check(unsafe { ffi::sqlite3_auto_extension(Some(entry)) }, "sqlite3_auto_extension")
}
