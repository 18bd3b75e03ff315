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

#include "support/RecordBuilders.h"

namespace zemrik {
namespace {

using test::ReadWholeFile;
using test::TempFolder;
using test::WriteWholeFile;
using Names = std::vector<std::string>;

bool Write(const std::string& path, std::string_view text) {
    return WriteFileAtomically(path, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

struct stat Stat(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
}

std::string Read(const std::string& path, std::size_t maxBytes) {
    const auto got = ReadFileBytes(path, maxBytes);
    return got ? std::string(got->begin(), got->end()) : "(refused)";
}

TEST(FileIO, ReadsAtMostWhatIsAskedAndRefusesWhatIsNotAPlainFreeFile) {
    TempFolder dir;
    const std::string path = dir.File("data.bin");
    WriteWholeFile(path, "0123456789");
    EXPECT_EQ(Read(path, 4), "0123");
    // Pipes are refused without hanging on them; folders and missing files too.
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    for (const std::string& bad : {dir.File("missing"), dir.Path(), dir.File("fifo")})
        EXPECT_EQ(Read(bad, 10), "(refused)") << bad;

    // Another reader (a shared lock) never stands in the way; a writer holding it exclusively does.
    const int other = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_SH), 0);
    EXPECT_EQ(Read(path, 10), "0123456789");
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    EXPECT_EQ(Read(path, 10), "(refused)");
    ::close(other);
}

TEST(FileIO, AtomicWriteReplacesTheFileOrLeavesItAndNoTemporary) {
    TempFolder dir;
    const std::string path = dir.File("out.bin");
    ASSERT_TRUE(Write(path, "first"));
    const mode_t umask = ::umask(022);
    ::umask(umask);
    EXPECT_EQ(Stat(path).st_mode & 07777, 0644 & ~umask);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(Write(path, "2nd"));
    EXPECT_EQ(Stat(path).st_mode & 07777, 0640u);
    // The longest name a folder allows still gets its temporary beside it.
    ASSERT_TRUE(Write(dir.File(std::string(255, 'n')), "long"));
    // Through a link the file it names is written, also when it is not there yet; links stay.
    ASSERT_EQ(::symlink("out.bin", dir.File("link").c_str()), 0);
    ASSERT_EQ(::symlink("made.bin", dir.File("dangling").c_str()), 0);
    ASSERT_TRUE(Write(dir.File("link"), "precious"));
    ASSERT_TRUE(Write(dir.File("dangling"), "made"));
    EXPECT_EQ(ReadWholeFile(dir.File("made.bin")), "made");
    for (const char* link : {"link", "dangling"}) EXPECT_TRUE(std::filesystem::is_symlink(dir.File(link)));

    // Refused targets, and a write that fails part-way (over the file size limit), keep the old file.
    std::filesystem::create_directory(dir.File("adir"));
    for (const std::string& bad :
         {dir.File("no/such/x"), dir.File("adir"), std::string(), std::string("/dev/null")})
        EXPECT_FALSE(Write(bad, "data")) << bad;
    if (::geteuid() != 0) {  // root may write any file
        ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
        EXPECT_FALSE(Write(path, "new"));
        ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    }
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
    EXPECT_EQ(dir.Entries(),
              (Names{"adir", "dangling", "link", "made.bin", std::string(255, 'n'), "out.bin"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("adir")));
}

// Runs `save` as user `id` in a child (root passes every permission check); nullopt if it cannot.
template <typename Save>
std::optional<bool> AsUser(uid_t id, Save save) {
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

TEST(FileIO, SavesInPlaceWhereNoTemporaryCanStandBesideTheFile) {
    TempFolder dir;
    const std::string path = dir.File("f.zmk");
    WriteWholeFile(path, "old content");
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    // A file anyone may write, in a folder its user may not write to.
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
    const auto saved = ::geteuid() == 0 ? AsUser(65534, [&] { return Write(path, "new"); })
                                        : std::optional<bool>(Write(path, "new"));
    ::chmod(dir.Path().c_str(), 0755);
    ASSERT_EQ(saved, std::optional<bool>(true)) << "nullopt: cannot switch to an ordinary user here";
    EXPECT_EQ(ReadWholeFile(path), "new");
    EXPECT_EQ(dir.Entries(), Names{"f.zmk"});

    if (::geteuid() != 0) GTEST_SKIP() << "the sticky folder and owner cases need two users";
    // A sticky folder: another user's file, writable by us, cannot be replaced by rename.
    ASSERT_EQ(::chmod(dir.Path().c_str(), 01777), 0);
    ASSERT_EQ(::chown(path.c_str(), 65533, 65532), 0);
    EXPECT_EQ(AsUser(65534, [&] { return Write(path, "ours"); }), std::optional<bool>(true));
    EXPECT_EQ(ReadWholeFile(path), "ours");
    EXPECT_EQ(dir.Entries(), Names{"f.zmk"});
    // Replaced by rename (a new inode), a file keeps its owner and group where the process may give them.
    const ino_t inode = Stat(path).st_ino;
    ASSERT_TRUE(Write(path, "by root"));
    const struct stat after = Stat(path);
    EXPECT_NE(after.st_ino, inode);
    EXPECT_EQ(std::vector<unsigned>({after.st_uid, after.st_gid, after.st_mode & 07777}),
              std::vector<unsigned>({65533, 65532, 0666}));
}

TEST(FileIO, MessagesNameTheFilePart) {
    EXPECT_EQ(ReadErrorText("/data/10:30 line.zmk"), "Не могу открыть файл 10:30 line.zmk !");
    EXPECT_EQ(WriteErrorText("/t/a.cbl"), "Не могу записать файл a.cbl !");
}

}  // namespace
}  // namespace zemrik
