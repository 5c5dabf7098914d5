#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Builds the release artefacts from modules that the CMake builds made and
the tests checked (make dist and make package run this):

    dist.py --version V --out DIR [--linux-x86_64 geodesy.so]
            [--linux-aarch64 geodesy.so] [--windows-x86_64 geodesy.dll]
            [--linux-x86-64-static libgeodesy.a] [--linux-aarch64-static libgeodesy.a]
            [--sqlite-headers DIR]
            [--wasm-npm sqlite-geodesy-wasm-V.tgz] [--only deb|wheel|npm|gem|jar|crate]

writes into DIR, for each module given:
    libsqlite3-mod-geodesy_V_amd64.deb                  (linux-x86_64)
    libsqlite3-mod-geodesy-dev_V_amd64.deb              (the static kit, linux-x86_64)
    sqlite_geodesy-V-py3-none-manylinux_2_17_<arch>.whl (each linux module)
    sqlite_utils_geodesy-V-py3-none-any.whl             (the sqlite-utils plugin, with the wheels)
    sqlite-geodesy-V-<platform>.tar.gz / .zip           (each module; the static kit
                                                         beside the Linux ones)
    sqlite-geodesy-V.tgz                                (npm, all modules)
    sqlite-geodesy-wasm-V.tgz                           (npm, WebAssembly; as make wasm packed it)
    sqlite-geodesy-go-V.zip                             (the Go module's zip, as a Go proxy serves it)
    sqlite_geodesy-V-<arch>-linux.gem                   (Ruby, each linux module)
    sqlite-geodesy-V.jar, sqlite-geodesy-V.pom          (Java, all modules; its Maven project file)
    sqlite-geodesy-V.crate                              (Rust: sources, compiled by its build.rs)
and SHA256SUMS over everything in DIR. With --only, just that kind of
artefact, for the modules given, and no SHA256SUMS.

Every artefact is the same, byte for byte, each time it is built from the
same modules: every timestamp is SOURCE_DATE_EPOCH (make sets it to the
last commit's time), entries are sorted, owners are root and modes are
fixed, and no path of the build machine goes in.
"""
import argparse
import gzip
import hashlib
import html
import json
import os
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile
import time
import zipfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), os.pardir))
HERE = os.path.join(ROOT, "packaging")
PACKAGE = "libsqlite3-mod-geodesy"
# The sqlite-jdbc the jar is built and tested against (Debian 12's).
SQLITE_JDBC = "3.40.1.0"
PROJECT_JSON = os.path.join(HERE, "project.json")
with open(PROJECT_JSON, encoding="utf-8") as _f:
    PROJECT = json.load(_f)  # where the project lives: every package's links
PLATFORMS = {  # --option: (archive suffix, wheel platform, npm folder, Debian arch)
    "linux_x86_64": ("linux-x86_64", "manylinux_2_17_x86_64", "linux-x64", "amd64"),
    "linux_aarch64": ("linux-aarch64", "manylinux_2_17_aarch64", "linux-arm64", None),
    "windows_x86_64": ("windows-x86_64", None, "win32-x64", None),
}


def fail(artefact, message):
    sys.exit(f"dist: {artefact}: {message}")


def source_date_epoch():
    value = os.environ.get("SOURCE_DATE_EPOCH", "")
    if not value.isdigit():
        sys.exit("dist: set SOURCE_DATE_EPOCH to the time of the last commit "
                 "(make does: git log -1 --format=%ct)")
    return int(value)


EPOCH = source_date_epoch()


def is_module(name):
    return name.endswith((".so", ".dll", ".dylib"))


def settle(stage):
    """Fixed modes (modules 755, other files 644, folders 755) and every
    timestamp at SOURCE_DATE_EPOCH, whatever the umask and the clock."""
    for dirpath, _, filenames in os.walk(stage):
        os.chmod(dirpath, 0o755)
        for name in filenames:
            path = os.path.join(dirpath, name)
            os.chmod(path, 0o755 if is_module(name) else 0o644)
            os.utime(path, (EPOCH, EPOCH))
        os.utime(dirpath, (EPOCH, EPOCH))


def docs():
    """(source, path inside a package) of LICENSE, README.md, docs/ and the
    recipes' SQL files that docs/recipes.md links to."""
    files = [("LICENSE", "LICENSE"), ("README.md", "README.md")]
    for name in sorted(os.listdir(os.path.join(ROOT, "docs"))):
        files.append((os.path.join("docs", name), f"docs/{name}"))
    for name in sorted(os.listdir(os.path.join(ROOT, "examples", "recipes"))):
        if name.endswith(".sql"):
            files.append((os.path.join("examples", "recipes", name), f"examples/recipes/{name}"))
    return [(os.path.join(ROOT, src), dst) for src, dst in files]


def copy(src, dst, mode=0o644):
    os.makedirs(os.path.dirname(dst), exist_ok=True)
    shutil.copyfile(src, dst)
    os.chmod(dst, mode)


def pkg_config(version, prefix, libdir, includedir):
    """sqlite-geodesy.pc for the static kit, from the template make install uses."""
    with open(os.path.join(HERE, "sqlite-geodesy.pc.in"), encoding="utf-8") as f:
        text = f.read()
    text = re.sub(r"^prefix=.*$", f"prefix={prefix}", text, flags=re.M)
    return (text.replace("${prefix}/@CMAKE_INSTALL_LIBDIR@", libdir)
            .replace("${prefix}/@CMAKE_INSTALL_INCLUDEDIR@", includedir)
            .replace("@PROJECT_VERSION@", version))


def static_kit(version, static, stage, libdir, includedir, pc):
    """libgeodesy.a, its header and its pkg-config file, as (source, path) pairs
    with the .pc written into stage."""
    pc_file = os.path.join(stage, "sqlite-geodesy.pc")
    with open(pc_file, "w", encoding="utf-8") as f:
        f.write(pc)
    return [(static, f"{libdir}/libgeodesy.a"),
            (os.path.join(ROOT, "extension", "sqlite3_geodesy.h"), f"{includedir}/sqlite3_geodesy.h"),
            (pc_file, f"{libdir}/pkgconfig/sqlite-geodesy.pc")]


def archive(version, platform, module, out, static=None):
    top = f"sqlite-geodesy-{version}-{platform}"
    files = [(module, os.path.basename(module))] + docs()
    stage = tempfile.mkdtemp()
    if static:  # laid out as a prefix: PKG_CONFIG_PATH=<folder>/lib/pkgconfig
        files += static_kit(version, static, stage, "lib", "include",
                            pkg_config(version, "${pcfiledir}/../..", "${prefix}/lib", "${prefix}/include"))
    files.sort(key=lambda f: f[1])
    if platform.startswith("windows"):
        path = os.path.join(out, top + ".zip")
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
            for src, dst in files:
                info = zipfile.ZipInfo(f"{top}/{dst}", time.gmtime(EPOCH)[:6])
                info.compress_type = zipfile.ZIP_DEFLATED
                info.create_system = 3  # Unix, so that the modes below count
                info.external_attr = (0o100755 if is_module(dst) else 0o100644) << 16
                with open(src, "rb") as f:
                    z.writestr(info, f.read())
    else:
        path = os.path.join(out, top + ".tar.gz")
        with open(path, "wb") as raw, \
                gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=EPOCH) as gz, \
                tarfile.open(fileobj=gz, mode="w", format=tarfile.GNU_FORMAT) as t:
            for src, dst in files:
                info = tarfile.TarInfo(f"{top}/{dst}")
                info.size = os.path.getsize(src)
                info.mtime = EPOCH
                info.mode = 0o755 if is_module(dst) else 0o644
                info.uid = info.gid = 0
                info.uname = info.gname = "root"
                with open(src, "rb") as f:
                    t.addfile(info, f)
    shutil.rmtree(stage)
    return path


def glibc_floor(module):
    """The highest GLIBC_x.y symbol version the module needs."""
    out = subprocess.run(["readelf", "--dyn-syms", "-W", module], capture_output=True,
                         text=True, check=True).stdout
    versions = {tuple(map(int, v.split("."))) for v in re.findall(r"@GLIBC_([0-9.]+)", out)}
    return ".".join(map(str, max(versions))) if versions else None


def deb(version, module, out, static=None):
    """The module's package; with static, the static kit's -dev package instead."""
    package = f"{PACKAGE}-dev" if static else PACKAGE
    artefact = f"{package}_{version}_amd64.deb"
    stage = tempfile.mkdtemp()
    doc = os.path.join(stage, "usr/share/doc", package)
    if static:
        kit = tempfile.mkdtemp()
        for src, dst in static_kit(version, static, kit, "usr/lib/x86_64-linux-gnu", "usr/include",
                                   pkg_config(version, "/usr", "${prefix}/lib/x86_64-linux-gnu",
                                              "${prefix}/include")):
            copy(src, os.path.join(stage, dst))
        shutil.rmtree(kit)
    else:
        copy(module, os.path.join(stage, "usr/lib/x86_64-linux-gnu/geodesy.so"))
        for src, dst in docs():
            if dst != "LICENSE":  # Debian keeps the licence in copyright
                copy(src, os.path.join(doc, dst))
    copy(os.path.join(HERE, "debian/copyright"), os.path.join(doc, "copyright"))
    with open(os.path.join(HERE, "debian/changelog"), encoding="utf-8") as f:
        changelog = (f.read().replace("@VERSION@", version)
                     .replace("@MAINTAINER@", f"{PROJECT['author']} <{PROJECT['email']}>").encode())
    with gzip.GzipFile(os.path.join(doc, "changelog.gz"), "wb", 9, mtime=0) as f:
        f.write(changelog)
    os.chmod(os.path.join(doc, "changelog.gz"), 0o644)
    if not static:
        copy(os.path.join(HERE, "debian/lintian-overrides"),
             os.path.join(stage, "usr/share/lintian/overrides", PACKAGE))

    size = 0
    sums = []
    for dirpath, dirnames, filenames in os.walk(stage):
        for name in sorted(filenames):
            path = os.path.join(dirpath, name)
            size += os.path.getsize(path)
            with open(path, "rb") as f:
                sums.append(f"{hashlib.md5(f.read()).hexdigest()}  {os.path.relpath(path, stage)}\n")
    floor = glibc_floor(module)
    if not floor:
        fail(artefact, f"{module} needs no GLIBC symbol version; is it the right file?")
    control_in = "debian/control-dev.in" if static else "debian/control.in"
    with open(os.path.join(HERE, control_in), encoding="utf-8") as f:
        control = (f.read().replace("@VERSION@", version).replace("@ARCH@", "amd64")
                   .replace("@SIZE@", str((size + 1023) // 1024))
                   .replace("@DEPENDS@", f"libc6 (>= {floor})")
                   .replace("@MAINTAINER@", f"{PROJECT['author']} <{PROJECT['email']}>")
                   .replace("@HOMEPAGE@", PROJECT["homepage"]))
    os.makedirs(os.path.join(stage, "DEBIAN"))
    with open(os.path.join(stage, "DEBIAN/control"), "w", encoding="utf-8") as f:
        f.write(control)
    with open(os.path.join(stage, "DEBIAN/md5sums"), "w", encoding="utf-8") as f:
        f.writelines(sorted(sums))
    settle(stage)
    path = os.path.join(out, artefact)
    # One compressor thread: xz splits its output differently with more.
    run = subprocess.run(["dpkg-deb", "--root-owner-group", "--threads-max=1", "--build", stage, path],
                         capture_output=True, text=True)
    if run.returncode:
        fail(artefact, run.stderr)
    shutil.rmtree(stage)
    return path


def wheel(version, platform, module, out):
    stage = tempfile.mkdtemp()
    shutil.copytree(os.path.join(HERE, "python"), stage, dirs_exist_ok=True)
    copy(os.path.join(ROOT, "LICENSE"), os.path.join(stage, "LICENSE"))
    copy(PROJECT_JSON, os.path.join(stage, "project.json"))
    copy(module, os.path.join(stage, "sqlite_geodesy", os.path.basename(module)), 0o755)
    settle(stage)
    env = dict(os.environ, GEODESY_VERSION=version, GEODESY_WHEEL_PLATFORM=platform,
               SOURCE_DATE_EPOCH=str(EPOCH))
    run = subprocess.run([sys.executable, "-m", "build", "--wheel", "--no-isolation",
                          "--outdir", out, stage], capture_output=True, text=True, env=env)
    if run.returncode:
        fail(f"wheel for {platform}", run.stdout[-2000:] + run.stderr[-2000:])
    shutil.rmtree(stage)
    return os.path.join(out, f"sqlite_geodesy-{version}-py3-none-{platform}.whl")


def plugin(version, out):
    """The sqlite-utils plugin: pure Python, needing the wheel of the same version."""
    stage = tempfile.mkdtemp()
    shutil.copytree(os.path.join(HERE, "sqlite-utils"), stage, dirs_exist_ok=True)
    copy(os.path.join(ROOT, "LICENSE"), os.path.join(stage, "LICENSE"))
    copy(PROJECT_JSON, os.path.join(stage, "project.json"))
    settle(stage)
    env = dict(os.environ, GEODESY_VERSION=version, SOURCE_DATE_EPOCH=str(EPOCH))
    run = subprocess.run([sys.executable, "-m", "build", "--wheel", "--no-isolation",
                          "--outdir", out, stage], capture_output=True, text=True, env=env)
    if run.returncode:
        fail("sqlite-utils plugin", run.stdout[-2000:] + run.stderr[-2000:])
    shutil.rmtree(stage)
    return os.path.join(out, f"sqlite_utils_geodesy-{version}-py3-none-any.whl")


def gem(version, platform, module, out):
    """The Ruby gem for one platform, with that platform's module inside."""
    stage = tempfile.mkdtemp()
    for name in ("sqlite_geodesy.gemspec", "README.md", "lib/sqlite_geodesy.rb"):
        copy(os.path.join(HERE, "ruby", name), os.path.join(stage, name))
    copy(os.path.join(ROOT, "LICENSE"), os.path.join(stage, "LICENSE"))
    copy(PROJECT_JSON, os.path.join(stage, "project.json"))
    copy(module, os.path.join(stage, "lib/sqlite_geodesy/geodesy.so"), 0o755)
    with open(os.path.join(stage, "lib/sqlite_geodesy/version.rb"), "w", encoding="utf-8") as f:
        f.write("# frozen_string_literal: true\n\nmodule SqliteGeodesy\n"
                f"  VERSION = \"{version}\"\nend\n")
    settle(stage)
    artefact = os.path.join(out, f"sqlite_geodesy-{version}-{platform}.gem")
    env = dict(os.environ, GEODESY_GEM_PLATFORM=platform, SOURCE_DATE_EPOCH=str(EPOCH))
    run = subprocess.run(["gem", "build", "sqlite_geodesy.gemspec", "--output", artefact], cwd=stage,
                         capture_output=True, text=True, env=env)
    if run.returncode:
        fail(f"gem for {platform}", run.stdout[-2000:] + run.stderr[-2000:])
    shutil.rmtree(stage)
    return artefact


def crate(version, sqlite_headers, out):
    """The Rust crate as cargo package makes it: packaging/rust with the
    sources its build.rs compiles, and SQLite's two headers, in csrc/."""
    stage = tempfile.mkdtemp()
    package = os.path.join(stage, "sqlite-geodesy")
    shutil.copytree(os.path.join(HERE, "rust"), package,
                    ignore=shutil.ignore_patterns("Cargo.lock", "target"))
    copy(os.path.join(ROOT, "LICENSE"), os.path.join(package, "LICENSE"))
    for folder in ("geodesy", "extension"):
        for name in os.listdir(os.path.join(ROOT, folder)):
            if name.endswith((".cpp", ".h")):
                copy(os.path.join(ROOT, folder, name), os.path.join(package, "csrc", folder, name))
    for name in ("sqlite3.h", "sqlite3ext.h"):
        copy(os.path.join(sqlite_headers, name), os.path.join(package, "csrc", name))
    manifest = os.path.join(package, "Cargo.toml")
    with open(manifest, encoding="utf-8") as f:
        text = re.sub(r'^version = "[^"]*".*$', f'version = "{version}"', f.read(), count=1, flags=re.M)
    text = text.replace('\nreadme = ', f'\nhomepage = "{PROJECT["homepage"]}"\n'
                        f'repository = "{PROJECT["repository"]}"\nreadme = ', 1)
    with open(manifest, "w", encoding="utf-8") as f:
        f.write(text)
    settle(stage)
    home = os.path.join(stage, "cargo-home")
    os.makedirs(home)
    with open(os.path.join(home, "config.toml"), "w", encoding="utf-8") as f:
        f.write('[source.crates-io]\nreplace-with = "debian"\n[source.debian]\n'
                'directory = "/usr/share/cargo/registry"\n[net]\noffline = true\n')
    env = dict(os.environ, CARGO_HOME=home, CARGO_TARGET_DIR=os.path.join(stage, "target"),
               PATH="/usr/bin:" + os.environ.get("PATH", ""))
    run = subprocess.run(["cargo", "package", "--no-verify", "--offline"], cwd=package,
                         capture_output=True, text=True, env=env)
    if run.returncode:
        fail("crate", run.stderr[-2000:])
    artefact = os.path.join(out, f"sqlite-geodesy-{version}.crate")
    shutil.copyfile(os.path.join(stage, "target", "package", f"sqlite-geodesy-{version}.crate"), artefact)
    shutil.rmtree(stage)
    return artefact


def pom(version):
    """The jar's Maven project file, as a Maven repository serves it beside
    the jar and as the jar carries it under META-INF/maven/."""
    p = {k: html.escape(v) for k, v in PROJECT.items()}
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<project xmlns="http://maven.apache.org/POM/4.0.0" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"
         xsi:schemaLocation="http://maven.apache.org/POM/4.0.0 https://maven.apache.org/xsd/maven-4.0.0.xsd">
  <modelVersion>4.0.0</modelVersion>
  <groupId>{p["maven_group"]}</groupId>
  <artifactId>sqlite-geodesy</artifactId>
  <version>{version}</version>
  <packaging>jar</packaging>
  <name>sqlite-geodesy</name>
  <description>Geodesics on the Earth's ellipsoid (Vincenty) as SQLite functions for xerial's sqlite-jdbc: distance, azimut_start, azimut_end, project_lat and project_lon in SQL</description>
  <url>{p["homepage"]}</url>
  <licenses>
    <license>
      <name>MIT License</name>
      <url>https://opensource.org/licenses/MIT</url>
      <distribution>repo</distribution>
    </license>
  </licenses>
  <developers>
    <developer>
      <name>{p["author"]}</name>
      <email>{p["email"]}</email>
    </developer>
  </developers>
  <scm>
    <url>{p["repository"]}</url>
    <connection>scm:git:{p["repository"]}.git</connection>
  </scm>
  <issueManagement>
    <url>{p["issues"]}</url>
  </issueManagement>
  <dependencies>
    <dependency>
      <groupId>org.xerial</groupId>
      <artifactId>sqlite-jdbc</artifactId>
      <version>{SQLITE_JDBC}</version>
    </dependency>
  </dependencies>
</project>
"""


def jar(version, modules, out):
    """The Java jar: SqliteGeodesy compiled for Java 8, and each module given
    under io/sqlitegeodesy/<platform>/; and its Maven project file beside it."""
    stage = tempfile.mkdtemp()
    classes = os.path.join(stage, "classes")
    run = subprocess.run(["javac", "--release", "8", "-encoding", "UTF-8", "-d", classes,
                          "-cp", "/usr/share/java/sqlite-jdbc.jar",
                          os.path.join(HERE, "java/src/io/sqlitegeodesy/SqliteGeodesy.java")],
                         capture_output=True, text=True)
    if run.returncode:
        fail("jar", run.stderr)
    for folder, module in modules:
        copy(module, os.path.join(classes, "io/sqlitegeodesy", folder, os.path.basename(module)), 0o755)
    copy(os.path.join(ROOT, "LICENSE"), os.path.join(classes, "META-INF/LICENSE"))
    maven = os.path.join(classes, "META-INF/maven", PROJECT["maven_group"], "sqlite-geodesy")
    os.makedirs(maven)
    with open(os.path.join(maven, "pom.xml"), "w", encoding="utf-8") as f:
        f.write(pom(version))
    with open(os.path.join(maven, "pom.properties"), "w", encoding="utf-8") as f:
        f.write(f"artifactId=sqlite-geodesy\ngroupId={PROJECT['maven_group']}\nversion={version}\n")
    manifest = (f"Manifest-Version: 1.0\r\nAutomatic-Module-Name: io.sqlitegeodesy\r\n"
                f"Implementation-Title: sqlite-geodesy\r\nImplementation-Version: {version}\r\n\r\n")
    files = []
    for dirpath, _, filenames in os.walk(classes):
        files += [os.path.relpath(os.path.join(dirpath, name), classes) for name in filenames]
    # A jar is a zip whose manifest comes first; the rest in a fixed order.
    artefact = os.path.join(out, f"sqlite-geodesy-{version}.jar")
    with zipfile.ZipFile(artefact, "w", zipfile.ZIP_DEFLATED) as z:
        entries = [("META-INF/MANIFEST.MF", manifest.encode())]
        for name in sorted(files):
            with open(os.path.join(classes, name), "rb") as f:
                entries.append((name.replace(os.sep, "/"), f.read()))
        for name, data in entries:
            info = zipfile.ZipInfo(name, time.gmtime(max(EPOCH, 315532802))[:6])
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3
            info.external_attr = (0o100755 if is_module(name) else 0o100644) << 16
            z.writestr(info, data)
    shutil.rmtree(stage)
    project_file = os.path.join(out, f"sqlite-geodesy-{version}.pom")
    with open(project_file, "w", encoding="utf-8") as f:
        f.write(pom(version))
    return [artefact, project_file]


def npm(version, modules, out):
    stage = tempfile.mkdtemp()
    for name in ("index.js", "index.d.ts"):
        copy(os.path.join(HERE, "npm", name), os.path.join(stage, name))
    for name in ("LICENSE", "README.md"):
        copy(os.path.join(ROOT, name), os.path.join(stage, name))
    with open(os.path.join(HERE, "npm/package.json.in"), encoding="utf-8") as f:
        manifest = (f.read().replace("@VERSION@", version).replace("@HOMEPAGE@", PROJECT["homepage"])
                    .replace("@REPOSITORY@", PROJECT["repository"]).replace("@ISSUES@", PROJECT["issues"]))
    with open(os.path.join(stage, "package.json"), "w", encoding="utf-8") as f:
        f.write(manifest)
    for folder, module in modules:
        copy(module, os.path.join(stage, "lib", folder, os.path.basename(module)), 0o755)
    settle(stage)
    run = subprocess.run(["npm", "pack", "--pack-destination", out], cwd=stage,
                         capture_output=True, text=True)
    if run.returncode:
        fail("npm package", run.stderr)
    shutil.rmtree(stage)
    return os.path.join(out, f"sqlite-geodesy-{version}.tgz")


def go_module(version, sqlite_headers, out):
    """The Go module (packaging/go) as a module zip: its files, the sources
    its cgo compiles (geodesy/, extension/), and SQLite's two headers, so
    that it builds without the system's; every path under module@vVERSION/."""
    with open(os.path.join(HERE, "go", "go.mod"), encoding="utf-8") as f:
        path = re.search(r"^module (\S+)$", f.read(), re.M).group(1)
    if path != PROJECT["go_module"]:
        fail("Go module", f"packaging/go/go.mod names {path}, packaging/project.json {PROJECT['go_module']}")
    files = [(os.path.join(HERE, "go", name), name) for name in os.listdir(os.path.join(HERE, "go"))]
    files.append((os.path.join(ROOT, "LICENSE"), "LICENSE"))
    for folder in ("geodesy", "extension"):
        for name in os.listdir(os.path.join(ROOT, folder)):
            if name.endswith((".cpp", ".h")):
                files.append((os.path.join(ROOT, folder, name), f"{folder}/{name}"))
    for name in ("sqlite3.h", "sqlite3ext.h"):
        files.append((os.path.join(sqlite_headers, name), name))
    artefact = os.path.join(out, f"sqlite-geodesy-go-{version}.zip")
    with zipfile.ZipFile(artefact, "w", zipfile.ZIP_DEFLATED) as z:
        for src, dst in sorted(files, key=lambda f: f[1]):
            info = zipfile.ZipInfo(f"{path}@v{version}/{dst}", time.gmtime(EPOCH)[:6])
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3
            info.external_attr = 0o100644 << 16
            with open(src, "rb") as f:
                z.writestr(info, f.read())
    return artefact


def checksums(out):
    lines = []
    for name in sorted(os.listdir(out)):
        if name == "SHA256SUMS":
            continue
        with open(os.path.join(out, name), "rb") as f:
            lines.append(f"{hashlib.sha256(f.read()).hexdigest()}  {name}\n")
    with open(os.path.join(out, "SHA256SUMS"), "w", encoding="utf-8") as f:
        f.writelines(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--version", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--only", choices=["deb", "wheel", "npm", "gem", "jar", "crate"])
    parser.add_argument("--wasm-npm", help="the WebAssembly npm package that make wasm packed")
    parser.add_argument("--sqlite-headers", help="the folder of sqlite3.h and sqlite3ext.h for the Go module")
    parser.add_argument("--linux-x86-64-static", dest="static_linux_x86_64",
                        help="libgeodesy.a for the static kit (x86-64 archive and -dev package)")
    parser.add_argument("--linux-aarch64-static", dest="static_linux_aarch64",
                        help="libgeodesy.a for the static kit of the aarch64 archive")
    for option in PLATFORMS:
        parser.add_argument("--" + option.replace("_", "-"), dest=option)
    args = parser.parse_args()
    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)
    modules = {p: os.path.abspath(getattr(args, p)) for p in PLATFORMS if getattr(args, p)}
    for platform, module in modules.items():
        if not os.path.isfile(module):
            fail(PLATFORMS[platform][0], f"the module {module} was not built")

    kits = {}
    for platform in ("linux_x86_64", "linux_aarch64"):
        given = getattr(args, f"static_{platform}")
        if given:
            kits[platform] = os.path.abspath(given)
            if not os.path.isfile(kits[platform]):
                fail(f"static kit for {platform}", f"{kits[platform]} was not built")
    static = kits.get("linux_x86_64")
    made = []
    if "linux_x86_64" in modules and args.only in (None, "deb"):
        made.append(deb(args.version, modules["linux_x86_64"], out))
        if static:
            made.append(deb(args.version, modules["linux_x86_64"], out, static))
    for platform, module in modules.items():
        suffix, wheel_platform, _, _ = PLATFORMS[platform]
        if args.only is None:
            made.append(archive(args.version, suffix, module, out, kits.get(platform)))
        if wheel_platform and args.only in (None, "wheel"):
            made.append(wheel(args.version, wheel_platform, module, out))
        if platform.startswith("linux") and args.only in (None, "gem"):
            made.append(gem(args.version, platform.replace("linux_", "") + "-linux", module, out))
    if any(PLATFORMS[p][1] for p in modules) and args.only in (None, "wheel"):
        made.append(plugin(args.version, out))
    if args.only in (None, "jar"):
        made.extend(jar(args.version, [(PLATFORMS[p][0], m) for p, m in modules.items()], out))
    if args.only in (None, "npm"):
        made.append(npm(args.version, [(PLATFORMS[p][2], m) for p, m in modules.items()], out))
    if args.sqlite_headers and args.only in (None, "crate"):
        made.append(crate(args.version, os.path.abspath(args.sqlite_headers), out))
    if args.only is None:
        if args.wasm_npm:
            name = f"sqlite-geodesy-wasm-{args.version}.tgz"
            if os.path.basename(args.wasm_npm) != name:
                fail(name, f"--wasm-npm names {args.wasm_npm}, not version {args.version}'s tarball")
            made.append(os.path.join(out, name))
            shutil.copyfile(args.wasm_npm, made[-1])
        if args.sqlite_headers:
            made.append(go_module(args.version, os.path.abspath(args.sqlite_headers), out))
        checksums(out)
    for path in made:
        print(os.path.relpath(path, ROOT))


if __name__ == "__main__":
    main()
