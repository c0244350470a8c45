#include "midifile/MIDIFile.h"

#include "log/Log.h"
#include "log/TextConv.h"
#include "midifile/MidiFileOpen.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vantor {

// ---- events ----

std::string Vmds_note::print() const {
    return logConcat(on ? "note on" : "note off", " ch ", channel, " key ", key, " vel ", velocity, " at ",
                     time);
}

void Vmds_note::getBytes(int& status, int& data1, int& data2) const {
    status = (on ? 0x90 : 0x80) | channel;
    data1 = key;
    data2 = velocity >= 1.0 ? 127 : static_cast<int>(std::trunc(velocity * 127.0 + 0.5));
}

std::string Vmds_simple::print() const {
    return logConcat("status ", type, " ch ", channel, " ", data1, " ", data2);
}

void Vmds_simple::getBytes(int& status, int& first, int& second) const {
    status = type | channel;
    first = data1;
    second = data2;
}

void Vmds_track::add(double time, Vmds_midiEvent* event) {
    // Events of one track arrive in time order, so this is almost always an append.
    if (events_.empty() || events_.back().first <= time) {
        events_.emplace_back(time, event);
        return;
    }
    const auto at = std::upper_bound(events_.begin(), events_.end(), time,
                                     [](double t, const Entry& e) { return t < e.first; });
    events_.insert(at, Entry(time, event));
}

Vmds_track::const_iterator Vmds_track::lowerBound(double beat) const {
    return std::lower_bound(events_.begin(), events_.end(), beat,
                            [](const Entry& e, double t) { return e.first < t; });
}

// ---- the file ----

MIDIFile::MIDIFile(const std::string& path) : path_(path) {}

MIDIFile::~MIDIFile() = default; // the owned events go with owned_, the tracks only point at them

bool MIDIFile::mayLog() {
    if (logLines_ > kMaxLoadLogLines) return false;
    if (logLines_++ == kMaxLoadLogLines) {
        logWarning("MIDIfile: further load messages suppressed");
        return false;
    }
    return true;
}

bool MIDIFile::load() {
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    // A path that is not UTF-8 cannot be opened (its conversion marker is no file name).
    std::u16string widePath;
    std::unique_ptr<std::FILE, Closer> stream(tryNarrowToWide(path_, widePath) ? openFileForReading(widePath)
                                                                              : nullptr);
    if (!stream) {
        logError("could not open midi file:", path_);
        return false;
    }
    std::vector<unsigned char> bytes;
    if (!readWholeFile(stream.get(), bytes))
        logError("error reading midi file:", path_, " after ", bytes.size(), " bytes");
    stream.reset();
    if (parse(bytes.data(), bytes.size())) return true;
    logError("not a MIDI file (no valid header chunk): ", path_);
    return false;
}

bool MIDIFile::readWholeFile(std::FILE* stream, std::vector<unsigned char>& bytes) {
    long size = -1; // when the stream can tell it, one allocation holds the whole file
    if (std::fseek(stream, 0, SEEK_END) == 0) size = std::ftell(stream);
    std::rewind(stream);
    constexpr size_t kChunk = 64 * 1024;
    for (;;) {
        const size_t at = bytes.size();
        bytes.resize(at + kChunk);
        const size_t got = std::fread(bytes.data() + at, 1, kChunk, stream);
        bytes.resize(at + got);
        if (got < kChunk) break;
        if (at == 0) {
            // Parsing stops at a first tag that is not "MThd": a large file of another kind,
            // chosen by mistake, is not read into memory for nothing.
            if (std::memcmp(bytes.data(), "MThd", 4) != 0) break;
            if (size > 0) bytes.reserve(static_cast<size_t>(size) + kChunk);
        }
    }
    return std::ferror(stream) == 0;
}

bool MIDIFile::parse(const unsigned char* bytes, size_t size) {
    headerValid_ = false;
    Vmds_midifile_reader reader(*this, bytes, size);
    reader.read();
    headerValid_ = headerValid_ && reader.headerComplete();
    return headerValid_;
}

Vmds_track& MIDIFile::track(int index) {
    return tracks_[index];
}

void MIDIFile::setTempo(double beat, double bpm) {
    tempoMap_[beat] = bpm;
}

bool MIDIFile::addTimeSignature(double beat, int numerator, int denominator) {
    if (mayLog()) logInfo("ppq:", beat, " ", numerator, "/", denominator);
    if (numerator < 1 || denominator < 1) {
        if (mayLog()) logWarning("MIDIfile: time signature ", numerator, "/", denominator, " ignored");
        return false;
    }
    timeSignatures_.emplace(beat, Vmds_timeSignature{numerator, denominator});
    return true;
}

