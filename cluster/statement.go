// SPDX-License-Identifier: MIT

package main

// SQL split into statements by SQLite's own rules: a statement ends at a
// semicolon that sqlite3_complete() accepts as its end, so a semicolon
// inside a string literal, a quoted name, a comment or a trigger's body
// does not end it.

/*
#cgo LDFLAGS: -lsqlite3
#include <sqlite3.h>
#include <stdlib.h>
*/
import "C"

import (
	"regexp"
	"strings"
	"unsafe"
)

func complete(sql string) bool {
	text := C.CString(sql)
	defer C.free(unsafe.Pointer(text))
	return C.sqlite3_complete(text) != 0
}

// splitStatements returns the statements of sql, each with its semicolon,
// leaving out those that hold only comments; text after the last complete
// statement is a statement of its own, as in the sqlite3 shell.
func splitStatements(sql string) []string {
	var statements []string
	keep := func(text string) {
		if strings.Trim(stripComments(text), " \t\r\n;") != "" {
			statements = append(statements, strings.TrimSpace(text))
		}
	}
	start := 0
	for i := 0; i < len(sql); i++ {
		if sql[i] == ';' && complete(sql[start:i+1]) {
			keep(sql[start : i+1])
			start = i + 1
		}
	}
	keep(sql[start:])
	return statements
}

// stripComments removes -- and /* */ comments outside string literals and
// quoted names.
func stripComments(sql string) string {
	var out strings.Builder
	for i := 0; i < len(sql); i++ {
		switch c := sql[i]; {
		case c == '\'' || c == '"' || c == '`' || c == '[':
			end := c
			if c == '[' {
				end = ']'
			}
			j := i + 1
			for j < len(sql) && sql[j] != end {
				j++
			}
			if j < len(sql) {
				j++
			}
			out.WriteString(sql[i:j])
			i = j - 1
		case c == '-' && i+1 < len(sql) && sql[i+1] == '-':
			for i < len(sql) && sql[i] != '\n' {
				i++
			}
			out.WriteByte(' ')
		case c == '/' && i+1 < len(sql) && sql[i+1] == '*':
			j := strings.Index(sql[i+2:], "*/")
			if j < 0 {
				i = len(sql)
			} else {
				i += j + 3
			}
			out.WriteByte(' ')
		default:
			out.WriteByte(c)
		}
	}
	return out.String()
}

var (
	writeVerbs = regexp.MustCompile(`(?i)\b(INSERT|UPDATE|DELETE|REPLACE|CREATE|DROP|ALTER|VACUUM|REINDEX|ANALYZE|ATTACH|DETACH|BEGIN|COMMIT|END|ROLLBACK|SAVEPOINT|RELEASE)\b`)
	rowsFirst  = regexp.MustCompile(`(?i)^\s*(SELECT|VALUES|WITH|EXPLAIN|PRAGMA)\b`)
	returning  = regexp.MustCompile(`(?i)\bRETURNING\b`)
)

// A statement writes unless it is a query that only reads: one that starts
// like a query and names no writing verb outside its literals (a WITH
// that ends in an INSERT writes), or a PRAGMA that sets nothing.
func isWrite(statement string) bool {
	code := stripLiterals(stripComments(statement))
	if !rowsFirst.MatchString(code) {
		return true
	}
	if strings.HasPrefix(strings.ToUpper(strings.TrimSpace(code)), "PRAGMA") {
		return strings.Contains(code, "=")
	}
	return writeVerbs.MatchString(code)
}

func givesRows(statement string) bool {
	code := stripLiterals(stripComments(statement))
	if strings.HasPrefix(strings.ToUpper(strings.TrimSpace(code)), "PRAGMA") && strings.Contains(code, "=") {
		return false // a PRAGMA that sets a value returns none
	}
	return rowsFirst.MatchString(code) || returning.MatchString(code)
}

// stripLiterals blanks out string literals and quoted names.
func stripLiterals(sql string) string {
	var out strings.Builder
	for i := 0; i < len(sql); i++ {
		c := sql[i]
		if c != '\'' && c != '"' && c != '`' && c != '[' {
			out.WriteByte(c)
			continue
		}
		end := c
		if c == '[' {
			end = ']'
		}
		for i++; i < len(sql) && sql[i] != end; i++ {
		}
		out.WriteString(" _ ")
	}
	return out.String()
}
