#!/usr/bin/env bash
# The manual page and --help name the same options and frame size limits:
#   man_page.sh COMMAND MAN_PAGE [FIRST_SECTION LAST_SECTION]
# The options are read from the page's sections FIRST_SECTION to
# LAST_SECTION (default: FILTER SETTINGS to EXIT STATUS, nivora's).
set -euo pipefail
command="$1"
page="$2"
first="${3:-FILTER SETTINGS}"
last="${4:-EXIT STATUS}"
options() { grep -o -- '--[a-z0-9][a-z0-9-]*' | sort -u; }
from_help="$("$command" --help | options)"
# Troff writes a hyphen as \- and changes fonts with \fB, \fI, \fR.
from_page="$(sed -n "/^\\.SH $first\$/,/^\\.SH $last\$/p" "$page" |
  sed 's/\\-/-/g; s/\\f[BIRP]//g' | options)"
missing="$(comm -23 <(echo "$from_help") <(echo "$from_page"))"
extra="$(comm -13 <(echo "$from_help") <(echo "$from_page"))"
status=0
if [ -n "$missing" ]; then echo "in --help but not in the manual page:" $missing; status=1; fi
if [ -n "$extra" ]; then echo "in the manual page but not in --help:" $extra; status=1; fi
grep -q '^\.TH [A-Z-]* 1 .*"nivora [0-9]' "$page" || { echo "no version in the title line"; status=1; }
[ -n "$from_page" ] || { echo "no options between .SH $first and .SH $last"; status=1; }
# The frame size limits --help states (the plug-in's filter's and strong
# mode's) are the page's too.
for size in $("$command" --help | grep -o '[0-9]\{3,\}x[0-9]\{3,\}' | sort -u); do
  grep -q "$size" "$page" || { echo "--help states $size, the manual page does not"; status=1; }
done
[ "$status" -eq 0 ] && echo "$(echo "$from_help" | wc -l) options, all in both"
exit "$status"
