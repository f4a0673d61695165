// Outputs written beside their destination and renamed over it only on
// success.
#include "frame/output_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include "frame_test_support.h"
#include "platform/files.h"
#include "platform/last_error.h"

namespace nc::frame {
namespace {

using Names = std::vector<std::string>;
using test::ReadFileText;
using test::WriteFileText;

class OutputFileTest : public ::testing::Test {
 protected:
  void Put(OutputFile& output, const std::string& text) {
    std::uint32_t done = 0;
    ASSERT_TRUE(platform::WriteFile(output.file, text.data(),
                                    static_cast<std::uint32_t>(text.size()), &done));
    ASSERT_EQ(done, text.size());
  }
  test::TempFolder folder_;
  const std::string destination_ = folder_ / "out.bin";
};

TEST_F(OutputFileTest, NewDestinationAppearsOnlyOnCommit) {
  OutputFile output;
  ASSERT_TRUE(CreateOutput(output, destination_.c_str(), false));
  ASSERT_NE(output.file, platform::kInvalidFile);
  // The temporary file lies in the destination's folder.
  EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::path(output.temporary).parent_path(),
                                          folder_.path()));
  Put(output, "new contents");
  EXPECT_FALSE(std::filesystem::exists(destination_));
  EXPECT_EQ(folder_.Names().size(), 1u);

  ASSERT_TRUE(CommitOutput(output));
  EXPECT_TRUE(output.committed);
  EXPECT_EQ(output.file, platform::kInvalidFile);
  EXPECT_EQ(ReadFileText(destination_), "new contents");
  EXPECT_EQ(folder_.Names(), Names{"out.bin"});
}

TEST_F(OutputFileTest, ExistingDestinationIsReplacedOnlyOnCommit) {
  WriteFileText(destination_, "old contents");
  OutputFile output;
  output.mayReplace = true;
  ASSERT_TRUE(CreateOutput(output, destination_.c_str(), false));
  Put(output, "new");
  EXPECT_EQ(ReadFileText(destination_), "old contents");
  ASSERT_TRUE(CommitOutput(output));
  EXPECT_EQ(ReadFileText(destination_), "new");
  EXPECT_EQ(folder_.Names(), Names{"out.bin"});

  // Nothing undoes a commit.
  DiscardOutput(output);
  EXPECT_EQ(ReadFileText(destination_), "new");
  EXPECT_FALSE(CommitOutput(output));
}

TEST_F(OutputFileTest, DiscardLeavesTheDestinationAsItWas) {
  WriteFileText(destination_, "old contents");
  OutputFile output;
  output.mayReplace = true;
  ASSERT_TRUE(CreateOutput(output, destination_.c_str(), false));
  Put(output, "new");
  DiscardOutput(output);
  EXPECT_EQ(output.file, platform::kInvalidFile);
  EXPECT_EQ(ReadFileText(destination_), "old contents");
  EXPECT_EQ(folder_.Names(), Names{"out.bin"});
  DiscardOutput(output);  // again: nothing happens
  EXPECT_FALSE(CommitOutput(output));
  EXPECT_EQ(ReadFileText(destination_), "old contents");
  EXPECT_EQ(folder_.Names(), Names{"out.bin"});
}

TEST_F(OutputFileTest, UncommittedOutputIsRemovedWhenItGoesOutOfScope) {
  WriteFileText(folder_ / "kept.bin", "old contents");
  {
    OutputFile kept;
    kept.mayReplace = true;
    ASSERT_TRUE(CreateOutput(kept, (folder_ / "kept.bin").c_str(), true));
    Put(kept, "new");
    OutputFile fresh;
    ASSERT_TRUE(CreateOutput(fresh, destination_.c_str(), false));
    Put(fresh, "new");
    EXPECT_EQ(folder_.Names().size(), 3u);
  }
  EXPECT_EQ(ReadFileText(folder_ / "kept.bin"), "old contents");
  EXPECT_EQ(folder_.Names(), Names{"kept.bin"});
}

