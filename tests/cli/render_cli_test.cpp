// quorvel-render end to end: MIDI files of different kinds give WAV files as long as their
// tempo maps say (plus the recorder's tail), a second render is bit-identical, every failure a
// batch can meet is reported with its exit status while nothing good is overwritten, and the
// audio device library is never started.
#include "midifile/SmfBuilder.h"
#include "support/FileBytes.h"
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;


namespace {

struct ShellRun {
    int status = -1;
    std::string output;
};

std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

ShellRun runShell(const std::string& command) {
    ShellRun run;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Frames of the data chunk of a stereo float WAV file, -1 when there is none.
long wavFrames(const std::vector<uint8_t>& bytes) {
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        uint32_t size = 0;
        std::memcpy(&size, bytes.data() + at + 4, 4);
        if (std::memcmp(bytes.data() + at, "data", 4) == 0) return static_cast<long>(size / 8);
        at += 8 + size + (size & 1);
    }
    return -1;
}

std::vector<uint8_t> readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

struct Case {
    const char* name;
    smf::Bytes bytes;
    double seconds; // end of the last event, from the file's tempo map
    const char* music; // what the player plays: to the end of the last bar, through the tempo map
};

std::vector<Case> cases() {
    std::vector<Case> out;
    // Format 0, one tempo, running status: the note-offs reuse the note-on status (velocity 0).
    {
        smf::Track t;
        t.tempo(0, 500000).noteOn(0, 0, 60, 100).bytes({0x00, 64, 100, 0x00, 67, 100});
        t.bytes({0x83, 0x60, 60, 0, 0x00, 64, 0, 0x00, 67, 0}); // 480 ticks later, all off
        t.noteOn(480, 0, 72, 90).noteOff(480, 0, 72).end();
        out.push_back({"format0_running_status", smf::file(0, 480, {t}), 3 * 0.5, "2.00"});
    }
    // Format 1: a tempo track that doubles the speed after two beats, two note tracks.
    {
        smf::Track tempo;
        tempo.tempo(0, 500000).tempo(960, 250000).end();
        smf::Track a, b;
        for (int i = 0; i < 8; ++i) a.noteOn(i == 0 ? 0 : 240, 0, 48 + i, 100).noteOff(240, 0, 48 + i);
        b.noteOn(240, 1, 84, 80).noteOff(2000, 1, 84).end();
        a.end();
        // 8 x 480 = 3840 ticks: 960 at 0.5 s a beat, 2880 at 0.25 s.
        out.push_back({"format1_tempo_change", smf::file(1, 480, {tempo, a, b}), 1.0 + 6 * 0.25, "2.50"});
    }
    // Format 1 with slow tempo and several tracks ending at different times.
    {
        smf::Track tempo;
        tempo.tempo(0, 1000000).end();
        smf::Track a, b, c;
        a.noteOn(0, 0, 60, 100).noteOff(960, 0, 60).end();
        b.noteOn(480, 2, 67, 100).noteOff(480, 2, 67).end();
        c.controller(0, 3, 7, 100).noteOn(0, 3, 40, 127).noteOff(1920, 3, 40).end();
        out.push_back({"format1_several_tracks", smf::file(1, 480, {tempo, a, b, c}), 4.0, "4.00"});
    }
    return out;
}

class RenderCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = fs::temp_directory_path() / ("quorvel_cli_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                             "_" + std::to_string(getpid()));
        fs::remove_all(home_);
        fs::create_directories(home_);
        env_ = "QUORVEL_REGISTRY_FILE=" + quoted((home_ / "registry.txt").string()) +
               " XDG_DATA_HOME=" + quoted((home_ / "share").string()) + " ASAN_OPTIONS=halt_on_error=1";
        const ShellRun install = runShell("env " + env_ + " " + quoted(QUORVEL_INSTALL_SCRIPT) + " --prefix " +
                                     quoted((home_ / "inst").string()) + " --build " + quoted(QUORVEL_BUILD_DIR));
        ASSERT_EQ(install.status, 0) << install.output;
    }
    void TearDown() override { fs::remove_all(home_); }

    // The renderer's command line (env, program, arguments), to run as it is or inside a script.
    std::string renderCommand(const std::vector<std::string>& args) {
        std::string command = "env " + env_ + " " + quoted(QUORVEL_RENDER_EXE);
        for (const std::string& a : args) command += " " + quoted(a);
        return command;
    }
    ShellRun render(const std::vector<std::string>& args) {
        return runShell("cd " + quoted(home_.string()) + " && " + renderCommand(args));
    }

    fs::path home_;
    std::string env_;
};

} // namespace

