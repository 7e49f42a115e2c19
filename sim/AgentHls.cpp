#include "AgentService.h"
#include "SimUtil.h"

#include <QFile>
#include <httplib.h>

// The HLS preview of the simulated rooms: MediaMTX would serve its player page and a live playlist of
// fragmented-MP4 H.264 segments under /hls/live/<key>/. Here every room plays the same short clip in a
// loop, as a live stream whose media sequence follows the clock.
namespace sim::detail {
namespace {

constexpr int kSegmentSeconds = 2;
constexpr int kSegmentsInClip = 3;
constexpr int kPlaylistLength = 3;

QByteArray mediaFile(const QString& name) {
    QFile file(QStringLiteral(":/sim/media/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QByteArray& initSegment() {
    static const QByteArray bytes = mediaFile(QStringLiteral("init.mp4"));
    return bytes;
}

const QByteArray& mediaSegment(qint64 sequence) {
    static const QByteArray segments[kSegmentsInClip] = {mediaFile(QStringLiteral("seg0.m4s")),
                                                         mediaFile(QStringLiteral("seg1.m4s")),
                                                         mediaFile(QStringLiteral("seg2.m4s"))};
    return segments[sequence % kSegmentsInClip];
}

std::string livePlaylist() {
    const qint64 first = std::max<qint64>(0, nowMs() / (kSegmentSeconds * 1000) - kPlaylistLength + 1);
    QString text =
        QStringLiteral("#EXTM3U\n#EXT-X-VERSION:7\n#EXT-X-TARGETDURATION:%1\n#EXT-X-MEDIA-SEQUENCE:%2\n"
                       "#EXT-X-MAP:URI=\"init.mp4\"\n")
            .arg(kSegmentSeconds)
            .arg(first);
    for (qint64 sequence = first; sequence < first + kPlaylistLength; ++sequence)
        text += QStringLiteral("#EXTINF:%1.000,\nseg%2.m4s\n").arg(kSegmentSeconds).arg(sequence);
    return text.toStdString();
}

// A small player over Media Source Extensions: reads the playlist every second and appends the
// segments it has not appended yet. A browser that cannot play H.264 says so instead of staying black.
QString playerPage(const QString& escapedName) {
    return QStringLiteral(R"html(<!doctype html><html><head><meta charset="utf-8"><title>%1</title><style>
html,body{margin:0;height:100%;background:#101014;color:#e5e7eb;font-family:sans-serif}
body{display:flex;align-items:center;justify-content:center}
video{width:100%;height:100%;object-fit:contain;background:#000}
#message{font-size:18px;padding:24px;text-align:center}
</style></head><body><video id="video" muted autoplay playsinline></video><script>
const codec = 'video/mp4; codecs="avc1.42E01E"';
const video = document.getElementById('video');
window.previewState = 'starting';
function say(text) {
  window.previewState = 'message';
  document.body.innerHTML = '<p id="message"></p>';
  document.getElementById('message').textContent = text;
}
async function bytes(url) {
  const reply = await fetch(url, {cache: 'no-store'});
  if (!reply.ok) throw new Error(url + ': HTTP ' + reply.status);
  return reply.arrayBuffer();
}
if (!(window.MediaSource && MediaSource.isTypeSupported(codec))) {
  say('此浏览器组件不能播放 H.264 视频，无法预览 HLS 直播。');
} else {
  const source = new MediaSource();
  video.src = URL.createObjectURL(source);
  source.addEventListener('sourceopen', async () => {
    const buffer = source.addSourceBuffer(codec);
    buffer.mode = 'sequence';
    const append = data => new Promise((resolve, reject) => {
      buffer.addEventListener('updateend', resolve, {once: true});
      buffer.addEventListener('error', reject, {once: true});
      buffer.appendBuffer(data);
    });
    let last = -1;
    try {
      for (;;) {
        const playlist = new TextDecoder().decode(await bytes('index.m3u8'));
        const first = Number(/#EXT-X-MEDIA-SEQUENCE:(\d+)/.exec(playlist)[1]);
        if (last < 0) await append(await bytes(/#EXT-X-MAP:URI="([^"]+)"/.exec(playlist)[1]));
        const segments = playlist.split('\n').filter(line => line && !line.startsWith('#'));
        for (let i = 0; i < segments.length; ++i) {
          if (first + i <= last) continue;
          if (last < 0 && i < segments.length - 1) continue; // join live at the newest segment
          await append(await bytes(segments[i]));
          last = first + i;
        }
        if (video.currentTime > 30 && !buffer.updating)
          await new Promise(resolve => { buffer.addEventListener('updateend', resolve, {once: true});
                                         buffer.remove(0, video.currentTime - 10); });
        if (video.paused) video.play().catch(() => {});
        window.previewState = 'playing';
        await new Promise(resolve => setTimeout(resolve, 1000));
      }
    } catch (error) {
      say('HLS 预览中断：' + error.message);
    }
  });
}
</script></body></html>)html")
        .arg(escapedName);
}

} // namespace

QString AgentService::roomNameForKeyLocked(const QString& roomKey) const {
    for (const auto& room : rtmpRooms_)
        if (room.roomKey == roomKey)
            return room.name;
    return QString();
}

void AgentService::installHlsRoutes() {
    // No token: a browser opens these addresses as they are.
    host_.route(
        "GET", R"(/hls/live/([^/]+)/(index\.m3u8|init\.mp4|seg(\d+)\.m4s))",
        [this](Call& c) {
            {
                std::lock_guard lock(mutex_);
                if (roomNameForKeyLocked(c.match(1)).isNull()) {
                    c.res.status = 404;
                    return;
                }
            }
            c.res.set_header("Cache-Control", "no-cache");
            const QString file = c.match(2);
            c.res.status = 200;
            if (file == QLatin1String("index.m3u8")) {
                c.res.set_content(livePlaylist(), "application/vnd.apple.mpegurl");
            } else {
                const QByteArray& data =
                    file == QLatin1String("init.mp4") ? initSegment() : mediaSegment(c.match(3).toLongLong());
                c.res.set_content(data.constData(), size_t(data.size()), "video/mp4");
            }
        },
        false);
    host_.route(
        "GET", R"(/hls/live/([^/]+)/?(index\.html)?)",
        [this](Call& c) {
            QString name;
            {
                std::lock_guard lock(mutex_);
                name = roomNameForKeyLocked(c.match(1));
            }
            if (name.isNull()) {
                c.res.status = 404;
                c.res.set_content("<!doctype html><title>404</title><p>stream not found</p>",
                                  "text/html; charset=utf-8");
                return;
            }
            c.res.status = 200;
            c.res.set_content(playerPage(name.toHtmlEscaped()).toStdString(), "text/html; charset=utf-8");
        },
        false);
}

} // namespace sim::detail
