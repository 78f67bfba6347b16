#!/bin/sh
# Stands in for shapeit4 in the tests: takes its options, writes the input's genotypes with "/"
# turned into "|" (the order within a genotype kept) to --output, bgzipped. Each call adds a line
# with its arguments to the file named by STANDIN_PHASER_CALLS; with STANDIN_PHASER_FAIL set it
# prints that message and fails as the phaser does. Without --input it prints a version line.
input="" output="" arguments="$*"
while [ $# -gt 0 ]; do
    case $1 in
        --input) input=$2; shift 2 ;;
        --output) output=$2; shift 2 ;;
        *) shift ;;
    esac
done
if [ -z "$input" ]; then
    echo "  * Version       : stand-in"
    exit 1
fi
[ -z "${STANDIN_PHASER_CALLS:-}" ] || echo "$arguments" >> "$STANDIN_PHASER_CALLS"
if [ -n "${STANDIN_PHASER_FAIL:-}" ]; then
    echo "ERROR: $STANDIN_PHASER_FAIL"
    exit 1
fi
gzip -dc "$input" | sed '/^#/!s|/|\||g' | bgzip > "$output"
