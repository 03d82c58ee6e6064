#!/usr/bin/env bash
# Brings every translation up to date with the texts in the sources (new texts are added unfinished,
# texts gone from the sources are dropped). Then translate what is unfinished, e.g. in Qt Linguist.
# Usage: res/translations/update.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
lupdate=$(command -v lupdate || echo /usr/lib/qt6/bin/lupdate)
cd "$root"
for ts in res/translations/tovira_*.ts; do
  "$lupdate" -silent -no-obsolete -locations none -extensions cpp,h src -ts "$ts"
done
