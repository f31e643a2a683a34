#!/usr/bin/env bash
# LV2: the same processors in a standard Linux audio host. lv2ls finds the
# vorn.lv2 bundle of the build, lv2info shows the governor's controls, and
# lv2apply (lilv's command-line host) runs the governor over the demo tone,
# and so does gst-launch-1.0 through GStreamer's LV2 bridge, where installed
# (vorn_gst_launch then reads the sound meter element's output controls);
# the sound meter, run by vorn_audio_host, shows the level before and after.
set -euo pipefail
build="${VORN_BUILD:?set VORN_BUILD to the build directory}"
host="$build/tools/vorn_audio_host/vorn_audio_host"
plugins="$build/src/post_processors"
export LV2_PATH="$build/lv2"
if [ ! -e "$LV2_PATH/vorn.lv2/vorn.so" ] || ! command -v lv2apply >/dev/null; then
  echo "== LV2: bundle or lilv-utils missing (scripts/setup-deps installs them)"
  exit 0
fi
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

echo "== LV2: plug-ins found with LV2_PATH=$LV2_PATH"
lv2ls
echo "-- lv2info urn:vorn:lv2:governor-stereo (controls)"
lv2info urn:vorn:lv2:governor-stereo |
  awk '/Port [4-6]:/ { show = 1 } /^$/ { show = 0 } show'

"$host" --generate-tone=440 --seconds=3 --rate=48000 --channels=2 \
  --amplitude=0.5 --output="$tmp/tone.wav"
echo "-- lv2apply: governor at volume 0.9 (onset 0.8, multiplier 0.5)"
lv2apply -i "$tmp/tone.wav" -o "$tmp/governed.wav" \
  -c onset_volume 0.8 -c clamp_multiplier 0.5 -c volume 0.9 \
  urn:vorn:lv2:governor-stereo
gst=""
if command -v gst-launch-1.0 >/dev/null && gst-inspect-1.0 lv2 >/dev/null 2>&1; then
  echo "-- gst-inspect-1.0 lv2: the plug-ins as GStreamer elements"
  gst-inspect-1.0 lv2 | grep urn-vorn
  echo "-- gst-launch-1.0: the same governor as an element (16-bit tone: to and"
  echo "   from F32LE, the element's format, without dither)"
  gst-launch-1.0 -q filesrc location="$tmp/tone.wav" ! wavparse ! audioconvert ! \
    urn-vorn-lv2-governor-stereo onset-volume=0.8 clamp-multiplier=0.5 volume=0.9 ! \
    audioconvert dithering=none ! audio/x-raw,format=S16LE ! wavenc ! \
    filesink location="$tmp/gst_governed.wav"
  gst=gst_governed
  gst_launch="$build/tools/vorn_gst_launch/vorn_gst_launch"
  if [ -x "$gst_launch" ]; then
    echo "-- vorn_gst_launch: the sound meter element's output controls after the run"
    "$gst_launch" filesrc location="$tmp/gst_governed.wav" ! wavparse ! audioconvert ! \
      urn-vorn-lv2-sound-meter-stereo name=gst_governed ! fakesink
  fi
else
  echo "-- GStreamer or its LV2 bridge missing (scripts/setup-deps --gst installs them)"
fi
for f in tone governed $gst; do
  "$host" --input="$tmp/$f.wav" \
    --plugin="$plugins/libvorn_sound_meter_2.0.so" --config="{\"name\": \"$f\"}" 2>&1 |
    tail -n 1
done
