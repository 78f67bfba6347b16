#!/usr/bin/env bash
# Installs with apt-get what a fresh Debian/Ubuntu machine lacks, by group; each script asks for the
# groups it uses, so the example installs only what the build needs.
#   scripts/deps.sh GROUP...      (no group: build and test)
#   build      compiler, CMake, htslib, cairo, fonts, zlib: the programs and the example
#   test       GoogleTest and the tools the tests call (xmllint, Python)
#   workflow   Snakemake 7 and tabix/bgzip, for the workflow and its tests
#   fuzz       clang and libFuzzer, for scripts/fuzz.sh
#   bench      the peers and tools the benchmarks compare with
#   browser    Chromium, its driver, Selenium and node, for ldview's page tests
set -euo pipefail

missing=()
need_command() { command -v "$1" >/dev/null 2>&1 || missing+=("$2"); }
need_file() { [ -e "$1" ] || missing+=("$2"); }

[ $# -gt 0 ] || set -- build test
for group in "$@"; do
    case $group in
        build)
            need_command cmake cmake
            need_command g++ g++
            need_command make make
            need_command pkg-config pkg-config
            need_command flock util-linux
            need_file /usr/include/htslib/vcf.h libhts-dev
            need_file /usr/include/cairo/cairo.h libcairo2-dev
            need_file /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf fonts-dejavu-core
            need_file /usr/include/zlib.h zlib1g-dev
            ;;
        test)
            need_file /usr/include/gtest/gtest.h libgtest-dev
            need_command gzip gzip
            need_command python3 python3
            need_command xmllint libxml2-utils
            ;;
        workflow)
            need_command snakemake snakemake
            need_command bgzip tabix
            ;;
        fuzz)
            need_command clang++-14 clang-14
            need_file /usr/lib/llvm-14/lib/libFuzzer.a libfuzzer-14-dev
            [ -n "$(ls /usr/lib/llvm-14/lib/clang/14*/lib/linux/libclang_rt.asan-x86_64.a 2>/dev/null)" ] \
                || missing+=(libclang-rt-14-dev)
            ;;
        bench)
            need_command plink1.9 plink1.9
            need_command bcftools bcftools
            need_command hyperfine hyperfine
            ;;
        browser)
            # ldview's page: headless Chromium through Selenium (CTest label browser), its
            # arithmetic under node's test runner.
            need_command chromium chromium
            need_command chromedriver chromium-driver
            /usr/bin/python3 -c 'import selenium' 2>/dev/null || missing+=(python3-selenium)
            need_command node nodejs
            ;;
        *) echo "deps.sh: unknown group $group (build, test, workflow, fuzz, bench, browser)" >&2; exit 2 ;;
    esac
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}" >&2
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
fi
