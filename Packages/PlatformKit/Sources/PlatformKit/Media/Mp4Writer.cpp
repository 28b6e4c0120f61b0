#include "PlatformKit/Media/Mp4Writer.h"

#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <mutex>
#include <vector>

#include "PlatformKit/Foundation/Files.h"

namespace pk::media {

StudioError ffmpegError(int code, const std::string& what) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(code, text, sizeof text);
    return StudioError("FFmpeg", code, what + ": " + text);
}

namespace {

StudioError mediaError(int code, const std::string& text) { return StudioError("Media", code, text); }

void check(int ret, const char* what) {
    if (ret < 0) throw ffmpegError(ret, what);
}

struct CodecCtxDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using CodecCtx = std::unique_ptr<AVCodecContext, CodecCtxDeleter>;
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;
using Packet = std::unique_ptr<AVPacket, PacketDeleter>;

// Samples of gap filled with silence at most (ten minutes at 48 kHz).
constexpr int64_t kMaxAudioGap = int64_t(48000) * 600;

}  // namespace

struct Mp4Writer::Impl {
    std::filesystem::path path;
    // The movie is muxed under a hidden name beside the target and renamed over it only
    // once the trailer is written, so a failed or abandoned writer leaves the target alone.
    std::filesystem::path temporary;
    bool temporaryMayExist = false;
    VideoEncoderSettings vs;
    std::optional<AudioEncoderSettings> as;

    AVFormatContext* fmt = nullptr;
    mutable std::mutex stateMutex;  // status, error, muxer
    Status status = Status::created;
    std::optional<StudioError> firstError;

    // Video path.
    CodecCtx vctx;
    AVStream* vstream = nullptr;
    SwsContext* sws = nullptr;
    Frame vframe;
    Packet vpkt;
    int64_t lastVideoPts = INT64_MIN;
    bool videoFinished = false;

    // Audio path.
    CodecCtx actx;
    AVStream* astream = nullptr;
    Frame aframe;
    Packet apkt;
    std::vector<std::vector<float>> pending;  // per channel
    int64_t pendingStart = 0;
    bool audioStarted = false;
    bool audioFinished = false;

    ~Impl() {
        if (sws) sws_freeContext(sws);
        if (fmt) {
            if (fmt->pb) avio_closep(&fmt->pb);
            avformat_free_context(fmt);
        }
        removeTemporary();
    }

    void removeTemporary() {
        if (!temporaryMayExist) return;
        ::unlink(temporary.c_str());
        temporaryMayExist = false;
    }

    // Remembers the first failure and puts the writer into the failed status.
    [[noreturn]] void fail(const StudioError& e) {
        {
            std::lock_guard lock(stateMutex);
            if (!firstError) firstError = e;
            status = Status::failed;
        }
        throw e;
    }

    template <class F>
    void guarded(F&& f) {
        try {
            f();
        } catch (const StudioError& e) {
            fail(e);
        }
    }

    void requireWriting() const {
        std::lock_guard lock(stateMutex);
        if (status != Status::writing) {
            if (firstError) throw *firstError;
            throw mediaError(2, "The MP4 writer is not writing.");
        }
    }

    void writePackets(AVCodecContext* ctx, AVStream* st, AVPacket* pkt) {
        for (;;) {
            const int ret = avcodec_receive_packet(ctx, pkt);
            if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return;
            check(ret, "Encoding failed");
            if (pkt->duration == 0 && ctx->codec_type == AVMEDIA_TYPE_VIDEO) pkt->duration = 1;
            av_packet_rescale_ts(pkt, ctx->time_base, st->time_base);
            pkt->stream_index = st->index;
            int w;
            {
                std::lock_guard lock(stateMutex);
                w = av_interleaved_write_frame(fmt, pkt);  // takes the packet's reference
            }
            check(w, "Writing a packet failed");
        }
    }