TEST_F(OutputFileTest, CreatingAgainDropsTheFirstTemporaryFile) {
  OutputFile output;
  ASSERT_TRUE(CreateOutput(output, (folder_ / "first.bin").c_str(), false));
  ASSERT_TRUE(CreateOutput(output, destination_.c_str(), false));
  EXPECT_EQ(folder_.Names().size(), 1u);
  Put(output, "second");
  ASSERT_TRUE(CommitOutput(output));
  EXPECT_EQ(folder_.Names(), Names{"out.bin"});
  EXPECT_EQ(ReadFileText(destination_), "second");
}

TEST_F(OutputFileTest, OutputsToOneFolderDoNotCollide) {
  std::vector<std::unique_ptr<OutputFile>> outputs;
  for (int i = 0; i < 20; ++i) {
    outputs.push_back(std::make_unique<OutputFile>());
    std::string name = folder_ / ("out" + std::to_string(i) + ".bin");
    ASSERT_TRUE(CreateOutput(*outputs.back(), name.c_str(), false));
    Put(*outputs.back(), std::to_string(i));
  }
  EXPECT_EQ(folder_.Names().size(), 20u);
  for (auto& output : outputs) ASSERT_TRUE(CommitOutput(*output));
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(ReadFileText(folder_ / ("out" + std::to_string(i) + ".bin")), std::to_string(i));
  EXPECT_EQ(folder_.Names().size(), 20u);
}

// Windows cannot rename over a file that is open (the operations close their
// sources before committing); POSIX can, and a reader keeps the old bytes.
#ifndef _WIN32
TEST_F(OutputFileTest, DestinationMayBeAFileThatIsBeingRead) {
  WriteFileText(destination_, "source text");
  platform::ScopedFile source(platform::OpenForRead(destination_.c_str()));
  ASSERT_TRUE(source.valid());
  OutputFile output;
  output.mayReplace = true;
  ASSERT_TRUE(CreateOutput(output, destination_.c_str(), true));
  Put(output, "rewritten");
  ASSERT_TRUE(CommitOutput(output)) << "last error " << platform::GetLastErrorCode();
  EXPECT_EQ(ReadFileText(destination_), "rewritten");
  // The reader still reads what it opened.
  char buffer[32] = {};
  std::uint32_t got = 0;
  ASSERT_TRUE(platform::ReadFile(source.get(), buffer, sizeof buffer - 1, &got));
  EXPECT_STREQ(buffer, "source text");
  source.Close();
  EXPECT_EQ(folder_.Names(), Names{"out.bin"});
}
#endif

TEST_F(OutputFileTest, MissingFolderFailsWithTheLastErrorSet) {
  std::string destination = folder_ / "missing/out.bin";
  platform::SetLastErrorCode(0);
  OutputFile output;
  EXPECT_FALSE(CreateOutput(output, destination.c_str(), false));
  EXPECT_NE(platform::GetLastErrorCode(), 0u);
  EXPECT_EQ(output.file, platform::kInvalidFile);
  EXPECT_FALSE(CommitOutput(output));
  EXPECT_TRUE(folder_.Names().empty());
}

TEST_F(OutputFileTest, FailedCommitRemovesTheTemporaryFile) {
  // A folder comes to stand where the output should go: the rename cannot
  // replace it.
  std::string destination = folder_ / "busy";
  OutputFile output;
  output.mayReplace = true;
  ASSERT_TRUE(CreateOutput(output, destination.c_str(), false));
  std::filesystem::create_directory(folder_.path() / "busy");
  WriteFileText(folder_ / "busy/inside.txt", "kept");
  Put(output, "new");
  platform::SetLastErrorCode(0);
  EXPECT_FALSE(CommitOutput(output));
  EXPECT_NE(platform::GetLastErrorCode(), 0u);
  EXPECT_FALSE(output.committed);
  EXPECT_EQ(folder_.Names(), Names{"busy"});
  EXPECT_EQ(ReadFileText(folder_ / "busy/inside.txt"), "kept");
}

