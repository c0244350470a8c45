#include "midifile/MIDIFile.h"

#include "log/Log.h"
#include "log/TextConv.h"
#include "midifile/MidiFileOpen.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace vantor {

// ---- events ----

std::string Vmds_note::print() const {
    return logConcat(on ? "note on" : "note off", " ch ", int{channel}, " key ", int{key}, " vel ", velocity,
                     " at ", time);
}

void Vmds_note::getBytes(int& status, int& data1, int& data2) const {
    status = (on ? 0x90 : 0x80) | channel;
    data1 = key;
    data2 = velocity >= 1.0 ? 127 : static_cast<int>(std::trunc(velocity * 127.0 + 0.5));
}

std::string Vmds_simple::print() const {
    return logConcat("status ", int{type}, " ch ", int{channel}, " ", int{data1}, " ", int{data2}, " at ",
                     time);
}

void Vmds_simple::getBytes(int& status, int& first, int& second) const {
    status = type | channel;
    first = data1;
    second = data2;
}

Vmds_track::const_iterator Vmds_track::lowerBound(double beat) const {
    size_t low = 0, high = size_;
    while (low < high) {
        const size_t mid = low + (high - low) / 2;
        if (at(mid)->time < beat)
            low = mid + 1;
        else
            high = mid;
    }
    return const_iterator(slots_, order_, low);
}

void Vmds_tempoMap::set(double beat, double bpm) {
    if (!entries_.empty() && entries_.back().first == beat)
        entries_.back().second = bpm;
    else {
        if (!entries_.empty() && beat < entries_.back().first) sorted_ = false;
        entries_.emplace_back(beat, bpm);
    }
}

void Vmds_tempoMap::finish() {
    if (sorted_) return;
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const value_type& a, const value_type& b) { return a.first < b.first; });
    // Of the entries at one beat, the one set last (the last of the run) stays.
    size_t kept = 0;
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (i + 1 < entries_.size() && entries_[i + 1].first == entries_[i].first) continue;
        entries_[kept++] = entries_[i];
    }
    entries_.resize(kept);
    sorted_ = true;
}

Vmds_tempoMap::const_iterator Vmds_tempoMap::lower_bound(double beat) const {
    return std::lower_bound(entries_.begin(), entries_.end(), beat,
                            [](const value_type& e, double b) { return e.first < b; });
}

double Vmds_tempoMap::at(double beat) const {
    const auto it = lower_bound(beat);
    if (it == end() || it->first != beat) throw std::out_of_range("no tempo at that beat");
    return it->second;
}

// ---- the file ----

MIDIFile::MIDIFile(const std::string& path) : path_(path) {}

// The events hold nothing to release: their slots go as one block.
MIDIFile::~MIDIFile() = default;

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

namespace {

// The first of the two passes: how many channel events each track holds, so that the second can
// put every event straight into a slot of its own and no storage ever grows or moves.
class EventCounter : public Midifile_reader {
public:
    EventCounter(const unsigned char* bytes, size_t size) : bytes_(bytes), size_(bytes ? size : 0) {}
    std::vector<size_t> counts; // per track, in file order
    size_t tempi = 0;

protected:
    char* allocateBuffer(size_t size) override { return static_cast<char*>(::operator new(size)); }
    void releaseBuffer(char* bytes, size_t) override { ::operator delete(bytes); }
    int readByte() override { return position_ < size_ ? bytes_[position_++] : -1; }
    // Only a message's first bytes are ever looked at here (the meta events' numbers): the
    // rest of a long sysex or text is skipped, not copied.
    size_t readBytes(char* destination, size_t count) override {
        const size_t n = std::min(count, size_ - position_);
        if (n > 0) std::memcpy(destination, bytes_ + position_, std::min<size_t>(n, kLookedAt));
        position_ += n;
        return n;
    }
    size_t bytesAvailable() override { return size_ - position_; }
    void onTrackStart() override { counts.push_back(0); }
    void onTrackEnd() override {}
    void onEndOfTrack() override {}
    void onError(const std::string&) override {}
    void onHeader(int, int, int division) override {
        if (division == 0) fail("division 0"); // the filling pass reads no track either
    }
    void onNoteOn(int, int, int) override { ++counts.back(); }
    void onNoteOff(int, int, int) override { ++counts.back(); }
    void onPolyPressure(int, int, int) override { ++counts.back(); }
    void onController(int, int, int) override { ++counts.back(); }
    void onPitchBend(int, int, int) override { ++counts.back(); }
    void onProgram(int, int, int) override { ++counts.back(); }
    void onChannelPressure(int, int, int) override { ++counts.back(); }
    void onSysex(int32_t, const char*) override {}
    void onArbitrary(int32_t, const char*) override {}
    void onMetaMisc(int, int32_t, const char*) override {}
    void onSequenceNumber(int) override {}
    void onSmpteOffset(int, int, int, int, int) override {}
    void onTimeSignature(int, int, int, int) override {}
    void onTempo(int32_t microsecondsPerQuarter) override { tempi += microsecondsPerQuarter > 0; }
    void onKeySignature(int, int) override {}
    void onSequencerSpecific(int32_t, const char*) override {}
    void onText(int, int32_t, const char*) override {}

private:
    static constexpr size_t kLookedAt = 16;
    const unsigned char* bytes_;
    size_t size_;
    size_t position_ = 0;
};

} // namespace

