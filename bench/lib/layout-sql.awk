# Prints the CREATE TABLE statement of a record-type table, as the program's schema builds it:
# the fields of the current layout in layout order, then the fields only older layouts have.
# String -> TEXT, Number -> INTEGER, Float -> REAL, Date -> DATE; every column nullable.
#
#   awk -v table=104 -f layout-sql.awk DIF104V2.ini DIF104V1.ini   (current layout first)

function flush(    i) {
    for (i = 1; i <= n; i++) {
        if (!(tolower(name[i]) in seen)) {
            seen[tolower(name[i])] = 1
            cols[++ncols] = name[i]
            types[ncols] = type[i]
        }
    }
    n = 0
    delete name
    delete type
}

FNR == 1 { flush(); section = "" }
{ sub(/\r$/, "") }
/^[ \t]*\[/ {
    section = tolower($0)
    gsub(/[][ \t]/, "", section)
    next
}
section == "records" && /^[0-9][0-9]=/ {
    key = substr($0, 1, 2) + 0
    split(substr($0, 4), item, ",")
    gsub(/^[ \t]+|[ \t]+$/, "", item[1])
    gsub(/^[ \t]+|[ \t]+$/, "", item[2])
    name[key] = item[1]
    type[key] = item[2]
    if (key > n)
        n = key
}
END {
    flush()
    sql = "CREATE TABLE \"" table "\" ("
    for (i = 1; i <= ncols; i++) {
        t = types[i] == "String" ? "TEXT" : types[i] == "Number" ? "INTEGER" \
          : types[i] == "Float" ? "REAL" : "DATE"
        sql = sql (i > 1 ? ", " : "") "\"" cols[i] "\" " t
    }
    print sql ");"
}
