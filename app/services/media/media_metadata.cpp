#include "app/services/media/media_metadata.h"

#include "app/services/metadata_text.h"
#include "engine/model/regular_file.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <cerrno>
#include <chrono>
#include <cmath>
#include <mutex>

#include <unistd.h>

namespace sorvik::MediaMetadata {

namespace {

    constexpr int ioBufferSize = 64 * 1024;
    constexpr std::int64_t probeBytes = 2 * 1024 * 1024;
    constexpr std::int64_t analyzeMicroseconds = 2 * AV_TIME_BASE;
    constexpr auto timeLimit = std::chrono::seconds(5);
    // The demuxers of mp3, m4a, mp4, mov, m4v (mov), wav, aiff, aac, flac and avi.
    constexpr const char* allowedDemuxers = "mp3,mov,wav,aiff,aac,flac,avi";

    // FFmpeg allocates what a file's headers declare (a tag's length, a table's count) before
    // it reads that far, so a damaged file of a few hundred bytes could take gigabytes. No
    // tag, picture or table of a real file comes near this: the index of a day of video
    // with its sound takes about a hundred MiB.
    constexpr std::size_t largestAllocation = 256 * 1024 * 1024;

    void setUpFFmpeg()
    {
        static std::once_flag once;
        std::call_once(once, [] {
            av_log_set_level(AV_LOG_QUIET);
            av_max_alloc(largestAllocation);
        });
    }

    /// FFmpeg reads the open descriptor through these callbacks, so the file is never opened
    /// a second time by name.
    struct DescriptorInput {
        int descriptor = -1;
        std::int64_t size = 0;
        std::int64_t position = 0;
        std::chrono::steady_clock::time_point deadline;

        static int read(void* opaque, std::uint8_t* buffer, int count)
        {
            auto* input = static_cast<DescriptorInput*>(opaque);
            while (true) {
                ssize_t got = ::pread(input->descriptor, buffer, static_cast<std::size_t>(count),
                    static_cast<off_t>(input->position));
                if (got < 0 && errno == EINTR)
                    continue;
                if (got < 0)
                    return AVERROR(EIO);
                if (got == 0)
                    return AVERROR_EOF;
                input->position += got;
                return static_cast<int>(got);
            }
        }

        static std::int64_t seek(void* opaque, std::int64_t offset, int whence)
        {
            auto* input = static_cast<DescriptorInput*>(opaque);
            if (whence & AVSEEK_SIZE)
                return input->size;
            std::int64_t target;
            switch (whence & ~AVSEEK_FORCE) {
            case SEEK_SET:
                target = offset;
                break;
            case SEEK_CUR:
                target = input->position + offset;
                break;
            case SEEK_END:
                target = input->size + offset;
                break;
            default:
                return AVERROR(EINVAL);
            }
            if (target < 0)
                return AVERROR(EINVAL);
            input->position = target;
            return target;
        }

        static int interrupt(void* opaque)
        {
            auto* input = static_cast<DescriptorInput*>(opaque);
            return std::chrono::steady_clock::now() > input->deadline ? 1 : 0;
        }
    };

    int refuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**)
    {
        // Playlists and reference movies name other files and URLs; none of them is read.
        return AVERROR(EPERM);
    }

    /// Owns the demuxer context, its I/O context and buffer, and the options.
    struct Demuxer {
        AVFormatContext* context = nullptr;
        AVIOContext* io = nullptr;
        AVDictionary* options = nullptr;

        ~Demuxer()
        {
            if (context)
                avformat_close_input(&context);
            if (io) {
                av_freep(&io->buffer);
                avio_context_free(&io);
            }
            av_dict_free(&options);
        }
    };

    void addTag(
        AVDictionary* metadata, const char* tag, const char* key, MetadataDictionary& values)
    {
        if (const AVDictionaryEntry* entry = av_dict_get(metadata, tag, nullptr, 0);
            entry && entry->value)
            values[key] = MetadataText::cleaned(entry->value);
    }

