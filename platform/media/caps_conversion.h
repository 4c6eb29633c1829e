// GStreamer caps to the wire's media types and back (table-driven, one module for both
// directions).
//
// Sender: MediaTypeFromCaps gives the media type whose format block carries everything a
// decoder needs, codec_data included (MPEG sequence header, WMA/WMV extra data, MPEG-4 VOL),
// so a receiver that joins late can still decode. Compressed video gets FORMAT_VideoInfo with
// a FOURCC subtype, MPEG-1/2 video gets MPEG1VIDEOINFO/MPEG2VIDEOINFO, audio gets
// WAVEFORMATEX and its MPEG, MP3, WMA, ADPCM and extensible forms.
//
// Raw video (YUY2, UYVY, I420, RGB24, RGB32, ...) and DV video do map, to FORMAT_VideoInfo
// with their own subtype (MEDIASUBTYPE_RGB24, a FOURCC such as 'YUY2' or 'dvsd'), so the
// video grabber can refuse them by subtype like any other uncompressed type; they are never
// broadcast.
//
// Receiver: CapsFromMediaType gives fixed caps that decodebin can decode from.
#pragma once

#include <gst/gst.h>

#include <optional>

#include "protocol/media_type.h"

namespace vantorel::media {

// The media type that carries a stream with these (fixed) caps; nothing when the caps have no
// mapping (the stream then plays locally only and is not broadcast).
std::optional<protocol::MediaType> MediaTypeFromCaps(const GstCaps* caps);

// Caps a decoder needs for a stream described by this media type; nullptr when unknown.
// The caller owns the returned caps.
GstCaps* CapsFromMediaType(const protocol::MediaType& type);

// True for raw audio that WAVEFORMATEX cannot express but a plain conversion can fix:
// big-endian samples (AU files), signed 8-bit, unsigned 16-bit and the like. The graph layer
// puts `audioconvert ! capsfilter caps=WaveRawAudioCaps()` in front of the grabber for such a
// stream; the converted stream then maps. Raw audio that needs no conversion, and every
// non-raw stream, gives false.
bool NeedsLittleEndianConversion(const GstCaps* caps);

// The raw audio formats that map to WAVEFORMATEX: interleaved U8, S16LE, S24LE, S32LE, F32LE
// and F64LE. The caller owns the returned caps.
GstCaps* WaveRawAudioCaps();

// True for H.264 in stream-format avc/avc3 (from MP4, Matroska): only the byte-stream form
// maps, so the graph layer puts `h264parse config-interval=-1 ! capsfilter
// caps=video/x-h264,stream-format=byte-stream,alignment=au` in front of the grabber; with
// config-interval -1 every key frame carries SPS/PPS, so receivers can join late.
bool NeedsByteStreamConversion(const GstCaps* caps);

}  // namespace vantorel::media
