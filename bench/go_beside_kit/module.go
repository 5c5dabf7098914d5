// SPDX-License-Identifier: MIT

//go:build !kit

package main

import geodesy "sqlite-geodesy.invalid/go"

const name = "go-package"

func register() error { return geodesy.Auto() }
