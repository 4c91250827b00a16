#!/bin/sh
# Writes the seed corpora of the fuzz targets into fuzz/corpus/: small,
# realistic inputs in each target's input layout (see the comment at the
# top of each target). The seeds are committed; run this after changing
# a layout, then commit what changed.
set -eu
cd "$(dirname "$0")"
rm -rf corpus
RS=$(printf '\036')

seed() {  # seed TARGET NAME, content on standard input
    mkdir -p "corpus/$1"
    cat >"corpus/$1/$2"
}

header() {
    printf 'ip=192.168.18.209\nnetmask=255.255.255.0\ngateway=192.168.18.1\n'
    printf 'export GW=$gateway\ntz=192.168.18.122\ntc=1234\nfi=100\nctrlencode=1\n'
    printf 'ctrlcodec=1\nbitrate=2000000\nframerate=25\naudiosample=44100\naudiobps=96000\n'
    printf 'width=1024\nheight=768\nurl=rtmp://192.168.18.7/live/kovra\n'
}
tail_() {
    printf 'end\n# start the encoder with the settings above\n'
    printf '/mnt/kovra_enc -b $bitrate -f $framerate -i $fi &\n'
    printf '/mnt/kovra_stream -t $tz:$tc -u $url &\n'
}
script() { header; tail_; }

# An ALSA state whose 27th "{" opens the capture volume control.
mixer() {
    printf 'state.Codec {\n'
    i=1
    while [ $i -le 12 ]; do
        printf '\tcontrol.%d {\n\t\tiface MIXER\n\t\tname '"'"'Switch %d'"'"'\n' $i $i
        printf '\t\tvalue true\n\t\tcomment {\n\t\t\taccess '"'"'read write'"'"'\n'
        printf '\t\t\ttype BOOLEAN\n\t\t\tcount 1\n\t\t}\n\t}\n'
        i=$((i + 1))
    done
    printf '\tcontrol.13 {\n\t\tiface MIXER\n\t\tname '"'"'Mic Boost'"'"'\n\t\tvalue 0\n\t}\n'
    printf '\tcontrol.14 {\n\t\tiface MIXER\n\t\tname '"'"'Line Capture Volume'"'"'\n'
    printf '\t\tvalue.0 %s\n\t\tvalue.1 %s\n\t\tcomment {\n' "$1" "$2"
    printf '\t\t\taccess '"'"'read write'"'"'\n\t\t\ttype INTEGER\n\t\t\tcount 2\n'
    printf '\t\t\trange '"'"'0 - 100'"'"'\n\t\t}\n\t}\n}\n'
}

network_block() {
    printf 'network={\nssid=%s\npsk=%s\nkey_mgmt=WPA-PSK\nproto=WPA WPA2\n' "$1" "$2"
    printf 'pairwise=CCMP\ngroup=CCMP\npriority=2\n}'
}

# Full-width "Hello" as stored in the subtitle file.
wide_hello() { printf '\243\310\243\345\243\354\243\354\243\357'; }

# ---- form_request: method, content type, content length, query, body
printf 'GET\n\n-\nname44_submit=\n' | seed form_request get-status
printf 'GET\n\n-\ncodec_submit=&ctrlts=male&selvs=female&ctrlaz=amale\n' | seed form_request get-radios
printf 'GET\n\n-\nmg_xy&mg_x=640+px&mg_y=&&=x&sub_text=%%E5%%AD%%97%%E5%%B9%%95\n' |
    seed form_request get-odd-fields
printf 'POST\napplication/x-www-form-urlencoded\n=\n\nname1_submit=Submit&ip=192.168.1.20' |
    seed form_request post-urlencoded
printf 'post\nApplication/X-WWW-Form-Urlencoded; charset=UTF-8\n=\n\nssid_submit=&ssid=%%22my%%20net%%22&name29_submit=&menu_set_vga_mode=23' |
    seed form_request post-urlencoded-escapes
printf 'POST\napplication/x-www-form-urlencoded\n5\n\nip=1.2.3.4&name1_submit=' |
    seed form_request post-length-shorter-than-body
printf 'POST\napplication/x-www-form-urlencoded\n999\n\nip=1.2.3.4&name1_submit=' |
    seed form_request post-length-longer-than-body
printf 'POST\nmultipart/form-data; boundary=----WebKitFormBoundary7MA4YWxk\n=\n\n------WebKitFormBoundary7MA4YWxk\r\nContent-Disposition: form-data; name="sub_submit"\r\n\r\nSubmit\r\n------WebKitFormBoundary7MA4YWxk\r\nContent-Disposition: form-data; name="sub_text"\r\n\r\nline one\r\nline two\r\n------WebKitFormBoundary7MA4YWxk--\r\n' |
    seed form_request post-multipart
