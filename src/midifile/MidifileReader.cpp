#include "midifile/MidifileReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Data bytes of a channel message by the high nibble of its status; 0: not a channel message.
int channelDataBytes(int status) {
    switch ((status >> 4) & 0x0F) {
    case 0x8:
    case 0x9:
    case 0xA:
    case 0xB:
    case 0xE:
        return 2;
    case 0xC:
    case 0xD:
        return 1;
    default:
        return 0;
    }
}

constexpr size_t kFirstMessageCapacity = 128;

} // namespace

Midifile_reader::~Midifile_reader() {
    // The subclass part is already gone here, so its releaseBuffer() cannot be called.
    ::operator delete(message_);
}

void Midifile_reader::fail(const std::string& message) {
    onError(message);
    error_ = 1;
}

int Midifile_reader::nextByte() {
    const int c = readByte();
    if (c < 0) {
        fail("premature EOF");
        return -1;
    }
    --toRead_;
    return c;
}

uint32_t Midifile_reader::read32() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const int c = nextByte();
        if (error_) return 0;
        value = (value << 8) | static_cast<uint32_t>(c);
    }
    return value;
}

uint32_t Midifile_reader::read16() {
    uint32_t value = 0;
    for (int i = 0; i < 2; ++i) {
        const int c = nextByte();
        if (error_) return 0;
        value = (value << 8) | static_cast<uint32_t>(c);
    }
    return value;
}

// Unsigned and limited to the 4 bytes the format allows: a fifth byte means the file is corrupt
// (reading on would take note data for a time or a length), so it is a parse error.
uint32_t Midifile_reader::readVariableLength() {
    uint32_t value = 0;
    for (int count = 1;; ++count) {
        const int c = nextByte();
        if (error_) return 0;
        value = (value << 7) | static_cast<uint32_t>(c & 0x7F);
        if ((c & 0x80) == 0) return value;
        if (count == kMaxVariableLengthBytes) {
            fail("variable-length number longer than 4 bytes");
            return 0;
        }
    }
}

void Midifile_reader::readChunkTag(const char* tag) {
    char got[4];
    for (int i = 0; i < 4; ++i) {
        const int c = readByte();
        if (c < 0) {
            fail(std::string("EOF while expecting ") + tag);
            return;
        }
        got[i] = static_cast<char>(c);
    }
    if (std::memcmp(got, tag, 4) != 0) fail(std::string("expecting ") + tag);
}

void Midifile_reader::read() {
    error_ = 0;
    headerComplete_ = false;
    const int tracks = readHeader();
    if (error_) return;
    if (tracks <= 0) {
        fail("No tracks!");
        return;
    }
    for (int i = 0; i < tracks && !error_; ++i)
        readTrack();
}

int Midifile_reader::readHeader() {
    readChunkTag("MThd");
    if (error_) return 0;
    toRead_ = read32();
    if (error_) return 0;
    const bool longEnough = toRead_ >= 6;
    const int format = static_cast<int>(read16());
    if (error_) return 0;
    const int tracks = static_cast<int>(read16());
    if (error_) return 0;
    const int division = static_cast<int>(read16());
    if (error_) return 0;
    onHeader(format, tracks, division);
    while (toRead_ > 0 && !error_)
        nextByte();
    headerComplete_ = longEnough && !error_;
    return tracks;
}

void Midifile_reader::readTrack() {
    readChunkTag("MTrk");
    if (error_) return;
    toRead_ = read32();
    if (error_) return;
    currentTime_ = 0;
    int runningStatus = 0;
    onTrackStart();
    if (error_) return;

    while (toRead_ > 0) {
        currentTime_ += readVariableLength();
        if (error_) return;
        int c = nextByte();
        if (error_) return;
        const bool running = c < 0x80;
        if (running) {
            if (runningStatus == 0) {
                fail("unexpected running status");
                return;
            }
        } else {
            runningStatus = c;
        }

        const int needed = channelDataBytes(runningStatus);
        if (needed > 0) {
            int first = running ? c : nextByte();
            if (error_) return;
            int second = 0;
            if (needed == 2) {
                second = nextByte();
                if (error_) return;
            }
            dispatchChannel(runningStatus, first, second);
            if (error_) return;
            continue;
        }

        switch (c) {
        case 0xFF: {
            const int type = nextByte();
            if (error_) return;
            const uint32_t length = readVariableLength();
            if (error_) return;
            clearMessage();
            if (!readMessage(length)) return;
            dispatchMeta(type);
            break;
        }
        case 0xF0: {
            const uint32_t length = readVariableLength();
            if (error_) return;
            clearMessage();
            addMessageByte(static_cast<char>(0xF0));
            if (!readMessage(length)) return;
            onSysex(static_cast<int32_t>(messageLength_), message_);
            break;
        }
        case 0xF7: {
            const uint32_t length = readVariableLength();
            if (error_) return;
            clearMessage();
            if (!readMessage(length)) return;
            onArbitrary(static_cast<int32_t>(messageLength_), message_);
            break;
        }
        case 0xF1:
        case 0xF4:
        case 0xF5:
        case 0xF9:
        case 0xFD:
            break;
        default: {
            char text[32];
            std::snprintf(text, sizeof text, "unexpected byte: 0x%02x", static_cast<unsigned>(c));
            fail(text);
            return;
        }
        }
        if (error_) return;
    }
    onTrackEnd();
}