#ifndef _WIN32
TEST_F(OutputFileTest, SecretOutputIsPrivateToItsOwner) {
  using std::filesystem::perms;
  const perms others = perms::group_all | perms::others_all;
  for (bool secret : {true, false}) {
    SCOPED_TRACE(secret);
    OutputFile output;
    output.mayReplace = true;
    ASSERT_TRUE(CreateOutput(output, destination_.c_str(), secret));
    ASSERT_TRUE(CommitOutput(output));
    perms p = std::filesystem::status(destination_).permissions();
    if (secret)
      EXPECT_EQ(p & others, perms::none);
    else
      EXPECT_NE(p & perms::owner_read, perms::none);
  }
}

// The temporary file is private from its first instant, whatever the
// output becomes; a new output gets the usual permissions of a new file
// (0666 less the umask) only when it is committed, a secret one stays
// private.
TEST_F(OutputFileTest, TemporaryFileIsPrivateUntilItsFinalPermissionsAreSet) {
  using std::filesystem::perms;
  const struct {
    mode_t umask;
    bool secret;
    perms final;
  } cases[] = {
      {022, false, perms(0644)},
      {027, false, perms(0640)},
      {0, false, perms(0666)},
      {0, true, perms(0600)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.umask) + (c.secret ? " secret" : ""));
    std::filesystem::remove(destination_);
    const mode_t saved = ::umask(c.umask);
    OutputFile output;
    bool created = CreateOutput(output, destination_.c_str(), c.secret);
    ::umask(saved);
    ASSERT_TRUE(created);
    EXPECT_EQ(std::filesystem::status(output.temporary).permissions(), perms(0600));
    Put(output, "text");
    EXPECT_EQ(std::filesystem::status(output.temporary).permissions(), perms(0600));
    const mode_t during = ::umask(c.umask);
    bool committed = CommitOutput(output);
    ::umask(during);
    ASSERT_TRUE(committed);
    EXPECT_EQ(std::filesystem::status(destination_).permissions(), c.final);
  }
}

// A symbolic link is followed: the file it leads to (through a chain of
// links too) is replaced, with a temporary file in that file's folder, and
// keeps its permissions; the links stay as they were.
TEST_F(OutputFileTest, SymbolicLinksAreFollowedAndStay) {
  namespace fs = std::filesystem;
  using fs::perms;
  fs::create_directory(folder_.path() / "real");
  const std::string target = folder_ / "real/target.bin";
  const struct {
    const char* what;
    std::vector<std::pair<std::string, std::string>> links;  // name, text
  } cases[] = {
      {"one link", {{"out.bin", "real/target.bin"}}},
      {"a chain", {{"out.bin", "middle"}, {"middle", (folder_ / "real/target.bin")}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileText(target, "old");
    fs::permissions(target, perms(0640));
    for (const auto& [name, text] : c.links) fs::create_symlink(text, folder_.path() / name);
    OutputFile output;
    output.mayReplace = true;
    ASSERT_TRUE(CreateOutput(output, destination_.c_str(), false));
    EXPECT_TRUE(fs::equivalent(fs::path(output.temporary).parent_path(), folder_.path() / "real"));
    Put(output, "new");
    ASSERT_TRUE(CommitOutput(output));
    for (const auto& [name, text] : c.links) {
      EXPECT_TRUE(fs::is_symlink(folder_.path() / name)) << name;
      EXPECT_EQ(fs::read_symlink(folder_.path() / name).string(), text) << name;
    }
    EXPECT_EQ(ReadFileText(target), "new");
    EXPECT_EQ(fs::status(target).permissions(), perms(0640));
    EXPECT_EQ(fs::directory_iterator(folder_.path() / "real")->path().filename(), "target.bin");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path() / "real"), {}), 1);
    for (const auto& link : c.links) fs::remove(folder_.path() / link.first);
  }
}

