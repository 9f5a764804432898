#!/usr/bin/env bash
# Install benchmark under Wine (see bench/bench_install.py and bench/README.md).
# Usage: bench/bench_install.sh [--runs N] [--products tiny,f117,...]   (after scripts/build.sh native-release win64)
set -euo pipefail
exec python3 "$(cd "$(dirname "$0")" && pwd)/bench_install.py" "$@"
