#!/usr/bin/env bash
# Makes the short H.264 clip the simulated Agents serve as every room's HLS preview: fragmented MP4
# (init segment + three 2 s media segments), as MediaMTX serves HLS. Needs ffmpeg; the output is
# committed, so builds and tests do not.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
ffmpeg -loglevel error -f lavfi -i "testsrc2=size=640x360:rate=25" -t 6 \
  -c:v libx264 -profile:v baseline -level 3.0 -pix_fmt yuv420p -b:v 180k -g 50 -keyint_min 50 -sc_threshold 0 \
  -f hls -hls_time 2 -hls_list_size 0 -hls_segment_type fmp4 \
  -hls_fmp4_init_filename init.mp4 -hls_segment_filename "$tmp/seg%d.m4s" "$tmp/index.m3u8"
cp "$tmp/init.mp4" "$tmp"/seg0.m4s "$tmp"/seg1.m4s "$tmp"/seg2.m4s .
rm -rf "$tmp"
