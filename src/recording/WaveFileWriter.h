// RIFF/WAVE container writer: a placeholder header at creation, raw sample bytes as they come, the
// real header with the true sizes at finish. A file that is never finished keeps the placeholder
// (byte 0 = 0xFF, data size 0xFFFFFFFF) so it can be told apart from a completed one.
#pragma once

#include "recording/FileIO.h"

#include <cstdint>
#include <memory>
#include <string>

class WaveFileWriter {
public:
    static constexpr int64_t kHeaderBytes = 44;

    // UTF-8 path; creates or truncates, or with mustBeNew leaves an existing file alone (and
    // alreadyExisted() true). A null path or a failed open leaves isOpen() false.
    explicit WaveFileWriter(const char* utf8Path, bool mustBeNew = false);
    ~WaveFileWriter();
    WaveFileWriter(const WaveFileWriter&) = delete;
    WaveFileWriter& operator=(const WaveFileWriter&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    bool alreadyExisted() const { return alreadyExisted_; }
    void setFormat(int sampleRate, int channels, int bits, bool isFloat);
    // Appends n bytes. False once any write or seek has failed: the writer then writes no more
    // sample data and total() counts only what reached the file.
    bool writeBytes(const void* data, uint64_t n);
    // Writes the final header; false if that could not be written.
    bool finish();

    int64_t total() const { return total_; }
    int64_t dataBytes() const { return total_ - dataSizePosition_; }
    uint16_t blockAlign() const;
    bool failed() const { return failed_; }
    // The system's reason of the first failure (open, write or seek); empty while none.
    const std::string& error() const { return error_; }
    bool finished() const { return finished_; }

    // Largest data size the 32-bit size fields can describe, in whole frames.
    uint64_t maxDataBytes() const;
    // Tests: pretend the size fields end at this many data bytes (0 restores the real limit).
    static void setDataLimitForTesting(uint64_t bytes);

private:
    bool put(const void* data, uint64_t n);
    bool seekTo(int64_t position);
    void noteError();

    std::unique_ptr<vantor::OutputFile> file_;
    bool opened_ = false;
    uint8_t format_[16] = {};
    int64_t total_ = 0;
    int64_t dataSizePosition_ = 0;
    bool finished_ = false;
    bool failed_ = false;
    bool alreadyExisted_ = false;
    std::string error_;
};