// A file written over an existing one keeps that file's permissions, so a
// plaintext decrypted over a private file does not become readable by all.
TEST_F(OutputFileTest, ReplacedDestinationKeepsItsPermissions) {
  using std::filesystem::perms;
  for (perms mode : {perms::owner_read | perms::owner_write,
                     perms::owner_all | perms::group_read | perms::others_read}) {
    WriteFileText(destination_, "old");
    std::filesystem::permissions(destination_, mode);
    OutputFile output;
    output.mayReplace = true;
    ASSERT_TRUE(CreateOutput(output, destination_.c_str(), false));
    ASSERT_TRUE(CommitOutput(output));
    EXPECT_EQ(std::filesystem::status(destination_).permissions(), mode);
  }
}
#endif

// ---- what an output never replaces ----------------------------------------------

// What a name stands for, enough to tell that nothing touched it: its kind,
// a link's text, a file's bytes and permissions, a folder's entries.
std::string Fingerprint(const std::filesystem::path& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::file_status status = fs::symlink_status(path, error);
  std::string print = std::to_string(static_cast<int>(status.type())) + ":" +
                      std::to_string(static_cast<unsigned>(status.permissions()));
  if (fs::is_symlink(status)) print += ":" + fs::read_symlink(path, error).string();
  if (fs::is_regular_file(status)) print += ":" + ReadFileText(path.string());
  if (fs::is_directory(status))
    for (const auto& entry : fs::directory_iterator(path, error))
      print += ":" + entry.path().filename().string();
  return print;
}