bool MIDIFile::parse(const unsigned char* bytes, size_t size) {
    headerValid_ = false;
    // Read once: the events a second read would add could not stay contiguous per track.
    tracks_.clear();
    merged_ = Vmds_track();
    mergedOrder_.reset();
    eventCount_ = 0;
    std::vector<size_t> counts;
    size_t tempi = 0;
    {
        // Gone before the second pass, with its message buffer (as large as the longest event).
        EventCounter counter(bytes, size);
        counter.read();
        counts = std::move(counter.counts);
        tempi = counter.tempi;
    }
    size_t total = 0;
    for (size_t n : counts)
        total += n;
    // Uninitialised: pages are touched only as events fill them.
    slots_.reset(total > 0 ? new Vmds_eventSlot[total] : nullptr);
    tempoMap_.reserve(tempoMap_.size() + tempi);
    Vmds_midifile_reader reader(*this, bytes, size, counts);
    reader.read();
    tempoMap_.finish();
    headerValid_ = headerValid_ && reader.headerComplete();
    return headerValid_;
}

Vmds_track& MIDIFile::track(int index) {
    return tracks_[index];
}

void MIDIFile::setTempo(double beat, double bpm) {
    tempoMap_.set(beat, bpm);
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

    tempoMap_.finish();
    mergeTracks();
    buildBars();
}

void MIDIFile::mergeTracks() {
    // Every track is in time order already: merging them, the earlier track first at equal
    // times, gives the order of adding every event of every track to one list that keeps equal
    // times in insertion order.
    merged_ = Vmds_track();
    mergedOrder_.reset();
    std::vector<const Vmds_track*> filled;
    size_t total = 0;
    for (const auto& entry : tracks_)
        if (!entry.second.empty()) {
            filled.push_back(&entry.second);
            total += entry.second.size();
        }
    if (filled.empty()) return;
    if (filled.size() == 1) {
        merged_.slots_ = filled.front()->slots_; // one track is its own merge
        merged_.size_ = total;
        return;
    }
    if (total > std::numeric_limits<uint32_t>::max()) throw std::length_error("MIDI file: too many events");
    mergedOrder_.reset(new uint32_t[total]);
    // A tournament over the tracks' next events: node n holds the track that wins below it, the
    // earlier time and, at equal times, the lower track. Taking an event replays only the
    // matches on its track's path to the top.
    const size_t tracks = filled.size();
    size_t leaves = 1;
    while (leaves < tracks)
        leaves *= 2;
    std::vector<double> head(leaves, std::numeric_limits<double>::infinity()); // an empty leaf never wins
    std::vector<size_t> next(tracks, 0);
    std::vector<uint32_t> winner(2 * leaves);
    for (size_t t = 0; t < tracks; ++t)
        head[t] = filled[t]->at(0)->time;
    for (size_t leaf = 0; leaf < leaves; ++leaf)
        winner[leaves + leaf] = static_cast<uint32_t>(leaf);
    const auto play = [&](size_t node) {
        const uint32_t a = winner[2 * node], b = winner[2 * node + 1];
        winner[node] = head[b] < head[a] ? b : a; // a is the lower track: it wins a tie
    };
    for (size_t node = leaves - 1; node >= 1; --node)
        play(node);
    const Vmds_eventSlot* base = slots_.get();
    for (size_t out = 0; out < total; ++out) {
        const uint32_t t = winner[1];
        const Vmds_track& track = *filled[t];
        mergedOrder_[out] = static_cast<uint32_t>(track.slots_ - base + static_cast<ptrdiff_t>(next[t]));
        head[t] =
            ++next[t] < track.size() ? track.at(next[t])->time : std::numeric_limits<double>::infinity();
        for (size_t node = (leaves + t) / 2; node >= 1; node /= 2)
            play(node);
    }
    merged_.slots_ = base;
    merged_.order_ = mergedOrder_.get();
    merged_.size_ = total;
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

Vmds_midifile_reader::Vmds_midifile_reader(MIDIFile& file, const unsigned char* bytes, size_t size,
                                           const std::vector<size_t>& counts)
    : file_(file), counts_(counts), bytes_(bytes), size_(bytes ? size : 0) {}

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

template <class Event, class... Args> void Vmds_midifile_reader::addEvent(Args... args) {
    const int index = trackIndex_;
    const size_t room = static_cast<size_t>(index) < counts_.size() ? counts_[static_cast<size_t>(index)] : 0;
    if (!current_) {
        current_ = &file_.track(index);
        current_->slots_ = file_.slots_.get() + stretchStart_;
    }
    if (current_->size_ >= room) return; // never: the counting pass met every event this one does
    new (file_.slots_[stretchStart_ + current_->size_].bytes) Event(args..., now());
    ++current_->size_;
    ++file_.eventCount_;
}

void Vmds_midifile_reader::onTrackStart() {
    if (file_.mayLog()) logInfo("starting new track");
}

void Vmds_midifile_reader::onTrackEnd() {
    if (static_cast<size_t>(trackIndex_) < counts_.size())
        stretchStart_ += counts_[static_cast<size_t>(trackIndex_)];
    current_ = nullptr;
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
    addEvent<Vmds_note>(channel, true, key, velocity);
}

void Vmds_midifile_reader::onNoteOff(int channel, int key, int velocity) {
    addEvent<Vmds_note>(channel, false, key, velocity);
}

void Vmds_midifile_reader::onPolyPressure(int channel, int key, int pressure) {
    addEvent<Vmds_simple>(channel, 0xA0, key, pressure);
}

void Vmds_midifile_reader::onController(int channel, int controller, int value) {
    addEvent<Vmds_simple>(channel, 0xB0, controller, value);
}

void Vmds_midifile_reader::onPitchBend(int channel, int lsb, int msb) {
    addEvent<Vmds_simple>(channel, 0xE0, lsb, msb);
}

void Vmds_midifile_reader::onProgram(int channel, int program, int) {
    addEvent<Vmds_simple>(channel, 0xC0, program, 0);
}

void Vmds_midifile_reader::onChannelPressure(int channel, int pressure, int) {
    addEvent<Vmds_simple>(channel, 0xD0, pressure, 0);
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
