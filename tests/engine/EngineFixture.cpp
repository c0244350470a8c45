#include "EngineFixture.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>
#include <sstream>

namespace enginetest {

std::string utf8(const std::filesystem::path& path) {
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name =
        std::string("brevian-") + (info ? info->name() : "x") + "-" + std::to_string(counter++);
    for (char& c : name)
        if (c == '/') c = '_';
    path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void TempDir::write(const std::string& name, const std::string& content) const {
    std::ofstream out(path_ / name, std::ios::binary);
    out << content;
}

std::string shippedFile(const std::string& name) {
    std::ifstream in(std::filesystem::path(QUORVEL_ENGINE_DATA_DIR) / name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void TempDir::copyShipped(const std::string& name) const {
    write(name, shippedFile(name));
}

Descriptor::Descriptor(const std::string& dir, uint64_t tag) : directory(dir) {
    raw.reserved = 0;
    raw.version = BREVIAN_HOST_DESCRIPTOR_VERSION;
    raw.hostTag = tag;
    raw.dataDirectory = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(directory.c_str()));
}

void EngineTest::SetUp() {
    dir.copyShipped("Brevian.dat");
    Descriptor d(dir.utf8());
    ASSERT_EQ(brevianOpcode(nullptr, BREVIAN_OP_CREATE, &d.raw, &engine, nullptr, 0, 0, 0, 0.f), 0);
    ASSERT_NE(engine, nullptr);
    ASSERT_EQ(op(BREVIAN_OP_SET_STREAM, nullptr, nullptr, kRate, 256), 0);
    ASSERT_EQ(op(BREVIAN_OP_START, nullptr, nullptr, 0), 0);
}

void EngineTest::TearDown() {
    if (engine != nullptr) {
        EXPECT_EQ(op(BREVIAN_OP_DESTROY), 0);
    }
}

std::vector<float> EngineTest::block(int frames, const std::vector<Event>& events) {
    BrevianEventBlock eb{};
    eb.count = events.size();
    for (std::size_t i = 0; i < events.size(); ++i)
        eb.events[i] =
            BrevianMidiEvent{events[i].status, events[i].data1, events[i].data2, 0, events[i].offset, 0, 0.f};
    std::vector<float> left(frames, 0.f), right(frames, 0.f);
    float* outs[2] = {left.data(), right.data()};
    EXPECT_EQ(op(BREVIAN_OP_PROCESS, &eb, outs, frames), 0);
    std::vector<float> both;
    both.reserve(2 * frames);
    for (int i = 0; i < frames; ++i) {
        both.push_back(left[i]);
        both.push_back(right[i]);
    }
    return both;
}

std::vector<float> EngineTest::renderLeft(int frames, int blockSize, const std::vector<Event>& events) {
    std::vector<float> out;
    bool first = true;
    while (static_cast<int>(out.size()) < frames) {
        const int n = std::min(blockSize, frames - static_cast<int>(out.size()));
        const std::vector<float> both = block(n, first ? events : std::vector<Event>{});
        first = false;
        for (int i = 0; i < n; ++i)
            out.push_back(both[2 * i]);
    }
    return out;
}

float peak(const std::vector<float>& left, std::size_t from, std::size_t to) {
    float p = 0.f;
    for (std::size_t i = from; i < std::min(to, left.size()); ++i)
        p = std::max(p, std::fabs(left[i]));
    return p;
}

} // namespace enginetest