// Each destination is refused when the output is created, although "/Y"
// allowed replacing a file, with 03 and the last error set; it stays as it
// was and no temporary file is left.
TEST_F(OutputFileTest, DestinationsThatAreNoWritableFileAreRefusedAndLeftAlone) {
  const std::string tooLong = folder_ / std::string(platform::kMaxPath, 'n');
  struct Case {
    const char* what;
    std::function<bool(const std::string&)> make;  // false: cannot be made here
  } cases[] = {
      {"a folder",
       [](const std::string& path) {
         std::filesystem::create_directory(path);
         WriteFileText(path + "/inside.txt", "kept");
         return true;
       }},
      {"a name longer than the platform's names", [](const std::string&) { return true; }},
#ifndef _WIN32
      {"a FIFO", [](const std::string& path) { return ::mkfifo(path.c_str(), 0644) == 0; }},
      {"a socket",
       [](const std::string& path) {
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         if (path.size() >= sizeof address.sun_path) return false;
         path.copy(address.sun_path, path.size());
         int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
         bool made = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
         ::close(fd);
         return made;
       }},
      {"a device node (as root)",
       [](const std::string& path) {
         return ::geteuid() != 0 || ::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
       }},
      {"a link that leads nowhere",
       [](const std::string& path) { return ::symlink("missing/file", path.c_str()) == 0; }},
      {"a link to a folder",
       [this](const std::string& path) {
         std::filesystem::create_directory(folder_.path() / "folder");
         return ::symlink("folder", path.c_str()) == 0;
       }},
      {"a read-only file (not as root, who may write it)",
       [](const std::string& path) {
         WriteFileText(path, "kept");
         std::filesystem::permissions(path, std::filesystem::perms::owner_read);
         return true;
       }},
#else
      {"a read-only file",
       [](const std::string& path) {
         WriteFileText(path, "kept");
         std::filesystem::permissions(path, std::filesystem::perms::owner_read |
                                                std::filesystem::perms::group_read |
                                                std::filesystem::perms::others_read);
         return true;
       }},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = folder_ / "dest";
    if (std::string(c.what).find("longer") != std::string::npos) path = tooLong;
    ASSERT_TRUE(c.make(path));
#ifndef _WIN32
    // Root may write a read-only file, and only root makes device nodes.
    if (::geteuid() == 0 && std::string(c.what).find("read-only") != std::string::npos) continue;
    if (::geteuid() != 0 && std::string(c.what).find("device") != std::string::npos) continue;
#endif
    const std::string before = Fingerprint(path);
    const Names names = folder_.Names();
    OutputFile output;
    output.mayReplace = true;
    platform::SetLastErrorCode(0);
    EXPECT_FALSE(CreateOutput(output, path.c_str(), false));
    EXPECT_NE(platform::GetLastErrorCode(), 0u);
    EXPECT_EQ(output.file, platform::kInvalidFile);
    EXPECT_EQ(OutputFailure(output, "d").code, kResultWriteError);
    EXPECT_FALSE(CommitOutput(output));
    EXPECT_EQ(Fingerprint(path), before);
    EXPECT_EQ(folder_.Names(), names);
    std::error_code error;  // a read-only file is removed once it may be written
    std::filesystem::permissions(folder_.path() / "dest", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(folder_.path() / "dest");
    std::filesystem::remove_all(folder_.path() / "folder");
  }
}

// Without leave to replace ("/Y" or the user's yes), a file that took the
// destination's name after the check is never replaced: found when the
// output is created, or by the commit's rename. The operation reports 11.
TEST_F(OutputFileTest, AFileThatAppearedAfterTheCheckIsReplacedOnlyWithLeave) {
  struct Case {
    bool mayReplace;
    bool beforeCreating;  // the file appears before the output is created
  } cases[] = {{false, false}, {false, true}, {true, false}, {true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(
        std::string(c.mayReplace ? "may replace" : "may not replace") +
        (c.beforeCreating ? ", appeared before creating" : ", appeared before the commit"));
    std::filesystem::remove(destination_);
    OutputFile output;
    output.mayReplace = c.mayReplace;
    if (c.beforeCreating) WriteFileText(destination_, "appeared");
    bool created = CreateOutput(output, destination_.c_str(), false);
    if (!c.beforeCreating) WriteFileText(destination_, "appeared");
    bool committed = false;
    if (created) {
      Put(output, "ours");
      committed = CommitOutput(output);
    }
    EXPECT_EQ(committed, c.mayReplace);
    EXPECT_EQ(output.nameTaken, !c.mayReplace);
    EXPECT_EQ(OutputFailure(output, "d").code,
              c.mayReplace ? kResultWriteError : kResultFileExists);
    EXPECT_EQ(ReadFileText(destination_), c.mayReplace ? "ours" : "appeared");
    EXPECT_EQ(folder_.Names(), Names{"out.bin"});
  }
}

// The longest name is written; one character more is refused, never cut
// back to the name that fits.
TEST_F(OutputFileTest, ANameAtTheLimitIsWrittenAndOneBeyondItIsRefused) {
  // Folders deep enough that the whole name reaches the limit with
  // components every file system takes.
  std::string at = folder_.path().string();
  const std::string component = "/" + std::string(200, 'd');
  while (at.size() + component.size() + 12 <= platform::kMaxPath) at += component;
  std::filesystem::create_directories(at);
  const std::string folder = at;
  at += "/" + std::string(platform::kMaxPath - at.size() - 1, 'f');
  ASSERT_EQ(at.size(), std::size_t{platform::kMaxPath});
  for (const auto& [name, fits] : {std::pair{at + "x", false}, std::pair{at, true}}) {
    SCOPED_TRACE(name.size());
    OutputFile output;
    bool written = CreateOutput(output, name.c_str(), false);
    if (written) {
      Put(output, "text");
      written = CommitOutput(output);
    }
    EXPECT_EQ(written, fits);
    Names inFolder;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
      inFolder.push_back(entry.path().filename().string());
    EXPECT_EQ(inFolder, fits ? Names{at.substr(folder.size() + 1)} : Names{});
  }
}

}  // namespace
}  // namespace nc::frame
