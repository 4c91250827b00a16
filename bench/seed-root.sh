#!/bin/sh
# Writes a complete appliance file set under ROOT, as a device in service
# would hold it: the boot script with its settings header, the encoder,
# capture, output, Wi-Fi, overlay, subtitle and audio files, the templates
# and default directory. Every file is one this program reads or writes.
# Usage: seed-root.sh ROOT
set -eu

root=${1:?usage: seed-root.sh ROOT}
mnt="$root/mnt"
rm -rf "$mnt" "$root/tmp"
mkdir -p "$mnt/wifi" "$mnt/dfc" "$root/tmp"

# The settings header as the program writes it, then the script proper,
# which starts at the end marker.
header() {
    printf 'ip=192.168.18.209\nnetmask=255.255.255.0\ngateway=192.168.18.1\n'
    # shellcheck disable=SC2016  # the script itself expands $gateway
    printf 'export GW=$gateway\ntz=192.168.18.122\ntc=1234\nfi=100\nctrlencode=1\n'
    printf 'ctrlcodec=1\nbitrate=2000000\nframerate=25\naudiosample=%s\naudiobps=%s\n' "$1" "$2"
    printf 'width=1024\nheight=768\nurl=rtmp://192.168.18.7/live/kovra\n'
}
script_tail() {
    cat <<EOF
end_of_settings=1
# Everything below reads the settings above; only the header is rewritten.
ifconfig lo 127.0.0.1 up
ifconfig eth0 \$ip netmask \$netmask up
route add default gw \$GW
[ -f /mnt/mac.sh ] && sh /mnt/mac.sh
if [ "\$(head -c 1 /mnt/wifi/ifwifi 2>/dev/null)" != "1" ]; then
    sh /mnt/wifi/wifi_ip.conf
    wpa_supplicant -B -D wext -i wlan0 -c /mnt/wifi/wpa.conf
fi
alsactl -f /mnt/asound.state restore
insmod /mnt/drv/capture.ko
/mnt/bin/capture -f /mnt/format.ini -i /mnt/mk120.ini -c /mnt/color.ini &
sleep 1
/mnt/bin/osd -w /mnt/m.ini -s /mnt/zk.ini -z /mnt/zhiti.ini &
/mnt/bin/encoder -b \$bitrate -r \$framerate -g \$fi -a \$ctrlencode -c $1 \\
    -s \$audiosample -p \$audiobps -x \$width -y \$height -k \$ctrlcodec &
/mnt/bin/tsout -d \$tz -p \$tc -t /mnt/ttl.ini &
/mnt/bin/rtspd -u \$url &
/mnt/bin/watchdog -q /mnt/qiehuan &
EOF
}
{ header 44100 96000; script_tail aac; } > "$mnt/autorun.sh"
{ header 44100 96000; script_tail aac; } > "$mnt/autorun.sh.h264.aac.org"
{ header 44100 128000; script_tail mp3; } > "$mnt/autorun.sh.h264.mp3.org"
cp "$mnt/autorun.sh" "$mnt/autorun.sh.swp"

# Capture: fixed XGA format, HDMI input, SDK-controlled detection.
printf '1 9' > "$mnt/format.ini"
printf '2' > "$mnt/mk120.ini"
echo 0 > "$mnt/qiehuan"
printf '1920 1080\n' > "$root/tmp/format.ini"

# Encoder parameters and colour.
echo 5 > "$mnt/kovra_maxdelay.ini"
echo 0 > "$mnt/kovra_encProfileIdc.ini"
echo 0 > "$mnt/kovra_encQuality.ini"
echo 40 > "$mnt/kovra_encLevel.ini"
printf '64' > "$mnt/ttl.ini"
printf '50' > "$mnt/idr.ini"
printf '128 0 0 0 0 0' > "$mnt/color.ini"

# Outputs: transport stream over UDP, RTSP server, no stream tag.
echo 0 > "$mnt/ts.ini"
echo 0 > "$mnt/httpts.ini"
echo 0 > "$mnt/tcp.ini"
echo 1 > "$mnt/rtsp.ini"
echo 0 > "$mnt/rtsporrtmp.ini"
printf '0 1\n' > "$mnt/kovra_rsc.ini"

