# Sourced by the release checks. check_demo_output DIR: DIR holds a copy of
# the demo archive unpacked with -dig2wav; every entry file must be its slice
# of the resource, and every sound's .WAV a playable 11025 Hz mono 8-bit file
# whose samples are the entry unscrambled (worked out here independently:
# the byte at index k, for k = 0, 3, 6, ..., gets k added, mod 256).
check_demo_output() {
  local dir=$1 length offset name wav entries=0 expected actual
  while read -r length offset name; do
    name=${name%$'\r'}
    [ "$(stat -c %s "$dir/data/$name")" -eq "$length" ] || fail "$dir/data/$name: not $length bytes"
    cmp -s -i "$offset:0" -n "$length" "$dir/DEMO.RES" "$dir/data/$name" ||
      fail "$dir/data/$name is not bytes $offset..$((offset + length)) of DEMO.RES"
    entries=$((entries + 1))
    case ${name^^} in
      *.DIG)
        wav="$dir/data/${name%.*}.WAV"
        [ "$(stat -c %s "$wav")" -eq $((44 + length)) ] || fail "$wav: not 44 + $length bytes"
        [ "$(soxi -r "$wav") $(soxi -c "$wav") $(soxi -b "$wav")" = "11025 1 8" ] ||
          fail "$wav: not 11025 Hz, one channel, 8 bits"
        expected=$(od -An -v -tu1 -j "$offset" -N "$length" "$dir/DEMO.RES" |
          awk '{ for (i = 1; i <= NF; i++) { v = $i; if (k % 3 == 0) v = (v + k) % 256; print v; k++ } }')
        actual=$(od -An -v -tu1 -j 44 "$wav" | awk '{ for (i = 1; i <= NF; i++) print $i }')
        [ "$expected" = "$actual" ] || fail "$wav: its samples are not $name unscrambled"
        ;;
    esac
  done < "$dir/DEMO.RD"
  [ "$entries" -eq 3 ] || fail "the demo list should have 3 records, read $entries"
}

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
