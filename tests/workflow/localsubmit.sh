#!/bin/sh
# A stand-in for a cluster's submit command, for snakemake --cluster-sync:
#   localsubmit.sh RECORD -c THREADS --mem=MB JOBSCRIPT
# checks that the resource strings were filled in with whole numbers, appends
# "rule threads mem_mb" (group:NAME for a group job) to RECORD, and runs the job script here,
# returning its status.
set -eu
record=$1
shift
threads=""
mem=""
while [ $# -gt 1 ]; do
    case $1 in
        -c) threads=$2; shift 2 ;;
        --mem=*) mem=${1#--mem=}; shift ;;
        *) echo "localsubmit: unexpected argument $1" >&2; exit 2 ;;
    esac
done
jobscript=$1
case $threads in ''|*[!0-9]*) echo "localsubmit: bad thread count '$threads'" >&2; exit 2 ;; esac
case $mem in ''|*[!0-9]*) echo "localsubmit: bad memory request '$mem'" >&2; exit 2 ;; esac
rule=$(sed -n -e 's/^# properties = .*"rule": "\([^"]*\)".*/\1/p' \
             -e 's/^# properties = .*"groupid": "\([^"]*\)".*/group:\1/p' "$jobscript")
[ -n "$rule" ] || { echo "localsubmit: no rule named in $jobscript" >&2; exit 2; }
echo "$rule $threads $mem" >> "$record"
exec sh "$jobscript"
