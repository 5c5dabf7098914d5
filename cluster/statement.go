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

// What the client must know of a statement before sending it: whether it
// may change the database (so that a failure in flight leaves its outcome
// unknown), and whether it returns rows (so that it goes as a query).
type statementKind struct {
	write bool
	rows  bool
	// refusal, when not empty, says why the statement must not be sent.
	refusal string
}

// dqlite 1.11 replicates only what a statement sent for execution writes:
// a write sent as a query is applied on the leader alone, acknowledged,
// and later lost, and the leader dies on its next write. A statement that
// both writes and returns rows can be sent only as a query, so such a
// statement is refused before anything is sent.
const returningRefusal = "refused: a statement that writes and returns rows " +
	"(RETURNING) would be sent as a query, and this cluster's dqlite (1.11) does not replicate a write " +
	"made by a query, so it would be acknowledged and then lost. Write without RETURNING and read the " +
	"rows back in the same transaction, e.g. BEGIN; INSERT ...; SELECT ... WHERE rowid = " +
	"last_insert_rowid(); COMMIT"

// Pragmas that take an argument in parentheses and only read.
var readingPragmas = map[string]bool{
	"TABLE_INFO": true, "TABLE_XINFO": true, "TABLE_LIST": true, "INDEX_INFO": true, "INDEX_XINFO": true,
	"INDEX_LIST": true, "FOREIGN_KEY_LIST": true, "FOREIGN_KEY_CHECK": true, "INTEGRITY_CHECK": true,
	"QUICK_CHECK": true,
}

// kindOf reads a statement's kind from its text: its leading verb, or for
// WITH the verb that follows the common table expressions. Words inside
// literals, quoted names, comments and parentheses do not count, so a WITH
// whose CTE selects 'INSERT' still reads, and one that ends in an INSERT
// writes.
func kindOf(statement string) statementKind {
	tokens := topLevelTokens(stripLiterals(stripComments(statement)))
	if len(tokens) == 0 {
		return statementKind{write: true}
	}
	verb := tokens[0]
	switch verb {
	case "SELECT", "VALUES", "EXPLAIN":
		return statementKind{rows: true}
	case "PRAGMA":
		// PRAGMA name = value sets; PRAGMA name(value) sets too, except for
		// the pragmas above that take a table or index name and read.
		for i, t := range tokens {
			if t == "=" {
				return statementKind{write: true}
			}
			if t == "(" && i > 0 && !readingPragmas[tokens[i-1]] {
				return statementKind{write: true}
			}
		}
		return statementKind{rows: true}
	case "WITH":
		verb = verbAfterWith(tokens)
		if verb == "SELECT" || verb == "VALUES" {
			return statementKind{rows: true}
		}
	}
	kind := statementKind{write: true}
	switch verb {
	case "INSERT", "REPLACE", "UPDATE", "DELETE":
		for _, t := range tokens {
			if t == "RETURNING" {
				kind.rows = true
				kind.refusal = returningRefusal
			}
		}
	}
	return kind
}

// topLevelTokens returns the words (upper-cased) and the signs "(", ",",
// "=" of code outside parentheses; each parenthesised group is one "(".
func topLevelTokens(code string) []string {
	var tokens []string
	depth := 0
	for i := 0; i < len(code); i++ {
		c := code[i]
		switch {
		case c == '(':
			if depth == 0 {
				tokens = append(tokens, "(")
			}
			depth++
		case c == ')':
			if depth > 0 {
				depth--
			}
		case depth > 0:
		case c == ',' || c == '=':
			tokens = append(tokens, string(c))
		case c == '_' || c >= 'A' && c <= 'Z' || c >= 'a' && c <= 'z':
			j := i
			for j < len(code) && (code[j] == '_' || code[j] == '$' || code[j] >= 'A' && code[j] <= 'Z' ||
				code[j] >= 'a' && code[j] <= 'z' || code[j] >= '0' && code[j] <= '9') {
				j++
			}
			tokens = append(tokens, strings.ToUpper(code[i:j]))
			i = j - 1
		}
	}
	return tokens
}

// verbAfterWith skips WITH [RECURSIVE] name [(columns)] AS [NOT]
// [MATERIALIZED] (body) [, ...] and returns the word that follows.
func verbAfterWith(tokens []string) string {
	i := 1
	if i < len(tokens) && tokens[i] == "RECURSIVE" {
		i++
	}
	for i < len(tokens) {
		i++ // the table's name
		if i < len(tokens) && tokens[i] == "(" {
			i++ // its columns
		}
		if i < len(tokens) && tokens[i] == "AS" {
			i++
		}
		for i < len(tokens) && (tokens[i] == "NOT" || tokens[i] == "MATERIALIZED") {
			i++
		}
		if i < len(tokens) && tokens[i] == "(" {
			i++ // its body
		}
		if i < len(tokens) && tokens[i] == "," {
			i++
			continue
		}
		break
	}
	if i < len(tokens) {
		return tokens[i]
	}
	return ""
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
