#include "recording/AudioFile.h"

#include "log/Log.h"
#include "recording/IORequest.h"
#include "recording/RecordingErrors.h"
#include "recording/Streamer.h"

#include <algorithm>
#include <cstring>

namespace vantor {

AudioFile::AudioFile(const std::string& utf8Path, int formatFlag, int /*unused*/, int sampleRate, int bits,
                     int channels, double secondsPerRequest)
    : mutex_(utf8Path), path_(utf8Path), currentPath_(utf8Path) {
    if (bits != 32 || formatFlag != 0) throw AudioFileException("Only supporting 32bit FLOAT WAVES thanks!");
    writer_ = std::make_unique<WaveFileWriter>(utf8Path.c_str());
    if (!writer_->isOpen()) {
        std::string message = "Can not open file for writing : " + utf8Path;
        logError(message, " (", writer_->error(), ")");
        throw AudioFileException(message, writer_->error());
    }
    addPart(utf8Path);
    writer_->setFormat(sampleRate, channels, 32, true);
    sampleRate_ = sampleRate;
    channels_ = channels;
    requestCapacity_.store(static_cast<uint64_t>(sampleRate) * static_cast<uint64_t>(channels) *
                               static_cast<uint64_t>(secondsPerRequest),
                           std::memory_order_release);
    if (writer_->failed()) fail("writing the header");
}

AudioFile::~AudioFile() = default;

std::string AudioFile::continuationPath(const std::string& path, int part) {
    size_t slash = path.find_last_of("/\\");
    size_t dot = path.find_last_of('.');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::string suffix = " (" + std::to_string(part) + ")";
    // A leading dot names a hidden file, not an extension.
    if (dot == std::string::npos || dot <= nameStart) return path + suffix;
    return path.substr(0, dot) + suffix + path.substr(dot);
}

void AudioFile::addPart(const std::string& path) {
    std::lock_guard<std::mutex> lock(outcome_->lock);
    outcome_->files.push_back(path);
}

void AudioFile::fail(const std::string& what) {
    if (outcome_->failed.exchange(true, std::memory_order_acq_rel)) return;
    uint64_t kept = writer_ ? static_cast<uint64_t>(std::max<int64_t>(writer_->dataBytes(), 0)) : 0;
    const std::string reason = writer_ ? writer_->error() : std::string();
    {
        std::lock_guard<std::mutex> lock(outcome_->lock);
        outcome_->error = reason.empty() ? what + " failed" : reason;
    }
    logError("AudioFile: ", what, " failed for ", currentPath_, " (", reason,
             "); the recording stops there with ", kept, " bytes of samples kept");
    // Leave what reached the disk readable: the header describes exactly those samples.
    if (writer_ && writer_->isOpen() && !writer_->finished()) writer_->finish();
    postRecordingError(
        "The recording could not be written to \"" + currentPath_ + "\" (" +
        (reason.empty() ? std::string("the disk may be full or unavailable") : reason) +
        "). Recording to this file has stopped; the audio recorded until then is kept in the file.");
}

bool AudioFile::startNextPart(int sampleRate) {
    if (!writer_->finish()) {
        fail("completing the header");
        return false;
    }
    writer_.reset();
    // An earlier take may already bear the next name: it is never overwritten, the recording
    // takes the first number that is free.
    constexpr int kMaxParts = 10000;
    for (;;) {
        ++part_;
        currentPath_ = continuationPath(path_, part_);
        writer_ = std::make_unique<WaveFileWriter>(currentPath_.c_str(), /*mustBeNew=*/true);
        if (writer_->isOpen()) {
            ++files_;
            addPart(currentPath_);
            break;
        }
        if (!writer_->alreadyExisted() || part_ >= kMaxParts) {
            fail("creating the continuation file");
            return false;
        }
    }
    sampleRate_ = sampleRate;
    writer_->setFormat(sampleRate_, channels_, 32, true);
    if (writer_->failed()) {
        fail("writing the header");
        return false;
    }
    return true;
}

bool AudioFile::changeSampleRate(int sampleRate, double secondsPerRequest) {
    if (sampleRate == sampleRate_ || hasFailed() || !writer_) return false;
    bool ok;
    if (writer_->dataBytes() == 0) {
        // Nothing recorded into this part yet: it is ours, made again with the new rate.
        writer_.reset();
        writer_ = std::make_unique<WaveFileWriter>(currentPath_.c_str());
        ok = writer_->isOpen();
        if (!ok) {
            fail("creating the file again at the new sample rate");
        } else {
            sampleRate_ = sampleRate;
            writer_->setFormat(sampleRate_, channels_, 32, true);
            if (writer_->failed()) {
                fail("writing the header");
                ok = false;
            }
        }
        if (ok) logInfo("AudioFile: ", currentPath_, " now records at ", sampleRate, " Hz");
    } else {
        ok = startNextPart(sampleRate);
        if (ok)
            logInfo("AudioFile: ", path_, " changes to ", sampleRate, " Hz, continuing in ", currentPath_);
    }
    requestCapacity_.store(static_cast<uint64_t>(sampleRate_) * static_cast<uint64_t>(channels_) *
                               static_cast<uint64_t>(secondsPerRequest),
                           std::memory_order_release);
    return ok;
}

bool AudioFile::appendSamples(const void* data, uint64_t bytes) {
    if (hasFailed() || !writer_) return false;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (bytes > 0) {
        uint64_t limit = writer_->maxDataBytes();
        uint64_t used = static_cast<uint64_t>(writer_->dataBytes());
        if (used >= limit) {
            if (!startNextPart(sampleRate_)) return false;
            logInfo("AudioFile: ", path_, " reached the largest size a WAV file can describe, continuing in ",
                    currentPath_);
            continue;
        }
        uint64_t chunk = std::min(limit - used, bytes);
        if (!writer_->writeBytes(p, chunk)) {
            fail("writing samples");
            return false;
        }
        outcome_->frames.fetch_add(chunk / (static_cast<uint64_t>(bytesPerSample()) * channels_),
                                   std::memory_order_relaxed);
        p += chunk;
        bytes -= chunk;
    }
    return true;
}

void AudioFile::finishWriter() {
    if (!writer_ || !writer_->isOpen() || writer_->finished()) return;
    if (!writer_->finish()) fail("completing the header");
}

StreamedAudioFileWrite::StreamedAudioFileWrite(Streamer* streamer, const std::string& utf8Path,
                                               int formatFlag, int unused, int sampleRate, int bits,
                                               int channels, double secondsPerRequest)
    : AudioFile(utf8Path, formatFlag, unused, sampleRate, bits, channels, secondsPerRequest),
      streamer_(streamer) {
    // Two spare requests in the pool: the audio thread then takes a ready buffer while the
    // streamer is still writing the one just handed over.
    IORequest::reserveWriteRequests(requestCapacity(), 2);
    current_ = IORequest::getWriteRequest(this, requestCapacity());
}

StreamedAudioFileWrite::~StreamedAudioFileWrite() {
    // Samples never flushed (a file deleted without closeFile) still belong to the recording; the
    // destructor runs on a thread that may touch the disk.
    if (current_ && fill_ > 0) appendSamples(current_->buffer, fill_ * bytesPerSample());
    fill_ = 0;
    finishWriter();
    if (current_ && !current_->release()) delete current_;
    current_ = nullptr;
    if (uint64_t dropped = droppedSamples())
        logError("StreamedAudioFileWrite: ", dropped, " samples could not be buffered for ", path());
}

void StreamedAudioFileWrite::handOver(IORequest* request) {
    if (streamer_) {
        streamer_->addToRequestQueue(request);
        return;
    }
    writeRequest(request);
    if (!request->release()) delete request;
}

void StreamedAudioFileWrite::write(const float* samples, uint64_t n, bool direct) {
    if (hasFailed()) return; // the failure is reported; copying more would be wasted work
    if (direct) {
        appendSamples(samples, n * bytesPerSample());
        return;
    }
    uint64_t capacity = requestCapacity();
    if (capacity == 0) {
        dropped_.fetch_add(n, std::memory_order_relaxed);
        return;
    }
    while (n > 0) {
        if (current_ && fill_ >= capacity) {
            current_->count = fill_;
            handOver(current_);
            current_ = nullptr;
            fill_ = 0;
        }
        if (!current_) {
            current_ = IORequest::getWriteRequest(this, capacity);
            fill_ = 0;
            if (!current_) {
                dropped_.fetch_add(n, std::memory_order_relaxed);
                return;
            }
        }
        uint64_t room = capacity - fill_;
        if (n > room && fill_ > 0) {
            // Hand over a request only when the next block would not fit, keeping blocks whole.
            current_->count = fill_;
            handOver(current_);
            current_ = nullptr;
            fill_ = 0;
            continue;
        }
        uint64_t take = std::min(n, room);
        std::memcpy(current_->buffer + fill_ * bytesPerSample(), samples, take * bytesPerSample());
        fill_ += take;
        samples += take;
        n -= take;
    }
}

float* StreamedAudioFileWrite::beginWrite(uint64_t n, bool direct) {
    if (hasFailed()) return nullptr; // the failure is reported; nothing more is written
    const uint64_t capacity = requestCapacity();
    // A request taken before the sample rate rose may hold less than the capacity.
    const auto room = [&](const IORequest* r) { return std::min(capacity, r->allocated / bytesPerSample()); };
    // Written on this thread, a request is emptied every 256 KB: as few system calls as a full
    // one costs, but its memory stays in the cache the instrument works in.
    const uint64_t full = direct ? kDirectWriteSamples : capacity;
    if (current_ && fill_ > 0 && fill_ + n > std::min(full, room(current_))) {
        // Whole blocks only: a request goes when the next block would not fit.
        current_->count = fill_;
        if (direct) {
            appendSamples(current_->buffer, fill_ * bytesPerSample());
        } else {
            handOver(current_);
            current_ = nullptr;
        }
        fill_ = 0;
    }
    if (current_ && n > room(current_)) {
        if (!current_->release()) delete current_;
        current_ = nullptr;
    }
    if (!current_ && n <= capacity) {
        current_ = IORequest::getWriteRequest(this, capacity);
        fill_ = 0;
    }
    if (!current_ || n > room(current_)) {
        dropped_.fetch_add(n, std::memory_order_relaxed);
        return nullptr;
    }
    if (hasFailed()) return nullptr;
    return reinterpret_cast<float*>(current_->buffer) + fill_;
}

void StreamedAudioFileWrite::flush() {
    if (fill_ > 0 && current_) {
        current_->count = fill_;
        handOver(current_);
        current_ = nullptr;
        fill_ = 0;
    }
}

void StreamedAudioFileWrite::prepareForStreaming() {
    const uint64_t capacity = requestCapacity();
    IORequest::reserveWriteRequests(capacity, 2);
    if (current_ && fill_ == 0 && current_->allocated < capacity * bytesPerSample()) {
        if (!current_->release()) delete current_;
        current_ = nullptr;
    }
    if (!current_) {
        current_ = IORequest::getWriteRequest(this, capacity);
        fill_ = 0;
    }
}

void StreamedAudioFileWrite::writeRequest(IORequest* request) {
    appendSamples(request->buffer, request->count * bytesPerSample());
}

} // namespace vantor
