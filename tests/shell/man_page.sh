#!/usr/bin/env bash
# The manual page and --help name the same options and frame size limits:
#   man_page.sh NIVORA MAN_PAGE
set -euo pipefail
nivora="$1"
page="$2"
options() { grep -o -- '--[a-z0-9][a-z0-9-]*' | sort -u; }
from_help="$("$nivora" --help | options)"
# The option sections, from the filter settings to the exit status; troff
# writes a hyphen as \- and changes fonts with \fB, \fI, \fR.
from_page="$(sed -n '/^\.SH FILTER SETTINGS/,/^\.SH EXIT STATUS/p' "$page" |
  sed 's/\\-/-/g; s/\\f[BIRP]//g' | options)"
missing="$(comm -23 <(echo "$from_help") <(echo "$from_page"))"
extra="$(comm -13 <(echo "$from_help") <(echo "$from_page"))"
status=0
if [ -n "$missing" ]; then echo "in --help but not in the manual page:" $missing; status=1; fi
if [ -n "$extra" ]; then echo "in the manual page but not in --help:" $extra; status=1; fi
grep -q '^\.TH NIVORA 1 .*"nivora [0-9]' "$page" || { echo "no version in the title line"; status=1; }
# The frame size limits --help states (the plug-in's filter's and strong
# mode's) are the page's too.
for size in $("$nivora" --help | grep -o '[0-9]\{3,\}x[0-9]\{3,\}' | sort -u); do
  grep -q "$size" "$page" || { echo "--help states $size, the manual page does not"; status=1; }
done
[ "$status" -eq 0 ] && echo "$(echo "$from_help" | wc -l) options, all in both"
exit "$status"
