# Converts a per-type DIF file to CSV (RFC 4180) with the values the program's import stores:
# texts trimmed, whole numbers, Float fields as decimals (the implied decimals of the scale
# made explicit), dates as ISO yyyy-mm-dd; a blank field gives an empty cell. The first line
# holds the column names.
#
#   awk -v layout=Defs/DIF104V2.ini -f dif-csv.awk FILE.104 > FILE.csv

function trim(s) {
    gsub(/^[ \t]+|[ \t]+$/, "", s)
    return s
}

BEGIN {
    section = ""
    while ((getline line < layout) > 0) {
        sub(/\r$/, "", line)
        if (line ~ /^[ \t]*\[/) {
            section = tolower(line)
            gsub(/[][ \t]/, "", section)
            continue
        }
        if (section != "records" || line !~ /^[0-9][0-9]=/)
            continue
        k = substr(line, 1, 2) + 0
        split(substr(line, 4), item, ",")
        fname[k] = trim(item[1])
        ftype[k] = trim(item[2])
        fstart[k] = trim(item[3]) + 0
        fwidth[k] = trim(item[4]) + 0
        fscale[k] = trim(item[5])
        fdec[k] = trim(item[6])
        if (k > nf)
            nf = k
    }
    close(layout)
    if (nf == 0) {
        print "dif-csv.awk: no fields in layout " layout > "/dev/stderr"
        exit 1
    }
    header = ""
    for (k = 1; k <= nf; k++) {
        header = header (k > 1 ? "," : "") fname[k]
        blank[k] = sprintf("%" fwidth[k] "s", "")
        # Float: the stored digits over the scale, with as many decimals as a power-of-ten
        # scale implies ("198" with scale 10 -> 19.8, "-4" with scale 100 -> -0.04); printing
        # an integer over 10^n with n decimals gives back its exact digits.
        if (ftype[k] == "Float" && fdec[k] == "" && fscale[k] != "")
            ffmt[k] = fscale[k] ~ /^10*$/ ? "%." (length(fscale[k]) - 1) "f" : "%.15g"
    }
    print header
}

{
    sub(/\r$/, "")
    out = ""
    for (k = 1; k <= nf; k++) {
        v = substr($0, fstart[k], fwidth[k])
        # Numbers convert without trimming (leading blanks are skipped); texts are trimmed
        # only where a blank is, which keeps 1,000,000 lines quick.
        t = ftype[k]
        if (v == blank[k] || v == "")
            v = ""
        else if (t == "Date")
            v = substr(v, 1, 4) "-" substr(v, 5, 2) "-" substr(v, 7, 2)
        else if (t == "Number")
            v = sprintf("%d", v)
        else if (k in ffmt)
            v = sprintf(ffmt[k], v / fscale[k])
        else {
            if (substr(v, 1, 1) == " ")
                sub(/^ +/, "", v)
            if (substr(v, length(v), 1) == " ")
                sub(/ +$/, "", v)
            if (t == "String" && v ~ /[",]/) {
                gsub(/"/, "\"\"", v)
                v = "\"" v "\""
            }
        }
        out = out (k > 1 ? "," : "") v
    }
    print out
}
