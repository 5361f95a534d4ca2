# The tabjd conversion as it is usually written in awk: the yardstick that
# bench/run times the programs against, and a cross-check of their output.
#
#   mawk -f bench/peer.awk report > out              like tabjd
#   mawk -v extra=1 -f bench/peer.awk report > out   like tabjd2 (skips the
#                                                     column before the value)
#
# Prints the astronomical Julian date and the value of each row, "%16.5f" each.
# Rows may use blanks, tabs or commas; a row broken over two lines is joined,
# and text after a row's last field is dropped.

BEGIN { body = 0; minute = 0; n = 0 }

!body {
    if ($0 ~ /^YEAR/)
        minute = index(substr($0, 1, 80), "MINUTE") > 0
    else if ($0 ~ /^----/) {
        body = 1
        need = 4 + minute + (extra ? 1 : 0)
    }
    next
}

{
    if (index($0, ","))
        gsub(/,/, " ")
    for (i = 1; i <= NF && n < need; i++)
        f[++n] = $i
    if (n < need)
        next
    n = 0

    # Julian day number of the (proleptic Gregorian) date, Fliegel & Van Flandern.
    a = int((14 - f[2]) / 12)
    y = f[1] + 4800 - a
    m = f[2] + 12 * a - 3
    jdn = f[3] + int((153 * m + 2) / 5) + 365 * y + int(y / 4) - int(y / 100) + int(y / 400) - 32045

    jd = jdn - 0.5
    if (minute)
        jd += f[4] / 1440
    printf "%16.5f%16.5f\n", jd, f[need]
}