# Wi-Fi enabled, with a network set through the forms.
echo 0 > "$mnt/wifi/ifwifi"
printf 'network={\nssid="studio-5g"\npsk="encoder2024"\nkey_mgmt=WPA-PSK\nproto=WPA WPA2\npairwise=CCMP\ngroup=CCMP\npriority=2\n}' \
    > "$mnt/wifi/wpa.conf"
printf 'ifconfig wlan0 192.168.0.9\n' > "$mnt/wifi/wifi_ip.conf"
printf 'ifconfig eth0 hw ether 00:1a:2b:3c:4d:5e\n' > "$mnt/mac.sh"

# Overlays, subtitle (stored form of a Chinese caption: GB2312 bytes) and font.
printf '1 10 20 300 200 0 5 6 7 8' > "$mnt/m.ini"
printf '1 100 600 \273\266\323\255\271\342\301\331' > "$mnt/zk.ini"
printf '0' > "$mnt/zhiti.ini"

# Audio: 3.5 mm input.
echo 0 > "$mnt/ha.ini"

# Mixer state of the two sound cards in alsactl's format. The volume of the
# 3.5 mm input is the first control of the second card, whose block opens
# with the 27th "{" of the file: twelve controls of the HDMI receiver with a
# comment block each, plus the two card blocks, come before it.
control() {  # index name type value count range
    printf '\tcontrol.%s {\n\t\tiface MIXER\n\t\tname %s\n' "$1" "$2"
    if [ "$5" = 2 ]; then
        printf '\t\tvalue.0 %s\n\t\tvalue.1 %s\n' "$4" "$4"
    else
        printf '\t\tvalue %s\n' "$4"
    fi
    printf '\t\tcomment {\n\t\t\taccess '"'"'read write'"'"'\n\t\t\ttype %s\n\t\t\tcount %s\n' "$3" "$5"
    [ -n "$6" ] && printf '\t\t\trange '"'"'%s'"'"'\n' "$6"
    printf '\t\t}\n\t}\n'
}
{
    echo 'state.HDMIRX {'
    control 1 "'HDMI Capture Switch'" BOOLEAN true 1 ''
    control 2 "'HDMI Capture Volume'" INTEGER 100 2 '0 - 127'
    control 3 "'SDI Capture Switch'" BOOLEAN false 1 ''
    control 4 "'SDI Capture Volume'" INTEGER 100 2 '0 - 127'
    control 5 "'Audio Source Select'" INTEGER 0 1 '0 - 3'
    control 6 "'Sample Rate Convert'" BOOLEAN true 1 ''
    control 7 "'Capture Rate'" INTEGER 44100 1 '8000 - 96000'
    control 8 "'Channel Map Left'" INTEGER 0 1 '0 - 7'
    control 9 "'Channel Map Right'" INTEGER 1 1 '0 - 7'
    control 10 "'Mute Detect'" BOOLEAN false 1 ''
    control 11 "'De-emphasis'" BOOLEAN false 1 ''
    control 12 "'Word Clock Lock'" BOOLEAN true 1 ''
    echo '}'
    echo 'state.Codec {'
    control 1 "'Line Capture Volume'" INTEGER 80 2 '0 - 100'
    control 2 "'Line Capture Switch'" BOOLEAN true 2 ''
    control 3 "'Mic Boost Volume'" INTEGER 0 1 '0 - 3'
    control 4 "'ADC High Pass Filter Switch'" BOOLEAN true 1 ''
    control 5 "'Capture Source'" INTEGER 1 1 '0 - 2'
    control 6 "'PCM Playback Volume'" INTEGER 192 2 '0 - 255'
    echo '}'
} > "$mnt/asound.state"

# Defaults that the codec template swap copies over /mnt.
for f in ts.ini httpts.ini tcp.ini rtsp.ini rtsporrtmp.ini kovra_encProfileIdc.ini \
         kovra_encQuality.ini kovra_encLevel.ini kovra_maxdelay.ini color.ini m.ini \
         zhiti.ini ha.ini; do
    cp "$mnt/$f" "$mnt/dfc/$f"
done