    /// The four-character code, first character in the lowest byte as FFmpeg stores it; nothing
    /// unless all four are printable ASCII.
    std::optional<std::string> fourCharacterCode(std::uint32_t tag)
    {
        std::string code;
        for (int index = 0; index < 4; ++index) {
            auto byte = static_cast<char>((tag >> (8 * index)) & 0xFF);
            if (byte < 0x20 || byte > 0x7E)
                return std::nullopt;
            code.push_back(byte);
        }
        return code;
    }

    void addVideo(const AVStream& stream, MetadataDictionary& values)
    {
        const AVCodecParameters& parameters = *stream.codecpar;
        if (parameters.width > 0 && parameters.height > 0) {
            values["video.width"] = std::to_string(parameters.width);
            values["video.height"] = std::to_string(parameters.height);
        }
        AVRational rate = stream.avg_frame_rate;
        if (rate.num <= 0 || rate.den <= 0)
            rate = stream.r_frame_rate;
        if (rate.num > 0 && rate.den > 0)
            values["video.fps"] = MetadataText::fixed(av_q2d(rate), 2);
        if (auto code = fourCharacterCode(parameters.codec_tag))
            values["video.codec"] = *code;
    }

    void readOpen(const Demuxer& demuxer, MetadataDictionary& values)
    {
        AVFormatContext* context = demuxer.context;
        // Streams whose header says little (raw AAC, MP3 without a frame index) need a look at
        // their first packets for the duration; the limits set above bound that look.
        avformat_find_stream_info(context, nullptr);

        AVDictionary* metadata = context->metadata;
        addTag(metadata, "title", "audio.title", values);
        addTag(metadata, "artist", "audio.artist", values);
        addTag(metadata, "album", "audio.album", values);
        addTag(metadata, "date", "audio.year", values);
        addTag(metadata, "genre", "audio.genre", values);
        addTag(metadata, "track", "audio.track", values);

        if (context->duration != AV_NOPTS_VALUE && context->duration >= 0)
            values["video.duration"] = std::to_string(context->duration / AV_TIME_BASE);

        for (unsigned index = 0; index < context->nb_streams; ++index) {
            const AVStream* stream = context->streams[index];
            if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO
                || (stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
                continue;
            addVideo(*stream, values);
            break;
        }
    }

} // namespace

void read(const RegularFile& file, MetadataDictionary& values)
{
    setUpFFmpeg();
    try {
        DescriptorInput input { file.descriptor(), file.size(), 0,
            std::chrono::steady_clock::now() + timeLimit };
        Demuxer demuxer;
        auto* buffer = static_cast<unsigned char*>(av_malloc(ioBufferSize));
        if (!buffer)
            return;
        demuxer.io = avio_alloc_context(
            buffer, ioBufferSize, 0, &input, DescriptorInput::read, nullptr, DescriptorInput::seek);
        if (!demuxer.io) {
            av_free(buffer);
            return;
        }
        demuxer.context = avformat_alloc_context();
        if (!demuxer.context)
            return;
        demuxer.context->pb = demuxer.io;
        demuxer.context->flags |= AVFMT_FLAG_CUSTOM_IO;
        demuxer.context->probesize = probeBytes;
        demuxer.context->max_analyze_duration = analyzeMicroseconds;
        demuxer.context->interrupt_callback = { DescriptorInput::interrupt, &input };
        demuxer.context->io_open = refuseNestedOpen;
        av_dict_set(&demuxer.options, "format_whitelist", allowedDemuxers, 0);
        av_dict_set(&demuxer.options, "protocol_whitelist", "none", 0);
        // On failure avformat_open_input frees the context itself.
        if (avformat_open_input(&demuxer.context, nullptr, nullptr, &demuxer.options) < 0) {
            demuxer.context = nullptr;
            return;
        }
        readOpen(demuxer, values);
    } catch (...) {
    }
}

} // namespace sorvik::MediaMetadata
