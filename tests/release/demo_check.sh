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
        [ "$(soxi -r "$wav") $(soxi -c "$wav") $(soxi -b "$wav") $(soxi -s "$wav")" = "11025 1 8 $length" ] ||
          fail "$wav: not $length samples at 11025 Hz, one channel, 8 bits, to sox"
        [ "$(od -An -v -tx1 -N 44 "$wav" | tr -s ' \n' ' ')" = " $(wav_header "$length") " ] ||
          fail "$wav: not the canonical 44-byte header for $length samples"
        expected=$(od -An -v -tu1 -j "$offset" -N "$length" "$dir/DEMO.RES" |
          awk '{ for (i = 1; i <= NF; i++) { v = $i; if (k % 3 == 0) v = (v + k) % 256; print v; k++ } }')
        actual=$(od -An -v -tu1 -j 44 "$wav" | awk '{ for (i = 1; i <= NF; i++) print $i }')
        [ "$expected" = "$actual" ] || fail "$wav: its samples are not $name unscrambled"
        ;;
    esac
  done < "$dir/DEMO.RD"
  [ "$entries" -eq 3 ] || fail "the demo list should have 3 records, read $entries"
}

# The canonical PCM header, as od -tx1 shows it: RIFF size, format chunk
# (PCM, 1 channel, 11025 Hz, 11025 bytes/s, block 1, 8 bits), data size.
wav_header() {
  local size=$1
  le32() { printf '%02x %02x %02x %02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
  echo "52 49 46 46 $(le32 $((size + 36))) 57 41 56 45 66 6d 74 20 10 00 00 00 01 00 01 00" \
    "$(le32 11025) $(le32 11025) 01 00 08 00 64 61 74 61 $(le32 "$size")"
}

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
