// The pages with a script: every field filled from the device's state
// document, values checked against the device's own schema before they are
// sent, one Save per section, results in words under each field, a restart
// that waits for the device, English and Chinese. Without this script the
// forms post one command each and the browser shows the device's reply.
'use strict';

(function () {
  const root = document.documentElement;
  root.classList.remove('no-js');
  root.classList.add('js');

  const STATE_URL = 'cgi-bin/state.cgi';
  const CGI_URL = 'cgi-bin/webcfg.cgi';
  // The device waits up to 10 s for another request to finish before it
  // answers "busy", so a request gets longer than that.
  const REQUEST_TIMEOUT_MS = 20000;
  const POLL_INTERVAL_MS = 1500;
  const POLL_TIMEOUT_MS = 4000;
  const RESTART_PATIENCE_MS = 180000;
  // How often an open page reads the device again for its summary.
  const SUMMARY_REFRESH_MS = 15000;
  // How long a restart with a trial waits for "keep" before going back.
  const TRIAL_SECONDS = 300;
  const LANG_KEY = 'webcfg.lang';
  const MASK = '••••••••';

  // ---- Texts ----

  // Texts the script writes, by message id. {name} takes a value.
  const MESSAGES = {
    en: {
      title: 'Encoder configuration',
      listSeparator: '; ',
      changed: 'changed',
      sending: 'Sending…',
      saved: '{label} saved: {value}.',
      savedNoValue: '{label} saved.',
      afterRestart: 'It is used after the device restarts.',
      cancelled: '{label} not changed: cancelled, nothing was sent.',
      notSaved: '{label} not saved: {reason}',
      whyRequest: 'the device did not answer ({detail}).',
      whyStill: 'the device still reports {value}.',
      notKnown: '{label}: not known yet whether it was saved; the device did not answer.',
      notKnownYet: 'The device did not answer, so whether the changes were saved is not known yet. This page reads the device again as soon as it answers.',
      whyNotApplied: 'nothing in this section was changed, because {label} was not accepted.',
      whyNotStored: 'the device does not read it back as sent; nothing was changed.',
      whyElsewhere: 'the device was changed elsewhere since this page read it, and now holds {value}. Save sends your value again; Refresh status takes the device\'s.',
      changedElsewhere: 'Not saved: the device was changed elsewhere since this page read it. Under each field is what it holds now; Save sends your values again, Refresh status takes the device\'s.',
      errDevice: 'The device refuses this value: {message}',
      warnGateway: 'The gateway {gw} is outside the subnet of {ip} with mask {mask}: the device could not reach other networks through it. Press Save again to send it as it is.',
      warnFirst: 'Nothing was sent yet: see the warning below the field.',
      backupReading: 'Reading the settings with their secrets…',
      backupFailed: 'The settings could not be read: {detail}.',
      backupSaved: 'Saved as {name}. It holds the Wi-Fi pass phrase and the stream key.',
      restoreNotJson: 'This file is not a settings file (it is not JSON). Nothing was sent.',
      restoreNotBackup: 'This file holds no settings. Nothing was sent.',
      restoreUnknown: '{name} is no setting of this device',
      restoreNoChoice: 'a value this device does not offer',
      restoreRefused: 'Nothing was sent: the file holds values this device does not take: {list}.',
      restoreNothing: 'The device already holds every setting of this file. Nothing was sent.',
      restorePlanned: 'The file changes {n} setting(s), listed below. The ticked ones are applied together when you press Apply.',
      restoreItem: '{label}: {now} now, {value} from the file',
      restoreSecret: '{label}: changes (not shown)',
      restorePerDevice: '(this device\'s own; applied only if ticked)',
      restoreNoneTicked: 'Nothing is ticked: nothing was sent.',
      restoreCancelled: 'Restore cancelled: nothing was sent.',
      restoreDone: 'Restored: {n} setting(s) changed.',
      restoreDoneRestart: 'Restored: {n} setting(s) changed. They are used after the device restarts.',
      restoreElsewhere: 'Nothing was changed: the device was changed elsewhere meanwhile. Choose the file again to see what it changes now.',
      restoreFailed: 'Nothing was changed: {reason}.',
      whyLong: 'the device says the value is too long.',
      whyChar: 'the device says the value holds a character that is not allowed.',
      whyValue: 'the device refused the value.',
      whyEmpty: 'the device says the value is empty.',
      whyBusy: 'the device was busy with another change and did nothing. Try again.',
      whyFile: 'the device could not open its settings file.',
      whyConvert: 'some characters cannot be shown by the device (only Chinese GB2312 and ASCII characters).',
      whyRange: 'the device says the value is out of range.',
      whyRefused: 'the device did not accept the value.',
      whyError: 'the device reported an error.',
      whyNoOk: 'the device did not confirm the change.',
      rawReply: 'Reply of the device',
      emptyReply: '(empty reply)',
      nothingChanged: 'Nothing to save: no field of this section was changed.',
      fixFirst: 'Nothing was sent: {n} field(s) need another value (see below the fields).',
      timeout: 'no answer within 20 seconds',
      httpStatus: 'HTTP status {status}',
      noAnswer: 'no connection',
      errEmpty: 'Enter a value.',
      errNumber: 'Enter a whole number from {min} to {max}.',
      errRange: 'Enter a whole number from {min} to {max}.',
      errChoice: 'Enter one of: {list}.',
      errLong: 'Enter at most {max} characters.',
      errShort: 'Enter at least {min} characters.',
      errAddress: 'Enter four numbers from 0 to 255 separated by dots, such as 192.168.1.60.',
      errMac: 'Enter six pairs of hexadecimal digits separated by colons, such as 02:1a:2b:3c:4d:5e.',
      errUrl: 'Enter a server and application without spaces, quotes or "=", such as rtmp://192.168.1.20/live; the stream key goes in its own field.',
      errForm: 'This value has a character or form the device does not take.',
      on: 'on',
      off: 'off',
      unknown: 'unknown',
      loading: 'Reading the settings from the device…',
      loadFailed: 'The device did not report its settings; the fields are empty. Reload the page to try again.',
      current: 'As the device reported it at {time}.',
      pendingNote: 'What the device runs, as it reported it at {time}; marked: saved changes that wait for a restart.',
      afterRestart2: 'After a restart:',
      bannerList: 'Waiting: {list}.',
      unreachable: 'The device does not answer (since {since}). What this page shows was read at {read}.',
      sumAddress: 'Address',
      sumAddressValue: '{ip}, subnet mask {mask}, gateway {gw}',
      sumOutputs: 'Stream outputs',
      tsOff: 'transport stream off',
      tsOn: 'transport stream {mode} to {to}',
      rtspOn: 'RTSP server on',
      rtmpOn: 'RTMP push to {url}',
      rtspRtmpOff: 'RTSP and RTMP off',
      sumEncoder: 'Encoder',
      encoderValue: '{rate} Mbit/s, {fps} frames per second, H.264 {profile}, picture size {size}',
      inputSize: 'as the input',
      sumInput: 'Input detected',
      inputValue: '{input}, {format}',
      noSignal: 'no signal',
      sumWifi: 'Wi-Fi',
      wifiOn: 'on, network {ssid}, address {ip}',
      sumAudio: 'Audio',
      audioOn: 'on, {input}, {codec}, {rate} Hz',
      analogue: '3.5 mm analogue input',
      sumUnreadable: 'Unreadable files',
      unreadableValue: '{files} (the fields they hold stay empty)',
      embedded: 'embedded in the video input',
      restartConfirm: 'Restart the device now? Its streams stop for about a minute. It comes back at the address {address}.',
      restartCancelled: 'Restart cancelled: nothing was sent.',
      restartText: 'The device comes back at the address {address}. This page waits for it.',
      restartSending: 'Asking the device to restart…',
      restartWaiting: 'Waiting for the device to answer again…',
      restartNoAnswer: 'No answer from the device for {minutes} min (last asked at {time}). Check its power and network cable; this page keeps asking.',
      restartNotYet: 'The device answers (last at {time}) but still reports changes that wait for a restart: it has not restarted yet.',
      trialLeftOpen: 'Not decided: unless its settings are kept, the device goes back to its previous settings in about {seconds} s. Open this page again to decide.',
      restartLeftOpen: 'This page no longer watches the restart. Refresh status shows what the device reports.',
      restartBack: 'The device answers again.',
      restartAskH: 'Restart the device?',
      restartH: 'Restarting the device',
      trialLabel: 'Go back to the settings the device runs now unless I keep the new ones within {minutes} minutes of its restart.',
      trialIfAway: 'If it does not answer there, it goes back to its previous settings {minutes} minutes after it starts (not before {time}) and answers at {old} again; this page keeps watching {old}.',
      trialKeepH: 'Keep these settings?',
      trialKeepText: 'The device restarted with the new settings. Unless you keep them, it goes back to its previous settings in {seconds} s.',
      trialKeeping: 'Telling the device to keep its settings…',
      trialGoingBack: 'Telling the device to go back…',
      trialNoAnswer: 'The device did not answer ({detail}); nothing is decided yet. Try again.',
      trialRanOut: 'Not kept in time: the device goes back to its previous settings and restarts. Waiting for it…',
      trialOver: 'The trial had already ended. Waiting for the device…',
      trialKept: 'The device keeps its new settings.',
      trialGoneBack: 'The device went back to its previous settings and started again with them. Put back: {settings}.',
      restartRefused: 'The device did not restart: {detail}.',
      openAt: 'Open the device at {address}',
      swapH: 'Switch to the factory template for {codec}?',
      swapText: 'Audio in {codec} comes with the encoder\'s factory template for it, which replaces the device\'s start-up settings. These return to their factory values:',
      swapAlso: 'The output switches, H.264 profile, mode, level, maximum delay, audio input and colour values return to their defaults too.',
      swapAlsoKept: 'The H.264 profile, mode, level, maximum delay, audio input and colour values return to their defaults too.',
      swapItem: '{label}: {now} now, {factory} after the switch',
      reading: 'Reading the settings from the device…',
      readDone: 'Every field now shows what the device reports.',
      readFailed: 'The settings could not be read: {detail}.',
    },
    zh: {
      title: '编码器配置',
      listSeparator: '；',
      changed: '已更改',
      sending: '正在发送…',
      saved: '{label}已保存：{value}。',
      savedNoValue: '{label}已保存。',
      afterRestart: '设备重启后生效。',
      cancelled: '{label}未更改：已取消，没有发送任何内容。',
      notSaved: '{label}未保存：{reason}',
      whyRequest: '设备没有应答（{detail}）。',
      whyStill: '设备仍然报告 {value}。',
      notKnown: '{label}：设备没有应答，尚不知道是否已保存。',
      notKnownYet: '设备没有应答，因此尚不知道更改是否已保存。设备一应答，本页就会重新读取。',
      whyNotApplied: '本节没有任何更改，因为{label}未被接受。',
      whyNotStored: '设备读回的值与发送的不同；没有做任何更改。',
      whyElsewhere: '自本页读取以来，设备已在别处被更改，现在为 {value}。“保存”会再次发送您的值；“刷新状态”采用设备的值。',
      changedElsewhere: '未保存：自本页读取以来，设备已在别处被更改。各字段下方是设备现在的值；“保存”会再次发送您的值，“刷新状态”采用设备的值。',
      errDevice: '设备拒绝这个值：{message}',
      warnGateway: '网关 {gw} 不在 {ip}（子网掩码 {mask}）的子网内：设备将无法通过它访问其他网络。再按一次“保存”即按原样发送。',
      warnFirst: '尚未发送任何内容：请查看字段下方的警告。',
      backupReading: '正在读取设置（含密钥）…',
      backupFailed: '无法读取设置：{detail}。',
      backupSaved: '已保存为 {name}。文件中含有 Wi-Fi 密码和推流密钥。',
      restoreNotJson: '这个文件不是设置文件（不是 JSON）。没有发送任何内容。',
      restoreNotBackup: '这个文件不含任何设置。没有发送任何内容。',
      restoreUnknown: '{name} 不是本设备的设置',
      restoreNoChoice: '本设备不提供这个值',
      restoreRefused: '没有发送任何内容：文件中有本设备不接受的值：{list}。',
      restoreNothing: '设备已具有此文件中的所有设置。没有发送任何内容。',
      restorePlanned: '此文件会更改 {n} 项设置，见下方列表。按“应用”时，已勾选的项会一起应用。',
      restoreItem: '{label}：现在为 {now}，文件中为 {value}',
      restoreSecret: '{label}：会更改（不显示）',
      restorePerDevice: '（本设备专有；仅在勾选时应用）',
      restoreNoneTicked: '没有勾选任何项：没有发送任何内容。',
      restoreCancelled: '已取消恢复：没有发送任何内容。',
      restoreDone: '已恢复：更改了 {n} 项设置。',
      restoreDoneRestart: '已恢复：更改了 {n} 项设置。设备重启后生效。',
      restoreElsewhere: '没有做任何更改：设备在此期间已在别处被更改。请重新选择文件，查看它现在会更改什么。',
      restoreFailed: '没有做任何更改：{reason}。',
      whyLong: '设备表示该值太长。',
      whyChar: '设备表示该值含有不允许的字符。',
      whyValue: '设备拒绝了该值。',
      whyEmpty: '设备表示该值为空。',
      whyBusy: '设备正忙于另一项更改，什么也没有做。请重试。',
      whyFile: '设备无法打开其设置文件。',
      whyConvert: '设备无法显示部分字符（只能显示 GB2312 中文和 ASCII 字符）。',
      whyRange: '设备表示该值超出范围。',
      whyRefused: '设备没有接受该值。',
      whyError: '设备报告了错误。',
      whyNoOk: '设备没有确认这项更改。',
      rawReply: '设备的回复',
      emptyReply: '（空回复）',
      nothingChanged: '没有需要保存的内容：本节没有更改任何字段。',
      fixFirst: '没有发送任何内容：有 {n} 个字段需要改用其他值（见字段下方）。',
      timeout: '20 秒内没有应答',
      httpStatus: 'HTTP 状态 {status}',
      noAnswer: '无法连接',
      errEmpty: '请输入一个值。',
      errNumber: '请输入 {min} 到 {max} 之间的整数。',
      errRange: '请输入 {min} 到 {max} 之间的整数。',
      errChoice: '请输入以下之一：{list}。',
      errLong: '最多输入 {max} 个字符。',
      errShort: '至少输入 {min} 个字符。',
      errAddress: '请输入用点分隔的四个 0 到 255 之间的数字，例如 192.168.1.60。',
      errMac: '请输入用冒号分隔的六组十六进制数字，例如 02:1a:2b:3c:4d:5e。',
      errUrl: '请输入不含空格、引号或“=”的服务器和应用名，例如 rtmp://192.168.1.20/live；推流密钥填在单独的字段中。',
      errForm: '该值含有设备不接受的字符或格式。',
      on: '开',
      off: '关',
      unknown: '未知',
      loading: '正在从设备读取设置…',
      loadFailed: '设备没有报告其设置，字段为空。请重新加载页面再试。',
      current: '设备在 {time} 报告的状态。',
      pendingNote: '设备正在运行的设置（于 {time} 读取）；标记的是等待重启的已保存更改。',
      afterRestart2: '重启后：',
      bannerList: '等待中：{list}。',
      unreachable: '设备没有应答（自 {since} 起）。本页显示的内容读取于 {read}。',
      sumAddress: '地址',
      sumAddressValue: '{ip}，子网掩码 {mask}，网关 {gw}',
      sumOutputs: '流输出',
      tsOff: '传输流关闭',
      tsOn: '传输流 {mode} 发往 {to}',
      rtspOn: 'RTSP 服务器开启',
      rtmpOn: 'RTMP 推流到 {url}',
      rtspRtmpOff: 'RTSP 和 RTMP 关闭',
      sumEncoder: '编码器',
      encoderValue: '{rate} 兆比特/秒，每秒 {fps} 帧，H.264 {profile}，画面尺寸 {size}',
      inputSize: '与输入相同',
      sumInput: '检测到的输入',
      inputValue: '{input}，{format}',
      noSignal: '无信号',
      sumWifi: 'Wi-Fi',
      wifiOn: '开，网络 {ssid}，地址 {ip}',
      sumAudio: '音频',
      audioOn: '开，{input}，{codec}，{rate} Hz',
      analogue: '3.5 毫米模拟输入',
      sumUnreadable: '无法读取的文件',
      unreadableValue: '{files}（其中的设置字段保持为空）',
      embedded: '视频输入中的嵌入音频',
      restartConfirm: '现在重启设备吗？视频流将中断约一分钟。设备重启后的地址为 {address}。',
      restartCancelled: '已取消重启：没有发送任何内容。',
      restartText: '设备重启后的地址为 {address}。本页正在等待设备。',
      restartSending: '正在请求设备重启…',
      restartWaiting: '正在等待设备再次应答…',
      restartNoAnswer: '设备已 {minutes} 分钟没有应答（最后一次询问于 {time}）。请检查电源和网线；本页会继续询问。',
      restartNotYet: '设备有应答（最后一次于 {time}），但仍报告有等待重启的更改：设备尚未重启。',
      trialLeftOpen: '尚未决定：如果不保留，设备将在约 {seconds} 秒后恢复为之前的设置。再次打开本页即可决定。',
      restartLeftOpen: '本页已不再关注这次重启。“刷新状态”显示设备报告的内容。',
      restartBack: '设备已再次应答。',
      restartAskH: '重启设备吗？',
      restartH: '正在重启设备',
      trialLabel: '如果我没有在重启后 {minutes} 分钟内保留新设置，就恢复为设备当前运行的设置。',
      trialIfAway: '如果设备在该地址没有应答，它会在启动 {minutes} 分钟后（不早于 {time}）恢复为之前的设置，并重新在 {old} 应答；本页会继续关注 {old}。',
      trialKeepH: '保留这些设置吗？',
      trialKeepText: '设备已使用新设置重启。如果不保留，设备将在 {seconds} 秒后恢复为之前的设置。',
      trialKeeping: '正在通知设备保留设置…',
      trialGoingBack: '正在通知设备恢复…',
      trialNoAnswer: '设备没有应答（{detail}）；尚未做出决定。请重试。',
      trialRanOut: '未及时保留：设备将恢复为之前的设置并重启。正在等待设备…',
      trialOver: '试用已经结束。正在等待设备…',
      trialKept: '设备保留了新设置。',
      trialGoneBack: '设备已恢复为之前的设置，并以这些设置重新启动。恢复的设置：{settings}。',
      restartRefused: '设备没有重启：{detail}。',
      openAt: '在 {address} 打开设备',
      swapH: '切换到 {codec} 的出厂模板吗？',
      swapText: '{codec} 音频随编码器的出厂模板提供，该模板会替换设备的启动设置。以下设置将恢复为出厂值：',
      swapAlso: '输出开关、H.264 档次、模式、级别、最大延迟、音频输入和颜色值也会恢复默认值。',
      swapAlsoKept: 'H.264 档次、模式、级别、最大延迟、音频输入和颜色值也会恢复默认值。',
      swapItem: '{label}：现在为 {now}，切换后为 {factory}',
      reading: '正在从设备读取设置…',
      readDone: '所有字段现在显示设备报告的值。',
      readFailed: '无法读取设置：{detail}。',
    },
  };

  // The page's own English texts and their Chinese, whitespace folded.
  const ZH_STATIC = {
    "Skip to the settings": "跳到设置",
    "Encoder configuration": "编码器配置",
    "Language": "语言",
    "Overview": "概览",
    "Restart": "重启",
    "Network": "网络",
    "Outputs": "输出",
    "Video encoder": "视频编码器",
    "Capture": "采集",
    "Audio": "音频",
    "Picture": "画面",
    "Overlays": "叠加窗口",
    "Subtitle": "字幕",
    "Changes wait for a restart of the device.": "更改要等设备重启后才生效。",
    "Restart now": "立即重启",
    "Cancel": "取消",
    "Keep this device's network address and outputs": "保留本设备的网络地址和输出",
    "Switch": "切换",
    "Backup and restore": "备份和恢复",
    "Saves every setting of the device to a file on this computer. The file holds the Wi-Fi pass phrase and the RTMP stream key: keep it where only you can read it.": "将设备的所有设置保存到本机的文件中。文件中含有 Wi-Fi 密码和 RTMP 推流密钥：请存放在只有您能读取的地方。",
    "Download settings": "下载设置",
    "Reads such a file, shows what it would change, and applies it as one change. The IP address, the hardware address and the Wi-Fi address stay as they are unless you tick them.": "读取这样的文件，显示它会更改的内容，并作为一次更改应用。除非勾选，IP 地址、硬件地址和 Wi-Fi 地址保持不变。",
    "Restore settings from a file": "从文件恢复设置",
    "Apply": "应用",
    "Close": "关闭",
    "Keep these settings": "保留这些设置",
    "Go back now": "立即恢复",
    "The device now": "设备当前状态",
    "Change fields in a section below, then press that section's Save. Changed fields are marked until they are saved.": "在下面的某一节中修改字段，然后按该节的“保存”。已修改的字段在保存前会被标记。",
    "Restart and device report": "重启和设备报告",
    "Reads the current settings from the device again and fills every field.": "重新从设备读取当前设置并填入所有字段。",
    "Refresh status": "刷新状态",
    "Restarts the device so that saved settings take effect. The streams stop for about a minute.": "重启设备，使已保存的设置生效。视频流将中断约一分钟。",
    "Reboot device": "重启设备",
    "Restarting the device": "正在重启设备",
    "IP address": "IP 地址",
    "Ethernet address, such as 192.168.1.60.": "以太网地址，例如 192.168.1.60。",
    "Subnet mask": "子网掩码",
    "Such as 255.255.255.0.": "例如 255.255.255.0。",
    "Gateway": "网关",
    "Default gateway, such as 192.168.1.1.": "默认网关，例如 192.168.1.1。",
    "Hardware (MAC) address": "硬件（MAC）地址",
    "Six pairs of hexadecimal digits separated by colons, such as 02:1a:2b:3c:4d:5e.": "用冒号分隔的六组十六进制数字，例如 02:1a:2b:3c:4d:5e。",
    "Save": "保存",
    "On": "开",
    "Off": "关",
    "Wi-Fi": "Wi-Fi",
    "Network name (SSID)": "网络名称（SSID）",
    "Up to 32 characters, without double quotes.": "最多 32 个字符，不能含双引号。",
    "Wi-Fi password": "Wi-Fi 密码",
    "8 to 63 characters without double quotes, or a key of 64 hexadecimal digits. The device never shows it; leave the field empty to keep it.": "8 到 63 个字符，不能含双引号；或 64 位十六进制密钥。设备从不显示密码；留空则保持不变。",
    "Wi-Fi address": "Wi-Fi 地址",
    "Address of the wireless interface, such as 192.168.0.9.": "无线接口的地址，例如 192.168.0.9。",
    "Transport stream": "传输流",
    "Stream tag (TCP) output": "流标签（TCP）输出",
    "RTSP server or RTMP push": "RTSP 服务器或 RTMP 推流",
    "RTSP server": "RTSP 服务器",
    "RTMP push": "RTMP 推流",
    "Both off": "都关闭",
    "Transport stream receiver address": "传输流接收地址",
    "Where the UDP transport stream goes: a host or multicast address, such as 239.1.1.1.": "UDP 传输流的目的地：主机或组播地址，例如 239.1.1.1。",
    "Transport stream receiver port": "传输流接收端口",
    "UDP port of the receiver, 1 to 65535.": "接收方的 UDP 端口，1 到 65535。",
    "RTMP push address (URL)": "RTMP 推流地址（URL）",
    "Where the RTMP push goes, such as": "RTMP 推流的目的地，例如",
    ". No spaces, quotes, \"=\" or \"~\"; its length is bounded by the room the other start-up settings leave.": "。不能含空格、引号、“=”或“~”；长度受其他启动设置所余空间限制。",
    "RTMP stream key": "RTMP 推流密钥",
    "What follows the application name in the address. The device never shows it; leave the field empty to keep it. Changing the address above needs the key again.": "地址中应用名之后的部分。设备从不显示它；留空则保留原密钥。修改上面的地址时需要再次输入密钥。",
    "Video bit rate (bit/s)": "视频码率（比特/秒）",
    "Bits per second, 1 to 999999999: 4000000 is 4 Mbit/s.": "每秒比特数，1 到 999999999：4000000 即每秒 4 兆比特。",
    "Frame rate (frames per second)": "帧率（帧/秒）",
    "Frames per second, 1 to 60, such as 25 or 30.": "每秒帧数，1 到 60，例如 25 或 30。",
    "Key frame interval (frames)": "关键帧间隔（帧）",
    "Frames from one full picture (I frame) to the next, 1 to 9999999.": "相邻两个完整画面（I 帧）之间的帧数，1 到 9999999。",
    "Restart frame interval (frames)": "IDR 帧间隔（帧）",
    "Frames from one IDR frame (where a viewer can start) to the next, 0 to 2147483647.": "相邻两个 IDR 帧（观看者可从此开始播放）之间的帧数，0 到 2147483647。",
    "H.264 profile": "H.264 档次",
    "High": "高档次",
    "Main": "主档次",
    "Baseline": "基本档次",
    "Encoding mode": "编码模式",
    "Best quality": "画质优先",
    "Best speed": "速度优先",
    "H.264 level": "H.264 级别",
    "Maximum delay (units of 100 ms)": "最大延迟（单位 100 毫秒）",
    "1 to 300: 5 means 500 ms.": "1 到 300：5 表示 500 毫秒。",
    "Packet lifetime (router hops)": "数据包生存时间（路由跳数）",
    "How many routers the stream packets may pass (TTL), 1 to 255.": "流数据包最多可经过的路由器数量（TTL），1 到 255。",
    "Picture scaling": "画面缩放",
    "On: scale to the size below": "开：缩放到下面的尺寸",
    "Off: keep the input size": "关：保持输入尺寸",
    "Scaled width (pixels)": "缩放宽度（像素）",
    "Pixels, 16 to 1920 (used when scaling is on).": "像素，16 到 1920（开启缩放时使用）。",
    "Scaled height (pixels)": "缩放高度（像素）",
    "Capture format": "采集格式",
    "Used when the capture mode below is \"Fixed format\".": "在下面的采集模式为“固定格式”时使用。",
    "Input": "输入",
    "VGA (DVI-I to VGA)": "VGA（DVI-I 转 VGA）",
    "Capture mode": "采集模式",
    "Detect the format from the signal": "根据信号检测格式",
    "Fixed format (the one chosen above)": "固定格式（上面选择的格式）",
    "When a different format is detected": "检测到不同格式时",
    "Let the encoder adapt (default)": "由编码器自动适应（默认）",
    "Reboot the device automatically": "自动重启设备",
    "Audio encoding": "音频编码",
    "Audio input": "音频输入",
    "Embedded audio of the HDMI (or SDI) input": "HDMI（或 SDI）输入中的嵌入音频",
    "3.5 mm analogue input": "3.5 毫米模拟输入",
    "Sample rate (Hz)": "采样率（Hz）",
    "Samples per second: 32000, 44100 or 48000.": "每秒采样数：32000、44100 或 48000。",
    "Audio bit rate (bit/s)": "音频码率（比特/秒）",
    "Bits per second, such as 128000.": "每秒比特数，例如 128000。",
    "Analogue input volume (%)": "模拟输入音量（%）",
    "Volume of the 3.5 mm input, 0 to 100.": "3.5 毫米输入的音量，0 到 100。",
    "Audio codec": "音频编码格式",
    "Switching the codec replaces the boot script with the factory template of that codec: every setting kept there (addresses, bit rates, frame rate, audio, scaling, RTMP URL) returns to its factory value.": "切换编码格式会用该格式的出厂模板替换启动脚本：其中保存的每项设置（地址、码率、帧率、音频、缩放、RTMP 地址）都会恢复为出厂值。",
    "Colour adjustment of the captured picture: two sets (L and B) of red, green and blue values.": "采集画面的颜色调整：两组（L 和 B）红、绿、蓝值。",
    "L red": "L 红",
    "L green": "L 绿",
    "L blue": "L 蓝",
    "B red": "B 红",
    "B green": "B 绿",
    "B blue": "B 蓝",
    "Whole numbers from -999 to 9999.": "-999 到 9999 之间的整数。",
    "Window 1": "窗口 1",
    "Window 1 on the picture": "在画面上显示窗口 1",
    "Show": "显示",
    "Hide": "隐藏",
    "of window 1": "（窗口 1）",
    "Width": "宽度",
    "Height": "高度",
    "Window 2": "窗口 2",
    "Window 2 on the picture": "在画面上显示窗口 2",
    "of window 2": "（窗口 2）",
    "Positions and sizes in pixels of the encoded picture, 0 to 9999.": "编码画面中的位置和尺寸，单位像素，0 到 9999。",
    "Font size": "字体大小",
    "Big": "大",
    "Small": "小",
    "Text": "文字",
    "Up to 99 characters: Chinese (GB2312) and ASCII characters. Latin letters are shown full-width.": "最多 99 个字符：GB2312 中文和 ASCII 字符。拉丁字母以全角显示。",
    "X position (pixels)": "X 位置（像素）",
    "Y position (pixels)": "Y 位置（像素）",
    "Pixels from the left and top edges of the picture, 0 to 9999.": "距画面左边和上边的像素数，0 到 9999。",
    "Sections": "各节",
  };
  let lang = chooseLanguage();

  function chooseLanguage() {
    let stored = null;
    try { stored = localStorage.getItem(LANG_KEY); } catch { /* storage off */ }
    if (stored && MESSAGES[stored]) return stored;
    for (const l of navigator.languages || [navigator.language || 'en']) {
      const low = String(l).toLowerCase();
      if (low.startsWith('zh')) return 'zh';
      if (low.startsWith('en')) return 'en';
    }
    return 'en';
  }

  function t(id, params = {}) {
    const text = MESSAGES[lang][id] ?? MESSAGES.en[id] ?? id;
    return text.replace(/\{(\w+)\}/g, (_, k) => (params[k] === undefined ? '' : String(params[k])));
  }

  // The same as nodes: a value (a setting as the device or the user wrote it)
  // is marked as not to be translated; {own: text} is a text of the page.
  function tNodes(id, params = {}) {
    const text = MESSAGES[lang][id] ?? MESSAGES.en[id] ?? id;
    const out = document.createDocumentFragment();
    text.split(/\{(\w+)\}/).forEach((part, i) => {
      if (i % 2 === 0) { if (part) out.append(part); return; }
      const v = params[part];
      if (v === undefined || v === null) return;
      if (typeof v === 'object' && 'own' in v) { out.append(v.own); return; }
      const span = document.createElement('span');
      span.setAttribute('translate', 'no');
      span.textContent = String(v);
      out.append(span);
    });
    return out;
  }

  function own(text) { return { own: text }; }

  function putSentences(el, sentences, separator = ' ') {
    el.textContent = '';
    sentences.forEach(([id, params], i) => {
      if (i) el.append(separator);
      el.append(tNodes(id, params));
    });
  }

  const ORIGINAL = new WeakMap();
  const ATTRIBUTES = ['aria-label', 'title'];

  // Static texts of the page are written in English; the Chinese page swaps
  // each text node and label attribute for its translation.
  function translateStatic() {
    document.title = lang === 'zh' ? ZH_STATIC[MESSAGES.en.title] : MESSAGES.en.title;
    const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT | NodeFilter.SHOW_ELEMENT, {
      acceptNode(node) {
        if (node.nodeType === Node.ELEMENT_NODE) {
          if (node.hasAttribute('data-dyn') || node.getAttribute('translate') === 'no' ||
              node.tagName === 'SCRIPT' || node.tagName === 'STYLE') return NodeFilter.FILTER_REJECT;
          return NodeFilter.FILTER_SKIP;
        }
        return NodeFilter.FILTER_ACCEPT;
      },
    });
    for (let node = walker.nextNode(); node; node = walker.nextNode()) {
      if (!ORIGINAL.has(node)) ORIGINAL.set(node, node.nodeValue);
      const english = ORIGINAL.get(node);
      node.nodeValue = lang === 'zh' ? zhOf(english) : english;
    }
    for (const el of document.querySelectorAll(ATTRIBUTES.map((a) => `[${a}]`).join(','))) {
      for (const a of ATTRIBUTES) {
        if (!el.hasAttribute(a)) continue;
        const key = `data-en-${a}`;
        if (!el.hasAttribute(key)) el.setAttribute(key, el.getAttribute(a));
        const english = el.getAttribute(key);
        el.setAttribute(a, lang === 'zh' ? zhOf(english) : english);
      }
    }
  }

  function zhOf(english) {
    const key = english.replace(/\s+/g, ' ').trim();
    if (!key) return english;
    let zh = ZH_STATIC[key];
    const level = /^Level (\S+)$/.exec(key);
    if (zh === undefined && level) zh = `级别 ${level[1]}`;
    if (zh === undefined) return english;
    const lead = /^\s*/.exec(english)[0];
    const trail = /\s*$/.exec(english)[0];
    return lead + zh + trail;
  }

  function setLanguage(next, remember) {
    lang = MESSAGES[next] ? next : 'en';
    root.lang = lang === 'zh' ? 'zh-CN' : 'en';
    if (remember) try { localStorage.setItem(LANG_KEY, lang); } catch { /* storage off */ }
    const select = document.getElementById('lang');
    if (select) select.value = lang;
    translateStatic();
    renderDynamic();
  }

  // ---- Requests ----

  class RequestError extends Error {
    constructor(kind, detail) { super(`${kind} ${detail || ''}`); this.kind = kind; this.detail = detail; }
  }

  async function request(url, init = {}, timeoutMs = REQUEST_TIMEOUT_MS) {
    const abort = new AbortController();
    const timer = setTimeout(() => abort.abort(), timeoutMs);
    try {
      const response = await fetch(url, { cache: 'no-store', credentials: 'same-origin', ...init, signal: abort.signal });
      const text = await response.text();
      if (!response.ok) throw new RequestError('status', response.status);
      return text;
    } catch (err) {
      if (err instanceof RequestError) throw err;
      throw new RequestError(abort.signal.aborted ? 'timeout' : 'network');
    } finally {
      clearTimeout(timer);
    }
  }

  // The revision (ETag) each document was read at: a save sends the one of
  // the document its form was filled from.
  const REVISIONS = new WeakMap();

  async function readDocument(timeoutMs = REQUEST_TIMEOUT_MS) {
    const abort = new AbortController();
    const timer = setTimeout(() => abort.abort(), timeoutMs);
    try {
      const response = await fetch(STATE_URL, { cache: 'no-store', credentials: 'same-origin', signal: abort.signal });
      const text = await response.text();
      if (!response.ok) throw new RequestError('status', response.status);
      const read = JSON.parse(text);
      const tag = response.headers.get('ETag');
      if (tag && read && typeof read === 'object') REVISIONS.set(read, tag);
      return read;
    } catch (err) {
      if (err instanceof RequestError) throw err;
      throw new RequestError(abort.signal.aborted ? 'timeout' : 'network');
    } finally {
      clearTimeout(timer);
    }
  }

  function post(body) {
    return request(CGI_URL, {
      method: 'POST', body, headers: { 'content-type': 'application/x-www-form-urlencoded' },
    });
  }

  // ---- The settings, as the schema describes them ----

  let readOnlyPaths = new Set();  // settings a backup holds but nobody sets
  let doc = null;       // the document the fields were filled from
  let latest = null;    // a newer one read in the background while fields were being edited
  let readAt = 0;       // when the newest of them was read
  let unreachableSince = 0;

  function setDoc(d) {
    doc = d;
    latest = null;
    readAt = Date.now();
    unreachableSince = 0;
  }
  let settings = [];

  function leavesOf(node, prefix, out) {
    for (const [key, sub] of Object.entries(node.properties || {})) {
      const path = prefix ? `${prefix}.${key}` : key;
      if (sub.properties) leavesOf(sub, path, out);
      else out.push({ path, schema: sub });
    }
    return out;
  }

  function buildSettings(schema) {
    const leaves = leavesOf(schema, '', []);
    // The audio codec is the boot-script template the device runs, reported
    // beside the settings.
    if (!leaves.some((l) => l.schema['x-form'] && l.schema['x-form'].radio === 'ctrlts')) {
      leaves.push({ path: 'codec_template', top: true, schema: { enum: ['aac', 'mp3'],
        'x-form': { order: 11, submit: 'codec_submit', radio: 'ctrlts', choices: { aac: 'male', mp3: 'female' } } } });
    }
    const list = [];
    for (const leaf of leaves) {
      const form = leaf.schema['x-form'];
      if (!form) continue;
      // A part of a field (the RTMP stream key) has a control of its own
      // that is never posted by itself.
      const controls = form.part === 'key'
        ? [...document.querySelectorAll(`input[data-field="${form.field}"][data-part="key"]`)]
        : form.radio
          ? [...document.querySelectorAll(`input[type=radio][name="${form.radio}"]`)]
          : [...document.getElementsByName(form.field || form.menu)].filter((el) => el.matches('input, select'));
      const name = form.part === 'key' ? controls[0]?.id : form.field || form.radio || form.menu;
      if (!controls.length) continue;
      const card = controls[0].closest('section.card');
      list.push({
        ...leaf, form, name, controls, section: card ? card.id : '',
        kind: form.field ? 'field' : form.radio ? 'radio' : 'menu',
        device: '', result: null,
      });
    }
    list.sort((a, b) => a.form.order - b.form.order);
    return list;
  }

  function valueAt(path) {
    if (!doc) return null;
    if (path === 'codec_template') return doc.codec_template ?? null;
    let v = doc.settings;
    for (const part of path.split('.')) v = v == null ? undefined : v[part];
    return v === undefined ? null : v;
  }

  function writeOnly(s) { return s.schema.writeOnly === true; }

  // The value as the form carries it: a text, a radio word or a menu value.
  function formValueOf(s, value) {
    if (value === null || value === undefined) return s.kind === 'field' ? '' : null;
    const key = String(value);
    if (s.form.choices) return s.form.choices[key] ?? null;
    return key;
  }

  function currentOf(s) {
    if (s.kind === 'radio') {
      const on = s.controls.find((r) => r.checked);
      return on ? on.value : null;
    }
    return s.controls[0].value;
  }

  function setControl(s, formValue) {
    if (s.kind === 'radio') { for (const r of s.controls) r.checked = r.value === formValue; return; }
    const control = s.controls[0];
    // A menu shows what the device holds, even a value it does not offer.
    if (control.tagName === 'SELECT' && formValue && ![...control.options].some((o) => o.value === formValue)) {
      const held = document.createElement('option');
      held.value = formValue;
      held.textContent = formValue;
      control.append(held);
    }
    control.value = formValue ?? '';
  }

  function isChanged(s) {
    const now = currentOf(s);
    if (writeOnly(s)) return now !== '' && now !== null;
    return !sameSetting(s, now, s.device);
  }

  // Full-width forms of ASCII, as the device's subtitle cannot tell them apart.
  function fullwidthAscii(text) {
    return String(text).replace(/[\uFF01-\uFF5E\uFFE5\uFFE3\u3000]/g, (c) => {
      const code = c.charCodeAt(0);
      return code === 0xFFE5 ? '$' : code === 0xFFE3 ? '~' : code === 0x3000 ? ' ' : String.fromCharCode(code - 0xFEE0);
    });
  }

  // Two form values of a setting the device holds as one: numbers by value,
  // texts by the schema's x-equivalent rule.
  function sameSetting(s, a, b) {
    if (a === b) return true;
    if (a === null || b === null) return false;
    if (sameNumber(s, a, b)) return true;
    return s.schema['x-equivalent'] === 'fullwidth-ascii' && fullwidthAscii(a) === fullwidthAscii(b);
  }

  // A form value as the state document types it.
  function jsonValueOf(s, formValue) {
    const v = typedOf(s, formValue);
    const ty = types(s.schema);
    if (ty.includes('boolean') && (v === 'true' || v === 'false')) return v === 'true';
    if ((ty.includes('integer') || ty.includes('number')) && /^-?[0-9]+$/.test(v)) return Number(v);
    return v;
  }

  // The value a form value stands for, in the schema's terms.
  function typedOf(s, formValue) {
    if (s.form.choices) {
      const entry = Object.entries(s.form.choices).find(([, word]) => word === formValue);
      return entry ? entry[0] : formValue;
    }
    return formValue;
  }

  function fill(keep = new Set()) {
    for (const s of settings) {
      s.device = writeOnly(s) ? '' : formValueOf(s, valueAt(s.path));
      if (!keep.has(s)) setControl(s, s.device);
      markChanged(s);
    }
  }

  // ---- Checks before sending ----

  function types(schema) { return [].concat(schema.type || []); }

  function problemOf(s) {
    return s.kind === 'field' ? problemOfText(s, currentOf(s)) : null;
  }

  // What the schema says of a value typed (or read from a file) as text.
  function problemOfText(s, text) {
    const schema = s.schema;
    if (text === '') return { id: 'errEmpty' };
    const ty = types(schema);
    if (ty.includes('integer') || ty.includes('number')) {
      const range = { min: schema.minimum ?? '', max: schema.maximum ?? '' };
      if (!/^-?[0-9]+$/.test(text)) return { id: 'errNumber', params: range };
      const n = Number(text);
      if ((schema.minimum !== undefined && n < schema.minimum) || (schema.maximum !== undefined && n > schema.maximum))
        return { id: 'errRange', params: range };
      if (schema.enum && !schema.enum.includes(n)) return { id: 'errChoice', params: { list: schema.enum.join(', ') } };
      return null;
    }
    const length = [...text].length;
    if (schema.maxLength !== undefined && length > schema.maxLength) return { id: 'errLong', params: { max: schema.maxLength } };
    if (schema.minLength !== undefined && length < schema.minLength) return { id: 'errShort', params: { min: schema.minLength } };
    if (schema.pattern && !patternOf(schema.pattern).test(text)) return { id: patternMessage(s) };
    if (schema.enum && !schema.enum.includes(text)) return { id: 'errChoice', params: { list: schema.enum.join(', ') } };
    return null;
  }

  // Schema patterns are ECMA-262 expressions; with the Unicode flag a
  // character outside the Basic Multilingual Plane counts as one.
  function patternOf(source) {
    try { return new RegExp(source, 'u'); } catch { return new RegExp(source); }
  }

  function patternMessage(s) {
    const key = s.path.split('.').pop();
    if (['ip', 'netmask', 'gateway', 'ts_address', 'address'].includes(key)) return 'errAddress';
    if (key === 'mac') return 'errMac';
    if (key === 'rtmp_url') return 'errUrl';
    return 'errForm';
  }

  // ---- The device's replies ----

  // Texts of the device that mean a value was refused or nothing was done;
  // the first one found names the reason.
  const REFUSALS = [
    [/error len/, 'whyLong'],
    [/error char/, 'whyChar'],
    [/error value/, 'whyValue'],
    [/input empty/, 'whyEmpty'],
    [/^busy:/m, 'whyBusy'],
    [/Can't open file|can not open file/, 'whyFile'],
    [/erro1?=-?\d+/, 'whyConvert'],
    [/The value is invalid or out of range\.|Set out of range/, 'whyRange'],
    [/set failed|mac's length is illegal/, 'whyRefused'],
    [/^error/m, 'whyError'],
  ];

  function refusalIn(reply) {
    for (const [re, why] of REFUSALS) if (re.test(reply)) return why;
    return null;
  }

  // The reply as it may be shown: no pass phrase in it.
  function masked(reply, secrets) {
    let text = reply.replace(/(psk=)[^\n,]*/g, `$1${MASK}`).replace(/(set passkey:)[^\n]*/g, `$1${MASK}`);
    for (const secret of secrets) if (secret) text = text.split(secret).join(MASK);
    return text;
  }

  // ---- Marks and results under the fields ----

  function anchorOf(s) {
    const first = s.controls[0];
    if (s.kind === 'radio') return first.closest('fieldset');
    const pairSpan = first.closest('.pair .row > span');
    return pairSpan || first.closest('.row') || first;
  }

  function labelOf(s) {
    const holder = s.kind === 'radio' ? anchorOf(s).querySelector('legend') : s.controls[0].labels[0];
    if (!holder) return s.name;
    const copy = holder.cloneNode(true);
    copy.querySelectorAll('.tag').forEach((n) => n.remove());
    return copy.textContent.replace(/\s+/g, ' ').trim();
  }

  function shownValue(s, formValue) {
    if (writeOnly(s)) return null;
    if (s.kind === 'radio') {
      const r = s.controls.find((c) => c.value === formValue);
      return r && r.labels[0] ? r.labels[0].textContent.replace(/\s+/g, ' ').trim() : formValue;
    }
    if (s.kind === 'menu') {
      const o = [...s.controls[0].options].find((x) => x.value === formValue);
      return o ? o.textContent.trim() : formValue;
    }
    return formValue;
  }

  function ensureResult(s) {
    if (s.resultEl) return s.resultEl;
    const el = document.createElement('div');
    el.className = 'result';
    el.id = `${s.name}-result`;
    el.setAttribute('data-dyn', '');
    el.hidden = true;
    const p = document.createElement('p');
    p.className = 'result-text';
    el.append(p);
    const anchor = anchorOf(s);
    if (anchor.matches('.pair .row > span')) anchor.append(el);
    else anchor.after(el);
    for (const c of s.kind === 'radio' ? [anchor, ...s.controls] : s.controls) {
      const ids = (c.getAttribute('aria-describedby') || '').split(/\s+/).filter(Boolean);
      if (!ids.includes(el.id)) c.setAttribute('aria-describedby', [el.id, ...ids].join(' '));
    }
    s.resultEl = el;
    return el;
  }

  function ensureTag(s) {
    if (s.tagEl) return s.tagEl;
    const holder = s.kind === 'radio' ? anchorOf(s).querySelector('legend') : s.controls[0].labels[0];
    const tag = document.createElement('span');
    tag.className = 'tag';
    tag.setAttribute('data-dyn', '');
    tag.hidden = true;
    if (holder) holder.append(tag);
    s.tagEl = tag;
    return tag;
  }

  function markChanged(s) {
    const changed = isChanged(s);
    const tag = ensureTag(s);
    tag.hidden = !changed;
    tag.textContent = changed ? t('changed') : '';
    anchorOf(s).classList.toggle('changed', changed);
  }

  // result: {state: 'invalid' | 'sending' | 'ok' | 'failed', ...}
  function setResult(s, result) {
    s.result = result;
    renderResult(s);
  }

  // The result of a setting as sentences: [message id, params] each.
  function sentencesOf(s) {
    const r = s.result;
    if (!r) return [];
    const label = own(labelOf(s));
    if (r.state === 'invalid' || r.state === 'warning') return [[r.problem.id, r.problem.params]];
    if (r.state === 'sending') return [['sending']];
    if (r.state === 'ok') {
      const value = shownValue(s, r.sent);
      const out = [value === null ? ['savedNoValue', { label }] : ['saved', { label, value: s.kind === 'field' ? value : own(value) }]];
      if (r.restart) out.push(['afterRestart']);
      return out;
    }
    if (r.state === 'cancelled') return [['cancelled', { label }]];
    if (r.state === 'unknown') return [['notKnown', { label }]];
    const reason = r.why === 'whyRequest' ? t('whyRequest', { detail: r.detail }) :
      r.why === 'whyStill' ? null : t(r.why, r.whyParams || {});
    if (reason === null) {
      const still = shownValue(s, r.still) ?? '';
      return [['notSaved', { label, reason: own('') }], ['whyStill', { value: s.kind === 'field' ? still : own(still) }]];
    }
    return [['notSaved', { label, reason: own(reason) }]];
  }

  function renderResult(s) {
    const el = ensureResult(s);
    const r = s.result;
    const bad = !!r && (r.state === 'invalid' || r.state === 'failed');
    for (const c of s.controls) {
      if (bad) c.setAttribute('aria-invalid', 'true');
      else c.removeAttribute('aria-invalid');
    }
    el.hidden = !r;
    el.dataset.state = r ? r.state : '';
    putSentences(el.querySelector('.result-text'), sentencesOf(s));
    let details = el.querySelector('details');
    if (r && r.reply !== undefined) {
      if (!details) {
        details = document.createElement('details');
        const summary = document.createElement('summary');
        const pre = document.createElement('pre');
        pre.setAttribute('translate', 'no');
        pre.tabIndex = 0;
        details.append(summary, pre);
        el.append(details);
      }
      details.querySelector('summary').textContent = t('rawReply');
      details.querySelector('pre').textContent = r.reply === '' ? t('emptyReply') : r.reply;
    } else if (details) {
      details.remove();
    }
  }

  // ---- Sections ----

  const sectionState = new Map();  // section id -> {id, params} or the settings of its last save
  let busy = false;

  function sectionResultEl(section) { return document.getElementById(`${section}-result`); }

  function renderSection(section) {
    const el = sectionResultEl(section);
    const state = sectionState.get(section);
    if (!el || !state) return;
    putSentences(el, state.settings ? state.settings.flatMap(sentencesOf) : [[state.id, state.params]]);
  }

  function setSection(section, state) {
    sectionState.set(section, state);
    renderSection(section);
  }

  const FACTORY = [
    ['ip', '192.168.18.209'], ['netmask', '255.255.255.0'], ['gateway', '192.168.18.1'],
    ['tz', '192.168.18.122'], ['tc', '1234'], ['bitrate', '2000000'], ['framerate', '25'], ['fi', '100'],
    ['audiosample', '44100'], ['audiobitrate', '96000'], ['vs_width', '1024'], ['vs_height', '768'],
    ['rtmpurl', 'rtmp://192.168.18.7/live/kovra'],
  ];

  // What a switch keeps when asked to: the address and the stream outputs,
  // as the form was filled with them (the stream key as the device holds it).
  const KEPT_FIELDS = new Set(['ip', 'netmask', 'gateway', 'tz', 'tc', 'rtmpurl']);

  function keptOnSwap() {
    return settings.filter((x) => (x.path.startsWith('network.') && KEPT_FIELDS.has(x.name)) ||
      (x.path.startsWith('outputs.') && !writeOnly(x) && !x.schema.readOnly));
  }

  let swapAsked = null;  // the answer of the open template dialog

  function renderSwap() {
    if (!swapAsked) return;
    const keep = document.getElementById('swap-keep').checked;
    const codec = swapAsked.codec;
    document.getElementById('swap-h').textContent = t('swapH', { codec });
    document.getElementById('swap-text').textContent = t('swapText', { codec });
    const list = document.getElementById('swap-list');
    list.textContent = '';
    for (const [id, factory] of FACTORY) {
      if (keep && KEPT_FIELDS.has(id)) continue;
      const one = settings.find((x) => x.name === id);
      const li = document.createElement('li');
      li.append(tNodes('swapItem', { label: own(one ? labelOf(one) : id), now: one ? currentOf(one) : '', factory }));
      list.append(li);
    }
    document.getElementById('swap-also').textContent = t(keep ? 'swapAlsoKept' : 'swapAlso');
  }

  // The page's own question before a template switch: null when cancelled,
  // otherwise whether to keep the address and outputs.
  function askSwap(s) {
    return new Promise((resolve) => {
      swapAsked = { codec: shownValue(s, currentOf(s)), resolve };
      document.getElementById('swap-keep').checked = true;
      document.getElementById('swap-overlay').hidden = false;
      for (const el of [document.querySelector('main'), document.querySelector('header.top')]) el.inert = true;
      renderSwap();
      document.getElementById('swap-h').focus();
    });
  }

  function answerSwap(go) {
    if (!swapAsked) return;
    const { resolve } = swapAsked;
    swapAsked = null;
    document.getElementById('swap-overlay').hidden = true;
    for (const el of [document.querySelector('main'), document.querySelector('header.top')]) el.inert = false;
    resolve(go ? { keep: document.getElementById('swap-keep').checked } : null);
  }


  // The section's changes as one change set, laid out as the document's
  // settings; the template beside them.
  function changeSetOf(changed) {
    const set = {};
    for (const s of changed) {
      const value = 'keptValue' in s ? s.keptValue : jsonValueOf(s, currentOf(s));
      if (s.top) { set[s.path] = value; continue; }
      const keys = s.path.split('.');
      let node = set.settings || (set.settings = {});
      for (const k of keys.slice(0, -1)) node = node[k] || (node[k] = {});
      node[keys[keys.length - 1]] = value;
    }
    return set;
  }

  // The address and outputs a template switch keeps, beside the switch in
  // the same set; the stream key the device holds goes with its address.
  async function addKept(set, changed) {
    const kept = keptOnSwap().filter((x) => !changed.includes(x));
    const extra = changeSetOf(kept.filter((x) => valueAt(x.path) !== null).map((x) => ({ ...x, keptValue: valueAt(x.path) })));
    set.settings = set.settings || {};
    for (const [section, values] of Object.entries(extra.settings || {}))
      set.settings[section] = { ...(set.settings[section] || {}), ...values };
    if (valueAt('outputs.rtmp_key_set') === true) {
      const secret = await request(`${STATE_URL}?secrets=1`).then(JSON.parse);
      const key = secret.settings && secret.settings.outputs && secret.settings.outputs.rtmp_key;
      if (typeof key === 'string') set.settings.outputs = { ...(set.settings.outputs || {}), rtmp_key: key };
    }
  }

  // A gateway outside the address's subnet cuts the device off from other
  // networks; it is said once, and a second Save sends it as it is.
  let gatewayWarned = '';

  function gatewayWarning(changed) {
    const [ip, mask, gw] = ['ip', 'netmask', 'gateway'].map((n) => settings.find((x) => x.name === n && x.path.startsWith('network.')));
    if (!ip || !mask || !gw || !changed.some((x) => x === ip || x === mask || x === gw)) return null;
    const v4 = (text) => (/^\d{1,3}(\.\d{1,3}){3}$/.test(text) ? text.split('.').reduce((n, p) => n * 256 + Number(p), 0) : null);
    const [a, m, g] = [ip, mask, gw].map((x) => v4(currentOf(x)));
    if (a === null || m === null || g === null) return null;
    const net = (x) => Number(BigInt(x) & BigInt(m));
    const key = [a, m, g].join(' ');
    if (net(a) === net(g) || gatewayWarned === key) return null;
    gatewayWarned = key;
    return { s: gw, problem: { id: 'warnGateway', params: { gw: currentOf(gw), ip: currentOf(ip), mask: currentOf(mask) } } };
  }

  function settingNamed(changed, name) {
    return changed.find((s) => s.path === name) || null;
  }

  async function saveSection(section, button) {
    if (busy) return;
    const all = settings.filter((s) => s.section === section);
    for (const s of all) if (s.result) setResult(s, null);
    const changed = all.filter(isChanged);
    if (!changed.length) { setSection(section, { id: 'nothingChanged' }); return; }
    const invalid = [];
    for (const s of changed) {
      const problem = problemOf(s);
      if (problem) { invalid.push(s); setResult(s, { state: 'invalid', problem }); }
    }
    if (invalid.length) {
      setSection(section, { id: 'fixFirst', params: { n: invalid.length } });
      return;
    }
    const warning = gatewayWarning(changed);
    if (warning) {
      setResult(warning.s, { state: 'warning', problem: warning.problem });
      setSection(section, { id: 'warnFirst' });
      return;
    }
    const swap = changed.find((s) => s.name === 'ctrlts');
    const swapChoice = swap ? await askSwap(swap) : null;
    if (swap && !swapChoice) {
      setResult(swap, { state: 'cancelled' });
      setSection(section, { settings: [swap] });
      document.getElementById(`${section}-save`).focus();
      return;
    }
    busy = true;
    const card = document.getElementById(section);
    card.setAttribute('aria-busy', 'true');
    if (button) button.setAttribute('aria-disabled', 'true');
    for (const s of changed) setResult(s, { state: 'sending' });
    setSection(section, { id: 'sending' });
    const secrets = changed.filter(writeOnly).map(currentOf);
    const sent = new Map(changed.map((s) => [s, currentOf(s)]));
    // Unsent edits of other sections stay as typed, and so do values not saved.
    const keep = new Set(settings.filter((s) => s.section !== section && isChanged(s)));
    let answered = null;
    try {
      const set = changeSetOf(changed);
      if (swapChoice && swapChoice.keep) await addKept(set, changed);
      answered = await postSet(set, REQUEST_TIMEOUT_MS, REVISIONS.get(doc));
    } catch { /* no answer: the result is not known yet */ }
    const { status, answer } = answered || {};
    const failAll = (why, whyParams) => {
      for (const s of changed) { keep.add(s); setResult(s, { state: 'failed', sent: sent.get(s), why, whyParams }); }
    };
    if (!answered) {
      for (const s of changed) { keep.add(s); setResult(s, { state: 'unknown', sent: sent.get(s) }); }
      settleLater(section, changed, sent);
    } else if (status === 200 && answer && answer.state) {
      if (answer.revision) REVISIONS.set(answer.state, `"${answer.revision}"`);
      setDoc(answer.state);
      for (const s of changed) setResult(s, { state: 'ok', sent: sent.get(s), restart: !!answer.reboot_pending });
    } else if (status === 409 && answer && answer.setting) {
      const culprit = settingNamed(changed, answer.setting);
      const label = culprit ? own(labelOf(culprit)) : answer.setting;
      failAll('whyNotApplied', { label });
      if (culprit) {
        const why = answer.error === 'not stored' ? 'whyNotStored' : refusalIn(answer.reply || '') || 'whyRefused';
        setResult(culprit, { state: 'failed', sent: sent.get(culprit), why, reply: masked(answer.reply || '', secrets) });
      }
    } else if (status === 422 && answer && Array.isArray(answer.errors)) {
      failAll('whyNotApplied', { label: answer.errors[0].setting });
      for (const e of answer.errors) {
        const s = settingNamed(changed, e.setting);
        if (s) setResult(s, { state: 'invalid', problem: { id: 'errDevice', params: { message: e.message } } });
      }
    } else if (status === 412) {
      // Changed elsewhere since this page read it: show what the device now
      // holds under each field and keep what was typed, to be sent again.
      try { setDoc(await readDocument()); } catch { /* the values below stay as read before */ }
      for (const s of changed) {
        keep.add(s);
        const now = formValueOf(s, valueAt(s.path));
        setResult(s, { state: 'failed', sent: sent.get(s), why: 'whyElsewhere', whyParams: { value: writeOnly(s) ? '—' : shownValue(s, now) ?? '' } });
      }
    } else if (status === 503) {
      failAll('whyBusy');
    } else {
      failAll('whyRequest');
      for (const s of changed) s.result.detail = t('httpStatus', { status });
    }
    fill(keep);
    for (const s of settings.filter(writeOnly)) if (!keep.has(s)) { setControl(s, ''); markChanged(s); }
    renderSummary();
    setSection(section, status === 412 ? { id: 'changedElsewhere' } : { settings: changed });
    card.removeAttribute('aria-busy');
    busy = false;
    if (button) button.removeAttribute('aria-disabled');
  }

  // A save whose answer never came: the device is read again as soon as it
  // answers, and what it holds then is the result.
  async function settleLater(section, changed, sent) {
    setSection(section, { id: 'notKnownYet' });
    for (;;) {
      await new Promise((r) => setTimeout(r, POLL_INTERVAL_MS));
      let read;
      try { read = await readDocument(POLL_TIMEOUT_MS); } catch { continue; }
      if (changed.some((s) => !s.result || s.result.state !== 'unknown')) return;  // saved again meanwhile
      setDoc(read);
      const keep = new Set(settings.filter((s) => !changed.includes(s) && isChanged(s)));
      for (const s of changed) {
        const now = formValueOf(s, valueAt(s.path));
        const held = writeOnly(s) ? null : now;
        if (held === null || sameSetting(s, held, sent.get(s))) {
          setResult(s, { state: 'ok', sent: sent.get(s), restart: !!doc.reboot_pending, late: true });
        } else {
          keep.add(s);
          setResult(s, { state: 'failed', sent: sent.get(s), why: 'whyStill', still: now });
        }
      }
      fill(keep);
      renderSummary();
      setSection(section, { settings: changed });
      return;
    }
  }

  function sameNumber(s, a, b) {
    const ty = types(s.schema);
    return (ty.includes('integer') || ty.includes('number')) && a !== '' && b !== '' && Number(a) === Number(b);
  }

  function requestDetail(err) {
    if (err.kind === 'timeout') return t('timeout');
    if (err.kind === 'status') return t('httpStatus', { status: err.detail });
    return t('noAnswer');
  }

  // ---- Summary ----

  // A choice as the page's own control names it.
  function choiceText(path, value) {
    const s = settings.find((x) => x.path === path);
    const shown = s ? shownValue(s, formValueOf(s, value)) : null;
    return shown ? own(shown) : value;
  }

  // The document as the device runs it: each pending setting at the value
  // it started with.
  function runningDocument(d) {
    if (!d || !d.running || !Object.keys(d.running).length) return d;
    const copy = JSON.parse(JSON.stringify(d));
    for (const [name, value] of Object.entries(d.running)) {
      if (name === 'codec_template') { copy.codec_template = value; continue; }
      const keys = name.split('.');
      let node = copy.settings;
      for (const k of keys.slice(0, -1)) node = node[k] = node[k] || {};
      node[keys[keys.length - 1]] = value;
    }
    return copy;
  }

  function summaryRows(d) {
    const s = d.settings || {};
    const net = s.network || {};
    const wifi = s.wifi || {};
    const out = s.outputs || {};
    const enc = s.encoder || {};
    const audio = s.audio || {};
    const dev = d.device || {};
    const found = dev.detected_format;
    const rate = enc.bitrate == null ? null
      : (enc.bitrate / 1e6).toLocaleString(lang === 'zh' ? 'zh-CN' : 'en', { maximumFractionDigits: 2 });
    const rows = [
      ['sumAddress', [['sumAddressValue', { ip: net.ip, mask: net.netmask, gw: net.gateway }]]],
      ['sumOutputs', [
        out.transport_stream === 'off' || !out.transport_stream ? ['tsOff']
          : ['tsOn', { mode: out.transport_stream.toUpperCase(), to: `${out.ts_address}:${out.ts_port}` }],
        out.rtsp_rtmp === 'rtsp' ? ['rtspOn'] : out.rtsp_rtmp === 'rtmp' ? ['rtmpOn', { url: out.rtmp_url }] : ['rtspRtmpOff'],
      ]],
      ['sumEncoder', [['encoderValue', {
        rate: rate ?? own(t('unknown')), fps: enc.framerate, profile: choiceText('encoder.profile', enc.profile),
        size: enc.scaling ? `${enc.width}×${enc.height}` : own(t('inputSize')),
      }]]],
      ['sumInput', [['inputValue', {
        input: String(dev.input ?? (s.capture || {}).input ?? '').toUpperCase(),
        format: found && found.width ? `${found.width}×${found.height}` : own(t('noSignal')),
      }]]],
      ['sumWifi', [wifi.enabled ? ['wifiOn', { ssid: wifi.ssid, ip: wifi.address }] : ['off']]],
      ['sumAudio', [audio.enabled ? ['audioOn', {
        input: own(audio.input === 'analog' ? t('analogue') : audio.input === 'digital' ? t('embedded') : t('unknown')),
        codec: String(d.codec_template ?? '').toUpperCase(), rate: audio.sample_rate,
      }] : ['off']]],
    ];
    if (Array.isArray(d.unreadable) && d.unreadable.length)
      rows.push(['sumUnreadable', [['unreadableValue', { files: d.unreadable.join(', ') }]]]);
    return rows;
  }

  // The pending settings by the names the page gives them.
  function pendingLabels(d) {
    return (Array.isArray(d.pending) ? d.pending : []).map((name) => {
      const s = settings.find((x) => x.path === name);
      return s ? labelOf(s) : name;
    });
  }

  function renderSummary() {
    const list = document.getElementById('summary-list');
    const state = document.getElementById('summary-state');
    if (!list || !state) return;
    list.textContent = '';
    renderReachable();
    const d = latest || doc;
    if (!d) { state.textContent = loadFailed ? t('loadFailed') : t('loading'); return; }
    // What runs now; beside it, marked, what a restart brings.
    const stored = summaryRows(d);
    summaryRows(runningDocument(d)).forEach(([id, sentences], i) => {
      const dt = document.createElement('dt');
      dt.textContent = t(id);
      const dd = document.createElement('dd');
      putSentences(dd, sentences, t('listSeparator'));
      const later = document.createElement('span');
      putSentences(later, stored[i][1], t('listSeparator'));
      if (later.textContent !== dd.textContent) {
        const mark = document.createElement('span');
        mark.className = 'pending';
        mark.append(t('afterRestart2'), ' ', ...later.childNodes);
        dd.append(' ', mark);
      }
      list.append(dt, dd);
    });
    state.textContent = t(d.reboot_pending ? 'pendingNote' : 'current', { time: clockTime(readAt, true) });
    const banner = document.getElementById('banner');
    if (banner) banner.hidden = !d.reboot_pending;
    const names = pendingLabels(d);
    document.getElementById('banner-list').textContent = names.length ? t('bannerList', { list: names.join(t('listSeparator')) }) : '';
  }

  function renderReachable() {
    const el = document.getElementById('offline');
    if (!el) return;
    el.hidden = !unreachableSince;
    if (unreachableSince) {
      el.querySelector('p').textContent = t('unreachable', { since: clockTime(unreachableSince, true), read: clockTime(readAt, true) });
    }
  }

  // While the page is open the summary follows the device, cheaply: an
  // unchanged document answers 304. Fields are refilled only while none is
  // being edited.
  async function checkDevice() {
    if (!doc || restart) return;
    const known = REVISIONS.get(latest || doc);
    const abort = new AbortController();
    const timer = setTimeout(() => abort.abort(), POLL_TIMEOUT_MS);
    try {
      const response = await fetch(STATE_URL, {
        cache: 'no-store', credentials: 'same-origin', signal: abort.signal,
        headers: known ? { 'if-none-match': known } : {},
      });
      if (response.status === 304) {
        readAt = Date.now();
        unreachableSince = 0;
      } else if (response.ok) {
        const fresh = JSON.parse(await response.text());
        const tag = response.headers.get('ETag');
        if (tag) REVISIONS.set(fresh, tag);
        if (!busy && !settings.some(isChanged)) {
          setDoc(fresh);
          fill();
        } else {
          latest = fresh;
          readAt = Date.now();
          unreachableSince = 0;
        }
      } else if (!unreachableSince) {
        unreachableSince = Date.now();
      }
    } catch {
      if (!unreachableSince) unreachableSince = Date.now();
    } finally {
      clearTimeout(timer);
    }
    renderSummary();
  }


  function renderDynamic() {
    renderSummary();
    for (const s of settings) { markChanged(s); if (s.result) renderResult(s); }
    for (const section of sectionState.keys()) renderSection(section);
    renderRestart();
  }

  // ---- Restart ----

  // The stage of the restart overlay: ask, wait for the device, ask to keep
  // the settings of a trial, or say how it ended. Null while it is closed.
  let restart = null;

  // Settings that can cut the device off: a restart tries them first.
  function trialSuggested(d) {
    return Array.isArray(d && d.pending) &&
      d.pending.some((name) => name === 'codec_template' || /^(network|wifi)\./.test(name));
  }

  // A trial counts down once the device has started again and recorded its
  // start (before that its changes still wait, or it has no record).
  function trialRuns(d) {
    return !!(d && d.trial && Array.isArray(d.pending) && !d.reboot_pending);
  }

  function clockTime(ms, seconds = false) {
    return new Date(ms).toLocaleTimeString(lang === 'zh' ? 'zh-CN' : 'en-GB',
      { hour: '2-digit', minute: '2-digit', ...(seconds ? { second: '2-digit' } : {}) });
  }

  function renderRestart() {
    if (!restart) return;
    const r = restart;
    const show = (id, on) => { document.getElementById(id).hidden = !on; };
    document.getElementById('restart-h').textContent = t(
      { ask: 'restartAskH', keep: 'trialKeepH' }[r.stage] || 'restartH');
    const text = document.getElementById('restart-text');
    if (r.stage === 'ask') text.textContent = t('restartConfirm', { address: r.address });
    else if (r.stage === 'keep') text.textContent = t('trialKeepText', { seconds: r.secondsLeft });
    else if (r.stage === 'done') putSentences(text, r.sentences);
    else if (r.deadline) {
      putSentences(text, [['restartText', { address: r.address }],
        ['trialIfAway', { address: r.address, minutes: Math.round(r.within / 60), time: clockTime(r.deadline), old: r.old }]]);
    } else text.textContent = t('restartText', { address: r.address });
    show('restart-ask', r.stage === 'ask');
    show('restart-trial-line', r.stage === 'ask' && r.trialPossible);
    document.getElementById('restart-trial-label').textContent =
      t('trialLabel', { minutes: Math.round(TRIAL_SECONDS / 60) });
    document.getElementById('restart-wait').textContent = r.wait ? t(r.wait, r.waitParams || {}) : '';
    show('trial-choice', r.stage === 'keep' && !r.asking);
    show('restart-done', r.stage !== 'ask');
    const link = document.getElementById('restart-link');
    link.hidden = !(r.stage === 'wait' && r.link);
    if (r.link) {
      const a = link.querySelector('a');
      a.href = r.link;
      a.textContent = t('openAt', { address: r.address });
    }
  }

  function openOverlay(stage) {
    restart = { stage, address: location.hostname, old: location.hostname, wait: '', ...restart };
    restart.stage = stage;
    document.getElementById('restart-overlay').hidden = false;
    for (const el of [document.querySelector('main'), document.querySelector('header.top'), document.getElementById('banner')]) {
      el.inert = true;
    }
    renderRestart();
    document.getElementById('restart-h').focus();
  }

  function closeOverlay() {
    clearInterval(restart && restart.ticker);
    restart = null;
    document.getElementById('restart-overlay').hidden = true;
    for (const el of [document.querySelector('main'), document.querySelector('header.top'), document.getElementById('banner')]) {
      el.inert = false;
    }
    leaving = false;
  }

  function setStage(stage, fields = {}) {
    Object.assign(restart, { stage, ...fields });
    renderRestart();
    // A button that went away with its stage leaves the focus on the heading,
    // not on the page under the overlay.
    const active = document.activeElement;
    if (!active || active === document.body || active.closest('[hidden]')) document.getElementById('restart-h').focus();
  }

  // A change set for the restart members; the answer as JSON whatever its
  // status, or a RequestError when none came.
  async function postSet(body, timeoutMs = REQUEST_TIMEOUT_MS, revision = null) {
    const abort = new AbortController();
    const timer = setTimeout(() => abort.abort(), timeoutMs);
    try {
      const response = await fetch(STATE_URL, {
        method: 'POST', cache: 'no-store', credentials: 'same-origin', signal: abort.signal,
        headers: { 'content-type': 'application/json', ...(revision ? { 'if-match': revision } : {}) },
        body: JSON.stringify(body),
      });
      let answer = null;
      try { answer = JSON.parse(await response.text()); } catch { /* not JSON */ }
      return { status: response.status, answer };
    } catch {
      throw new RequestError(abort.signal.aborted ? 'timeout' : 'network');
    } finally {
      clearTimeout(timer);
    }
  }

  // What the device answered after its restart, behind the overlay.
  function showDocument(answer) {
    setDoc(answer);
    fill();
    renderSummary();
  }

  function restartDevice() {
    if (busy || restart) return;
    const address = (doc && doc.settings && doc.settings.network && doc.settings.network.ip) || location.hostname;
    // A trial goes back to what the device started with: without a record
    // of the start, or with nothing changed since, there is nothing to try.
    restart = { address, trialPossible: !!(doc && Array.isArray(doc.pending) && doc.pending.length) };
    openOverlay('ask');
    document.getElementById('restart-trial').checked = restart.trialPossible && trialSuggested(doc);
  }

  // Closed before it ended: the page stops watching and says what it last
  // saw; a page opened again asks about a trial that still runs.
  function closeRestart() {
    const { stage } = restart;
    const left = restart.secondsLeft;
    closeOverlay();
    if (stage === 'done') { location.reload(); return; }
    setSection('status', stage === 'keep' ? { id: 'trialLeftOpen', params: { seconds: left } } : { id: 'restartLeftOpen' });
  }

  function cancelRestart() {
    closeOverlay();
    setSection('status', { id: 'restartCancelled' });
  }

  async function sendRestart() {
    const host = location.hostname;
    const withTrial = restart.trialPossible && document.getElementById('restart-trial').checked;
    // Reached by another address than the one it comes back on: the page
    // can only point there.
    const moved = dottedV4(host) && !host.startsWith('127.') && host !== restart.address;
    setStage('wait', { wait: 'restartSending', link: moved ? `${location.protocol}//${restart.address}/` : '', moved });
    leaving = true;
    const wasPending = !!(doc && doc.reboot_pending);
    if (withTrial) {
      const asked = Date.now();
      try {
        const { status, answer } = await postSet({ restart: { confirm_within: TRIAL_SECONDS } });
        if (status !== 202) {
          setStage('done', { sentences: [['restartRefused', { detail: (answer && (answer.reply || answer.error)) || status }]], wait: '' });
          return;
        }
      } catch { /* the device may go down before it answers */ }
      restart.within = TRIAL_SECONDS;
      restart.deadline = asked + TRIAL_SECONDS * 1000;
    } else {
      try {
        await post(new URLSearchParams({ name5_submit: '' }));
      } catch { /* the device may go down before it answers */ }
    }
    await waitForDevice(wasPending);
  }

  // Polls the device at this page's address until it has restarted: then a
  // trial asks to keep its settings, a going back says what it undid.
  async function waitForDevice(wasPending, message = 'restartWaiting') {
    setStage('wait', { wait: message, deadline: restart.goingBack ? 0 : restart.deadline });
    const started = Date.now();
    let wentAway = false;
    for (;;) {
      await new Promise((r) => setTimeout(r, POLL_INTERVAL_MS));
      if (!restart) return;
      let answer = null;
      try { answer = await readDocument(POLL_TIMEOUT_MS); } catch { wentAway = true; }
      if (trialRuns(answer)) { showDocument(answer); askToKeep(answer.trial.seconds_left); return; }
      // Gone back and started again with those settings: nothing waits.
      if (answer && answer.rolled_back && !answer.reboot_pending && (wentAway || restart.goingBack)) {
        showDocument(answer);
        sayGoneBack(answer);
        return;
      }
      if (answer && !answer.trial && !answer.reboot_pending && (wasPending || wentAway)) break;
      // After a while, say what was seen: no answer, or answers that show
      // the device has not restarted.
      if (Date.now() - started > RESTART_PATIENCE_MS) {
        const at = clockTime(Date.now(), true);
        if (answer) setStage('wait', { wait: 'restartNotYet', waitParams: { time: at } });
        else setStage('wait', { wait: 'restartNoAnswer', waitParams: { minutes: Math.floor((Date.now() - started) / 60000), time: at } });
      }
    }
    setStage('wait', { wait: 'restartBack' });
    if (!restart.moved) location.reload();
  }

  function askToKeep(secondsLeft) {
    if (!restart) { restart = { address: location.hostname }; openOverlay('keep'); }
    clearInterval(restart.ticker);
    setStage('keep', { secondsLeft, wait: '', asking: false });
    restart.ticker = setInterval(() => {
      if (restart.asking) return;
      restart.secondsLeft = Math.max(0, restart.secondsLeft - 1);
      if (restart.secondsLeft > 0) { renderRestart(); return; }
      clearInterval(restart.ticker);
      restart.goingBack = true;
      waitForDevice(false, 'trialRanOut');
    }, 1000);
  }

  async function endTrial(keep) {
    if (!restart || restart.asking) return;
    restart.asking = true;
    setStage('keep', { wait: keep ? 'trialKeeping' : 'trialGoingBack' });
    let result;
    try {
      result = await postSet({ confirm: keep });
    } catch (err) {
      restart.asking = false;
      setStage('keep', { wait: 'trialNoAnswer', waitParams: { detail: requestDetail(err) } });
      return;
    }
    clearInterval(restart.ticker);
    const { status, answer } = result;
    if (keep && status === 200) {
      showDocument(answer.state);
      closeOverlay();
      setSection('status', { id: 'trialKept' });
      return;
    }
    if (!keep && status === 202) {
      restart.goingBack = true;
      waitForDevice(false);
      return;
    }
    // The trial ended otherwise (ran out, or another client answered it):
    // what the device holds now decides.
    restart.goingBack = true;
    waitForDevice(false, 'trialOver');
  }

  function sayGoneBack(answer) {
    const names = (answer.rolled_back.settings || []).join(', ');
    setStage('done', { sentences: [['trialGoneBack', { settings: names || '—' }]], wait: '' });
  }

  function dottedV4(text) { return /^\d{1,3}(\.\d{1,3}){3}$/.test(text); }

  // ---- Backup and restore ----

  // Settings that belong to one device: a restore leaves them as they are
  // unless the operator ticks them.
  const PER_DEVICE = ['network.ip', 'network.mac', 'wifi.address'];

  function lookupPath(tree, path) {
    let v = tree;
    for (const k of path.split('.')) v = v == null || typeof v !== 'object' ? undefined : v[k];
    return v;
  }

  function flattenSettings(tree, prefix = '', out = []) {
    for (const [k, v] of Object.entries(tree || {})) {
      const path = prefix ? `${prefix}.${k}` : k;
      if (v !== null && typeof v === 'object' && !Array.isArray(v)) flattenSettings(v, path, out);
      else out.push([path, v]);
    }
    return out;
  }

  async function readWithSecrets() {
    return JSON.parse(await request(`${STATE_URL}?secrets=1`));
  }

  async function downloadSettings() {
    setSection('backup', { id: 'backupReading' });
    let full;
    try { full = await readWithSecrets(); } catch (err) {
      setSection('backup', { id: 'backupFailed', params: { detail: requestDetail(err) } });
      return;
    }
    // What a restore can set: the template and every writable setting.
    const kept = {};
    for (const s of settings) {
      if (s.top) continue;
      const value = lookupPath(full.settings, s.path);
      if (value === undefined) continue;
      const keys = s.path.split('.');
      let node = kept;
      for (const k of keys.slice(0, -1)) node = node[k] = node[k] || {};
      node[keys[keys.length - 1]] = value;
    }
    const backup = { schema: full.schema, codec_template: full.codec_template, settings: kept };
    const who = ((full.settings || {}).network || {}).ip || location.hostname;
    const name = `encoder-${who}-${new Date().toISOString().slice(0, 10)}.json`;
    const url = URL.createObjectURL(new Blob([`${JSON.stringify(backup, null, 2)}\n`], { type: 'application/json' }));
    const a = document.createElement('a');
    a.href = url;
    a.download = name;
    document.body.append(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(url), 10000);
    setSection('backup', { id: 'backupSaved', params: { name } });
  }

  let restorePlan = null;  // [{s, value, secret, perDevice}] of the file chosen

  async function readRestore(file) {
    restorePlan = null;
    renderRestore();
    let data;
    try { data = JSON.parse(await file.text()); } catch { setSection('backup', { id: 'restoreNotJson' }); return; }
    if (!data || typeof data !== 'object' || !data.settings || typeof data.settings !== 'object') {
      setSection('backup', { id: 'restoreNotBackup' });
      return;
    }
    let held;
    try { held = await readWithSecrets(); } catch (err) {
      setSection('backup', { id: 'backupFailed', params: { detail: requestDetail(err) } });
      return;
    }
    const problems = [];
    const plan = [];
    const entries = flattenSettings(data.settings);
    if (data.codec_template !== undefined) entries.unshift(['codec_template', data.codec_template]);
    for (const [path, value] of entries) {
      if (readOnlyPaths.has(path)) continue;  // what the device reports, not what it is told
      const s = settings.find((x) => x.path === path);
      if (!s) { problems.push(t('restoreUnknown', { name: path })); continue; }
      const text = value === null || value === undefined ? null : formValueOf(s, value);
      if (text === null) { problems.push(`${labelOf(s)}: ${t('restoreNoChoice')}`); continue; }
      const problem = s.kind === 'field' ? problemOfText(s, String(text)) : null;
      if (problem) { problems.push(`${labelOf(s)}: ${t(problem.id, problem.params || {})}`); continue; }
      const now = path === 'codec_template' ? held.codec_template : lookupPath(held.settings, path);
      if (sameSetting(s, formValueOf(s, now), String(text))) continue;
      plan.push({ s, value: jsonValueOf(s, String(text)), now, secret: writeOnly(s), perDevice: PER_DEVICE.includes(path) });
    }
    if (problems.length) {
      setSection('backup', { id: 'restoreRefused', params: { list: problems.join(t('listSeparator')) } });
      return;
    }
    if (!plan.length) { setSection('backup', { id: 'restoreNothing' }); return; }
    restorePlan = plan;
    renderRestore();
    setSection('backup', { id: 'restorePlanned', params: { n: plan.length } });
  }

  function renderRestore() {
    const box = document.getElementById('restore-plan');
    if (!box) return;
    box.hidden = !restorePlan;
    const list = document.getElementById('restore-list');
    const ticked = new Map([...list.querySelectorAll('input')].map((c) => [c.dataset.path, c.checked]));
    list.textContent = '';
    for (const [i, c] of (restorePlan || []).entries()) {
      const li = document.createElement('li');
      const box2 = document.createElement('input');
      box2.type = 'checkbox';
      box2.id = `restore-${i}`;
      box2.dataset.path = c.s.path;
      box2.checked = ticked.has(c.s.path) ? ticked.get(c.s.path) : !c.perDevice;
      const label = document.createElement('label');
      label.htmlFor = box2.id;
      const name = own(labelOf(c.s));
      label.append(c.secret ? tNodes('restoreSecret', { label: name })
        : tNodes('restoreItem', { label: name, now: shownValue(c.s, formValueOf(c.s, c.now)) ?? '—', value: shownValue(c.s, formValueOf(c.s, c.value)) }));
      if (c.perDevice) label.append(' ', t('restorePerDevice'));
      li.append(box2, ' ', label);
      list.append(li);
    }
  }

  async function applyRestore() {
    if (!restorePlan || busy) return;
    const chosen = restorePlan.filter((c, i) => document.getElementById(`restore-${i}`).checked);
    if (!chosen.length) { setSection('backup', { id: 'restoreNoneTicked' }); return; }
    const set = changeSetOf(chosen.map((c) => ({ ...c.s, keptValue: c.value })));
    busy = true;
    setSection('backup', { id: 'sending' });
    let answered = null;
    try { answered = await postSet(set, REQUEST_TIMEOUT_MS, REVISIONS.get(doc)); } catch { /* said below */ }
    busy = false;
    const { status, answer } = answered || {};
    if (status === 200 && answer && answer.state) {
      if (answer.revision) REVISIONS.set(answer.state, `"${answer.revision}"`);
      setDoc(answer.state);
      fill(new Set(settings.filter(isChanged)));
      renderSummary();
      restorePlan = null;
      renderRestore();
      setSection('backup', { id: answer.reboot_pending ? 'restoreDoneRestart' : 'restoreDone', params: { n: answer.changed.length } });
    } else if (!answered) {
      setSection('backup', { id: 'notKnownYet' });
    } else if (status === 412) {
      setSection('backup', { id: 'restoreElsewhere' });
    } else {
      const detail = answer && (answer.errors ? answer.errors.map((e) => `${e.setting}: ${e.message}`).join(t('listSeparator'))
        : [answer.setting, answer.reply || answer.error].filter(Boolean).join(': '));
      setSection('backup', { id: 'restoreFailed', params: { reason: detail || t('httpStatus', { status }) } });
    }
  }

  // ---- Navigation that follows the page ----

  function followSections() {
    const links = [...document.querySelectorAll('header.top nav a[href^="#"]')];
    const targets = links.map((a) => document.getElementById(a.getAttribute('href').slice(1))).filter(Boolean);
    const header = document.querySelector('header.top');
    let queued = false;
    const update = () => {
      queued = false;
      const line = header.getBoundingClientRect().bottom + 16;
      let current = targets[0];
      for (const el of targets) if (el.getClientRects().length && el.getBoundingClientRect().top <= line) current = el;
      for (const a of links) {
        if (a.getAttribute('href') === `#${current.id}`) a.setAttribute('aria-current', 'location');
        else a.removeAttribute('aria-current');
      }
    };
    window.addEventListener('scroll', () => { if (!queued) { queued = true; requestAnimationFrame(update); } }, { passive: true });
    // A section opened from the navigation starts below the header, however
    // tall the header is at this width and with the banner.
    const pad = () => { root.style.scrollPaddingTop = `${Math.ceil(header.getBoundingClientRect().height) + 8}px`; };
    new ResizeObserver(pad).observe(header);
    pad();
    update();
  }

  // ---- Events ----

  let leaving = false;

  function settingOf(el) {
    return settings.find((s) => s.controls.includes(el));
  }

  document.addEventListener('input', (e) => { const s = settingOf(e.target); if (s) markChanged(s); });
  document.addEventListener('change', (e) => {
    if (e.target.id === 'lang') { setLanguage(e.target.value, true); return; }
    if (e.target.id === 'swap-keep') { renderSwap(); return; }
    if (e.target.id === 'restore-file') { if (e.target.files[0]) readRestore(e.target.files[0]); e.target.value = ''; return; }
    const s = settingOf(e.target);
    if (s) markChanged(s);
  });

  document.addEventListener('click', (e) => {
    const save = e.target.closest('button.save');
    if (save) { saveSection(save.closest('section.card').id, save); return; }
    if (e.target.closest('#restart-now')) restartDevice();
    if (e.target.closest('#restart-go')) sendRestart();
    if (e.target.closest('#swap-go')) answerSwap(true);
    if (e.target.closest('#download')) downloadSettings();
    if (e.target.closest('#restore-apply')) applyRestore();
    if (e.target.closest('#restore-cancel')) { restorePlan = null; renderRestore(); setSection('backup', { id: 'restoreCancelled' }); }
    if (e.target.closest('#swap-cancel')) answerSwap(false);
    if (e.target.closest('#restart-cancel')) cancelRestart();
    if (e.target.closest('#trial-keep')) endTrial(true);
    if (e.target.closest('#trial-back')) endTrial(false);
    if (e.target.closest('#restart-close')) closeRestart();
  });

  document.addEventListener('submit', (event) => {
    const form = event.target;
    event.preventDefault();
    if (form.id === 'reboot-form') { restartDevice(); return; }
    if (form.id === 'refresh-form') { refresh(); return; }
    const card = form.closest('section.card');
    if (card) saveSection(card.id, card.querySelector('button.save'));
  });

  document.addEventListener('keydown', (e) => {
    if (e.key === 'Escape' && swapAsked) { answerSwap(false); return; }
    if (e.key !== 'Escape' || !restart) return;
    if (restart.stage === 'ask') cancelRestart();
    else closeRestart();
  });

  window.addEventListener('beforeunload', (e) => {
    if (leaving || !settings.some(isChanged)) return;
    e.preventDefault();
    e.returnValue = '';
  });

  // ---- Start ----

  let loadFailed = false;

  async function refresh() {
    if (busy) return;
    setSection('status', { id: 'reading' });
    try {
      setDoc(await readDocument());
      fill();
      for (const s of settings) if (s.result) setResult(s, null);
      renderSummary();
      setSection('status', { id: 'readDone' });
    } catch (err) {
      setSection('status', { id: 'readFailed', params: { detail: requestDetail(err) } });
    }
  }

  async function start() {
    // The reboot checkbox is for browsers without scripts; here the page asks.
    for (const box of document.querySelectorAll('.no-js-only input')) { box.required = false; box.disabled = true; }
    setLanguage(lang);
    followSections();
    try {
      const [schema, state] = await Promise.all([
        request(`${STATE_URL}?schema=1`).then(JSON.parse), readDocument(),
      ]);
      setDoc(state);
      settings = buildSettings(schema);
      readOnlyPaths = new Set(leavesOf(schema, '', []).filter((l) => l.schema.readOnly).map((l) => l.path));
      fill();
    } catch {
      loadFailed = true;
    }
    renderDynamic();
    setInterval(checkDevice, SUMMARY_REFRESH_MS);
    // A trial runs: whoever opens the page is asked (the page that asked
    // for the restart may be at the old address).
    if (trialRuns(doc)) askToKeep(doc.trial.seconds_left);
    root.dataset.loaded = 'true';
  }

  window.webcfg = { masked, refusalIn, checkDevice };

  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else start();
})();
