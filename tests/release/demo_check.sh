# Sourced by the release checks. check_demo_output DIR: DIR holds a copy of
# the demo archive unpacked with -dig2wav; every entry file must be its slice
# of the resource, and every sound's .WAV a playable 11025 Hz mono 8-bit file
# of the entry's length.
check_demo_output() {
  local dir=$1 length offset name wav entries=0
  while read -r length offset name; do
    name=${name%$'\r'}
    tail -c "+$((offset + 1))" "$dir/DEMO.RES" | head -c "$length" | cmp -s - "$dir/data/$name" ||
      fail "$dir/data/$name is not bytes $offset..$((offset + length)) of DEMO.RES"
    entries=$((entries + 1))
    case ${name^^} in
      *.DIG)
        wav="$dir/data/${name%.*}.WAV"
        [ "$(stat -c %s "$wav")" -eq $((44 + length)) ] || fail "$wav: not 44 + $length bytes"
        [ "$(soxi -r "$wav") $(soxi -c "$wav") $(soxi -b "$wav")" = "11025 1 8" ] ||
          fail "$wav: not 11025 Hz, one channel, 8 bits"
        ;;
    esac
  done < "$dir/DEMO.RD"
  [ "$entries" -eq 3 ] || fail "the demo list should have 3 records, read $entries"
}

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
