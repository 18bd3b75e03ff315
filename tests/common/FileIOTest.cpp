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
#include "support/RunProcess.h"

namespace zemrik {
namespace {

using test::ReadWholeFile;
using test::TempFolder;
std::size_t Entries(const TempFolder& dir) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir.Path()), {}));
}

bool Write(const std::string& path, std::string_view text) {
    return WriteFileAtomically(path, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

std::string Read(const std::string& path, std::size_t maxBytes) {
    const auto got = ReadFileBytes(path, maxBytes);
    return got ? std::string(got->begin(), got->end()) : "(refused)";
}

TEST(FileIO, ReadsAtMostWhatIsAskedAndRefusesWhatIsNotAPlainFreeFile) {
    TempFolder dir;
    const std::string path = dir.File("data.bin");
    test::WriteWholeFile(path, "0123456789");
    EXPECT_EQ(Read(path, 4), "0123");
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    EXPECT_EQ(Read(dir.File("fifo"), 10) + Read(dir.Path(), 10), "(refused)(refused)");  // a pipe: no hang

    // Another reader (a shared lock) never stands in the way; a writer holding it exclusively does.
    const int other = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_SH), 0);
    EXPECT_EQ(Read(path, 10), "0123456789");
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    EXPECT_EQ(Read(path, 10), "(refused)");
    ::close(other);
    EXPECT_EQ(Read(path, 10), "0123456789");  // only while the writer holds it
}

TEST(FileIO, AtomicWriteReplacesTheFileOrLeavesItAndNoTemporary) {
    TempFolder dir;
    const std::string path = dir.File("out.bin");
    ASSERT_TRUE(Write(path, "first"));
    // Through a link the file it names is written, also when it is not there yet; links stay.
    ASSERT_EQ(::symlink("out.bin", dir.File("link").c_str()), 0);
    ASSERT_EQ(::symlink("made.bin", dir.File("dangling").c_str()), 0);
    ASSERT_TRUE(Write(dir.File("link"), "precious"));
    ASSERT_TRUE(Write(dir.File("dangling"), "made"));
    EXPECT_EQ(ReadWholeFile(dir.File("made.bin")), "made");
    for (const char* link : {"link", "dangling"}) EXPECT_TRUE(std::filesystem::is_symlink(dir.File(link)));

    // A refused target, and a write that fails part-way (over the file size limit), keep the old file.
    EXPECT_FALSE(Write(dir.File("no/such/x"), "data"));
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
    EXPECT_EQ(Entries(dir), 4u);
}

// The new bytes are on the disk before they replace the old file, and the replacement itself is
// flushed after; a flush that fails keeps the old file.
TEST(FileIO, WriteFlushRenameFlushFolder) {
    TempFolder dir;
    const std::string path = dir.File("f.zmk");
    test::WriteWholeFile(path, "old");
    std::vector<std::string> calls;
    int failFileSync = 0;
    const FileCalls recorded{
        [&](int fd, const void* data, std::size_t size) {
            calls.push_back("write");
            return ::write(fd, data, size);
        },
        [&](int fd) {
            struct stat st {};
            calls.push_back(::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) ? "fsync folder" : "fsync file");
            if (failFileSync != 0 && calls.back() == "fsync file") return errno = failFileSync, -1;
            return ::fsync(fd);
        },
        [&](const char* from, const char* to) {
            calls.push_back("rename " + ReadWholeFile(from));
            return ::rename(from, to);
        }};
    const std::string text = "new content";
    const std::span<const std::uint8_t> bytes{reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size()};
    ASSERT_TRUE(WriteFileAtomically(path, bytes, recorded));
    EXPECT_EQ(calls, (std::vector<std::string>{"write", "fsync file", "rename new content", "fsync folder"}));
    failFileSync = EIO;
    calls.clear();
    EXPECT_FALSE(WriteFileAtomically(path, {bytes.data(), 3}, recorded));
    EXPECT_EQ(calls, (std::vector<std::string>{"write", "fsync file"}));
    EXPECT_EQ(ReadWholeFile(path), text);
    EXPECT_EQ(Entries(dir), 1u);
}

// A file made read-only is not replaced, though its folder would let a rename through (root
// may write anything, so an ordinary user tries).
TEST(FileIO, ReadOnlyFileIsRefused) {
    TempFolder dir;
    const std::string path = dir.File("f.zmk");
    test::WriteWholeFile(path, "kept");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
    EXPECT_EQ(test::AsOrdinaryUser([&] { return Write(path, "new"); }), std::optional<bool>(false));
    EXPECT_EQ(ReadWholeFile(path), "kept");
    EXPECT_EQ(Entries(dir), 1u);
}

TEST(FileIO, SavesInPlaceWhereNoTemporaryCanStandBesideTheFile) {
    TempFolder dir;
    const std::string path = dir.File("f.zmk");
    test::WriteWholeFile(path, "old content");
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    // A file anyone may write, in a folder its user may not write to.
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
    const auto saved = test::AsOrdinaryUser([&] { return Write(path, "new"); });
    const std::string content = ReadWholeFile(path);
    // A write in place that fails part-way says so.
    const auto failed = test::AsOrdinaryUser([&] {
        const rlimit small{4, 4};
        std::signal(SIGXFSZ, SIG_IGN);
        return ::setrlimit(RLIMIT_FSIZE, &small) == 0 && !Write(path, "longer than four");
    });
    ::chmod(dir.Path().c_str(), 0755);
    ASSERT_EQ(saved, std::optional<bool>(true)) << "nullopt: root could not become nobody";
    EXPECT_EQ(content, "new");
    EXPECT_EQ(failed, std::optional<bool>(true));
    EXPECT_EQ(Entries(dir), 1u);
    test::WriteWholeFile(path, "old content");

    if (::geteuid() != 0) GTEST_SKIP() << "the sticky folder and owner cases need two users";
    // A sticky folder: another user's file, writable by us, cannot be replaced by rename.
    ASSERT_EQ(::chmod(dir.Path().c_str(), 01777), 0);
    ASSERT_EQ(::chown(path.c_str(), 65533, 65532), 0);
    EXPECT_EQ(test::AsOrdinaryUser([&] { return Write(path, "ours"); }), std::optional<bool>(true));
    EXPECT_EQ(ReadWholeFile(path), "ours");
    EXPECT_EQ(Entries(dir), 1u);
    // Replaced by rename (a new inode), a file keeps its owner and group where the process may.
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    ASSERT_TRUE(Write(path, "by root"));
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(std::vector<unsigned>({after.st_uid, after.st_gid, after.st_mode & 07777}),
              std::vector<unsigned>({65533, 65532, 0666}));
}

}  // namespace
}  // namespace zemrik