void MIDIFile::init() {
    // The tracks the header counts; those never read have no end and cannot lengthen the song,
    // so only the tracks that exist are visited (a header may claim 65535).
    length_ = 0.0;
    for (const auto& [index, track] : tracks_)
        if (index < trackCount_) length_ = std::max(length_, track.endTime);
    logInfo("MIDIFile::init numtracks:", trackCount_, " max ppq:", length_);

    // Concatenating in track order and sorting stably by time is the same as adding every event
    // of every track, in order, to one list that keeps equal times in insertion order.
    size_t total = 0;
    for (const auto& entry : tracks_)
        total += entry.second.size();
    merged_.events_.clear();
    merged_.events_.reserve(total);
    for (const auto& entry : tracks_)
        merged_.events_.insert(merged_.events_.end(), entry.second.begin(), entry.second.end());
    std::stable_sort(
        merged_.events_.begin(), merged_.events_.end(),
        [](const Vmds_track::Entry& a, const Vmds_track::Entry& b) { return a.first < b.first; });

    buildBars();
}

size_t MIDIFile::appendBars(double& start, double count, double barLength, const Vmds_timeSignature& sig,
                            int32_t& index) {
    if (!(count >= 1.0)) return 0;
    const size_t room = kMaxBars - bars_.size();
    const size_t n = count < static_cast<double>(room) ? static_cast<size_t>(count) : room;
    if (count > static_cast<double>(n)) barsCapped_ = true;
    if (bars_.capacity() < bars_.size() + n) bars_.reserve(std::max(bars_.size() + n, 2 * bars_.capacity()));
    for (size_t i = 0; i < n; ++i) {
        const double end = start + barLength;
        bars_.push_back(Vmds_bar{start, end, sig.numerator, sig.denominator, index});
        start = end;
        ++index;
    }
    return n;
}

void MIDIFile::buildBars() {
    bars_.clear();
    barsCapped_ = false;
    if (timeSignatures_.empty()) {
        logInfo("no time signatures in file?, creating a 4/4 at ppq = 0");
        addTimeSignature(0.0, 4, 4);
    }
    auto it = timeSignatures_.begin();
    Vmds_timeSignature sig = it->second; // its own beat is not used: the bars start at 0
    if (length_ == 0.0) {
        logInfo("0 length MIDI File, faking it to one bar");
        length_ = 4.0;
        bars_.push_back(Vmds_bar{0.0, 4.0, sig.numerator, sig.denominator, 0});
    }
    int32_t index = 0;
    double start = 0.0;
    double barLength = sig.numerator * 4.0 / sig.denominator;
    for (++it; it != timeSignatures_.end() && !barsCapped_; ++it) {
        appendBars(start, std::trunc((it->first - start) / barLength), barLength, sig, index);
        sig = it->second;
        barLength = sig.numerator * 4.0 / sig.denominator;
    }
    if (!barsCapped_ && start < length_) {
        const double n = (length_ - start) / barLength;
        double count = std::trunc(n);
        if (static_cast<float>(n - count) > 0.0001f) count += 1.0;
        appendBars(start, count, barLength, sig, index);
    }
    if (bars_.empty()) {
        // A length within the tolerance of 0 (an end of track a few ticks in) rounds down to no
        // bar at all; the player needs one to play and to find the song's end.
        appendBars(start, 1.0, barLength, sig, index);
    }
    if (barsCapped_) {
        length_ = bars_.back().end;
        logWarning("MIDIFile: more than ", kMaxBars, " bars, playing up to beat ", length_);
    }
}

double MIDIFile::secondsAt(double beat) const {
    double bpm = tempoMap_.empty() ? 120.0 : tempoMap_.begin()->second;
    double seconds = 0.0, from = 0.0;
    for (const auto& [at, tempo] : tempoMap_) {
        if (at >= beat) break;
        if (at > from) {
            seconds += (at - from) * 60.0 / bpm;
            from = at;
        }
        bpm = tempo;
    }
    return seconds + (beat - from) * 60.0 / bpm;
}

bool MIDIFile::findBar(uint64_t& searchIndex, double beat, Vmds_bar& bar, bool restart) const {
    if (restart) searchIndex = 0;
    for (; searchIndex < bars_.size(); ++searchIndex) {
        const Vmds_bar& candidate = bars_[searchIndex];
        if (candidate.start <= beat && beat < candidate.end) {
            bar = candidate;
            return true;
        }
    }
    searchIndex = bars_.size();
    return false;
}

// ---- the reader that fills it ----

namespace {
constexpr size_t kMaxLoggedText = 4096;
} // namespace

Vmds_midifile_reader::Vmds_midifile_reader(MIDIFile& file, const unsigned char* bytes, size_t size)
    : file_(file), bytes_(bytes), size_(bytes ? size : 0) {}

size_t Vmds_midifile_reader::bytesAvailable() {
    return size_ - position_;
}

Vmds_midifile_reader::~Vmds_midifile_reader() = default;

char* Vmds_midifile_reader::allocateBuffer(size_t size) {
    return static_cast<char*>(::operator new(size));
}

void Vmds_midifile_reader::releaseBuffer(char* bytes, size_t) {
    ::operator delete(bytes);
}

int Vmds_midifile_reader::readByte() {
    return position_ < size_ ? bytes_[position_++] : -1;
}

size_t Vmds_midifile_reader::readBytes(char* destination, size_t count) {
    const size_t n = std::min(count, size_ - position_);
    if (n > 0) std::memcpy(destination, bytes_ + position_, n);
    position_ += n;
    return n;
}

