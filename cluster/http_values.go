// SPDX-License-Identifier: MIT

package main

// Values as the HTTP API writes them in JSON: REALs with 17 significant
// digits (and a ".0" when they have no point), so that every reader gets
// back the same bits; INTEGERs to all 64 bits; BLOBs in base64, as rqlite
// writes them; infinities as 1e999 and -1e999, which JSON has no word for
// but every common parser reads as one.

import (
	"bytes"
	"encoding/base64"
	"encoding/json"
	"strconv"
	"strings"
	"time"
)

func appendJSONValue(out *bytes.Buffer, v interface{}) {
	switch v := v.(type) {
	case nil:
		out.WriteString("null")
	case float64:
		out.WriteString(jsonValue(v))
	case int64:
		out.WriteString(strconv.FormatInt(v, 10))
	case bool: // a column declared BOOLEAN: SQLite keeps 0 or 1
		if v {
			out.WriteString("1")
		} else {
			out.WriteString("0")
		}
	case []byte:
		appendJSONString(out, base64.StdEncoding.EncodeToString(v))
	case string:
		appendJSONString(out, v)
	case time.Time: // a column declared DATETIME, DATE or TIMESTAMP
		appendJSONString(out, v.Format("2006-01-02 15:04:05.999999999-07:00"))
	default:
		appendJSONString(out, "unsupported value")
	}
}

func appendJSONString(out *bytes.Buffer, s string) {
	encoded, _ := json.Marshal(s) // a string always encodes
	out.Write(encoded)
}

// columnType names a column's type as rqlite does: in lower case, "real"
// for dqlite's FLOAT.
func columnType(name string) string {
	name = strings.ToLower(name)
	if name == "float" {
		return "real"
	}
	return name
}
