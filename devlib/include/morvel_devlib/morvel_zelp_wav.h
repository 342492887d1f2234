/** @file
   WAV files of the chip's audio: the header of a RIFF file with one PCM format chunk and one data
   chunk, as a plain record and as the 44 little-endian bytes that begin the file, and the tank's
   samples in the form WAV stores them. */
#ifndef MORVEL_ZELP_WAV_H
#define MORVEL_ZELP_WAV_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/** Bytes of the header that begins a WAV file. */
#define MORVEL_ZELP_WAV_HEADER_SIZE 44u
/** The format code of PCM samples. */
#define MORVEL_ZELP_WAV_FORMAT_PCM 1u
/** The chip's audio: one channel at 16 kHz. */
#define MORVEL_ZELP_AUDIO_SAMPLE_RATE 16000u

/** The header's fields, in the order the file holds them; the constant words (RIFF, WAVE, fmt,
   data, the format chunk's size) are morvel_zelp_wav_encode's. */
typedef struct morvel_zelp_wav_header_s {
    uint32_t riff_size; /* bytes after the RIFF size word: 36 + data_size */
    uint16_t format;    /* MORVEL_ZELP_WAV_FORMAT_PCM */
    uint16_t channels;
    uint32_t sample_rate;
    uint32_t byte_rate;   /* sample_rate * block_align */
    uint16_t block_align; /* channels * bits_per_sample / 8: bytes per frame */
    uint16_t bits_per_sample;
    uint32_t data_size; /* bytes of samples */
} morvel_zelp_wav_header_s;

/** Fills `header` for `data_bytes` bytes of PCM samples.
   @return MORVEL_ZELP_ERROR_ARG for a rate or channel count of 0, more than 65535 channels,
   sample widths other than 8 and 16 bits, a data size that is not whole frames or that a WAV file
   cannot hold (above 4 GiB less the header); `header` is then left as it was.
   @anythread */
int morvel_zelp_wav_header(morvel_zelp_wav_header_s *header, uint32_t sample_rate,
                           unsigned int channels, unsigned int bits_per_sample,
                           uint64_t data_bytes);

/** The header's 44 bytes, little-endian, as they begin the file.
   @anythread */
void morvel_zelp_wav_encode(const morvel_zelp_wav_header_s *header,
                            uint8_t out[MORVEL_ZELP_WAV_HEADER_SIZE]);

/** Turns `len` bytes of tank samples `bits_per_sample` wide into WAV samples, in place. WAV keeps
   8-bit samples unsigned (silence is 128) where the tank's are two's complement, so each byte's
   top bit flips; 16-bit samples are little-endian two's complement in both and stay.
   @anythread */
void morvel_zelp_wav_samples(uint8_t *data, size_t len, unsigned int bits_per_sample);

#ifdef __cplusplus
}
#endif

#endif