double Vmds_midifile_reader::now() const {
    return division_ > 0 ? static_cast<double>(currentTime()) / division_ : 0.0;
}

void Vmds_midifile_reader::addEvent(std::unique_ptr<Vmds_midiEvent> event) {
    Vmds_midiEvent* raw = event.get();
    file_.owned_.push_back(std::move(event));
    file_.track(trackIndex_).add(now(), raw);
}

void Vmds_midifile_reader::onTrackStart() {
    if (file_.mayLog()) logInfo("starting new track");
}

void Vmds_midifile_reader::onTrackEnd() {
    ++trackIndex_;
}

void Vmds_midifile_reader::onEndOfTrack() {
    const double t = now();
    file_.track(trackIndex_).endTime = t;
    if (file_.mayLog()) logInfo("MIDIfile EOT at: ", t);
}

void Vmds_midifile_reader::onError(const std::string& message) {
    if (file_.mayLog()) logInfo("MIDIfile reader error: ", message);
}

void Vmds_midifile_reader::onHeader(int format, int tracks, int division) {
    if (format > 1) onError(logConcat("file format ", format, " not implemented"));
    if (file_.mayLog())
        logInfo("MIDI Header: ", " format: ", format, " ntrks: ", tracks, " division: ", division);
    if (division == 0) {
        // Every time would be a division by zero: treat the file as unreadable.
        fail("division 0 ticks per quarter note");
        return;
    }
    file_.trackCount_ = format == 0 ? 1 : tracks;
    file_.headerValid_ = format <= 2 && tracks > 0;
    division_ = division;
}

void Vmds_midifile_reader::onNoteOn(int channel, int key, int velocity) {
    if (velocity == 0) {
        onNoteOff(channel, key, 0);
        return;
    }
    addEvent(std::make_unique<Vmds_note>(channel, true, key, velocity, now()));
}

void Vmds_midifile_reader::onNoteOff(int channel, int key, int velocity) {
    addEvent(std::make_unique<Vmds_note>(channel, false, key, velocity, now()));
}

void Vmds_midifile_reader::onPolyPressure(int channel, int key, int pressure) {
    addEvent(std::make_unique<Vmds_simple>(channel, 0xA0, key, pressure));
}

void Vmds_midifile_reader::onController(int channel, int controller, int value) {
    addEvent(std::make_unique<Vmds_simple>(channel, 0xB0, controller, value));
}

void Vmds_midifile_reader::onPitchBend(int channel, int lsb, int msb) {
    addEvent(std::make_unique<Vmds_simple>(channel, 0xE0, lsb, msb));
}

void Vmds_midifile_reader::onProgram(int channel, int program, int) {
    addEvent(std::make_unique<Vmds_simple>(channel, 0xC0, program, 0));
}

void Vmds_midifile_reader::onChannelPressure(int channel, int pressure, int) {
    addEvent(std::make_unique<Vmds_simple>(channel, 0xD0, pressure, 0));
}

void Vmds_midifile_reader::onTempo(int32_t microsecondsPerQuarter) {
    if (microsecondsPerQuarter > 0) file_.setTempo(now(), 60000000.0 / microsecondsPerQuarter);
}

void Vmds_midifile_reader::onTimeSignature(int numerator, int denominatorPower, int, int) {
    if (denominatorPower < 0 || denominatorPower > MIDIFile::kMaxDenominatorPower) {
        if (file_.mayLog())
            logWarning("MIDIfile: time signature ", numerator, "/2^", denominatorPower, " ignored");
        return;
    }
    file_.addTimeSignature(now(), numerator, 1 << denominatorPower);
}

void Vmds_midifile_reader::onKeySignature(int, int) {}

void Vmds_midifile_reader::onText(int type, int32_t length, const char* data) {
    if (!file_.mayLog()) return;
    static const char* const kinds[] = {"texts",  "copyrights", "names", "instruments",
                                        "lyrics", "markers",    "cues"};
    const char* kind = type >= 1 && type <= 7 ? kinds[type - 1] : "miscs";
    size_t n = 0;
    const size_t limit = std::min(static_cast<size_t>(std::max<int32_t>(length, 0)), kMaxLoggedText);
    while (n < limit && data[n] != '\0')
        ++n;
    logInfo("TEXT : ", kind, " : ", std::string(data ? data : "", data ? n : 0));
}

void Vmds_midifile_reader::onSysex(int32_t, const char*) {
    onError("sysex message ignored - not implemented");
}
void Vmds_midifile_reader::onArbitrary(int32_t, const char*) {
    onError("arbitrary data ignored");
}
void Vmds_midifile_reader::onMetaMisc(int, int32_t, const char*) {
    onError("metamisc data ignored");
}
void Vmds_midifile_reader::onSequenceNumber(int) {
    onError("seqnum data ignored");
}
void Vmds_midifile_reader::onSmpteOffset(int, int, int, int, int) {
    onError("SMPTE data ignored");
}
void Vmds_midifile_reader::onSequencerSpecific(int32_t, const char*) {
    onError("sq specific data ignored");
}

} // namespace vantor
