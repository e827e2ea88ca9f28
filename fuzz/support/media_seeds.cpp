// The seeds of audio and video, encoded by ffmpeg, and damaged.
#include "fuzz/support/seed_corpus.h"

#include "tests/app/services/metadata_fixtures.h"

#include <QImage>
#include <QStringList>

#include <initializer_list>
#include <string>
#include <utility>

namespace sorvik::fuzzing::seeds {

void addMedia(Corpus& corpus, Maker& maker)
{
    auto add = [&](const std::string& name, const Bytes& bytes) {
        corpus.add({ "media_metadata" }, name, bytes);
    };
    const QStringList tags { "-metadata", "title=Night Drive", "-metadata", "artist=The Owls",
        "-metadata", "album=Roads", "-metadata", "date=2021", "-metadata", "genre=Synthwave",
        "-metadata", "track=3/12" };
    const QStringList tone { "-f", "lavfi", "-i",
        "sine=frequency=440:duration=0.2:sample_rate=8000", "-ac", "1" };
    const QStringList picture { "-f", "lavfi", "-i", "testsrc=size=32x24:rate=10:duration=0.3" };
    maker.written("cover.jpg", encoded(QImage(8, 8, QImage::Format_RGB32), "JPEG"));

    Bytes mp3 = maker.ffmpeg("song.mp3",
        tone
            + QStringList { "-i", testing::qtPath(maker.path("cover.jpg")), "-map", "0", "-map",
                "1", "-c:a", "libmp3lame", "-b:a", "8k", "-c:v", "mjpeg", "-disposition:v",
                "attached_pic" }
            + tags);
    Bytes wav = maker.ffmpeg("beep.wav", tone + QStringList { "-c:a", "pcm_u8" } + tags);
    Bytes flac = maker.ffmpeg("song.flac", tone + tags);
    Bytes aiff = maker.ffmpeg("song.aiff", tone + QStringList { "-c:a", "pcm_s8" } + tags);
    Bytes aac = maker.ffmpeg("song.aac", tone + QStringList { "-c:a", "aac", "-b:a", "8k" });
    Bytes m4a = maker.ffmpeg("song.m4a", tone + QStringList { "-c:a", "aac", "-b:a", "8k" } + tags);
    Bytes mp4 = maker.ffmpeg("clip.mp4",
        picture + tone
            + QStringList { "-c:v", "libx264", "-preset", "ultrafast", "-crf", "51", "-pix_fmt",
                "yuv420p", "-c:a", "aac", "-b:a", "8k", "-shortest", "-metadata", "title=Clip" });
    Bytes mov = maker.ffmpeg("clip.mov",
        picture + QStringList { "-c:v", "mjpeg", "-q:v", "31", "-metadata", "title=Clip" });
    Bytes avi = maker.ffmpeg("clip.avi",
        QStringList { "-f", "lavfi", "-i", "testsrc=size=16x16:rate=10:duration=0.1" } + tone
            + QStringList { "-c:v", "mjpeg", "-q:v", "31", "-c:a", "pcm_u8", "-shortest" });
    for (const auto& [name, bytes] :
        std::initializer_list<std::pair<std::string, Bytes>> { { "song.mp3", mp3 },
            { "beep.wav", wav }, { "song.flac", flac }, { "song.aiff", aiff }, { "song.aac", aac },
            { "song.m4a", m4a }, { "clip.mp4", mp4 }, { "clip.mov", mov }, { "clip.avi", avi } })
        add(name, bytes);

    add("empty.mp4", "");
    add("cut-header.mp3", cut(mp3, 20));
    addCutAndFlipped(add, "mp4", mp4, 8);
    addCutAndFlipped(add, "mp3", mp3, 9);
    addCutAndFlipped(add, "flac", flac, 10);
    addCutAndFlipped(add, "avi", avi, 11);

    // Sizes that claim far more than the file holds.
    add("riff-size-huge.wav",
        patched(wav,
            { { 4, 0xFFFFFFFF, 4, little }, { find(wav, "data") + 4, 0xFFFFFFFF, 4, little } }));
    add("info-size-huge.wav",
        patched(wav,
            { { find(wav, "LIST") + 4, 0xFFFFFFF0, 4, little },
                { find(wav, "INAM") + 4, 0x60000000, 4, little } }));
    add("channels-huge.wav", patched(wav, { { find(wav, "fmt ") + 10, 0xFFFF, 2, little } }));
    add("id3-size-huge.mp3", patched(mp3, { { 6, 0x7F7F7F7F, 4 } }));
    add("block-size-huge.flac", patched(flac, { { 5, 0xFFFFFF, 3 } }));
    add("form-size-huge.aiff",
        patched(aiff, { { 4, 0xFFFFFFFF, 4 }, { find(aiff, "SSND") + 4, 0xFFFFFFFF, 4 } }));
    add("moov-size-huge.mp4", patched(mp4, { { find(mp4, "moov") - 4, 0xFFFFFFFF, 4 } }));
    {
        // A 64-bit box size: "1" in the size field, the real size after the type.
        Bytes large = mp4;
        std::size_t moov = find(large, "moov") - 4;
        large.replace(moov, 8, Bytes("\0\0\0\1moov\x7F\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 16));
        add("moov-large-size.mp4", large);
    }
    add("sample-count-huge.mp4", patched(mp4, { { find(mp4, "stsz") + 12, 0x3FFFFFFF, 4 } }));
    add("chunk-count-huge.mp4", patched(mp4, { { find(mp4, "stco") + 8, 0x3FFFFFFF, 4 } }));
    add("time-scale-zero.mp4", patched(mp4, { { find(mp4, "mdhd") + 16, 0, 4 } }));
    std::size_t track = find(mov, "tkhd");
    add("frame-size-huge.mov",
        patched(mov, { { track + 80, 0xFFFFFFFF, 4 }, { track + 84, 0xFFFFFFFF, 4 } }));
    add("riff-size-huge.avi", patched(avi, { { 4, 0xFFFFFFFF, 4, little } }));
    add("streams-huge.avi", patched(avi, { { find(avi, "avih") + 32, 0xFFFFFFFF, 4, little } }));

    // Files that name other files: never followed.
    add("playlist.mp4",
        "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\nfile:///etc/hostname\n"
        "#EXT-X-ENDLIST\n");
    add("concat.mp4", "ffconcat version 1.0\nfile /etc/hostname\n");
    Bytes reference = mov;
    add("reference.mov", replaced(reference, "mdat", "rmra"));
}

} // namespace sorvik::fuzzing::seeds