TEST_F(RenderCliTest, FilesOfEveryKindRenderToTheirLengthAndIdenticallyTwice) {
    const std::vector<Case> all = cases();
    std::vector<std::string> inputs;
    for (const Case& c : all) {
        const fs::path path = home_ / (std::string(c.name) + ".mid");
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(c.bytes.data()),
                                                    static_cast<std::streamsize>(c.bytes.size()));
        inputs.push_back(path.string());
    }
    std::ofstream(home_ / "notes.mid") << "not a MIDI file at all";
    std::vector<std::string> first = inputs;
    first.push_back((home_ / "missing.mid").string());
    first.push_back((home_ / "notes.mid").string());
    first.insert(first.end(), {"-o", (home_ / "one").string()});
    const ShellRun one = render(first);
    EXPECT_EQ(one.status, 1) << one.output;
    EXPECT_NE(one.output.find("missing.mid: no such file"), std::string::npos) << one.output;
    EXPECT_NE(one.output.find("notes.mid\" is not a MIDI file"), std::string::npos) << one.output;
    EXPECT_EQ(one.output.find("ERROR: AddressSanitizer"), std::string::npos) << one.output;

    std::vector<std::string> second = inputs;
    second.insert(second.end(), {"-o", (home_ / "two").string(), "--rate", "48000", "--block", "512"});
    const ShellRun two = render(second);
    EXPECT_EQ(two.status, 0) << two.output;

    const double rate = 48000.0, block = 512.0;
    for (const Case& c : all) {
        SCOPED_TRACE(c.name);
        EXPECT_NE(one.output.find(std::string(c.name) + ".wav: "), std::string::npos) << one.output;
        EXPECT_NE(one.output.find(std::string("s of audio for ") + c.music + " s of music"),
                  std::string::npos);
        const auto a = readAll(home_ / "one" / (std::string(c.name) + ".wav"));
        const auto b = readAll(home_ / "two" / (std::string(c.name) + ".wav"));
        const long frames = wavFrames(a);
        ASSERT_GT(frames, 0);
        // Every note is in the file, and the recorder stops after one second of silence once the
        // player is at its end (silence that began before the end counts): at least the file's
        // length, at most the release and that second on top.
        const double seconds = frames / rate;
        EXPECT_GE(seconds, c.seconds - block / rate);
        EXPECT_LE(seconds, c.seconds + 1.0 + 3.0);
        EXPECT_TRUE(a == b) << "the second render differs";
        bool sound = false;
        for (size_t i = a.size() - static_cast<size_t>(frames) * 8; i < a.size() && !sound; ++i) sound = a[i] != 0;
        EXPECT_TRUE(sound) << "the notes are missing";
    }
}

TEST_F(RenderCliTest, HelpAndBadUsage) {
    const ShellRun help = render({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("Usage: quorvel-render [options] INPUT.mid... -o OUT"), std::string::npos);
    EXPECT_EQ(render({"x.mid"}).status, 2);
    const ShellRun rate = render({"--rate", "fast", "x.mid", "-o", "out"});
    EXPECT_EQ(rate.status, 2);
    EXPECT_NE(rate.output.find("the rate must be 22050, 44100, 48000"), std::string::npos);
}

namespace {

// Two quarter notes at 120 BPM, then silence to the end of `bars` bars of 4/4 (2 s each).
smf::Bytes song(int bars) {
    smf::Track t;
    t.noteOn(0, 0, 60, 100).noteOff(480, 0, 60).noteOn(0, 0, 67, 100).noteOff(480, 0, 67);
    return smf::file(0, 480, {t.end(1920 * bars - 960)});
}

// A WAV file whose header was completed: RIFF and data sizes that agree with its size.
bool completeWav(const std::vector<uint8_t>& b) {
    const auto u32 = [&](size_t at) {
        return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
    };
    return b.size() > 44 && std::memcmp(b.data(), "RIFF", 4) == 0 && u32(4) + 8 == b.size() &&
           std::memcmp(b.data() + 36, "data", 4) == 0 && u32(40) + 44 == b.size();
}

std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, '|');)
        parts.push_back(part);
    return parts;
}

} // namespace

