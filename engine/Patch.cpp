#include "Patch.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace brevian {

void Patch::setName(std::string_view text) {
    name.fill('\0');
    const std::size_t n = text.size() < kPatchNameSize - 1 ? text.size() : kPatchNameSize - 1;
    std::memcpy(name.data(), text.data(), n);
}

std::string_view Patch::nameView() const {
    return std::string_view(name.data(), strnlen(name.data(), kPatchNameSize));
}

static bool inRange(float v, float lo, float hi) {
    return std::isfinite(v) && v >= lo && v <= hi;
}

bool patchIsValid(const Patch& p) {
    if (memchr(p.name.data(), '\0', kPatchNameSize) == nullptr) return false;
    return inRange(p.attack, 0.0005f, 10.f) && inRange(p.decay, 0.001f, 20.f) &&
           inRange(p.sustain, 0.f, 1.f) && inRange(p.release, 0.005f, 20.f) &&
           inRange(p.cutoff, 20.f, 20000.f) && inRange(p.resonance, 0.f, 1.f) &&
           inRange(p.envAmount, 0.f, 6.f) && inRange(p.detune, 0.f, 50.f) && inRange(p.subLevel, 0.f, 1.f) &&
           inRange(p.volume, 0.f, 1.f);
}

static std::string_view nextWord(std::string_view& line) {
    std::size_t start = 0;
    while (start < line.size() && (line[start] == ' ' || line[start] == '\t'))
        ++start;
    std::size_t end = start;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t')
        ++end;
    const std::string_view word = line.substr(start, end - start);
    line.remove_prefix(end);
    return word;
}

bool parsePatchLine(std::string_view line, Patch& out) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    std::string_view rest = line;
    const std::string_view name = nextWord(rest);
    if (name.empty() || name.front() == '#' || name.size() >= kPatchNameSize) return false;
    Patch p;
    float* fields[] = {&p.attack,    &p.decay,     &p.sustain, &p.release,  &p.cutoff,
                       &p.resonance, &p.envAmount, &p.detune,  &p.subLevel, &p.volume};
    for (float* field : fields) {
        const std::string_view word = nextWord(rest);
        if (word.empty()) return false;
        const auto [ptr, ec] = std::from_chars(word.data(), word.data() + word.size(), *field);
        if (ec != std::errc() || ptr != word.data() + word.size()) return false;
    }
    if (!nextWord(rest).empty()) return false;
    p.setName(name);
    for (char& c : p.name)
        if (c == '_') c = ' ';
    if (!patchIsValid(p)) return false;
    out = p;
    return true;
}

void PatchParams::store(const Patch& p) {
    attack_.store(p.attack, std::memory_order_relaxed);
    decay_.store(p.decay, std::memory_order_relaxed);
    sustain_.store(p.sustain, std::memory_order_relaxed);
    release_.store(p.release, std::memory_order_relaxed);
    cutoff_.store(p.cutoff, std::memory_order_relaxed);
    resonance_.store(p.resonance, std::memory_order_relaxed);
    envAmount_.store(p.envAmount, std::memory_order_relaxed);
    detune_.store(p.detune, std::memory_order_relaxed);
    subLevel_.store(p.subLevel, std::memory_order_relaxed);
    volume_.store(p.volume, std::memory_order_relaxed);
}

Patch PatchParams::load() const {
    Patch p;
    p.attack = attack_.load(std::memory_order_relaxed);
    p.decay = decay_.load(std::memory_order_relaxed);
    p.sustain = sustain_.load(std::memory_order_relaxed);
    p.release = release_.load(std::memory_order_relaxed);
    p.cutoff = cutoff_.load(std::memory_order_relaxed);
    p.resonance = resonance_.load(std::memory_order_relaxed);
    p.envAmount = envAmount_.load(std::memory_order_relaxed);
    p.detune = detune_.load(std::memory_order_relaxed);
    p.subLevel = subLevel_.load(std::memory_order_relaxed);
    p.volume = volume_.load(std::memory_order_relaxed);
    return p;
}

} // namespace brevian
