# SPDX-License-Identifier: MIT
"""Builds the sqlite-utils-geodesy wheel, a plugin for sqlite-utils (make
dist runs this through python3 -m build). The version comes from the
environment that make dist sets (GEODESY_VERSION), and the plugin needs
the sqlite-geodesy wheel of the same version. The project's links come
from project.json, which make dist copies beside this file.
"""
import json
import os

from setuptools import setup

version = os.environ["GEODESY_VERSION"]
with open("project.json", encoding="utf-8") as f:
    project = json.load(f)

setup(
    name="sqlite-utils-geodesy",
    version=version,
    description="sqlite-utils plugin: geodesics on the Earth's ellipsoid (Vincenty) as SQL functions",
    long_description=open("README.md", encoding="utf-8").read(),
    long_description_content_type="text/markdown",
    url=project["homepage"],
    project_urls={"Source": project["repository"], "Issues": project["issues"]},
    author=project["author"],
    author_email=project["email"],
    license="MIT",
    license_files=["LICENSE"],
    python_requires=">=3.8",
    py_modules=["sqlite_utils_geodesy"],
    install_requires=[f"sqlite-geodesy=={version}", "sqlite-utils"],
    entry_points={"sqlite_utils": ["geodesy = sqlite_utils_geodesy"]},
    classifiers=[
        "License :: OSI Approved :: MIT License",
        "Programming Language :: Python :: 3",
        "Topic :: Database",
        "Topic :: Scientific/Engineering :: GIS",
    ],
)
