// The in-memory registry store used from several threads at once.
#include "app/Registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace vantor;

TEST(RegistryThreading, ConcurrentWritersAndReadersSeeWholeValues) {
    MemoryRegistryStore store;
    const std::u16string key = u"Software\\Vantor\\QuorvelSA";
    std::atomic<int> bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            for (uint32_t i = 0; i < 2000; ++i) {
                // Writers store the same number as DWORD and as text, readers check they are whole.
                store.writeDword(kHiveCurrentUser, key, u"n" + std::u16string(1, u'0' + t),
                                 i * 0x01010101u % 256);
                std::u16string text(static_cast<size_t>(i % 40), static_cast<char16_t>(u'a' + t));
                store.writeString(kHiveCurrentUser, key, u"s" + std::u16string(1, u'0' + t), text);
            }
        });
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                std::u16string text;
                if (store.readString(kHiveCurrentUser, key, u"s" + std::u16string(1, u'0' + t), text))
                    for (char16_t c : text)
                        if (c != static_cast<char16_t>(u'a' + t)) ++bad;
                uint32_t value = 0;
                if (store.readDword(kHiveCurrentUser, key, u"n" + std::u16string(1, u'0' + t), value) &&
                    value > 255)
                    ++bad;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(bad.load(), 0);
}
