#!/usr/bin/env bash
# Installs what a fresh Debian/Ubuntu machine lacks to build and test the tool-chain.
#   scripts/deps.sh            the build and the tests
#   scripts/deps.sh fuzz       also clang and libFuzzer, for scripts/fuzz.sh
#   scripts/deps.sh bench      also the peers and tools the benchmarks compare with
#   scripts/deps.sh browser    also Chromium, its driver, Selenium and node, for ldview's page tests
set -euo pipefail

missing=()
need_command() { command -v "$1" >/dev/null 2>&1 || missing+=("$2"); }
need_file() { [ -e "$1" ] || missing+=("$2"); }

need_command cmake cmake
need_command g++ g++
need_command make make
need_command pkg-config pkg-config
need_command gzip gzip
need_file /usr/include/gtest/gtest.h libgtest-dev
need_file /usr/include/htslib/vcf.h libhts-dev
need_command bgzip tabix
need_file /usr/include/cairo/cairo.h libcairo2-dev
need_file /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf fonts-dejavu-core
need_file /usr/include/zlib.h zlib1g-dev
need_command snakemake snakemake
need_command xmllint libxml2-utils

for what in "$@"; do
    case $what in
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
        *) echo "deps.sh: unknown group $what" >&2; exit 2 ;;
    esac
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}" >&2
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
fi
