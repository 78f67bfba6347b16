# Sourced by cohort.sh and array.sh: linkstat against the peer (plink1.9 --r2 dprime) on one data set,
# whole processes, wall clock, taken in alternation. One thread each first (linkstat -P -T1 against
# `plink1.9 --bfile ... --r2 dprime --ld-window 99999 --ld-window-kb 200 --ld-window-r2 0 --threads 1`),
# then both with their default thread counts. Also printed: the CPU seconds (user and system) beside the
# wall clock, which a busy machine distorts less; linkstat's peak memory; and how many genotype tables
# needed the exact evaluation of their bounds (linkstat_boundsstats, untimed).
#
#   versus_peer BUILD WORK MARKERS BFILE RUNS
#
# BUILD holds linkstat and linkstat_boundsstats, WORK is a scratch folder, MARKERS linkstat's input and
# BFILE the prefix of the peer's binary files of the same genotypes. Returns non-zero when linkstat fails.

# Runs a command; appends its wall seconds to the file $1, its CPU seconds to $1.cpu and its peak
# memory (KB) to $1.rss.
timed() {
    local into=$1; shift
    local t0 t1
    t0=$(date +%s.%N)
    if ! /usr/bin/time -f '%M %U %S' -o "$into.last" "$@" >/dev/null 2>"$into.stderr"; then
        echo "$(basename "$0"): $1 failed: $(grep -v '^Command exited' "$into.stderr" | tr -s '\n' ' ')" >&2
        return 1
    fi
    t1=$(date +%s.%N)
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f\n", b - a }' >> "$into"
    tail -n 1 "$into.last" | awk '{ print $1 >> "'"$into.rss"'"; printf "%.3f\n", $2 + $3 >> "'"$into.cpu"'" }'
}
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
peak() { sort -n "$1.rss" | tail -n 1; }

versus_peer() {
    local build=$1 work=$2 markers=$3 bfile=$4 runs=$5
    local linkstat=$build/linkstat/linkstat
    local ours=("$linkstat" -P "-I$markers" "-O$work/bounds.txt")
    local peer=(plink1.9 --bfile "$bfile" --r2 dprime --ld-window 99999 --ld-window-kb 200 --ld-window-r2 0
                --out "$work/peer")
    local failed=0 run
    rm -f "$work"/ours1* "$work"/peer1* "$work"/oursN* "$work"/peerN*
    for run in $(seq "$runs"); do
        [ "$failed" = 1 ] || timed "$work/ours1" "${ours[@]}" -T1 || failed=1
        timed "$work/peer1" "${peer[@]}" --threads 1
    done
    for run in $(seq "$runs"); do
        [ "$failed" = 1 ] || timed "$work/oursN" "${ours[@]}" || failed=1
        timed "$work/peerN" "${peer[@]}"
    done
    [ "$failed" = 1 ] ||
        echo "pairs: $(grep -vc ' 0 0 0 0 0 0 0 0 0 1$' "$work/bounds.txt") (linkstat), $(($(wc -l < "$work/peer.ld") - 1)) (peer)"

    report() {  # label, our times, peer times
        if [ "$failed" = 1 ]; then
            printf '%-13s linkstat -, peer %.2f s\n' "$1" "$(median "$3")"
        else
            awk -v l="$1" -v o="$(median "$2")" -v p="$(median "$3")" -v oc="$(median "$2.cpu")" \
                -v pc="$(median "$3.cpu")" -v m="$(peak "$2")" 'BEGIN {
                printf "%-13s linkstat %.2f s (peak %.1f MB), peer %.2f s, ratio %.2f; CPU %.2f s against %.2f s, ratio %.2f\n",
                    l, o, m / 1024, p, o / p, oc, pc, (pc > 0 ? oc / pc : 0) }'
        fi
    }
    report "one thread:" "$work/ours1" "$work/peer1"
    report "all cores:" "$work/oursN" "$work/peerN"
    if [ "$failed" = 0 ]; then
        "$build/bench/linkstat/linkstat_boundsstats" -P "-I$markers" "-O$work/bounds.txt" 2>&1 |
            sed 's/^kernel \([a-z0-9]*\): /bounds (\1 kernel): /'
    fi
    return "$failed"
}
