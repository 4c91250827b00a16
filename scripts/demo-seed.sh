#!/bin/sh
# Lays out a complete demo appliance root: every settings file the program
# reads or edits, in the formats the appliance uses, with the values of a
# plausible studio set-up. Everything here is written by hand for the demo.
# An existing root is wiped first, but only one that this script made.
# Usage: demo-seed.sh ROOT
set -eu

[ $# -eq 1 ] || { echo "usage: demo-seed.sh ROOT" >&2; exit 2; }
root=$1
case "$root" in
    "" | / | /mnt | /mnt/* | /tmp | /tmp/) echo "demo-seed: refusing root '$root'" >&2; exit 2 ;;
esac
marker=.webcfg-demo-root
if [ -e "$root" ]; then
    # A root from before the marker existed holds only mnt and tmp.
    others=$(ls -A "$root" | grep -v -x -e mnt -e tmp -e proc -e "$marker" || true)
    if [ ! -e "$root/$marker" ] && [ -n "$others" ]; then
        echo "demo-seed: '$root' is not empty and is no demo root; not touching it" >&2
        exit 2
    fi
    rm -rf "$root"
fi
mkdir -p "$root/mnt/wifi" "$root/mnt/dfc" "$root/tmp"
echo "demo appliance root, made by scripts/demo-seed.sh" > "$root/$marker"
m=$root/mnt

# Boot script: the 16-line settings header, then the part that the web
# configuration never touches, which starts at the end marker.
header() { # ip netmask gateway tz tc fi ctrlencode ctrlcodec bitrate framerate audiosample audiobps width height url
    printf 'ip=%s\nnetmask=%s\ngateway=%s\nexport GW=$gateway\ntz=%s\ntc=%s\nfi=%s\nctrlencode=%s\nctrlcodec=%s\nbitrate=%s\nframerate=%s\naudiosample=%s\naudiobps=%s\nwidth=%s\nheight=%s\nurl=%s\n' "$@"
}
tail_part() { # audio codec name
    cat <<EOF
end_of_settings=1
# Everything above the line "end_of_settings=1" is rewritten by the web
# configuration; everything from that line on is kept as it is.
PATH=/mnt/bin:/usr/bin:/bin:/usr/sbin:/sbin
sh /mnt/mac.sh
ifconfig eth0 \$ip netmask \$netmask up
route add default gw \$GW
if [ "\$(head -c 1 /mnt/wifi/ifwifi 2>/dev/null)" != 1 ]; then
    wpa_supplicant -B -i wlan0 -c /mnt/wifi/wpa.conf
    sh /mnt/wifi/wifi_ip.conf
fi
alsactl -f /mnt/asound.state restore
scale=
[ "\$ctrlcodec" = 1 ] && scale="--scale \${width}x\${height}"
audio=
[ "\$ctrlencode" = 1 ] && audio="--audio $1 --rate \$audiosample --abr \$audiobps"
encoderd --bitrate \$bitrate --fps \$framerate --gop \$fi \$scale \$audio &
streamd --ts \$tz:\$tc --rtmp "\$url" &
EOF
}
header 192.168.1.60 255.255.255.0 192.168.1.1 192.168.1.20 5000 50 1 1 4000000 30 48000 128000 1280 720 \
    rtmp://192.168.1.20/live/studio > "$m/autorun.sh"
tail_part mp3 >> "$m/autorun.sh"
# The codec templates carry the factory settings.
for codec in mp3 aac; do
    header 192.168.18.209 255.255.255.0 192.168.18.1 192.168.18.122 1234 100 1 1 2000000 25 44100 96000 1024 768 \
        rtmp://192.168.18.7/live/kovra > "$m/autorun.sh.h264.$codec.org"
    tail_part "$codec" >> "$m/autorun.sh.h264.$codec.org"
done
chmod 755 "$m/autorun.sh" "$m/autorun.sh.h264.mp3.org" "$m/autorun.sh.h264.aac.org"

# Factory defaults that the codec template swap copies over /mnt.
for f in ts.ini httpts.ini tcp.ini rtsp.ini rtsporrtmp.ini kovra_encProfileIdc.ini kovra_encQuality.ini; do
    printf '0\n' > "$m/dfc/$f"
done
printf '40\n' > "$m/dfc/kovra_encLevel.ini"
printf '1\n' > "$m/dfc/kovra_maxdelay.ini"
printf '1\n' > "$m/dfc/ha.ini"
printf '128 0 0 0 0 0' > "$m/dfc/color.ini"

# Capture: detect mode, last fixed format 1920x1080 at 60 Hz, HDMI input,
# format changes handled by the encoder SDK; the capture side found 1080p.
printf '0 23' > "$m/format.ini"
printf '2' > "$m/mk120.ini"
printf '0\n' > "$m/qiehuan"
printf '1920 1080\n' > "$root/tmp/format.ini"

# Encoder: 500 ms maximum delay, High profile, quality mode, level 4.1.
printf '5\n' > "$m/kovra_maxdelay.ini"
printf '0\n' > "$m/kovra_encProfileIdc.ini"
printf '0\n' > "$m/kovra_encQuality.ini"
printf '41\n' > "$m/kovra_encLevel.ini"
printf '64' > "$m/ttl.ini"
printf '60' > "$m/idr.ini"
printf '128 0 0 0 0 0' > "$m/color.ini"

# Outputs: transport stream over UDP, no stream tag, RTSP server; both
# outputs fed from the main stream.
printf '0\n' > "$m/ts.ini"
printf '0\n' > "$m/httpts.ini"
printf '0\n' > "$m/tcp.ini"
printf '1\n' > "$m/rtsp.ini"
printf '0\n' > "$m/rtsporrtmp.ini"
printf '0 0\n' > "$m/kovra_rsc.ini"

# Network start-up files: Wi-Fi enabled, a locally administered MAC.
printf '0\n' > "$m/wifi/ifwifi"
printf 'network={\nssid="studio-wifi"\npsk="demo-pass-2024"\nkey_mgmt=WPA-PSK\nproto=WPA WPA2\npairwise=CCMP\ngroup=CCMP\npriority=2\n}' \
    > "$m/wifi/wpa.conf"
printf 'ifconfig wlan0 192.168.0.9\n' > "$m/wifi/wifi_ip.conf"
printf 'ifconfig eth0 hw ether 02:1a:2b:3c:4d:5e\n' > "$m/mac.sh"
chmod 755 "$m/mac.sh"

# Overlays: window mg shown top left, window gx hidden top right.
printf '1 32 32 320 180 0 1568 32 320 180' > "$m/m.ini"

# Subtitle shown at 100,960, big font; the text is "欢迎观看" stored in
# GB2312, as the subtitle renderer reads it.
printf '1 100 960 \273\266\323\255\271\333\277\264' > "$m/zk.ini"
printf '0' > "$m/zhiti.ini"

# Audio: HDMI embedded audio.
printf '1\n' > "$m/ha.ini"

# Saved mixer state of the two sound cards, in alsactl's text format. The
# 3.5 mm input volume is control 12 of the line-in card, whose block opens
# at the 27th "{" of the file.
{
    cat <<'EOF'
state.HDMIIN {
	control.1 {
		iface MIXER
		name 'HDMI Capture Switch'
		value true
		comment {
			access 'read write'
			type BOOLEAN
			count 1
		}
	}
}
state.LINEIN {
EOF
    n=0
    control() { # name type count value range
        n=$((n + 1))
        printf '\tcontrol.%d {\n\t\tiface MIXER\n\t\tname %s\n' "$n" "'$1'"
        if [ "$3" = 1 ]; then
            printf '\t\tvalue %s\n' "$4"
        else
            printf '\t\tvalue.0 %s\n\t\tvalue.1 %s\n' "$4" "$4"
        fi
        printf "\t\tcomment {\n\t\t\taccess 'read write'\n\t\t\ttype %s\n\t\t\tcount %s\n" "$2" "$3"
        [ -n "${5:-}" ] && printf "\t\t\trange '%s'\n" "$5"
        printf '\t\t}\n\t}\n'
    }
    control 'Headphone Playback Volume' INTEGER 2 96 '0 - 127'
    control 'Headphone Playback Switch' BOOLEAN 2 true
    control 'PCM Playback Volume' INTEGER 2 100 '0 - 127'
    control 'Mic Boost Volume' INTEGER 1 0 '0 - 3'
    control 'Mic Capture Switch' BOOLEAN 1 false
    control 'ADC High Pass Filter Switch' BOOLEAN 1 true
    control 'Capture Volume' INTEGER 2 40 '0 - 63'
    control 'Capture Switch' BOOLEAN 2 true
    control 'Line In Bypass Switch' BOOLEAN 1 false
    control 'AGC Switch' BOOLEAN 1 false
    control 'Line In Boost Volume' INTEGER 1 0 '0 - 2'
    control 'Line In Capture Volume' INTEGER 2 80 '0 - 100'
    control 'Line In Capture Switch' BOOLEAN 2 true
    control 'Sidetone Playback Volume' INTEGER 1 0 '0 - 7'
    printf '}\n'
} > "$m/asound.state"

# When the demo device last started, as the kernel would say in /proc/stat:
# a second ago, the files above a second before that, so they count as read
# at that start and a change made right after seeding counts as made after
# it (file times are compared in whole seconds). The demo's stub reboot
# writes the time anew.
mkdir -p "$root/proc"
now=$(date +%s)
find "$m" "$root/tmp" -exec touch -h -d "@$((now - 2))" {} +
echo "btime $((now - 1))" > "$root/proc/stat"
# Its boot's identity: the same for every seeded root, so that two seeded
# roots stay alike; the demo's stub reboot writes a new one at each start.
mkdir -p "$root/proc/sys/kernel/random"
echo 6f0c2d4e-1b7a-4c35-9e8d-5a0b7c3e9f01 > "$root/proc/sys/kernel/random/boot_id"

echo "demo: seeded $root"