size_t Midifile_reader::readBytes(char* destination, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const int c = readByte();
        if (c < 0) return i;
        destination[i] = static_cast<char>(c);
    }
    return count;
}

// Reads into the free part of the buffer and doubles it when full: a long event costs time
// linear in its size, and since the buffer grows only as bytes actually arrive, a length field
// claiming more than the file holds never allocates more than twice what the file supplied (or,
// when the source knows its size, more than it can still supply).
bool Midifile_reader::readMessage(uint32_t length) {
    size_t remaining = length;
    const size_t available = bytesAvailable();
    if (available > 0 && messageCapacity_ - messageLength_ < std::min<size_t>(remaining, available))
        growMessage(messageLength_ + std::min<size_t>(remaining, available));
    while (remaining > 0) {
        if (messageLength_ == messageCapacity_) growMessage(messageLength_ + 1);
        const size_t wanted = std::min(remaining, messageCapacity_ - messageLength_);
        const size_t got = readBytes(message_ + messageLength_, wanted);
        messageLength_ += got;
        toRead_ -= static_cast<int64_t>(got);
        remaining -= got;
        if (got < wanted) {
            fail("premature EOF");
            return false;
        }
    }
    return true;
}

void Midifile_reader::addMessageByte(char byte) {
    if (messageLength_ == messageCapacity_) growMessage(messageLength_ + 1);
    message_[messageLength_++] = byte;
}

void Midifile_reader::growMessage(size_t atLeast) {
    size_t capacity = messageCapacity_ == 0 ? kFirstMessageCapacity : messageCapacity_ * 2;
    if (capacity < atLeast) capacity = atLeast;
    char* grown = allocateBuffer(capacity);
    if (messageLength_ > 0) std::memcpy(grown, message_, messageLength_);
    if (message_) releaseBuffer(message_, messageCapacity_);
    message_ = grown;
    messageCapacity_ = capacity;
}

void Midifile_reader::dispatchChannel(int status, int first, int second) {
    if (status < 0x80 || status > 0xEF) return;
    const int channel = status & 0x0F;
    switch (status & 0xF0) {
    case 0x80:
        onNoteOff(channel, first, second);
        break;
    case 0x90:
        onNoteOn(channel, first, second);
        break;
    case 0xA0:
        onPolyPressure(channel, first, second);
        break;
    case 0xB0:
        onController(channel, first, second);
        break;
    case 0xC0:
        onProgram(channel, first, 0);
        break;
    case 0xD0:
        onChannelPressure(channel, first, 0);
        break;
    case 0xE0:
        onPitchBend(channel, first, second);
        break;
    default:
        break;
    }
}

int Midifile_reader::metaByte(size_t index) const {
    return index < messageLength_ ? static_cast<int>(static_cast<int8_t>(message_[index])) : 0;
}

void Midifile_reader::dispatchMeta(int type) {
    const auto length = static_cast<int32_t>(messageLength_);
    const auto unsignedByte = [this](size_t i) { return metaByte(i) & 0xFF; };
    if (type >= 0x01 && type <= 0x0F) {
        onText(type, length, message_);
        return;
    }
    switch (type) {
    case 0x00:
        onSequenceNumber(static_cast<int>(static_cast<uint16_t>((unsignedByte(0) << 8) | unsignedByte(1))));
        break;
    case 0x2F:
        onEndOfTrack();
        break;
    case 0x51:
        onTempo((unsignedByte(0) << 16) | (unsignedByte(1) << 8) | unsignedByte(2));
        break;
    case 0x54:
        onSmpteOffset(metaByte(0), metaByte(1), metaByte(2), metaByte(3), metaByte(4));
        break;
    case 0x58:
        onTimeSignature(metaByte(0), metaByte(1), metaByte(2), metaByte(3));
        break;
    case 0x59:
        onKeySignature(metaByte(0), metaByte(1));
        break;
    case 0x7F:
        onSequencerSpecific(length, message_);
        break;
    default:
        onMetaMisc(type, length, message_);
        break;
    }
}
