#!/usr/bin/env bash
# check_ordinals.sh OBJDUMP Retenta.dll PROGRAM.exe
# The store's programs bind by ordinal, so the ordinals are the interface:
# every one of the 28 must be exported with the function the programs expect
# there, and a program linked through the import library must import
# Retenta.dll by ordinal only.
set -u
objdump=$1 dll=$2 exe=$3
status=0
fail() { echo "check_ordinals: $*" >&2; status=1; }

# ordinal  mangled name (cdecl, as the header declares each overload)
expected='
1 _Z15ClosePersistKeyv
2 _Z11DeleteValuePKc
3 _Z19GetOnePersistedBoolPKcS0_iS0_Pi
4 _Z19GetOnePersistedBoolPKcS0_iS0_Pii
5 _Z17GetOnePersistedDWPKcS0_iS0_Pm
6 _Z17GetOnePersistedDWPKcS0_iS0_Pmm
7 _Z21GetOnePersistedStringPKcS0_iS0_mPcS0_
8 _Z16GetPersistedBoolPKcPi
9 _Z16GetPersistedBoolPKcPii
10 _Z14GetPersistedDWPKcPm
11 _Z14GetPersistedDWPKcPmm
12 _Z18GetPersistedStringPKcmPcS0_
13 _Z14OpenPersistKeyPKcS0_i
14 _Z11PersistBoolPKci
15 _Z9PersistDWPKcm
16 _Z14PersistOneBoolPKcS0_iS0_i
17 _Z12PersistOneDWPKcS0_iS0_m
18 _Z16PersistOneStringPKcS0_iS0_S0_
19 _Z13PersistStringPKcS0_
20 _Z18SetPersistBasePathPKc
21 _Z15ClosePersistKeyi
22 _Z11DeleteValuePKci
23 _Z16GetPersistedBoolPKcPiii
24 _Z14GetPersistedDWPKcPmmi
25 _Z18GetPersistedStringPKcmPcS0_i
26 _Z11PersistBoolPKcii
27 _Z9PersistDWPKcmi
28 _Z13PersistStringPKcS0_i
'

dump=$("$objdump" -p "$dll") || { echo "check_ordinals: cannot read $dll" >&2; exit 1; }

base=$(sed -n 's/.*Ordinal Base[[:space:]]*\([0-9][0-9]*\).*/\1/p' <<<"$dump" | head -n 1)
[ -n "$base" ] || fail "$dll has no export table"
base=${base:-1}

# Export Address Table lines: "[   i] +base[   n] rva Export RVA"
exported=$(sed -n 's/.*+base\[ *\([0-9]*\)\] *\([0-9a-fA-F]*\) Export RVA.*/\1 \2/p' <<<"$dump" |
           awk '$2 !~ /^0+$/ {print $1}' | sort -n | tr '\n' ' ')
# Name pointer table lines: "[   i] name", i = ordinal - base
names=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
        sed -n 's/^[[:space:]]*\[ *\([0-9]*\)\] \([^ ]*\)$/\1 \2/p' |
        awk -v b="$base" '{print $1 + b, $2}')

while read -r ordinal name; do
  [ -n "$ordinal" ] || continue
  case " $exported " in
    *" $ordinal "*) ;;
    *) fail "ordinal $ordinal ($name) is not exported by $dll" ;;
  esac
  actual=$(awk -v o="$ordinal" '$1 == o {print $2}' <<<"$names")
  [ "$actual" = "$name" ] || fail "ordinal $ordinal: expected $name, found '${actual:-no name}'"
done <<<"$expected"

count=$(wc -w <<<"$exported")
[ "$count" -eq 28 ] || fail "$dll exports $count ordinals, expected 28: $exported"

# Import of the program: the Retenta.dll block lists "vma hint/ordinal member-name";
# an ordinal import has the top bit of its thunk set (bit 31 in a 32-bit
# program, bit 63 in a 64-bit one), the ordinal in the thunk's low 16 bits, and
# no member name. The ordinal is read from the thunk, which both widths print alike.
imports=$("$objdump" -p "$exe" | awk 'tolower($0) ~ /dll name: retenta\.dll/ {on=1; next}
                                         on && /^[[:space:]]*$/ {exit}
                                         on && !/Hint\/Ord/ {print}')
[ -n "$imports" ] || fail "$exe does not import Retenta.dll"
while read -r thunk _ member _; do
  [ -n "$thunk" ] || continue
  top=$(( (0x$thunk >> (${#thunk} * 4 - 1)) & 1 ))
  ordinal=$(( 0x$thunk & 0xffff ))
  if [ "$member" != "<none>" ] || [ $top -eq 0 ]; then
    fail "$exe imports Retenta.dll by name: $thunk $member"
  fi
  [ "$ordinal" -ge 1 ] && [ "$ordinal" -le 28 ] || fail "$exe imports unknown ordinal $ordinal"
done <<<"$imports"

if [ $status -eq 0 ]; then
  echo "check_ordinals: 28 ordinals exported; $(wc -l <<<"$imports") imports of $(basename "$exe"), all by ordinal"
fi
exit $status
