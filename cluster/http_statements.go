// SPDX-License-Identifier: MIT

package main

// The statements of an HTTP request, in rqlite's shape: a JSON array whose
// items are each an SQL string, or an array of the SQL and its parameters,
// either positional values or one object of named ones:
//
//	["CREATE TABLE p(name TEXT, lat REAL)",
//	 ["INSERT INTO p VALUES(?, ?)", "Paris", 48.8566],
//	 ["INSERT INTO p VALUES(:name, :lat)", {"name": "Oslo", "lat": 59.91}]]
//
// dqlite takes parameters by position only, so named ones are put in the
// positions SQLite gives their names (the first of each name takes the
// next free position, ?NNN takes NNN).

import (
	"bytes"
	"encoding/json"
	"errors"
	"fmt"
	"strconv"
	"strings"
)

// dqlite's wire protocol carries at most 255 parameters.
const maxParameters = 255

type httpStatement struct {
	sql  string
	args []interface{} // int64, float64, string, nil: what dqlite's driver sends
}

// parseStatements reads a request body.
func parseStatements(body []byte) ([]httpStatement, error) {
	decoder := json.NewDecoder(bytes.NewReader(body))
	decoder.UseNumber() // integers beyond 2^53 stay exact
	var items []json.RawMessage
	if err := decoder.Decode(&items); err != nil {
		return nil, fmt.Errorf("the body is not a JSON array of statements: %v", err)
	}
	if decoder.More() {
		return nil, errors.New("the body holds more than one JSON value")
	}
	statements := make([]httpStatement, 0, len(items))
	for i, item := range items {
		s, err := parseStatement(item)
		if err != nil {
			return nil, fmt.Errorf("statement %d: %v", i+1, err)
		}
		statements = append(statements, s)
	}
	return statements, nil
}

func parseStatement(item json.RawMessage) (httpStatement, error) {
	decode := func(raw json.RawMessage, into interface{}) error {
		d := json.NewDecoder(bytes.NewReader(raw))
		d.UseNumber()
		return d.Decode(into)
	}
	var sql string
	if err := decode(item, &sql); err == nil {
		return httpStatement{sql: sql}, nil
	}
	var parts []json.RawMessage
	if err := decode(item, &parts); err != nil || len(parts) == 0 {
		return httpStatement{}, errors.New("must be an SQL string, or an array of the SQL and its parameters")
	}
	if err := decode(parts[0], &sql); err != nil {
		return httpStatement{}, errors.New("the first item of its array must be the SQL, as a string")
	}
	s := httpStatement{sql: sql}
	var named map[string]interface{}
	if len(parts) == 2 && bytes.HasPrefix(bytes.TrimSpace(parts[1]), []byte("{")) {
		if err := decode(parts[1], &named); err != nil {
			return s, fmt.Errorf("its named parameters: %v", err)
		}
		positions := parameterPositions(sql)
		if len(positions) > maxParameters {
			return s, fmt.Errorf("more than %d parameters", maxParameters)
		}
		s.args = make([]interface{}, len(positions))
		for i, name := range positions {
			value, ok := named[strings.TrimLeft(name, ":@$")]
			if name == "" || !ok {
				return s, fmt.Errorf("no value for parameter %d (%s)", i+1, orPositional(name))
			}
			if s.args[i], ok = parameterValue(value); !ok {
				return s, fmt.Errorf("parameter %s: %s", name, unsupported)
			}
		}
		return s, nil
	}
	if len(parts)-1 > maxParameters {
		return s, fmt.Errorf("more than %d parameters", maxParameters)
	}
	for i, raw := range parts[1:] {
		var value interface{}
		if err := decode(raw, &value); err != nil {
			return s, err
		}
		v, ok := parameterValue(value)
		if !ok {
			return s, fmt.Errorf("parameter %d: %s", i+1, unsupported)
		}
		s.args = append(s.args, v)
	}
	return s, nil
}

const unsupported = "a parameter must be a number, a string, true, false or null"

func orPositional(name string) string {
	if name == "" {
		return "a ? among named ones"
	}
	return name
}

// parameterValue turns a decoded JSON value into one dqlite sends: numbers
// written as integers stay INTEGERs (to 64 bits), others are REALs.
func parameterValue(v interface{}) (interface{}, bool) {
	switch v := v.(type) {
	case nil:
		return nil, true
	case string:
		return v, true
	case bool:
		if v {
			return int64(1), true
		}
		return int64(0), true
	case json.Number:
		if i, err := strconv.ParseInt(string(v), 10, 64); err == nil {
			return i, true
		}
		f, err := strconv.ParseFloat(string(v), 64)
		return f, err == nil
	}
	return nil, false
}

// parameterPositions lists, by position from 1, the name of each of sql's
// parameters as SQLite numbers them ("" for a position only a ? or ?NNN
// takes), skipping literals, quoted names and comments.
func parameterPositions(sql string) []string {
	var positions []string
	index := map[string]int{}
	take := func(n int, name string) {
		for len(positions) < n {
			positions = append(positions, "")
		}
		if name != "" {
			positions[n-1] = name
		}
	}
	code := stripLiterals(stripComments(sql))
	nameChar := func(c byte) bool {
		return c == '_' || c >= '0' && c <= '9' || c >= 'A' && c <= 'Z' || c >= 'a' && c <= 'z' || c >= 0x80
	}
	for i := 0; i < len(code); i++ {
		switch c := code[i]; {
		case c == '?':
			j := i + 1
			for j < len(code) && code[j] >= '0' && code[j] <= '9' {
				j++
			}
			if j == i+1 {
				take(len(positions)+1, "")
			} else if n, err := strconv.Atoi(code[i+1 : j]); err == nil && n > 0 && n <= 32766 {
				take(n, "")
			}
			i = j - 1
		case (c == ':' || c == '@' || c == '$') && (i == 0 || !nameChar(code[i-1]) && code[i-1] != '$'):
			j := i + 1
			for j < len(code) && nameChar(code[j]) {
				j++
			}
			if j == i+1 {
				continue
			}
			name := code[i:j]
			if _, seen := index[name]; !seen {
				index[name] = len(positions) + 1
				take(len(positions)+1, name)
			}
			i = j - 1
		}
	}
	return positions
}
