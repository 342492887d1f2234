// Tank audio as the commands write it out: a WAV file (PCM, one channel, 16 kHz, the tank's sample
// width) when the name ends in ".wav", else the bytes as the chip holds them, to standard output
// for "-". Written as it comes, so a long recording never has to fit in memory; a WAV file's
// header gets its sizes when the file is finished.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "output_file.h"

// Whether `path` asks for a WAV file.
bool names_wav(const std::string &path);

class audio_file {
  public:
    // Each returns 0, or failure_reported after saying why.
    int open(const std::string &path, unsigned tank_bits);
    // The samples may be turned into WAV's own form in place.
    int write(std::span<uint8_t> samples);
    int finish();

  private:
    int write_header();

    output_file out_;
    bool wav_ = false;
    unsigned bits_ = 16;
    uint64_t bytes_ = 0;
};

// The whole of `samples` as one audio file.
int write_audio_file(const std::string &path, unsigned tank_bits, std::span<uint8_t> samples);
