#include "PlatformKit/Media/MediaProbe.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <memory>

namespace pk::media {

namespace {

struct Input {
    AVFormatContext* fmt = nullptr;
    ~Input() {
        if (fmt) avformat_close_input(&fmt);
    }
    bool open(const std::filesystem::path& path) {
        if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return false;
        return avformat_find_stream_info(fmt, nullptr) >= 0;
    }
};

struct Decoder {
    AVCodecContext* ctx = nullptr;
    ~Decoder() { avcodec_free_context(&ctx); }
    bool open(const AVStream* st) {
        const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
        if (!codec) return false;
        ctx = avcodec_alloc_context3(codec);
        if (!ctx || avcodec_parameters_to_context(ctx, st->codecpar) < 0) return false;
        ctx->pkt_timebase = st->time_base;
        return avcodec_open2(ctx, codec, nullptr) >= 0;
    }
};

std::string str(const char* s) { return s ? s : ""; }

// Feeds packets of `stream` to the decoder and hands each decoded frame to `onFrame`
// until it returns false or the stream ends.
template <class F>
bool decodeStream(AVFormatContext* fmt, int stream, AVCodecContext* ctx, F&& onFrame) {
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> pkt(av_packet_alloc(), [](AVPacket* p) { av_packet_free(&p); });
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
    if (!pkt || !frame) return false;
    bool more = true, draining = false;
    while (more) {
        if (!draining) {
            const int r = av_read_frame(fmt, pkt.get());
            if (r < 0) {
                draining = true;
                avcodec_send_packet(ctx, nullptr);
            } else {
                if (pkt->stream_index == stream && avcodec_send_packet(ctx, pkt.get()) < 0) {
                    av_packet_unref(pkt.get());
                    return false;
                }
                av_packet_unref(pkt.get());
            }
        }
        for (;;) {
            const int r = avcodec_receive_frame(ctx, frame.get());
            if (r == AVERROR(EAGAIN)) break;
            if (r == AVERROR_EOF) return true;
            if (r < 0) return false;
            more = onFrame(frame.get());
            av_frame_unref(frame.get());
            if (!more) return true;
        }
    }
    return true;
}

}  // namespace

const StreamProbe* MediaProbe::first(StreamProbe::Kind kind) const {
    for (const auto& s : streams)
        if (s.kind == kind) return &s;
    return nullptr;
}

std::optional<MediaProbe> probeMedia(const std::filesystem::path& path) {
    Input in;
    if (!in.open(path)) return std::nullopt;
    MediaProbe probe;
    probe.formatName = str(in.fmt->iformat->name);
    probe.durationSeconds = in.fmt->duration > 0 ? double(in.fmt->duration) / AV_TIME_BASE : 0;
    struct Pkt {
        int64_t pts;
        bool key;
    };
    std::vector<std::vector<Pkt>> packets(in.fmt->nb_streams);
    for (unsigned i = 0; i < in.fmt->nb_streams; ++i) {
        const AVStream* st = in.fmt->streams[i];
        const AVCodecParameters* p = st->codecpar;
        StreamProbe s;
        s.kind = p->codec_type == AVMEDIA_TYPE_VIDEO   ? StreamProbe::Kind::video
                 : p->codec_type == AVMEDIA_TYPE_AUDIO ? StreamProbe::Kind::audio
                                                       : StreamProbe::Kind::other;
        s.codecName = str(avcodec_get_name(p->codec_id));
        s.profileName = str(avcodec_profile_name(p->codec_id, p->profile));
        s.width = p->width;
        s.height = p->height;
        if (s.kind == StreamProbe::Kind::video) s.pixelFormat = str(av_get_pix_fmt_name(AVPixelFormat(p->format)));
        s.colorSpace = str(av_color_space_name(p->color_space));
        s.colorPrimaries = str(av_color_primaries_name(p->color_primaries));
        s.colorTransfer = str(av_color_transfer_name(p->color_trc));
        s.colorRange = str(av_color_range_name(p->color_range));
        s.sampleRate = p->sample_rate;
        s.channels = p->ch_layout.nb_channels;
        s.bitRate = p->bit_rate;
        s.timeBaseNum = st->time_base.num;
        s.timeBaseDen = st->time_base.den;
        s.durationSeconds = st->duration > 0 ? double(st->duration) * av_q2d(st->time_base) : 0;
        probe.streams.push_back(std::move(s));
    }
    AVPacket* pkt = av_packet_alloc();
    if (!pkt) return std::nullopt;
    while (av_read_frame(in.fmt, pkt) >= 0) {
        if (pkt->stream_index >= 0 && unsigned(pkt->stream_index) < packets.size()) {
            packets[size_t(pkt->stream_index)].push_back({pkt->pts, (pkt->flags & AV_PKT_FLAG_KEY) != 0});
            probe.streams[size_t(pkt->stream_index)].packetBytes += pkt->size;
        }
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    for (size_t i = 0; i < packets.size(); ++i) {
        auto& list = packets[i];
        std::stable_sort(list.begin(), list.end(), [](const Pkt& a, const Pkt& b) { return a.pts < b.pts; });
        StreamProbe& s = probe.streams[i];
        const double tb = av_q2d(in.fmt->streams[i]->time_base);
        s.packetCount = int64_t(list.size());
        for (size_t k = 0; k < list.size(); ++k) {
            s.presentationTimes.push_back(list[k].pts == AV_NOPTS_VALUE ? -1.0 : double(list[k].pts) * tb);
            if (list[k].key) s.keyFrames.push_back(int64_t(k));
        }
    }
    return probe;
}

std::optional<RGBImage> decodeFirstVideoFrameRGB(const std::filesystem::path& path) {
    Input in;
    if (!in.open(path)) return std::nullopt;
    const int stream = av_find_best_stream(in.fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0) return std::nullopt;
    Decoder dec;
    if (!dec.open(in.fmt->streams[stream])) return std::nullopt;
    std::optional<RGBImage> out;
    decodeStream(in.fmt, stream, dec.ctx, [&](AVFrame* f) {
        SwsContext* sws = sws_getContext(f->width, f->height, AVPixelFormat(f->format), f->width, f->height,
                                         AV_PIX_FMT_RGB24, SWS_BILINEAR | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
        if (!sws) return false;
        const int cs = f->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT;
        const int* coeffs = sws_getCoefficients(cs);
        sws_setColorspaceDetails(sws, coeffs, f->color_range == AVCOL_RANGE_JPEG ? 1 : 0, coeffs, 1, 0, 1 << 16, 1 << 16);
        RGBImage img;
        img.width = f->width;
        img.height = f->height;
        img.rgb.resize(size_t(f->width) * size_t(f->height) * 3);
        uint8_t* dst[4] = {img.rgb.data(), nullptr, nullptr, nullptr};
        const int dstStride[4] = {f->width * 3, 0, 0, 0};
        const int rows = sws_scale(sws, f->data, f->linesize, 0, f->height, dst, dstStride);
        sws_freeContext(sws);
        if (rows == f->height) out = std::move(img);
        return false;
    });
    return out;
}

std::optional<DecodedAudio> decodeAudio(const std::filesystem::path& path, double maxSeconds) {
    Input in;
    if (!in.open(path)) return std::nullopt;
    const int stream = av_find_best_stream(in.fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (stream < 0) return std::nullopt;
    Decoder dec;
    if (!dec.open(in.fmt->streams[stream])) return std::nullopt;
    DecodedAudio out;
    out.sampleRate = dec.ctx->sample_rate;
    out.channels = dec.ctx->ch_layout.nb_channels;
    if (out.sampleRate <= 0 || out.channels <= 0) return std::nullopt;
    const size_t limit = size_t(std::max(0.0, maxSeconds) * out.sampleRate) * size_t(out.channels);
    bool ok = true;
    const bool decoded = decodeStream(in.fmt, stream, dec.ctx, [&](AVFrame* f) {
        const int ch = out.channels;
        const AVSampleFormat sf = AVSampleFormat(f->format);
        for (int i = 0; i < f->nb_samples; ++i) {
            for (int c = 0; c < ch; ++c) {
                float v;
                switch (sf) {
                    case AV_SAMPLE_FMT_FLTP: v = reinterpret_cast<const float*>(f->extended_data[c])[i]; break;
                    case AV_SAMPLE_FMT_FLT: v = reinterpret_cast<const float*>(f->extended_data[0])[i * ch + c]; break;
                    case AV_SAMPLE_FMT_S16P: v = reinterpret_cast<const int16_t*>(f->extended_data[c])[i] / 32768.0f; break;
                    case AV_SAMPLE_FMT_S16: v = reinterpret_cast<const int16_t*>(f->extended_data[0])[i * ch + c] / 32768.0f; break;
                    default: ok = false; return false;
                }
                out.interleaved.push_back(v);
            }
        }
        return out.interleaved.size() < limit;
    });
    if (!decoded || !ok) return std::nullopt;
    if (out.interleaved.size() > limit) out.interleaved.resize(limit);
    return out;
}

}  // namespace pk::media
