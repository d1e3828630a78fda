# Sourced by tools/demo.sh: pictures of a unit's screen, the screen as text,
# keys as a technician would list them.
# Needs tools/tendwick-run.sh sourced first.

# DEMO_SHOTS: the folder the pictures go to; DEMO_ONLY: when non-empty, a
# space-separated list of the picture names kept (the others are skipped).
: "${DEMO_SHOTS:=}"
: "${DEMO_ONLY:=}"

# A small PNG from a PNM on stdin: a palette when the netpbm quantizer is there.
# Once Wine has drawn on a screen, its dump comes with 16-bit samples: 8 first.
demo_png() { # destination
  if command -v pnmquant >/dev/null 2>&1; then
    pamdepth 255 2>/dev/null | pnmquant 256 2>/dev/null | pnmtopng -compression 9 2>/dev/null >"$1"
  else
    pnmtopng 2>/dev/null >"$1"
  fi
  [ -s "$1" ]
}

# The file a picture called NAME goes to; empty when it is not kept.
demo_shot_file() { # name
  if [ -n "$DEMO_ONLY" ]; then
    case " $DEMO_ONLY " in *" $1 "*) echo "$DEMO_SHOTS/$1.png" ;; esac
    return 0
  fi
  # Numbered in the order taken (counted from the folder: callers run in subshells).
  printf '%s/%02d-%s.png\n' "$DEMO_SHOTS" $(( $(ls "$DEMO_SHOTS" | wc -l) + 1 )) "$1"
}

demo_note_shot() { # file
  echo "    [picture $(basename "$1")]"
}

# The maintenance window once it is idle and painted, cut to its rectangle
# (which is the unit's screen rectangle).
demo_shot() { # root name
  local file tmp
  file=$(demo_shot_file "$2")
  [ -n "$file" ] || return 0
  tmp=$(mktemp "${TMPDIR:-/tmp}/demo-shot.XXXXXX")
  if tendwick_shot "$1" "$tmp" && pngtopnm "$tmp" 2>/dev/null | demo_png "$file"; then
    demo_note_shot "$file"
  else
    echo "    (no picture of $2)"
  fi
  rm -f "$tmp"
}

# The screen of ROOT's display at once, cut to left top width height: for
# screens that do not wait for an idle window (a run under way, the restart
# screen, a program other than the maintenance window).
demo_grab() { # root name left top width height
  local root=$1 name=$2 file display
  file=$(demo_shot_file "$name")
  [ -n "$file" ] || return 0
  display=$(cat "$(tendwick_state "$root")/display" 2>/dev/null)
  if [ -n "$display" ] && xwd -root -silent -display ":$display" | xwdtopnm 2>/dev/null \
       | pnmcut -left "$3" -top "$4" -width "$5" -height "$6" 2>/dev/null | demo_png "$file"; then
    demo_note_shot "$file"
  else
    echo "    (no picture of $name)"
  fi
}

# The screen as the technician reads it, from the screen probe's description:
# the three message lines (colour named unless white), the serial-number box,
# the progress bar, the captions of the soft keys beside the bezel keys.
demo_screen_text() {
  awk '
    function flush() {
      if (field == "") return
      if (field ~ /^label/ && text != "") {
        n = split(text, lines, "\n")
        tag = (colour == "white") ? "" : "(" colour ") "
        indent = (field == "label 1") ? "| " : "|   "
        for (i = 1; i <= n; i++) print "    " indent (i == 1 ? tag : "") lines[i]
      }
      field = ""; text = ""
    }
    /^label [1-4] \[/ {
      flush()
      field = substr($0, 1, 7)
      colour = $0; sub(/^label [1-4] \[/, "", colour); sub(/\].*/, "", colour)
      text = $0; sub(/^label [1-4] \[[^]]*\]: ?/, "", text)
      next
    }
    /^soft key [1-5]: / {
      flush()
      caption = $0; sub(/^soft key [1-5]: /, "", caption)
      if (caption != "") keys = keys sprintf("  F%s %s", substr($0, 10, 1), caption)
      next
    }
    /^ / { if (field != "") { line = $0; sub(/^ +/, "", line); text = text "\n" line }; next }
    /^corners: left/ { flush(); corners = $0; sub(/^corners: /, "", corners); next }
    /^key mask: / { flush(); mask = $3; next }
    /^serial: / { flush(); if ($2 != "hidden") { s = $0; sub(/^serial: /, "", s); serial = s }; next }
    /^progress: visible/ { flush(); progress = 1; next }
    { flush() }
    END {
      flush()
      if (serial != "") print "    |   " serial
      if (progress) print "    |   [progress bar]"
      if (corners != "") print "    |   corner captions: " corners
      print "    | keys:" (keys == "" ? " none" : keys) "   (key mask " mask ")"
    }'
}

# A value of a store key file, as the file holds it ("string:..." etc.).
demo_store_value() { # file name
  grep -a "^\"$2\"=" "$1" 2>/dev/null | head -n 1 | tr -d '\r' | cut -d= -f2-
}

# Keys as a short list: repeats counted ("LEFT x8 DOWN x17 RIGHT").
demo_key_list() {
  local out= last= count=0 key
  for key in "$@" ""; do
    if [ "$key" = "$last" ]; then count=$((count + 1)); continue; fi
    [ -n "$last" ] && out+=" $last$([ "$count" -gt 1 ] && echo " x$count")"
    last=$key count=1
  done
  echo "${out# }"
}