printf 'POST\nmultipart/form-data; charset=utf-8; boundary="XyZzy42"\n=\n\n--XyZzy42\r\nContent-Disposition: form-data; name="mac_submit"\r\n\r\n\r\n--XyZzy42\r\nContent-Disposition: form-data; name="mac"; filename="m.txt"\r\nContent-Type: text/plain\r\n\r\n00:11:22:33:44:55\r\n--XyZzy42--' |
    seed form_request post-multipart-quoted-boundary
printf 'POST\ntext/plain\n=\n\nname5_submit=' | seed form_request post-other-type

# ---- settings_text: a tag and the limit, then the text
{ printf 'A 300\n'; script; } | seed settings_text boot-script
{ printf 'A\n'; printf 'ip=10.0.0.1\r\nwifiip=10.1.2.3\nctrlcodec=2\nctrlencode=x\n'; } | seed settings_text change-lines
{ printf 'A 300\n'; network_block '"studio end ip=1"' '"s3cret"'; } | seed settings_text network-block
{ printf 'A 40\n'; printf 'lr=12\nbg=200\nbb=-1\n'; } | seed settings_text colour-keys
{ printf 'A 400\n'; printf 'url=rtmp://h/a?tc=99\ntz=1.2.3.4\nend\nbitrate=5\n'; } | seed settings_text marker-and-inner-key

# ---- boot_script: pending change line, then /mnt/autorun.sh
{ printf '\n'; script; } | seed boot_script status-query
{ printf 'bitrate=3500000\n'; script; } | seed boot_script change-bitrate
{ printf 'url=rtmp://example.com/live/stream\n'; header; tail_; tail_; tail_; } | seed boot_script change-url-long-tail
{ printf 'ip=10.0.0.2\n'; header | grep -v '^tc='; tail_; } | seed boot_script header-without-tc
{ printf 'tz=1.2.3.4\n'; header; printf 'end\n'; } | seed boot_script too-short-to-write
{ printf 'lr=12\n'; script; } | seed boot_script colour-key
{ printf 'ip=1.1.1.1\n'; printf '%0400d\nend\n' 0; } | seed boot_script no-marker-in-header

# ---- window_file: count, then /mnt/m.ini
printf '10\n1 10 20 300 200 0 5 6 7 8' | seed window_file ten-fields
printf '10\n1 10 20 300 200 0 5 6 7 8\n' | seed window_file ten-fields-newline
printf '3\n42 7x -3\n1 5 6' | seed window_file newline-inside-value
printf '1\n5' | seed window_file one-field
printf '16\n 1  2   3 4 5 6 7 8 9 10 11 12 13 14 15 16 17' | seed window_file sixteen-runs-of-spaces

# ---- replace_field: field number, text, then /mnt/m.ini
printf '1\n0\n1 10 20 300 200 0 5 6 7 8' | seed replace_field switch-off
printf '10\n9\n1 10 20 300 200 0 5 6 7 8\n' | seed replace_field last-field-newline
printf '7\n640\n1 10 20 300 200 0 5 6 7 8' | seed replace_field gx-x
printf '2\n12abc\n5' | seed replace_field missing-field

# ---- subtitle_file: item and value, then /mnt/zk.ini
{ printf '2 640\n1 10 20 '; wide_hello; } | seed subtitle_file set-x
printf '1 0\n0 0 0 ' | seed subtitle_file empty-text
printf '3 12abc\n1 10 20 \304\343\272\303' | seed subtitle_file gb2312-text
printf '4 hi\n1 10 20 ' | seed subtitle_file set-text
{ printf '2 5\n1 2 3 '; i=0; while [ $i -lt 110 ]; do printf '\243\301'; i=$((i + 1)); done; } |
    seed subtitle_file text-too-long

# ---- subtitle_text: the text as typed
printf 'Hello123' | seed subtitle_text ascii
printf '\344\275\240\345\245\275\344\270\226\347\225\214' | seed subtitle_text chinese
printf 'a b' | seed subtitle_text space
printf '\342\202\254uro' | seed subtitle_text no-gb2312-form
printf '\345\255\227\345\271\225 Subtitle 1' | seed subtitle_text mixed

# ---- mixer_state: volume value, then /mnt/asound.state
{ printf '75\n'; mixer 80 80; } | seed mixer_state volume-75
{ printf '100\n'; mixer 9 10; } | seed mixer_state different-lengths
{ printf '5\n'; mixer 80 80 | sed -n '1,40p'; } | seed mixer_state too-few-braces