    void emitAudioFrame(int samples) {
        check(av_frame_make_writable(aframe.get()), "Audio frame buffer");
        aframe->nb_samples = samples;
        for (int c = 0; c < actx->ch_layout.nb_channels; ++c) {
            float* dst = reinterpret_cast<float*>(aframe->data[c]);
            std::copy(pending[c].begin(), pending[c].begin() + samples, dst);
            pending[c].erase(pending[c].begin(), pending[c].begin() + samples);
        }
        aframe->pts = pendingStart;
        pendingStart += samples;
        check(avcodec_send_frame(actx.get(), aframe.get()), "Sending audio to the AAC encoder failed");
        writePackets(actx.get(), astream, apkt.get());
    }

    // Misuse is refused before anything changes, so it does not fail the file.
    void validateAudio(size_t count, int64_t pts) const {
        const int ch = actx->ch_layout.nb_channels;
        if (count % size_t(ch) != 0) throw mediaError(1, "Audio samples must come in whole frames.");
        if (pts < 0) throw mediaError(3, "Audio timestamps start at zero.");
        if (!audioStarted) return;
        const int64_t expected = pendingStart + int64_t(pending[0].size());
        if (pts < expected) throw mediaError(3, "Audio samples overlap the ones appended before.");
        if (pts - expected > kMaxAudioGap) throw mediaError(3, "Gap in the audio timeline is too long.");
    }

    void appendAudioFloats(const float* s, size_t count, int64_t pts) {
        const int ch = actx->ch_layout.nb_channels;
        const int64_t frames = int64_t(count / size_t(ch));
        if (!audioStarted) {
            audioStarted = true;
            pendingStart = pts;
        }
        const int64_t expected = pendingStart + int64_t(pending[0].size());
        for (int c = 0; c < ch; ++c) pending[c].insert(pending[c].end(), size_t(pts - expected), 0.0f);
        for (int64_t i = 0; i < frames; ++i)
            for (int c = 0; c < ch; ++c) pending[c].push_back(s[size_t(i) * ch + c]);
        const int fs = actx->frame_size;
        while (int64_t(pending[0].size()) >= fs) emitAudioFrame(fs);
    }
};

