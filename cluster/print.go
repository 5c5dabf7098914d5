// SPDX-License-Identifier: MIT

package main

import (
	"encoding/csv"
	"encoding/json"
	"fmt"
	"io"
	"math"
	"strconv"
	"strings"
	"time"
)

// printer writes rows as a table, CSV or JSON. REALs have 17 significant
// digits, so that each reads back to the same bits.
type printer struct {
	w       io.Writer
	format  string
	written bool
}

func newPrinter(w io.Writer, format string) *printer { return &printer{w: w, format: format} }

func formatReal(v float64) string {
	switch {
	case math.IsInf(v, 1):
		return "Inf"
	case math.IsInf(v, -1):
		return "-Inf"
	}
	s := strconv.FormatFloat(v, 'g', 17, 64)
	if !strings.ContainsAny(s, ".eEIN") {
		s += ".0" // a REAL stays one when read back
	}
	return s
}

func text(v interface{}) string {
	switch v := v.(type) {
	case nil:
		return "NULL"
	case float64:
		return formatReal(v)
	case int64:
		return strconv.FormatInt(v, 10)
	case []byte:
		return fmt.Sprintf("X'%X'", v)
	case time.Time:
		return v.Format(time.RFC3339Nano)
	default:
		return fmt.Sprint(v)
	}
}

func (p *printer) rows(columns []string, table [][]interface{}) {
	switch p.format {
	case "csv":
		w := csv.NewWriter(p.w)
		w.Write(columns)
		for _, row := range table {
			record := make([]string, len(row))
			for i, v := range row {
				if v == nil {
					record[i] = ""
				} else {
					record[i] = text(v)
				}
			}
			w.Write(record)
		}
		w.Flush()
	case "json":
		objects := make([]string, len(table))
		for r, row := range table {
			fields := make([]string, len(row))
			for i, v := range row {
				name, _ := json.Marshal(columns[i])
				fields[i] = string(name) + ":" + jsonValue(v)
			}
			objects[r] = "{" + strings.Join(fields, ",") + "}"
		}
		fmt.Fprintf(p.w, "[%s]\n", strings.Join(objects, ",\n "))
	default:
		if p.written {
			fmt.Fprintln(p.w)
		}
		widths := make([]int, len(columns))
		cells := make([][]string, len(table))
		for i, c := range columns {
			widths[i] = len(c)
		}
		for r, row := range table {
			cells[r] = make([]string, len(row))
			for i, v := range row {
				cells[r][i] = text(v)
				if len(cells[r][i]) > widths[i] {
					widths[i] = len(cells[r][i])
				}
			}
		}
		line := func(values []string) {
			padded := make([]string, len(values))
			for i, v := range values {
				padded[i] = v + strings.Repeat(" ", widths[i]-len(v))
			}
			fmt.Fprintln(p.w, strings.TrimRight(strings.Join(padded, "  "), " "))
		}
		line(columns)
		rule := make([]string, len(columns))
		for i := range rule {
			rule[i] = strings.Repeat("-", widths[i])
		}
		line(rule)
		for _, row := range cells {
			line(row)
		}
	}
	p.written = true
}

func jsonValue(v interface{}) string {
	switch v := v.(type) {
	case float64:
		if math.IsInf(v, 0) {
			if v > 0 {
				return "1e999"
			}
			return "-1e999"
		}
		s := strconv.FormatFloat(v, 'g', 17, 64)
		if !strings.ContainsAny(s, ".e") {
			s += ".0"
		}
		return s
	case []byte:
		b, _ := json.Marshal(fmt.Sprintf("%X", v))
		return string(b)
	default:
		b, err := json.Marshal(v)
		if err != nil {
			return "null"
		}
		return string(b)
	}
}
