#include "common/FileIO.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <optional>
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

    // Another reader (a shared lock) never stands in the way; a writer holding it exclusively does.
    const int other = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_SH), 0);
    EXPECT_TRUE(ReadFileBytes(path, 10));
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

    // A link to a file not there yet makes that file, and stays a link.
    ASSERT_EQ(::symlink("made.bin", dir.File("dangling.bin").c_str()), 0);
    ASSERT_TRUE(Write(dir.File("dangling.bin"), "made"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("dangling.bin")));
    EXPECT_EQ(ReadWholeFile(dir.File("made.bin")), "made");
}

// Runs `save` as the ordinary user `id` in a child process (root passes every permission check
// these tests are about); nullopt when the process cannot switch user.
std::optional<bool> AsUser(uid_t id, const std::function<bool()>& save) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(id) != 0 || ::setuid(id) != 0) ::_exit(100);
        ::_exit(save() ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) == 100)
        return std::nullopt;
    return WEXITSTATUS(status) == 0;
}

long EntryCount(const std::string& folder) {
    return std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator{});
}

TEST(FileIO, SavesInPlaceWhereNoTemporaryCanStandBesideTheFile) {
    TempFolder dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    // A file anyone may write, in a folder its user may not write to.
    const std::string locked = dir.File("locked");
    ASSERT_EQ(::mkdir(locked.c_str(), 0755), 0);
    const std::string path = locked + "/f.zmk";
    WriteWholeFile(path, "old content");
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
    const auto saved = ::geteuid() == 0 ? AsUser(65534, [&] { return Write(path, "new"); })
                                        : std::optional<bool>(Write(path, "new"));
    ::chmod(locked.c_str(), 0755);
    ASSERT_TRUE(saved.has_value()) << "cannot switch to an ordinary user here";
    EXPECT_TRUE(*saved);
    EXPECT_EQ(ReadWholeFile(path), "new");
    EXPECT_EQ(EntryCount(locked), 1);

    if (::geteuid() != 0) GTEST_SKIP() << "the sticky folder and owner cases need two users";
    // A sticky folder: another user's file, writable by us, cannot be replaced by rename.
    const std::string sticky = dir.File("sticky");
    ASSERT_EQ(::mkdir(sticky.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(sticky.c_str(), 01777), 0);
    const std::string shared = sticky + "/s.zmk";
    WriteWholeFile(shared, "theirs");
    ASSERT_EQ(::chmod(shared.c_str(), 0666), 0);
    ASSERT_EQ(::chown(shared.c_str(), 65533, 65533), 0);
    EXPECT_EQ(AsUser(65534, [&] { return Write(shared, "ours"); }), std::optional<bool>(true));
    EXPECT_EQ(ReadWholeFile(shared), "ours");
    EXPECT_EQ(EntryCount(sticky), 1);

    // Replaced by rename, a file keeps its owner and group where the process may give them.
    struct stat st {};
    ASSERT_EQ(::chown(path.c_str(), 65533, 65532), 0);
    ASSERT_TRUE(Write(path, "by root"));
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65533u);
    EXPECT_EQ(st.st_gid, 65532u);
    EXPECT_EQ(st.st_mode & 07777, 0666u);
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

TEST(FileIO, MessagesNameTheFilePart) {
    EXPECT_EQ(ReadErrorText("/data/10:30 line.zmk"), "Не могу открыть файл 10:30 line.zmk !");
    EXPECT_EQ(WriteErrorText("/t/a.cbl"), "Не могу записать файл a.cbl !");
}

}  // namespace
}  // namespace zemrik
