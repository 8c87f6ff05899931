// File sinks: the host's fopen, fopen64 and remove, reached through the
// ordinary C library calls of this process, send the writes to a sink path
// nowhere (counting them) and leave the file system alone; every other path,
// and every path once the sinks are cleared, is the file system's.
#include "host/app/FileSinks.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

namespace fs = std::filesystem;

// Writes text through fopen with the mode; false when the open fails.
bool WriteThrough(FILE* (*open)(const char*, const char*), const std::string& path,
                  const char* mode, const std::string& text) {
    FILE* f = open(path.c_str(), mode);
    if (!f)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && written;
}

FILE* Fopen(const char* path, const char* mode) {
    return std::fopen(path, mode);
}
FILE* Fopen64(const char* path, const char* mode) {
    return fopen64(path, mode);
}

struct SinksCleared {
    ~SinksCleared() { host::FileSinks::Clear(); }
};

} // namespace

TEST(FileSinks, WritesToASinkGoNowhereAndAreCounted) {
    const zkt::ScratchDir dir;
    const SinksCleared cleared;
    const std::string kept = dir / "kept.mdd";
    const std::string absent = dir / "absent.mdd";
    const std::string other = dir / "other.mdd";
    ASSERT_TRUE(WriteThrough(Fopen, kept, "wb", "earlier cache"));
    // Named the way a plug-in may name them: doubled slashes, "." parts.
    host::FileSinks::Set({kept, dir.Dir() + "//./absent.mdd"});
    EXPECT_EQ(host::FileSinks::BytesWritten(kept), -1);

    struct Case {
        FILE* (*open)(const char*, const char*);
        std::string path;
        const char* mode;
        std::string text;
    };
    const Case cases[] = {
        {Fopen, kept, "wb", "0123456789"},
        {Fopen64, kept, "ab", "abc"},
        {Fopen, dir.Dir() + "/sub/../absent.mdd", "w+b", "xy"},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(WriteThrough(c.open, c.path, c.mode, c.text)) << c.path << " " << c.mode;
    EXPECT_EQ(host::FileSinks::BytesWritten(kept), 13);
    EXPECT_EQ(host::FileSinks::BytesWritten(absent), 2);
    EXPECT_EQ(zkt::ReadFile(kept), "earlier cache");
    EXPECT_FALSE(fs::exists(absent));

    // Reading a sink path reads the file; removing one removes nothing.
    FILE* in = std::fopen(kept.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    char head[7] = {};
    EXPECT_EQ(std::fread(head, 1, 6, in), 6u);
    std::fclose(in);
    EXPECT_STREQ(head, "earlie");
    EXPECT_EQ(std::remove(kept.c_str()), 0);
    EXPECT_EQ(zkt::ReadFile(kept), "earlier cache");

    // Other paths are the file system's, also while sinks are set.
    EXPECT_TRUE(WriteThrough(Fopen, other, "wb", "real"));
    EXPECT_EQ(zkt::ReadFile(other), "real");
    EXPECT_EQ(host::FileSinks::BytesWritten(other), -1);
    EXPECT_EQ(std::remove(other.c_str()), 0);
    EXPECT_FALSE(fs::exists(other));

    // Cleared: the same paths write and remove files again.
    host::FileSinks::Clear();
    EXPECT_EQ(host::FileSinks::BytesWritten(kept), -1);
    EXPECT_TRUE(WriteThrough(Fopen, absent, "wb", "now"));
    EXPECT_EQ(zkt::ReadFile(absent), "now");
    EXPECT_EQ(std::remove(kept.c_str()), 0);
    EXPECT_FALSE(fs::exists(kept));
}

TEST(FileSinks, ASetReplacesTheOneBeforeAndStartsItsCountsAtZero) {
    const zkt::ScratchDir dir;
    const SinksCleared cleared;
    const std::string a = dir / "a", b = dir / "b";
    host::FileSinks::Set({a});
    ASSERT_TRUE(WriteThrough(Fopen, a, "wb", "1234"));
    host::FileSinks::Set({a, b});
    EXPECT_EQ(host::FileSinks::BytesWritten(a), -1);
    ASSERT_TRUE(WriteThrough(Fopen, b, "wb", "12"));
    EXPECT_EQ(host::FileSinks::BytesWritten(b), 2);
    host::FileSinks::Set({b});
    ASSERT_TRUE(WriteThrough(Fopen, a, "wb", "file"));
    EXPECT_EQ(zkt::ReadFile(a), "file");
    EXPECT_FALSE(fs::exists(b));
}