TEST_F(RenderCliTest, EveryFailureIsReportedAndNothingGoodIsOverwritten) {
    const std::string previous = "previous take";
    const auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        fs::create_directories((home_ / name).parent_path());
        std::ofstream(home_ / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    };
    for (const char* name : {"good.mid", "a/x.mid", "b/x.mid", "in.wav"})
        write(name, song(1));
    write("long.mid", song(12));
    write("huge.mid", song(2000));
    write("riff.mid", {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    write("garbage.mid", {'M', 'T', 'h', 'd', 0x7A, 0x1B, 0x33, 0x90, 1, 2, 3, 4, 5, 6});
    write("text.mid", {'n', 'o', 't', 'e', 's'});
    const std::string flip =
        "cp inst/lib/libbrevian.so e.so && printf ZQ! | dd of=inst/lib/libbrevian.so bs=1 "
        "seek=4096 conv=notrunc 2>/dev/null; ";
    const std::string small =
        "mkdir full && unshare -m sh -c 'mount -t tmpfs -o size=2m tmpfs full && printf \"" + previous +
        "\" >full/long.wav && ";

    // shell: {} is the renderer with its environment. files: P NAME (a previous take, made first,
    // untouched), C NAME (a complete WAV file), A NAME (absent); said: in the output; '|' between.
    const struct {
        const char* name;
        std::string shell, files;
        int status;
        std::string said;
    } table[] = {
        {"no engine: its file changed since it was installed",
         flip + "{} good.mid -o out1/good.wav; s=$?; cp e.so inst/lib/libbrevian.so; exit $s",
         "P out1/good.wav", 1, "not signed by Vantor, please re-install"},
        {"no installation", "mv registry.txt r; {} good.mid -o out2/; s=$?; mv r registry.txt; exit $s",
         "A out2/good.wav", 1, "Cannot find data installation, please re-install"},
        {"a full disk fails that file, and the next still renders",
         small + "{} long.mid good.mid --rate 22050 -o full; s=$?; cp -a full/. full-copy; exit $s'",
         "P full-copy/long.wav|C full-copy/good.wav", 1,
         "long.mid: cannot write \"full/long.wav\": No space left"},
        {"files that are not MIDI files", "{} riff.mid garbage.mid text.mid good.mid -o out3",
         "P out3/riff.wav|A out3/garbage.wav|A out3/text.wav|C out3/good.wav", 1,
         "\"riff.mid\" is not a MIDI|\"garbage.mid\" is not a MIDI|\"text.mid\" is not a MIDI"},
        {"two inputs for one output", "{} a/x.mid b/x.mid -o out4", "A out4/x.wav", 2,
         "a/x.mid and b/x.mid would both be written to out4/x.wav; nothing was rendered"},
        {"an output that is an input", "{} in.wav -o in.wav", "", 2,
         "the output in.wav is also an input; nothing was rendered"},
        {"OUT.WAV is a file", "{} good.mid -o Take.WAV", "C Take.WAV", 0, "-> Take.WAV: "},
        {"a file longer than the limit", "{} --max-duration 3 long.mid good.mid -o out6",
         "P out6/long.wav|C out6/good.wav", 1,
         "long.mid: it plays for 0:00:24, longer than the limit of 0:00:03|s of audio for 2.00 s of music"},
        {"Ctrl-C",
         "{} huge.mid -o out7/huge.wav & p=$!; i=0; while [ ! -e out7/huge.wav.$p.tmp ] && [ $i -lt 600 ]; "
         "do sleep 0.1; i=$((i+1)); done; sleep 0.5; kill -INT $p; wait $p",
         "P out7/huge.wav", 130, "huge.mid: interrupted; out7/huge.wav was not changed"},
        {"past the WAV size limit: every part named, the whole duration (the parts have 1.36 s each)",
         "QUORVEL_TEST_WAV_DATA_LIMIT=240000 {} good.mid --rate 22050 -o out8",
         "C out8/good.wav|C out8/good (2).wav|C out8/good (3).wav", 0,
         "-> out8/good.wav, out8/good (2).wav, out8/good (3).wav: 3.0"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        for (const std::string& file : split(row.files))
            if (file[0] == 'P' && row.shell.find("unshare") == std::string::npos)
                write(file.substr(2), {previous.begin(), previous.end()});
        std::string shell = row.shell;
        shell.replace(shell.find("{}"), 2, renderCommand({}));
        const ShellRun run = runShell("cd " + quoted(home_.string()) + " && { " + shell + "; }");
        EXPECT_EQ(run.status, row.status) << run.output;
        for (const std::string& text : split(row.said))
            EXPECT_NE(run.output.find(text), std::string::npos) << text << "\n" << run.output;
        EXPECT_EQ(run.output.find("please re-install"), run.output.rfind("please re-install")) << "said once";
        for (const char* sound : {"ALSA", "jack", "JACK", "AddressSanitizer"})
            EXPECT_EQ(run.output.find(sound), std::string::npos) << sound << "\n" << run.output;
        for (const std::string& file : split(row.files)) {
            const fs::path path = home_ / file.substr(2);
            const std::vector<uint8_t> bytes =
                fs::is_regular_file(path) ? vantor::test::readFileBytes(path) : std::vector<uint8_t>{};
            EXPECT_TRUE(file[0] != 'P' || std::string(bytes.begin(), bytes.end()) == previous) << file;
            EXPECT_TRUE(file[0] != 'C' || completeWav(bytes)) << file << " is not a complete WAV file";
            EXPECT_TRUE(file[0] != 'A' || !fs::exists(path)) << file;
        }
        for (const auto& entry : fs::recursive_directory_iterator(home_))
            EXPECT_NE(entry.path().extension(), ".tmp") << entry.path() << " left behind";
        std::ifstream log(home_ / "share" / "Vantor" / "Quorvel" / "Quorvel Standalone x64.log");
        const std::string text((std::istreambuf_iterator<char>(log)), {});
        EXPECT_EQ(text.find("enumerating Audio Devices"), std::string::npos) << "no device is looked for";
    }
}