# ---- format_file: format.ini, mk120.ini, qiehuan, /tmp/format.ini, mk250.ini
printf '1 9%s2%s0\n%s1920 1080\n' "$RS" "$RS" "$RS" | seed format_file fixed-format
printf '0 23%s4%s1\n%s1280 720\n%s' "$RS" "$RS" "$RS" "$RS" | seed format_file detect-sdi-model
printf '1 99' | seed format_file out-of-range
printf '0 9%s%s%s1920 1080\n' "$RS" "$RS" "$RS" | seed format_file empty-input-type

# ---- colour_file: key and value, then /mnt/color.ini
printf 'bg 12\n128 0 0 0 0 0' | seed colour_file bg
printf 'lr 255\n128 10 20 30 40 50\n' | seed colour_file lr
printf 'bb -5\n1 2 x' | seed colour_file short-file
printf 'xx 1\n128 0 0 0 0 0' | seed colour_file not-a-key

# ---- wifi_files: pending change line, wpa.conf, wifi_ip.conf
{ printf '%s' "$RS"; network_block '"studio"' '"s3cret"'; printf '%sifconfig wlan0 192.168.0.9\n' "$RS"; } |
    seed wifi_files status
{ printf 'ssid="studio2"\n%s' "$RS"; network_block '"studio"' '"s3cret"'; printf '%sifconfig wlan0 192.168.0.9\n' "$RS"; } |
    seed wifi_files change-ssid
{ printf 'wifiip=10.1.2.3\n%s' "$RS"; network_block kovra plume; printf '%sifconfig wlan0 10.0.0.1\n' "$RS"; } |
    seed wifi_files change-address
{ printf 'bitrate=3000000\n%snetwork={\n}%sifconfig wlan0 fe80::1:2:3:4:5:6:7:8\n' "$RS" "$RS"; } |
    seed wifi_files long-address

# ---- state_document: autorun.sh, wpa.conf, wifi_ip.conf, m.ini, zk.ini, format.ini,
# mk120.ini, asound.state, color.ini, mac.sh, level, max delay, ts.ini, rtsporrtmp.ini,
# kovra_rsc.ini, /tmp/format.ini
{ script; printf '%s' "$RS"; network_block '"studio"' '"s3cret"'
  printf '%sifconfig wlan0 192.168.0.9\n%s1 10 20 300 200 0 5 6 7 8%s1 0 0 \243\301%s1 9%s2%s' \
      "$RS" "$RS" "$RS" "$RS" "$RS" "$RS"
  printf '%s128 0 0 0 0 0%sifconfig eth0 hw ether 02:00:00:00:00:01\n%s40\n%s5\n%s0\n%s1\n%s0 1\n%s1920 1080\n' \
      "$RS" "$RS" "$RS" "$RS" "$RS" "$RS" "$RS" "$RS"; } | seed state_document complete
{ printf 'xlr=5\n'; script; printf '%snetwork={\n\tscan_ssid=1\n\tpsk=%s\n}%s#!/bin/sh\n' "$RS" \
      0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef "$RS"
  printf '%s 1  2 3%s1 2%sab%s%s' "$RS" "$RS" "$RS" "$RS" "$RS"; } | seed state_document hand-written

# request_source: Origin, Sec-Fetch-Site, Host, HTTPS, then an RTMP address.
printf 'https://device.lan\nsame-origin\ndevice.lan\n1\nrtmp://192.168.18.7/live/kovra' | seed request_source own-page
printf 'null\nsame-origin\ndevice.lan:8443\n1\nrtmp://u:p@10.0.0.5:1935/app?t0ken-x' | seed request_source opaque-origin
printf 'http://[fd00::1]:8080\nsame-site\n[fd00::1]:8080\n\nhost/app/key/more' | seed request_source sibling-host
printf '\n\n\n\nrtmp://10.0.0.5/live/' | seed request_source nothing-sent

# change_set: a change set body (JSON).
printf '{"settings": {"encoder": {"bitrate": 6000000}, "network": {"ip": "10.0.0.5"}}, "codec_template": "aac"}' | seed change_set template-and-address
printf '{"settings": {"overlays": {"mg": {"x": 64, "enabled": true}}, "subtitle": {"text": "字幕 live"}, "outputs": {"rtmp_url": "rtmp://h/app", "rtmp_key": "k"}}}' | seed change_set groups-and-parts
printf '{"settings": {"encoder": {"bitrate": 0, "level": 7.0, "x": null}, "wifi": {"passphrase_set": true}}, "extra": []}' | seed change_set every-error