Mp4Writer::Mp4Writer(const std::filesystem::path& path, const VideoEncoderSettings& video,
                     const std::optional<AudioEncoderSettings>& audio)
    : impl_(std::make_unique<Impl>()) {
    static const bool quiet = [] {
        av_log_set_level(AV_LOG_ERROR);  // encoder statistics are not for the studio's log
        return true;
    }();
    (void)quiet;
    Impl& m = *impl_;
    m.path = path;
    m.temporary = pk::temporarySibling(path);
    m.vs = video;
    m.as = audio;
    if (video.width < 2 || video.height < 2 || video.width > 16384 || video.height > 16384 || video.width % 2 ||
        video.height % 2) {
        throw mediaError(1, "Video size must be even and between 2 and 16384 pixels.");
    }
    if (video.fps <= 0 || video.fps > 1000) throw mediaError(1, "Frame rate must be between 1 and 1000.");
    if (video.averageBitRate <= 0 || video.averageBitRate > int64_t(INT32_MAX) || video.maxKeyFrameInterval < 0)
        throw mediaError(1, "Bad video bit rate or key frame interval.");
    if (audio && (audio->sampleRate < 8000 || audio->sampleRate > 96000 || audio->channels < 1 || audio->channels > 8 ||
                  audio->bitRate <= 0)) {
        throw mediaError(1, "Bad audio settings.");
    }

    check(avformat_alloc_output_context2(&m.fmt, nullptr, "mp4", m.temporary.c_str()),
          "Creating the MP4 container failed");

    // Video encoder.
    const AVCodec* x264 = avcodec_find_encoder_by_name("libx264");
    if (!x264) throw ffmpegError(AVERROR_ENCODER_NOT_FOUND, "H.264 encoder libx264");
    m.vctx.reset(avcodec_alloc_context3(x264));
    if (!m.vctx) throw ffmpegError(AVERROR(ENOMEM), "H.264 encoder context");
    AVCodecContext* v = m.vctx.get();
    v->width = video.width;
    v->height = video.height;
    v->time_base = AVRational{1, video.fps};
    v->framerate = AVRational{video.fps, 1};
    v->pix_fmt = AV_PIX_FMT_YUV420P;
    v->bit_rate = video.averageBitRate;
    if (video.maxKeyFrameInterval > 0) v->gop_size = video.maxKeyFrameInterval;
    v->color_primaries = AVCOL_PRI_BT709;
    v->color_trc = AVCOL_TRC_BT709;
    v->colorspace = AVCOL_SPC_BT709;
    v->color_range = AVCOL_RANGE_MPEG;
    v->sample_aspect_ratio = AVRational{1, 1};
    if (m.fmt->oformat->flags & AVFMT_GLOBALHEADER) v->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    check(av_opt_set(v->priv_data, "profile", "high", 0), "Setting the H.264 profile failed");
    check(av_opt_set(v->priv_data, "preset", video.preset.c_str(), 0), "Setting the x264 preset failed");
    if (!video.sceneCutKeyFrames) check(av_opt_set(v->priv_data, "x264-params", "scenecut=0", 0), "Turning scene cuts off failed");
    if (video.constantBitRate) {
        // ABR alone spends freely early on and leaves easy frames cheap, so a short clip
        // can land at several times the average. A VBV at the average with a quarter
        // second of buffer, full from the start, bounds what any stretch may spend, and
        // HRD CBR pads what easy frames leave with filler data.
        v->rc_max_rate = video.averageBitRate;
        v->rc_buffer_size = int(video.averageBitRate / 4);
        v->rc_initial_buffer_occupancy = v->rc_buffer_size;
        check(av_opt_set(v->priv_data, "nal-hrd", "cbr", 0), "Setting constant bit rate failed");
    }
    check(avcodec_open2(v, x264, nullptr), "Opening the H.264 encoder failed");
    m.vstream = avformat_new_stream(m.fmt, nullptr);
    if (!m.vstream) throw ffmpegError(AVERROR(ENOMEM), "Video stream");
    m.vstream->time_base = v->time_base;
    check(avcodec_parameters_from_context(m.vstream->codecpar, v), "Video stream parameters");

    m.vframe.reset(av_frame_alloc());
    m.vpkt.reset(av_packet_alloc());
    if (!m.vframe || !m.vpkt) throw ffmpegError(AVERROR(ENOMEM), "Video frame");
    m.vframe->format = v->pix_fmt;
    m.vframe->width = v->width;
    m.vframe->height = v->height;
    m.vframe->color_primaries = v->color_primaries;
    m.vframe->color_trc = v->color_trc;
    m.vframe->colorspace = v->colorspace;
    m.vframe->color_range = v->color_range;
    check(av_frame_get_buffer(m.vframe.get(), 0), "Video frame buffer");

    m.sws = sws_getContext(video.width, video.height, AV_PIX_FMT_BGRA, video.width, video.height, AV_PIX_FMT_YUV420P,
                           SWS_BILINEAR | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (!m.sws) throw ffmpegError(AVERROR(EINVAL), "Creating the BGRA to YUV converter failed");
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    // Source full range (RGB), destination limited range with BT.709 coefficients.
    if (sws_setColorspaceDetails(m.sws, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16) < 0) {
        throw ffmpegError(AVERROR(ENOSYS), "Setting the BT.709 conversion failed");
    }

    // Audio encoder.
    if (audio) {
        const AVCodec* aac = avcodec_find_encoder_by_name("aac");
        if (!aac) throw ffmpegError(AVERROR_ENCODER_NOT_FOUND, "AAC encoder");
        m.actx.reset(avcodec_alloc_context3(aac));
        if (!m.actx) throw ffmpegError(AVERROR(ENOMEM), "AAC encoder context");
        AVCodecContext* a = m.actx.get();
        a->sample_fmt = AV_SAMPLE_FMT_FLTP;
        a->sample_rate = audio->sampleRate;
        av_channel_layout_default(&a->ch_layout, audio->channels);
        a->bit_rate = audio->bitRate;
        a->time_base = AVRational{1, audio->sampleRate};
        if (m.fmt->oformat->flags & AVFMT_GLOBALHEADER) a->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        check(avcodec_open2(a, aac, nullptr), "Opening the AAC encoder failed");
        m.astream = avformat_new_stream(m.fmt, nullptr);
        if (!m.astream) throw ffmpegError(AVERROR(ENOMEM), "Audio stream");
        m.astream->time_base = a->time_base;
        check(avcodec_parameters_from_context(m.astream->codecpar, a), "Audio stream parameters");
        m.aframe.reset(av_frame_alloc());
        m.apkt.reset(av_packet_alloc());
        if (!m.aframe || !m.apkt) throw ffmpegError(AVERROR(ENOMEM), "Audio frame");
        m.aframe->format = a->sample_fmt;
        m.aframe->sample_rate = a->sample_rate;
        check(av_channel_layout_copy(&m.aframe->ch_layout, &a->ch_layout), "Audio channel layout");
        m.aframe->nb_samples = a->frame_size > 0 ? a->frame_size : 1024;
        if (a->frame_size <= 0) a->frame_size = 1024;
        check(av_frame_get_buffer(m.aframe.get(), 0), "Audio frame buffer");
        m.pending.assign(size_t(audio->channels), {});
    }
}

Mp4Writer::~Mp4Writer() = default;

bool Mp4Writer::hasAudio() const { return impl_->actx != nullptr; }

void Mp4Writer::start() {
    Impl& m = *impl_;
    {
        std::lock_guard lock(m.stateMutex);
        if (m.status != Status::created) throw mediaError(2, "The MP4 writer was started already.");
    }
    m.guarded([&] {
        m.temporaryMayExist = true;
        check(avio_open(&m.fmt->pb, m.temporary.c_str(), AVIO_FLAG_WRITE), "Opening the MP4 file failed");
        // The movie timescale carries edit lists (a late first frame, audio priming): a
        // multiple of the frame rate keeps frame times exact instead of rounded to 1 ms.
        AVDictionary* opts = nullptr;
        av_dict_set_int(&opts, "movie_timescale", int64_t(m.vs.fps) * 1000, 0);
        const int ret = avformat_write_header(m.fmt, &opts);
        av_dict_free(&opts);
        check(ret, "Writing the MP4 header failed");
    });
    std::lock_guard lock(m.stateMutex);
    m.status = Status::writing;
}

Mp4Writer::Status Mp4Writer::status() const {
    std::lock_guard lock(impl_->stateMutex);
    return impl_->status;
}

std::optional<StudioError> Mp4Writer::error() const {
    std::lock_guard lock(impl_->stateMutex);
    return impl_->firstError;
}

void Mp4Writer::appendVideoFrame(const uint8_t* bgra, int64_t bytesPerRow, int64_t pts) {
    Impl& m = *impl_;
    m.requireWriting();
    if (m.videoFinished) throw mediaError(2, "The video input is finished.");
    if (!bgra || bytesPerRow < int64_t(m.vs.width) * 4 || bytesPerRow > INT32_MAX) throw mediaError(1, "Bad video frame layout.");
    if (pts <= m.lastVideoPts || pts < 0) throw mediaError(3, "Video timestamps must increase from zero.");
    m.guarded([&] {
        check(av_frame_make_writable(m.vframe.get()), "Video frame buffer");
        const uint8_t* src[4] = {bgra, nullptr, nullptr, nullptr};
        const int srcStride[4] = {int(bytesPerRow), 0, 0, 0};
        const int rows = sws_scale(m.sws, src, srcStride, 0, m.vs.height, m.vframe->data, m.vframe->linesize);
        if (rows != m.vs.height) throw ffmpegError(AVERROR(EINVAL), "Converting the frame to YUV failed");
        m.vframe->pts = pts;
        check(avcodec_send_frame(m.vctx.get(), m.vframe.get()), "Sending a frame to the H.264 encoder failed");
        m.writePackets(m.vctx.get(), m.vstream, m.vpkt.get());
    });
    m.lastVideoPts = pts;
}

void Mp4Writer::finishVideo() {
    Impl& m = *impl_;
    if (m.videoFinished) return;
    m.videoFinished = true;
    if (status() != Status::writing) return;
    m.guarded([&] {
        check(avcodec_send_frame(m.vctx.get(), nullptr), "Flushing the H.264 encoder failed");
        m.writePackets(m.vctx.get(), m.vstream, m.vpkt.get());
    });
}

void Mp4Writer::appendAudio(std::span<const float> interleaved, int64_t ptsSamples) {
    Impl& m = *impl_;
    if (!m.actx) throw mediaError(2, "The MP4 writer has no audio input.");
    m.requireWriting();
    if (m.audioFinished) throw mediaError(2, "The audio input is finished.");
    m.validateAudio(interleaved.size(), ptsSamples);
    m.guarded([&] { m.appendAudioFloats(interleaved.data(), interleaved.size(), ptsSamples); });
}

void Mp4Writer::appendAudio(std::span<const int16_t> interleaved, int64_t ptsSamples) {
    std::vector<float> f(interleaved.size());
    for (size_t i = 0; i < f.size(); ++i) f[i] = float(interleaved[i]) * (1.0f / 32768.0f);
    appendAudio(std::span<const float>(f), ptsSamples);
}

void Mp4Writer::finishAudio() {
    Impl& m = *impl_;
    if (!m.actx || m.audioFinished) return;
    m.audioFinished = true;
    if (status() != Status::writing) return;
    m.guarded([&] {
        if (!m.pending[0].empty()) {
            const int n = int(m.pending[0].size());
            // The AAC encoder takes a shorter last frame only when it says so.
            if (!(m.actx->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME)) {
                for (auto& ch : m.pending) ch.resize(size_t(m.actx->frame_size), 0.0f);
                m.emitAudioFrame(m.actx->frame_size);
            } else {
                m.emitAudioFrame(n);
            }
        }
        check(avcodec_send_frame(m.actx.get(), nullptr), "Flushing the AAC encoder failed");
        m.writePackets(m.actx.get(), m.astream, m.apkt.get());
    });
}

void Mp4Writer::finish() {
    Impl& m = *impl_;
    if (status() == Status::writing) {
        try {
            finishVideo();
            finishAudio();
        } catch (const StudioError&) {
            // Already recorded as the writer's error.
        }
    }
    {
        std::lock_guard lock(m.stateMutex);
        if (m.status == Status::created) {
            m.status = Status::failed;
            if (!m.firstError) m.firstError = mediaError(2, "The MP4 writer was never started.");
        }
        if (m.status != Status::writing) {
            if (m.fmt->pb) avio_closep(&m.fmt->pb);
            m.removeTemporary();
            throw *m.firstError;
        }
    }
    try {
        m.guarded([&] {
            int ret;
            {
                std::lock_guard lock(m.stateMutex);
                ret = av_write_trailer(m.fmt);
            }
            check(ret, "Writing the MP4 trailer failed");
            check(avio_closep(&m.fmt->pb), "Closing the MP4 file failed");
            pk::replaceWithTemporary(m.temporary, m.path);
            m.temporaryMayExist = false;
        });
    } catch (...) {  // the trailer, the close or the rename failed: the target stays as it was
        if (m.fmt->pb) avio_closep(&m.fmt->pb);
        m.removeTemporary();
        throw;
    }
    std::lock_guard lock(m.stateMutex);
    m.status = Status::completed;
}

}  // namespace pk::media
