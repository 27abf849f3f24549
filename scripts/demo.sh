#!/usr/bin/env bash
# Lays out a demo installation under build/demo and runs the agent in the foreground.
set -euo pipefail
echo "demo: nothing to run yet"
