// Event-driven Standard MIDI File parser. Bytes come in through readByte(); everything found goes
// out through the callbacks. It keeps no model of its own: a subclass builds whatever it needs.
// An error goes to onError() and stops the parse; whatever was reported before it stays reported.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Midifile_reader {
public:
    Midifile_reader() = default;
    virtual ~Midifile_reader();
    Midifile_reader(const Midifile_reader&) = delete;
    Midifile_reader& operator=(const Midifile_reader&) = delete;

    // Parses the whole input; the byte source must stand at the first byte of the file.
    void read();
    // Reports the error through onError() and stops all further reading.
    void fail(const std::string& message);

    bool failed() const { return error_ != 0; }
    // The header chunk was read whole: its tag, a length of at least 6 and every byte it claims.
    // A file without one is not a Standard MIDI File at all.
    bool headerComplete() const { return headerComplete_; }
    // Ticks since the start of the current track. 64 bits: the deltas of a long track can sum
    // past the 32-bit range.
    int64_t currentTime() const { return currentTime_; }

    // A variable-length number holds at most 4 bytes (28 bits).
    static constexpr int kMaxVariableLengthBytes = 4;

protected:
    // The message buffer. Storage must come from ::operator new: the destructor runs after the
    // subclass is gone and frees the last buffer with ::operator delete.
    virtual char* allocateBuffer(size_t size) = 0;
    virtual void releaseBuffer(char* bytes, size_t size) = 0;
    virtual void onTrackStart() = 0;
    virtual void onTrackEnd() = 0;
    virtual int readByte() = 0; // 0..255, or -1 at the end of the input
    // Up to count bytes into destination; fewer only at the end of the input. The default goes
    // through readByte(); a buffered source can copy in bulk.
    virtual size_t readBytes(char* destination, size_t count);
    // Bytes the input can still supply, when the source knows it (0: unknown). Lets a long event
    // be read into one buffer of the right size instead of a doubling one.
    virtual size_t bytesAvailable() { return 0; }
    virtual void onEndOfTrack() = 0;
    virtual void onError(const std::string& message) = 0;
    virtual void onHeader(int format, int tracks, int division) = 0;
    virtual void onNoteOn(int channel, int key, int velocity) = 0;
    virtual void onNoteOff(int channel, int key, int velocity) = 0;
    virtual void onPolyPressure(int channel, int key, int pressure) = 0;
    virtual void onController(int channel, int controller, int value) = 0;
    virtual void onPitchBend(int channel, int lsb, int msb) = 0;
    virtual void onProgram(int channel, int program, int unused) = 0;
    virtual void onChannelPressure(int channel, int pressure, int unused) = 0;
    virtual void onSysex(int32_t length, const char* data) = 0;     // data starts with 0xF0
    virtual void onArbitrary(int32_t length, const char* data) = 0; // 0xF7 escape
    virtual void onMetaMisc(int type, int32_t length, const char* data) = 0;
    virtual void onSequenceNumber(int number) = 0;
    virtual void onSmpteOffset(int hours, int minutes, int seconds, int frames, int fractions) = 0;
    virtual void onTimeSignature(int numerator, int denominatorPower, int clocks, int thirtySeconds) = 0;
    virtual void onTempo(int32_t microsecondsPerQuarter) = 0;
    virtual void onKeySignature(int sharpsFlats, int minor) = 0;
    virtual void onSequencerSpecific(int32_t length, const char* data) = 0;
    virtual void onText(int type, int32_t length, const char* data) = 0;

private:
    int nextByte();
    uint32_t read32();
    uint32_t read16();
    uint32_t readVariableLength();
    void readChunkTag(const char* tag);
    int readHeader();
    void readTrack();
    // Appends length bytes of the input to the message buffer; false when the input failed.
    bool readMessage(uint32_t length);
    void clearMessage() { messageLength_ = 0; }
    void addMessageByte(char byte);
    void growMessage(size_t atLeast);
    void dispatchChannel(int status, int first, int second);
    void dispatchMeta(int type);
    int metaByte(size_t index) const; // signed; 0 past the message's end

    int64_t currentTime_ = 0;
    int64_t toRead_ = 0; // may go negative when an event runs past its chunk's end
    int error_ = 0;
    bool headerComplete_ = false;
    char* message_ = nullptr;
    size_t messageCapacity_ = 0;
    size_t messageLength_ = 0;
};
