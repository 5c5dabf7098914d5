// SPDX-License-Identifier: MIT
// Compiles the functions' C++ sources into this crate, with the project's
// floating-point flags: -ffp-contract=off keeps every result bit (without
// it GCC fuses a*b+c into one multiply-add on aarch64). The published
// crate carries the sources in csrc/; built inside the project's tree, it
// takes them from the tree.
use std::path::{Path, PathBuf};

fn main() {
    let here = PathBuf::from(std::env::var("CARGO_MANIFEST_DIR").unwrap());
    let packed = here.join("csrc");
    let root = if packed.is_dir() { packed } else { here.join("../..") };
    let sources = [
        "geodesy/direct.cpp",
        "geodesy/inverse.cpp",
        "extension/extension.cpp",
        "extension/direct_functions.cpp",
        "extension/inverse_functions.cpp",
        "extension/builtin_routines.cpp",
    ];
    let mut build = cc::Build::new();
    build
        .cpp(true)
        .include(&root)
        .define("GEODESY_STATIC_LINK", None)
        // Each extension defines sqlite3_api; this one's gets a name of its own.
        .define("sqlite3_api", "sqlite3_geodesy_api")
        .flag("-std=c++17")
        .flag("-ffp-contract=off")
        .flag("-fno-math-errno")
        .flag("-fno-exceptions")
        .flag("-fno-rtti")
        .flag("-fvisibility=hidden")
        .warnings(false);
    if std::env::var("CARGO_CFG_TARGET_ARCH").as_deref() == Ok("x86") {
        build.flag("-msse2").flag("-mfpmath=sse");
    }
    for source in sources {
        let path = root.join(source);
        println!("cargo:rerun-if-changed={}", path.display());
        build.file(path);
    }
    for header in ["geodesy/direct.h", "geodesy/direct_impl.h", "geodesy/inverse.h", "geodesy/inverse_impl.h",
                   "geodesy/ellipsoid.h", "extension/functions.h", "extension/sqlite3_geodesy.h"] {
        println!("cargo:rerun-if-changed={}", Path::new(&root).join(header).display());
    }
    build.compile("sqlite_geodesy");
}
