# SPDX-License-Identifier: MIT
"""Builds the sqlite-geodesy wheel around a prebuilt module (make dist runs
this through python3 -m build). The module, the platform tag and the version
come from the environment that make dist sets:

    GEODESY_VERSION         the project's version, from CMakeLists.txt
    GEODESY_WHEEL_PLATFORM  e.g. manylinux_2_17_x86_64

The project's links come from project.json, which make dist copies beside
this file.
"""
import json
import os

from setuptools import Distribution, setup
from wheel.bdist_wheel import bdist_wheel


class BinaryDistribution(Distribution):
    """Holds a compiled module, so the wheel is a platform wheel."""

    def has_ext_modules(self):
        return True


class PlatformWheel(bdist_wheel):
    """A wheel for one platform that runs on any Python 3: the module is
    loaded by SQLite, not imported by Python, so it has no Python ABI."""

    def get_tag(self):
        return "py3", "none", os.environ["GEODESY_WHEEL_PLATFORM"]


with open("project.json", encoding="utf-8") as f:
    project = json.load(f)

setup(
    name="sqlite-geodesy",
    version=os.environ["GEODESY_VERSION"],
    description="Geodesics on the Earth's ellipsoid (Vincenty) as SQLite functions",
    long_description=open("README.md", encoding="utf-8").read(),
    long_description_content_type="text/markdown",
    url=project["homepage"],
    project_urls={
        "Source": project["repository"],
        "Issues": project["issues"],
        "Changelog": project["changelog"],
    },
    author=project["author"],
    author_email=project["email"],
    license="MIT",
    license_files=["LICENSE"],
    python_requires=">=3.8",
    packages=["sqlite_geodesy"],
    package_data={"sqlite_geodesy": ["geodesy.so", "geodesy.dll", "geodesy.dylib", "py.typed"]},
    distclass=BinaryDistribution,
    cmdclass={"bdist_wheel": PlatformWheel},
    classifiers=[
        "License :: OSI Approved :: MIT License",
        "Programming Language :: Python :: 3",
        "Topic :: Database",
        "Topic :: Scientific/Engineering :: GIS",
    ],
)
