module sqlite-geodesy.invalid/go

go 1.19

require github.com/mattn/go-sqlite3 v1.14.16
