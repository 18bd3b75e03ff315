#include "common/FileIO.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <vector>

#include "support/RecordBuilders.h"

namespace zemrik {
namespace {

using test::ReadWholeFile;
using test::TempFolder;
using test::WriteWholeFile;

bool Write(const std::string& path, std::string_view a, std::string_view b = {}) {
    const std::span<const std::uint8_t> parts[] = {
        {reinterpret_cast<const std::uint8_t*>(a.data()), a.size()},
        {reinterpret_cast<const std::uint8_t*>(b.data()), b.size()},
    };
    return WriteFileAtomically(path, parts);
}

TEST(FileIO, ReadsAtMostWhatIsAskedAndRefusesWhatIsNotAPlainFreeFile) {
    TempFolder dir;
    const std::string path = dir.File("data.bin");
    WriteWholeFile(path, "0123456789");
    std::size_t size = 0;
    for (auto [maxBytes, text] : {std::pair<std::size_t, std::string>{100, "0123456789"}, {4, "0123"}}) {
        const auto got = ReadFileBytes(path, maxBytes, &size);
        ASSERT_TRUE(got);
        EXPECT_EQ(std::string(got->begin(), got->end()), text);
        EXPECT_EQ(size, 10u);
    }

    // A huge sparse file is not slurped: only maxBytes come into memory.
    const std::string huge = dir.File("huge.bin");
    ASSERT_EQ(::truncate((WriteWholeFile(huge, ""), huge.c_str()), off_t{4} << 30), 0);
    const auto few = ReadFileBytes(huge, 64, &size);
    ASSERT_TRUE(few);
    EXPECT_EQ(few->size(), 64u);
    EXPECT_EQ(size, std::size_t{4} << 30);

    // Missing files, folders, pipes (without hanging on them) and files locked by others are refused.
    EXPECT_FALSE(ReadFileBytes(dir.File("missing"), 10));
    EXPECT_FALSE(ReadFileBytes(dir.Path(), 10));
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(ReadFileBytes(dir.File("fifo"), 10));

    const int other = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    EXPECT_FALSE(ReadFileBytes(path, 10));
    ::close(other);
    EXPECT_TRUE(ReadFileBytes(path, 10));
}

TEST(FileIO, AtomicWriteReplacesAndKeepsPermissions) {
    TempFolder dir;
    const std::string path = dir.File("out.bin");
    ASSERT_TRUE(Write(path, "first", "+more"));
    EXPECT_EQ(ReadWholeFile(path), "first+more");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077 & ~0644, 0u) << "new file must not be group or world writable";
    EXPECT_EQ(st.st_mode & 0600, 0600u);

    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(Write(path, "second"));
    EXPECT_EQ(ReadWholeFile(path), "second");  // replaced, not appended to
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A name of the greatest length a folder allows still gets its temporary beside it.
    const std::string longName = dir.File(std::string(255, 'n'));
    ASSERT_TRUE(Write(longName, "long"));
    EXPECT_EQ(ReadWholeFile(longName), "long");
    std::filesystem::remove(longName);

    ASSERT_TRUE(Write(path, ""));
    EXPECT_EQ(ReadWholeFile(path), "");

    // Through a symbolic link the target is replaced and the link stays.
    ASSERT_EQ(::symlink("out.bin", dir.File("link.bin").c_str()), 0);
    ASSERT_TRUE(Write(dir.File("link.bin"), "new"));
    EXPECT_EQ(ReadWholeFile(path), "new");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.bin")));
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"link.bin", "out.bin"}));
}

TEST(FileIO, FailedWriteLeavesTheOldFileAndNoTemporary) {
    TempFolder dir;
    const std::string path = dir.File("keep.bin");
    WriteWholeFile(path, "precious");
    std::filesystem::create_directory(dir.File("adir"));

    EXPECT_FALSE(Write(dir.File("no/such/folder/x.bin"), "data"));
    EXPECT_FALSE(Write(dir.File("adir"), "data"));  // the target is a folder
    EXPECT_FALSE(Write("", "data"));
    EXPECT_FALSE(Write("/dev/null", "data"));  // not a regular file: never replaced
    if (::geteuid() != 0) {                    // root may write any file
        ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
        EXPECT_FALSE(Write(path, "new"));
        ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    }

    // A write that fails part-way (here: over the file size limit) must remove its temporary.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool wrote = Write(path, "a much longer new content");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(wrote);

    EXPECT_EQ(ReadWholeFile(path), "precious");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"adir", "keep.bin"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("adir")));
}

}  // namespace
}  // namespace zemrik
